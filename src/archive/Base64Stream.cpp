#include "archive/Base64Stream.h"

#include <algorithm>
#include <cstring>

#include "archive/Base64.h"
#include "util/FileOperation.h"

namespace lorvex {

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

void FileSink::Write(const char* data, size_t size) {
  if (std::fwrite(data, 1, size, file_) != size) throw FileError("cannot write " + what_);
}

void FileSink::Flush() {
  if (std::fflush(file_) != 0) throw FileError("cannot write " + what_);
}

}  // namespace lorvex
