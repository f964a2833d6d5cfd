#include "util/SafeFileName.h"

#include <cstring>

#include "util/Ascii.h"
#include "util/Strings.h"

namespace lorvex {

namespace {

bool IsDeviceName(std::string_view name) {
  // Windows maps these names to devices whatever extension follows them.
  size_t dot = name.find('.');
  std::string_view base = name.substr(0, dot);
  while (!base.empty() && base.back() == ' ') base.remove_suffix(1);
  static constexpr std::string_view kDevices[] = {"con",    "prn",     "aux",   "nul",
                                                  "conin$", "conout$", "clock$"};
  for (std::string_view device : kDevices)
    if (EqualsIgnoreCase(base, device)) return true;
  if (base.size() == 4 &&
      (StartsWithIgnoreCase(base, "com") || StartsWithIgnoreCase(base, "lpt"))) {
    unsigned char digit = static_cast<unsigned char>(base[3]);
    // 0 to 9, and the superscript digits one to three of the Western code page.
    if (IsAsciiDigit(char(digit)) || digit == 0xB9 || digit == 0xB2 || digit == 0xB3) return true;
  }
  return false;
}

}  // namespace

bool IsSafeFileName(std::string_view name) {
  if (name.empty() || name.size() > kMaxFileName) return false;
  for (char c : name) {
    unsigned char u = static_cast<unsigned char>(c);
    if (u < 32 || std::strchr("<>:\"/\\|?*", c) != nullptr) return false;
  }
  if (name.back() == '.' || name.back() == ' ') return false;  // also "." and ".."
  return !IsDeviceName(name);
}

bool IsSafeFileIn(std::string_view folder, std::string_view name) {
  return IsSafeFileName(name) && folder.size() <= kMaxFilePath - name.size();
}

}  // namespace lorvex
