// Slow, literal models of URL resolution and of the two passes over a page's tags, shared by
// the tests that compare the library with them on random inputs and by the fuzz targets.
//
// Nothing here calls the link routines it is compared with: the attribute reader, the tag
// scan, the collecting pass, the fetch list, the clash numbering and the rewriting pass are
// written out again, position by position (positions counted from 1), with quadratic
// searches where the library hashes. Only the small text routines of util/ (URL decoding,
// file names and extensions, folders) are shared; they have tests of their own.
//
// Resolution is written out step by step, without the shortcuts that the library takes for
// plain references. The rewriting pass works on a copy of the page in which every changed tag
// is deleted and its new text inserted in place. The tag finder is a state machine over each
// tag's bytes (TagState), a form of its own beside the library's step-over of quoted values.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "links/CompletePageLinks.h"
#include "links/PageLinks.h"
#include "util/Strings.h"
#include "util/UrlPath.h"

namespace lorvex::model {

inline std::string ReplaceChar(std::string text, char from, char to) {
  for (char& c : text)
    if (c == from) c = to;
  return text;
}

inline bool Starts(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

inline char Lower(char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; }

inline bool SameIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (Lower(a[i]) != Lower(b[i])) return false;
  return true;
}

inline bool FromWeb(std::string_view text) {
  return text.size() >= 7 &&
         (SameIgnoringCase(text.substr(0, 7), "http://") ||
          (text.size() >= 8 && SameIgnoringCase(text.substr(0, 8), "https://")));
}

// The dot-segment removal, literally: an input buffer consumed from the front into an output
// buffer, one rule at a time.
inline std::string RemoveDotSegments(std::string input) {
  std::string output;
  while (!input.empty()) {
    if (Starts(input, "../")) {
      input.erase(0, 3);
    } else if (Starts(input, "./")) {
      input.erase(0, 2);
    } else if (Starts(input, "/./")) {
      input.replace(0, 3, "/");
    } else if (input == "/.") {
      input = "/";
    } else if (Starts(input, "/../") || input == "/..") {
      input = input == "/.." ? "/" : input.substr(3);
      const size_t cut = output.rfind('/');
      output.resize(cut == std::string::npos ? 0 : cut);
    } else if (input == "." || input == "..") {
      input.clear();
    } else {
      const size_t next = input.find('/', 1);
      output += input.substr(0, next);
      input.erase(0, next == std::string::npos ? input.size() : next);
    }
  }
  return output;
}

// The length of "scheme://host/" of a URL of the web (http, https or ftp, letters folded);
// 0 for any other text, and for one without a "/" after its host.
inline size_t LiteralWebRoot(std::string_view url) {
  for (std::string_view scheme : {"http://", "https://", "ftp://"}) {
    if (url.size() < scheme.size() || !SameIgnoringCase(url.substr(0, scheme.size()), scheme))
      continue;
    for (size_t i = scheme.size(); i < url.size(); ++i)
      if (url[i] == '/' || url[i] == '\\') return i + 1;
    return 0;
  }
  return 0;
}

// Each round decodes the reference and the base again; after 32 rounds they are taken as they
// are, so that a text encoded over and over ("%252525...") cannot keep the loop going. On the
// web a "../" never takes the base above its root.
inline std::string LiteralCombine(std::string base, std::string ref) {
  if (!IsRelativeUrl(ref)) return ref;
  for (int round = 0;; ++round) {
    const bool decode = round < 32;
    std::string decoded = decode ? UrlDecode(ref) : ref;
    if (decoded.empty()) return base;
    if (decode) base = UrlDecode(base);
    if (decoded[0] == '/' || decoded[0] == '\\')
      return RemoveTrailingDelimiter(ExtractUrlRoot(base)) + ref;
    if (Starts(decoded, "./") || Starts(decoded, ".\\")) {
      ref = decoded.substr(2);
    } else if (Starts(decoded, "../") || Starts(decoded, "..\\")) {
      ref = decoded.substr(3);
      const size_t root = LiteralWebRoot(base);
      const std::string parent = ParentUrlFolder(base);
      base = root != 0 && parent.size() < root ? base.substr(0, root) : parent;
    } else {
      return AddBackslash(base) + decoded;
    }
  }
}

inline std::string LiteralResolve(std::string_view base, std::string_view reference) {
  std::string page = UrlDecode(FileUrlToPath(std::string(Trim(base))));
  std::string ref(Trim(UrlDecode(FileUrlToPath(std::string(Trim(reference))))));
  if (ref.empty()) return "";
  std::string folder = ExtractUrlFolder(page);
  std::string result;
  if (IsRelativeUrl(ref) && ref.size() > 2 && Starts(ref, "//") && FromWeb(folder))
    result = folder.substr(0, folder.find(':') + 1) + ref;  // scheme-relative on the web
  else
    result = IsRelativeUrl(ref) ? LiteralCombine(folder, ref) : ref;
  result = std::string(Trim(result));
  if (result.size() < 2) return "";
  if (result[1] == ':') return ReplaceChar(result, '/', '\\');
  result = ReplaceChar(result, '\\', '/');
  // A URL of the web has the dot segments of its path resolved.
  const size_t root = LiteralWebRoot(result);
  if (root == 0) return result;
  const size_t end = std::min(result.find_first_of("?#", root - 1), result.size());
  return result.substr(0, root - 1) + RemoveDotSegments(result.substr(root - 1, end - root + 1)) +
         result.substr(end);
}

// ---- A reference made absolute as a browser does: merge, then remove dot segments.

inline std::string EscapeForBase(std::string_view text) {
  static const char* const kHex = "0123456789ABCDEF";
  std::string out;
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte <= 32 || c == '"' || c == '\'' || c == '<' || c == '>') {
      out += '%';
      out += kHex[byte / 16];
      out += kHex[byte % 16];
    } else {
      out += c;
    }
  }
  return out;
}

