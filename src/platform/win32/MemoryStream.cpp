#include "platform/win32/MemoryStream.h"

#include <algorithm>
#include <stdexcept>

#include "platform/win32/Boundary.h"

namespace lorvex::win32 {

ComPtr<IStream> NewMemoryStream() {
  ComPtr<IStream> stream;
  LORVEX_CHECK_HR(::CreateStreamOnHGlobal(nullptr, TRUE, stream.put()));
  return stream;
}

ComPtr<IStream> NewMemoryStream(std::string_view bytes) {
  ComPtr<IStream> stream = NewMemoryStream();
  WriteAll(stream.Get(), bytes);
  LARGE_INTEGER zero{};
  LORVEX_TRACE_IF_FAILED("NewMemoryStream", stream->Seek(zero, STREAM_SEEK_SET, nullptr));
  return stream;
}

void WriteAll(IStream* stream, std::string_view bytes) {
  constexpr size_t kChunk = 1 << 24;  // ULONG-sized pieces
  while (!bytes.empty()) {
    ULONG piece = ULONG(std::min(bytes.size(), kChunk));
    ULONG written = 0;
    LORVEX_CHECK_HR(stream->Write(bytes.data(), piece, &written));
    if (written != piece) throw std::runtime_error("stream write failed");
    bytes.remove_prefix(piece);
  }
}

void ClearStream(IStream* stream) {
  ULARGE_INTEGER zeroSize{};
  LARGE_INTEGER zero{};
  LORVEX_TRACE_IF_FAILED("ClearStream", stream->SetSize(zeroSize));
  LORVEX_TRACE_IF_FAILED("ClearStream", stream->Seek(zero, STREAM_SEEK_SET, nullptr));
}

std::string ReadAll(IStream* stream) {
  LARGE_INTEGER zero{};
  LORVEX_CHECK_HR(stream->Seek(zero, STREAM_SEEK_SET, nullptr));
  std::string bytes;
  char buffer[64 * 1024];
  for (;;) {
    ULONG got = 0;
    LORVEX_CHECK_HR(stream->Read(buffer, sizeof buffer, &got));
    bytes.append(buffer, got);
    if (got == 0) return bytes;
  }
}

}  // namespace lorvex::win32
