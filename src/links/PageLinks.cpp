#include "links/PageLinks.h"

#include <unordered_map>
#include <vector>

#include "links/CidReferences.h"
#include "links/TagFinder.h"
#include "util/UrlPath.h"

namespace lorvex {

int KindOfTagName(std::string_view tagName) {
  constexpr size_t kLongestTagName = 6;  // iframe, script
  if (tagName.empty() || tagName.size() > kLongestTagName) return -1;
  std::string name = AsciiLowerCase(tagName);
  struct Entry {
    std::string_view name;
    int kind;
  };
  static constexpr Entry kTable[] = {{"img", rkImage},    {"input", rkImage},   {"body", rkImage},
                                     {"table", rkImage},  {"td", rkImage},      {"embed", rkEmbed},
                                     {"param", rkParam},  {"script", rkScript}, {"link", rkLink},
                                     {"base", rkBase},    {"meta", rkMeta},     {"a", rkAnchor},
                                     {"iframe", rkFrame}, {"frame", rkFrame}};
  for (const Entry& entry : kTable)
    if (entry.name == name) return entry.kind;
  return -1;
}

namespace {

// The resolved folder of the current base, worked out again only when a base tag changes it.
class BaseFolder {
 public:
  const std::string& Of(const std::string& base) {
    if (!valid_ || base != base_) {
      base_ = base;
      folder_ = ResolveBaseFolder(base);
      valid_ = true;
    }
    return folder_;
  }

