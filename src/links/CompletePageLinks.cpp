#include "links/CompletePageLinks.h"

#include <algorithm>

#include "links/CidReferences.h"
#include "links/CssReferences.h"
#include "links/PageLinks.h"
#include "links/TagAttributes.h"
#include "links/TagFinder.h"
#include "util/UrlPath.h"

namespace lorvex {

namespace {

// Attributes that lazy-loading scripts copy into src, srcset or a background when the element
// comes into view; their single value must name a known file to count as a reference.
constexpr std::string_view kLazyAttributes[] = {
    "data-src",    "data-bg",       "data-background", "data-background-image",
    "data-poster", "data-lazy-src", "data-original"};

// A value whose scheme names no file to fetch (data:, cid:, javascript:, mailto:, about:,
// blob:). Every other value is given its URL, whatever its scheme: the import decides by the
// document it was read from whether that may be fetched.
bool HasForeignScheme(std::string_view value) { return IsSchemeOfNoFile(UrlScheme(value)); }

// The value split at its fragment; empty path when nothing is to be fetched.
std::string_view FetchablePath(std::string_view value, std::string* fragment) {
  value = Trim(value);
  const size_t hash = value.find('#');
  if (fragment) fragment->assign(hash == std::string_view::npos ? "" : value.substr(hash));
  std::string_view path = value.substr(0, hash);
  if (!path.empty() && path.back() == '?') path.remove_suffix(1);  // an empty query is none
  if (path.empty() || HasForeignScheme(path)) return {};
  return path;
}

// Resolution as the tags' own references get it: against the base in force, decoded as a
// list line, then against the page.
std::string FetchUrl(std::string_view base, std::string_view pageBase, std::string_view path) {
  StringList line{ResolveUrl(base, path)};
  UrlDecodeList(line);
  return ResolveUrl(pageBase, line.front());
}

std::string DecodedLine(std::string text) {
  StringList line{std::move(text)};
  UrlDecodeList(line);
  return std::move(line.front());
}

class PageScanner {
 public:
  PageScanner(std::string_view html, std::string_view pageUrl, bool script)
      : html_(html),
        script_(script),
        pageBase_(ResolveUrl(pageUrl, pageUrl)),
        base_(pageBase_),
        writtenBase_(Trim(pageUrl)),
        fromWeb_(IsWebUrl(Trim(pageUrl))) {}

  std::vector<PageReference> Run() {
    ForEachTag(html_, [&](size_t start, size_t end) { return OnTag(start, end); });
    return std::move(refs_);
  }

 private:
  size_t OnTag(size_t start, size_t end) {
    const std::string_view tag = html_.substr(start, end - start + 1);
    const std::string name = AsciiLowerCase(TagName(tag));
    std::vector<PageReference> found;
    const bool removed = TagsOwnReference(start, tag, found);
    if (!script_ && !removed) {
      // The tags' own reader may find its name inside another attribute's value: what it reads
      // stands, and an attribute whose value holds it is not taken too.
      std::vector<PageReference> others;
      AttributeReferences(start, tag, name, others);
      for (PageReference& other : others)
        if (found.empty() || other.offset + other.length <= found.front().offset ||
            other.offset >= found.front().offset + found.front().length)
          found.push_back(std::move(other));
    }
    std::sort(found.begin(), found.end(),
              [](const PageReference& a, const PageReference& b) { return a.offset < b.offset; });
    for (PageReference& ref : found) refs_.push_back(std::move(ref));
    if (!script_ && name == "style") return StyleElement(end + 1);
    return end + 1;
  }

