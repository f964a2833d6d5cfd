// Where streamed bytes go: one interface for every producer that hands its output over in
// pieces (an HTTP body, an inflated body, a decoded base64 stream, a command's output), and
// the two sinks most of them write into.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <utility>

namespace lorvex {

// Something to append bytes to. Write throws when the bytes cannot be stored; the producer
// then fails with that exception, and what reached the sink before is not complete.
class ByteSink {
 public:
  virtual ~ByteSink() = default;
  virtual void Write(const char* data, std::size_t size) = 0;
};

// Collects everything written, in memory.
class StringSink final : public ByteSink {
 public:
  void Write(const char* data, std::size_t size) override { text_.append(data, size); }
  std::string& Text() { return text_; }

 private:
  std::string text_;
};

// Appends to an open file that the caller owns; throws FileError "cannot write <what>" when
// a write fails.
class FileSink final : public ByteSink {
 public:
  FileSink(std::FILE* file, std::string what) : file_(file), what_(std::move(what)) {}
  void Write(const char* data, std::size_t size) override;
  // Flushes the file; throws FileError the same way when that fails.
  void Flush();

 private:
  std::FILE* file_;
  std::string what_;
};

}  // namespace lorvex
