#include "platform/win32/Boundary.h"

#include <cstdio>
#include <exception>
#include <string>
#include <string_view>

namespace lorvex::win32 {

namespace {

// "0x" and eight upper-case hex digits.
std::string HexResult(HRESULT hr) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(hr));
  return text;
}

// "<expression> failed 0x<hr> (<file>:<line>)", the file without its folders.
std::string FailureText(const CallSite& call, HRESULT hr) {
  std::string_view file = call.file ? call.file : "";
  if (size_t slash = file.find_last_of("/\\"); slash != std::string_view::npos)
    file.remove_prefix(slash + 1);
  std::string text = call.expression ? call.expression : "";
  text += " failed " + HexResult(hr) + " (";
  text += file;
  text += ':' + std::to_string(call.line) + ')';
  return text;
}

// One line "lorvex: <where>: <first><second>"; allocation failures lose the line only.
void WriteLine(const char* where, const char* first, const char* second) noexcept {
  try {
    std::string line = "lorvex: ";
    line += where ? where : "";
    line += ": ";
    line += first ? first : "";
    line += second ? second : "";
    line += '\n';
    ::OutputDebugStringA(line.c_str());
  } catch (...) {
  }
}

}  // namespace

void TraceCaughtException(const char* where) noexcept {
  try {
    throw;
  } catch (const std::exception& e) {
    WriteLine(where, "exception: ", e.what());
  } catch (...) {
    WriteLine(where, "exception: unknown exception", nullptr);
  }
}

HRESULT TraceIfFailed(const char* where, const CallSite& call, HRESULT hr) noexcept {
  if (FAILED(hr)) {
    try {
      WriteLine(where, FailureText(call, hr).c_str(), nullptr);
    } catch (...) {
    }
  }
  return hr;
}

HResultError::HResultError(const CallSite& call, HRESULT result)
    : std::runtime_error(FailureText(call, result)), result_(result) {}

}  // namespace lorvex::win32