  // The reference of the tags' kinds; true when the whole tag is to be removed.
  bool TagsOwnReference(size_t start, std::string_view tag, std::vector<PageReference>& found) {
    AttributeValue unsaved;
    const TagScanResult scan = ScanTagOfCompletePage(tag, base_, unsaved);
    PageReference ref;
    ref.kind = scan.kind;
    if (scan.valuePos == kNoPosition) {
      if (unsaved.pos == kNoPosition) return false;
      ref.offset = start + size_t(unsaved.pos - 1);
      ref.length = std::min(unsaved.value.size(), tag.size() - size_t(unsaved.pos - 1));
      ref.value = html_.substr(ref.offset, ref.length);
      if (fromWeb_ && IsWebUrl(writtenBase_) && !IsSelfContainedReference(ref.value))
        ref.absolute = JoinWebUrl(writtenBase_, ref.value);
      if (ref.absolute) found.push_back(std::move(ref));
      return false;
    }
    ref.offset = start + size_t(scan.valuePos - 1);
    ref.length = std::min(scan.valueLen, tag.size() - size_t(scan.valuePos - 1));
    ref.value = html_.substr(ref.offset, ref.length);
    // In a script's strings a value put together by the code ("'+path+'x.svg") is no address.
    if (script_ && IsConcatenation(ref.value)) return false;
    if (scan.kind == rkBase ||
        (scan.kind == rkMeta && EqualsIgnoreCase(StripKind(scan.ref), "utf-8"))) {
      if (scan.kind == rkBase) writtenBase_ = base_;
      ref.form = PageReference::Form::RemoveTag;
      ref.offset = start;
      ref.length = tag.size();
      found.push_back(std::move(ref));
      return true;
    }
    if (scan.kind == rkMeta || ref.value.front() == '#') return false;
    if (scan.kind == rkAnchor) {
      ref.absolute = DecodedLine(ResolveUrl(pageBase_, StripKind(scan.ref)));
    } else {
      const std::string_view path = FetchablePath(ref.value, &ref.fragment);
      if (path.empty()) return false;
      ref.url = FetchUrl(base_, pageBase_, path);
      if (scan.kind == rkLink) {
        const std::vector<HtmlAttribute> attributes = ReadTagAttributes(tag);
        const HtmlAttribute* rel = FindAttribute(attributes, "rel");
        ref.styleSheet = rel && HasToken(DecodeCharacterReferences(rel->value).text, "stylesheet");
      }
    }
    found.push_back(std::move(ref));
    return false;
  }

  static bool IsConcatenation(std::string_view value) {
    for (std::string_view joint : {"'+", "+'", "\"+", "+\""})
      if (value.find(joint) != std::string_view::npos) return true;
    return false;
  }

  static bool HasToken(std::string_view list, std::string_view token) {
    size_t i = 0;
    while (i < list.size()) {
      while (i < list.size() && static_cast<unsigned char>(list[i]) <= 32) ++i;
      size_t end = i;
      while (end < list.size() && static_cast<unsigned char>(list[end]) > 32) ++end;
      if (end > i && EqualsIgnoreCase(list.substr(i, end - i), token)) return true;
      i = end;
    }
    return false;
  }

  void AttributeReferences(size_t start, std::string_view tag, const std::string& name,
                           std::vector<PageReference>& found) {
    for (const HtmlAttribute& attribute : ReadTagAttributes(tag)) {
      const std::string attr = AsciiLowerCase(attribute.name);
      const size_t offset = start + attribute.valueOffset;
      if ((attr == "srcset" && (name == "img" || name == "source")) || attr == "data-srcset") {
        Srcset(offset, attribute.value, found);
      } else if ((attr == "src" &&
                  (name == "source" || name == "video" || name == "audio" || name == "track")) ||
                 (attr == "poster" && name == "video") ||
                 ((attr == "href" || attr == "xlink:href") && (name == "use" || name == "image"))) {
        Single(offset, attribute.value, false, found);
      } else if (std::find(std::begin(kLazyAttributes), std::end(kLazyAttributes), attr) !=
                 std::end(kLazyAttributes)) {
        Single(offset, attribute.value, true, found);
      } else if (attr == "style") {
        StyleAttribute(offset, attribute.value, found);
      }
    }
  }

  PageReference AttributeReference(size_t offset, size_t length, std::string value) {
    PageReference ref;
    ref.form = PageReference::Form::Attribute;
    ref.offset = offset;
    ref.length = length;
    ref.value = std::move(value);
    const std::string_view path = FetchablePath(ref.value, &ref.fragment);
    if (!path.empty()) ref.url = FetchUrl(base_, pageBase_, path);
    return ref;
  }

  void Single(size_t offset, std::string_view raw, bool mustBeKnownFile,
              std::vector<PageReference>& found) {
    // The trimmed value is replaced; blanks around it stay.
    size_t lead = 0, tail = raw.size();
    while (lead < tail && static_cast<unsigned char>(raw[lead]) <= 32) ++lead;
    while (tail > lead && static_cast<unsigned char>(raw[tail - 1]) <= 32) --tail;
    if (lead == tail) return;
    std::string value = DecodeCharacterReferences(raw.substr(lead, tail - lead)).text;
    if (mustBeKnownFile && !IsCompletePageResourceFile(value)) return;
    PageReference ref = AttributeReference(offset + lead, tail - lead, std::move(value));
    if (!ref.url.empty()) found.push_back(std::move(ref));
  }

