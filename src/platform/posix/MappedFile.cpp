// POSIX side of MappedFile: mmap, falling back to reading when the file cannot be mapped.
#include "platform/MappedFile.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/Platform.h"

namespace lorvex::platform {

namespace {
struct FdCloser {
  int fd;
  ~FdCloser() {
    if (fd >= 0) ::close(fd);
  }
};
}  // namespace

MappedFile::~MappedFile() { Close(); }

void MappedFile::Close() noexcept {
  if (mapping_) ::munmap(mapping_, mappedSize_);
  mapping_ = nullptr;
  mappedSize_ = 0;
  copy_.clear();
  bytes_ = {};
}

bool MappedFile::Open(std::string_view path) {
  Close();
  if (path.empty()) return false;
  FdCloser file{::open(NativePath(path).c_str(), O_RDONLY | O_CLOEXEC)};
  if (file.fd < 0) return false;
  struct stat st {};
  if (::fstat(file.fd, &st) != 0 || !S_ISREG(st.st_mode)) return false;
  if (st.st_size == 0) return true;
  void* base =
      ::mmap(nullptr, size_t(st.st_size), PROT_READ, MAP_PRIVATE | MAP_POPULATE, file.fd, 0);
  if (base != MAP_FAILED) {
    mapping_ = base;
    mappedSize_ = size_t(st.st_size);
    bytes_ = std::string_view(static_cast<const char*>(base), mappedSize_);
    return true;
  }
  char buffer[64 * 1024];
  ssize_t n;
  while ((n = ::read(file.fd, buffer, sizeof buffer)) > 0) copy_.append(buffer, size_t(n));
  if (n < 0) {
    copy_.clear();
    return false;
  }
  bytes_ = copy_;
  return true;
}

}  // namespace lorvex::platform
