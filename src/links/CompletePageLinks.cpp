#include "links/CompletePageLinks.h"

#include <algorithm>
#include <unordered_set>

#include "html/HtmlTokenizer.h"
#include "links/CidReferences.h"
#include "links/CssReferences.h"
#include "links/DocumentBase.h"
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

constexpr bool IsBlank(char c) { return static_cast<unsigned char>(c) <= 32; }

bool HasToken(std::string_view list, std::string_view token) {
  size_t i = 0;
  while (i < list.size()) {
    while (i < list.size() && IsBlank(list[i])) ++i;
    size_t end = i;
    while (end < list.size() && !IsBlank(list[end])) ++end;
    if (end > i && EqualsIgnoreCase(list.substr(i, end - i), token)) return true;
    i = end;
  }
  return false;
}

// The text of a script: only the tags' own kinds, read by the link passes' tag search, in the
// strings of the code. A value the code puts together ("'+path+'x.svg", or a template
// literal's "${path}x.svg") is no address.
class ScriptScanner {
 public:
  ScriptScanner(std::string_view text, size_t offset, DocumentBase base)
      : text_(text), offset_(offset), base_(std::move(base)) {}

  void Run(std::vector<PageReference>& refs) {
    ForEachTag(text_, [&](size_t start, size_t end) {
      TagsOwnReference(start, text_.substr(start, end - start + 1), refs);
      return end + 1;
    });
  }

 private:
  void TagsOwnReference(size_t start, std::string_view tag, std::vector<PageReference>& refs) {
    AttributeValue unsaved;
    // A base tag in the code's strings sets no base.
    const TagScanResult scan = ScanTagOfCompletePage(tag, scanBase_, unsaved);
    if (scan.kind == rkBase) return;
    PageReference ref;
    ref.kind = scan.kind;
    ref.tag = offset_ + start;
    if (scan.valuePos == kNoPosition) {
      if (unsaved.pos == kNoPosition) return;
      ref.offset = offset_ + start + size_t(unsaved.pos - 1);
      ref.length = std::min(unsaved.value.size(), tag.size() - size_t(unsaved.pos - 1));
      ref.value = text_.substr(ref.offset - offset_, ref.length);
      if (base_.FromWeb() && base_.OnWeb() && !IsSelfContainedReference(ref.value))
        ref.absolute = base_.Address(ref.value);
      if (ref.absolute) refs.push_back(std::move(ref));
      return;
    }
    ref.offset = offset_ + start + size_t(scan.valuePos - 1);
    ref.length = std::min(scan.valueLen, tag.size() - size_t(scan.valuePos - 1));
    ref.value = text_.substr(ref.offset - offset_, ref.length);
    if (ref.value.empty() || IsConcatenation(ref.value)) return;
    if (scan.kind == rkMeta && EqualsIgnoreCase(StripKind(scan.ref), "utf-8")) {
      ref.form = PageReference::Form::RemoveTag;
      ref.offset = offset_ + start;
      ref.length = tag.size();
      refs.push_back(std::move(ref));
      return;
    }
    if (scan.kind == rkMeta || ref.value.front() == '#') return;
    if (scan.kind == rkAnchor) {
      ref.absolute = base_.Address(ref.value);
      if (!ref.absolute) return;
    } else {
      const std::string_view path = FetchablePath(ref.value, &ref.fragment);
      if (path.empty()) return;
      ref.url = base_.FetchUrl(path);
    }
    refs.push_back(std::move(ref));
  }

  static bool IsConcatenation(std::string_view value) {
    for (std::string_view joint : {"'+", "+'", "\"+", "+\"", "${"})
      if (value.find(joint) != std::string_view::npos) return true;
    return false;
  }

  std::string_view text_;
  const size_t offset_;      // where the text stands in the page
  const DocumentBase base_;  // the base in force
  std::string scanBase_;     // the tag scan's own, which its results here do not use
};

// A decoded attribute value, trimmed, with the raw range it comes from in the page. Bytes
// outside ASCII that a character reference produced are percent-encoded (a URL holds a
// character from a reference as UTF-8, whatever the page's charset); the page's own bytes
// stay as they are.
struct AttributeText {
  std::string text;
  size_t offset = 0, length = 0;  // raw range in the page
};

