#include "dialogs/DownloadErrors.h"

#include <string>
#include <utility>
#include <vector>

#include "dialogs/DialogIds.h"
#include "dialogs/DialogLook.h"
#include "dialogs/DownloadFlags.h"
#include "dialogs/MessagePump.h"
#include "http/HttpFetch.h"

namespace lorvex {

namespace {

constexpr int kWidth = 457;
constexpr int kHeight = 262;

TForm_DownloadErrors* current = nullptr;

// The application's owner window when this thread runs it (a window of another thread would
// tie the two threads' input together).
HWND OwnerOnThisThread(HWND owner) {
  if (!owner || !::IsWindow(owner)) return nullptr;
  return ::GetWindowThreadProcessId(owner, nullptr) == ::GetCurrentThreadId() ? owner : nullptr;
}

// Disables windows for the time of a modal dialog and enables them again.
class DisabledWindows {
 public:
  DisabledWindows(HWND dialog, HWND owner) : dialog_(dialog) {
    ::EnumThreadWindows(::GetCurrentThreadId(), &Collect, reinterpret_cast<LPARAM>(this));
    Add(owner);
    for (HWND window : windows_) ::EnableWindow(window, FALSE);
  }
  ~DisabledWindows() {
    for (HWND window : windows_)
      if (::IsWindow(window)) ::EnableWindow(window, TRUE);
  }
  DisabledWindows(const DisabledWindows&) = delete;
  DisabledWindows& operator=(const DisabledWindows&) = delete;

 private:
  static BOOL CALLBACK Collect(HWND window, LPARAM self) {
    auto* list = reinterpret_cast<DisabledWindows*>(self);
    list->Add(window);
    return TRUE;
  }
  void Add(HWND window) {
    if (!window || window == dialog_ || !::IsWindowEnabled(window)) return;
    for (HWND known : windows_)
      if (known == window) return;
    windows_.push_back(window);
  }

