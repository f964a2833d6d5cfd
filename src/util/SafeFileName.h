// Whether a name taken from a document (an archive part, a page's reference) may be written
// as a plain file inside a folder of the import's own.
#pragma once

#include <cstddef>
#include <string_view>

namespace lorvex {

// The longest file name written.
constexpr size_t kMaxFileName = 255;
// A file's full path must fit the system's path limit (260 with its terminating zero).
constexpr size_t kMaxFilePath = 259;

// True when name can be written as a plain file inside a folder on every system the imports
// run on: no path delimiter, drive colon or character that Windows forbids, not "." or "..",
// no trailing dot or space (which Windows would drop), not a device name (CON, NUL, COM1, ...
// with any extension) and not longer than kMaxFileName.
bool IsSafeFileName(std::string_view name);

// IsSafeFileName, and the folder (ending in its delimiter) followed by name fits kMaxFilePath.
bool IsSafeFileIn(std::string_view folder, std::string_view name);

}  // namespace lorvex
