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
// - Every outcome reaches the program through OnComplete; BindCallback.h tells how a
//   download ends and how long its callback object lives.
// - The waiting routines (DownloadToFileAndWait, DownloadToMemoryAndWait, WaitForAll) are
//   defined in DownloadWait.cpp.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "download/BindCallback.h"
#include "download/DownloadWait.h"
#include "util/DisplayText.h"
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

// What the progress texts take from the system (util/DisplayText.h makes the texts).
// The local date and time now as a date-time.
double NowAsDateTime();
// The time-of-day part of a date-time in the system's long time format.
std::string LongTimeText(double dateTime);
// The system's decimal separator.
char SystemDecimalSeparator();

class TIEDownload {
 public:
  // Reads UserAgent from the registry; a value of the wrong type throws.
  TIEDownload();
  ~TIEDownload();
  TIEDownload(const TIEDownload&) = delete;
  TIEDownload& operator=(const TIEDownload&) = delete;

  std::string Name;
  int Tag = 0;

  // Settings copied into each download when it starts (MakeInfo), and its events.
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
  // Starts a download of URL into FileName (into memory when empty) and hands over its
  // callback object at once: an asynchronous one runs while the thread processes messages,
  // and has ended when the object's Stopped() says so.
  TBSCB::Hold StartDownload(const std::string& URL, const std::string& FileName) {
    return Start(URL, FileName);
  }
  // What a download into memory holds, as DownloadToMemory gives it.
  static std::string MemoryText(TBSCB& download, bool asText);
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