std::optional<AttributeText> ValueText(const HtmlTagAttribute& attribute, size_t from = 0,
                                       size_t to = std::string::npos) {
  const DecodedHtmlText& decoded = attribute.value;
  to = std::min(to, decoded.text.size());
  while (from < to && IsBlank(decoded.text[from])) ++from;
  while (to > from && IsBlank(decoded.text[to - 1])) --to;
  if (from == to) return std::nullopt;
  AttributeText out;
  out.offset = attribute.valueOffset + decoded.rawOffset[from];
  out.length = decoded.rawOffset[to] - decoded.rawOffset[from];
  static constexpr char kHex[] = "0123456789ABCDEF";
  for (size_t i = from; i < to; ++i) {
    const auto byte = static_cast<unsigned char>(decoded.text[i]);
    if (byte >= 0x80 && attribute.rawValue[decoded.rawOffset[i]] == '&') {
      out.text += '%';
      out.text += kHex[byte >> 4];
      out.text += kHex[byte & 15];
    } else {
      out.text += char(byte);
    }
  }
  return out;
}

// Where an attribute ends in the page: after its value's closing quote, or its name.
size_t AttributeEnd(const HtmlTagAttribute& attribute) {
  if (!attribute.hasValue) return attribute.nameOffset + attribute.name.size();
  return attribute.valueOffset + attribute.rawValue.size() + (attribute.quote ? 1 : 0);
}

// The charset a meta tag declares: its charset attribute, else the "charset=" parameter of its
// content.
std::string DeclaredCharset(const HtmlToken& tag) {
  if (const HtmlTagAttribute* charset = FindHtmlAttribute(tag, "charset"))
    return std::string(Trim(charset->value.text));
  const HtmlTagAttribute* content = FindHtmlAttribute(tag, "content");
  if (!content) return std::string();
  const std::string& text = content->value.text;
  const std::string lower = AsciiLowerCase(text);
  for (size_t at = lower.find("charset"); at != std::string::npos;
       at = lower.find("charset", at + 1)) {
    size_t i = at + 7;
    while (i < text.size() && IsBlank(text[i])) ++i;
    if (i >= text.size() || text[i] != '=') continue;
    ++i;
    while (i < text.size() && IsBlank(text[i])) ++i;
    size_t end = i;
    while (end < text.size() && !IsBlank(text[end]) && text[end] != ';' && text[end] != '"' &&
           text[end] != '\'')
      ++end;
    return text.substr(i, end - i);
  }
  return std::string();
}

// srcdoc documents inside srcdoc documents are read this deep; deeper ones stay as written.
constexpr int kMaxSrcdocDepth = 4;

// A page (or an <iframe srcdoc> document) read by the tokenizer.
class MarkupScanner {
 public:
  // base: the base in force before the document's own <base> (a srcdoc document's is its
  // parent's).
  MarkupScanner(std::string_view html, DocumentBase base, int srcdocDepth = 0)
      : html_(html), base_(std::move(base)), srcdocDepth_(srcdocDepth) {}

  std::vector<PageReference> Run() {
    const std::vector<HtmlToken> tokens = TokenizeHtml(html_);
    if (srcdocDepth_ == 0) PageCharset(tokens);
    FirstBase(tokens);
    for (size_t t = 0; t < tokens.size(); ++t) {
      const HtmlToken& token = tokens[t];
      if (token.kind == HtmlTokenKind::RawText && t > 0 &&
          tokens[t - 1].kind == HtmlTokenKind::StartTag)
        RawText(tokens[t - 1].name, token);
      if (token.kind == HtmlTokenKind::StartTag) StartTag(token);
    }
    return std::move(refs_);
  }

