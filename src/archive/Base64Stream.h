// Base64 decoding of a whole stream in fixed buffers, and the small stream types that the
// web archive import feeds it with.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>

#include "platform/Platform.h"

namespace lorvex {

// Something to read bytes from; Read returns 0 at the end only.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  virtual size_t Read(char* buffer, size_t capacity) = 0;
};

// Something to append bytes to; Write throws when the bytes cannot be stored.
class ByteSink {
 public:
  virtual ~ByteSink() = default;
  virtual void Write(const char* data, size_t size) = 0;
};

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

class StringSink final : public ByteSink {
 public:
  void Write(const char* data, size_t size) override { text_.append(data, size); }
  std::string& Text() { return text_; }

 private:
  std::string text_;
};

// Appends to an open file; throws FileError (naming what) when a write fails.
class FileSink final : public ByteSink {
 public:
  FileSink(std::FILE* file, std::string what) : file_(file), what_(std::move(what)) {}
  void Write(const char* data, size_t size) override;
  // Flushes the file; throws FileError when that fails.
  void Flush();

 private:
  std::FILE* file_;
  std::string what_;
};

}  // namespace lorvex
