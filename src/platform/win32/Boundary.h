// The one place where exceptions turn back into results: every export, COM method, window
// procedure and timer callback runs its body through Guarded, so that nothing crosses a
// vtable, a DLL boundary or a dialog procedure as an exception.
//
// What a boundary swallows can still be explained afterwards: each caught exception, and each
// failed HRESULT that the code does not examine on purpose, writes one line to the debugger
// output ("lorvex: <where>: exception: <text>", "lorvex: <where>: <call> failed 0x<hex>"),
// which a debugger or `lorvex-host --trace` shows. Nothing of it reaches the user.
#pragma once

#include <windows.h>

#include <stdexcept>
#include <utility>

namespace lorvex::win32 {

// Called inside a catch handler: traces the exception being handled, by its what() text, or
// "unknown exception" when it is no std::exception.
void TraceCaughtException(const char* where) noexcept;
// Traces "<call> failed 0x<hr>" when hr is a failure; returns hr unchanged, so that a result
// that is not examined on purpose can be passed through it.
HRESULT TraceIfFailed(const char* where, const char* call, HRESULT hr) noexcept;

// A failed call that the code checks: its name and result.
class HResultError : public std::runtime_error {
 public:
  HResultError(const char* call, HRESULT result);
  HRESULT Result() const noexcept { return result_; }

 private:
  HRESULT result_;
};

// Throws HResultError("<call> failed 0x<hr>") when hr is a failure.
inline void CheckHr(HRESULT hr, const char* call) {
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
