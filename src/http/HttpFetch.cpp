#include "http/HttpFetch.h"

#include <cstdio>

#include "platform/Platform.h"
#include "util/ByteSink.h"
#include "util/FileOperation.h"

namespace lorvex {

std::string PartialFileName(const std::string& FileName) { return FileName + ".part"; }

void HttpDownloadToFile(const std::string& Url, const std::string& FileName, THttpClient& Http) {
  std::string partial = PartialFileName(FileName);
  platform::UniqueFile file = platform::OpenFile(partial, "wb");
  if (!file) throw FileError("cannot create " + partial);
  // Closes and removes the partial file unless it was moved into place (an open file cannot
  // be deleted on Windows, so the close comes first).
  struct Cleanup {
    platform::UniqueFile& file;
    const std::string& name;
    bool armed = true;
    ~Cleanup() {
      if (!armed) return;
      file.reset();
      platform::DeleteFileAt(name);
    }
  } cleanup{file, partial};
  FileSink sink(file.get(), partial);
  Http.Get(Url, sink);
  std::FILE* raw = file.release();
  if (std::fclose(raw) != 0) throw FileError("cannot write " + partial);
  if (!platform::MoveFileReplacing(partial, FileName))
    throw FileError("cannot replace " + FileName);
  cleanup.armed = false;
}

bool HttpGetToFile(const std::string& Url, const std::string& FileName, THttpClient& Http) {
  try {
    HttpDownloadToFile(Url, FileName, Http);
    return true;
  } catch (...) {
    return false;
  }
}

std::string HttpGetText(const std::string& Url, THttpClient& Http) {
  return HttpTryGetText(Url, Http).value_or(std::string());
}

std::optional<std::string> HttpTryGetText(const std::string& Url, THttpClient& Http) {
  try {
    return Http.Get(Url);
  } catch (...) {
    return std::nullopt;
  }
}

}  // namespace lorvex
