// Base64 decoding at the buffer level: the look-up table and the two routines that decode a
// chunk while carrying an unfinished quantum, and finish the quantum left open at the end.
//
// Decoding rules (RFC 2045 alphabet, decoding only):
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

}  // namespace lorvex
