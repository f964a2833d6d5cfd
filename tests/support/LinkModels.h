// Slow, literal models of URL resolution and of the two passes over a page's tags, shared by
// the tests that compare the library with them on random inputs and by the fuzz targets.
//
// Resolution is written out step by step, without the shortcuts that the library takes for
// plain references. The collecting pass has its tag finder written out position by position;
// the rewriting pass works on a copy of the page in which every changed tag is deleted and its
// new text inserted in place, the tag finder measuring its margin on the copy's current length.
#pragma once

#include <string>
#include <string_view>

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

// Each round decodes the reference and the base again; after 32 rounds they are taken as they
// are, so that a text encoded over and over ("%252525...") cannot keep the loop going.
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
      base = ParentUrlFolder(base);
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
  std::string result(Trim(IsRelativeUrl(ref) ? LiteralCombine(folder, ref) : ref));
  if (result.size() < 2) return "";
  return result[1] == ':' ? ReplaceChar(result, '/', '\\') : ReplaceChar(result, '\\', '/');
}

inline std::string LiteralRewrite(std::string_view html, std::string_view localFolder,
                                  std::string_view pageUrl) {
  std::string folder(Trim(localFolder));
  for (char& c : folder)
    if (c == '\\') c = '/';
  if (!folder.empty() && folder.back() != '/') folder += '/';
  if (folder == "/") folder.clear();
  const std::string pageBase = ResolveUrl(pageUrl, pageUrl);
  StringList refs = CollectTagReferences(html, pageBase, false);
  ResolveReferenceList(pageBase, refs);
  UrlDecodeList(refs);
  const StringList locals = MakeLocalNames(refs, folder);
  StripReferenceKinds(refs);

  std::string work(html);
  std::string base = pageBase;
  size_t k = 0;
  long p = 1;  // 1-based, as the procedure counts
  while (p <= static_cast<long>(work.size()) - 1) {
    if (work[p - 1] != '<') {
      ++p;
      continue;
    }
    const long last = static_cast<long>(work.size()) - static_cast<long>(kRewriteMargin);
    long end = 0, blocker = 0;
    for (long q = p + 1; q <= last; ++q) {
      if (work[q - 1] == '>') {
        end = q;
        break;
      }
      if (work[q - 1] == '<') {
        blocker = q;
        break;
      }
    }
    if (blocker) {
      p = blocker + 1;
      continue;
    }
    if (!end) {
      ++p;
      continue;
    }
    std::string tag = work.substr(p - 1, end - p + 1);
    TagScanResult scan = ScanTag(tag, base);
    if (scan.valuePos == -1) {
      ++p;
      continue;
    }
    size_t line = k++;
    const StringList& texts = scan.kind == rkAnchor ? refs : locals;
    bool remove = scan.kind == rkBase ||
                  (scan.kind == rkMeta && AsciiLowerCase(StripKind(scan.ref)) == "utf-8");
    if (remove) {
      work.erase(p - 1, tag.size());
      continue;  // the character now standing where the tag began
    }
    if (scan.kind == rkMeta || line >= texts.size()) {
      ++p;
      continue;
    }
    std::string newTag = tag;
    newTag.replace(scan.valuePos - 1, scan.valueLen, texts[line]);
    work.erase(p - 1, tag.size());
    work.insert(p - 1, newTag);
    p += static_cast<long>(newTag.size());  // the new text is not scanned for tags
  }
  return work;
}

// The collecting pass, literally: positions 1 to L - 1, the search for ">" up to L - 7.
inline StringList LiteralCollect(std::string_view html, std::string_view baseUrl) {
  StringList refs;
  std::string base(baseUrl);
  const long length = static_cast<long>(html.size());
  long p = 1;
  while (p <= length - 1) {
    if (html[p - 1] != '<') {
      ++p;
      continue;
    }
    long end = 0, blocker = 0;
    for (long q = p + 1; q <= length - static_cast<long>(kCollectMargin); ++q) {
      if (html[q - 1] == '>') {
        end = q;
        break;
      }
      if (html[q - 1] == '<') {
        blocker = q;
        break;
      }
    }
    if (blocker) {
      p = blocker + 1;
      continue;
    }
    if (end) {
      TagScanResult scan = ScanTag(html.substr(p - 1, end - p + 1), base);
      if (scan.valuePos != -1) refs.push_back(std::string(Trim(scan.ref)));
    }
    ++p;
  }
  return refs;
}

}  // namespace lorvex::model
