#include "morquill/ZipWriter.h"

#include <zlib.h>

#include <algorithm>
#include <limits>
#include <memory>
#include <stdexcept>

#include "platform/win32/Boundary.h"

namespace morquill {

namespace {

constexpr uint32_t kLocalHeaderSignature = 0x04034b50;
constexpr uint32_t kCentralHeaderSignature = 0x02014b50;
constexpr uint32_t kEndOfCentralDirectorySignature = 0x06054b50;
constexpr uint16_t kVersionNeeded = 20;  // deflate
constexpr uint16_t kMethodStored = 0;
constexpr uint16_t kMethodDeflated = 8;
constexpr size_t kChunkSize = 256 * 1024;
constexpr size_t kMaxEntries = 0xFFFF;        // no ZIP64
constexpr uint64_t kMaxSize = 0xFFFFFFFFull;  // no ZIP64
constexpr uint32_t kCrcOffsetInLocalHeader = 14;

struct Bytes {
  std::vector<uint8_t> data;
  Bytes& u16(uint16_t v) {
    data.push_back(uint8_t(v));
    data.push_back(uint8_t(v >> 8));
    return *this;
  }
  Bytes& u32(uint32_t v) { return u16(uint16_t(v)).u16(uint16_t(v >> 16)); }
  Bytes& text(const std::string& s) {
    data.insert(data.end(), s.begin(), s.end());
    return *this;
  }
};

struct DeflateStream {
  z_stream z{};
  explicit DeflateStream(int level) {
    // Raw deflate (negative window bits): the ZIP entry carries no zlib header.
    if (deflateInit2(&z, level, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK)
      throw std::runtime_error("deflateInit2 failed");
  }
  ~DeflateStream() { deflateEnd(&z); }
};

}  // namespace

uint32_t ZipWriter::Checked32(uint64_t value) {
  if (value > kMaxSize) throw std::runtime_error("archive larger than 4 GB");
  return uint32_t(value);
}

// The writer starts at the stream's beginning (the caller has cleared it).
ZipWriter::ZipWriter(IStream* out, int level) : out_(out), level_(level) {}

void ZipWriter::SeekTo(uint32_t position) {
  LARGE_INTEGER target{};
  target.QuadPart = position;
  LORVEX_CHECK_HR(out_->Seek(target, STREAM_SEEK_SET, nullptr));
  position_ = position;
}

void ZipWriter::WriteRaw(const void* data, size_t size) {
  if (size == 0) return;
  // A memory stream may grow by exactly what each write needs, copying itself every time;
  // growing it by doubling keeps packing linear. Finish trims the excess.
  constexpr uint64_t kMinimumReserve = 1 << 20;
  const uint64_t needed = position_ + size;
  if (needed > reserved_) {
    ULARGE_INTEGER newSize{};
    newSize.QuadPart = std::max({needed, reserved_ * 2, kMinimumReserve});
    if (SUCCEEDED(out_->SetSize(newSize))) reserved_ = newSize.QuadPart;
  }
  ULONG written = 0;
  LORVEX_CHECK_HR(out_->Write(data, ULONG(size), &written));
  if (written != size) throw std::runtime_error("stream write failed");
  position_ = needed;
  end_ = std::max(end_, position_);
}

void ZipWriter::Write(const std::vector<uint8_t>& bytes) { WriteRaw(bytes.data(), bytes.size()); }

void ZipWriter::AddEntry(const std::string& name, const ReadChunk& read, uint16_t dosTime,
                         uint16_t dosDate) {
  if (entries_.size() >= kMaxEntries) throw std::runtime_error("too many entries");
  if (name.size() > std::numeric_limits<uint16_t>::max()) throw std::runtime_error("name too long");
  Entry entry{name,      level_ > 0 ? kMethodDeflated : kMethodStored, dosTime, dosDate, 0, 0, 0,
              Position()};

  Bytes header;
  header.u32(kLocalHeaderSignature).u16(kVersionNeeded).u16(0).u16(entry.method);
  header.u16(dosTime).u16(dosDate).u32(0).u32(0).u32(0);  // CRC and sizes patched below
  header.u16(uint16_t(name.size())).u16(0).text(name);
  Write(header.data);

  auto in = std::make_unique<char[]>(kChunkSize);
  uLong crc = crc32(0, nullptr, 0);
  uint64_t size = 0, compressed = 0;
  if (entry.method == kMethodStored) {
    while (size_t n = read(in.get(), kChunkSize)) {
      crc = crc32(crc, reinterpret_cast<const Bytef*>(in.get()), uInt(n));
      WriteRaw(in.get(), n);
      size += n;
      compressed += n;
      Checked32(size);
    }
  } else {
    DeflateStream deflater(level_);
    auto outBuffer = std::make_unique<unsigned char[]>(kChunkSize);
    int flush = Z_NO_FLUSH;
    do {
      size_t n = read(in.get(), kChunkSize);
      if (n == 0) flush = Z_FINISH;
      crc = crc32(crc, reinterpret_cast<const Bytef*>(in.get()), uInt(n));
      size += n;
      Checked32(size);
      deflater.z.next_in = reinterpret_cast<Bytef*>(in.get());
      deflater.z.avail_in = uInt(n);
      do {
        deflater.z.next_out = outBuffer.get();
        deflater.z.avail_out = uInt(kChunkSize);
        if (deflate(&deflater.z, flush) == Z_STREAM_ERROR)
          throw std::runtime_error("deflate failed");
        size_t produced = kChunkSize - deflater.z.avail_out;
        WriteRaw(outBuffer.get(), produced);
        compressed += produced;
      } while (deflater.z.avail_out == 0);
    } while (flush != Z_FINISH);
  }
  entry.crc = uint32_t(crc);
  entry.size = Checked32(size);
  entry.compressedSize = Checked32(compressed);

  uint32_t end = Position();
  SeekTo(entry.headerOffset + kCrcOffsetInLocalHeader);
  Write(Bytes().u32(entry.crc).u32(entry.compressedSize).u32(entry.size).data);
  SeekTo(end);
  entries_.push_back(std::move(entry));
}

void ZipWriter::Finish() {
  uint32_t directoryOffset = Position();
  for (const Entry& e : entries_) {
    Bytes central;
    central.u32(kCentralHeaderSignature).u16(kVersionNeeded).u16(kVersionNeeded).u16(0);
    central.u16(e.method).u16(e.dosTime).u16(e.dosDate).u32(e.crc).u32(e.compressedSize);
    central.u32(e.size).u16(uint16_t(e.name.size())).u16(0).u16(0).u16(0).u16(0).u32(0);
    central.u32(e.headerOffset).text(e.name);
    Write(central.data);
  }
  uint32_t directorySize = Position() - directoryOffset;
  Bytes end;
  end.u32(kEndOfCentralDirectorySignature).u16(0).u16(0);
  end.u16(uint16_t(entries_.size())).u16(uint16_t(entries_.size()));
  end.u32(directorySize).u32(directoryOffset).u16(0);
  Write(end.data);
  ULARGE_INTEGER size{};
  size.QuadPart = end_;
  if (reserved_ > end_) LORVEX_CHECK_HR(out_->SetSize(size));
}

}  // namespace morquill
