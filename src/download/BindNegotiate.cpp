// The callback object's request headers (user agent, credentials, range of a resumed file,
// the component's header lines) and its verdict on the answer's status.
#include <string>

#include "download/BindCallback.h"
#include "download/IEDownload.h"
#include "platform/win32/AnsiText.h"
#include "platform/win32/Boundary.h"
#include "platform/win32/TaskText.h"

namespace lorvex {

namespace {

constexpr DWORD kQueryContentLength = 5;        // HTTP_QUERY_CONTENT_LENGTH
constexpr DWORD kQueryAcceptRanges = 42;        // HTTP_QUERY_ACCEPT_RANGES
constexpr DWORD kQueryContentEncoding = 29;     // HTTP_QUERY_CONTENT_ENCODING
constexpr DWORD kQueryFlagNumber = 0x20000000;  // HTTP_QUERY_FLAG_NUMBER
constexpr DWORD kQueryTextSize = 2049;
constexpr ULONG kResumeRestart = 1;  // OnResume actions
constexpr ULONG kResumeRefuse = 2;

}  // namespace

std::string JoinHeaderLines(const StringList& lines) {
  std::string text;
  for (const std::string& line : lines) {
    if (line.empty()) continue;  // an empty line would end the request's header block
    text += line;
    text += "\r\n";
  }
  return text;
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

    std::wstring additional = win32::AnsiToWide(headers);
    HRESULT result = S_OK;
    if (owner_->OnBeginningTransaction)
      result = owner_->OnBeginningTransaction(*this, szURL, szHeaders, dwReserved, additional);
    *pszAdditionalHeaders = win32::TaskCopy(additional).release();
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
        *pszAdditionalRequestHeaders = win32::TaskCopyOrNone(additional).release();
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

}  // namespace lorvex
