// Windows side of the platform seam: the ANSI file functions, paths taken as they are.
#include "platform/Platform.h"

#include <windows.h>

#include <cstdio>
#include <utility>

#include "platform/win32/UniqueHandle.h"

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

namespace {

// Folders nested deeper than this are left in place: the trees removed here are flat, and
// the recursion must stay bounded whatever was put there.
constexpr int kMaxTreeDepth = 32;

// Removes one entry whose attributes are known: a link (a junction, a symbolic link) as a
// link, a folder with all below it, a file even when it is read-only.
bool RemoveEntry(const std::string& path, DWORD attributes, int depth);

bool RemoveBelow(const std::string& folder, int depth) {
  WIN32_FIND_DATAA found{};
  win32::UniqueFindHandle find(::FindFirstFileA((folder + "\\*").c_str(), &found));
  if (!find) return ::GetLastError() == ERROR_FILE_NOT_FOUND;
  bool all = true;
  do {
    const std::string name = found.cFileName;
    if (name == "." || name == "..") continue;
    all = RemoveEntry(folder + "\\" + name, found.dwFileAttributes, depth) && all;
  } while (::FindNextFileA(find.get(), &found));
  return all;
}

bool RemoveEntry(const std::string& path, DWORD attributes, int depth) {
  if (attributes & FILE_ATTRIBUTE_READONLY)
    ::SetFileAttributesA(path.c_str(), attributes & ~DWORD(FILE_ATTRIBUTE_READONLY));
  const bool folder = attributes & FILE_ATTRIBUTE_DIRECTORY;
  if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
    return folder ? ::RemoveDirectoryA(path.c_str()) != 0 : ::DeleteFileA(path.c_str()) != 0;
  if (!folder) return ::DeleteFileA(path.c_str()) != 0;
  if (depth >= kMaxTreeDepth) return false;
  const bool below = RemoveBelow(path, depth + 1);
  return ::RemoveDirectoryA(path.c_str()) != 0 && below;
}

}  // namespace

bool RemoveTree(std::string_view path) {
  const DWORD attributes = AttributesOf(path);
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD error = ::GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
  }
  return RemoveEntry(std::string(path), attributes, 1);
}

bool IsLink(std::string_view path) {
  const DWORD attributes = AttributesOf(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

LockedFile LockedFile::Create(std::string_view path, std::string_view content) noexcept {
  if (path.empty()) return LockedFile();
  try {
    // Made and held in one call: no sharing, so nobody else opens it while it is held.
    win32::UniqueFileHandle file(::CreateFileA(std::string(path).c_str(),
                                               GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                               FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return LockedFile();
    DWORD written = 0;
    if (!::WriteFile(file.get(), content.data(), DWORD(content.size()), &written, nullptr) ||
        written != content.size())
      return LockedFile();
    return LockedFile(reinterpret_cast<intptr_t>(file.release()));
  } catch (...) {
    return LockedFile();
  }
}

LockedFile LockedFile::Take(std::string_view path, std::string& content,
                            size_t maxContent) noexcept {
  content.clear();
  if (path.empty()) return LockedFile();
  try {
    const DWORD attributes = AttributesOf(path);
    if (attributes == INVALID_FILE_ATTRIBUTES ||
        (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)))
      return LockedFile();
    win32::UniqueFileHandle file(
        ::CreateFileA(std::string(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                      OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file) return LockedFile();  // a holder has it open: a sharing violation
    content.resize(maxContent);
    DWORD got = 0;
    if (!::ReadFile(file.get(), content.data(), DWORD(maxContent), &got, nullptr)) got = 0;
    content.resize(got);
    return LockedFile(reinterpret_cast<intptr_t>(file.release()));
  } catch (...) {
    content.clear();
    return LockedFile();
  }
}

void LockedFile::Release() noexcept {
  win32::UniqueFileHandle closing(reinterpret_cast<HANDLE>(std::exchange(handle_, kNone)));
}

std::string GetLongPath(std::string_view path) {
  std::string input(path);
  char buffer[MAX_PATH];
  DWORD length = ::GetLongPathNameA(input.c_str(), buffer, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return input;
  return std::string(buffer, length);
}

unsigned long ProcessId() noexcept { return ::GetCurrentProcessId(); }

// Large pages need a privilege that ordinary processes lack: nothing to do.
void HintLargeBuffer(void*, size_t) noexcept {}

UniqueFile OpenFile(std::string_view path, const char* mode) {
  if (path.empty()) return nullptr;
  return UniqueFile(std::fopen(std::string(path).c_str(), mode));
}

}  // namespace lorvex::platform
