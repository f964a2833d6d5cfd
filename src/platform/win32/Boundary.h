// The one place where exceptions turn back into results: every export, COM method, window
// procedure and timer callback runs its body through Guarded, so that nothing crosses a
// vtable, a DLL boundary or a dialog procedure as an exception.
#pragma once

#include <utility>

namespace lorvex::win32 {

template <typename Result, typename Body>
Result Guarded(Result onException, Body&& body) noexcept {
  try {
    return std::forward<Body>(body)();
  } catch (...) {
    return onException;
  }
}

template <typename Body>
void Guarded(Body&& body) noexcept {
  try {
    std::forward<Body>(body)();
  } catch (...) {
  }
}

}  // namespace lorvex::win32
