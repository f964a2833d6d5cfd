#include "fetch/win32/ImportFetcher.h"

#include "fetch/HttpWorkers.h"
#include "platform/Platform.h"
#include "platform/win32/Boundary.h"
#include "platform/win32/MessagePump.h"

namespace lorvex {

namespace {

// How long a binding asked to end gets to report its end before it is left behind.
constexpr ULONGLONG kAbortGraceMs = 5000;
const char kMonikerUserAgent[] = "Mozilla/4.0 (compatible; MSIE 6.0; Win32)";

std::unique_ptr<THttpClient> MakeFallbackClient(const ImportFetchSettings& settings,
                                                std::shared_ptr<HttpCookieJar> cookies) {
  auto http = std::make_unique<THttpClient>();
  http->HandleRedirects = true;
  http->AllowCookies = true;
  http->ReadTimeout = settings.WaitBound;
  http->MaxLineAction = TMaxLineAction::maException;
  http->HTTPOptions = THttpOption::hoForceEncodeParams;
  http->ProxyParams.ProxyServer = settings.ProxyServer;
  http->ProxyParams.ProxyPort = settings.ProxyPort;
  http->Request = THttpRequestSettings{};
  http->ShareCookieJar(std::move(cookies));
  return http;
}

}  // namespace

int DownloadTag(const TBSCB& sender, HRESULT result) {
  if (result == S_OK) return 0;
  if (result == E_ABORT && sender.ResponseCode() == 206) return 2;
  if (result == E_ABORT && sender.ResponseCode() == 416) return 1;
  return -1;
}

ImportFetcher::ImportFetcher(ImportFetchSettings settings)
    : http_(settings.Connections,
            [settings, cookies = std::make_shared<HttpCookieJar>()] {
              return MakeFallbackClient(settings, cookies);
            }),
      pump_{.Handle = std::move(settings.HandleMessage)} {
  start_ = std::move(settings.StartBinding);
  downloader_.Name = "IEDownload";
  downloader_.TimeOut = settings.WaitBound;
  downloader_.SetCodepage(TCodePageOption::Ansi);
  downloader_.SetMethod(TBindVerbOption::Get);
  using O = TBindInfoOption;
  downloader_.SetOptions({O::Asynchronous, O::AsyncStorage, O::OfflineOperation,
                          O::GetNewestVersion, O::NoWriteCache, O::PullData,
                          O::IgnoreSecurityProblem, O::SilentOperation, O::Direct_Read,
                          O::GetFromCache_If_Net_Fail});
  downloader_.UrlEncode = {};
  downloader_.Security.InheritHandle = false;
  downloader_.Range = {};
  downloader_.UserAgent = kMonikerUserAgent;
  downloader_.OnComplete = [this](TBSCB& sender, IStream*, HRESULT result) {
    downloader_.Tag = DownloadTag(sender, result);
    outcomes_[&sender] = result;
  };
}

ImportFetcher::~ImportFetcher() {
  AbandonAll();
  const ULONGLONG deadline = ::GetTickCount64() + kAbortGraceMs;
  for (;;) {
    bool running = false;
    for (auto& [id, transfer] : transfers_) {
      Advance(transfer);
      running = running || !transfer.ended;
    }
    if (!running || ::GetTickCount64() >= deadline) break;
    PumpMessages(20);
  }
  downloader_.OnComplete = nullptr;
}

FetchId ImportFetcher::Start(const std::string& url, const std::string& fileName) {
  const FetchId id = ++lastId_;
  Transfer& transfer = transfers_[id];
  transfer.url = url;
  transfer.file = fileName;
  if (closed_) {
    transfer.ended = true;
    return id;
  }
  try {
    transfer.binding =
        start_ ? start_(downloader_, url, fileName) : downloader_.StartDownload(url, fileName);
  } catch (...) {
    // A moniker that cannot even start ends the transfer; a text's caller hears why.
    win32::TraceCaughtException("ImportFetcher::Start");
    FetchResult failed;
    if (fileName.empty()) failed.error = std::current_exception();
    Finish(transfer, std::move(failed));
  }
  return id;
}

void ImportFetcher::Finish(Transfer& transfer, FetchResult result) {
  if (!result.ok && !transfer.file.empty()) platform::DeleteFileAt(transfer.file);
  transfer.result = std::move(result);
  transfer.ended = true;
}

void ImportFetcher::AbortBinding(Transfer& transfer) {
  if (!transfer.binding || transfer.binding->Stopped() || transfer.abortedAt) return;
  transfer.abortedAt = ::GetTickCount64();
  transfer.binding->AbortBinding();
}

void ImportFetcher::AfterBinding(Transfer& transfer) {
  TBSCB::Hold binding = std::move(transfer.binding);
  transfer.binding = TBSCB::Hold();
  const auto outcome = outcomes_.find(binding.get());
  const bool ok = binding->Stopped() && !transfer.abortedAt && outcome != outcomes_.end() &&
                  outcome->second == S_OK;
  if (outcome != outcomes_.end()) outcomes_.erase(outcome);
  if (!binding->Stopped()) {
    binding->ReleaseTarget();  // the file is the fallback's now, or goes with the failure
    lingering_.push_back(binding);
  }
  if (ok) {
    FetchResult result = FileFetchResult(true);
    if (transfer.file.empty()) result.text = TIEDownload::MemoryText(*binding, true);
    Finish(transfer, std::move(result));
    return;
  }
  if (transfer.abandoned || closed_) {
    Finish(transfer, FetchResult{});
    return;
  }
  transfer.httpJob = http_.Submit([url = transfer.url, file = transfer.file](THttpClient& http) {
    return FetchWithHttp(http, url, file);
  });
}

void ImportFetcher::Advance(Transfer& transfer) {
  if (transfer.ended) return;
  if (transfer.binding) {
    const bool stopped = transfer.binding->Stopped();
    const bool givenUp =
        transfer.abortedAt && ::GetTickCount64() - transfer.abortedAt >= kAbortGraceMs;
    if (!stopped && !givenUp) return;
    AfterBinding(transfer);
    if (transfer.ended) return;
  }
  if (transfer.httpJob) {
    if (!http_.Ended(transfer.httpJob)) return;
    FetchResult result = http_.Take(transfer.httpJob);
    transfer.httpJob = 0;
    Finish(transfer, std::move(result));
    return;
  }
  Finish(transfer, FetchResult{});
}

bool ImportFetcher::Ended(FetchId id) {
  auto it = transfers_.find(id);
  if (it == transfers_.end()) return true;
  Advance(it->second);
  return it->second.ended;
}

FetchResult ImportFetcher::Take(FetchId id) {
  auto it = transfers_.find(id);
  if (it == transfers_.end()) return FetchResult{};
  FetchResult result = std::move(it->second.result);
  transfers_.erase(it);
  return result;
}

void ImportFetcher::Skip(FetchId id) {
  auto it = transfers_.find(id);
  if (it == transfers_.end() || it->second.ended) return;
  Transfer& transfer = it->second;
  if (transfer.binding && transfer.abortedAt)
    GiveUpBinding(transfer);  // skipped again while the binding ends: no fallback
  else if (transfer.binding)
    AbortBinding(transfer);
  else if (transfer.httpJob)
    http_.Cancel(transfer.httpJob);
}

void ImportFetcher::GiveUpBinding(Transfer& transfer) {
  transfer.abandoned = true;
  AfterBinding(transfer);
}

bool ImportFetcher::ReleasedEverything() {
  for (auto& [id, transfer] : transfers_)
    if (!transfer.ended && (transfer.binding || transfer.httpJob)) return false;
  return http_.Idle();
}

void ImportFetcher::Abandon(FetchId id) {
  auto it = transfers_.find(id);
  if (it == transfers_.end() || it->second.ended) return;
  it->second.abandoned = true;
  Skip(id);
}

void ImportFetcher::AbandonAll() {
  closed_ = true;
  http_.CancelAll();
  for (auto& [id, transfer] : transfers_) {
    transfer.abandoned = true;
    AbortBinding(transfer);
  }
}

void ImportFetcher::WaitForAny(int sliceMs) {
  PumpMessages(sliceMs);
  // A WM_QUIT ends the moniker's bindings, as the end of a wait; HTTP goes on.
  if (quit_.Seen())
    for (auto& [id, transfer] : transfers_) AbortBinding(transfer);
}

void ImportFetcher::PumpMessages(int sliceMs) {
  pump_.WaitMs = DWORD(sliceMs);
  win32::PumpMessages(quit_, pump_);
}

}  // namespace lorvex
