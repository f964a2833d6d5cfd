// The one place where exceptions turn back into results: every export, COM method, window
// procedure and timer callback runs its body through Guarded, so that nothing crosses a
// vtable, a DLL boundary or a dialog procedure as an exception.
//
// What a boundary swallows can still be explained afterwards: each caught exception, and each
// failed HRESULT that the code does not examine on purpose, writes one line to the debugger
// output ("lorvex: <where>: exception: <text>",
// "lorvex: <where>: <expression> failed 0x<hex> (<file>:<line>)"),
// which a debugger or `lorvex-host --trace` shows. Nothing of it reaches the user.
#pragma once

#include <windows.h>

#include <stdexcept>
#include <utility>

namespace lorvex::win32 {

// Called inside a catch handler: traces the exception being handled, by its what() text, or
// "unknown exception" when it is no std::exception.
void TraceCaughtException(const char* where) noexcept;

// Where a checked or traced call is written: its text as the source has it, file and line.
// LORVEX_CALL_SITE fills it in, so that no call name is typed by hand.
struct CallSite {
  const char* expression;
  const char* file;
  int line;
};

// Traces "<expression> failed 0x<hr> (<file>:<line>)" when hr is a failure; returns hr
// unchanged, so that a result that is not examined on purpose can be passed through it.
HRESULT TraceIfFailed(const char* where, const CallSite& call, HRESULT hr) noexcept;

// A failed call that the code checks: where it is written and its result.
class HResultError : public std::runtime_error {
 public:
  HResultError(const CallSite& call, HRESULT result);
  HRESULT Result() const noexcept { return result_; }

 private:
  HRESULT result_;
};

// Throws HResultError("<expression> failed 0x<hr> (<file>:<line>)") when hr is a failure.
inline void CheckHr(HRESULT hr, const CallSite& call) {
  if (FAILED(hr)) throw HResultError(call, hr);
}

template <typename Result, typename Body>
Result Guarded(const char* where, Result onException, Body&& body) noexcept {
  try {
    return std::forward<Body>(body)();
  } catch (...) {
    TraceCaughtException(where);
    return onException;
  }
}

template <typename Body>
void Guarded(const char* where, Body&& body) noexcept {
  try {
    std::forward<Body>(body)();
  } catch (...) {
    TraceCaughtException(where);
  }
}

}  // namespace lorvex::win32

// The expression is named as written (stringised here, before any macro in it expands).
#define LORVEX_CALL_SITE(expression) (::lorvex::win32::CallSite{#expression, __FILE__, __LINE__})
// Evaluates expression (an HRESULT) once and throws HResultError naming it when it fails.
#define LORVEX_CHECK_HR(expression) \
  ::lorvex::win32::CheckHr((expression), ::lorvex::win32::CallSite{#expression, __FILE__, __LINE__})
// Evaluates expression (an HRESULT) once, traces it when it fails and gives its result.
#define LORVEX_TRACE_IF_FAILED(where, expression) \
  ::lorvex::win32::TraceIfFailed(                 \
      (where), ::lorvex::win32::CallSite{#expression, __FILE__, __LINE__}, (expression))
