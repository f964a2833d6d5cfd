#include <cstdio>
#include <exception>
#include <string>

#include "cli/Commands.h"

namespace {

struct Command {
  const char* name;
  int (*run)(const lorvex::cli::Args&);
  const char* usage;
};

constexpr Command kCommands[] = {
    {"text", lorvex::cli::TextCommand, "text FILE [--show-links] [--keep-title]"},
    {"refs", lorvex::cli::RefsCommand, "refs FILE --base URL [--all]"},
    {"rewrite", lorvex::cli::RewriteCommand, "rewrite FILE --local-folder DIR --page-url URL"},
    {"mht", lorvex::cli::MhtCommand, "mht ARCHIVE --work DIR --doc ID"},
    {"import", lorvex::cli::ImportCommand,
     "import FILE|URL --work DIR --doc ID [--complete] [--proxy HOST:PORT] [--read-timeout MS]"},
    {"get", lorvex::cli::GetCommand,
     "get URL [--out FILE] [--proxy HOST:PORT] [--read-timeout MS] [--no-redirects] "
     "[--no-cookies]"},
};

int Usage() {
  std::fputs("usage:\n", stderr);
  for (const Command& command : kCommands) std::fprintf(stderr, "  lorvex %s\n", command.usage);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage();
  std::string name = argv[1];
  lorvex::cli::Args args(argv + 2, argv + argc);
  for (const Command& command : kCommands) {
    if (name != command.name) continue;
    try {
      return command.run(args);
    } catch (const std::exception& e) {
      std::fprintf(stderr, "lorvex %s: %s\n", command.name, e.what());
      return 1;
    }
  }
  return Usage();
}
