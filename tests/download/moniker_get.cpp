// moniker-get URL FILE TIMEOUT_MS: one download through TIEDownload into FILE, with TimeOut
// set to TIMEOUT_MS, for tests that drive the downloader from outside. Prints one line,
//   wait=Ended result=0x00000000 status=200 completes=1
// (how the wait ended, the last OnComplete's result, the HTTP status, how many OnComplete
// calls there were) and exits 0 for a download that succeeded, 1 for one that failed, 2 when
// the wait had to give up, 3 for bad arguments.
#include <objbase.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "download/IEDownload.h"

namespace {

// The wait's own bound, beyond TimeOut: a download that neither ends nor times out is a fault.
constexpr DWORD kWaitLimitMs = 30000;

const char* WaitText(lorvex::WaitOutcome outcome) {
  switch (outcome) {
    case lorvex::WaitOutcome::Ended:
      return "Ended";
    case lorvex::WaitOutcome::TimedOut:
      return "TimedOut";
    case lorvex::WaitOutcome::Stopped:
      return "Stopped";
  }
  return "?";
}

int Run(const char* url, const char* file, int timeoutMs) {
  HRESULT last = E_UNEXPECTED;
  DWORD status = 0;
  int completes = 0;
  lorvex::WaitOutcome outcome;
  {
    lorvex::TIEDownload download;
    download.TimeOut = timeoutMs;
    download.OnComplete = [&](lorvex::TBSCB& sender, IStream*, HRESULT result) {
      last = result;
      status = sender.ResponseCode();
      ++completes;
    };
    outcome = download.DownloadToFileAndWait(url, file, lorvex::WaitLimits{kWaitLimitMs, {}});
  }
  std::printf("wait=%s result=0x%08lx status=%lu completes=%d\n", WaitText(outcome),
              static_cast<unsigned long>(last), static_cast<unsigned long>(status), completes);
  std::fflush(stdout);
  if (outcome != lorvex::WaitOutcome::Ended) return 2;
  return SUCCEEDED(last) ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: moniker-get URL FILE TIMEOUT_MS\n");
    return 3;
  }
  ::CoInitialize(nullptr);
  int status = 3;
  try {
    status = Run(argv[1], argv[2], std::atoi(argv[3]));
  } catch (const std::exception& e) {
    std::fprintf(stderr, "moniker-get: %s\n", e.what());
  }
  ::CoUninitialize();
  return status;
}
