#include "dialogs/ResourceFetch.h"

#include "dialogs/DownloadFlags.h"
#include "http/HttpFetch.h"
#include "platform/Platform.h"
#include "platform/win32/Boundary.h"

namespace lorvex {

namespace {

// The moniker's own outcome: its binding stopped within the wait and reported success.
bool MonikerSucceeded(WaitOutcome outcome, const TIEDownload& downloader) {
  return outcome == WaitOutcome::Ended && downloader.Tag == 0;
}

}  // namespace

WaitLimits FetchWaitLimits() {
  // No time limit of the wait itself (INFINITE, some 49 days): the downloader's inactivity
  // time-out bounds a stalled binding when it is set.
  return WaitLimits{INFINITE, [] { return DownloadFlags().StopAll; }};
}

bool FetchToFile(const std::string& Url, const std::string& FileName, TIEDownload& Downloader,
                 THttpClient& Http) {
  bool fetched = false;
  try {
    WaitOutcome outcome = Downloader.DownloadToFileAndWait(Url, FileName, FetchWaitLimits());
    // After Stop the import ends at its next check: nothing more is requested.
    fetched = MonikerSucceeded(outcome, Downloader) ||
              (!DownloadFlags().StopAll && HttpGetToFile(Url, FileName, Http));
  } catch (...) {
    win32::TraceCaughtException("FetchToFile");
    fetched = false;
  }
  // The moniker writes into the target as data arrives; what it left of a failed download
  // must not be taken for the resource.
  if (!fetched) platform::DeleteFileAt(FileName);
  return fetched;
}

std::optional<std::string> FetchText(const std::string& Url, TIEDownload& Downloader,
                                     THttpClient& Http) {
  std::string text;
  WaitOutcome outcome = Downloader.DownloadToMemoryAndWait(Url, true, text, FetchWaitLimits());
  if (MonikerSucceeded(outcome, Downloader)) return text;
  return HttpTryGetText(Url, Http);
}

}  // namespace lorvex
