#include "dialogs/MessagePump.h"

#include "dialogs/DialogForm.h"
#include "dialogs/FlatButton.h"
#include "platform/win32/MessagePump.h"

namespace lorvex {

bool HandleDialogKey(const MSG& message) {
  if (message.message != WM_SYSCHAR || !message.hwnd) return false;
  HWND root = ::GetAncestor(message.hwnd, GA_ROOT);
  if (!TDialogForm::FromHandle(root) || !::IsWindowEnabled(root)) return false;
  return ClickAccelerator(root, wchar_t(message.wParam));
}

void ProcessPendingMessages() {
  win32::QuitKeeper quit;
  win32::PumpMessages(
      quit, {.Wide = true, .MaxMessages = kMaxPendingMessages, .Handle = HandleDialogKey});
}

}  // namespace lorvex
