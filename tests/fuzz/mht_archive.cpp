// The archive reader and part writer on any bytes: the input is the archive file, the parts go
// into a work folder two levels below this process's own temporary folder. After each run
// nothing may exist in that temporary folder but the archive, the work folder, the page file
// and the parts folder with plain files in it; then the work folder is emptied again.
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "FuzzCheck.h"
#include "import/ArchiveImport.h"
#include "util/FileOperation.h"

using namespace lorvex;
namespace fs = std::filesystem;

namespace {

constexpr const char* kDocument = "7";

struct Folders {
  fs::path root, inner, work, archive;
};

const Folders& TheFolders() {
  static const Folders folders = [] {
    Folders f;
    f.root = fs::temp_directory_path() / ("lorvex-fuzz-" + std::to_string(getpid()));
    f.inner = f.root / "outer" / "inner";
    f.work = f.inner / "work";
    f.archive = f.inner / "in.mht";
    fs::create_directories(f.work);
    std::atexit([] { fs::remove_all(TheFolders().root); });
    return f;
  }();
  return folders;
}

bool Expected(const fs::path& path, const Folders& f) {
  const fs::path parent = path.parent_path();
  if (path == f.root / "outer" || path == f.inner || path == f.work) return fs::is_directory(path);
  if (path == f.archive || path == f.work / (std::string(kDocument) + ".htm"))
    return fs::is_regular_file(path);
  if (path == f.work / (std::string(kDocument) + ".files")) return fs::is_directory(path);
  return parent == f.work / (std::string(kDocument) + ".files") && fs::is_regular_file(path);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const Folders& f = TheFolders();
  WriteFileBytes(f.archive.string(), fuzz::AsText(data, size));
  std::vector<std::string> messages;
  try {
    ParseMhtDocument(f.archive.string(), f.work.string(), kDocument, messages, TMhtHost{});
  } catch (const MhtError&) {
    // The archive ended where a line was due: a defined failure.
  }
  for (const fs::directory_entry& entry : fs::recursive_directory_iterator(f.root)) {
    if (Expected(entry.path(), f)) continue;
    fuzz::Print("written outside the page and parts folder", entry.path().string());
    __builtin_trap();
  }
  for (const fs::directory_entry& entry : fs::directory_iterator(f.work))
    fs::remove_all(entry.path());
  return 0;
}
