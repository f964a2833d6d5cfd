#include "platform/win32/Boundary.h"

#include <cstdio>
#include <exception>
#include <string>

namespace lorvex::win32 {

namespace {

// "0x" and eight upper-case hex digits.
std::string HexResult(HRESULT hr) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(hr));
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

HRESULT TraceIfFailed(const char* where, const char* call, HRESULT hr) noexcept {
  if (FAILED(hr)) {
    try {
      WriteLine(where, call, (" failed " + HexResult(hr)).c_str());
    } catch (...) {
    }
  }
  return hr;
}

HResultError::HResultError(const char* call, HRESULT result)
    : std::runtime_error(std::string(call) + " failed " + HexResult(result)), result_(result) {}

}  // namespace lorvex::win32
