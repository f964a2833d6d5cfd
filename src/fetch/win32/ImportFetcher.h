// The page import's transfers on Windows: each resource is asked of the URL moniker first and,
// when the moniker fails, of HTTP. Several transfers may run at once: the moniker bindings run
// asynchronously on the calling thread (their notifications arrive while WaitForAny processes
// its window messages), the HTTP fallbacks on worker threads, each with a client of its own
// sharing one cookie jar.
//
// A file transfer that fails leaves nothing at its file: what the moniker wrote of it is
// removed. A Skip ends the moniker's binding and goes on to HTTP, or breaks off the HTTP
// transfer; a Skip while the binding is still ending gives the transfer up. Abandon and
// AbandonAll end a transfer without going on to HTTP. A binding that does not end within a
// grace after its abort is left behind, its target file closed so that the file can go.
#pragma once

#include <windows.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "download/IEDownload.h"
#include "fetch/Fetching.h"
#include "fetch/HttpWorkers.h"
#include "platform/win32/MessagePump.h"

namespace lorvex {

struct ImportFetchSettings {
  std::string ProxyServer;  // the HTTP fallback's proxy; empty for none
  int ProxyPort = 0;
  // When no Skip button can end a stalled transfer: the moniker's inactivity time-out and
  // HTTP's read time-out, in ms; 0 for none.
  int WaitBound = 0;
  int Connections = 1;  // the most HTTP fallbacks at once
  // Offered each message before it is dispatched; true when it was handled (a dialog's keys).
  std::function<bool(const MSG&)> HandleMessage;
  // Starts a moniker binding; empty for the downloader's own start. Tests put bindings of
  // their own here.
  std::function<TBSCB::Hold(TIEDownload&, const std::string& url, const std::string& file)>
      StartBinding;
};

// The outcome the downloader's Tag takes after each download: 0 for success, 2 for a part
// refused (206), 1 for a range refused (416), -1 for any other failure.
int DownloadTag(const TBSCB& sender, HRESULT result);

class ImportFetcher final : public ResourceFetcher {
 public:
  explicit ImportFetcher(ImportFetchSettings settings);
  // Ends every transfer (bounded) and joins the HTTP workers.
  ~ImportFetcher() override;
  ImportFetcher(const ImportFetcher&) = delete;
  ImportFetcher& operator=(const ImportFetcher&) = delete;

  // The moniker downloader; its Tag tells how the last download ended.
  TIEDownload& Downloader() { return downloader_; }

  FetchId Start(const std::string& url, const std::string& fileName) override;
  bool Ended(FetchId id) override;
  void WaitForAny(int sliceMs) override;
  FetchResult Take(FetchId id) override;
  void Skip(FetchId id) override;
  void Abandon(FetchId id) override;
  void AbandonAll() override;
  bool FailureClearsTarget() const override { return true; }
  bool ReleasedEverything() override;

 private:
  struct Transfer {
    std::string url, file;  // file empty: a text
    TBSCB::Hold binding;
    ULONGLONG abortedAt = 0;  // when the binding was asked to end; 0 while it was not
    bool abandoned = false;
    FetchId httpJob = 0;
    bool ended = false;
    FetchResult result;
  };
  void Advance(Transfer& transfer);
  void AfterBinding(Transfer& transfer);
  void Finish(Transfer& transfer, FetchResult result);
  void AbortBinding(Transfer& transfer);
  // The binding is left behind, its target closed; no fallback follows.
  void GiveUpBinding(Transfer& transfer);
  void PumpMessages(int sliceMs);

  std::function<TBSCB::Hold(TIEDownload&, const std::string&, const std::string&)> start_;
  TIEDownload downloader_;
  HttpWorkers http_;
  std::map<FetchId, Transfer> transfers_;
  // The last outcome each binding reported (a binding that fails to start reports before
  // its transfer knows it).
  std::map<const TBSCB*, HRESULT> outcomes_;
  // Bindings that did not end within the grace after an abort, kept until the end.
  std::vector<TBSCB::Hold> lingering_;
  FetchId lastId_ = 0;
  bool closed_ = false;
  win32::QuitKeeper quit_;
  win32::PumpSettings pump_;  // the ANSI calls, every message offered to HandleMessage
};

}  // namespace lorvex
