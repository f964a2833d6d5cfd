#include "platform/win32/MemoryStream.h"

#include <algorithm>
#include <stdexcept>

namespace lorvex::win32 {

ComPtr<IStream> NewMemoryStream() {
  ComPtr<IStream> stream;
  if (FAILED(::CreateStreamOnHGlobal(nullptr, TRUE, stream.put())))
    throw std::runtime_error("CreateStreamOnHGlobal failed");
  return stream;
}

ComPtr<IStream> NewMemoryStream(std::string_view bytes) {
  ComPtr<IStream> stream = NewMemoryStream();
  WriteAll(stream.Get(), bytes);
  LARGE_INTEGER zero{};
  stream->Seek(zero, STREAM_SEEK_SET, nullptr);
  return stream;
}

void WriteAll(IStream* stream, std::string_view bytes) {
  constexpr size_t kChunk = 1 << 24;  // ULONG-sized pieces
  while (!bytes.empty()) {
    ULONG piece = ULONG(std::min(bytes.size(), kChunk));
    ULONG written = 0;
    if (FAILED(stream->Write(bytes.data(), piece, &written)) || written != piece)
      throw std::runtime_error("stream write failed");
    bytes.remove_prefix(piece);
  }
}

void ClearStream(IStream* stream) {
  ULARGE_INTEGER zeroSize{};
  LARGE_INTEGER zero{};
  stream->SetSize(zeroSize);
  stream->Seek(zero, STREAM_SEEK_SET, nullptr);
}

std::string ReadAll(IStream* stream) {
  LARGE_INTEGER zero{};
  if (FAILED(stream->Seek(zero, STREAM_SEEK_SET, nullptr)))
    throw std::runtime_error("stream seek failed");
  std::string bytes;
  char buffer[64 * 1024];
  for (;;) {
    ULONG got = 0;
    HRESULT hr = stream->Read(buffer, sizeof buffer, &got);
    if (FAILED(hr)) throw std::runtime_error("stream read failed");
    bytes.append(buffer, got);
    if (got == 0) return bytes;
  }
}

}  // namespace lorvex::win32
