// Reading a page as a browser's HTML tokenizer reads it (scripting on), in one left-to-right
// pass: start tags with their attributes, end tags, text, the contents of raw-text elements,
// comments and doctypes, each with its position in the text.
//
// The text is bytes of any 8-bit charset and is never re-encoded: raw slices are the page's own
// bytes. Names fold A-Z only (a NUL in a name becomes U+FFFD); decoded attribute values are
// DecodeHtmlText's (references as UTF-8).
//
// Which state follows a start tag is decided as a browser's tree construction decides it
// (HtmlOpenElements.h): the raw-text and RCDATA elements (script with its "<!--" escapes,
// style, xmp, iframe, noembed, noframes, noscript; textarea and title) and plaintext where
// their start tag is an HTML one, and svg/math content, where style and script are ordinary
// elements and "<![CDATA[" opens text, up to the end tag or the HTML start tag that ends it.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "html/HtmlCharacterReferences.h"
#include "html/HtmlOpenElements.h"

namespace lorvex {

struct HtmlTagAttribute {
  std::string name;           // ASCII letters lower-cased
  size_t nameOffset = 0;      // where the name starts in the text
  std::string_view rawValue;  // the value as written, without its quotes (empty if none)
  size_t valueOffset = 0;     // where rawValue starts in the text (after the opening quote)
  char quote = 0;             // '"', '\'' or 0 for an unquoted value or none
  bool hasValue = false;      // "=" was written
  DecodedHtmlText value;      // rawValue decoded; offsets relative to valueOffset
};

enum class HtmlTokenKind {
  StartTag,
  EndTag,
  Text,     // character data between tags (references not decoded), or a CDATA section's text
  RawText,  // the contents of a raw-text, RCDATA or plaintext element
  Comment,  // a comment or a bogus comment ("<?...>", "<!x>", "</ x>")
  Doctype,
};

struct HtmlToken {
  HtmlTokenKind kind = HtmlTokenKind::Text;
  size_t begin = 0;  // the token's extent in the text: [begin, end); a tag runs from its "<"
  size_t end = 0;    // up to and including its ">"
  // Text, RawText, Comment, Doctype: the contents, without "<!--", "-->", "<![CDATA[" ...;
  // a tag: the whole tag, as begin and end
  size_t contentBegin = 0;
  size_t contentEnd = 0;

  // StartTag and EndTag
  std::string name;  // ASCII letters lower-cased
  bool selfClosing = false;
  // StartTag: its attributes in order; a name written again is left out (the first counts).
  std::vector<HtmlTagAttribute> attributes;
  // StartTag: the element belongs to svg or math content (its style is not a raw-text style).
  bool foreign = false;
  // StartTag: how its contents were read; RawText's token follows this one.
  HtmlContent content = HtmlContent::Markup;
  // RawText: which kind of element held it (RawText, RcData or PlainText).
  HtmlContent rawKind = HtmlContent::RawText;
};

// Every token of the page in order. A tag or comment cut off by the end of the text yields
// nothing, except a comment, which runs to the end; text is never lost: every byte of the page
// belongs to exactly one token or to a cut-off tag at its end.
std::vector<HtmlToken> TokenizeHtml(std::string_view text);

// The attribute of that name (lower-case) of a start tag, or null.
const HtmlTagAttribute* FindHtmlAttribute(const HtmlToken& tag, std::string_view name);

}  // namespace lorvex
