// Byte work eight bytes at a time (SWAR) for the scanners' hot loops: a forward search for
// one of two bytes, and ASCII case folding of a whole 64-bit word. Portable: plain 64-bit
// integer arithmetic on little- or big-endian machines, with a byte loop for the tail.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace lorvex {

namespace detail {
constexpr uint64_t kOnes = 0x0101010101010101ull;
constexpr uint64_t kHighs = 0x8080808080808080ull;
// High bit set in the bytes of v that are zero; exact for the lowest such byte.
constexpr uint64_t ZeroBytes(uint64_t v) { return (v - kOnes) & ~v & kHighs; }
}  // namespace detail

// The word with every byte "A" to "Z" made lower-case (the 0x20 bit set), the same as
// AsciiLower on each of its eight bytes; bytes from 0x80 up are left alone. Only the low
// seven bits of a byte take part in the compares, so no carry crosses into the next byte.
constexpr uint64_t AsciiLowerWord(uint64_t word) {
  const uint64_t low7 = word & ~detail::kHighs;
  const uint64_t atLeastA = low7 + detail::kOnes * (0x80 - 'A');
  const uint64_t aboveZ = low7 + detail::kOnes * (0x80 - 'Z' - 1);
  const uint64_t upper = atLeastA & ~aboveZ & ~word & detail::kHighs;
  return word | (upper >> 2);
}

// The position of the first byte in [from, size) equal to a or b, or size when there is none.
inline size_t FindEitherByte(const char* data, size_t from, size_t size, char a, char b) {
  const uint64_t patternA = detail::kOnes * uint8_t(a);
  const uint64_t patternB = detail::kOnes * uint8_t(b);
  size_t pos = from;
  while (pos + 8 <= size) {
    uint64_t word;
    std::memcpy(&word, data + pos, 8);
    uint64_t hits = detail::ZeroBytes(word ^ patternA) | detail::ZeroBytes(word ^ patternB);
    if (hits) {
      if constexpr (std::endian::native == std::endian::little)
        return pos + size_t(std::countr_zero(hits) / 8);
      break;  // let the byte loop find it
    }
    pos += 8;
  }
  while (pos < size && data[pos] != a && data[pos] != b) ++pos;
  return pos;
}

}  // namespace lorvex
