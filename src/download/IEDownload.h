// The URL-moniker downloader. TIEDownload holds the settings of downloads and starts them
// through urlmon, into a file or into memory; each download is carried out by a TBSCB, the
// callback object that urlmon calls while it binds.
//
// Conventions of this unit:
// - Everything runs on the thread that made the component, with COM initialised on it.
//   Asynchronous bindings (and the inactivity timers) progress only while that thread
//   processes window messages; the *AndWait routines do so until their download has ended.
// - Texts are 8-bit in the system's ANSI code page. Texts handed to urlmon are converted to
//   UTF-16 and allocated with CoTaskMemAlloc; urlmon frees them.
// - Every outcome reaches the program through OnComplete, possibly more than once for one
//   download (an early refusal, then the binding's own end); the last call is the outcome.
//   A refused response ends the binding through IBinding::Abort as well as by the refusing
//   result, because some urlmon versions ignore the result; the last outcome of a refused
//   download is always a failure, and nothing of a refused response is stored. A 5xx answer
//   ends with INET_E_DOWNLOAD_FAILURE (urlmon's own outcome for it where urlmon judges the
//   status itself), and so does a 206 when no range was asked for (its body is only a part
//   of the resource); a 401 or 407 answer that reaches OnResponse is sent once more with the
//   credentials that Authenticate would give (where urlmon does not ask IAuthenticate).
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
#pragma once

// clang-format off
#include <winsock2.h>  // before windows.h
#include <windows.h>
#include <urlmon.h>
// clang-format on

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "platform/win32/ComPtr.h"
#include "platform/win32/IntervalTimer.h"
#include "platform/win32/UniqueHandle.h"
#include "util/Strings.h"

namespace lorvex {

// A set of enumeration values held as bits: value i is bit i.
template <typename E>
class EnumSet {
 public:
  constexpr EnumSet() noexcept = default;
  constexpr EnumSet(std::initializer_list<E> values) noexcept {
    for (E value : values) Include(value);
  }
  constexpr EnumSet& Include(E value) noexcept {
    bits_ |= Bit(value);
    return *this;
  }
  constexpr EnumSet& Exclude(E value) noexcept {
    bits_ &= ~Bit(value);
    return *this;
  }
  constexpr bool Contains(E value) const noexcept { return (bits_ & Bit(value)) != 0; }
  constexpr uint32_t Bits() const noexcept { return bits_; }
  constexpr bool operator==(const EnumSet&) const noexcept = default;

