// Windows side of MappedFile: the file is read into memory. A 32-bit process may not find
// one free stretch of address space as large as a big archive for a view, and reading needs
// no more memory than the caller's own copy would.
#include "platform/MappedFile.h"

#include "platform/Platform.h"

namespace lorvex::platform {

MappedFile::~MappedFile() { Close(); }

void MappedFile::Close() noexcept {
  copy_.clear();
  bytes_ = {};
}

bool MappedFile::Open(std::string_view path) {
  Close();
  UniqueFile file = OpenFile(path, "rb");
  if (!file) return false;
  if (std::fseek(file.get(), 0, SEEK_END) == 0) {
    long size = std::ftell(file.get());
    if (size > 0) copy_.reserve(size_t(size));
    std::rewind(file.get());
  }
  char buffer[64 * 1024];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, file.get())) > 0) copy_.append(buffer, n);
  if (std::ferror(file.get())) {
    copy_.clear();
    return false;
  }
  bytes_ = copy_;
  return true;
}

}  // namespace lorvex::platform
