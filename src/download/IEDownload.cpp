#include "download/IEDownload.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <limits>
#include <mutex>
#include <new>
#include <stdexcept>

#include "platform/win32/AnsiText.h"
#include "platform/win32/MemoryStream.h"

namespace lorvex {

namespace {

const char kDefaultHeaderLine[] = "Content-Type: application/x-www-form-urlencoded";
const char kInternetSettingsKey[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\";

}  // namespace

// --- Enumerations -------------------------------------------------------------------------

uint32_t BindVerbNumber(TBindVerbOption verb) { return uint32_t(verb); }

uint32_t CodePageNumberOf(TCodePageOption codePage) {
  switch (codePage) {
    case TCodePageOption::Ansi:
      return CP_ACP;
    case TCodePageOption::OEM:
      return CP_OEMCP;
    case TCodePageOption::Mac:
      return CP_MACCP;
    case TCodePageOption::ThreadsAnsi:
      return CP_THREAD_ACP;
    case TCodePageOption::Symbol:
      return CP_SYMBOL;
    case TCodePageOption::UTF7:
      return CP_UTF7;
    case TCodePageOption::UTF8:
      return CP_UTF8;
  }
  return CP_ACP;
}

// --- Progress texts -----------------------------------------------------------------------

double NowAsDateTime() {
  SYSTEMTIME now;
  ::GetLocalTime(&now);
  return DateTimeOf(now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond,
                    now.wMilliseconds);
}

std::string LongTimeText(double dateTime) {
  const TimeOfDay timeOfDay = TimeOfDayOf(dateTime);
  SYSTEMTIME time{};
  time.wYear = 1899;
  time.wMonth = 12;
  time.wDay = 30;
  time.wHour = WORD(timeOfDay.Hour);
  time.wMinute = WORD(timeOfDay.Minute);
  time.wSecond = WORD(timeOfDay.Second);
  time.wMilliseconds = WORD(timeOfDay.Millisecond);
  char text[128];
  int length = ::GetTimeFormatA(LOCALE_USER_DEFAULT, 0, &time, nullptr, text, sizeof text);
  return length > 0 ? std::string(text, size_t(length - 1)) : std::string();
}

char SystemDecimalSeparator() {
  char separator[8] = {};
  if (::GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, separator, sizeof separator) > 0 &&
      separator[0] != '\0')
    return separator[0];
  return '.';
}

// --- TIEDownload ----------------------------------------------------------------------------

TIEDownload::TIEDownload() {
  SetOptions({TBindInfoOption::Asynchronous, TBindInfoOption::AsyncStorage,
              TBindInfoOption::GetNewestVersion, TBindInfoOption::NoWriteCache,
              TBindInfoOption::PullData});
  SetMethod(TBindVerbOption::Get);
  SetCodepage(TCodePageOption::Ansi);
  AdditionalHeader = {kDefaultHeaderLine};
  UserAgent = ReadSystemUserAgent();
}

TIEDownload::~TIEDownload() {
  cancelled_ = true;
  // Every callback object still alive is let go of: running bindings are aborted, and a
  // later call from urlmon (a Release at least) no longer reaches this component.
  std::vector<TBSCB::Hold> attached;
  {
    std::lock_guard<std::mutex> guard(TBSCB::AttachLock());
    for (TBSCB* download : attached_) {
      download->owner_ = nullptr;  // one being freed elsewhere just skips this component
      if (TBSCB::Hold hold = TBSCB::HoldIfAlive(download)) attached.push_back(std::move(hold));
    }
    attached_.clear();
  }
  std::vector<TBSCB::Hold> running = std::move(downloadList_);
  downloadList_.clear();
  for (TBSCB::Hold& download : attached) download->Detach();  // aborts what still runs
}

void TIEDownload::SetCodepage(TCodePageOption value) noexcept {
  codepage_ = value;
  codePageNumber_ = CodePageNumberOf(value);
}

void TIEDownload::SetMethod(TBindVerbOption value) noexcept {
  method_ = value;
  bindVerb_ = BindVerbNumber(value);
}

void TIEDownload::SetOptions(TBindInfoOptions value) noexcept {
  options_ = value;
  bindF_ = value.Bits();
}

TInfo TIEDownload::MakeInfo(const std::string& url, const std::string& fileName) const {
  TInfo info;
  info.Sender = const_cast<TIEDownload*>(this);
  info.Url = win32::AnsiToWide(url);
  info.TimeOut = TimeOut;
  info.FileName = fileName;
  info.PostData = PostData;
  info.PutFileName = PutFileName;
  info.AdditionalHeader = AdditionalHeader;
  info.Password = Password;
  info.Username = Username;
  info.CustomVerb = CustomVerb;
  info.ExtraInfo = ExtraInfo;
  info.Descriptor = Security.Descriptor;
  info.UserAgent = UserAgent;
  info.RangeBegin = Range.RangeBegin;
  info.RangeEnd = Range.RangeEnd;
  info.InheritHandle = Security.InheritHandle;
  info.BindVerb = bindVerb_;
  info.BindF = bindF_;
  info.BindInfoF = BindInfoF();
  info.CodePage = codePageNumber_;
  return info;
}

TBSCB::Hold TIEDownload::Start(const std::string& url, const std::string& fileName) {
  cancelled_ = false;
  TBSCB::Hold download = TBSCB::Create(MakeInfo(url, fileName));
  // An asynchronous binding that has already ended (it failed while starting) is not listed.
  if ((bindF_ & BINDF_ASYNCHRONOUS) && !download->Stopped()) downloadList_.push_back(download);
  return download;
}

void TIEDownload::Remove(TBSCB* download) noexcept {
  auto found = std::find_if(downloadList_.begin(), downloadList_.end(),
                            [download](const TBSCB::Hold& hold) { return hold.get() == download; });
  if (found != downloadList_.end()) downloadList_.erase(found);
}

void TIEDownload::DownloadToFile(const std::string& URL, const std::string& FileName) {
  Start(URL, FileName);
}

void TIEDownload::DownloadToMemory(const std::string& URL, bool AsText, std::string& Text) {
  TBSCB::Hold download = Start(URL, std::string());
  Text = MemoryText(*download, AsText);
}

std::string TIEDownload::MemoryText(TBSCB& download, bool asText) {
  if (!asText) return std::string();
  // ReadAll leaves the position at the end, where a running binding goes on writing.
  std::string content = win32::ReadAll(download.MemoryStream());
  size_t zero = content.find('\0');
  if (zero != std::string::npos) content.resize(zero);
  return NormalizeLineBreaks(content);
}

std::string TIEDownload::ReadSystemUserAgent() {
  win32::UniqueHKey key;
  if (::RegOpenKeyExA(HKEY_CURRENT_USER, kInternetSettingsKey, 0, KEY_READ, key.put()) !=
      ERROR_SUCCESS)
    return std::string();
  for (;;) {
    DWORD type = 0;
    DWORD size = 0;
    LONG status = ::RegQueryValueExA(key.get(), "User Agent", nullptr, &type, nullptr, &size);
    if (status == ERROR_FILE_NOT_FOUND) return std::string();
    if (status != ERROR_SUCCESS) throw std::runtime_error("cannot read the system user agent");
    if (type != REG_SZ && type != REG_EXPAND_SZ)
      throw std::runtime_error("the system user agent is not a string value");
    std::string value(size, '\0');
    status = ::RegQueryValueExA(key.get(), "User Agent", nullptr, &type,
                                reinterpret_cast<BYTE*>(value.data()), &size);
    if (status == ERROR_MORE_DATA) continue;  // it grew in between
    if (status != ERROR_SUCCESS) throw std::runtime_error("cannot read the system user agent");
    value.resize(strnlen(value.data(), std::min<size_t>(size, value.size())));
    return value;
  }
}

}  // namespace lorvex
