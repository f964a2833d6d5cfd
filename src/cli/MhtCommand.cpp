// lorvex mht: the web archive import as the "Import MHT,EML Files" extension runs it, without
// the packing step. The page and parts folder are written into the work folder; messages
// for the user go to standard error.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>

#include "cli/CommandLine.h"
#include "cli/Commands.h"
#include "import/ArchiveImport.h"

namespace lorvex::cli {

namespace {
struct MhtArgs {
  std::string archive, work, doc;
};

CommandLine MhtLine(MhtArgs& parsed) {
  CommandLine line("mht", "ARCHIVE", &parsed.archive, {.missingValueUnexpected = true});
  line.Value("--work", "DIR", &parsed.work, CommandLine::Need::Required)
      .Value("--doc", "ID", &parsed.doc, CommandLine::Need::Required);
  return line;
}

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

std::string MhtUsage() {
  MhtArgs unused;
  return MhtLine(unused).Usage();
}

int MhtCommand(const Args& args) {
  MhtArgs parsed;
  CommandLine line = MhtLine(parsed);
  if (line.Parse(args) == CommandLine::Outcome::HelpShown) return 0;
  // An empty document number counts as none.
  if (line.MissingRequired() || parsed.doc.empty()) throw UsageError(line.UsageLine());

  TMhtHost host;  // no host: messages use their built-in texts, no message loop to turn
  std::string name = DocumentName(parsed.doc);
  std::vector<std::string> messages;
  auto print = [&] {
    for (const std::string& message : messages) std::fprintf(stderr, "%s\n", message.c_str());
  };
  try {
    ImportMhtFile(parsed.archive, parsed.work, name, host, nullptr, messages);
  } catch (...) {
    print();
    throw;
  }
  print();
  return 0;
}

}  // namespace lorvex::cli
