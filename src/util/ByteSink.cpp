#include "util/ByteSink.h"

#include "util/FileOperation.h"

namespace lorvex {

void FileSink::Write(const char* data, std::size_t size) {
  if (std::fwrite(data, 1, size, file_) != size) throw FileError("cannot write " + what_);
}

void FileSink::Flush() {
  if (std::fflush(file_) != 0) throw FileError("cannot write " + what_);
}

}  // namespace lorvex
