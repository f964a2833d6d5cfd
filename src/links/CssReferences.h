// References to other files in style text: finding them and pointing them elsewhere.
//
// The text is a style sheet, the content of a style element, or a style attribute's value
// (HTML character references already decoded by the caller). It is read with the tokenizer
// rules of CSS Syntax Level 3, byte by byte, as the tokenizer would read it after its input
// preprocessing: CR LF, CR and FF count as one line break, and a NUL byte counts as a name
// character (the tokenizer makes it U+FFFD). Comments, strings, escapes, names, numbers, hash
// and at-keywords, url tokens and bad urls are read exactly as a tokenizer does, so a "url("
// inside a comment, a string, a bad url or a longer name ("myurl(", "--url(", "#url(", "1url(")
// is no reference. There is no rule parser on top of the tokens; a reference is:
//   - a url token: url(...) without quotes, its value trimmed of the surrounding whitespace;
//   - the string right after a url( function: url("...") or url('...'), whitespace allowed
//     between the parenthesis and the quote;
//   - the string or url that follows an @import at-keyword, with only whitespace and comments
//     between (fromImport is then set; where in the sheet the @import stands is not checked);
//   - a string that is a direct argument of image-set( or -webkit-image-set( (not one inside a
//     nested function such as type("image/avif")). Nesting is counted over (, [, { and
//     function tokens against ), ] and }, without matching the kinds.
// Names are compared ASCII-case-insensitively after their escapes are decoded, as the tokenizer
// does: "URL(", "u\72l(" and "@IMPORT" are recognised.
//
// Decoding: "\" with one to six hex digits and one optional whitespace after them gives that
// code point (zero, surrogates and values past U+10FFFF give U+FFFD); "\" before any other
// character gives that character; a "\" before a line break inside a string removes both; a
// "\" at the end of the text gives U+FFFD outside a string and nothing inside one. A code
// point from U+0080 up that comes from an escape is written in UTF-8; the text's own bytes
// are kept as they are, whatever the code page (in a double-byte code page whose second byte
// can be 0x5C, that byte reads as a backslash, as in any byte-wise reader).
//
// Left alone: a bad string (cut by a line break), a bad url (a quote, "(", a non-printable
// byte, inner whitespace or a "\" before a line break in an unquoted value) and everything
// else stay byte for byte in the rewritten text and are not reported; so do strings in other
// places (content, format(), an old filter's src='...'). A string or unquoted url cut off by
// the end of the text is still a reference, as the tokenizer reads it.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lorvex {

struct CssReference {
  size_t offset = 0;  // where the raw value starts in the text: after the quote, or the
                      // first byte after the whitespace that follows "url("
  size_t length = 0;  // bytes of raw value; a hex escape's whitespace is part of it
  char quote = 0;     // '"' or '\'' for a string, 0 for an unquoted url
  std::string value;  // the value with its escapes decoded
  bool fromImport = false;
};

// Every reference in the style text, in order of position.
std::vector<CssReference> FindCssReferences(std::string_view css);

// A value written for a reference of that quote ('"', '\'' or 0 for an unquoted url), escaped
// as RewriteCssReferences escapes it.
std::string EscapeCssValue(std::string_view text, char quote);

// The style text with the raw value of each reference for which replace gives a text written
// as that text instead, escaped for the reference's form: inside quotes the same quote, "\"
// and line breaks; unquoted, whitespace, quotes, parentheses, "\" and non-printable bytes
// (hex escapes always end in a space, so the next character cannot extend them). A NUL byte
// is written as it is, since no escape gives it back. Every other byte is copied unchanged,
// so when replace gives nothing for every reference the result equals the input.
std::string RewriteCssReferences(
    std::string_view css,
    const std::function<std::optional<std::string>(const CssReference&)>& replace);

}  // namespace lorvex