 private:
  // The first <base> with an href counts for every reference of the page, before it and after
  // it, resolved against the page's address; in a page from the web only a web address.
  void FirstBase(const std::vector<HtmlToken>& tokens) {
    for (const HtmlToken& token : tokens) {
      if (token.kind != HtmlTokenKind::StartTag || token.name != "base") continue;
      const HtmlTagAttribute* href = FindHtmlAttribute(token, "href");
      if (!href) continue;
      base_.SetBase(href->value.text);
      return;
    }
  }

  // The charset the page declares in its first meta tag that declares one.
  void PageCharset(const std::vector<HtmlToken>& tokens) {
    for (const HtmlToken& token : tokens) {
      if (token.kind != HtmlTokenKind::StartTag || token.name != "meta") continue;
      const std::string charset = DeclaredCharset(token);
      if (charset.empty()) continue;
      base_.DeclareCharset(charset);
      return;
    }
  }

  void StartTag(const HtmlToken& tag) {
    const size_t before = refs_.size();
    if (tag.name == "base") {
      BaseHref(tag);
      return;
    }
    if (tag.name == "meta") {
      Meta(tag);
      return;
    }
    TagsOwnReference(tag);
    for (const HtmlTagAttribute& attribute : tag.attributes) Attribute(tag, attribute);
    // The references the mode saves would fail a copy on disk: integrity cannot match a
    // rewritten file and a file passes no cross-origin check.
    if (refs_.size() > before)
      for (const HtmlTagAttribute& attribute : tag.attributes)
        if (attribute.name == "integrity" || attribute.name == "crossorigin") {
          const size_t from = BlanksBefore(tag, attribute);
          PageReference ref = At(tag, from, AttributeEnd(attribute) - from);
          ref.form = PageReference::Form::RemoveAttribute;
          refs_.push_back(std::move(ref));
        }
    std::sort(refs_.begin() + before, refs_.end(),
              [](const PageReference& a, const PageReference& b) { return a.offset < b.offset; });
  }

  PageReference At(const HtmlToken& tag, size_t offset, size_t length) {
    PageReference ref;
    ref.form = PageReference::Form::Attribute;
    ref.tag = tag.begin;
    ref.offset = offset;
    ref.length = length;
    return ref;
  }

  // Every base's href goes, the one applied to every reference and the others; the tag and
  // its other attributes (target) stay.
  void BaseHref(const HtmlToken& tag) {
    const HtmlTagAttribute* href = FindHtmlAttribute(tag, "href");
    if (!href) return;
    PageReference ref = At(tag, BlanksBefore(tag, *href), 0);
    ref.length = AttributeEnd(*href) - ref.offset;
    ref.form = PageReference::Form::RemoveTag;
    refs_.push_back(std::move(ref));
  }

  // Where an attribute starts with the blanks before it.
  size_t BlanksBefore(const HtmlToken& tag, const HtmlTagAttribute& attribute) const {
    size_t from = attribute.nameOffset;
    while (from > tag.begin && IsBlank(html_[from - 1])) --from;
    return from;
  }

  void RemoveTag(const HtmlToken& tag) {
    PageReference ref = At(tag, tag.begin, tag.end - tag.begin);
    ref.form = PageReference::Form::RemoveTag;
    refs_.push_back(std::move(ref));
  }

  void Meta(const HtmlToken& tag) {
    const HtmlTagAttribute* equiv = FindHtmlAttribute(tag, "http-equiv");
    const std::string_view name = equiv ? Trim(equiv->value.text) : std::string_view();
    // A policy written for the page's servers would block its saved files.
    if (EqualsIgnoreCase(name, "content-security-policy") ||
        EqualsIgnoreCase(DeclaredCharset(tag), "utf-8")) {
      RemoveTag(tag);
      return;
    }
    const HtmlTagAttribute* content = FindHtmlAttribute(tag, "content");
    if (!base_.FromWeb() || !content || !EqualsIgnoreCase(name, "refresh")) return;
    // "5; url=next.htm": a relative address points at the web, as unsaved anchors do.
    const std::string& text = content->value.text;
    const std::string lower = AsciiLowerCase(text);
    const size_t url = lower.find("url");
    if (url == std::string::npos) return;
    size_t i = url + 3;
    while (i < text.size() && IsBlank(text[i])) ++i;
    if (i >= text.size() || text[i] != '=') return;
    ++i;
    while (i < text.size() && IsBlank(text[i])) ++i;
    size_t end = text.size();
    if (i < text.size() && (text[i] == '"' || text[i] == '\'')) {
      const size_t close = text.find(text[i], i + 1);
      end = close == std::string::npos ? text.size() : close;
      ++i;
    }
    const std::optional<AttributeText> value = ValueText(*content, i, end);
    if (!value || IsSelfContainedReference(value->text)) return;
    PageReference ref = At(tag, value->offset, value->length);
    ref.value = value->text;
    ref.absolute = base_.Address(value->text);
    if (ref.absolute) refs_.push_back(std::move(ref));
  }

