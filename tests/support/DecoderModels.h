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

// The decoder as the rules say it, line by line: a line whose last "=" is followed by blanks
// only is joined to the next one without that "=", the blanks and the line break; in what is
// left, "=" and two hexadecimal digits become a byte, every other byte stays. The reference
// for the one-pass decoder.
inline std::string ReferenceQuotedPrintable(const std::string& text) {
  auto hex = [](char c) {
    return std::string_view("0123456789abcdefABCDEF").find(c) != std::string_view::npos;
  };
  auto decodeEscapes = [&](std::string_view line) {
    std::string out;
    for (size_t i = 0; i < line.size(); ++i) {
      if (line[i] == '=' && i + 2 < line.size() && hex(line[i + 1]) && hex(line[i + 2])) {
        out += char(std::stoi(std::string(line.substr(i + 1, 2)), nullptr, 16));
        i += 2;
      } else {
        out += line[i];
      }
    }
    return out;
  };
  std::string out;
  size_t start = 0;
  while (start <= text.size()) {
    size_t br = text.find_first_of("\r\n", start);
    std::string_view line(text.data() + start, (br == std::string::npos ? text.size() : br) - start);
    if (br == std::string::npos) {
      out += decodeEscapes(line);
      break;
    }
    const size_t breakLength = text.compare(br, 2, "\r\n") == 0 ? 2 : 1;
    const size_t lastEq = line.rfind('=');
    if (lastEq != std::string_view::npos &&
        line.find_first_not_of(" \t", lastEq + 1) == std::string_view::npos) {
      out += decodeEscapes(line.substr(0, lastEq));  // a soft break
    } else {
      out += decodeEscapes(line);
      out.append(text, br, breakLength);
    }
    start = br + breakLength;
  }
  return out;
}

}  // namespace lorvex::model
