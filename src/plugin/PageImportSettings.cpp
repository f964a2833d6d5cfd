#include "plugin/PageImportSettings.h"

#include <windows.h>

#include <algorithm>

#include "platform/win32/UniqueHandle.h"

namespace lorvex {

namespace {

// The longest path value read; longer ones count as absent.
constexpr DWORD kMaxPathValue = 32768;

// A REG_DWORD value, or `absent` when the value is missing or of another type.
DWORD ReadDword(HKEY key, const char* name, DWORD absent) {
  DWORD type = 0, value = 0, size = sizeof(value);
  if (::RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) !=
          ERROR_SUCCESS ||
      type != REG_DWORD || size != sizeof(value))
    return absent;
  return value;
}

// A REG_SZ (or REG_EXPAND_SZ, expanded) value: a path; empty when missing or of another type.
std::string ReadPath(HKEY key, const char* name) {
  DWORD type = 0, size = 0;
  if (::RegQueryValueExA(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
      (type != REG_SZ && type != REG_EXPAND_SZ) || size == 0 || size > kMaxPathValue)
    return {};
  std::string value(size, '\0');
  if (::RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(value.data()), &size) !=
      ERROR_SUCCESS)
    return {};
  value.resize(std::min<size_t>(size, value.size()));
  if (const size_t end = value.find('\0'); end != std::string::npos) value.resize(end);
  if (type == REG_EXPAND_SZ) {
    char expanded[kMaxPathValue];
    const DWORD length = ::ExpandEnvironmentStringsA(value.c_str(), expanded, sizeof(expanded));
    if (length == 0 || length > sizeof(expanded)) return {};
    value = expanded;
  }
  // App Paths values are often written in quotes.
  if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
    value = value.substr(1, value.size() - 2);
  return value;
}

bool IsFile(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  return !path.empty() && attributes != INVALID_FILE_ATTRIBUTES &&
         (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// The default value of a program's App Paths key under root, or empty.
std::string AppPath(HKEY root, const char* program) {
  const std::string keyName =
      std::string("Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\") + program;
  win32::UniqueHKey key;
  if (::RegOpenKeyExA(root, keyName.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) return {};
  return ReadPath(key.get(), nullptr);
}

}  // namespace

PageImportOptions ReadPageImportSettings() {
  PageImportOptions options;
  options.Connections = kDefaultConnections;
  win32::UniqueHKey key;
  if (::RegOpenKeyExA(HKEY_CURRENT_USER, kPageImportSettingsKey, 0, KEY_READ, key.put()) !=
      ERROR_SUCCESS)
    return options;
  options.Snapshot = ReadDword(key.get(), kSnapshotValue, 0) == 1;
  options.CompletePages = ReadDword(key.get(), kCompletePagesValue, 0) == 1 || options.Snapshot;
  const DWORD connections = ReadDword(key.get(), kConnectionsValue, kDefaultConnections);
  options.Connections = int(std::clamp<DWORD>(connections, 1, kMaxConnections));
  return options;
}

std::string FindRenderingBrowser() {
  win32::UniqueHKey key;
  if (::RegOpenKeyExA(HKEY_CURRENT_USER, kPageImportSettingsKey, 0, KEY_READ, key.put()) ==
      ERROR_SUCCESS) {
    const std::string named = ReadPath(key.get(), kBrowserValue);
    if (!named.empty()) return IsFile(named) ? named : std::string();
  }
  for (const char* program : {"msedge.exe", "chrome.exe"})
    for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE})
      if (std::string path = AppPath(root, program); IsFile(path)) return path;
  return {};
}

}  // namespace lorvex
