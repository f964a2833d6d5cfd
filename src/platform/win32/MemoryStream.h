// Memory streams of the kind the host uses (CreateStreamOnHGlobal) and whole-stream I/O.
#pragma once

#include <objidl.h>

#include <string>
#include <string_view>

#include "platform/win32/ComPtr.h"

namespace lorvex::win32 {

// A new, empty memory stream; throws std::runtime_error when COM cannot make one.
ComPtr<IStream> NewMemoryStream();
// A new memory stream holding bytes, positioned at 0.
ComPtr<IStream> NewMemoryStream(std::string_view bytes);
// Writes all bytes at the current position; throws std::runtime_error on a short write.
void WriteAll(IStream* stream, std::string_view bytes);
// Size 0 and position 0.
void ClearStream(IStream* stream);
// The whole content, whatever the position; the position is left at the end.
std::string ReadAll(IStream* stream);

}  // namespace lorvex::win32
