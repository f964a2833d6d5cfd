// A WM_QUIT belongs to the thread's own message loop. A loop inside a long operation that
// takes one from the queue keeps it in a QuitKeeper, stops taking messages, and the keeper
// posts it again (with the same exit code) when it goes out of scope, so that the host's
// loop still sees it and ends.
#pragma once

#include <windows.h>

namespace lorvex::win32 {

class QuitKeeper {
 public:
  QuitKeeper() noexcept = default;
  QuitKeeper(const QuitKeeper&) = delete;
  QuitKeeper& operator=(const QuitKeeper&) = delete;
  ~QuitKeeper() {
    if (seen_) ::PostQuitMessage(code_);
  }

  // True, and kept, when the message is WM_QUIT.
  bool Keep(const MSG& message) noexcept {
    if (message.message != WM_QUIT) return false;
    seen_ = true;
    code_ = int(message.wParam);
    return true;
  }
  bool Seen() const noexcept { return seen_; }

 private:
  bool seen_ = false;
  int code_ = 0;
};

}  // namespace lorvex::win32
