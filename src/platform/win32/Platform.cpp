// Windows side of the platform seam: the ANSI file functions, paths taken as they are.
#include "platform/Platform.h"

#include <windows.h>

#include <cstdio>

namespace lorvex::platform {

std::string CorePath(std::string_view nativePath) { return std::string(nativePath); }
std::string NativePath(std::string_view path) { return std::string(path); }

namespace {
DWORD AttributesOf(std::string_view path) {
  if (path.empty()) return INVALID_FILE_ATTRIBUTES;
  return ::GetFileAttributesA(std::string(path).c_str());
}
}  // namespace

bool FileExists(std::string_view path) {
  DWORD attributes = AttributesOf(path);
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool DirectoryExists(std::string_view path) {
  DWORD attributes = AttributesOf(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool CreateDirectoryLevel(std::string_view path) {
  return !path.empty() && ::CreateDirectoryA(std::string(path).c_str(), nullptr) != 0;
}

bool CopyFileReplacing(std::string_view from, std::string_view to) {
  return ::CopyFileA(std::string(from).c_str(), std::string(to).c_str(), FALSE) != 0;
}

bool MoveFileReplacing(std::string_view from, std::string_view to) {
  return ::MoveFileExA(std::string(from).c_str(), std::string(to).c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED) != 0;
}

bool DeleteFileAt(std::string_view path) { return ::DeleteFileA(std::string(path).c_str()) != 0; }
bool RemoveEmptyDirectory(std::string_view path) {
  return ::RemoveDirectoryA(std::string(path).c_str()) != 0;
}

std::string GetLongPath(std::string_view path) {
  std::string input(path);
  char buffer[MAX_PATH];
  DWORD length = ::GetLongPathNameA(input.c_str(), buffer, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return input;
  return std::string(buffer, length);
}

// Large pages need a privilege that ordinary processes lack: nothing to do.
void HintLargeBuffer(void*, size_t) noexcept {}

UniqueFile OpenFile(std::string_view path, const char* mode) {
  if (path.empty()) return nullptr;
  return UniqueFile(std::fopen(std::string(path).c_str(), mode));
}

}  // namespace lorvex::platform
