#include "html/HtmlCharacterReferences.h"

#include <cstdint>

#include "html/HtmlNamedReferences.h"
#include "util/Ascii.h"

namespace lorvex {

namespace {

constexpr std::string_view kReplacementCharacter = "\xEF\xBF\xBD";  // U+FFFD

void AppendUtf8(std::string& out, uint32_t cp) {
  if (cp < 0x80) {
    out.push_back(char(cp));
  } else if (cp < 0x800) {
    out.push_back(char(0xC0 | (cp >> 6)));
    out.push_back(char(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(char(0xE0 | (cp >> 12)));
    out.push_back(char(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(char(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(char(0xF0 | (cp >> 18)));
    out.push_back(char(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(char(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(char(0x80 | (cp & 0x3F)));
  }
}

// A number from 0x80 to 0x9F names what windows-1252 has there (0 where it has nothing).
constexpr uint16_t kWindows1252[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

constexpr uint32_t kBeyondUnicode = 0x110000;

uint32_t NumericReferenceCharacter(uint32_t number) {
  if (number == 0 || number >= kBeyondUnicode || (number >= 0xD800 && number <= 0xDFFF))
    return 0xFFFD;
  if (number >= 0x80 && number <= 0x9F && kWindows1252[number - 0x80]) {
    return kWindows1252[number - 0x80];
  }
  return number;
}

// "&#" at raw[at]: its length and characters, or 0 when no digit follows (it stays as written).
size_t ReadNumericReference(std::string_view raw, size_t at, std::string& characters) {
  size_t p = at + 2;
  const bool hex = p < raw.size() && (raw[p] == 'x' || raw[p] == 'X');
  if (hex) ++p;
  const size_t digits = p;
  uint32_t number = 0;
  for (; p < raw.size(); ++p) {
    const int digit = hex ? AsciiHexValue(raw[p]) : (IsAsciiDigit(raw[p]) ? raw[p] - '0' : -1);
    if (digit < 0) break;
    // Once past Unicode the number only needs to stay past it: no overflow on long numbers.
    number = number >= kBeyondUnicode ? kBeyondUnicode : number * (hex ? 16 : 10) + digit;
  }
  if (p == digits) return 0;
  if (p < raw.size() && raw[p] == ';') ++p;
  AppendUtf8(characters, NumericReferenceCharacter(number));
  return p - at;
}

// "&" and a letter or digit at raw[at]: the longest name of the table that the text starts
// with, its length and characters, or 0 when the text stays as written.
size_t ReadNamedReference(std::string_view raw, size_t at, bool inAttribute,
                          std::string& characters) {
  const size_t first = at + 1;
  size_t run = 0;  // letters and digits after "&", as many as a name can hold
  while (first + run < raw.size() && run < kLongestReferenceName &&
         IsAsciiAlnum(raw[first + run])) {
    ++run;
  }
  std::string_view found;
  size_t length = 0;
  if (first + run < raw.size() && raw[first + run] == ';') {
    found = FindNamedReference(raw.substr(first, run + 1));
    length = run + 1;
  }
  // Only the legacy names match without ";": try the shorter prefixes, longest first.
  for (size_t n = run; found.empty() && n > 0; --n) {
    found = FindNamedReference(raw.substr(first, n));
    length = n;
  }
  if (found.empty()) return 0;
  const size_t next = first + length;
  if (inAttribute && raw[next - 1] != ';' && next < raw.size() &&
      (raw[next] == '=' || IsAsciiAlnum(raw[next]))) {
    return 0;
  }
  characters.append(found);
  return 1 + length;
}

}  // namespace

DecodedHtmlText DecodeHtmlText(std::string_view raw, bool inAttribute) {
  DecodedHtmlText out;
  out.text.reserve(raw.size());
  out.rawOffset.reserve(raw.size() + 1);
  auto put = [&out](std::string_view bytes, size_t from) {
    out.text.append(bytes);
    out.rawOffset.insert(out.rawOffset.end(), bytes.size(), from);
  };
  std::string characters;
  size_t p = 0;
  while (p < raw.size()) {
    const char c = raw[p];
    if (c == '&' && p + 1 < raw.size()) {
      characters.clear();
      size_t length = 0;
      if (raw[p + 1] == '#') {
        length = ReadNumericReference(raw, p, characters);
      } else if (IsAsciiAlnum(raw[p + 1])) {
        length = ReadNamedReference(raw, p, inAttribute, characters);
      }
      if (length) {
        put(characters, p);
        p += length;
        continue;
      }
    }
    if (c == '\r') {
      put("\n", p);
      p += p + 1 < raw.size() && raw[p + 1] == '\n' ? 2 : 1;
    } else if (c == '\0') {
      put(kReplacementCharacter, p);
      ++p;
    } else {
      out.text.push_back(c);
      out.rawOffset.push_back(p);
      ++p;
    }
  }
  out.rawOffset.push_back(raw.size());
  return out;
}

}  // namespace lorvex
