#include "plugin/PageImportSettings.h"

#include <windows.h>

#include <algorithm>

#include "platform/win32/UniqueHandle.h"

namespace lorvex {

namespace {

// A REG_DWORD value, or `absent` when the value is missing or of another type.
DWORD ReadDword(HKEY key, const char* name, DWORD absent) {
  DWORD type = 0, value = 0, size = sizeof(value);
  if (::RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) !=
          ERROR_SUCCESS ||
      type != REG_DWORD || size != sizeof(value))
    return absent;
  return value;
}

}  // namespace

PageImportOptions ReadPageImportSettings() {
  PageImportOptions options;
  options.Connections = kDefaultConnections;
  win32::UniqueHKey key;
  if (::RegOpenKeyExA(HKEY_CURRENT_USER, kPageImportSettingsKey, 0, KEY_READ, key.put()) !=
      ERROR_SUCCESS)
    return options;
  options.CompletePages = ReadDword(key.get(), kCompletePagesValue, 0) == 1;
  const DWORD connections = ReadDword(key.get(), kConnectionsValue, kDefaultConnections);
  options.Connections = int(std::clamp<DWORD>(connections, 1, kMaxConnections));
  return options;
}

}  // namespace lorvex
