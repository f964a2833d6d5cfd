#include "platform/win32/MemoryStream.h"

#include <algorithm>
#include <stdexcept>

#include "platform/win32/Boundary.h"

namespace lorvex::win32 {

ComPtr<IStream> NewMemoryStream() {
  ComPtr<IStream> stream;
  CheckHr(::CreateStreamOnHGlobal(nullptr, TRUE, stream.put()), "CreateStreamOnHGlobal");
  return stream;
}

ComPtr<IStream> NewMemoryStream(std::string_view bytes) {
  ComPtr<IStream> stream = NewMemoryStream();
  WriteAll(stream.Get(), bytes);
  LARGE_INTEGER zero{};
  TraceIfFailed("NewMemoryStream", "IStream::Seek", stream->Seek(zero, STREAM_SEEK_SET, nullptr));
  return stream;
}

void WriteAll(IStream* stream, std::string_view bytes) {
  constexpr size_t kChunk = 1 << 24;  // ULONG-sized pieces
  while (!bytes.empty()) {
    ULONG piece = ULONG(std::min(bytes.size(), kChunk));
    ULONG written = 0;
    CheckHr(stream->Write(bytes.data(), piece, &written), "IStream::Write");
    if (written != piece) throw std::runtime_error("stream write failed");
    bytes.remove_prefix(piece);
  }
}

void ClearStream(IStream* stream) {
  ULARGE_INTEGER zeroSize{};
  LARGE_INTEGER zero{};
  TraceIfFailed("ClearStream", "IStream::SetSize", stream->SetSize(zeroSize));
  TraceIfFailed("ClearStream", "IStream::Seek", stream->Seek(zero, STREAM_SEEK_SET, nullptr));
}

std::string ReadAll(IStream* stream) {
  LARGE_INTEGER zero{};
  CheckHr(stream->Seek(zero, STREAM_SEEK_SET, nullptr), "IStream::Seek");
  std::string bytes;
  char buffer[64 * 1024];
  for (;;) {
    ULONG got = 0;
    CheckHr(stream->Read(buffer, sizeof buffer, &got), "IStream::Read");
    bytes.append(buffer, got);
    if (got == 0) return bytes;
  }
}

}  // namespace lorvex::win32