  // The reference of the tags' own kinds: src, else background (a known resource file),
  // param's value, link's and a's href; <object data> as <embed src>.
  void TagsOwnReference(const HtmlToken& tag) {
    int kind = tag.name == "object" ? rkEmbed : KindOfTagName(tag.name);
    if (kind < 0) return;
    const HtmlTagAttribute* attribute = nullptr;
    auto present = [&](std::string_view name) {
      const HtmlTagAttribute* found = FindHtmlAttribute(tag, name);
      return found && found->hasValue ? found : nullptr;
    };
    switch (kind) {
      case rkParam:
        attribute = present("value");
        break;
      case rkLink:
      case rkAnchor:
        attribute = present("href");
        break;
      default:
        if (tag.name == "object") {
          attribute = present("data");
        } else {
          attribute = present("src");
          if (!attribute) attribute = present("background");
        }
        break;
    }
    if (!attribute) return;
    const std::optional<AttributeText> value = ValueText(*attribute);
    if (!value || value->text.front() == '#') return;
    PageReference ref = At(tag, value->offset, value->length);
    ref.kind = kind;
    ref.value = value->text;
    if (kind == rkAnchor) {
      ref.absolute = base_.Address(ref.value);
      if (ref.absolute) refs_.push_back(std::move(ref));
      return;
    }
    if (kind != rkLink && !IsCompletePageResourceFile(ref.value)) {
      // Not saved: in a page from the web it points at the web.
      if (base_.FromWeb() && base_.OnWeb() && !IsSelfContainedReference(ref.value)) {
        ref.absolute = base_.Address(ref.value);
        if (ref.absolute) refs_.push_back(std::move(ref));
      }
      return;
    }
    const std::string_view path = FetchablePath(ref.value, &ref.fragment);
    if (path.empty()) return;
    ref.url = base_.FetchUrl(path);
    if (kind == rkLink) {
      const HtmlTagAttribute* rel = FindHtmlAttribute(tag, "rel");
      ref.styleSheet = rel && HasToken(rel->value.text, "stylesheet");
    }
    refs_.push_back(std::move(ref));
  }

  void Attribute(const HtmlToken& tag, const HtmlTagAttribute& attribute) {
    const std::string& attr = attribute.name;
    const std::string& name = tag.name;
    if ((attr == "srcset" && (name == "img" || name == "source")) || attr == "data-srcset") {
      Srcset(tag, attribute);
    } else if ((attr == "src" &&
                (name == "source" || name == "video" || name == "audio" || name == "track")) ||
               (attr == "poster" && name == "video") ||
               ((attr == "href" || attr == "xlink:href") && (name == "use" || name == "image"))) {
      Single(tag, attribute, false);
    } else if (std::find(std::begin(kLazyAttributes), std::end(kLazyAttributes), attr) !=
               std::end(kLazyAttributes)) {
      Single(tag, attribute, true);
    } else if (attr == "style") {
      StyleAttribute(tag, attribute);
    } else if (attr == "srcdoc" && name == "iframe") {
      Srcdoc(tag, attribute);
    }
  }

  void Single(const HtmlToken& tag, const HtmlTagAttribute& attribute, bool mustBeKnownFile) {
    const std::optional<AttributeText> value = ValueText(attribute);
    if (!value || (mustBeKnownFile && !IsCompletePageResourceFile(value->text))) return;
    PageReference ref = At(tag, value->offset, value->length);
    ref.value = value->text;
    const std::string_view path = FetchablePath(ref.value, &ref.fragment);
    if (path.empty()) return;
    ref.url = base_.FetchUrl(path);
    refs_.push_back(std::move(ref));
  }

