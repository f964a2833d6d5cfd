// Base64 decoding: the look-up table and the two routines that decode a chunk while carrying
// an unfinished quantum and finish the quantum left open at the end, and on top of them the
// decoding of a whole stream in fixed buffers with the small stream types that feed it. And
// the encoding of a short text (the downloader's Basic credentials).
//
// Encoding: the same 64-character alphabet, padded with "=", no line breaks.
//
// Decoding rules (RFC 2045 alphabet):
// - every byte that is not one of the 64 alphabet characters is skipped, "=" included, also in
//   the middle of a quantum; decoding never stops and never fails;
// - four alphabet characters make three bytes; the state (accumulator, remaining count)
//   carries from one chunk to the next, so a quantum may be split anywhere;
// - the tail is decided by the count of pending characters alone: one is dropped, two give
//   one byte, three give two bytes. Padding is never read.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "util/ByteSink.h"

namespace lorvex {

// Marks a byte that is not an alphabet character.
constexpr uint8_t kBase64Skip = 255;

// 684 quanta of four characters in, 684 groups of three bytes out: a full input buffer (plus
// at most three characters carried over) never overflows the output buffer.
constexpr size_t kBase64InputBufferSize = 2736;
constexpr size_t kBase64OutputBufferSize = 2052;
static_assert(kBase64InputBufferSize / 4 * 3 == kBase64OutputBufferSize);

// The state that lives for one stream: starts as accumulator 0, remaining count 4.
constexpr int kBase64QuantumLength = 4;

extern const std::array<uint8_t, 256> Base64DecodeTable;

// Decodes length bytes of input into output and returns the number of bytes written. Output
// must hold 3 * ((length + 3) / 4) bytes; kBase64OutputBufferSize for a full input buffer.
size_t Base64DecodeChunk(const uint8_t* input, size_t length, uint8_t* output, int& remaining,
                         uint32_t& accumulator);

// Writes the 0 to 2 bytes of the quantum left open at the end; output must hold 2 bytes.
size_t Base64DecodeFinish(uint8_t* output, uint32_t accumulator, int remaining);

// Something to read bytes from; Read returns 0 at the end only.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  virtual size_t Read(char* buffer, size_t capacity) = 0;
};

// bytes in Base64: four characters for every three bytes and for the one or two left over.
std::string Base64Encode(std::string_view bytes);

// Reads source from its current position to its end and appends the decoded bytes to
// target. Works through the source in kBase64InputBufferSize chunks, no allocation.
void Base64DecodeStream(ByteSource& source, ByteSink& target);

// The same bytes as Base64DecodeStream over a StringSource of text, decoded in place: in
// rounds of kBase64InputBufferSize input bytes into one kBase64OutputBufferSize buffer,
// without copying the input first.
void Base64DecodeText(std::string_view text, ByteSink& target);

class StringSource final : public ByteSource {
 public:
  explicit StringSource(std::string_view text) : rest_(text) {}
  size_t Read(char* buffer, size_t capacity) override;

 private:
  std::string_view rest_;
};

// An open file read to its end; throws FileError on a read error.
class FileSource final : public ByteSource {
 public:
  explicit FileSource(std::FILE* file) : file_(file) {}
  size_t Read(char* buffer, size_t capacity) override;

 private:
  std::FILE* file_;
};

}  // namespace lorvex
