// The host's packing library, imported from morquill.dll by name.
#pragma once

#include <objidl.h>

#include <cstdint>
#include <stdexcept>
#include <string>

extern "C" {
// Packs "<documentName>.htm" and "<documentName>.files\" of folder into hostStream.
void __stdcall decompressdir(const char* documentName, const char* folder, IStream* hostStream,
                             uint8_t packMode);
// Packs the whole of source (positioned at 0) into hostStream. The last argument is always 0.
void __stdcall decompressstream(IStream* source, IStream* hostStream, uint8_t packMode,
                                int32_t reserved);
}

namespace lorvex {

// The packing library left the host stream empty: nothing reached the host.
class PackingError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Calls the packing library and throws PackingError when the host stream is empty afterwards,
// so that a document that never reached the host is not reported as done.
void PackFolder(const std::string& documentName, const std::string& folder, IStream* hostStream,
                uint8_t packMode);
void PackStream(IStream* source, IStream* hostStream, uint8_t packMode);

}  // namespace lorvex
