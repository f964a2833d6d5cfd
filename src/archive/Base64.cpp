#include "archive/Base64.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "util/FileOperation.h"

namespace lorvex {

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

constexpr std::array<uint8_t, 256> MakeDecodeTable() {
  std::array<uint8_t, 256> table{};
  for (auto& entry : table) entry = kBase64Skip;
  for (int i = 0; i < 64; ++i) table[uint8_t(kAlphabet[i])] = uint8_t(i);
  return table;
}

// The table's values already shifted into their place in a quantum's 24 bits, one table
// per position; a byte to skip has the top byte set. Still one look-up per input byte.
struct ShiftedTables {
  std::array<uint32_t, 256> at[4];
};

constexpr ShiftedTables MakeShiftedTables() {
  ShiftedTables tables{};
  std::array<uint8_t, 256> table = MakeDecodeTable();
  for (int b = 0; b < 256; ++b)
    for (int k = 0; k < 4; ++k)
      tables.at[k][b] = table[b] == kBase64Skip ? 0xFF000000u : uint32_t(table[b]) << (18 - 6 * k);
  return tables;
}

constexpr ShiftedTables kShifted = MakeShiftedTables();

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
      // Between quanta: take whole runs of alphabet characters at once, two quanta per step
      // (six bytes from one 48-bit group, stored big-endian), then one. A run with a byte to
      // skip falls through to the byte-wise path below, which looks each byte up again; that
      // only happens at line breaks and padding.
      while (end - in >= 8) {
        uint32_t first = kShifted.at[0][in[0]] | kShifted.at[1][in[1]] | kShifted.at[2][in[2]] |
                         kShifted.at[3][in[3]];
        uint32_t second = kShifted.at[0][in[4]] | kShifted.at[1][in[5]] | kShifted.at[2][in[6]] |
                          kShifted.at[3][in[7]];
        if ((first | second) & 0xFF000000u) break;
        uint64_t group = (uint64_t(first) << 24 | second) << 16;
        if constexpr (std::endian::native == std::endian::little) group = __builtin_bswap64(group);
        std::memcpy(out, &group, 6);
        out += 6;
        in += 8;
      }
      while (end - in >= 4) {
        uint32_t group = kShifted.at[0][in[0]] | kShifted.at[1][in[1]] | kShifted.at[2][in[2]] |
                         kShifted.at[3][in[3]];
        if (group & 0xFF000000u) break;
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

std::string Base64Encode(std::string_view bytes) {
  std::string text;
  text.reserve((bytes.size() + 2) / 3 * 4);
  size_t i = 0;
  for (; i + 3 <= bytes.size(); i += 3) {
    uint32_t v = uint32_t(uint8_t(bytes[i])) << 16 | uint32_t(uint8_t(bytes[i + 1])) << 8 |
                 uint8_t(bytes[i + 2]);
    for (int shift : {18, 12, 6, 0}) text += kAlphabet[(v >> shift) & 63];
  }
  if (size_t rest = bytes.size() - i) {
    uint32_t v = uint32_t(uint8_t(bytes[i])) << 16;
    if (rest == 2) v |= uint32_t(uint8_t(bytes[i + 1])) << 8;
    text += kAlphabet[(v >> 18) & 63];
    text += kAlphabet[(v >> 12) & 63];
    text += rest == 2 ? kAlphabet[(v >> 6) & 63] : '=';
    text += '=';
  }
  return text;
}

void Base64DecodeStream(ByteSource& source, ByteSink& target) {
  uint8_t input[kBase64InputBufferSize];
  uint8_t output[kBase64OutputBufferSize];
  uint32_t accumulator = 0;
  int remaining = kBase64QuantumLength;
  while (size_t read = source.Read(reinterpret_cast<char*>(input), sizeof input)) {
    size_t produced = Base64DecodeChunk(input, read, output, remaining, accumulator);
    if (produced) target.Write(reinterpret_cast<const char*>(output), produced);
  }
  size_t tail = Base64DecodeFinish(output, accumulator, remaining);
  if (tail) target.Write(reinterpret_cast<const char*>(output), tail);
}

void Base64DecodeText(std::string_view text, ByteSink& target) {
  uint8_t output[kBase64OutputBufferSize];
  uint32_t accumulator = 0;
  int remaining = kBase64QuantumLength;
  auto* in = reinterpret_cast<const uint8_t*>(text.data());
  for (size_t left = text.size(); left;) {
    size_t take = std::min(left, kBase64InputBufferSize);
    size_t produced = Base64DecodeChunk(in, take, output, remaining, accumulator);
    if (produced) target.Write(reinterpret_cast<const char*>(output), produced);
    in += take;
    left -= take;
  }
  size_t tail = Base64DecodeFinish(output, accumulator, remaining);
  if (tail) target.Write(reinterpret_cast<const char*>(output), tail);
}

size_t StringSource::Read(char* buffer, size_t capacity) {
  size_t n = std::min(capacity, rest_.size());
  if (n) std::memcpy(buffer, rest_.data(), n);
  rest_.remove_prefix(n);
  return n;
}

size_t FileSource::Read(char* buffer, size_t capacity) {
  size_t n = std::fread(buffer, 1, capacity, file_);
  if (n == 0 && std::ferror(file_)) throw FileError("cannot read the input");
  return n;
}

}  // namespace lorvex
