// Processing of the thread's pending window messages from inside a long operation (the page
// import between its steps, the progress dialog's HTTP client while it waits, the error
// dialog's retry after each success).
#pragma once

#include <windows.h>

namespace lorvex {

// Most messages handled by one call, so that a window that keeps posting to itself cannot
// hold the caller.
constexpr int kMaxPendingMessages = 10000;

// Dispatches the messages waiting in the thread's queue and returns. A WM_QUIT met on the
// way is posted again for the thread's own loop, and ends this call. Alt+letter pressed
// while one of the dialogs (or one of its controls) has the focus clicks the dialog's
// button with that accelerator.
void ProcessPendingMessages();

// The dialogs' own key handling for one message taken from the queue; true when it was
// used and must not be dispatched.
bool HandleDialogKey(const MSG& message);

}  // namespace lorvex
