// The callback object of one download: TBSCB carries out a download that the component
// (IEDownload.h) starts, answering the interfaces that urlmon calls while it binds.
//
// Conventions of this unit:
// - Every outcome reaches the program through the component's OnComplete, possibly more
//   than once for one download (an early refusal, then the binding's own end); the last call
//   is the outcome. A refused response ends the binding through IBinding::Abort as well as by
//   the refusing result, because some urlmon versions ignore the result; the last outcome of
//   a refused download is always a failure, and nothing of a refused response is stored. A
//   5xx answer ends with INET_E_DOWNLOAD_FAILURE (urlmon's own outcome for it where urlmon
//   judges the status itself), and so does a 206 when no range was asked for (its body is
//   only a part of the resource); a 401 or 407 answer that reaches OnResponse is sent once
//   more with the credentials that Authenticate would give (where urlmon does not ask
//   IAuthenticate).
// - A target file that cannot be opened or written, or a Put file that cannot be read, ends
//   the download: the binding is aborted, nothing more is stored, and the binding's end
//   reports OnComplete with the system's error as an HRESULT (0x80070003 for a missing
//   folder, 0x80070002 for a missing Put file). A Put file is read when urlmon asks for the
//   bind information; urlmon then fails BindToStorage with that error.
// - Lifetime of a callback object: it is held by whoever still needs it: the component's
//   DownloadList while its asynchronous binding runs, a waiting routine, and urlmon through
//   its COM references. Beside the shared RefCount (which AddRef and Release move, as the
//   component's one counter) each object counts its own holders, and its memory is freed
//   when the last of them lets go. Removing an object from DownloadList therefore ends the
//   component's hold only; urlmon may still call and release it afterwards. urlmon may drop
//   its last reference on a thread of its own: the counts are interlocked, the shared
//   counter is kept alive by every object that uses it, and an object's link to its
//   component is cut under a lock when the component goes first.
// - TBSCB's methods are defined by concern: BindCallback.cpp (lifetime, COM identity, the
//   binding's start, the inactivity timer), BindNegotiate.cpp (request headers, resumption,
//   the verdict on the answer's status), BindCredentials.cpp (window, security problems,
//   credentials and their one retry), BindInfo.cpp (bind information, POST and PUT bodies)
//   and BindProgress.cpp (progress, data, storage and the binding's end).
#pragma once

// clang-format off
#include <winsock2.h>  // before windows.h
#include <windows.h>
#include <urlmon.h>
// clang-format on

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "platform/win32/ComPtr.h"
#include "platform/win32/IntervalTimer.h"
#include "platform/win32/UniqueHandle.h"
#include "util/Strings.h"