 private:
  static constexpr uint32_t Bit(E value) noexcept { return uint32_t(1) << unsigned(value); }
  uint32_t bits_ = 0;
};

// Option i stands for urlmon's bind flag 1 shl i (BINDF_ASYNCHRONOUS = 0x1, ...).
enum class TBindInfoOption : uint8_t {
  Asynchronous,
  AsyncStorage,
  NoProgressiveRendering,
  OfflineOperation,
  GetNewestVersion,
  NoWriteCache,
  NeedFile,
  PullData,
  IgnoreSecurityProblem,
  Resynchronize,
  Hyperlink,
  No_UI,
  SilentOperation,
  Pragma_No_Cache,
  GetClassObject,
  Reserved_1,
  Free_Threaded,
  Direct_Read,
  Forms_Submit,
  GetFromCache_If_Net_Fail,
  FromUrlmon,
  Fwd_Back,
  Reserved_2,
  Reserved_3
};
using TBindInfoOptions = EnumSet<TBindInfoOption>;

enum class TBindVerbOption : uint8_t { Get, Post, Put, Custom };
enum class TCodePageOption : uint8_t { Ansi, OEM, Mac, ThreadsAnsi, Symbol, UTF7, UTF8 };
enum class TUrlEncodeOption : uint8_t { PostData, ExtraInfo };
using TUrlEncodeOptions = EnumSet<TUrlEncodeOption>;

// BINDVERB_GET .. BINDVERB_CUSTOM.
uint32_t BindVerbNumber(TBindVerbOption verb);
// CP_ACP, CP_OEMCP, CP_MACCP, CP_THREAD_ACP, CP_SYMBOL, CP_UTF7, CP_UTF8.
uint32_t CodePageNumberOf(TCodePageOption codePage);

struct TSecurity {
  bool InheritHandle = false;
  std::string Descriptor;  // bytes of a security descriptor, handed to the binding as they are
};

struct TRange {
  int32_t RangeBegin = 0;
  int32_t RangeEnd = 0;
};

class TBSCB;
class TIEDownload;

// Events. Sender is always the download's callback object. UTF-16 parameters that a handler
// sets are std::wstring: the callback object allocates what it hands to urlmon. OnData's
// buffer is a byte string that the handler may change or replace; at most its size is stored.
using TOnProgressEvent = std::function<void(
    TBSCB& Sender, ULONG ulProgress, ULONG ulProgressMax, ULONG ulStatusCode, LPCWSTR szStatusText,
    const std::string& ElapsedTime, const std::string& Speed, const std::string& EstimatedTime)>;
using TOnResumeEvent =
    std::function<void(TBSCB& Sender, const std::string& Filename, ULONG& Action)>;
using TBeginningTransactionEvent =
    std::function<HRESULT(TBSCB& Sender, LPCWSTR szURL, LPCWSTR szHeaders, ULONG dwReserved,
                          std::wstring& szAdditionalHeaders)>;
using TOnResponseEvent =
    std::function<HRESULT(TBSCB& Sender, ULONG dwResponseCode, LPCWSTR szResponseHeaders,
                          LPCWSTR szRequestHeaders, std::wstring& szAdditionalRequestHeaders)>;
using TAuthenticateEvent = std::function<HRESULT(
    TBSCB& Sender, HWND& hwnd, std::wstring& szUserName, std::wstring& szPassWord)>;
using TOnCompleteEvent = std::function<void(TBSCB& Sender, IStream* Stream, HRESULT Result)>;
using TOnDataEvent = std::function<void(TBSCB& Sender, std::string& Buffer, ULONG& BufLength)>;
using TGetWindowEvent = std::function<HRESULT(TBSCB& Sender, const GUID& guidReason, HWND& hwnd)>;
using TOnSecurityProblemEvent = std::function<HRESULT(TBSCB& Sender, ULONG dwProblem)>;

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

// The texts of a progress notification (see TBSCB::OnProgress).
struct TransferTexts {
  std::string ElapsedTime;
  std::string Speed;
  std::string EstimatedTime;
};

// Date-times are days since 30 December 1899, as doubles.
double NowAsDateTime();
// The time-of-day part of a date-time in the system's long time format.
std::string LongTimeText(double dateTime);
// The system's decimal separator.
char SystemDecimalSeparator();
// A number in general format: up to 15 significant digits, fixed notation from 0.00001 up to
// 15 integer digits, otherwise d.dddE+x / d.dddE-x; trailing zeros dropped.
std::string GeneralFloatText(double value, char decimalSeparator);
// The rate (kilobytes of 1000 bytes per second) as text: general format cut two characters
// after the decimal separator, then " kb/sec".
std::string SpeedText(double rate, char decimalSeparator);
// The three texts of a progress notification. Elapsed time is counted in whole milliseconds.
// No rate is known before the first data (startTime 0) or while no millisecond has passed:
// Speed and EstimatedTime are then empty; EstimatedTime is also empty when the maximum is 0
// or nothing has arrived yet.
TransferTexts MakeTransferTexts(ULONG progress, ULONG progressMax, double startTime, double now,
                                char decimalSeparator,
                                const std::function<std::string(double)>& timeText);

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
  // Beyond the described fields: the end has been seen; the file was opened (or tried);
  // the outcome that this object decided itself (a refusal, a file that could not be opened
  // or written), which the binding's end reports in place of a successful result.
  bool stopped_ = false;
  bool fileOpenTried_ = false;
  HRESULT ownOutcome_ = S_OK;
  bool credentialsTried_ = false;  // one retry with credentials per download
  bool retrying_ = false;          // the current binding ends for that retry
  std::string authorization_;      // the header line of the retry
};

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

class TIEDownload {
 public:
  // Reads UserAgent from the registry; a value of the wrong type throws.
  TIEDownload();
  ~TIEDownload();
  TIEDownload(const TIEDownload&) = delete;
  TIEDownload& operator=(const TIEDownload&) = delete;

  std::string Name;
  int Tag = 0;

