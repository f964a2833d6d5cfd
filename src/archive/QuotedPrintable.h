// Quoted-printable decoding of web archive bodies.
#pragma once

#include <string>
#include <string_view>

namespace lorvex {

// Quoted-printable decoding in one pass, read robustly: "=" followed by two hexadecimal
// digits of either letter case is that byte; "=" followed by blanks (spaces, tabs) up to a
// line break is a soft break, and the blanks and that one line break (CR LF, CR or LF) go
// with it; any other "=" (before a byte that is not a digit, a lone "=" at the end) stays
// as it stands. An escape may end the text.
std::string DecodeQuotedPrintable(std::string_view text);

}  // namespace lorvex
