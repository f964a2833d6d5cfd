#include "util/FileOperation.h"

#include <memory>

#include "platform/Platform.h"

namespace lorvex {

namespace {

constexpr size_t kReadBlock = 256 * 1024;

// Reads the file block by block; onStart gets the size when the file system knows it
// (0 otherwise), onBlock every block.
template <typename OnStart, typename OnBlock>
void ReadBlocks(std::string_view path, OnStart onStart, OnBlock onBlock) {
  platform::UniqueFile file = platform::OpenFile(path, "rb");
  if (!file) throw FileError("cannot open " + std::string(path));
  size_t size = 0;
  if (std::fseek(file.get(), 0, SEEK_END) == 0) {
    long end = std::ftell(file.get());
    if (end > 0) size = size_t(end);
    std::rewind(file.get());
  }
  onStart(size);
  auto buffer = std::make_unique<char[]>(kReadBlock);
  size_t n;
  while ((n = std::fread(buffer.get(), 1, kReadBlock, file.get())) > 0)
    onBlock(std::string_view(buffer.get(), n));
  if (std::ferror(file.get())) throw FileError("cannot read " + std::string(path));
}

}  // namespace

std::string ReadFileBytes(std::string_view path) {
  std::string bytes;
  ReadBlocks(
      path, [&](size_t size) { bytes.reserve(size); },
      [&](std::string_view block) { bytes.append(block); });
  return bytes;
}

void WriteFileBytes(std::string_view path, std::string_view bytes) {
  platform::UniqueFile file = platform::OpenFile(path, "wb");
  if (!file) throw FileError("cannot create " + std::string(path));
  if (std::fwrite(bytes.data(), 1, bytes.size(), file.get()) != bytes.size() ||
      std::fflush(file.get()) != 0)
    throw FileError("cannot write " + std::string(path));
}

// Normalised while it is read, so a large page is held once, not twice.
std::string LoadTextFile(std::string_view path) {
  std::string text;
  LineBreakNormalizer normalizer(text);
  ReadBlocks(
      path,
      [&](size_t size) {
        text.reserve(size + size / 16 + 2);
        platform::HintLargeBuffer(text.data(), text.capacity());
      },
      [&](std::string_view block) { normalizer.Append(block); });
  normalizer.Finish();
  return text;
}

StringList LoadLines(std::string_view path) { return SplitLines(ReadFileBytes(path)); }

void SaveLines(std::string_view path, const StringList& lines) {
  WriteFileBytes(path, JoinLines(lines));
}

}  // namespace lorvex
