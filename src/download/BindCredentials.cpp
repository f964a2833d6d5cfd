// The callback object's window, security and credential answers, and the one retry of a
// request that was answered 401 or 407 where urlmon did not ask for credentials itself.
#include <string>

#include "archive/Base64.h"
#include "download/BindCallback.h"
#include "download/IEDownload.h"
#include "platform/win32/AnsiText.h"
#include "platform/win32/Boundary.h"
#include "platform/win32/TaskText.h"

namespace lorvex {

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
    win32::TaskString userCopy = win32::TaskCopyOrNone(user);
    win32::TaskString passwordCopy = win32::TaskCopyOrNone(password);
    *pszUsername = userCopy.release();
    *pszPassword = passwordCopy.release();
    return result;
  });
}

HRESULT TBSCB::Credentials(HWND& window, std::wstring& user, std::wstring& password) {
  if (owner_ && owner_->OnAuthenticate)
    return owner_->OnAuthenticate(*this, window, user, password);
  user = win32::AnsiToWide(info_.Username);
  password = win32::AnsiToWide(info_.Password);
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
  authorization_ =
      std::string(status == 407 ? "Proxy-Authorization" : "Authorization") + ": Basic " +
      Base64Encode(win32::WideToAnsi(user) + ":" + win32::WideToAnsi(password)) + "\r\n";
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

}  // namespace lorvex
