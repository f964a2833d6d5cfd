// lorvex mht: the web archive import as the "Import MHT,EML Files" extension runs it, without
// the packing step. The page and parts folder are written into the work folder; messages
// for the user go to standard error.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>

#include "cli/Commands.h"
#include "import/ArchiveImport.h"

namespace lorvex::cli {

namespace {
constexpr const char* kUsage = "usage: lorvex mht ARCHIVE --work DIR --doc ID";

// The document name is the decimal text of a signed 32-bit number, as the host's is.
std::string DocumentName(const std::string& text) {
  char* end = nullptr;
  errno = 0;
  long long value = std::strtoll(text.c_str(), &end, 10);
  if (text.empty() || *end || errno == ERANGE || value < INT32_MIN || value > INT32_MAX)
    throw std::invalid_argument("--doc wants a 32-bit integer");
  return std::to_string(value);
}
}  // namespace

int MhtCommand(const Args& args) {
  std::string archive, work, doc;
  bool haveWork = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if ((arg == "--work" || arg == "--doc") && i + 1 < args.size()) {
      (arg == "--work" ? work : doc) = args[++i];
      if (arg == "--work") haveWork = true;
    } else if (archive.empty() && arg.rfind("--", 0) != 0) {
      archive = arg;
    } else {
      throw std::invalid_argument(std::string("unexpected argument ") + arg + "\n" + kUsage);
    }
  }
  if (archive.empty() || !haveWork || doc.empty()) throw std::invalid_argument(kUsage);

  TMhtHost host;  // no host: messages use their built-in texts, no message loop to turn
  std::string name = DocumentName(doc);
  std::vector<std::string> messages;
  auto print = [&] {
    for (const std::string& message : messages) std::fprintf(stderr, "%s\n", message.c_str());
  };
  try {
    ImportMhtFile(archive, work, name, host, nullptr, messages);
  } catch (...) {
    print();
    throw;
  }
  print();
  return 0;
}

}  // namespace lorvex::cli
