#include "util/FileOperation.h"

#include "platform/Platform.h"

namespace lorvex {

std::string ReadFileBytes(std::string_view path) {
  platform::UniqueFile file = platform::OpenFile(path, "rb");
  if (!file) throw FileError("cannot open " + std::string(path));
  std::string bytes;
  if (std::fseek(file.get(), 0, SEEK_END) == 0) {
    long size = std::ftell(file.get());
    if (size > 0) bytes.reserve(size_t(size));
    std::rewind(file.get());
  }
  char buffer[64 * 1024];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, file.get())) > 0) bytes.append(buffer, n);
  if (std::ferror(file.get())) throw FileError("cannot read " + std::string(path));
  return bytes;
}

void WriteFileBytes(std::string_view path, std::string_view bytes) {
  platform::UniqueFile file = platform::OpenFile(path, "wb");
  if (!file) throw FileError("cannot create " + std::string(path));
  if (std::fwrite(bytes.data(), 1, bytes.size(), file.get()) != bytes.size() ||
      std::fflush(file.get()) != 0)
    throw FileError("cannot write " + std::string(path));
}

std::string LoadTextFile(std::string_view path) { return NormalizeLineBreaks(ReadFileBytes(path)); }

StringList LoadLines(std::string_view path) { return SplitLines(ReadFileBytes(path)); }

void SaveLines(std::string_view path, const StringList& lines) {
  WriteFileBytes(path, JoinLines(lines));
}

}  // namespace lorvex
