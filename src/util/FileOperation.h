// Whole files as bytes and as 8-bit text lines.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

#include "util/Strings.h"

namespace lorvex {

// A file that could not be read or written; the message names the file.
class FileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The file's bytes; throws FileError when it cannot be read.
std::string ReadFileBytes(std::string_view path);
// Writes the bytes, replacing the file; throws FileError when it cannot be written.
void WriteFileBytes(std::string_view path, std::string_view bytes);

// The file read as lines and joined again with CR LF after every line.
std::string LoadTextFile(std::string_view path);
StringList LoadLines(std::string_view path);
// Writes every line followed by CR LF.
void SaveLines(std::string_view path, const StringList& lines);

}  // namespace lorvex
