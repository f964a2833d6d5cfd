#include "archive/QuotedPrintable.h"

#include <cstring>

namespace lorvex {

std::string DecodeQuotedPrintable(std::string_view text) {
  // An "=" is read only while two characters follow it: its two hex digits, or the line
  // break of a soft break and one more character. So the loop runs while three or more
  // characters are unread, an "=" among the last two characters stays as it stands, and no
  // read goes past the end of the text.
  std::string out;
  out.reserve(text.size());
  const size_t n = text.size();
  size_t q = 0;
  auto isBreak = [](char c) { return c == '\r' || c == '\n'; };
  auto digit = [](unsigned char c) -> unsigned { return (c >= 65 ? c - 55u : c - 48u) & 0xFFu; };
  while (n - q >= 3) {
    const char* eq = static_cast<const char*>(std::memchr(text.data() + q, '=', n - 2 - q));
    if (!eq) break;
    size_t at = size_t(eq - text.data());
    out.append(text.data() + q, at - q);
    q = at;
    char c1 = text[q + 1], c2 = text[q + 2];
    if (isBreak(c1) || isBreak(c2) || c1 == '=') {
      ++q;  // the "=" goes, then every line break that now follows it
      while (q < n && isBreak(text[q])) ++q;
      continue;
    }
    out += char(
        ((digit(static_cast<unsigned char>(c1)) << 4) | digit(static_cast<unsigned char>(c2))) &
        0xFFu);
    q += 3;
  }
  out.append(text.data() + q, n - q);
  return out;
}

}  // namespace lorvex
