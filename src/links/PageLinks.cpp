#include "links/PageLinks.h"

#include <cstdint>
#include <cstring>
#include <limits>
#include <stdexcept>
#include <unordered_map>

#include "links/TagFinder.h"
#include "links/TodaysPageLinks.h"
#include "util/Ascii.h"
#include "util/ByteScan.h"
#include "util/UrlPath.h"

namespace lorvex {

namespace {

// Characters that continue an attribute name.
constexpr bool IsAttributeNameChar(char c) {
  return IsAsciiAlnum(c) || c == '-' || c == '_' || c == ':' || c == '.';
}

constexpr bool IsNameEnd(char c) {
  return c == '\r' || c == '\n' || c == ' ' || c == '"' || c == '\'' || c == '<' || c == '>';
}

}  // namespace

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

// The position (0-based) where a value that is trimmed to its text starts: the first byte
// above 32, so that replacing the trimmed value's length from there covers exactly the value
// even when it begins with a tab or a line break. A blank value has none.
size_t TrimmedStart(std::string_view raw) {
  for (size_t i = 0; i < raw.size(); ++i)
    if (static_cast<unsigned char>(raw[i]) > 32) return i;
  return std::string_view::npos;
}

// The first of the names that is present; its value must name a known resource file, or
// there is no value (and `refused`, when given, receives it).
AttributeValue ResourceAttribute(std::string_view attrText,
                                 std::initializer_list<std::string_view> names,
                                 AttributeValue* refused = nullptr, bool todaysKinds = false) {
  AttributeValue result;
  for (std::string_view name : names) {
    TagAttribute attribute = GetTagAttribute(attrText, name);
    if (!attribute.found) continue;
    if (!(todaysKinds ? IsTodaysResourceFile(attribute.value) : IsResourceFile(attribute.value))) {
      if (refused && attribute.pos != kNoPosition) {
        refused->pos = attribute.pos;
        refused->value = std::move(attribute.value);
      }
      return result;
    }
    result.pos = attribute.pos;
    result.value = std::move(attribute.value);
    return result;
  }
  return result;
}

AttributeValue PlainAttribute(std::string_view attrText, std::string_view name) {
  TagAttribute attribute = GetTagAttribute(attrText, name);
  AttributeValue result;
  if (!attribute.found) return result;
  result.pos = attribute.pos;
  result.value = std::move(attribute.value);
  return result;
}

// True when resolving the reference text changes nothing: trimmed, nothing to decode, no
// "file:" scheme, absolute, and already with the delimiters that resolution would give it.
bool IsResolvedReference(std::string_view text) {
  if (text.size() < 2 || Trim(text).size() != text.size()) return false;
  if (text.find('%') != std::string_view::npos || StartsWithIgnoreCase(text, "file:") ||
      IsRelativeUrl(text))
    return false;
  return text.find(text[1] == ':' ? '/' : '\\') == std::string_view::npos;
}

std::string KindReferenceInFolder(std::string_view folder, std::string_view ref) {
  if (ref.empty()) return std::string();
  std::string out;
  out.reserve(folder.size() + ref.size() + 1);
  out.push_back(ref.front());
  AppendResolvedUrl(out, folder, ref.substr(1));
  return out;
}

// The kind digit followed by the value resolved in the folder.
std::string KindValueInFolder(std::string_view folder, int kind, std::string_view value) {
  std::string out;
  out.reserve(folder.size() + value.size() + 2);
  out.push_back(static_cast<char>('0' + kind));
  AppendResolvedUrl(out, folder, value);
  return out;
}

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

// Kinds whose value is read as a file of their own, so that a value that is not a known
// resource file is left out of the list (param's value is often no address at all).
constexpr bool HasUnsavedValues(int kind) {
  return kind == rkImage || kind == rkEmbed || kind == rkScript || kind == rkFrame;
}

// ScanTag with the base's folder kept between calls. When `unsaved` is given, it receives
// the position and length of a src/background value that was read but is not a known
// resource file (the tag then carries no reference).
TagScanResult ScanTagText(std::string_view tag, std::string& baseUrl, BaseFolder& folder,
                          AttributeValue* unsaved = nullptr, bool todaysKinds = false) {
  TagScanResult result;
  size_t nameEnd = 1;
  while (nameEnd < tag.size() && !IsNameEnd(tag[nameEnd])) ++nameEnd;
  std::string_view name = tag.substr(1, nameEnd - 1);
  int kind = KindOfTagName(name);
  if (kind < 0) return result;
  result.kind = kind;
  std::string_view attrText = tag.substr(nameEnd);
  AttributeValue attribute;
  switch (kind) {
    case rkParam:
      attribute = ResourceAttribute(attrText, {"value"}, nullptr, todaysKinds);
      break;
    case rkLink:
    case rkBase:
    case rkAnchor:
      attribute = PlainAttribute(attrText, "href");
      break;
    case rkMeta:
      attribute = PlainAttribute(attrText, "charset");
      break;
    default:
      attribute = ResourceAttribute(attrText, {"src", "background"}, unsaved, todaysKinds);
      break;
  }
  if (unsaved && unsaved->pos != kNoPosition) unsaved->pos += static_cast<TextPos>(name.size()) + 1;
  if (attribute.pos == kNoPosition) return result;
  result.valuePos = attribute.pos + static_cast<TextPos>(name.size()) + 1;
  result.valueLen = attribute.value.size();
  if (kind == rkMeta)
    result.ref = std::string(Trim(PrefixKind(kind, attribute.value)));
  else
    result.ref = KindValueInFolder(folder.Of(baseUrl), kind, attribute.value);
  if (kind == rkBase) baseUrl = AddSlash(attribute.value);
  // A reference that trims to nothing counts as none (the kind digit keeps it from happening).
  if (Trim(result.ref).empty()) {
    result.ref.clear();
    result.valuePos = kNoPosition;
  }
  return result;
}

bool IsKindLine(std::string_view line, int kind) {
  return !line.empty() && line.front() == char('0' + kind);
}

void NormalizeFolderText(std::string& folder) {
  folder = std::string(Trim(folder));
  for (char& c : folder)
    if (c == '\\') c = '/';
  if (!folder.empty() && folder.back() != '/') folder.push_back('/');
}

}  // namespace

