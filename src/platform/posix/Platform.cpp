// POSIX side of the platform seam: Windows path texts mapped onto a Linux file system.
#include "platform/Platform.h"

#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>

#include "util/Strings.h"

namespace lorvex::platform {

namespace {
// The only drive that shows the POSIX file system.
constexpr char kRootDrive = 'Z';
// A directory that is a device: nothing below it can be opened or made.
constexpr std::string_view kNoDriveRoot = "/dev/null/";
}  // namespace

std::string CorePath(std::string_view nativePath) {
  if (nativePath.empty() || nativePath.front() != '/') return std::string(nativePath);
  std::string path = std::string{kRootDrive, ':'} + std::string(nativePath);
  for (char& c : path)
    if (c == '/') c = '\\';
  return path;
}

std::string NativePath(std::string_view path) {
  std::string native;
  // The core's own rule: a second character ":" makes a drive path.
  if (path.size() >= 2 && path[1] == ':') {
    if (AsciiUpper(path[0]) != kRootDrive) native.append(kNoDriveRoot).push_back(path[0]);
    path.remove_prefix(2);
    if (path.empty() || (path.front() != '\\' && path.front() != '/')) native.push_back('/');
  }
  native.append(path);
  for (char& c : native)
    if (c == '\\') c = '/';
  return native;
}

namespace {
bool StatIs(std::string_view path, mode_t kind) {
  struct stat st {};
  return !path.empty() && ::stat(NativePath(path).c_str(), &st) == 0 &&
         (st.st_mode & S_IFMT) == kind;
}
}  // namespace

bool FileExists(std::string_view path) { return StatIs(path, S_IFREG); }
bool DirectoryExists(std::string_view path) { return StatIs(path, S_IFDIR); }

bool CreateDirectoryLevel(std::string_view path) {
  return !path.empty() && ::mkdir(NativePath(path).c_str(), 0777) == 0;
}

bool CopyFileReplacing(std::string_view from, std::string_view to) {
  UniqueFile in = OpenFile(from, "rb");
  if (!in) return false;
  UniqueFile out = OpenFile(to, "wb");
  if (!out) return false;
  char buffer[64 * 1024];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, in.get())) > 0)
    if (std::fwrite(buffer, 1, n, out.get()) != n) return false;
  return !std::ferror(in.get()) && std::fflush(out.get()) == 0;
}

bool MoveFileReplacing(std::string_view from, std::string_view to) {
  return std::rename(NativePath(from).c_str(), NativePath(to).c_str()) == 0;
}

bool DeleteFileAt(std::string_view path) { return ::unlink(NativePath(path).c_str()) == 0; }
bool RemoveEmptyDirectory(std::string_view path) { return ::rmdir(NativePath(path).c_str()) == 0; }

// A POSIX file system has no short names: every path is already in its long form.
std::string GetLongPath(std::string_view path) { return std::string(path); }

void HintLargeBuffer(void* data, size_t size) noexcept {
#ifdef MADV_HUGEPAGE
  constexpr uintptr_t kLargePage = 2 << 20;
  if (size < 2 * kLargePage) return;
  // Only whole large pages inside the buffer can be backed by them.
  uintptr_t begin = (reinterpret_cast<uintptr_t>(data) + kLargePage - 1) & ~(kLargePage - 1);
  uintptr_t end = (reinterpret_cast<uintptr_t>(data) + size) & ~(kLargePage - 1);
  if (end > begin) ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#else
  (void)data;
  (void)size;
#endif
}

UniqueFile OpenFile(std::string_view path, const char* mode) {
  if (path.empty()) return nullptr;
  return UniqueFile(std::fopen(NativePath(path).c_str(), mode));
}

}  // namespace lorvex::platform
