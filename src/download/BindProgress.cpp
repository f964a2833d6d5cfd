// The callback object's binding as it runs: its start, progress, data into memory or into the
// target file, and its end with the outcome that OnComplete reports.
#include <shlwapi.h>

#include <algorithm>
#include <string>

#include "download/BindCallback.h"
#include "download/IEDownload.h"
#include "platform/win32/AnsiText.h"
#include "platform/win32/Boundary.h"

namespace lorvex {

namespace {

constexpr ULONG kStatusRedirecting = 3;      // BINDSTATUS_REDIRECTING
constexpr ULONG kStatusDownloadingData = 5;  // BINDSTATUS_DOWNLOADINGDATA

// True for http:// and https:// URLs (ASCII case folded).
bool IsHttpUrl(const std::wstring& url) {
  std::string head;
  for (size_t i = 0; i < url.size() && i < 8; ++i) head += url[i] < 128 ? char(url[i]) : '?';
  return StartsWithIgnoreCase(head, "http://") || StartsWithIgnoreCase(head, "https://");
}

}  // namespace

// --- TBSCB: IBindStatusCallback ---------------------------------------------------------------

STDMETHODIMP TBSCB::OnStartBinding(DWORD, IBinding* pib) {
  return win32::Guarded<HRESULT>("TBSCB::OnStartBinding", E_FAIL, [&]() -> HRESULT {
    if (Cancelled()) {
      if (SUCCEEDED(ownOutcome_)) ownOutcome_ = E_ABORT;
      RaiseComplete(nullptr, E_ABORT);
      return E_FAIL;
    }
    binding_ = win32::ComPtr<IBinding>(pib);
    return S_OK;
  });
}

STDMETHODIMP TBSCB::GetPriority(LONG*) {
  return win32::Guarded<HRESULT>("TBSCB::GetPriority", E_FAIL, [&]() -> HRESULT {
    if (Cancelled()) AbortBinding();
    return S_OK;
  });
}

STDMETHODIMP TBSCB::OnLowResource(DWORD) { return S_OK; }

STDMETHODIMP TBSCB::OnProgress(ULONG ulProgress, ULONG ulProgressMax, ULONG ulStatusCode,
                               LPCWSTR szStatusText) {
  return win32::Guarded<HRESULT>("TBSCB::OnProgress", E_FAIL, [&]() -> HRESULT {
    if (Cancelled()) {
      AbortBinding();
      return S_OK;
    }
    TransferTexts texts;
    if (ulStatusCode == kStatusDownloadingData && owner_->OnProgress)
      texts = MakeTransferTexts(ulProgress, ulProgressMax, startTime_, NowAsDateTime(),
                                SystemDecimalSeparator(), LongTimeText);
    redirected_ = ulStatusCode == kStatusRedirecting;
    if (owner_->OnProgress) {
      ULONG offset = ULONG(info_.RangeBegin);
      owner_->OnProgress(*this, ulProgress + offset, ulProgressMax + offset, ulStatusCode,
                         szStatusText, texts.ElapsedTime, texts.Speed, texts.EstimatedTime);
    }
    return S_OK;
  });
}

STDMETHODIMP TBSCB::OnStopBinding(HRESULT hresult, LPCWSTR) {
  Hold self(this);  // removal from DownloadList below must not free this object under us
  return win32::Guarded<HRESULT>("TBSCB::OnStopBinding", E_FAIL, [&]() -> HRESULT {
    if (retrying_ && !timedOut_ && SUCCEEDED(ownOutcome_) && !Cancelled()) {
      ReleaseBindingObjects();
      RestartWithCredentials();
      if (stopped_ && owner_) owner_->Remove(this);
      return S_OK;
    }
    retrying_ = false;
    HRESULT outcome = hresult;
    if (timedOut_)
      outcome = INET_E_CONNECTION_TIMEOUT;
    else if (FAILED(ownOutcome_))
      outcome = ownOutcome_;
    else if (SUCCEEDED(outcome) && expectedLength_ >= 0 && received_ < expectedLength_)
      outcome = INET_E_DOWNLOAD_FAILURE;  // the connection closed before the whole body came
    else if (SUCCEEDED(outcome) && responseCode_ == 0 && received_ == 0 && IsHttpUrl(url_))
      outcome = INET_E_DOWNLOAD_FAILURE;  // closed or reset before any answer
    stopped_ = true;
    if (timer_) timer_->Disable();
    if (!info_.FileName.empty()) {
      if (fileStream_) {
        LARGE_INTEGER zero{};
        LORVEX_TRACE_IF_FAILED("TBSCB::OnStopBinding",
                               fileStream_->Seek(zero, STREAM_SEEK_SET, nullptr));
      }
      win32::Guarded("TBSCB::OnStopBinding", [&] { RaiseComplete(fileStream_.Get(), outcome); });
      fileStream_.Reset();
    } else {
      win32::Guarded("TBSCB::OnStopBinding", [&] { RaiseComplete(memoryStream_.Get(), outcome); });
    }
    ReleaseBindingObjects();
    if (owner_) owner_->Remove(this);
    return S_OK;
  });
}
STDMETHODIMP TBSCB::OnDataAvailable(DWORD grfBSCF, DWORD dwSize, FORMATETC*, STGMEDIUM* pstgmed) {
  Hold self(this);
  return win32::Guarded<HRESULT>("TBSCB::OnDataAvailable", E_FAIL, [&]() -> HRESULT {
    if (startTime_ == 0) startTime_ = NowAsDateTime();
    if (Cancelled()) {
      AbortBinding();
      return S_OK;
    }
    if (timer_) timer_->Enable();  // the inactivity interval starts again
    if ((grfBSCF & BSCF_FIRSTDATANOTIFICATION) && !stream_ && pstgmed &&
        pstgmed->tymed == TYMED_ISTREAM)
      stream_ = win32::ComPtr<IStream>(pstgmed->pstm);
    // A refused or failed download stores nothing more (a server's error page included).
    if (FAILED(ownOutcome_) || stopped_ || retrying_ || !stream_) return S_OK;
    long long wanted = static_cast<long long>(dwSize) - received_;
    if (wanted <= 0) return S_OK;
    const ULONG n = ULONG(wanted);
    for (;;) {
      std::string buffer(size_t(n) + 1, '\0');
      ULONG got = 0;
      // A failed read delivers what it got (nothing, usually), which ends the loop. E_PENDING
      // only says that the rest comes with a later notification.
      HRESULT read = stream_->Read(buffer.data(), n, &got);
      if (read != E_PENDING)
        win32::TraceIfFailed("TBSCB::OnDataAvailable", LORVEX_CALL_SITE(stream_->Read), read);
      got = std::min(got, n);
      ULONG length = got;
      if (owner_ && owner_->OnData) owner_->OnData(*this, buffer, length);
      Store(buffer.data(), ULONG(std::min<size_t>(length, buffer.size())));
      received_ += got;
      if (got == 0 || FAILED(ownOutcome_) || !stream_) break;
    }
    return S_OK;
  });
}

void TBSCB::Store(const char* bytes, ULONG count) {
  if (count == 0 || FAILED(ownOutcome_)) return;
  IStream* target = memoryStream_.Get();
  if (!info_.FileName.empty()) {
    // Data without an HTTP response (another protocol, a cached copy): the target file is
    // created when the first bytes arrive.
    if (!fileStream_ && !fileOpenTried_) {
      info_.RangeBegin = 0;
      HRESULT opened = OpenTargetFile(false);
      if (FAILED(opened)) return Refuse(opened);
    }
    target = fileStream_.Get();
  }
  if (!target) return;
  ULONG written = 0;
  HRESULT result = target->Write(bytes, count, &written);
  if (FAILED(result) || written != count) Refuse(FAILED(result) ? result : STG_E_MEDIUMFULL);
}

void TBSCB::ReleaseTarget() noexcept {
  if (SUCCEEDED(ownOutcome_)) ownOutcome_ = E_ABORT;
  targetReleased_ = true;
  fileOpenTried_ = true;
  fileStream_.Reset();
}

HRESULT TBSCB::OpenTargetFile(bool append) {
  fileOpenTried_ = true;
  fileStream_.Reset();
  if (targetReleased_) return E_ABORT;
  std::wstring name = win32::AnsiToWide(info_.FileName);
  DWORD mode = STGM_READWRITE | STGM_SHARE_DENY_WRITE | (append ? 0 : STGM_CREATE);
  win32::ComPtr<IStream> file;
  HRESULT result = ::SHCreateStreamOnFileEx(name.c_str(), mode, FILE_ATTRIBUTE_NORMAL,
                                            append ? FALSE : TRUE, nullptr, file.put());
  if (FAILED(result)) return result;
  if (append) {
    LARGE_INTEGER zero{};
    result = file->Seek(zero, STREAM_SEEK_END, nullptr);
    if (FAILED(result)) return result;
  }
  fileStream_ = std::move(file);
  return S_OK;
}

STDMETHODIMP TBSCB::OnObjectAvailable(REFIID, IUnknown*) { return S_OK; }
}  // namespace lorvex
