// Reading a tag's attributes the way a browser does, for the references of modern pages
// (srcset candidates, lazy-loading attributes, style attributes), and the texts inside them.
//
// A tag text runs from its "<" to its ">". After the tag name, attributes are separated by
// whitespace (space, tab, CR, LF, FF) or "/"; a name runs up to whitespace, "/", ">" or "=";
// a value follows "=" (whitespace allowed around it) and is quoted with " or ', or runs up to
// whitespace or ">". Values are slices of the tag text: their position is where the raw text
// starts, so a rewriter can splice it. Character references in values are decoded by
// DecodeCharacterReferences, which keeps a map back to the raw positions.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace lorvex {

struct HtmlAttribute {
  std::string_view name;   // as written
  std::string_view value;  // raw, without its quotes; empty for an attribute without value
  size_t valueOffset = 0;  // where value starts in the tag text
  char quote = 0;          // '"', '\'' or 0
};

// Every attribute of a tag text ("<name ...>"), in order. Repeated names are all listed.
std::vector<HtmlAttribute> ReadTagAttributes(std::string_view tag);

// The first attribute of that name (ASCII letters folded), or null.
const HtmlAttribute* FindAttribute(const std::vector<HtmlAttribute>& attributes,
                                   std::string_view name);

// An attribute value with its character references decoded ("&amp;", "&quot;", "&#39;",
// "&#x2F;" ...: the named ones a URL or a style can hold, and every numeric one); rawOffset[i]
// is where decoded byte i comes from in the raw value, and rawOffset[size] is the raw length.
// Unknown or unterminated references stay as written.
struct DecodedText {
  std::string text;
  std::vector<size_t> rawOffset;
};
DecodedText DecodeCharacterReferences(std::string_view raw);

// A text to put inside an attribute value: "&", quotes and "<" ">" written as references.
std::string EscapeAttributeText(std::string_view text);

// One image candidate of a srcset: its URL's position and length in the srcset text; the
// descriptors after it stay where they are.
struct SrcsetCandidate {
  size_t offset = 0;
  size_t length = 0;
};
// The candidates of a srcset value, in order, as a browser splits them: a URL is a run of
// non-whitespace (commas at its end are separators), its descriptors run to the next comma
// outside parentheses.
std::vector<SrcsetCandidate> SplitSrcset(std::string_view srcset);

}  // namespace lorvex