 private:
  bool valid_ = false;
  std::string base_, folder_;
};

// ScanTag with the base's folder kept between calls. When `unsaved` is given, it receives
// the position and length of a src/background value that was read but is not a known
// resource file (the tag then carries no reference).
TagScanResult ScanTagText(std::string_view tag, std::string& baseUrl, BaseFolder& folder,
                          AttributeValue* unsaved = nullptr, bool completeKinds = false) {
  TagScanResult result;
  const std::string_view name = TagName(tag);
  const size_t nameEnd = name.size() + 1;
  int kind = KindOfTagName(name);
  if (kind < 0) return result;
  result.kind = kind;
  AttributeValue attribute;
  switch (kind) {
    case rkParam:
      attribute = ResourceAttribute(tag, nameEnd, {"value"}, nullptr, completeKinds);
      break;
    case rkLink:
    case rkBase:
    case rkAnchor:
      attribute = PlainAttribute(tag, nameEnd, "href");
      break;
    case rkMeta:
      attribute = PlainAttribute(tag, nameEnd, "charset", NameSearch::Anywhere);
      break;
    default:
      attribute = ResourceAttribute(tag, nameEnd, {"src", "background"}, unsaved, completeKinds);
      break;
  }
  if (unsaved && unsaved->pos != kNoPosition) unsaved->pos += static_cast<TextPos>(name.size()) + 1;
  if (attribute.pos == kNoPosition) return result;
  result.valuePos = attribute.pos + static_cast<TextPos>(name.size()) + 1;
  result.valueLen = attribute.value.size();
  if (kind == rkMeta)
    result.ref = std::string(Trim(PrefixKind(kind, attribute.value)));
  else
    result.ref = ResolveKindValueInFolder(folder.Of(baseUrl), kind, attribute.value);
  if (kind == rkBase) baseUrl = AddSlash(attribute.value);
  // A reference that trims to nothing counts as none (the kind digit keeps it from happening).
  if (Trim(result.ref).empty()) {
    result.ref.clear();
    result.valuePos = kNoPosition;
  }
  return result;
}

}  // namespace

TagScanResult ScanTag(std::string_view tag, std::string& baseUrl) {
  BaseFolder folder;
  return ScanTagText(tag, baseUrl, folder);
}

TagScanResult ScanTagOfCompletePage(std::string_view tag, std::string& baseUrl,
                                    AttributeValue& unsaved) {
  BaseFolder folder;
  return ScanTagText(tag, baseUrl, folder, &unsaved, true);
}

namespace {

// Where the collecting pass found a tag with a value, and what the rewriting pass does with
// it. A listed tag's reference is a line of the list; an unlisted one holds a src/background
// value that is no known resource file, which the list leaves out.
struct TagRecord {
  size_t start, end;  // 0-based positions of "<" and ">"
  TextPos valuePos;
  size_t valueLen;
  int kind;
  bool utf8Charset;
  bool listed;
  size_t base;  // the base in force, as an index into the rewriting pass's bases
};

// The tags of the rewriting pass, and the bases as written: the page's location, then the
// value of each base tag in turn.
struct TagRecords {
  std::vector<TagRecord> tags;
  StringList bases;
};

StringList CollectTags(std::string_view html, std::string_view baseUrl, TagRecords* records) {
  StringList refs;
  std::string base(baseUrl);
  BaseFolder folder;
  ForEachTag(html, [&](size_t start, size_t end) {
    AttributeValue unsaved;
    TagScanResult scan = ScanTagText(html.substr(start, end - start + 1), base, folder,
                                     records ? &unsaved : nullptr);
    if (records) {
      if (scan.valuePos != kNoPosition) {
        bool utf8 = scan.kind == rkMeta && EqualsIgnoreCase(WithoutKind(scan.ref), "utf-8");
        if (scan.kind == rkBase) records->bases.push_back(base);
        records->tags.push_back(TagRecord{start, end, scan.valuePos, scan.valueLen, scan.kind, utf8,
                                          true, records->bases.size() - 1});
      } else if (unsaved.pos != kNoPosition) {
        records->tags.push_back(TagRecord{start, end, unsaved.pos, unsaved.value.size(), scan.kind,
                                          false, false, records->bases.size() - 1});
      }
    }
    if (scan.valuePos == kNoPosition) return end + 1;
    refs.push_back(std::move(scan.ref));
    return end + 1;
  });
  TrimLines(refs);
  return refs;
}

// The list that a page import fetches, from the collected references: repeated lines once,
// decoded one by one (a line break decoded inside one reference stays in it), without the
// kinds that name nothing to fetch, resolved against the page. When lineOf is given, it
// receives for every collected line the index of its line in the result (npos for none).
StringList FetchList(const StringList& collected, std::string_view pageBase,
                     std::vector<size_t>* lineOf) {
  StringList refs;
  std::unordered_map<std::string_view, size_t> seen;
  seen.reserve(collected.size());
  if (lineOf) lineOf->assign(collected.size(), std::string::npos);
  for (size_t k = 0; k < collected.size(); ++k) {
    const std::string& line = collected[k];
    auto [at, first] = seen.try_emplace(line, std::string::npos);
    if (first && !IsNonResourceReference(line)) {
      at->second = refs.size();
      refs.push_back(line);
    }
    if (lineOf) (*lineOf)[k] = at->second;
  }
  UrlDecodeList(refs);
  ResolveReferenceList(pageBase, refs);
  return refs;
}

}  // namespace

StringList FetchReferenceList(std::string_view html, std::string_view pageBase) {
  return FetchList(CollectTags(html, pageBase, nullptr), pageBase, nullptr);
}

StringList CollectTagReferences(std::string_view html, std::string_view baseUrl,
                                bool removeDuplicates) {
  StringList refs = CollectTags(html, baseUrl, nullptr);
  if (removeDuplicates) RemoveDuplicateLines(refs);
  return refs;
}

namespace {

// The web address an anchor points at, joined with the base as written and its escapes kept:
// for a value with a web scheme of its own, or a relative one under a base on the web. False
// for the others, which point at their resolved URL.
bool AnchorWebAddress(std::string_view writtenBase, std::string_view value, std::string& out) {
  const bool ownWebScheme = HasWebScheme(value) && value.substr(value.find(':') + 1, 2) == "//";
  if (!ownWebScheme && (!IsWebUrl(writtenBase) || IsSelfContainedReference(value))) return false;
  out = JoinWebUrl(ownWebScheme ? value : writtenBase, value);
  return true;
}

// The local name that a "cid:" value names, or null.
const std::string* CidTarget(const CidNames* cidNames, std::string_view value) {
  if (!cidNames) return nullptr;
  auto at = FindCidName(*cidNames, value);
  return at == cidNames->end() ? nullptr : &at->second;
}

}  // namespace

std::string RewritePageLinks(std::string_view html, std::string_view localFolder,
                             std::string_view pageUrl, const CidNames* cidNames,
                             LocalNameText localNameText, const WrittenFiles* writtenFiles) {
  std::string folder(localFolder);
  NormalizeFolderText(folder);
  if (folder == "/") folder.clear();
  const std::string pageBase = ResolveUrl(pageUrl, pageUrl);
  const bool fromWeb = IsWebUrl(Trim(pageUrl));

  TagRecords records;
  records.bases.emplace_back(Trim(pageUrl));
  StringList refs = CollectTags(html, pageBase, &records);
  const std::vector<TagRecord>& tags = records.tags;

  // Resources are named as the import names the files it fetches: by the same list.
  std::vector<size_t> fetchLine;
  const StringList fetched = FetchList(refs, pageBase, &fetchLine);
  StringList locals = MakeLocalNames(fetched, folder);
  // Which local names stand for files that the import writes.
  std::vector<bool> written(locals.size(), true);
  if (writtenFiles)
    for (size_t i = 0; i < locals.size(); ++i)
      written[i] = writtenFiles->names.count(AsciiLowerCase(std::string_view(locals[i]).substr(
                       std::min(folder.size(), locals[i].size())))) > 0;
  if (localNameText)
    for (std::string& local : locals) local = localNameText(local);
  // Anchors that have no web address point at their absolute, decoded URL.
  ResolveReferenceList(pageBase, refs);
  UrlDecodeList(refs);
  StripReferenceKinds(refs);

  // The rewriting pass walks the collected tags again, in the same order: the k-th listed one
  // is line k of the lists.
  //
  // The working copy is built by appending: `copied` is how much of the page has gone into
  // `out`; a changed tag is appended in its new form (or left out), and the scan goes on
  // after it. In particular the new text of a tag is never scanned for tags: a decoded "<" in
  // a reference must not start a tag and shift every later reference by one.
  std::string out, absolute;
  out.reserve(html.size() + html.size() / 8);
  // The base a tag's web address is joined with, as written: in an archive the page's own
  // location until a base tag.
  auto writtenBase = [&](const TagRecord& tag) {
    return writtenFiles && tag.base == 0 ? std::string_view(writtenFiles->pageLocation)
                                         : std::string_view(records.bases[tag.base]);
  };
  size_t copied = 0, k = 0;
  for (size_t t = 0; t < tags.size(); ++t) {
    const TagRecord& tag = tags[t];
    const size_t line = tag.listed ? k++ : 0;
    std::string_view text = html.substr(tag.start, tag.end - tag.start + 1);
    const size_t at = static_cast<size_t>(tag.valuePos - 1);
    const size_t len = std::min(tag.valueLen, text.size() - at);
    const std::string_view value = text.substr(at, len);
    bool remove = false;
    const std::string* replacement = nullptr;
    if (tag.kind == rkBase) {
      remove = true;
    } else if (tag.kind == rkMeta) {
      remove = tag.utf8Charset;
    } else if (tag.kind != rkParam && (replacement = CidTarget(cidNames, value))) {
      // A part of the archive known by its Content-ID.
    } else if (!value.empty() && value.front() == '#') {
      // An in-page link stays in the page.
    } else if (tag.listed && tag.kind == rkAnchor) {
      replacement = AnchorWebAddress(writtenBase(tag), value, absolute) ? &absolute : &refs[line];
    } else if (tag.listed && written[fetchLine[line]]) {
      replacement = &locals[fetchLine[line]];
    } else if (fromWeb || writtenFiles) {
      // A value the import does not save (or, in an archive, whose file it does not write)
      // points at the web where the page came from.
      const std::string_view base = writtenBase(tag);
      if (IsWebUrl(base) && !IsSelfContainedReference(value)) {
        absolute = JoinWebUrl(base, value);
        replacement = &absolute;
      }
    }
    if (!remove && !replacement) continue;
    out.append(html.substr(copied, tag.start - copied));
    copied = tag.end + 1;
    if (replacement)
      out.append(text.substr(0, at)).append(*replacement).append(text.substr(at + len));
  }
  out.append(html.substr(copied));
  // Style elements and attributes may name parts by cid: too (backgrounds of a mail).
  return cidNames ? RewriteStyleCids(out, *cidNames) : out;
}

}  // namespace lorvex
