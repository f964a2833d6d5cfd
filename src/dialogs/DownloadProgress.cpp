#include "dialogs/DownloadProgress.h"

#include <commctrl.h>

#include <algorithm>
#include <utility>

#include "dialogs/DialogIds.h"
#include "dialogs/DialogLook.h"
#include "dialogs/DownloadFlags.h"
#include "dialogs/MessagePump.h"

namespace lorvex {

namespace {

constexpr int kClientWidth = 343;
constexpr int kClientHeight = 136;
constexpr int kProgressMax = 100;
// Posted to itself when the dialog has lost the focus and must take it back.
constexpr UINT kRetakeFocusMessage = WM_APP + 1;

TForm_DownloadProgress* current = nullptr;

}  // namespace

TForm_DownloadProgress* Form_DownloadProgress() { return current; }

TForm_DownloadProgress::TForm_DownloadProgress(DialogHost host) : host_(std::move(host)) {
  // Made without an owner; placed over the application's owner window when shown.
  SIZE outer = OuterSize(kClientWidth, kClientHeight);
  CreateForm(kProgressCaption, nullptr, outer.cx, outer.cy);
  // In the order the dialog's design makes them.
  AddFlatButton(L"跳过(&K)", 159, 105, 89, 24, kIdSkip);
  AddFlatButton(L"终止(&A)", 252, 105, 81, 24, kIdProgressStop);
  AddFlatButton(L"取消等待", 12, 105, 117, 24, kIdCancelWaiting);
  HWND animate = AddControl(ANIMATE_CLASSW, L"", WS_VISIBLE | ACS_CENTER | ACS_TRANSPARENT, 0, 0, 0,
                            kClientWidth, 60, kIdAnimate);
  shell32_.reset(::LoadLibraryW(L"shell32.dll"));
  if (shell32_)
    ::SendMessageW(animate, ACM_OPENW, reinterpret_cast<WPARAM>(shell32_.get()),
                   reinterpret_cast<LPARAM>(MAKEINTRESOURCEW(kFileCopyAnimation)));
  HWND bar = AddControl(PROGRESS_CLASSW, L"", WS_VISIBLE, 0, 12, 72, 320, 16, kIdProgressBar);
  ::SendMessageW(bar, PBM_SETRANGE32, 0, kProgressMax);
  current = this;
  FormCreate();
}

TForm_DownloadProgress::~TForm_DownloadProgress() {
  FormDestroy();
  if (HWND animate = Control(kIdAnimate)) ::SendMessageW(animate, ACM_OPENW, 0, 0);
  DetachWindow();
}

void TForm_DownloadProgress::FormCreate() {
  if (host_.PrepareForm) host_.PrepareForm(Handle());
  DownloadFlags().StopAll = false;
}

void TForm_DownloadProgress::FormShow() {
  if (host_.DialogState) savedDialogState_ = std::exchange(*host_.DialogState, 0);
  closing_ = false;
  ApplyDialogFont(Handle(), host_.Font);
  SetDialogFontCharset(Handle(), host_.FontCharset);
  SetProgress(0);
  // A clip shorter than the stop frame (some systems ship a stand-in of a frame or two) is
  // played whole.
  HWND animate = Control(kIdAnimate);
  if (!::SendMessageW(animate, ACM_PLAY, WPARAM(-1), MAKELPARAM(0, kAnimationStopFrame - 1)))
    ::SendMessageW(animate, ACM_PLAY, WPARAM(-1), MAKELPARAM(0, WORD(-1)));
  DownloadFlags().Stop = false;
  DownloadFlags().CancelWaiting = false;
  SetDialogColor(Handle(), host_.Color);
}

void TForm_DownloadProgress::Show() {
  FormShow();
  if (!placed_) {
    PlaceMainFormCenter(Handle(), host_.Owner);
    placed_ = true;
  }
  ::ShowWindow(Handle(), SW_SHOW);
  ::UpdateWindow(Handle());
}

void TForm_DownloadProgress::SetProgress(int position) {
  ::SendMessageW(Control(kIdProgressBar), PBM_SETPOS, WPARAM(std::clamp(position, 0, kProgressMax)),
                 0);
}

void TForm_DownloadProgress::Close() {
  FormClose();
  ::ShowWindow(Handle(), SW_HIDE);
}

void TForm_DownloadProgress::btnStopClick() {
  DownloadFlags().StopAll = true;
  DownloadFlags().Stop = true;
}

void TForm_DownloadProgress::btnSkipClick() { skipPressed_ = true; }

void TForm_DownloadProgress::btnCancelWaitingClick() {
  DownloadFlags().CancelWaiting = true;
  ::ShowWindow(Control(kIdCancelWaiting), SW_HIDE);
}

void TForm_DownloadProgress::FormClose() {
  closing_ = true;
  if (host_.DialogState) *host_.DialogState = savedDialogState_;
  if (OnClose) std::exchange(OnClose, nullptr)();
  ::SendMessageW(Control(kIdAnimate), ACM_STOP, 0, 0);
}

bool TForm_DownloadProgress::FormCanResize(int&, int&) { return false; }

void TForm_DownloadProgress::FormDestroy() {
  if (current == this) current = nullptr;
}

void TForm_DownloadProgress::WMKillFocus() {
  // A disabled dialog (under the modal error list) is left alone; the focus comes back on the
  // next message round, once the window that took it has got it.
  if (closing_ || !::IsWindowVisible(Handle()) || !::IsWindowEnabled(Handle())) return;
  ::PostMessageW(Handle(), kRetakeFocusMessage, 0, 0);
}

void TForm_DownloadProgress::RetakeFocus() {
  HWND window = Handle();
  if (closing_ || !::IsWindowVisible(window) || !::IsWindowEnabled(window)) return;
  if (::GetFocus() == window) return;
  if (::GetActiveWindow() != window) ::SetActiveWindow(window);
  ::SetFocus(window);
}

LRESULT TForm_DownloadProgress::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_KILLFOCUS:
      WMKillFocus();
      return 0;
    case kRetakeFocusMessage:
      RetakeFocus();
      return 0;
    default:
      return TDialogForm::HandleMessage(message, wParam, lParam);
  }
}

void TForm_DownloadProgress::Command(int id) {
  switch (id) {
    case kIdSkip:
      btnSkipClick();
      break;
    case kIdProgressStop:
      btnStopClick();
      break;
    case kIdCancelWaiting:
      btnCancelWaitingClick();
      break;
    default:
      break;
  }
}

}  // namespace lorvex
