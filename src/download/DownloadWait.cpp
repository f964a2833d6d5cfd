#include "download/DownloadWait.h"

#include <vector>

#include "download/IEDownload.h"
#include "platform/win32/MessagePump.h"

namespace lorvex {

namespace {

// Waiting routines: how long one wait for messages lasts, and how long a download that was
// aborted gets to report its end.
constexpr DWORD kPumpSliceMs = 20;
constexpr ULONGLONG kAbortGraceMs = 5000;

}  // namespace

WaitOutcome TIEDownload::DownloadToFileAndWait(const std::string& URL, const std::string& FileName,
                                               const WaitLimits& limits) {
  TBSCB::Hold download = Start(URL, FileName);
  return Wait([&] { return download->Stopped(); }, [&] { download->AbortBinding(); }, limits);
}

WaitOutcome TIEDownload::DownloadToMemoryAndWait(const std::string& URL, bool AsText,
                                                 std::string& Text, const WaitLimits& limits) {
  TBSCB::Hold download = Start(URL, std::string());
  WaitOutcome outcome =
      Wait([&] { return download->Stopped(); }, [&] { download->AbortBinding(); }, limits);
  Text = MemoryText(*download, AsText);
  return outcome;
}

WaitOutcome TIEDownload::WaitForAll(const WaitLimits& limits) {
  return Wait([this] { return downloadList_.empty(); },
              [this] {
                std::vector<TBSCB::Hold> running = downloadList_;  // aborting edits the list
                for (TBSCB::Hold& download : running) download->AbortBinding();
              },
              limits);
}

WaitOutcome TIEDownload::Wait(const std::function<bool()>& ended,
                              const std::function<void()>& abort, const WaitLimits& limits) {
  const ULONGLONG start = ::GetTickCount64();
  WaitOutcome outcome = WaitOutcome::Ended;
  bool aborted = false;
  // A WM_QUIT is left for the thread's own loop, which is told again once the wait is over.
  win32::QuitKeeper quit;
  ULONGLONG graceEnd = 0;
  while (!ended()) {
    const ULONGLONG now = ::GetTickCount64();
    if (!aborted) {
      bool stop = quit.Seen() || cancelled_ || (limits.Stop && limits.Stop());
      if (stop || now - start >= limits.TimeoutMs) {
        outcome = stop ? WaitOutcome::Stopped : WaitOutcome::TimedOut;
        aborted = true;
        graceEnd = now + kAbortGraceMs;
        abort();
        continue;
      }
    } else if (now >= graceEnd) {
      break;
    }
    win32::PumpMessages(quit, {.WaitMs = kPumpSliceMs});
  }
  return outcome;
}

}  // namespace lorvex
