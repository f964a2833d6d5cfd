// Quoted-printable decoding of web archive bodies.
#pragma once

#include <string>
#include <string_view>

namespace lorvex {

// Quoted-printable decoding in one pass: "=" followed by a line break (or by "=") is a soft
// break that removes every CR and LF after it; "=" and two more characters become one byte
// whose digits count as code - 55 from "A" up and code - 48 below, so upper-case hex gives
// the standard byte and a lower-case second digit sets bit 20h. The last two characters
// never start an escape.
std::string DecodeQuotedPrintable(std::string_view text);

}  // namespace lorvex
