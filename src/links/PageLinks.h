// Link discovery and rewriting: the two passes that make a page self-contained.
//
// The collecting pass (CollectTagReferences) lists every reference that a page's tags carry,
// each prefixed with a one-digit kind; the rewriting pass (RewritePageLinks) walks the same
// tags again and points each reference at its local copy (anchors at their absolute URL),
// dropping base tags and UTF-8 charset declarations. There is no HTML parser: a tag is the
// text from a "<" to the next ">", and attributes are found by scanning the tag text.
//
// A kind-prefixed reference is the decimal digit of its kind followed by the reference text.
// Positions are 1-based and -1 means "none", as in the rest of the page import.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>

#include "util/Strings.h"

namespace lorvex {

using TextPos = std::ptrdiff_t;
constexpr TextPos kNoPosition = -1;

// Reference kinds, by the tag that carries them.
enum ReferenceKind : int {
  rkImage = 0,   // img, input, body, table, td: src, else background
  rkEmbed = 1,   // embed: src, else background
  rkParam = 2,   // param: value
  rkScript = 3,  // script: src, else background
  rkLink = 4,    // link: href
  rkBase = 5,    // base: href
  rkMeta = 6,    // meta: charset
  rkAnchor = 8,  // a: href
  rkFrame = 9,   // iframe, frame: src, else background
};

// Tag and attribute scanning never looks at the last few characters of the text: the
// collecting pass stops this many characters before the end, the rewriting pass this many.
constexpr size_t kCollectMargin = 7;
constexpr size_t kRewriteMargin = 10;

std::string PrefixKind(int kind, std::string_view text);
// The kind digit's value; throws std::invalid_argument when the first character is no digit.
int ReferenceKindOf(std::string_view ref);
std::string StripKind(std::string_view ref);
// The kind digit followed by ResolveUrl(base, the reference); empty for an empty ref.
std::string ResolveKindReference(std::string_view base, std::string_view ref);

struct TagAttribute {
  bool found = false;
  std::string value;
  TextPos pos = kNoPosition;  // where the value starts in the attribute text
};
// Looks for the first " name" (space, CR or LF before it, letters folded) that is a whole
// attribute name (not followed by a letter, digit, "-", "_", ":" or ".") and reads its value.
// A name not followed by "=" counts as absent; no later occurrence is tried.
TagAttribute GetTagAttribute(std::string_view attrText, std::string_view name);

struct AttributeValue {
  TextPos pos = kNoPosition;
  std::string value;
};
// src, else background; a value that is not a known resource file gives no position.
AttributeValue SrcAttribute(std::string_view attrText);
// value; must name a known resource file.
AttributeValue ValueAttribute(std::string_view attrText);
AttributeValue HrefAttribute(std::string_view attrText);
AttributeValue CharsetAttribute(std::string_view attrText);

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
// ScanTag with the extension tests of the complete-page mode (IsTodaysResourceFile). When a
// src or background value names no such file, unsaved receives its position in the tag text
// and its value.
TagScanResult ScanTagOfTodaysPage(std::string_view tag, std::string& baseUrl,
                                  AttributeValue& unsaved);

// Every reference of the page's tags, in order, trimmed; duplicates removed on request (the
// first occurrence stays). The base starts as baseUrl; base tags change it for this pass.
StringList CollectTagReferences(std::string_view html, std::string_view baseUrl,
                                bool removeDuplicates);

// Each line becomes ResolveKindReference(base, line).
void ResolveReferenceList(std::string_view base, StringList& refs);
// Deletes the lines of kinds 5, 6 and 8 (base, meta, anchor): they name nothing to fetch.
void RemoveNonResourceReferences(StringList& refs);
// Every line loses its kind digit.
void StripReferenceKinds(StringList& refs);

// One entry per line of refs, in order.
// The file name of each reference, query cut off; frames without extension get ".htm".
StringList ReferenceFileNames(const StringList& refs);
// A number text per line telling apart different files that would get the same name.
StringList NumberNameClashes(const StringList& refs);
// folder + file name, with "[n]" before the extension when the clash number n is not 1.
StringList MakeLocalNames(const StringList& refs, std::string_view folder);

// The references a page import fetches, kind-prefixed, in order: the page's references once
// each, decoded one by one, without base, meta and anchors, resolved against pageBase (the
// page's own location as ResolveUrl gives it).
StringList FetchReferenceList(std::string_view html, std::string_view pageBase);

// The local names of the parts of an archive that are known by Content-ID: "cid:" followed by
// the id (letter case kept) maps to the text that takes the place of such a reference.
using CidNames = std::unordered_map<std::string, std::string>;

// The entry that a "cid:" value (its scheme in any letter case) names: the value as written,
// else with its Content-ID percent-decoded; end() when there is none.
CidNames::const_iterator FindCidName(const CidNames& cidNames, std::string_view value);

// The page text with each reference pointed at its local name under localFolder (as it is to
// appear in the page: relative, like "123.files", or absolute), anchors at their absolute URL,
// base tags and UTF-8 charset declarations removed. pageUrl is the page's own location.
//
// A resource is given the name that the page import gives the file it fetches for it
// (FetchReferenceList and MakeLocalNames). Values beginning with "#" stay as they are. In a
// page from the web, a src or background value that names no known resource file (so it is
// not saved) becomes an absolute URL, unless it has a scheme of its own. With cidNames, every
// "cid:" value of src, href or background that it knows is replaced by its local name.
std::string RewritePageLinks(std::string_view html, std::string_view localFolder,
                             std::string_view pageUrl, const CidNames* cidNames = nullptr);

}  // namespace lorvex
