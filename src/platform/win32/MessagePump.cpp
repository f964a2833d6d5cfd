#include "platform/win32/MessagePump.h"

namespace lorvex::win32 {

void PumpMessages(QuitKeeper& quit, const PumpSettings& settings) {
  if (settings.WaitMs > 0)
    ::MsgWaitForMultipleObjectsEx(0, nullptr, settings.WaitMs, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
  const auto peek = settings.Wide ? ::PeekMessageW : ::PeekMessageA;
  const auto dispatch = settings.Wide ? ::DispatchMessageW : ::DispatchMessageA;
  MSG message;
  for (int taken = 0;;) {
    if (settings.MaxMessages > 0 && taken++ >= settings.MaxMessages) break;
    if (!peek(&message, nullptr, 0, 0, PM_REMOVE)) break;
    if (quit.Keep(message)) break;
    if (settings.Handle && settings.Handle(message)) continue;
    ::TranslateMessage(&message);
    dispatch(&message);
  }
}

}  // namespace lorvex::win32