  void Srcset(const HtmlToken& tag, const HtmlTagAttribute& attribute) {
    const std::string& text = attribute.value.text;
    for (const SrcsetCandidate& candidate : SplitSrcset(text)) {
      const std::optional<AttributeText> value =
          ValueText(attribute, candidate.offset, candidate.offset + candidate.length);
      if (!value) continue;
      PageReference ref = At(tag, value->offset, value->length);
      ref.srcset = true;
      ref.value = value->text;
      const std::string_view path = FetchablePath(ref.value, &ref.fragment);
      if (path.empty()) continue;
      ref.url = base_.FetchUrl(path);
      refs_.push_back(std::move(ref));
    }
  }

  void StyleAttribute(const HtmlToken& tag, const HtmlTagAttribute& attribute) {
    const DecodedHtmlText& decoded = attribute.value;
    for (const CssReference& css : FindCssReferences(decoded.text)) {
      PageReference ref = StyleReference(css);
      if (ref.url.empty()) continue;
      ref.form = PageReference::Form::StyleAttribute;
      ref.tag = tag.begin;
      ref.offset = attribute.valueOffset + decoded.rawOffset[css.offset];
      ref.length = decoded.rawOffset[css.offset + css.length] - decoded.rawOffset[css.offset];
      refs_.push_back(std::move(ref));
    }
  }

  // An <iframe srcdoc> document is a page of its own, read with this page's base; its
  // references are rewritten where they stand in the value.
  void Srcdoc(const HtmlToken& tag, const HtmlTagAttribute& attribute) {
    if (!attribute.hasValue || attribute.rawValue.empty() || srcdocDepth_ >= kMaxSrcdocDepth)
      return;
    PageReference ref = At(tag, attribute.valueOffset, attribute.rawValue.size());
    ref.form = PageReference::Form::Srcdoc;
    ref.quote = attribute.quote;
    ref.documentRaw = attribute.value.rawOffset;
    ref.inner = MarkupScanner(attribute.value.text, base_, srcdocDepth_ + 1).Run();
    if (!ref.inner.empty()) refs_.push_back(std::move(ref));
  }

  // The text of a <style> element goes to the style reader, an inline script's to the
  // script reader.
  void RawText(const std::string& element, const HtmlToken& text) {
    const std::string_view content =
        html_.substr(text.contentBegin, text.contentEnd - text.contentBegin);
    if (element == "script") {
      ScriptScanner(content, text.contentBegin, base_).Run(refs_);
      return;
    }
    if (element != "style") return;
    for (const CssReference& css : FindCssReferences(content)) {
      PageReference ref = StyleReference(css);
      if (ref.url.empty()) continue;
      ref.form = PageReference::Form::Style;
      ref.tag = text.begin;
      ref.offset = text.contentBegin + css.offset;
      ref.length = css.length;
      refs_.push_back(std::move(ref));
    }
  }

  PageReference StyleReference(const CssReference& css) {
    PageReference ref;
    ref.inlineStyle = true;
    ref.cssQuote = css.quote;
    ref.value = css.value;
    ref.styleSheet = css.fromImport;
    const std::string_view path = FetchablePath(ref.value, &ref.fragment);
    if (!path.empty()) ref.url = base_.FetchUrl(path);
    return ref;
  }

  std::string_view html_;
  DocumentBase base_;      // the base of every reference: the first <base href>, else the page
  const int srcdocDepth_;  // how many srcdoc documents hold this one
  std::vector<PageReference> refs_;
};

}  // namespace

std::vector<PageReference> ScanCompletePage(std::string_view html, std::string_view pageUrl,
                                            bool script) {
  std::vector<PageReference> refs;
  if (script) {
    ScriptScanner(html, 0, DocumentBase(pageUrl)).Run(refs);
    return refs;
  }
  return MarkupScanner(html, DocumentBase(pageUrl)).Run();
}