  // Published settings, in their order.
  int32_t TimeOut = 0;  // inactivity time-out in ms; 0 (or less) means none
  std::string ExtraInfo;
  std::string CustomVerb;
  TCodePageOption Codepage() const noexcept { return codepage_; }
  void SetCodepage(TCodePageOption value) noexcept;
  TBindVerbOption Method() const noexcept { return method_; }
  void SetMethod(TBindVerbOption value) noexcept;
  TBindInfoOptions Options() const noexcept { return options_; }
  void SetOptions(TBindInfoOptions value) noexcept;
  TUrlEncodeOptions UrlEncode;
  TSecurity Security;
  TRange Range;
  std::string Password;
  std::string Username;
  std::string PutFileName;
  StringList AdditionalHeader{"Content-Type: application/x-www-form-urlencoded"};
  std::string PostData;
  std::string UserAgent;
  TOnProgressEvent OnProgress;
  TOnResumeEvent OnResume;
  TBeginningTransactionEvent OnBeginningTransaction;
  TOnResponseEvent OnResponse;
  TAuthenticateEvent OnAuthenticate;
  TOnCompleteEvent OnComplete;
  TOnDataEvent OnData;
  TGetWindowEvent OnGetWindow;
  TOnSecurityProblemEvent OnSecurityProblem;

  // Derived values.
  uint32_t BindVerb() const noexcept { return bindVerb_; }
  uint32_t BindF() const noexcept { return bindF_; }
  uint32_t CodePageNumber() const noexcept { return codePageNumber_; }
  uint32_t BindInfoF() const noexcept { return 0; }

  // Running asynchronous downloads; the list holds each callback object until its end.
  const std::vector<TBSCB::Hold>& DownloadList() const noexcept { return downloadList_; }
  LONG RefCount() const noexcept { return *refCount_; }
  bool Cancelled() const noexcept { return cancelled_; }

  void DownloadToFile(const std::string& URL, const std::string& FileName);
  void DownloadToMemory(const std::string& URL, bool AsText, std::string& Text);
  // Sets Cancelled; running downloads notice it at their next notification (a waiting
  // routine aborts its download at once).
  void Cancel() noexcept { cancelled_ = true; }

  // The same downloads, followed by a wait that processes the thread's window messages
  // until the download's binding has stopped (its last OnComplete has run), the limits run
  // out or Cancel is called. A download that is not over by then is aborted, and the wait
  // goes on for a bounded grace period so that its end is reported. Text receives what the
  // memory stream holds when the wait ends (as DownloadToMemory gives it).
  WaitOutcome DownloadToFileAndWait(const std::string& URL, const std::string& FileName,
                                    const WaitLimits& limits);
  WaitOutcome DownloadToMemoryAndWait(const std::string& URL, bool AsText, std::string& Text,
                                      const WaitLimits& limits);
  // Waits in the same way until DownloadList is empty.
  WaitOutcome WaitForAll(const WaitLimits& limits);

  // The "User Agent" value of the system's Internet settings, or empty.
  static std::string ReadSystemUserAgent();
  // The settings of a download of URL into fileName (empty: into memory), as the download
  // routines hand them to the callback object.
  TInfo MakeInfo(const std::string& url, const std::string& fileName) const;

 private:
  friend class TBSCB;
  TBSCB::Hold Start(const std::string& url, const std::string& fileName);
  WaitOutcome Wait(const std::function<bool()>& ended, const std::function<void()>& abort,
                   const WaitLimits& limits);
  static std::string MemoryText(TBSCB& download, bool asText);
  void Remove(TBSCB* download) noexcept;

  std::vector<TBSCB::Hold> downloadList_;
  // Every callback object made by this component whose memory is still allocated, running
  // or not: urlmon may release them after the component is gone, so they are detached then.
  std::set<TBSCB*> attached_;
  std::shared_ptr<LONG> refCount_ = std::make_shared<LONG>(1);
  bool cancelled_ = false;
  uint32_t bindVerb_ = 0;
  uint32_t bindF_ = 0;
  uint32_t codePageNumber_ = 0;
  TBindInfoOptions options_;
  TBindVerbOption method_ = TBindVerbOption::Get;
  TCodePageOption codepage_ = TCodePageOption::Ansi;
};

}  // namespace lorvex
