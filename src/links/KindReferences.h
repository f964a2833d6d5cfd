// Kind-prefixed references and the lists of them that the link passes hand on.
//
// A kind-prefixed reference is the decimal digit of its kind followed by the reference text
// ("0http://h/logo.gif" for an img's src). The digit tells the lists' users what the line
// came from (a frame's file gets ".htm" when it has no extension; base, meta and anchor lines
// name nothing to fetch), while the text after it is what is resolved, decoded and fetched.
// Only this unit writes and reads the digit; the others go through these routines.
#pragma once

#include <string>
#include <string_view>

#include "util/Strings.h"

namespace lorvex {

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

std::string PrefixKind(int kind, std::string_view text);
// The kind digit's value; throws std::invalid_argument when the first character is no digit.
int ReferenceKindOf(std::string_view ref);
std::string StripKind(std::string_view ref);
// True when the line is a reference of that kind.
bool HasKind(std::string_view line, int kind);
// The reference text without its kind digit, as a view of the line (empty for an empty line).
std::string_view WithoutKind(std::string_view line);
// The kind digit followed by ResolveUrl(base, the reference); empty for an empty ref.
std::string ResolveKindReference(std::string_view base, std::string_view ref);
// The kind digit followed by the value resolved in a folder that ResolveBaseFolder gave.
std::string ResolveKindValueInFolder(std::string_view folder, int kind, std::string_view value);

// Each line becomes ResolveKindReference(base, line).
void ResolveReferenceList(std::string_view base, StringList& refs);
// True for the kinds whose lines name nothing to fetch: base, meta and anchor.
bool IsNonResourceReference(std::string_view line);
// Deletes the lines of kinds 5, 6 and 8 (base, meta, anchor): they name nothing to fetch.
void RemoveNonResourceReferences(StringList& refs);
// Every line loses its kind digit.
void StripReferenceKinds(StringList& refs);

}  // namespace lorvex
