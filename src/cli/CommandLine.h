// One command's arguments: options with a value ("--work DIR"), flags ("--complete"), one
// positional argument (the first argument that does not start with "--", taken while the
// positional is still empty), and --help. The usage line is made from the same declarations,
// so that an option is added with one line. The handlers run in the order of the arguments
// (the last of a repeated option wins), so a mistake is reported where it stands; --help
// anywhere but as an option's value prints the usage line instead.
#pragma once

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "cli/Commands.h"

namespace lorvex::cli {

// A mistake in a command's arguments.
class UsageError : public std::invalid_argument {
 public:
  using std::invalid_argument::invalid_argument;
};

// How a command words a mistake in its arguments; each command keeps the words it has always
// had.
struct Wording {
  bool usageAfterUnexpected = true;     // "unexpected argument X" is followed by the usage line
  bool missingValueUnexpected = false;  // a last "--opt" without its value is an unexpected
                                        // argument rather than "--opt needs a value"
};

class CommandLine {
 public:
  enum class Need { Optional, Required };
  enum class Outcome { Run, HelpShown };
  using Setter = std::function<void(const std::string& value)>;

  // command: the name after "lorvex"; positionalName: how the usage line shows the positional.
  CommandLine(std::string command, std::string positionalName, std::string* positional,
              Wording wording = {});

  CommandLine& Flag(std::string name, bool* target);
  CommandLine& Flag(std::string name, std::function<void()> set);
  CommandLine& Value(std::string name, std::string valueName, std::string* target,
                     Need need = Need::Optional);
  CommandLine& Value(std::string name, std::string valueName, Setter set,
                     Need need = Need::Optional);
  // A whole number from low to high; "invalid <what> <value>" for anything else.
  CommandLine& Number(std::string name, std::string valueName, int* target, const char* what,
                      long long low, long long high, Need need = Need::Optional);

  // Runs the handlers; throws UsageError (or what a handler throws) for the first mistake.
  // HelpShown when --help printed the usage line on standard output.
  Outcome Parse(const Args& args);
  // The positional is empty or a required option was not given.
  bool MissingRequired() const;
  // "import FILE|URL --work DIR --doc ID [--complete] ...": the declarations in their order.
  std::string Usage() const;
  std::string UsageLine() const { return "usage: lorvex " + Usage(); }

 private:
  struct Option {
    std::string name, valueName;  // no valueName: a flag
    Setter set;
    Need need;
    bool given = false;
  };
  Option* Find(const std::string& name);

  std::string command_, positionalName_;
  std::string* positional_;
  Wording wording_;
  std::vector<Option> options_;
};

// The decimal number in text, from low to high; throws UsageError "invalid <what> <text>".
int ParseNumber(const std::string& text, const char* what, long long low, long long high);

// A "--proxy HOST:PORT" value into host and port; throws UsageError when it is not one.
CommandLine::Setter SetProxy(std::string* host, int* port);

}  // namespace lorvex::cli
