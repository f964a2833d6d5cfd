#include "plugin/PackingLibrary.h"

#include "platform/win32/Boundary.h"

namespace lorvex {

namespace {
void RequireFilled(IStream* hostStream) {
  STATSTG stat{};
  LORVEX_CHECK_HR(hostStream->Stat(&stat, STATFLAG_NONAME));
  if (stat.cbSize.QuadPart == 0) throw PackingError("the packing library produced nothing");
}
}  // namespace

void PackFolder(const std::string& documentName, const std::string& folder, IStream* hostStream,
                uint8_t packMode) {
  decompressdir(documentName.c_str(), folder.c_str(), hostStream, packMode);
  RequireFilled(hostStream);
}

void PackStream(IStream* source, IStream* hostStream, uint8_t packMode) {
  decompressstream(source, hostStream, packMode, 0);
  RequireFilled(hostStream);
}

}  // namespace lorvex