inline std::string LiteralJoin(std::string_view baseText, std::string_view ref) {
  const std::string base(Trim(baseText));
  const size_t colon = base.find(':');
  const std::string scheme = base.substr(0, colon);
  size_t pathStart = colon + 3;
  while (pathStart < base.size() && base[pathStart] != '/' && base[pathStart] != '\\' &&
         base[pathStart] != '?' && base[pathStart] != '#')
    ++pathStart;
  const std::string authority = base.substr(colon + 3, pathStart - colon - 3);
  std::string basePath = base.substr(pathStart, base.find_first_of("?#", pathStart) - pathStart);
  basePath = ReplaceChar(basePath, '\\', '/');

  // The query and fragment as written; in the path before them "\\" is "/".
  const size_t query = std::min(ref.find_first_of("?#"), ref.size());
  const std::string tail(ref.substr(query));
  std::string refPath = ReplaceChar(std::string(ref.substr(0, query)), '\\', '/');
  std::string refScheme = scheme, refAuthority;
  for (std::string_view own : {"http://", "https://", "ftp://"})
    if (refPath.size() >= own.size() && SameIgnoringCase(refPath.substr(0, own.size()), own)) {
      refScheme = refPath.substr(0, own.size() - 3);
      refPath.erase(0, refScheme.size() + 1);
      break;
    }
  bool hasAuthority = false;
  if (refPath.size() > 2 && Starts(refPath, "//")) {
    hasAuthority = true;
    const size_t end = std::min(refPath.find('/', 2), refPath.size());
    refAuthority = refPath.substr(2, end - 2);
    refPath.erase(0, end);
  }

  if (hasAuthority) {
    if (refPath.empty()) return refScheme + "://" + refAuthority + tail;
    return refScheme + "://" + refAuthority + RemoveDotSegments(refPath) + tail;
  }
  std::string path;
  if (!refPath.empty() && refPath[0] == '/') {
    path = refPath;
  } else if (refPath.empty() && !tail.empty() && tail[0] == '?') {
    path = EscapeForBase(basePath.empty() ? "/" : basePath);
  } else {
    const size_t slash = basePath.rfind('/');
    std::string folder = slash == std::string::npos ? "/" : basePath.substr(0, slash + 1);
    path = EscapeForBase(folder) + refPath;
  }
  return EscapeForBase(scheme + "://" + authority) + RemoveDotSegments(path) + tail;
}

// ---- The attribute reader and the tag scan.

struct Attribute {
  bool found = false;
  std::string value;
  long pos = -1;
};

