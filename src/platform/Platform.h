// The thin seam between the portable core and the operating system.
//
// Paths are Windows path texts throughout the core ("\" and "/" both separate folders, a
// drive is "C:"). The POSIX side turns "\" into "/" where it touches the file system, so the
// core builds the same path texts on both builds. Nothing here throws.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

namespace lorvex::platform {

// POSIX paths reach the core as paths of drive Z:, as Wine shows the Linux root: CorePath
// turns "/home/u/p.htm" into "Z:\home\u\p.htm", so the rules that look for a drive hold for
// them, and NativePath turns "Z:\..." or "Z:/..." back into "/...". Any other drive letter
// maps below /dev/null, where nothing can exist. On Windows both leave the path as it is.
std::string CorePath(std::string_view nativePath);
// The path as the local file system wants it ("\" becomes "/" on POSIX).
std::string NativePath(std::string_view path);

bool FileExists(std::string_view path);
bool DirectoryExists(std::string_view path);
// Creates one folder level; false when it could not (a missing parent included).
bool CreateDirectoryLevel(std::string_view path);
// Copies a file, replacing the target.
bool CopyFileReplacing(std::string_view from, std::string_view to);
// Moves a file into place, replacing the target.
bool MoveFileReplacing(std::string_view from, std::string_view to);
bool DeleteFileAt(std::string_view path);
// Removes a folder that is empty; false when it is not, or could not be removed.
bool RemoveEmptyDirectory(std::string_view path);
// Removes path and everything below it. A link (a symbolic link, a junction) is removed as a
// link and never followed, wherever it is, the path itself included. False when something
// is left.
bool RemoveTree(std::string_view path);
// True when path is a link (a symbolic link, a junction) rather than what it points at.
bool IsLink(std::string_view path);
// The long form of a local path; the path unchanged when there is nothing to convert.
std::string GetLongPath(std::string_view path);

// This process's number, as the system shows it.
unsigned long ProcessId() noexcept;

// Tells the memory manager that a freshly reserved, still untouched buffer of this size will
// be filled whole, so it may back it with large pages (fewer page faults). Only a hint.
void HintLargeBuffer(void* data, size_t size) noexcept;

struct FileCloser {
  void operator()(std::FILE* f) const noexcept { std::fclose(f); }
};
using UniqueFile = std::unique_ptr<std::FILE, FileCloser>;

// A file this process holds while the object lives: no other holder, in another process or in
// this one, can take it meanwhile (POSIX: an flock'ed descriptor; Windows: a handle opened
// without sharing). The platform lets go when the process ends, however it ends. The file
// stays when the object goes.
class LockedFile {
 public:
  LockedFile() noexcept = default;
  // Makes path, which must not exist, holding content; empty when it cannot be made.
  static LockedFile Create(std::string_view path, std::string_view content) noexcept;
  // Takes an existing file (not a link) and reads up to maxContent of its first bytes into
  // content; empty when another holder has it or it cannot be opened.
  static LockedFile Take(std::string_view path, std::string& content, size_t maxContent) noexcept;
  LockedFile(LockedFile&& other) noexcept : handle_(other.handle_) { other.handle_ = kNone; }
  LockedFile& operator=(LockedFile&& other) noexcept {
    if (this != &other) {
      Release();
      handle_ = std::exchange(other.handle_, kNone);
    }
    return *this;
  }
  ~LockedFile() { Release(); }
  explicit operator bool() const noexcept { return handle_ != kNone; }
  void Release() noexcept;

 private:
  static constexpr intptr_t kNone = -1;  // no descriptor; INVALID_HANDLE_VALUE on Windows
  explicit LockedFile(intptr_t handle) noexcept : handle_(handle) {}
  intptr_t handle_ = kNone;
};

// Opens a file in binary mode ("rb", "wb", "ab", ...); empty on failure.
UniqueFile OpenFile(std::string_view path, const char* mode);

}  // namespace lorvex::platform
