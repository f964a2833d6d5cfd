// A whole file's bytes, read-only, for readers that hold an entire large input at once.
// Where the system can map the file into memory it is mapped (no copy, and its pages are
// shared with the system's file cache); elsewhere it is read into memory. Nothing here
// throws.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace lorvex::platform {

class MappedFile {
 public:
  MappedFile() = default;
  ~MappedFile();
  MappedFile(const MappedFile&) = delete;
  MappedFile& operator=(const MappedFile&) = delete;

  // False when the file cannot be opened or read; the object is then empty.
  bool Open(std::string_view path);
  std::string_view Bytes() const { return bytes_; }

 private:
  void Close() noexcept;
  void* mapping_ = nullptr;
  size_t mappedSize_ = 0;
  std::string copy_;  // the bytes, where the file is read instead of mapped
  std::string_view bytes_;
};

}  // namespace lorvex::platform