inline bool NameEnd(char c) {
  return c == '\r' || c == '\n' || c == ' ' || c == '"' || c == '\'' || c == '<' || c == '>';
}
inline bool NameGoesOn(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '_' || c == ':' || c == '.';
}
inline bool Blank(char c) { return static_cast<unsigned char>(c) <= 32; }

// How a start tag's bytes are read, as a state machine over the tag from its "<": a quoted
// value opens with a quote after "=" (spaces, tabs, CR or LF between them) and runs to the
// same quote; an unquoted value runs to the next space, tab, CR or LF.
enum class TagState { Outside, AfterEquals, Quoted, Unquoted };
inline bool LeadSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// The state after byte c, in `state` before it.
inline TagState StepTagState(TagState state, char& quote, char c) {
  switch (state) {
    case TagState::Outside:
      return c == '=' ? TagState::AfterEquals : state;
    case TagState::AfterEquals:
      if (c == '"' || c == '\'') {
        quote = c;
        return TagState::Quoted;
      }
      return LeadSpace(c) ? state : TagState::Unquoted;
    case TagState::Quoted:
      return c == quote ? TagState::Outside : state;
    case TagState::Unquoted:
      return LeadSpace(c) ? TagState::Outside : state;
  }
  return state;
}

// The state before each byte of text (1-based; the text's own first byte is the "<").
inline std::vector<TagState> TagStates(std::string_view text) {
  std::vector<TagState> states(text.size() + 2, TagState::Outside);
  TagState state = TagState::Outside;
  char quote = 0;
  for (long j = 2; j <= static_cast<long>(text.size()); ++j) {
    states[j] = state;
    state = StepTagState(state, quote, text[j - 1]);
  }
  return states;
}

// The reader, over tag[from + 1 ...] (1-based positions counted from `from`). With `anywhere`
// a name is looked for inside quoted values too (the charset of a meta tag's content).
inline Attribute LiteralAttribute(std::string_view tag, long from, std::string_view name,
                                  bool anywhere = false) {
  Attribute a;
  const std::string_view text = tag.substr(static_cast<size_t>(from));
  const std::vector<TagState> states = TagStates(tag);
  auto hidden = [&](long s) {  // inside a quoted value, its quotes included
    const long t = s + from;
    return !anywhere && t >= 2 &&
           (states[t] == TagState::Quoted ||
            (states[t] == TagState::AfterEquals && (tag[t - 1] == '"' || tag[t - 1] == '\'')));
  };
  const long length = static_cast<long>(text.size());
  const long n = static_cast<long>(name.size());
  auto at = [&](long s) { return text[s - 1]; };  // 1-based
  long after = -1;
  for (long s = 1; s <= length - 4; ++s) {
    if (hidden(s)) continue;
    if (at(s) == '>') break;
    if ((at(s) == ' ' || at(s) == '\r' || at(s) == '\n') && s + n <= length &&
        SameIgnoringCase(text.substr(s, n), name)) {
      if (s + n + 1 <= length && NameGoesOn(at(s + n + 1))) continue;  // a longer name
      after = s + n + 1;
      break;
    }
  }
  if (after < 0) return a;
  while (after <= length && at(after) == ' ') ++after;
  if (after > length || at(after) != '=') return a;
  a.found = true;
  long v = after + 1;
  long q = v;
  while (q <= length && LeadSpace(at(q))) ++q;
  while (v <= length && at(v) == ' ') ++v;
  if (q <= length && (at(q) == '"' || at(q) == '\'')) v = q;
  if (v > length) return a;
  std::string raw;
  long start;
  if (at(v) == '"' || at(v) == '\'') {
    const char quote = at(v);
    long e = v + 1;
    while (e <= length && at(e) != quote) ++e;
    raw = std::string(text.substr(v, e - v - 1));
    start = v + 1;
  } else {
    long e = v;
    while (e <= length && !NameEnd(at(e))) ++e;
    raw = std::string(text.substr(v - 1, e - v));
    start = v;
  }
  long lead = 0;
  while (lead < static_cast<long>(raw.size()) && Blank(raw[lead])) ++lead;
  if (lead < static_cast<long>(raw.size())) {
    a.pos = start + lead;
  } else if (at(v) == '"' || at(v) == '\'') {
    // A blank quoted value: where its first non-space would be, counted from the quote.
    long firstNonSpace = -1;
    for (long i = 0; i < static_cast<long>(raw.size()); ++i)
      if (raw[i] != ' ') {
        firstNonSpace = i + 1;
        break;
      }
    a.pos = v + firstNonSpace;
  } else {
    a.pos = start;
  }
  std::string value(Trim(raw));
  for (size_t i = 0; i + 1 < value.size(); ++i)
    if (value[i] == '\\' && value[i + 1] == '"') value[i] = value[i + 1] = ' ';
  a.value = value;
  return a;
}