std::string StyleReferenceUrl(std::string_view sheetUrl, std::string_view value,
                              std::string* fragment) {
  const std::string_view path = FetchablePath(value, fragment);
  if (path.empty()) return std::string();
  return DocumentBase(sheetUrl).FetchUrl(path);
}

namespace {

// One place of a document rewritten: [offset, offset + length) becomes text.
struct Edit {
  size_t offset, length;
  std::string text;
};

// Text written into an attribute value with this quote; an unquoted value also needs its
// blanks escaped, or it would end at the first one.
std::string EscapeForValue(std::string_view text, char quote) {
  std::string escaped = EscapeAttributeText(text);
  if (quote) return escaped;
  std::string out;
  out.reserve(escaped.size());
  for (char c : escaped) {
    if (c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r' || c == '=' || c == '`') {
      out += "&#" + std::to_string(int(c)) + ";";
    } else {
      out += c;
    }
  }
  return out;
}

// The edits of a document's references, in order, in the document's own text: a srcdoc
// document's edits are its references' own, put where they stand in the value as written and
// escaped for it.
std::vector<Edit> EditsOf(
    const std::vector<PageReference>& refs,
    const std::function<std::optional<std::string>(const PageReference&)>& localName) {
  using Form = PageReference::Form;
  std::vector<Edit> edits;
  std::vector<const PageReference*> removable;  // per edit: set when it goes only where its
                                                // tag has a reference saved
  std::unordered_set<size_t> savedTags;
  for (const PageReference& ref : refs) {
    std::optional<std::string> text;
    if (ref.form == Form::RemoveTag || ref.form == Form::RemoveAttribute) {
      text.emplace();
    } else if (ref.form == Form::Srcdoc) {
      for (Edit& inner : EditsOf(ref.inner, localName)) {
        const size_t begin = ref.documentRaw[inner.offset];
        const size_t end = ref.documentRaw[inner.offset + inner.length];
        edits.push_back({ref.offset + begin, end - begin, EscapeForValue(inner.text, ref.quote)});
        removable.push_back(nullptr);
      }
      continue;
    } else if (!ref.url.empty() && (text = localName(ref))) {
      savedTags.insert(ref.tag);
      *text = EscapeLocalNameForUrl(*text, ref.srcset) + ref.fragment;
      switch (ref.form) {
        case Form::Attribute:
          text = EscapeAttributeText(*text);
          break;
        case Form::Style:
          text = EscapeCssValue(*text, ref.cssQuote);
          break;
        case Form::StyleAttribute:
          text = EscapeAttributeText(EscapeCssValue(*text, ref.cssQuote));
          break;
        default:
          break;
      }
    } else if (ref.absolute) {
      text = ref.form == Form::Attribute ? EscapeAttributeText(*ref.absolute) : *ref.absolute;
    }
    if (!text) continue;
    edits.push_back({ref.offset, ref.length, std::move(*text)});
    removable.push_back(ref.form == Form::RemoveAttribute ? &ref : nullptr);
  }
  std::vector<Edit> kept;
  kept.reserve(edits.size());
  size_t end = 0;
  for (size_t i = 0; i < edits.size(); ++i) {
    if (removable[i] && !savedTags.count(removable[i]->tag)) continue;
    if (edits[i].offset < end) continue;  // overlaps an earlier edit
    end = edits[i].offset + edits[i].length;
    kept.push_back(std::move(edits[i]));
  }
  return kept;
}

}  // namespace

std::string RewriteCompletePage(
    std::string_view html, const std::vector<PageReference>& refs,
    const std::function<std::optional<std::string>(const PageReference&)>& localName) {
  std::string out;
  out.reserve(html.size() + html.size() / 8);
  size_t copied = 0;
  for (const Edit& edit : EditsOf(refs, localName)) {
    out.append(html.substr(copied, edit.offset - copied));
    out.append(edit.text);
    copied = edit.offset + edit.length;
  }
  out.append(html.substr(copied));
  return out;
}

}  // namespace lorvex
