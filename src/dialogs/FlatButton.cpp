#include "dialogs/FlatButton.h"

#include <array>

#include "dialogs/DialogIds.h"
#include "platform/win32/Boundary.h"

namespace lorvex {

namespace {

// The state in the window's extra bytes.
constexpr int kFontSlot = 0;
constexpr int kFlagsSlot = sizeof(LONG_PTR);
constexpr LONG_PTR kHover = 1;
constexpr LONG_PTR kPressed = 2;
constexpr LONG_PTR kTracking = 4;
constexpr int kMaxCaption = 128;

LONG_PTR Flags(HWND button) { return ::GetWindowLongPtrW(button, kFlagsSlot); }

void SetFlag(HWND button, LONG_PTR flag, bool on) {
  LONG_PTR flags = Flags(button);
  LONG_PTR changed = on ? (flags | flag) : (flags & ~flag);
  if (changed == flags) return;
  ::SetWindowLongPtrW(button, kFlagsSlot, changed);
  ::InvalidateRect(button, nullptr, TRUE);
}

wchar_t UpperAscii(wchar_t c) { return (c >= L'a' && c <= L'z') ? wchar_t(c - L'a' + L'A') : c; }

void Click(HWND button) {
  if (!::IsWindowEnabled(button)) return;
  HWND parent = ::GetParent(button);
  int id = ::GetDlgCtrlID(button);
  ::SendMessageW(parent, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button));
}

bool Inside(HWND button, LPARAM lParam) {
  RECT client{};
  ::GetClientRect(button, &client);
  POINT point{short(LOWORD(lParam)), short(HIWORD(lParam))};
  return ::PtInRect(&client, point) != FALSE;
}

void Paint(HWND button) {
  PAINTSTRUCT paint;
  HDC dc = ::BeginPaint(button, &paint);
  if (!dc) return;
  RECT area{};
  ::GetClientRect(button, &area);
  // The parent chooses background and text colour, as it does for its other controls.
  auto brush = reinterpret_cast<HBRUSH>(::SendMessageW(::GetParent(button), WM_CTLCOLORBTN,
                                                       reinterpret_cast<WPARAM>(dc),
                                                       reinterpret_cast<LPARAM>(button)));
  ::FillRect(dc, &area, brush ? brush : ::GetSysColorBrush(COLOR_BTNFACE));
  LONG_PTR flags = Flags(button);
  bool enabled = ::IsWindowEnabled(button) != FALSE;
  bool pressed = enabled && (flags & kPressed) && (flags & kHover);
  if (pressed)
    ::DrawEdge(dc, &area, BDR_SUNKENOUTER, BF_RECT);
  else if (enabled && (flags & kHover))
    ::DrawEdge(dc, &area, BDR_RAISEDINNER, BF_RECT);
  std::array<wchar_t, kMaxCaption> caption{};
  ::GetWindowTextW(button, caption.data(), int(caption.size()));
  auto font = reinterpret_cast<HFONT>(::GetWindowLongPtrW(button, kFontSlot));
  HGDIOBJ old = font ? ::SelectObject(dc, font) : nullptr;
  ::SetBkMode(dc, TRANSPARENT);
  if (pressed) ::OffsetRect(&area, 1, 1);
  const UINT format = DT_CENTER | DT_VCENTER | DT_SINGLELINE;
  if (!enabled) {
    // Engraved, as disabled captions are drawn.
    RECT shadow = area;
    ::OffsetRect(&shadow, 1, 1);
    ::SetTextColor(dc, ::GetSysColor(COLOR_BTNHIGHLIGHT));
    ::DrawTextW(dc, caption.data(), -1, &shadow, format);
    ::SetTextColor(dc, ::GetSysColor(COLOR_GRAYTEXT));
  }
  ::DrawTextW(dc, caption.data(), -1, &area, format);
  if (old) ::SelectObject(dc, old);
  ::EndPaint(button, &paint);
}

}  // namespace

LRESULT CALLBACK FlatButtonProc(HWND button, UINT message, WPARAM wParam, LPARAM lParam) {
  return win32::Guarded<LRESULT>("FlatButtonProc", 0, [&]() -> LRESULT {
    switch (message) {
      case WM_PAINT:
        Paint(button);
        return 0;
      case WM_ERASEBKGND:
        return 1;  // painted whole in WM_PAINT
      case WM_SETFONT:
        ::SetWindowLongPtrW(button, kFontSlot, LONG_PTR(wParam));
        if (LOWORD(lParam)) ::InvalidateRect(button, nullptr, TRUE);
        return 0;
      case WM_GETFONT:
        return ::GetWindowLongPtrW(button, kFontSlot);
      case WM_SETTEXT:
      case WM_ENABLE: {
        LRESULT result = ::DefWindowProcW(button, message, wParam, lParam);
        if (message == WM_ENABLE && !wParam) SetFlag(button, kPressed, false);
        ::InvalidateRect(button, nullptr, TRUE);
        return result;
      }
      case WM_MOUSEMOVE:
        if (!(Flags(button) & kTracking)) {
          TRACKMOUSEEVENT track{sizeof(track), TME_LEAVE, button, 0};
          if (::TrackMouseEvent(&track)) SetFlag(button, kTracking, true);
        }
        SetFlag(button, kHover, Inside(button, lParam));
        return 0;
      case WM_MOUSELEAVE:
        SetFlag(button, kTracking, false);
        SetFlag(button, kHover, false);
        return 0;
      case WM_LBUTTONDOWN:
        if (::IsWindowEnabled(button)) {
          ::SetCapture(button);  // capture, not focus
          SetFlag(button, kHover, true);
          SetFlag(button, kPressed, true);
        }
        return 0;
      case WM_LBUTTONUP:
        if (Flags(button) & kPressed) {
          SetFlag(button, kPressed, false);
          ::ReleaseCapture();
          if (Inside(button, lParam)) Click(button);
        }
        return 0;
      case WM_CAPTURECHANGED:
        SetFlag(button, kPressed, false);
        return 0;
      case BM_CLICK:
        Click(button);
        return 0;
      default:
        return ::DefWindowProcW(button, message, wParam, lParam);
    }
  });
}

wchar_t AcceleratorOf(const wchar_t* caption) {
  for (const wchar_t* c = caption; c && *c; ++c) {
    if (*c != L'&') continue;
    if (c[1] == L'&') {  // "&&" is a plain ampersand
      ++c;
      continue;
    }
    return c[1] ? UpperAscii(c[1]) : 0;
  }
  return 0;
}

bool ClickAccelerator(HWND form, wchar_t key) {
  key = UpperAscii(key);
  if (!key) return false;
  for (HWND child = ::GetWindow(form, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
    std::array<wchar_t, kMaxCaption> name{};
    ::GetClassNameW(child, name.data(), int(name.size()));
    if (wcscmp(name.data(), kFlatButtonClass) != 0) continue;
    if (!::IsWindowVisible(child) || !::IsWindowEnabled(child)) continue;
    std::array<wchar_t, kMaxCaption> caption{};
    ::GetWindowTextW(child, caption.data(), int(caption.size()));
    if (AcceleratorOf(caption.data()) == key) {
      Click(child);
      return true;
    }
  }
  return false;
}

}  // namespace lorvex
