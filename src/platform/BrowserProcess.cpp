// The browser seam's part that both systems share.
#include "platform/BrowserProcess.h"

#include "util/Ascii.h"

namespace lorvex::platform {

std::string FileUrlOfPath(std::string_view path) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string url = "file://";
  if (path.empty() || (path.front() != '/' && path.front() != '\\')) url += '/';
  for (char c : path) {
    if (c == '\\') c = '/';
    if (IsAsciiAlnum(c) || c == '/' || c == '-' || c == '.' || c == '_' || c == '~' || c == ':') {
      url += c;
    } else {
      url += '%';
      url += kHex[uint8_t(c) >> 4];
      url += kHex[uint8_t(c) & 0xF];
    }
  }
  return url;
}

}  // namespace lorvex::platform
