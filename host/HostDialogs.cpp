#include "HostDialogs.h"

#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <string_view>
#include <vector>

#include "HostAbi.h"
#include "platform/Platform.h"
#include "platform/win32/Boundary.h"
#include "platform/win32/UniqueHandle.h"
#include "util/FileOperation.h"
#include "util/Strings.h"

namespace lorvex::host {

namespace {

enum class Stage { Waiting, RetryPressed, Done };

// Tries at a picture of one dialog; one that cannot be saved is not tried again and again.
constexpr int kPictureTries = 5;

struct Watched {
  HWND form;
  bool pictured = false;  // saved, or given up after kPictureTries
  int tries = 0;
  Stage stage = Stage::Waiting;
  // The progress bar as last seen, when it last moved, and the Skip presses since.
  LRESULT position = -1;
  ULONGLONG movedAt = 0, pressedAt = 0;
  int presses = 0;
};

using UniqueHook = win32::UniqueHandle<win32::NullTraits<HHOOK, ::UnhookWindowsHookEx>>;

DialogAutomation automation;
std::vector<Watched> watched;
std::vector<std::string> screenshots;
UINT_PTR timer = 0;
UniqueHook hidingHook;
int pictureCount = 0;

bool HasCaption(HWND form, const wchar_t* caption) {
  wchar_t text[64] = {};
  ::GetWindowTextW(form, text, 64);
  return std::wcscmp(text, caption) == 0;
}

// Prints the addresses the error list shows, one line each with a label, so that an
// unattended run reports what failed ("failed" before any retry, "still-failed" after one).
void ReportErrorList(HWND form, const char* label) {
  HWND memo = ::GetDlgItem(form, kIdErrorList);
  int length = memo ? ::GetWindowTextLengthW(memo) : 0;
  std::wstring text(size_t(length) + 1, L'\0');
  if (length > 0) text.resize(size_t(::GetWindowTextW(memo, text.data(), length + 1)));
  int bytes =
      ::WideCharToMultiByte(CP_ACP, 0, text.data(), int(text.size()), nullptr, 0, nullptr, nullptr);
  std::string ansi(size_t(bytes > 0 ? bytes : 0), '\0');
  if (bytes > 0)
    ::WideCharToMultiByte(CP_ACP, 0, text.data(), int(text.size()), ansi.data(), bytes, nullptr,
                          nullptr);
  for (const std::string& line : SplitLines(ansi.c_str()))
    if (!line.empty()) std::printf("%s %s\n", label, line.c_str());
  std::fflush(stdout);
}

void Press(HWND form, int id) {
  if (HWND button = ::GetDlgItem(form, id)) ::PostMessageW(button, BM_CLICK, 0, 0);
}

// The picture is taken once the dialog has painted what it has pending: its own and its
// controls' WM_PAINT run here, before the copy.
void TakePicture(Watched& dialog) {
  dialog.pictured = ++dialog.tries >= kPictureTries;
  if (automation.screenshotDir.empty()) {
    dialog.pictured = true;
    return;
  }
  ::RedrawWindow(dialog.form, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
  const char* kind = HasCaption(dialog.form, kErrorsCaption)     ? "errors"
                     : HasCaption(dialog.form, kProgressCaption) ? "progress"
                                                                 : "dialog";
  platform::CreateDirectoryLevel(automation.screenshotDir);
  std::string name =
      automation.screenshotDir + "\\" + kind + "-" + std::to_string(pictureCount + 1) + ".bmp";
  if (!SaveWindowImage(dialog.form, name)) return;
  ++pictureCount;
  screenshots.push_back(name);
  dialog.pictured = true;
}

// The error list: the chosen button, and for a retry OK once Retry is enabled again (it is
// disabled while the retry runs; a posted click is handled before the next timer message).
void AnswerErrorList(Watched& dialog) {
  if (!::IsWindowEnabled(dialog.form)) return;
  switch (dialog.stage) {
    case Stage::Waiting:
      ReportErrorList(dialog.form, "failed");
      if (automation.onErrors == ErrorListAction::Retry) {
        Press(dialog.form, kIdRetry);
        dialog.stage = Stage::RetryPressed;
        return;
      }
      Press(dialog.form, automation.onErrors == ErrorListAction::Stop ? kIdErrorsStop : kIdOk);
      dialog.stage = Stage::Done;
      return;
    case Stage::RetryPressed:
      if (::IsWindowEnabled(::GetDlgItem(dialog.form, kIdRetry))) {
        ReportErrorList(dialog.form, "still-failed");
        Press(dialog.form, kIdOk);
        dialog.stage = Stage::Done;
      }
      return;
    case Stage::Done:
      return;
  }
}

// Reports the presses that ended with the bar moving, another dialog coming or this one
// being hidden (the hiding hook sees every hide, a destroy's included).
void ReportSkips(Watched& dialog, ULONGLONG now) {
  if (dialog.presses == 0) return;
  std::printf("skipped %d %llu\n", dialog.presses, now - dialog.pressedAt);
  std::fflush(stdout);
  dialog.presses = 0;
}

// Presses Skip on the progress dialog whose bar has stood still for skipStalledMs.
void SkipWhenStill(Watched& dialog) {
  const ULONGLONG now = ::GetTickCount64();
  const LRESULT position = ::SendDlgItemMessageW(dialog.form, kIdProgressBar, PBM_GETPOS, 0, 0);
  if (position != dialog.position) {
    dialog.position = position;
    dialog.movedAt = now;
    ReportSkips(dialog, now);
    return;
  }
  if (now - std::max(dialog.movedAt, dialog.pressedAt) < ULONGLONG(automation.skipStalledMs))
    return;
  Press(dialog.form, kIdSkip);
  dialog.pressedAt = now;
  ++dialog.presses;
}

void StopWatching() {
  if (timer) ::KillTimer(nullptr, timer);
  timer = 0;
  hidingHook.reset();
}

void CALLBACK LookAtDialogs(HWND, UINT, UINT_PTR, DWORD) {
  win32::Guarded("LookAtDialogs", [] {
    for (size_t i = 0; i < watched.size();) {
      Watched& dialog = watched[i];
      if (!::IsWindow(dialog.form)) {
        watched.erase(watched.begin() + std::ptrdiff_t(i));
        continue;
      }
      if (::IsWindowVisible(dialog.form)) {
        if (!dialog.pictured) TakePicture(dialog);
        if (HasCaption(dialog.form, kErrorsCaption)) AnswerErrorList(dialog);
        if (automation.skipStalledMs > 0 && HasCaption(dialog.form, kProgressCaption))
          SkipWhenStill(dialog);
      }
      ++i;
    }
    if (watched.empty()) StopWatching();
  });
}

// A dialog that is shown and hidden again between two looks (a short import, or a slow start
// that delays the timer) is pictured as it is being hidden, while it still shows what it
// showed.
LRESULT CALLBACK BeforeHiding(int code, WPARAM wParam, LPARAM lParam) {
  win32::Guarded("BeforeHiding", [&] {
    const auto* sent = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code != HC_ACTION || sent->message != WM_WINDOWPOSCHANGING) return;
    if (!(reinterpret_cast<const WINDOWPOS*>(sent->lParam)->flags & SWP_HIDEWINDOW)) return;
    for (Watched& dialog : watched) {
      if (dialog.form != sent->hwnd) continue;
      if (!dialog.pictured && ::IsWindowVisible(dialog.form)) TakePicture(dialog);
      ReportSkips(dialog, ::GetTickCount64());  // the import ended what was skipped last
    }
  });
  return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

using UniqueDC = win32::UniqueHandle<win32::NullTraits<HDC, ::DeleteDC>>;
using UniqueBitmap = win32::UniqueHandle<win32::NullTraits<HBITMAP, ::DeleteObject>>;

// A window's client-area device context (the screen's for none), released at the end of the
// scope.
struct ClientDC {
  explicit ClientDC(HWND window) : window(window), dc(::GetDC(window)) {}
  ~ClientDC() {
    if (dc) ::ReleaseDC(window, dc);
  }
  ClientDC(const ClientDC&) = delete;
  ClientDC& operator=(const ClientDC&) = delete;
  HWND window;
  HDC dc;
};

void PutLittleEndian(std::string& out, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(char((value >> (8 * i)) & 0xFF));
}

}  // namespace

void SetDialogAutomation(const DialogAutomation& settings) { automation = settings; }

const std::vector<std::string>& SavedScreenshots() { return screenshots; }

__attribute__((regparm(1))) void PrepareDialog(HWND form) {
  if (!form) return;
  // A new dialog (the error list) comes once the transfers have ended.
  for (Watched& dialog : watched) ReportSkips(dialog, ::GetTickCount64());
  watched.push_back(Watched{form});
  if (!timer) timer = ::SetTimer(nullptr, 0, kDialogPollMs, &LookAtDialogs);
  if (!hidingHook)
    hidingHook.reset(
        ::SetWindowsHookExW(WH_CALLWNDPROC, &BeforeHiding, nullptr, ::GetCurrentThreadId()));
}

bool SaveWindowImage(HWND window, const std::string& fileName) {
  RECT frame{};
  if (!::GetWindowRect(window, &frame)) return false;
  const int width = frame.right - frame.left;
  const int height = frame.bottom - frame.top;
  if (width <= 0 || height <= 0) return false;

  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = height;  // bottom-up, as a BMP file stores its rows
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  info.bmiHeader.biCompression = BI_RGB;
  const uint32_t stride = (uint32_t(width) * 3 + 3) & ~3u;
  const uint32_t imageSize = stride * uint32_t(height);

  ClientDC screen(nullptr);
  UniqueDC memory(::CreateCompatibleDC(screen.dc));
  void* bits = nullptr;
  UniqueBitmap bitmap(::CreateDIBSection(screen.dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  if (!memory || !bitmap) return false;
  HGDIOBJ old = ::SelectObject(memory.get(), bitmap.get());
  // The frame and caption are drawn into the picture by the system's own routines, the client
  // area with its controls is copied: without a window manager some systems (Wine under a
  // bare X server) leave a window's frame undrawn on the screen.
  RECT whole{0, 0, width, height};
  ::FillRect(memory.get(), &whole, ::GetSysColorBrush(COLOR_BTNFACE));
  ::DrawEdge(memory.get(), &whole, EDGE_RAISED, BF_RECT);
  POINT client{0, 0};
  ::ClientToScreen(window, &client);
  RECT inside{};
  ::GetClientRect(window, &inside);
  const int clientLeft = client.x - frame.left;
  const int clientTop = client.y - frame.top;
  RECT caption{clientLeft, clientTop - ::GetSystemMetrics(SM_CYCAPTION), clientLeft + inside.right,
               clientTop - 1};
  ::DrawCaption(window, memory.get(), &caption, DC_ACTIVE | DC_TEXT | DC_GRADIENT);
  const int box = caption.bottom - caption.top - 4;
  RECT close{caption.right - box - 2, caption.top + 2, caption.right - 2, caption.top + 2 + box};
  ::DrawFrameControl(memory.get(), &close, DFC_CAPTION, DFCS_CAPTIONCLOSE);
  bool drawn = false;
  {
    ClientDC source(window);
    drawn = source.dc && ::BitBlt(memory.get(), clientLeft, clientTop, inside.right, inside.bottom,
                                  source.dc, 0, 0, SRCCOPY);
  }
  ::GdiFlush();
  ::SelectObject(memory.get(), old);
  if (!drawn) return false;

  const uint32_t offset = 14 + sizeof(BITMAPINFOHEADER);
  std::string file = "BM";
  PutLittleEndian(file, offset + imageSize, 4);
  PutLittleEndian(file, 0, 4);
  PutLittleEndian(file, offset, 4);
  file.append(reinterpret_cast<const char*>(&info.bmiHeader), sizeof(BITMAPINFOHEADER));
  file.append(static_cast<const char*>(bits), imageSize);
  try {
    WriteFileBytes(fileName, file);
  } catch (...) {
    return false;
  }
  return true;
}

}  // namespace lorvex::host