std::string PrefixKind(int kind, std::string_view text) {
  std::string out;
  out.reserve(text.size() + 1);
  out.push_back(static_cast<char>('0' + kind));
  out.append(text);
  return out;
}

int ReferenceKindOf(std::string_view ref) {
  if (ref.empty() || !IsAsciiDigit(ref.front()))
    throw std::invalid_argument("'" + std::string(ref.substr(0, 1)) +
                                "' is not a valid integer value");
  return ref.front() - '0';
}

std::string StripKind(std::string_view ref) {
  return std::string(ref.empty() ? ref : ref.substr(1));
}

std::string ResolveKindReference(std::string_view base, std::string_view ref) {
  return KindReferenceInFolder(ResolveBaseFolder(base), ref);
}

TagAttribute GetTagAttribute(std::string_view attrText, std::string_view name) {
  TagAttribute result;
  const size_t length = attrText.size();
  if (name.empty() || length < 5) return result;
  // The name is looked for at positions 1 to length - 4, up to the first ">". An occurrence
  // that goes on with a name character is the start of a longer name ("src" in "srcset",
  // "href" in "hreflang"), not the attribute: the search goes on past it.
  size_t after = std::string_view::npos;
  for (size_t s = 0; s + 4 < length; ++s) {
    char c = attrText[s];
    if (c == '>') break;
    if ((c == ' ' || c == '\r' || c == '\n') && s + 1 + name.size() <= length &&
        EqualsIgnoreCase(attrText.substr(s + 1, name.size()), name)) {
      const size_t end = s + 1 + name.size();
      if (end < length && IsAttributeNameChar(attrText[end])) continue;
      after = end;
      break;
    }
  }
  if (after == std::string_view::npos) return result;
  while (after < length && attrText[after] == ' ') ++after;
  if (after >= length || attrText[after] != '=') return result;
  result.found = true;
  size_t v = after + 1;
  while (v < length && attrText[v] == ' ') ++v;
  if (v >= length) return result;
  std::string_view raw;
  size_t rawStart;
  char quote = attrText[v];
  if (quote == '"' || quote == '\'') {
    rawStart = v + 1;
    size_t end = rawStart;
    while (end < length && attrText[end] != quote && attrText[end] != '>') ++end;
    raw = attrText.substr(rawStart, end - rawStart);
    size_t start = TrimmedStart(raw);
    if (start != std::string_view::npos)
      result.pos = static_cast<TextPos>(rawStart + start) + 1;
    else  // blank: where the first non-space would be, as the position is counted from the quote
      result.pos = static_cast<TextPos>(v + 1) + FirstNonSpace(raw);
  } else {
    rawStart = v;
    size_t end = v;
    while (end < length && !IsNameEnd(attrText[end])) ++end;
    raw = attrText.substr(v, end - v);
    size_t start = TrimmedStart(raw);
    result.pos = static_cast<TextPos>(rawStart + (start == std::string_view::npos ? 0 : start)) + 1;
  }
  result.value = std::string(Trim(raw));
  if (result.value.find("\\\"") != std::string::npos)
    result.value = ReplaceAllText(result.value, "\\\"", "  ");
  return result;
}

