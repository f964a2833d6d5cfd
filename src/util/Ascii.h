// ASCII character classes and letter case, free of the C locale: only '0'-'9', 'A'-'Z' and
// 'a'-'z' belong to a class and only the letters change case, so a byte from 0x80 up (a
// negative char) is never a letter or a digit and folds to itself on every system.
#pragma once

namespace lorvex {

constexpr bool IsAsciiDigit(char c) { return c >= '0' && c <= '9'; }
constexpr bool IsAsciiUpper(char c) { return c >= 'A' && c <= 'Z'; }
constexpr bool IsAsciiLower(char c) { return c >= 'a' && c <= 'z'; }
constexpr bool IsAsciiAlpha(char c) { return IsAsciiUpper(c) || IsAsciiLower(c); }
constexpr bool IsAsciiAlnum(char c) { return IsAsciiAlpha(c) || IsAsciiDigit(c); }

// The value of a hexadecimal digit in either letter case; -1 for any other byte.
constexpr int AsciiHexValue(char c) {
  if (IsAsciiDigit(c)) return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

constexpr char AsciiLower(char c) { return IsAsciiUpper(c) ? char(c + ('a' - 'A')) : c; }
constexpr char AsciiUpper(char c) { return IsAsciiLower(c) ? char(c - ('a' - 'A')) : c; }

}  // namespace lorvex
