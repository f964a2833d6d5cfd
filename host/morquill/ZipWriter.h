// Writes a ZIP archive into a COM stream, entry by entry, without holding an entry in memory:
// each entry's data is deflated (or stored) straight into the stream and its local header
// is patched afterwards with the CRC and sizes.
#pragma once

#include <objidl.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace morquill {

// Fills buffer with up to capacity bytes of an entry's data; 0 means the data has ended.
using ReadChunk = std::function<size_t(char* buffer, size_t capacity)>;

class ZipWriter {
 public:
  // level 0 stores entries as they are; 1..9 deflate them at that zlib level.
  ZipWriter(IStream* out, int level);

  // name uses "/" between folders. dosTime and dosDate are the entry's MS-DOS time stamp.
  void AddEntry(const std::string& name, const ReadChunk& read, uint16_t dosTime, uint16_t dosDate);
  // Writes the central directory and trims the stream to the archive's size. Nothing may be
  // added afterwards.
  void Finish();

 private:
  struct Entry {
    std::string name;
    uint16_t method, dosTime, dosDate;
    uint32_t crc, compressedSize, size, headerOffset;
  };

  uint32_t Position() const { return Checked32(position_); }
  static uint32_t Checked32(uint64_t value);
  void Write(const std::vector<uint8_t>& bytes);
  void WriteRaw(const void* data, size_t size);
  void SeekTo(uint32_t position);

  IStream* out_;
  int level_;
  uint64_t position_ = 0;  // where the next byte goes
  uint64_t end_ = 0;       // the furthest byte written
  uint64_t reserved_ = 0;  // the stream's size as last set
  std::vector<Entry> entries_;
};

}  // namespace morquill
