#include "archive/QuotedPrintable.h"

#include <cstring>

#include "util/Ascii.h"

namespace lorvex {

std::string DecodeQuotedPrintable(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  const size_t n = text.size();
  size_t q = 0;
  while (q < n) {
    const char* eq = static_cast<const char*>(std::memchr(text.data() + q, '=', n - q));
    if (!eq) break;
    const size_t at = size_t(eq - text.data());
    out.append(text.data() + q, at - q);
    q = at + 1;
    if (n - q >= 2) {
      const int high = AsciiHexValue(text[q]), low = AsciiHexValue(text[q + 1]);
      if (high >= 0 && low >= 0) {
        out += char((high << 4) | low);
        q += 2;
        continue;
      }
    }
    size_t p = q;
    while (p < n && (text[p] == ' ' || text[p] == '\t')) ++p;
    if (p < n && (text[p] == '\r' || text[p] == '\n')) {
      q = p + (text[p] == '\r' && p + 1 < n && text[p + 1] == '\n' ? 2 : 1);
      continue;
    }
    out += '=';  // not an escape: the "=" stays, and what follows it is read as text
  }
  out.append(text.data() + q, n - q);
  return out;
}

}  // namespace lorvex