  HWND dialog_;
  std::vector<HWND> windows_;
};

// The Retry button's client: the dialogs' request header values, cookies kept, redirects not
// followed.
std::unique_ptr<THttpClient> MakeRetryClient() {
  auto http = std::make_unique<THttpClient>();
  http->HandleRedirects = false;
  http->AllowCookies = true;
  http->ReadTimeout = 0;
  http->MaxLineAction = TMaxLineAction::maException;
  http->HTTPOptions = THttpOption::hoForceEncodeParams;
  http->ProxyParams = TProxyParams{};
  http->Request = THttpRequestSettings{};
  return http;
}

}  // namespace

TForm_DownloadErrors* Form_DownloadErrors() { return current; }

TForm_DownloadErrors::TForm_DownloadErrors(DialogHost host)
    : HTTP(MakeRetryClient()), host_(std::move(host)) {
  CreateForm(kErrorsCaption, OwnerOnThisThread(host_.Owner), kWidth, kHeight);
  // In the order the dialog's design makes them.
  AddFlatButton(L"确认(&O)", 356, 199, 82, 22, kIdOk);
  AddFlatButton(L"重试下载(&R)", 272, 199, 82, 22, kIdRetry);
  AddFlatButton(L"终止(&A)", 189, 199, 82, 22, kIdErrorsStop);
  AddControl(L"EDIT", L"",
             WS_VISIBLE | WS_TABSTOP | WS_HSCROLL | WS_VSCROLL | ES_MULTILINE | ES_READONLY |
                 ES_AUTOHSCROLL | ES_AUTOVSCROLL,
             WS_EX_CLIENTEDGE, 8, 8, 433, 185, kIdErrorList);
  current = this;
  FormCreate();
}

TForm_DownloadErrors::~TForm_DownloadErrors() {
  FormDestroy();
  DetachWindow();
}

void TForm_DownloadErrors::FormCreate() {
  if (host_.PrepareForm) host_.PrepareForm(Handle());
  FailedUrls.clear();
  FailedTargets.clear();
  DownloadFlags().StopAll = false;
}

void TForm_DownloadErrors::FormShow() {
  if (host_.DialogState) savedDialogState_ = std::exchange(*host_.DialogState, 0);
  ApplyDialogFont(Handle(), host_.Font);
  SetDialogFontCharset(Handle(), host_.FontCharset);
  if (HTTP) {
    HTTP->ProxyParams.ProxyServer = host_.ProxyServer;
    HTTP->ProxyParams.ProxyPort = host_.ProxyPort;
    HTTP->ReadTimeout = host_.ReadTimeout;
  }
  SetDialogColor(Handle(), host_.Color);
  RefreshErrorList();
}

void TForm_DownloadErrors::RefreshErrorList() {
  std::wstring text;
  for (size_t i = 0; i < FailedUrls.size(); ++i) {
    if (i) text += L"\r\n";
    text += AnsiToUtf16(FailedUrls[i]);
  }
  ::SetWindowTextW(Control(kIdErrorList), text.c_str());
}

int TForm_DownloadErrors::ShowModal() {
  modalResult_ = mrNone;
  FormShow();
  PlaceScreenCenter(Handle());
  {
    DisabledWindows disabled(Handle(), ::GetWindow(Handle(), GW_OWNER));
    showing_ = true;
    ::ShowWindow(Handle(), SW_SHOW);
    ::SetActiveWindow(Handle());
    ::UpdateWindow(Handle());
    // Ends only when the dialog closes (a button, the close box) or the thread is told to
    // quit; the reference host presses a button itself, so unattended runs end too.
    MSG message;
    while (modalResult_ == mrNone) {
      BOOL got = ::GetMessageW(&message, nullptr, 0, 0);
      if (got <= 0) {
        if (got == 0) ::PostQuitMessage(int(message.wParam));
        CloseWith(mrCancel);
        break;
      }
      if (HandleDialogKey(message)) continue;
      ::TranslateMessage(&message);
      ::DispatchMessageW(&message);
    }
    showing_ = false;
  }  // the other windows are enabled again before this one hides, so one of them is activated
  ::ShowWindow(Handle(), SW_HIDE);
  return modalResult_;
}

void TForm_DownloadErrors::CloseWith(int result) {
  if (!showing_ || modalResult_ != mrNone) return;
  FormClose();
  modalResult_ = result;
}

void TForm_DownloadErrors::btnRetryClick() {
  HWND retry = Control(kIdRetry);
  HWND ok = Control(kIdOk);
  // Enabled again however the retry ends, an exception included.
  struct Reenable {
    HWND retry, ok;
    ~Reenable() {
      ::EnableWindow(retry, TRUE);
      ::EnableWindow(ok, TRUE);
    }
  } reenable{retry, ok};
  ::EnableWindow(retry, FALSE);
  ::EnableWindow(ok, FALSE);
  StringList urls = FailedUrls;
  StringList targets = FailedTargets;
  for (size_t i = urls.size(); i-- > 0;) {
    if (!HTTP || !HttpGetToFile(urls[i], targets.at(i), *HTTP)) continue;
    urls.erase(urls.begin() + std::ptrdiff_t(i));
    targets.erase(targets.begin() + std::ptrdiff_t(i));
    ProcessPendingMessages();
  }
  FailedTargets = std::move(targets);
  FailedUrls = std::move(urls);
  RefreshErrorList();
}

void TForm_DownloadErrors::btnokClick() {
  DownloadFlags().StopAll = false;
  CloseWith(mrOk);
}

void TForm_DownloadErrors::btnStopClick() {
  DownloadFlags().StopAll = true;
  DownloadFlags().Stop = true;
  CloseWith(mrAbort);
}

void TForm_DownloadErrors::FormClose() {
  if (host_.DialogState) *host_.DialogState = savedDialogState_;
  if (HTTP) HTTP->Disconnect();
}

bool TForm_DownloadErrors::FormCanResize(int&, int&) { return false; }

void TForm_DownloadErrors::FormDestroy() {
  FailedUrls.clear();
  FailedTargets.clear();
  if (current == this) current = nullptr;
}

void TForm_DownloadErrors::Command(int id) {
  switch (id) {
    case kIdOk:
      btnokClick();
      break;
    case kIdRetry:
      btnRetryClick();
      break;
    case kIdErrorsStop:
      btnStopClick();
      break;
    default:
      break;
  }
}

}  // namespace lorvex