inline int LiteralKind(std::string_view name) {
  const std::string lower = AsciiLowerCase(name);
  const std::map<std::string, int> kinds = {
      {"img", 0},   {"input", 0}, {"body", 0},   {"table", 0}, {"td", 0},
      {"embed", 1}, {"param", 2}, {"script", 3}, {"link", 4},  {"base", 5},
      {"meta", 6},  {"a", 8},     {"iframe", 9}, {"frame", 9}};
  auto it = kinds.find(lower);
  return it == kinds.end() ? -1 : it->second;
}

struct Scan {
  int kind = -1;
  long valuePos = -1;  // a listed reference's value
  size_t valueLen = 0;
  std::string ref;
  long unsavedPos = -1;  // a src/background value that names no known resource file
  size_t unsavedLen = 0;
};

inline Scan LiteralScan(std::string_view tag, std::string& base) {
  Scan scan;
  size_t nameEnd = 1;
  while (nameEnd < tag.size() && !NameEnd(tag[nameEnd])) ++nameEnd;
  const std::string name(tag.substr(1, nameEnd - 1));
  scan.kind = name.empty() ? -1 : LiteralKind(name);
  if (scan.kind < 0) return scan;
  const long attrs = static_cast<long>(nameEnd);
  Attribute a;
  bool resource = true;
  switch (scan.kind) {
    case 2:
      a = LiteralAttribute(tag, attrs, "value");
      resource = IsResourceFile(a.value);
      break;
    case 4:
    case 5:
    case 8:
      a = LiteralAttribute(tag, attrs, "href");
      break;
    case 6:
      a = LiteralAttribute(tag, attrs, "charset", true);
      break;
    default:
      a = LiteralAttribute(tag, attrs, "src");
      if (!a.found) a = LiteralAttribute(tag, attrs, "background");
      resource = IsResourceFile(a.value);
      if (a.found && !resource && a.pos != -1) {
        scan.unsavedPos = a.pos + static_cast<long>(name.size()) + 1;
        scan.unsavedLen = a.value.size();
      }
      break;
  }
  if (!a.found || !resource || a.pos == -1) return scan;
  scan.valuePos = a.pos + static_cast<long>(name.size()) + 1;
  scan.valueLen = a.value.size();
  if (scan.kind == 6) {
    scan.ref = std::string(Trim("6" + a.value));
  } else {
    scan.ref = std::to_string(scan.kind) + LiteralResolve(base, a.value);
  }
  if (scan.kind == 5) base = AddSlash(a.value);
  return scan;
}

// Where the tag that starts at p (1-based) ends: the first ">" after it outside a quoted value
// (a start tag's, "<" and a letter); 0 for none, and `resume` set when a "<" outside a quoted
// value came first.
inline long TagEnd(std::string_view text, long p, long& resume) {
  resume = 0;
  const bool startTag = p < static_cast<long>(text.size()) &&
                        ((text[p] >= 'a' && text[p] <= 'z') || (text[p] >= 'A' && text[p] <= 'Z'));
  TagState state = TagState::Outside;
  char quote = 0;
  for (long q = p + 1; q <= static_cast<long>(text.size()); ++q) {
    const char c = text[q - 1];
    if (state != TagState::Quoted) {
      if (c == '>') return q;
      if (c == '<') {
        resume = q + 1;
        return 0;
      }
    }
    if (startTag) state = StepTagState(state, quote, c);
  }
  return 0;
}

