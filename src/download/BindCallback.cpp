#include "download/BindCallback.h"

#include <shlwapi.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <limits>
#include <new>
#include <stdexcept>

#include "download/IEDownload.h"
#include "platform/win32/Boundary.h"
#include "platform/win32/MemoryStream.h"

namespace lorvex {

namespace {

constexpr ULONG kBindInfoSize = 84;             // sizeof(BINDINFO) with every member
constexpr DWORD kQueryContentLength = 5;        // HTTP_QUERY_CONTENT_LENGTH
constexpr DWORD kQueryAcceptRanges = 42;        // HTTP_QUERY_ACCEPT_RANGES
constexpr DWORD kQueryContentEncoding = 29;     // HTTP_QUERY_CONTENT_ENCODING
constexpr DWORD kQueryFlagNumber = 0x20000000;  // HTTP_QUERY_FLAG_NUMBER
constexpr DWORD kQueryTextSize = 2049;
constexpr ULONG kStatusRedirecting = 3;      // BINDSTATUS_REDIRECTING
constexpr ULONG kStatusDownloadingData = 5;  // BINDSTATUS_DOWNLOADINGDATA
constexpr ULONG kResumeRestart = 1;          // OnResume actions
constexpr ULONG kResumeRefuse = 2;

LONG liveObjects = 0;

// True for http:// and https:// URLs (ASCII case folded).
bool IsHttpUrl(const std::wstring& url) {
  std::string head;
  for (size_t i = 0; i < url.size() && i < 8; ++i) head += url[i] < 128 ? char(url[i]) : '?';
  return StartsWithIgnoreCase(head, "http://") || StartsWithIgnoreCase(head, "https://");
}

struct TaskMemFree {
  void operator()(wchar_t* p) const noexcept { ::CoTaskMemFree(p); }
};
using TaskString = std::unique_ptr<wchar_t, TaskMemFree>;

// A zero-terminated copy in task memory, which the receiver frees.
TaskString TaskCopy(std::wstring_view text) {
  size_t bytes = (text.size() + 1) * sizeof(wchar_t);
  auto* copy = static_cast<wchar_t*>(::CoTaskMemAlloc(bytes));
  if (!copy) throw std::bad_alloc();
  std::memcpy(copy, text.data(), text.size() * sizeof(wchar_t));
  copy[text.size()] = L'\0';
  return TaskString(copy);
}

// None for an empty text.
TaskString TaskCopyOrNone(std::wstring_view text) {
  return text.empty() ? TaskString() : TaskCopy(text);
}

HRESULT LastErrorResult() {
  DWORD error = ::GetLastError();
  return error == 0 ? E_FAIL : HRESULT_FROM_WIN32(error);
}

std::string WideToAnsi(std::wstring_view text) {
  if (text.empty()) return {};
  if (text.size() > size_t(std::numeric_limits<int>::max())) throw std::length_error("text");
  int length =
      ::WideCharToMultiByte(CP_ACP, 0, text.data(), int(text.size()), nullptr, 0, nullptr, nullptr);
  if (length <= 0) throw std::runtime_error("WideCharToMultiByte failed");
  std::string ansi(size_t(length), '\0');
  ::WideCharToMultiByte(CP_ACP, 0, text.data(), int(text.size()), ansi.data(), length, nullptr,
                        nullptr);
  return ansi;
}

// Base64 of the Basic authentication scheme (standard alphabet, padded).
std::string Base64(std::string_view bytes) {
  static const char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string text;
  text.reserve((bytes.size() + 2) / 3 * 4);
  size_t i = 0;
  for (; i + 3 <= bytes.size(); i += 3) {
    uint32_t v = uint32_t(uint8_t(bytes[i])) << 16 | uint32_t(uint8_t(bytes[i + 1])) << 8 |
                 uint8_t(bytes[i + 2]);
    for (int shift : {18, 12, 6, 0}) text += kAlphabet[(v >> shift) & 63];
  }
  if (size_t rest = bytes.size() - i) {
    uint32_t v = uint32_t(uint8_t(bytes[i])) << 16;
    if (rest == 2) v |= uint32_t(uint8_t(bytes[i + 1])) << 8;
    text += kAlphabet[(v >> 18) & 63];
    text += kAlphabet[(v >> 12) & 63];
    text += rest == 2 ? kAlphabet[(v >> 6) & 63] : '=';
    text += '=';
  }
  return text;
}

}  // namespace

std::wstring AnsiToWide(std::string_view text) {
  if (text.empty()) return {};
  if (text.size() > size_t(std::numeric_limits<int>::max())) throw std::length_error("text");
  int length = ::MultiByteToWideChar(CP_ACP, 0, text.data(), int(text.size()), nullptr, 0);
  if (length <= 0) throw std::runtime_error("MultiByteToWideChar failed");
  std::wstring wide(size_t(length), L'\0');
  ::MultiByteToWideChar(CP_ACP, 0, text.data(), int(text.size()), wide.data(), length);
  return wide;
}

std::string JoinHeaderLines(const StringList& lines) {
  std::string text;
  for (const std::string& line : lines) {
    if (line.empty()) continue;  // an empty line would end the request's header block
    text += line;
    text += "\r\n";
  }
  return text;
}

// --- TBSCB: life ----------------------------------------------------------------------------

TBSCB::Hold::Hold(TBSCB* object) noexcept : object_(object) {
  if (object_) object_->AddHolder();
}
TBSCB::Hold::Hold(Hold&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
TBSCB::Hold& TBSCB::Hold::operator=(Hold&& other) noexcept {
  if (this != &other) {
    TBSCB* old = std::exchange(object_, std::exchange(other.object_, nullptr));
    if (old) old->DropHolder();
  }
  return *this;
}
TBSCB::Hold::~Hold() {
  if (object_) object_->DropHolder();
}

TBSCB::TBSCB(const TInfo& info)
    : sharedCount_(info.Sender ? info.Sender->refCount_ : std::make_shared<LONG>(1)),
      info_(info),
      owner_(info.Sender),
      url_(info.Url),
      memoryStream_(win32::NewMemoryStream()) {
  if (owner_) {
    std::lock_guard<std::mutex> guard(AttachLock());
    owner_->attached_.insert(this);
  }
  ::InterlockedIncrement(&liveObjects);
}

TBSCB::~TBSCB() {
  {
    std::lock_guard<std::mutex> guard(AttachLock());
    if (owner_) owner_->attached_.erase(this);
  }
  ::InterlockedDecrement(&liveObjects);
}

LONG TBSCB::LiveObjects() noexcept { return liveObjects; }

std::mutex& TBSCB::AttachLock() {
  static std::mutex lock;
  return lock;
}

void TBSCB::AddHolder() noexcept { ::InterlockedIncrement(&holders_); }

void TBSCB::DropHolder() noexcept {
  if (::InterlockedDecrement(&holders_) == 0) delete this;
}

TBSCB::Hold TBSCB::HoldIfAlive(TBSCB* object) noexcept {
  LONG count = object->holders_;
  while (count > 0) {
    LONG seen = ::InterlockedCompareExchange(&object->holders_, count + 1, count);
    if (seen == count) {
      Hold hold;
      hold.object_ = object;
      return hold;
    }
    count = seen;
  }
  return Hold();
}

TBSCB::Hold TBSCB::Create(const TInfo& info) {
  Hold download = CreateUnbound(info);
  download->StartBinding();
  return download;
}

TBSCB::Hold TBSCB::CreateUnbound(const TInfo& info) { return Hold(new TBSCB(info)); }

void TBSCB::Detach() noexcept {
  {
    std::lock_guard<std::mutex> guard(AttachLock());
    if (owner_) owner_->attached_.erase(this);
    owner_ = nullptr;
  }
  win32::Guarded("TBSCB::Detach", [this] { AbortBinding(); });
}

bool TBSCB::Cancelled() const noexcept { return !owner_ || owner_->cancelled_; }

void TBSCB::RaiseComplete(IStream* stream, HRESULT result) {
  if (owner_ && owner_->OnComplete) owner_->OnComplete(*this, stream, result);
}

void TBSCB::AbortBinding() {
  if (!binding_) return;
  win32::ComPtr<IBinding> binding = binding_;  // Abort may end the binding at once
  // A binding that has ended already refuses; either way it is over.
  win32::TraceIfFailed("TBSCB::AbortBinding", "IBinding::Abort", binding->Abort());
}

void TBSCB::Refuse(HRESULT outcome) {
  if (SUCCEEDED(ownOutcome_)) ownOutcome_ = outcome;
  AbortBinding();
}

void TBSCB::ReleaseBindingObjects() noexcept {
  // The bind context holds this object as its callback, and this object holds the bind
  // context and the binding: the cycle is broken here, at the binding's end.
  if (bindCtx_)
    win32::TraceIfFailed(
        "TBSCB::ReleaseBindingObjects", "RevokeBindStatusCallback",
        ::RevokeBindStatusCallback(bindCtx_.Get(), static_cast<IBindStatusCallback*>(this)));
  binding_.Reset();
  stream_.Reset();
  moniker_.Reset();
  bindCtx_.Reset();
}

void TBSCB::StartBinding() {
  Hold self(this);  // urlmon may release every reference it took while the start fails
  ReleaseBindingObjects();
  // A request body built for an earlier binding of this object is kept: that binding may
  // still hold the block, and the next one is handed the same bytes.
  received_ = 0;
  expectedLength_ = -1;
  stopped_ = false;
  auto fail = [this](HRESULT result) {
    stopped_ = true;
    ReleaseBindingObjects();
    RaiseComplete(nullptr, result);
  };
  HRESULT result = ::CreateURLMoniker(nullptr, url_.c_str(), moniker_.put());
  if (result != S_OK) return fail(result);
  result =
      ::CreateAsyncBindCtx(0, static_cast<IBindStatusCallback*>(this), nullptr, bindCtx_.put());
  if (result != S_OK) return fail(result);
  if (::IsValidURL(bindCtx_.Get(), url_.c_str(), 0) != S_OK) return fail(MK_E_SYNTAX);
  win32::ComPtr<IStream> stream;
  result = moniker_->BindToStorage(bindCtx_.Get(), nullptr, IID_IStream, stream.put_void());
  if (result == S_OK || result == MK_S_ASYNCHRONOUS) {
    if (!stopped_ && !stream_) stream_ = stream;
    return;
  }
  fail(result);
}

// --- TBSCB: IUnknown ------------------------------------------------------------------------

STDMETHODIMP TBSCB::QueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  using Cast = void* (*)(TBSCB*);
  static const struct {
    const IID* iid;
    Cast cast;
  } kInterfaces[] = {
      {&IID_IUnknown, [](TBSCB* p) -> void* { return static_cast<IBindStatusCallback*>(p); }},
      {&IID_IBindStatusCallback,
       [](TBSCB* p) -> void* { return static_cast<IBindStatusCallback*>(p); }},
      {&IID_IHttpNegotiate, [](TBSCB* p) -> void* { return static_cast<IHttpNegotiate*>(p); }},
      {&IID_IAuthenticate, [](TBSCB* p) -> void* { return static_cast<IAuthenticate*>(p); }},
      {&IID_IHttpSecurity, [](TBSCB* p) -> void* { return static_cast<IHttpSecurity*>(p); }},
  };
  for (const auto& entry : kInterfaces) {
    if (::IsEqualIID(riid, *entry.iid)) {
      *ppv = entry.cast(this);
      AddRef();
      return S_OK;
    }
  }
  return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) TBSCB::AddRef() {
  AddHolder();
  return ULONG(::InterlockedIncrement(sharedCount_.get()));
}

STDMETHODIMP_(ULONG) TBSCB::Release() {
  ULONG count = ULONG(::InterlockedDecrement(sharedCount_.get()));
  DropHolder();  // may free this object
  return count;
}

// --- TBSCB: IHttpSecurity, IAuthenticate ------------------------------------------------------

STDMETHODIMP TBSCB::GetWindow(REFGUID rguidReason, HWND* phwnd) {
  return win32::Guarded<HRESULT>("TBSCB::GetWindow", E_FAIL, [&]() -> HRESULT {
    if (!owner_ || !owner_->OnGetWindow) return S_OK;
    HWND window = phwnd ? *phwnd : nullptr;
    HRESULT result = owner_->OnGetWindow(*this, rguidReason, window);
    if (phwnd) *phwnd = window;
    return result;
  });
}

STDMETHODIMP TBSCB::OnSecurityProblem(DWORD dwProblem) {
  return win32::Guarded<HRESULT>("TBSCB::OnSecurityProblem", E_FAIL, [&]() -> HRESULT {
    if (!owner_ || !owner_->OnSecurityProblem) return S_OK;
    return owner_->OnSecurityProblem(*this, dwProblem);
  });
}

STDMETHODIMP TBSCB::Authenticate(HWND* phwnd, LPWSTR* pszUsername, LPWSTR* pszPassword) {
  return win32::Guarded<HRESULT>("TBSCB::Authenticate", E_FAIL, [&]() -> HRESULT {
    if (!phwnd || !pszUsername || !pszPassword) return E_INVALIDARG;
    *pszUsername = nullptr;  // out-parameters: nothing is read from them
    *pszPassword = nullptr;
    std::wstring user;
    std::wstring password;
    HRESULT result = Credentials(*phwnd, user, password);
    TaskString userCopy = TaskCopyOrNone(user);
    TaskString passwordCopy = TaskCopyOrNone(password);
    *pszUsername = userCopy.release();
    *pszPassword = passwordCopy.release();
    return result;
  });
}

HRESULT TBSCB::Credentials(HWND& window, std::wstring& user, std::wstring& password) {
  if (owner_ && owner_->OnAuthenticate)
    return owner_->OnAuthenticate(*this, window, user, password);
  user = AnsiToWide(info_.Username);
  password = AnsiToWide(info_.Password);
  return S_OK;
}

bool TBSCB::PrepareCredentialRetry(DWORD status) {
  if ((status != 401 && status != 407) || credentialsTried_ || Cancelled() || !binding_)
    return false;
  credentialsTried_ = true;
  HWND window = nullptr;
  std::wstring user;
  std::wstring password;
  if (Credentials(window, user, password) != S_OK || user.empty()) return false;
  authorization_ = std::string(status == 407 ? "Proxy-Authorization" : "Authorization") +
                   ": Basic " + Base64(WideToAnsi(user) + ":" + WideToAnsi(password)) + "\r\n";
  retrying_ = true;
  AbortBinding();
  return true;
}

void TBSCB::RestartWithCredentials() {
  retrying_ = false;
  if (timer_) timer_->Disable();
  stream_.Reset();
  startTime_ = 0;
  timedOut_ = false;
  StartBinding();  // a start that fails has reported through OnComplete and is stopped
}

// --- TBSCB: IHttpNegotiate ------------------------------------------------------------------

STDMETHODIMP TBSCB::BeginningTransaction(LPCWSTR szURL, LPCWSTR szHeaders, DWORD dwReserved,
                                         LPWSTR* pszAdditionalHeaders) {
  return win32::Guarded<HRESULT>("TBSCB::BeginningTransaction", E_FAIL, [&]() -> HRESULT {
    if (!pszAdditionalHeaders) return E_POINTER;
    *pszAdditionalHeaders = nullptr;
    if (Cancelled()) {
      RaiseComplete(nullptr, E_ABORT);
      Refuse(E_ABORT);
      return E_ABORT;
    }
    std::string headers;
    if (!info_.UserAgent.empty()) headers += "User-agent: " + info_.UserAgent + "\r\n";
    if (!info_.FileName.empty()) {
      // The attributes, not a search: a name with wildcards must not match another file.
      WIN32_FILE_ATTRIBUTE_DATA file;
      if (::GetFileAttributesExA(info_.FileName.c_str(), GetFileExInfoStandard, &file)) {
        unsigned long long size =
            (static_cast<unsigned long long>(file.nFileSizeHigh) << 32) | file.nFileSizeLow;
        info_.RangeEnd = 0;
        ULONG action = 0;
        if (owner_->OnResume) owner_->OnResume(*this, info_.FileName, action);
        if (action == kResumeRefuse) {
          Refuse(E_ABORT);
          return E_ABORT;
        }
        // A file beyond the 32-bit range cannot be named in the range: it is fetched anew.
        info_.RangeBegin = (action == kResumeRestart || size > 0x7FFFFFFFull) ? 0 : int32_t(size);
      } else {
        info_.RangeBegin = 0;
        info_.RangeEnd = 0;
      }
    }
    headers += authorization_;
    if (info_.RangeBegin != 0 || info_.RangeEnd != 0) {
      headers += "Range: bytes=" + std::to_string(info_.RangeBegin) + "-";
      if (info_.RangeEnd != 0) headers += std::to_string(info_.RangeEnd);
      headers += "\r\n";
    }
    if (!info_.AdditionalHeader.empty() && !info_.AdditionalHeader.front().empty())
      headers += JoinHeaderLines(info_.AdditionalHeader);

    std::wstring additional = AnsiToWide(headers);
    HRESULT result = S_OK;
    if (owner_->OnBeginningTransaction)
      result = owner_->OnBeginningTransaction(*this, szURL, szHeaders, dwReserved, additional);
    *pszAdditionalHeaders = TaskCopy(additional).release();
    StartTimer();
    timedOut_ = false;
    return result;
  });
}

STDMETHODIMP TBSCB::OnResponse(DWORD dwResponseCode, LPCWSTR szResponseHeaders,
                               LPCWSTR szRequestHeaders, LPWSTR* pszAdditionalRequestHeaders) {
  return win32::Guarded<HRESULT>("TBSCB::OnResponse", E_FAIL, [&]() -> HRESULT {
    if (pszAdditionalRequestHeaders) *pszAdditionalRequestHeaders = nullptr;
    responseCode_ = dwResponseCode;
    if (PrepareCredentialRetry(dwResponseCode)) return E_ABORT;
    DWORD length = 0;
    bool hasLength = QueryInfoNumber(kQueryContentLength, length);
    if (hasLength && length == 0) {
      RaiseComplete(nullptr, S_OK);
      Refuse(E_ABORT);
      return E_ABORT;
    }
    // urlmon decodes a coded body itself, so only an uncoded one can be held to its length.
    std::string coding;
    QueryInfoString(kQueryContentEncoding, coding);
    expectedLength_ = -1;
    if (hasLength && (Trim(coding).empty() || EqualsIgnoreCase(Trim(coding), "identity")))
      expectedLength_ = length;
    if ((dwResponseCode >= 400 && dwResponseCode <= 499) || Cancelled()) {
      RaiseComplete(nullptr, E_ABORT);
      Refuse(E_ABORT);
      return E_ABORT;
    }
    // A part of the resource where no range was asked for is not the resource: storing it
    // as the whole file would report a truncated download as a success.
    if (dwResponseCode == 206 && info_.RangeBegin == 0 && info_.RangeEnd == 0) {
      Refuse(INET_E_DOWNLOAD_FAILURE);
      return E_ABORT;
    }
    if (dwResponseCode >= 500 && dwResponseCode <= 599) {
      // A server error ends the binding with a download failure, as urlmon reports it where it
      // does so itself; nothing of the error page is stored.
      Refuse(INET_E_DOWNLOAD_FAILURE);
      return E_ABORT;
    }
    HRESULT result = S_OK;
    if (owner_->OnResponse) {
      std::wstring additional;
      result = owner_->OnResponse(*this, dwResponseCode, szResponseHeaders, szRequestHeaders,
                                  additional);
      if (pszAdditionalRequestHeaders)
        *pszAdditionalRequestHeaders = TaskCopyOrNone(additional).release();
    }
    if (!info_.FileName.empty()) {
      bool append = false;
      if (info_.RangeBegin != 0) {
        std::string ranges;
        append = (QueryInfoString(kQueryAcceptRanges, ranges) && ranges == "bytes") ||
                 dwResponseCode == 206;
        if (!append) info_.RangeBegin = 0;
      }
      HRESULT opened = OpenTargetFile(append);
      if (FAILED(opened)) {
        Refuse(opened);
        return opened;
      }
    }
    if (FAILED(result)) Refuse(result);
    return result;
  });
}

bool TBSCB::QueryInfoNumber(DWORD option, DWORD& value) {
  if (!binding_) return false;
  win32::ComPtr<IWinInetHttpInfo> info = binding_.As<IWinInetHttpInfo>();
  if (!info) return false;
  DWORD number = 0;
  DWORD size = sizeof number;
  DWORD flags = 0;  // in/out: zeroed before every call
  if (info->QueryInfo(option | kQueryFlagNumber, &number, &size, &flags, nullptr) != S_OK)
    return false;
  value = number;
  return true;
}

bool TBSCB::QueryInfoString(DWORD option, std::string& text) {
  text.clear();
  if (!binding_) return false;
  win32::ComPtr<IWinInetHttpInfo> info = binding_.As<IWinInetHttpInfo>();
  if (!info) return false;
  char buffer[kQueryTextSize] = {};
  DWORD size = kQueryTextSize;
  DWORD flags = 0;
  if (info->QueryInfo(option, buffer, &size, &flags, nullptr) != S_OK) return false;
  text.assign(buffer, strnlen(buffer, kQueryTextSize));
  return true;
}

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
        win32::TraceIfFailed("TBSCB::OnStopBinding", "IStream::Seek",
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

STDMETHODIMP TBSCB::GetBindInfo(DWORD* grfBINDF, BINDINFO* pbindinfo) {
  return win32::Guarded<HRESULT>("TBSCB::GetBindInfo", E_FAIL, [&]() -> HRESULT {
    if (!grfBINDF || !pbindinfo) return E_INVALIDARG;
    *grfBINDF = info_.BindF;
    HRESULT body = BuildRequestBody();
    if (FAILED(body)) {
      Refuse(body);
      return body;
    }
    // Only the members that lie within the caller's structure are written.
    const ULONG size = pbindinfo->cbSize;
    auto fits = [size](size_t offset, size_t length) { return offset + length <= size; };
#define LORVEX_FITS(member) fits(offsetof(BINDINFO, member), sizeof(BINDINFO::member))
    const DWORD verb = redirected_ ? DWORD(BINDVERB_GET) : DWORD(info_.BindVerb);
    if (size >= kBindInfoSize) pbindinfo->cbSize = kBindInfoSize;
    if (LORVEX_FITS(dwBindVerb)) pbindinfo->dwBindVerb = verb;
    if (LORVEX_FITS(grfBindInfoF)) pbindinfo->grfBindInfoF = info_.BindInfoF;
    if (LORVEX_FITS(dwCodePage)) pbindinfo->dwCodePage = info_.CodePage;
    if (LORVEX_FITS(securityAttributes)) {
      SECURITY_ATTRIBUTES& security = pbindinfo->securityAttributes;
      security.nLength = sizeof(SECURITY_ATTRIBUTES);
      security.bInheritHandle = info_.InheritHandle ? -1 : 0;
      security.lpSecurityDescriptor =
          info_.Descriptor.empty() ? nullptr : const_cast<char*>(info_.Descriptor.data());
    }
    if (LORVEX_FITS(szExtraInfo))
      pbindinfo->szExtraInfo = TaskCopyOrNone(AnsiToWide(info_.ExtraInfo)).release();
    if (LORVEX_FITS(szCustomVerb)) {
      pbindinfo->szCustomVerb = (!info_.CustomVerb.empty() && verb == BINDVERB_CUSTOM)
                                    ? TaskCopy(AnsiToWide(info_.CustomVerb)).release()
                                    : nullptr;
    }
    if (LORVEX_FITS(cbstgmedData)) pbindinfo->cbstgmedData = postDataSize_;
    if (LORVEX_FITS(stgmedData)) {
      STGMEDIUM& medium = pbindinfo->stgmedData;
      medium.tymed = verb != BINDVERB_GET ? TYMED_HGLOBAL : TYMED_NULL;
      medium.hGlobal = postDataHandle_.get();
      medium.pUnkForRelease = static_cast<IBindStatusCallback*>(this);
      AddRef();
    }
#undef LORVEX_FITS
    return S_OK;
  });
}

HRESULT TBSCB::BuildRequestBody() {
  // Built once: a block already handed to the binding stays valid while this object lives.
  if (postDataHandle_) return S_OK;
  if (info_.BindVerb == BINDVERB_PUT) {
    win32::UniqueFileHandle file(::CreateFileA(info_.PutFileName.c_str(), GENERIC_READ,
                                               FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                               FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return LastErrorResult();
    LARGE_INTEGER size;
    if (!::GetFileSizeEx(file.get(), &size)) return LastErrorResult();
    if (size.QuadPart > LONGLONG(std::numeric_limits<LONG>::max()))
      return HRESULT_FROM_WIN32(ERROR_FILE_TOO_LARGE);
    DWORD bytes = DWORD(size.QuadPart);
    win32::UniqueHGlobal block(::GlobalAlloc(GPTR, std::max<DWORD>(bytes, 1)));
    if (!block) return E_OUTOFMEMORY;
    auto* data = static_cast<char*>(block.get());  // fixed memory: the handle is the address
    DWORD done = 0;
    while (done < bytes) {
      DWORD got = 0;
      if (!::ReadFile(file.get(), data + done, bytes - done, &got, nullptr))
        return LastErrorResult();
      if (got == 0) return HRESULT_FROM_WIN32(ERROR_HANDLE_EOF);
      done += got;
    }
    postDataHandle_ = std::move(block);
    postDataSize_ = bytes;
  } else if (info_.BindVerb == BINDVERB_POST) {
    if (info_.PostData.size() >= std::numeric_limits<LONG>::max()) return E_OUTOFMEMORY;
    DWORD bytes = DWORD(info_.PostData.size() + 1);  // the body ends with a zero byte
    win32::UniqueHGlobal block(::GlobalAlloc(GPTR, bytes));
    if (!block) return E_OUTOFMEMORY;
    std::memcpy(block.get(), info_.PostData.data(), info_.PostData.size());
    postDataHandle_ = std::move(block);
    postDataSize_ = bytes;
  }
  return S_OK;
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
      if (read != E_PENDING) win32::TraceIfFailed("TBSCB::OnDataAvailable", "IStream::Read", read);
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

HRESULT TBSCB::OpenTargetFile(bool append) {
  fileOpenTried_ = true;
  fileStream_.Reset();
  std::wstring name = AnsiToWide(info_.FileName);
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

// --- TBSCB: timer -------------------------------------------------------------------------

void TBSCB::StartTimer() {
  if (!timer_) timer_ = std::make_unique<win32::IntervalTimer>([this] { OnTimer(); });
  timer_->SetInterval(info_.TimeOut > 0 ? UINT(info_.TimeOut) : 0);
  timer_->Enable();
}

void TBSCB::OnTimer() {
  Hold self(this);
  timedOut_ = true;
  AbortBinding();
}

}  // namespace lorvex