namespace lorvex {

class TIEDownload;

// The settings of one download; the callback object keeps its own copy.
struct TInfo {
  TIEDownload* Sender = nullptr;
  std::wstring Url;
  int32_t TimeOut = 0;
  std::string FileName;  // empty: into memory
  std::string PostData;
  std::string PutFileName;
  StringList AdditionalHeader;
  std::string Password;
  std::string Username;
  std::string CustomVerb;
  std::string ExtraInfo;
  std::string Descriptor;
  std::string UserAgent;
  int32_t RangeBegin = 0;
  int32_t RangeEnd = 0;
  bool InheritHandle = false;
  uint32_t BindVerb = 0;
  uint32_t BindF = 0;
  uint32_t BindInfoF = 0;
  uint32_t CodePage = 0;
};

// The component's header lines as request header text: every line followed by CR LF (urlmon
// appends its own header lines right after this text), empty lines left out.
std::string JoinHeaderLines(const StringList& lines);

// The callback object of one download.
class TBSCB final : public IBindStatusCallback,
                    public IHttpNegotiate,
                    public IAuthenticate,
                    public IHttpSecurity {
 public:
  // One holder's share of a callback object: keeps its memory valid until released.
  class Hold {
   public:
    Hold() noexcept = default;
    explicit Hold(TBSCB* object) noexcept;  // takes a new share
    Hold(Hold&& other) noexcept;
    Hold& operator=(Hold&& other) noexcept;
    Hold(const Hold& other) noexcept : Hold(other.object_) {}
    Hold& operator=(const Hold&) = delete;
    ~Hold();
    TBSCB* get() const noexcept { return object_; }
    TBSCB* operator->() const noexcept { return object_; }
    TBSCB& operator*() const noexcept { return *object_; }
    explicit operator bool() const noexcept { return object_ != nullptr; }

   private:
    friend class TBSCB;
    TBSCB* object_ = nullptr;
  };

  // Constructs the object and starts the binding (StartBinding). A binding that cannot be
  // started has been reported through OnComplete when this returns.
  static Hold Create(const TInfo& info);
  // Constructs the object without binding, for a binding started elsewhere (tests drive the
  // interface methods directly this way).
  static Hold CreateUnbound(const TInfo& info);

  void StartBinding();
  // Asks the binding to abort (if there is one).
  void AbortBinding();
  // Stores nothing more and closes the target file for good, so that it can be removed: for
  // a binding given up on while it still runs (urlmon may ignore an abort).
  void ReleaseTarget() noexcept;
  // HTTP header queries through the binding's IWinInetHttpInfo; false when the query fails.
  bool QueryInfoNumber(DWORD option, DWORD& value);
  bool QueryInfoString(DWORD option, std::string& text);

  const TInfo& Info() const noexcept { return info_; }
  TIEDownload* Owner() const noexcept { return owner_; }
  DWORD ResponseCode() const noexcept { return responseCode_; }
  ULONG Received() const noexcept { return received_; }
  bool Redirected() const noexcept { return redirected_; }
  bool TimedOut() const noexcept { return timedOut_; }
  double StartTime() const noexcept { return startTime_; }
  ULONG PostDataSize() const noexcept { return postDataSize_; }
  IStream* MemoryStream() const noexcept { return memoryStream_.Get(); }
  IStream* FileStream() const noexcept { return fileStream_.Get(); }
  IBinding* Binding() const noexcept { return binding_.Get(); }
  // True once OnStopBinding has run, or once the binding could not be started.
  bool Stopped() const noexcept { return stopped_; }
  // The outcome this object decided itself: E_ABORT for a refused request or response, the
  // error of a target or Put file that could not be opened or written; S_OK when none.
  HRESULT OwnOutcome() const noexcept { return ownOutcome_; }
  // Number of callback objects whose memory is still allocated (for leak checks).
  static LONG LiveObjects() noexcept;

  // IUnknown
  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;
  // IWindowForBindingUI / IHttpSecurity
  STDMETHODIMP GetWindow(REFGUID rguidReason, HWND* phwnd) override;
  STDMETHODIMP OnSecurityProblem(DWORD dwProblem) override;
  // IAuthenticate
  STDMETHODIMP Authenticate(HWND* phwnd, LPWSTR* pszUsername, LPWSTR* pszPassword) override;
  // IHttpNegotiate
  STDMETHODIMP BeginningTransaction(LPCWSTR szURL, LPCWSTR szHeaders, DWORD dwReserved,
                                    LPWSTR* pszAdditionalHeaders) override;
  STDMETHODIMP OnResponse(DWORD dwResponseCode, LPCWSTR szResponseHeaders, LPCWSTR szRequestHeaders,
                          LPWSTR* pszAdditionalRequestHeaders) override;
  // IBindStatusCallback
  STDMETHODIMP OnStartBinding(DWORD dwReserved, IBinding* pib) override;
  STDMETHODIMP GetPriority(LONG* pnPriority) override;
  STDMETHODIMP OnLowResource(DWORD reserved) override;
  STDMETHODIMP OnProgress(ULONG ulProgress, ULONG ulProgressMax, ULONG ulStatusCode,
                          LPCWSTR szStatusText) override;
  STDMETHODIMP OnStopBinding(HRESULT hresult, LPCWSTR szError) override;
  STDMETHODIMP GetBindInfo(DWORD* grfBINDF, BINDINFO* pbindinfo) override;
  STDMETHODIMP OnDataAvailable(DWORD grfBSCF, DWORD dwSize, FORMATETC* pformatetc,
                               STGMEDIUM* pstgmed) override;
  STDMETHODIMP OnObjectAvailable(REFIID riid, IUnknown* punk) override;

 private:
  friend class TIEDownload;
  explicit TBSCB(const TInfo& info);
  ~TBSCB();
  TBSCB(const TBSCB&) = delete;
  TBSCB& operator=(const TBSCB&) = delete;

  void AddHolder() noexcept;
  void DropHolder() noexcept;
  // A new share unless the object is already being destroyed (its count has reached 0).
  static Hold HoldIfAlive(TBSCB* object) noexcept;
  // Guards the links between components and their callback objects (TIEDownload::attached_
  // and owner_ as the destructors use them): urlmon may free an object on another thread.
  static std::mutex& AttachLock();
  bool Cancelled() const noexcept;
  void RaiseComplete(IStream* stream, HRESULT result);
  // Ends the download with the given outcome: nothing more is stored and the binding is
  // aborted (a refusing result alone is ignored by some urlmon versions).
  void Refuse(HRESULT outcome);
  void OnTimer();
  void StartTimer();
  // The credentials that Authenticate hands out: from OnAuthenticate, else Username and
  // Password.
  HRESULT Credentials(HWND& window, std::wstring& user, std::wstring& password);
  // urlmon versions that do not ask IAuthenticate themselves pass a 401 or 407 answer on
  // to OnResponse; the request is then sent once more with the credentials (Basic).
  bool PrepareCredentialRetry(DWORD status);
  void RestartWithCredentials();
  HRESULT OpenTargetFile(bool append);
  HRESULT BuildRequestBody();
  void Store(const char* bytes, ULONG count);
  void ReleaseBindingObjects() noexcept;
  // The component lets go of this object (it is destroyed or no longer tracks it): no
  // further event reaches it, and a running binding is aborted.
  void Detach() noexcept;

  LONG holders_ = 0;
  std::shared_ptr<LONG> sharedCount_;  // the component's RefCount
  TInfo info_;
  win32::ComPtr<IStream> fileStream_;
  std::unique_ptr<win32::IntervalTimer> timer_;
  double startTime_ = 0;
  bool timedOut_ = false;
  win32::ComPtr<IBindCtx> bindCtx_;
  win32::ComPtr<IStream> stream_;
  win32::ComPtr<IMoniker> moniker_;
  TIEDownload* owner_ = nullptr;
  bool redirected_ = false;
  win32::UniqueHGlobal postDataHandle_;
  ULONG postDataSize_ = 0;
  ULONG received_ = 0;
  std::wstring url_;
  win32::ComPtr<IStream> memoryStream_;
  win32::ComPtr<IBinding> binding_;
  DWORD responseCode_ = 0;
  // The answer's Content-Length when its body comes as sent (no content coding); -1 when
  // unknown. A binding that ends "successfully" with fewer bytes was cut short.
  long long expectedLength_ = -1;
  // The binding's own state: the end has been seen; the target file was opened (or tried);
  // the outcome that this object decided itself (a refusal, a file that could not be opened
  // or written), which the binding's end reports in place of a successful result.
  bool stopped_ = false;
  bool fileOpenTried_ = false;
  bool targetReleased_ = false;  // ReleaseTarget: the target file is never opened again
  HRESULT ownOutcome_ = S_OK;
  bool credentialsTried_ = false;  // one retry with credentials per download
  bool retrying_ = false;          // the current binding ends for that retry
  std::string authorization_;      // the header line of the retry
};

}  // namespace lorvex