// The collecting pass, literally: positions 1 to L - 1.
inline StringList LiteralCollect(std::string_view html, std::string_view baseUrl) {
  StringList refs;
  std::string base(baseUrl);
  long p = 1;
  while (p <= static_cast<long>(html.size()) - 1) {
    if (html[p - 1] != '<') {
      ++p;
      continue;
    }
    long resume;
    const long end = TagEnd(html, p, resume);
    if (resume) {
      p = resume;
      continue;
    }
    if (end) {
      Scan scan = LiteralScan(html.substr(p - 1, end - p + 1), base);
      if (scan.valuePos != -1) refs.push_back(std::string(Trim(scan.ref)));
      p = end + 1;  // a "<" inside the tag's quoted values starts no tag
      continue;
    }
    ++p;
  }
  return refs;
}

// One line decoded as it would be inside a list's text, where a line break follows it.
inline std::string DecodeLine(const std::string& line) {
  std::string decoded = UrlDecode(line + "\n");
  decoded.pop_back();
  return decoded;
}

// The references a page import fetches, before and after decoding and resolution.
struct FetchLists {
  StringList collected;  // as found, duplicates removed, resources only
  StringList resolved;   // decoded and resolved
};

inline FetchLists LiteralFetchLists(std::string_view html, std::string_view pageBase) {
  FetchLists lists;
  const StringList all = LiteralCollect(html, pageBase);
  for (size_t i = 0; i < all.size(); ++i) {
    bool earlier = false;
    for (size_t j = 0; j < i && !earlier; ++j) earlier = all[j] == all[i];
    if (earlier || all[i][0] == '5' || all[i][0] == '6' || all[i][0] == '8') continue;
    lists.collected.push_back(all[i]);
    const std::string decoded = DecodeLine(all[i]);
    lists.resolved.push_back(decoded.substr(0, 1) + LiteralResolve(pageBase, decoded.substr(1)));
  }
  return lists;
}

// File names, clash numbers and local names, comparing every pair of references.
inline StringList LiteralLocalNames(const StringList& refs, std::string_view folderText) {
  std::string folder = ReplaceChar(std::string(Trim(folderText)), '\\', '/');
  if (!folder.empty() && folder.back() != '/') folder += '/';
  const size_t n = refs.size();
  StringList names;
  for (const std::string& line : refs) {
    std::string name = ExtractUrlFileName(line.substr(1));
    if (!Trim(name).empty()) {
      if (line[0] == '9' && ExtractUrlFileExt(name).empty()) name += ".htm";
      name = name.substr(0, name.find('?'));
    }
    names.push_back(name);
  }
  std::vector<int> number(n, 1);
  for (size_t i = 0; i < n; ++i) {
    if (number[i] != 1) continue;
    int counter = 1;
    for (size_t j = i + 1; j < n; ++j)
      if (number[j] == 1 && refs[j].substr(1) != refs[i].substr(1) && !names[j].empty() &&
          SameIgnoringCase(names[j], names[i]))
        number[j] = ++counter;
  }
  for (size_t i = 1; i < n; ++i)
    for (size_t j = 0; j < i; ++j)
      if (SameIgnoringCase(refs[j], refs[i])) {
        number[i] = number[j];
        break;
      }
  StringList locals;
  for (size_t i = 0; i < n; ++i)
    locals.push_back(
        folder + (number[i] == 1 ? names[i] : TagFileName(names[i], std::to_string(number[i]))));
  return locals;
}

inline bool HasScheme(std::string_view value) {
  if (value.empty() ||
      !((value[0] >= 'a' && value[0] <= 'z') || (value[0] >= 'A' && value[0] <= 'Z')))
    return false;
  for (size_t i = 1; i < value.size(); ++i) {
    if (value[i] == ':') return true;
    if (!NameGoesOn(value[i]) || value[i] == '_') return false;
  }
  return false;
}

// A local name as a URL path holds it, written out apart from the library's helper: the bytes
// from "!" to "~" stand for themselves, except the quotes, "%", "#", "?", the parentheses and
// "\\"; every other byte is written "%HH".
inline std::string LiteralNameAsUrl(std::string_view name) {
  static const std::string_view kSpecial = "\"'%#?()\\";
  std::string out;
  for (char c : name) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= '!' && byte <= '~' && kSpecial.find(c) == std::string_view::npos) {
      out += c;
      continue;
    }
    static const char* const kDigits = "0123456789ABCDEF";
    out += '%';
    out += kDigits[byte / 16];
    out += kDigits[byte % 16];
  }
  return out;
}

