#include "archive/DIMimeStreams.h"

#include <algorithm>
#include <cstring>

#include "archive/DIMime.h"
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

void Base64DecodeLines(std::span<const std::string_view> lines, ByteSink& target) {
  uint8_t output[kBase64OutputBufferSize];
  uint32_t accumulator = 0;
  int remaining = kBase64QuantumLength;
  size_t produced = 0;
  size_t budget = kBase64InputBufferSize;  // input bytes left in this round
  for (std::string_view line : lines) {
    auto* in = reinterpret_cast<const uint8_t*>(line.data());
    size_t left = line.size();
    while (left) {
      size_t take = std::min(left, budget);
      produced += Base64DecodeChunk(in, take, output + produced, remaining, accumulator);
      in += take;
      left -= take;
      budget -= take;
      if (budget == 0) {
        // A round of kBase64InputBufferSize bytes (and at most three carried characters)
        // fills at most the whole output buffer.
        if (produced) target.Write(reinterpret_cast<const char*>(output), produced);
        produced = 0;
        budget = kBase64InputBufferSize;
      }
    }
  }
  if (produced) target.Write(reinterpret_cast<const char*>(output), produced);
  size_t tail = Base64DecodeFinish(output, accumulator, remaining);
  if (tail) target.Write(reinterpret_cast<const char*>(output), tail);
}

size_t StringSource::Read(char* buffer, size_t capacity) {
  size_t n = std::min(capacity, rest_.size());
  if (n) std::memcpy(buffer, rest_.data(), n);
  rest_.remove_prefix(n);
  return n;
}

size_t LinesSource::Read(char* buffer, size_t capacity) {
  static constexpr char kLineBreak[2] = {'\r', '\n'};
  size_t filled = 0;
  while (filled < capacity && line_ < lines_.size()) {
    std::string_view line = lines_[line_];
    size_t total = line.size() + 2;
    size_t n = std::min(capacity - filled, total - offset_);
    for (size_t done = 0; done < n;) {
      size_t at = offset_ + done;
      size_t chunk;
      if (at < line.size()) {
        chunk = std::min(n - done, line.size() - at);
        std::memcpy(buffer + filled + done, line.data() + at, chunk);
      } else {
        chunk = std::min(n - done, total - at);
        std::memcpy(buffer + filled + done, kLineBreak + (at - line.size()), chunk);
      }
      done += chunk;
    }
    filled += n;
    offset_ += n;
    if (offset_ == total) {
      ++line_;
      offset_ = 0;
    }
  }
  return filled;
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
