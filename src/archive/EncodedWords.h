// Encoded words in header text (RFC 2047): "=?charset?Q?text?=" and "=?charset?B?text?=",
// as mail programs write non-ASCII file names into Content-Type's name and
// Content-Disposition's filename parameters.
//
// Grammar read: "=?" charset ["*" language] "?" ("B" / "Q", any case) "?" text "?=", the
// charset without "?" or blanks, the text of printable ASCII without "?" or blanks. B text
// is the base64 alphabet in whole quanta of four, "=" padding only at its end (a last
// quantum without its padding is taken too); Q text is printable ASCII where "_" stands for a
// space and "=" with two hexadecimal digits for a byte. Encoded words are decoded wherever
// they stand, also inside a quoted parameter value, where many programs put them.
// Left alone: anything that does not match the grammar, a malformed word included, stays
// byte for byte as it is (and so does text outside encoded words). The blanks between two
// adjacent encoded words are dropped; adjacent words in the same character set are joined
// before conversion, so that a character split between two words survives.
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace lorvex {

// Converts bytes in a character set to the output text; false when it cannot.
using TCharsetConversion =
    std::function<bool(std::string_view charset, std::string_view bytes, std::string& out)>;

// The text with its encoded words decoded and converted. False when an encoded word's
// bytes cannot be converted; out is then unspecified.
bool DecodeEncodedWords(std::string_view text, const TCharsetConversion& convert, std::string& out);

}  // namespace lorvex