AttributeValue SrcAttribute(std::string_view attrText) {
  return ResourceAttribute(attrText, {"src", "background"});
}
AttributeValue ValueAttribute(std::string_view attrText) {
  return ResourceAttribute(attrText, {"value"});
}
AttributeValue HrefAttribute(std::string_view attrText) { return PlainAttribute(attrText, "href"); }
AttributeValue CharsetAttribute(std::string_view attrText) {
  return PlainAttribute(attrText, "charset");
}

TagScanResult ScanTag(std::string_view tag, std::string& baseUrl) {
  BaseFolder folder;
  return ScanTagText(tag, baseUrl, folder);
}

TagScanResult ScanTagOfTodaysPage(std::string_view tag, std::string& baseUrl,
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
  ForEachTag(html, kCollectMargin, [&](size_t start, size_t end) {
    AttributeValue unsaved;
    TagScanResult scan = ScanTagText(html.substr(start, end - start + 1), base, folder,
                                     records ? &unsaved : nullptr);
    if (records) {
      if (scan.valuePos != kNoPosition) {
        bool utf8 =
            scan.kind == rkMeta && EqualsIgnoreCase(std::string_view(scan.ref).substr(1), "utf-8");
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
    if (first && !IsKindLine(line, rkBase) && !IsKindLine(line, rkMeta) &&
        !IsKindLine(line, rkAnchor)) {
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

void ResolveReferenceList(std::string_view base, StringList& refs) {
  const std::string folder = ResolveBaseFolder(base);
  for (std::string& line : refs)
    if (line.empty() || !IsResolvedReference(std::string_view(line).substr(1)))
      line = KindReferenceInFolder(folder, line);
}

void RemoveNonResourceReferences(StringList& refs) {
  std::erase_if(refs, [](const std::string& line) {
    return IsKindLine(line, rkBase) || IsKindLine(line, rkMeta) || IsKindLine(line, rkAnchor);
  });
}

void StripReferenceKinds(StringList& refs) {
  for (std::string& line : refs)
    if (!line.empty()) line.erase(0, 1);
}

StringList ReferenceFileNames(const StringList& refs) {
  StringList names;
  names.reserve(refs.size());
  for (const std::string& line : refs) {
    std::string name = ExtractUrlFileName(std::string_view(line).substr(line.empty() ? 0 : 1));
    if (!Trim(name).empty()) {
      if (IsKindLine(line, rkFrame) && ExtractUrlFileExt(name).empty()) name += ".htm";
      name = StripUrlQuery(name);
    }
    names.push_back(std::move(name));
  }
  return names;
}

namespace {

// A hash of the text with the ASCII letters folded, eight bytes at a time.
uint64_t FoldedHash(std::string_view text) {
  uint64_t h = 0x9E3779B97F4A7C15ull ^ text.size();
  size_t i = 0;
  for (; i + 8 <= text.size(); i += 8) {
    uint64_t word;
    std::memcpy(&word, text.data() + i, 8);
    h = (h ^ AsciiLowerWord(word)) * 0xFF51AFD7ED558CCDull;
    h ^= h >> 32;
  }
  uint64_t tail = 0;
  for (size_t shift = 0; i < text.size(); ++i, shift += 8)
    tail |= static_cast<uint64_t>(static_cast<unsigned char>(AsciiLower(text[i]))) << shift;
  h = (h ^ tail) * 0xC4CEB9FE1A85EC53ull;
  return h ^ (h >> 29);
}

// For every text, the index of the first text equal to it with the ASCII letters folded (its
// own index when it is the first). Empty texts are skipped when skipEmpty is set (they keep
// their own index). One open-addressing table with the hashes kept beside the indexes, so a
// probe touches a text only when the hashes agree.
std::vector<size_t> FirstFoldedOccurrence(const StringList& texts, bool skipEmpty) {
  const size_t n = texts.size();
  // Slots hold 32-bit hashes and indexes: half the memory, and so half the cache misses.
  if (n >= std::numeric_limits<uint32_t>::max()) throw std::length_error("too many references");
  std::vector<size_t> first(n);
  size_t capacity = 16;
  while (capacity < 2 * n) capacity *= 2;
  struct Slot {
    uint32_t hash;
    uint32_t index;  // index + 1; 0 for an empty slot
  };
  std::vector<Slot> table(capacity, Slot{0, 0});
  std::vector<uint64_t> hashes(n);
  for (size_t i = 0; i < n; ++i) hashes[i] = FoldedHash(texts[i]);
  // The table is larger than the caches: ask for the slot of a later text ahead of time.
  constexpr size_t kPrefetchDistance = 8;
  for (size_t i = 0; i < n; ++i) {
    if (i + kPrefetchDistance < n)
      __builtin_prefetch(
          &table[static_cast<size_t>(hashes[i + kPrefetchDistance]) & (capacity - 1)]);
    first[i] = i;
    if (skipEmpty && texts[i].empty()) continue;
    const uint64_t fullHash = hashes[i];
    const uint32_t hash = static_cast<uint32_t>(fullHash >> 32);
    for (size_t at = static_cast<size_t>(fullHash) & (capacity - 1);;
         at = (at + 1) & (capacity - 1)) {
      Slot& slot = table[at];
      if (slot.index == 0) {
        slot = Slot{hash, static_cast<uint32_t>(i + 1)};
        break;
      }
      if (slot.hash == hash && EqualsIgnoreCase(texts[slot.index - 1], texts[i])) {
        first[i] = slot.index - 1;
        break;
      }
    }
  }
  return first;
}

// Clash numbers from the file names. Different references (compared exactly, without kind)
// whose names agree are numbered 2, 3, ... in order, except those equal to the first
// reference of that name, which keep 1; then every line shares the number of the first line
// equal to it ignoring letter case. Names are compared ignoring letter case, because the
// local files live on a file system that does not tell "Logo.gif" from "logo.gif".
std::vector<size_t> ClashNumbers(const StringList& refs, const StringList& names) {
  const size_t n = refs.size();
  std::vector<size_t> numbers(n, 1);
  std::vector<size_t> counters(n, 1);  // per first line of a name
  const std::vector<size_t> firstOfName = FirstFoldedOccurrence(names, true);
  auto withoutKind = [&](size_t i) {
    return std::string_view(refs[i]).substr(refs[i].empty() ? 0 : 1);
  };
  for (size_t i = 0; i < n; ++i) {
    const size_t group = firstOfName[i];
    if (group == i || withoutKind(i) == withoutKind(group)) continue;
    numbers[i] = ++counters[group];
  }
  const std::vector<size_t> firstEqual = FirstFoldedOccurrence(refs, false);
  for (size_t i = 0; i < n; ++i) numbers[i] = numbers[firstEqual[i]];
  return numbers;
}

}  // namespace

StringList NumberNameClashes(const StringList& refs) {
  std::vector<size_t> numbers = ClashNumbers(refs, ReferenceFileNames(refs));
  StringList texts;
  texts.reserve(numbers.size());
  for (size_t number : numbers) texts.push_back(std::to_string(number));
  return texts;
}

StringList MakeLocalNames(const StringList& refs, std::string_view folder) {
  std::string prefix(folder);
  NormalizeFolderText(prefix);
  StringList names = ReferenceFileNames(refs);
  std::vector<size_t> numbers = ClashNumbers(refs, names);
  StringList locals;
  locals.reserve(refs.size());
  for (size_t i = 0; i < refs.size(); ++i)
    locals.push_back(
        prefix + (numbers[i] == 1 ? names[i] : TagFileName(names[i], std::to_string(numbers[i]))));
  return locals;
}

CidNames::const_iterator FindCidName(const CidNames& cidNames, std::string_view value) {
  constexpr std::string_view kCid = "cid:";
  if (!StartsWithIgnoreCase(value, kCid)) return cidNames.end();
  std::string key(kCid);
  key.append(value.substr(kCid.size()));
  auto at = cidNames.find(key);
  if (at == cidNames.end()) {
    // A cid URL may carry its Content-ID percent-encoded.
    key.resize(kCid.size());
    key.append(UrlDecode(value.substr(kCid.size())));
    at = cidNames.find(key);
  }
  return at;
}

namespace {

// The local name that a "cid:" value names, or null.
const std::string* CidTarget(const CidNames* cidNames, std::string_view value) {
  if (!cidNames) return nullptr;
  auto at = FindCidName(*cidNames, value);
  return at == cidNames->end() ? nullptr : &at->second;
}

}  // namespace

std::string RewritePageLinks(std::string_view html, std::string_view localFolder,
                             std::string_view pageUrl, const CidNames* cidNames) {
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
  const StringList locals = MakeLocalNames(fetched, folder);
  // Anchors point at their absolute, decoded URL.
  ResolveReferenceList(pageBase, refs);
  UrlDecodeList(refs);
  StripReferenceKinds(refs);

  // The rewriting pass finds tags as the collecting pass does, but with the larger margin.
  // Both scan the same text the same way up to the first "<" whose search runs into the
  // last kRewriteMargin characters; no tag ends before that point afterwards. So its tags
  // are the collected ones that end before that margin, in the same order, with the same
  // scan results: the k-th listed one is line k of the lists.
  //
  // The working copy is built by appending: `copied` is how much of the page has gone into
  // `out`; a changed tag is appended in its new form (or left out), and the scan goes on
  // after it. In particular the new text of a tag is never scanned for tags: a decoded "<" in
  // a reference must not start a tag and shift every later reference by one.
  const size_t limit = html.size() > kRewriteMargin ? html.size() - kRewriteMargin : 0;
  std::string out, absolute;
  out.reserve(html.size() + html.size() / 8);
  size_t copied = 0, k = 0;
  for (size_t t = 0; t < tags.size() && tags[t].end < limit; ++t) {
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
    } else if (tag.listed) {
      replacement = tag.kind == rkAnchor ? &refs[line] : &locals[fetchLine[line]];
    } else if (fromWeb && IsWebUrl(records.bases[tag.base]) && !IsSelfContainedReference(value)) {
      // A value the import does not save points at the web where the page came from.
      absolute = JoinWebUrl(records.bases[tag.base], value);
      replacement = &absolute;
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
