// What the dialogs are given by the code that shows them: the host's look and hooks, and the
// error dialog's network settings. The dialogs read nothing else of the host's request.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>

namespace lorvex {

struct DialogFont {
  std::string Name;  // ANSI; empty keeps the dialogs' own face
  int32_t Size = 9;  // points
  uint32_t Color = 0;
  uint8_t Charset = DEFAULT_CHARSET;
};

struct DialogHost {
  // The application's window: the progress dialog is centred over it, the error dialog is
  // owned by it when this thread runs it. May be null.
  HWND Owner = nullptr;
  // Called with each new dialog window, for the host to dress it; may be empty.
  std::function<void(HWND form)> PrepareForm;
  // The host's flag that reads 0 while a dialog is shown; restored when it closes. May be null.
  uint8_t* DialogState = nullptr;
  DialogFont Font;
  uint8_t FontCharset = DEFAULT_CHARSET;  // wins over Font.Charset
  uint32_t Color = 0;                     // plain RGB, or a system colour (see DialogLook.h)
  // The error dialog's Retry: its proxy (empty: none) and read time-out in ms (0: none).
  std::string ProxyServer;
  int ProxyPort = 0;
  int ReadTimeout = 0;
};

}  // namespace lorvex
