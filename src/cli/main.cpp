#include <cstdio>
#include <exception>
#include <string>

#include "cli/Commands.h"
#include "lorvex_version.h"

namespace {

struct Command {
  const char* name;
  int (*run)(const lorvex::cli::Args&);
  std::string (*usage)();
};

constexpr Command kCommands[] = {
    {"text", lorvex::cli::TextCommand, lorvex::cli::TextUsage},
    {"refs", lorvex::cli::RefsCommand, lorvex::cli::RefsUsage},
    {"rewrite", lorvex::cli::RewriteCommand, lorvex::cli::RewriteUsage},
    {"mht", lorvex::cli::MhtCommand, lorvex::cli::MhtUsage},
    {"import", lorvex::cli::ImportCommand, lorvex::cli::ImportUsage},
    {"get", lorvex::cli::GetCommand, lorvex::cli::GetUsage},
};

constexpr int kExitUsage = 2;

// Every command's usage line: on standard output when asked for, on standard error after a
// mistake.
void PrintUsage(std::FILE* out) {
  std::fputs("usage:\n", out);
  for (const Command& command : kCommands)
    std::fprintf(out, "  lorvex %s\n", command.usage().c_str());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    PrintUsage(stderr);
    return kExitUsage;
  }
  std::string name = argv[1];
  if (name == "--help") {
    PrintUsage(stdout);
    return 0;
  }
  if (name == "--version") {
    std::printf("lorvex %s\n", LORVEX_VERSION);
    return 0;
  }
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
  PrintUsage(stderr);
  return kExitUsage;
}