inline std::string LiteralRewrite(std::string_view html, std::string_view localFolder,
                                  std::string_view pageUrl, const CidNames* cids = nullptr,
                                  LocalNameText nameText = nullptr) {
  std::string folder = ReplaceChar(std::string(Trim(localFolder)), '\\', '/');
  if (!folder.empty() && folder.back() != '/') folder += '/';
  if (folder == "/") folder.clear();
  const std::string pageBase = LiteralResolve(pageUrl, pageUrl);
  const bool fromWeb = FromWeb(Trim(pageUrl));

  const FetchLists fetch = LiteralFetchLists(html, pageBase);
  const StringList locals = LiteralLocalNames(fetch.resolved, folder);
  StringList anchors = LiteralCollect(html, pageBase);
  for (std::string& line : anchors) line = DecodeLine(LiteralResolve(pageBase, line.substr(1)));
  StringList collected = LiteralCollect(html, pageBase);

  std::string work(html);
  std::string base = pageBase, written(Trim(pageUrl));
  size_t k = 0;
  long p = 1;
  while (p <= static_cast<long>(work.size()) - 1) {
    if (work[p - 1] != '<') {
      ++p;
      continue;
    }
    long resume;
    const long end = TagEnd(work, p, resume);
    if (resume) {
      p = resume;
      continue;
    }
    if (!end) {
      ++p;
      continue;
    }
    const std::string tag = work.substr(p - 1, end - p + 1);
    Scan scan = LiteralScan(tag, base);
    const bool listed = scan.valuePos != -1;
    if (!listed && scan.unsavedPos == -1) {
      p = end + 1;
      continue;
    }
    const size_t line = listed ? k++ : 0;
    if (listed && scan.kind == 5) written = base;
    const long pos = listed ? scan.valuePos : scan.unsavedPos;
    const size_t len = listed ? scan.valueLen : scan.unsavedLen;
    const std::string value = tag.substr(pos - 1, len);
    std::string replacement;
    bool replace = false;
    if (scan.kind == 5 || (scan.kind == 6 && AsciiLowerCase(scan.ref.substr(1)) == "utf-8")) {
      work.erase(p - 1, tag.size());
      continue;  // the character now standing where the tag began
    }
    const bool cid = value.size() >= 4 && SameIgnoringCase(value.substr(0, 4), "cid:");
    if (scan.kind == 6) {
    } else if (cid && scan.kind != 2 && cids &&
               (cids->count("cid:" + value.substr(4)) ||
                cids->count("cid:" + UrlDecode(value.substr(4))))) {
      replace = true;
      replacement = cids->count("cid:" + value.substr(4))
                        ? cids->at("cid:" + value.substr(4))
                        : cids->at("cid:" + UrlDecode(value.substr(4)));
    } else if (!value.empty() && value[0] == '#') {
    } else if (listed && scan.kind == 8) {
      // An anchor with a web address: joined with the base as written, escapes kept.
      replace = true;
      bool ownWeb = false;
      for (std::string_view own : {"http://", "https://", "ftp://"})
        ownWeb = ownWeb || (value.size() >= own.size() &&
                            SameIgnoringCase(std::string_view(value).substr(0, own.size()), own));
      if (ownWeb)
        replacement = LiteralJoin(value, value);
      else if (FromWeb(written) && !value.empty() && !HasScheme(value))
        replacement = LiteralJoin(written, value);
      else
        replacement = anchors[line];
    } else if (listed) {
      size_t index = 0;
      while (fetch.collected[index] != collected[line]) ++index;
      replace = true;
      replacement = nameText ? nameText(locals[index]) : locals[index];
    } else if (fromWeb && FromWeb(written) && !value.empty() && !HasScheme(value)) {
      replace = true;
      replacement = LiteralJoin(written, value);
    }
    if (!replace) {
      p = end + 1;
      continue;
    }
    std::string newTag = tag;
    newTag.replace(pos - 1, len, replacement);
    work.erase(p - 1, tag.size());
    work.insert(p - 1, newTag);
    p += static_cast<long>(newTag.size());  // the new text is not scanned for tags
  }
  // The cid: references of style elements and attributes are the style pass's own, tested on
  // its own; the model hands the rewritten page to it as the library does.
  return cids ? RewriteStyleCids(work, *cids) : work;
}

}  // namespace lorvex::model
