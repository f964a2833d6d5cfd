// Slow, literal models of the two body decoders, shared by their tests and fuzz targets.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "archive/Base64.h"

namespace lorvex::model {

// The rules applied one byte at a time with nothing clever: the reference for the decoder's
// whole-quantum path.
inline std::string ReferenceDecode(std::string_view text) {
  std::string out;
  uint32_t bits = 0;
  int pending = 0;
  for (unsigned char c : text) {
    uint8_t v = Base64DecodeTable[c];
    if (v == kBase64Skip) continue;
    bits = bits << 6 | v;
    if (++pending == 4) {
      out += char(bits >> 16), out += char(bits >> 8), out += char(bits);
      bits = 0, pending = 0;
    }
  }
  if (pending == 2) out += char(bits >> 4);
  if (pending == 3) out += char(bits >> 10), out += char(bits >> 2);
  return out;
}

// The decoder as the rules say it, in place, with erase: the reference for the one-pass one.
inline std::string ReferenceQuotedPrintable(std::string text) {
  size_t p = 0;
  auto isBreak = [](char c) { return c == '\r' || c == '\n'; };
  while (text.size() >= 3 && p <= text.size() - 3) {
    if (text[p] != '=') {
      ++p;
      continue;
    }
    char c1 = text[p + 1], c2 = text[p + 2];
    if (isBreak(c1) || isBreak(c2) || c1 == '=') {
      text.erase(p, 1);
      while (p < text.size() && isBreak(text[p])) text.erase(p, 1);
      continue;
    }
    auto value = [](unsigned char c) { return unsigned(c >= 65 ? c - 55 : c - 48) & 0xFF; };
    text.replace(p, 3, 1, char(((value(c1) * 16) | value(c2)) & 0xFF));
    ++p;
  }
  return text;
}

}  // namespace lorvex::model
