// POSIX side of the platform seam: Windows path texts mapped onto a Linux file system.
#include "platform/Platform.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

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

namespace {

// Folders nested deeper than this are left in place: the trees removed here are flat, and
// the recursion must stay bounded whatever was put there.
constexpr int kMaxTreeDepth = 32;

struct DirCloser {
  void operator()(DIR* dir) const noexcept { ::closedir(dir); }
};

// Removes everything below the open folder dirFd (which this takes over), links as links.
bool RemoveBelow(int dirFd, int depth) {
  std::unique_ptr<DIR, DirCloser> dir(::fdopendir(dirFd));
  if (!dir) {
    ::close(dirFd);
    return false;
  }
  bool all = true;
  while (dirent* entry = ::readdir(dir.get())) {
    const std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    struct stat st {};
    if (::fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
      all = false;
      continue;
    }
    if (S_ISDIR(st.st_mode)) {
      const int sub =
          ::openat(dirFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
      if (sub < 0 || depth >= kMaxTreeDepth) {
        if (sub >= 0) ::close(sub);
        all = false;
        continue;
      }
      all = RemoveBelow(sub, depth + 1) && all;
      all = ::unlinkat(dirFd, name.c_str(), AT_REMOVEDIR) == 0 && all;
    } else {
      all = ::unlinkat(dirFd, name.c_str(), 0) == 0 && all;
    }
  }
  return all;
}

}  // namespace

bool RemoveTree(std::string_view path) {
  if (path.empty()) return false;
  const std::string native = NativePath(path);
  struct stat st {};
  if (::lstat(native.c_str(), &st) != 0) return errno == ENOENT;
  if (!S_ISDIR(st.st_mode)) return ::unlink(native.c_str()) == 0;
  const int dir = ::open(native.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (dir < 0) return false;
  const bool below = RemoveBelow(dir, 1);
  return ::rmdir(native.c_str()) == 0 && below;
}

bool IsLink(std::string_view path) {
  struct stat st {};
  return !path.empty() && ::lstat(NativePath(path).c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

LockedFile LockedFile::Create(std::string_view path, std::string_view content) noexcept {
  if (path.empty()) return LockedFile();
  try {
    // Written and locked under a name of its own, then moved into place: whoever finds the
    // file under its name finds it locked.
    const std::string native = NativePath(path);
    const std::string fresh = native + "." + std::to_string(::getpid()) + ".new";
    const int fd = ::open(fresh.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0) return LockedFile();
    LockedFile file{intptr_t(fd)};
    bool ok = ::flock(fd, LOCK_EX | LOCK_NB) == 0 &&
              ::write(fd, content.data(), content.size()) == ssize_t(content.size());
    // link() refuses an existing name, where rename() would replace it.
    ok = ok && ::link(fresh.c_str(), native.c_str()) == 0;
    ::unlink(fresh.c_str());
    if (!ok) return LockedFile();
    return file;
  } catch (...) {
    return LockedFile();
  }
}

LockedFile LockedFile::Take(std::string_view path, std::string& content,
                            size_t maxContent) noexcept {
  content.clear();
  if (path.empty()) return LockedFile();
  try {
    const int fd = ::open(NativePath(path).c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return LockedFile();
    LockedFile file{intptr_t(fd)};
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || ::flock(fd, LOCK_EX | LOCK_NB) != 0)
      return LockedFile();
    content.resize(maxContent);
    const ssize_t got = ::read(fd, content.data(), maxContent);
    content.resize(got > 0 ? size_t(got) : 0);
    return file;
  } catch (...) {
    content.clear();
    return LockedFile();
  }
}

void LockedFile::Release() noexcept {
  if (handle_ != kNone) ::close(int(handle_));  // closing the descriptor ends its flock
  handle_ = kNone;
}

// A POSIX file system has no short names: every path is already in its long form.
std::string GetLongPath(std::string_view path) { return std::string(path); }

unsigned long ProcessId() noexcept { return static_cast<unsigned long>(::getpid()); }

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
