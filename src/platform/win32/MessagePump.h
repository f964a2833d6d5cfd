// The one loop that takes the thread's waiting window messages from inside a long operation
// (the page import between its steps, the dialogs, the archive import, the downloader's
// waits). Its callers differ only in what PumpSettings holds.
//
// A WM_QUIT belongs to the thread's own loop: the pump hands it to the caller's QuitKeeper
// and stops, so that the keeper posts it again once the caller is done.
#pragma once

#include <windows.h>

#include <functional>

#include "platform/win32/QuitMessage.h"

namespace lorvex::win32 {

struct PumpSettings {
  // PeekMessageW/DispatchMessageW (the dialogs' windows are Unicode windows); the ANSI calls
  // otherwise.
  bool Wide = false;
  // Most messages taken in one call, so that a window that keeps posting to itself cannot
  // hold the caller; 0 takes them until the queue is empty.
  int MaxMessages = 0;
  // How long to wait for input to arrive before taking messages, in ms; 0 does not wait.
  DWORD WaitMs = 0;
  // Offered each message before it is translated and dispatched; true when it was handled
  // (a dialog's keys) and must not be dispatched.
  std::function<bool(const MSG&)> Handle = {};
};

// Takes the messages waiting in the thread's queue and dispatches them, until the queue is
// empty, MaxMessages have been taken or a WM_QUIT (kept in quit) ends the call.
void PumpMessages(QuitKeeper& quit, const PumpSettings& settings);

}  // namespace lorvex::win32
