// The thin seam between the portable core and the operating system.
//
// Paths are Windows path texts throughout the core ("\" and "/" both separate folders, a
// drive is "C:"). The POSIX side turns "\" into "/" where it touches the file system, so the
// core builds the same path texts on both builds. Nothing here throws.
#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

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
// The long form of a local path; the path unchanged when there is nothing to convert.
std::string GetLongPath(std::string_view path);

// Tells the memory manager that a freshly reserved, still untouched buffer of this size will
// be filled whole, so it may back it with large pages (fewer page faults). Only a hint.
void HintLargeBuffer(void* data, size_t size) noexcept;

struct FileCloser {
  void operator()(std::FILE* f) const noexcept { std::fclose(f); }
};
using UniqueFile = std::unique_ptr<std::FILE, FileCloser>;

// Opens a file in binary mode ("rb", "wb", "ab", ...); empty on failure.
UniqueFile OpenFile(std::string_view path, const char* mode);

}  // namespace lorvex::platform
