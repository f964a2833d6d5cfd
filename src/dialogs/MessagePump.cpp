#include "dialogs/MessagePump.h"

#include "dialogs/DialogForm.h"
#include "dialogs/FlatButton.h"
#include "platform/win32/QuitMessage.h"

namespace lorvex {

bool HandleDialogKey(const MSG& message) {
  if (message.message != WM_SYSCHAR || !message.hwnd) return false;
  HWND root = ::GetAncestor(message.hwnd, GA_ROOT);
  if (!TDialogForm::FromHandle(root) || !::IsWindowEnabled(root)) return false;
  return ClickAccelerator(root, wchar_t(message.wParam));
}

void ProcessPendingMessages() {
  win32::QuitKeeper quit;
  MSG message;
  for (int handled = 0; handled < kMaxPendingMessages; ++handled) {
    if (!::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) break;
    if (quit.Keep(message)) break;
    if (HandleDialogKey(message)) continue;
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
  }
}

}  // namespace lorvex