  void Srcset(size_t offset, std::string_view raw, std::vector<PageReference>& found) {
    const DecodedText decoded = DecodeCharacterReferences(raw);
    for (const SrcsetCandidate& candidate : SplitSrcset(decoded.text)) {
      const size_t from = decoded.rawOffset[candidate.offset];
      const size_t to = decoded.rawOffset[candidate.offset + candidate.length];
      PageReference ref = AttributeReference(
          offset + from, to - from, decoded.text.substr(candidate.offset, candidate.length));
      if (!ref.url.empty()) found.push_back(std::move(ref));
    }
  }

  void StyleAttribute(size_t offset, std::string_view raw, std::vector<PageReference>& found) {
    const DecodedText decoded = DecodeCharacterReferences(raw);
    for (const CssReference& css : FindCssReferences(decoded.text)) {
      PageReference ref = StyleReference(css);
      if (ref.url.empty()) continue;
      ref.form = PageReference::Form::StyleAttribute;
      const size_t from = decoded.rawOffset[css.offset];
      const size_t to = decoded.rawOffset[css.offset + css.length];
      ref.offset = offset + from;
      ref.length = to - from;
      found.push_back(std::move(ref));
    }
  }

  // The content of a <style> element up to its end tag; where the tag finder goes on.
  size_t StyleElement(size_t from) {
    const size_t close = StyleElementEnd(html_, from);
    for (const CssReference& css : FindCssReferences(html_.substr(from, close - from))) {
      PageReference ref = StyleReference(css);
      if (ref.url.empty()) continue;
      ref.form = PageReference::Form::Style;
      ref.offset = from + css.offset;
      ref.length = css.length;
      refs_.push_back(std::move(ref));
    }
    return close;
  }

  PageReference StyleReference(const CssReference& css) {
    PageReference ref;
    ref.inlineStyle = true;
    ref.cssQuote = css.quote;
    ref.value = css.value;
    ref.styleSheet = css.fromImport;
    const std::string_view path = FetchablePath(ref.value, &ref.fragment);
    if (!path.empty()) ref.url = FetchUrl(base_, pageBase_, path);
    return ref;
  }

  std::string_view html_;
  const bool script_;
  const std::string pageBase_;
  std::string base_;         // the base in force, as the tags' own references resolve against
  std::string writtenBase_;  // the same as written: the page's location or a base tag's value
  const bool fromWeb_;
  std::vector<PageReference> refs_;
};

}  // namespace

std::vector<PageReference> ScanCompletePage(std::string_view html, std::string_view pageUrl,
                                            bool script) {
  return PageScanner(html, pageUrl, script).Run();
}

std::string StyleReferenceUrl(std::string_view sheetUrl, std::string_view value,
                              std::string* fragment) {
  const std::string_view path = FetchablePath(value, fragment);
  if (path.empty()) return std::string();
  return FetchUrl(sheetUrl, sheetUrl, path);
}

std::string RewriteCompletePage(
    std::string_view html, const std::vector<PageReference>& refs,
    const std::function<std::optional<std::string>(const PageReference&)>& localName) {
  std::string out;
  out.reserve(html.size() + html.size() / 8);
  size_t copied = 0;
  for (const PageReference& ref : refs) {
    std::optional<std::string> text;
    if (ref.form == PageReference::Form::RemoveTag) {
      text.emplace();
    } else if (!ref.url.empty()) {
      text = localName(ref);
    }
    if (text) {
      switch (ref.form) {
        case PageReference::Form::Attribute:
          text = EscapeAttributeText(*text);
          break;
        case PageReference::Form::Style:
          text = EscapeCssValue(*text, ref.cssQuote);
          break;
        case PageReference::Form::StyleAttribute:
          text = EscapeAttributeText(EscapeCssValue(*text, ref.cssQuote));
          break;
        default:
          break;
      }
    } else if (ref.absolute) {
      text = ref.absolute;
    }
    if (!text) continue;
    out.append(html.substr(copied, ref.offset - copied));
    out.append(*text);
    copied = ref.offset + ref.length;
  }
  out.append(html.substr(copied));
  return out;
}

}  // namespace lorvex
