// Link discovery and rewriting: the two passes that make a page self-contained.
//
// The collecting pass (CollectTagReferences) lists every reference that a page's tags carry,
// each prefixed with a one-digit kind (KindReferences.h); the rewriting pass
// (RewritePageLinks) walks the same tags again and points each reference at its local copy
// (LocalNames.h; anchors at their absolute URL), dropping base tags and UTF-8 charset
// declarations. There is no HTML parser: a tag is the text from a "<" to the next ">"
// (TagFinder.h), and attributes are found by scanning the tag text (LinkAttributes.h).
//
// Positions are 1-based and -1 means "none", as in the rest of the page import.
#pragma once

#include <cstddef>
#include <set>
#include <string>
#include <string_view>

#include "links/CidReferences.h"
#include "links/KindReferences.h"
#include "links/LinkAttributes.h"
#include "links/LocalNames.h"
#include "util/Strings.h"

namespace lorvex {

struct TagScanResult {
  int kind = -1;                   // -1 for a tag that carries no reference
  TextPos valuePos = kNoPosition;  // where the value starts in the tag text
  size_t valueLen = 0;
  std::string ref;  // kind-prefixed; empty for none
};
// The reference kind of a tag name (letters folded), or -1 for a tag that carries none.
int KindOfTagName(std::string_view tagName);

// Scans one tag text ("<" to ">"). A base tag replaces baseUrl for what follows.
TagScanResult ScanTag(std::string_view tag, std::string& baseUrl);
// ScanTag with the extension tests of the complete-page mode (IsCompletePageResourceFile). When a
// src or background value names no such file, unsaved receives its position in the tag text
// and its value.
TagScanResult ScanTagOfCompletePage(std::string_view tag, std::string& baseUrl,
                                    AttributeValue& unsaved);

// Every reference of the page's tags, in order, trimmed; duplicates removed on request (the
// first occurrence stays). The base starts as baseUrl; base tags change it for this pass.
StringList CollectTagReferences(std::string_view html, std::string_view baseUrl,
                                bool removeDuplicates);

// The references a page import fetches, kind-prefixed, in order: the page's references once
// each, decoded one by one, without base, meta and anchors, resolved against pageBase (the
// page's own location as ResolveUrl gives it).
StringList FetchReferenceList(std::string_view html, std::string_view pageBase);

// The page text with each reference pointed at its local name under localFolder (as it is to
// appear in the page: relative, like "123.files", or absolute), anchors at their absolute URL,
// base tags and UTF-8 charset declarations removed. pageUrl is the page's own location. An
// anchor with a web address (a value with a web scheme of its own, or a relative one under a
// base on the web) is joined with the base as written (JoinWebUrl), its escapes kept; the
// others point at their resolved URL.
//
// A resource is given the name that the page import gives the file it fetches for it
// (FetchReferenceList and MakeLocalNames). Values beginning with "#" stay as they are. In a
// page from the web, a src or background value that names no known resource file (so it is
// not saved) becomes an absolute URL, unless it has a scheme of its own. With cidNames, every
// "cid:" value of src, href or background that it knows is replaced by its local name.
//
// With localNameText, a resource's local name is written as it gives it (a mail archive's page
// names its parts with names outside ASCII as URLs do).
//
// With writtenFiles (a mail archive's page), a resource whose local file the import does not
// write is not pointed at the folder: it becomes its address on the web, joined with
// writtenFiles->pageLocation (the page's location as the archive wrote it) when that is a web
// address, and is left as written otherwise.
using LocalNameText = std::string (*)(std::string_view localName);
struct WrittenFiles {
  const std::set<std::string>& names;  // the file names in localFolder, lower-case
  std::string_view pageLocation;
};
std::string RewritePageLinks(std::string_view html, std::string_view localFolder,
                             std::string_view pageUrl, const CidNames* cidNames = nullptr,
                             LocalNameText localNameText = nullptr,
                             const WrittenFiles* writtenFiles = nullptr);

}  // namespace lorvex
