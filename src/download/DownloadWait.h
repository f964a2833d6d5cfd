// The waiting routines of the downloader: a download followed by a wait that processes the
// thread's window messages, bounded in time, until the download's binding has stopped.
#pragma once

#include <windows.h>

#include <functional>

namespace lorvex {

// How long a waiting routine waits, and what else ends its wait.
struct WaitLimits {
  DWORD TimeoutMs = 60000;
  // Asked between message batches; true stops the wait (the download is then aborted).
  std::function<bool()> Stop;
};

enum class WaitOutcome {
  Ended,     // the binding has stopped; its last OnComplete has run
  TimedOut,  // the time ran out; the download was aborted
  Stopped,   // Cancel, WaitLimits::Stop or WM_QUIT; the download was aborted
};

}  // namespace lorvex
