#include "cli/CommandLine.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <utility>

namespace lorvex::cli {

namespace {

bool IsOptionLike(const std::string& arg) { return arg.rfind("--", 0) == 0; }

}  // namespace

CommandLine::CommandLine(std::string command, std::string positionalName, std::string* positional,
                         Wording wording)
    : command_(std::move(command)),
      positionalName_(std::move(positionalName)),
      positional_(positional),
      wording_(wording) {}

CommandLine& CommandLine::Flag(std::string name, bool* target) {
  return Flag(std::move(name), [target] { *target = true; });
}

CommandLine& CommandLine::Flag(std::string name, std::function<void()> set) {
  options_.push_back(
      Option{std::move(name), "", [set](const std::string&) { set(); }, Need::Optional});
  return *this;
}

CommandLine& CommandLine::Value(std::string name, std::string valueName, std::string* target,
                                Need need) {
  return Value(
      std::move(name), std::move(valueName),
      [target](const std::string& value) { *target = value; }, need);
}

CommandLine& CommandLine::Value(std::string name, std::string valueName, Setter set, Need need) {
  options_.push_back(Option{std::move(name), std::move(valueName), std::move(set), need});
  return *this;
}

CommandLine& CommandLine::Number(std::string name, std::string valueName, int* target,
                                 const char* what, long long low, long long high, Need need) {
  return Value(
      std::move(name), std::move(valueName),
      [=](const std::string& value) { *target = ParseNumber(value, what, low, high); }, need);
}

CommandLine::Option* CommandLine::Find(const std::string& name) {
  for (Option& option : options_)
    if (option.name == name) return &option;
  return nullptr;
}

CommandLine::Outcome CommandLine::Parse(const Args& args) {
  // First the arguments are sorted into steps, so that --help wins wherever it stands; then
  // the steps run in order. A step without an option is a mistake to report.
  struct Step {
    Option* option;
    std::string text;  // the option's value, or the mistake
  };
  std::vector<Step> steps;
  bool help = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    Option* option = Find(arg);
    if (arg == "--help") {
      help = true;
    } else if (option && option->valueName.empty()) {
      steps.push_back({option, ""});
    } else if (option && i + 1 < args.size()) {
      steps.push_back({option, args[++i]});
    } else if (option && !wording_.missingValueUnexpected) {
      steps.push_back({nullptr, arg + " needs a value"});
    } else if (!option && positional_->empty() && !IsOptionLike(arg)) {
      *positional_ = arg;
    } else {
      steps.push_back({nullptr, "unexpected argument " + arg +
                                    (wording_.usageAfterUnexpected ? "\n" + UsageLine() : "")});
    }
  }
  if (help) {
    std::printf("%s\n", UsageLine().c_str());
    return Outcome::HelpShown;
  }
  for (const Step& step : steps) {
    if (!step.option) throw UsageError(step.text);
    step.option->set(step.text);
    step.option->given = true;
  }
  return Outcome::Run;
}

bool CommandLine::MissingRequired() const {
  if (positional_->empty()) return true;
  for (const Option& option : options_)
    if (option.need == Need::Required && !option.given) return true;
  return false;
}

std::string CommandLine::Usage() const {
  std::string usage = command_ + " " + positionalName_;
  for (const Option& option : options_) {
    std::string text = option.name;
    if (!option.valueName.empty()) text += " " + option.valueName;
    usage += option.need == Need::Required ? " " + text : " [" + text + "]";
  }
  return usage;
}

int ParseNumber(const std::string& text, const char* what, long long low, long long high) {
  char* end = nullptr;
  errno = 0;
  long long value = std::strtoll(text.c_str(), &end, 10);
  if (text.empty() || *end || errno == ERANGE || value < low || value > high)
    throw UsageError(std::string("invalid ") + what + " " + text);
  return int(value);
}

CommandLine::Setter SetProxy(std::string* host, int* port) {
  constexpr int kMaxPort = 65535;
  return [=](const std::string& proxy) {
    size_t colon = proxy.rfind(':');
    if (colon == std::string::npos || colon == 0) throw UsageError("--proxy wants HOST:PORT");
    *host = proxy.substr(0, colon);
    *port = ParseNumber(proxy.substr(colon + 1), "proxy port", 1, kMaxPort);
  };
}

}  // namespace lorvex::cli
