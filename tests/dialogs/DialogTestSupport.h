// What the dialog tests share: a request of their own as the current request, clicks posted
// as a user's would arrive, and bounded message loops.
#pragma once

#include <windows.h>

#include "dialogs/DownloadFlags.h"
#include "plugin/PluginAbi.h"
#include "support/win32/MessageLoop.h"

namespace lorvex::test {

inline void PostClick(HWND form, int id) { ::PostMessageW(::GetDlgItem(form, id), BM_CLICK, 0, 0); }

// Alt+letter as the keyboard delivers it to the window with the focus.
inline void PostAltKey(HWND target, char letter) {
  const UINT scan = ::MapVirtualKeyW(UINT(letter), MAPVK_VK_TO_VSC);
  ::PostMessageW(target, WM_SYSKEYDOWN, WPARAM(letter), LPARAM(1 | (scan << 16) | (1u << 29)));
}

// The current request for a test: no host callbacks, a plain look; restored afterwards.
class RequestScope {
 public:
  RequestScope() : saved_(CurrentRequest()), savedFlags_(DownloadFlags()) {
    TPlugInRequest request{};
    request.DialogColor = 0x80000000u | COLOR_BTNFACE;
    request.DialogFont = {"Tahoma", 9, 0, DEFAULT_CHARSET, {}};
    request.FontCharset = DEFAULT_CHARSET;
    request.ProxyServer = "";
    CurrentRequest() = request;
    DownloadFlags() = TDownloadFlags{};
  }
  ~RequestScope() {
    CurrentRequest() = saved_;
    DownloadFlags() = savedFlags_;
  }
  RequestScope(const RequestScope&) = delete;
  RequestScope& operator=(const RequestScope&) = delete;

 private:
  TPlugInRequest saved_;
  TDownloadFlags savedFlags_;
};

}  // namespace lorvex::test
