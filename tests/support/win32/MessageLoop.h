// The Windows tests' bounded message loop. Messages are taken by the library's own pump, the
// one its dialogs use, so that a dialog's keys work in a test as they do in the product; a
// WM_QUIT stays in the queue.
#pragma once

#include <windows.h>

#include <functional>

#include "dialogs/MessagePump.h"

namespace lorvex::test {

// Processes messages until done() or ms have passed; done()'s last answer.
inline bool PumpUntil(const std::function<bool()>& done, DWORD ms) {
  const DWORD start = ::GetTickCount();
  while (!done()) {
    if (::GetTickCount() - start >= ms) return done();
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    ProcessPendingMessages();
  }
  return true;
}

// Processes messages for ms milliseconds.
inline void PumpFor(DWORD ms) {
  PumpUntil([] { return false; }, ms);
}

}  // namespace lorvex::test
