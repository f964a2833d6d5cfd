#include "archive/DIMime.h"

namespace lorvex {

namespace {

constexpr std::array<uint8_t, 256> MakeDecodeTable() {
  std::array<uint8_t, 256> table{};
  for (auto& entry : table) entry = kBase64Skip;
  constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  for (int i = 0; i < 64; ++i) table[uint8_t(kAlphabet[i])] = uint8_t(i);
  return table;
}

}  // namespace

constinit const std::array<uint8_t, 256> Base64DecodeTable = MakeDecodeTable();

size_t Base64DecodeChunk(const uint8_t* input, size_t length, uint8_t* output, int& remaining,
                         uint32_t& accumulator) {
  const uint8_t* const table = Base64DecodeTable.data();
  const uint8_t* in = input;
  const uint8_t* const end = input + length;
  uint8_t* out = output;
  uint32_t bits = accumulator;
  int left = remaining;
  while (in != end) {
    if (left == kBase64QuantumLength) {
      // Between quanta: take whole runs of four alphabet characters at once. A run with a
      // byte to skip falls through to the byte-wise path below, which looks each byte up
      // again; that only happens at line breaks and padding.
      while (end - in >= 4) {
        uint32_t a = table[in[0]], b = table[in[1]], c = table[in[2]], d = table[in[3]];
        if ((a | b | c | d) & 0x80) break;
        uint32_t group = a << 18 | b << 12 | c << 6 | d;
        out[0] = uint8_t(group >> 16);
        out[1] = uint8_t(group >> 8);
        out[2] = uint8_t(group);
        out += 3;
        in += 4;
      }
      if (in == end) break;
    }
    uint8_t value = table[*in++];
    if (value == kBase64Skip) continue;
    bits = bits << 6 | value;
    if (--left == 0) {
      out[0] = uint8_t(bits >> 16);
      out[1] = uint8_t(bits >> 8);
      out[2] = uint8_t(bits);
      out += 3;
      bits = 0;
      left = kBase64QuantumLength;
    }
  }
  accumulator = bits;
  remaining = left;
  return size_t(out - output);
}

size_t Base64DecodeFinish(uint8_t* output, uint32_t accumulator, int remaining) {
  switch (remaining) {
    case 2:  // two characters, 12 bits: one byte
      output[0] = uint8_t(accumulator >> 4);
      return 1;
    case 1:  // three characters, 18 bits: two bytes
      output[0] = uint8_t(accumulator >> 10);
      output[1] = uint8_t(accumulator >> 2);
      return 2;
    default:  // none pending, or a single character whose 6 bits make no byte
      return 0;
  }
}

}  // namespace lorvex
