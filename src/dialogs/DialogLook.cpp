#include "dialogs/DialogLook.h"

#include <algorithm>
#include <string>

#include "dialogs/DialogForm.h"
#include "platform/win32/AnsiText.h"

namespace lorvex {

namespace {

// The design font of both dialogs.
constexpr wchar_t kDesignFace[] = L"Verdana";
constexpr LONG kDesignFontHeight = -12;
constexpr int kPointsPerInch = 72;

int ScreenPixelsPerInch() {
  HDC screen = ::GetDC(nullptr);
  int dpi = screen ? ::GetDeviceCaps(screen, LOGPIXELSY) : 96;
  if (screen) ::ReleaseDC(nullptr, screen);
  return dpi > 0 ? dpi : 96;
}

void CenterIn(HWND form, const RECT& area) {
  RECT window{};
  ::GetWindowRect(form, &window);
  int width = window.right - window.left;
  int height = window.bottom - window.top;
  int left = area.left + ((area.right - area.left) - width) / 2;
  int top = area.top + ((area.bottom - area.top) - height) / 2;
  // Keep the caption reachable when the area is smaller than the form or off the screen.
  left = std::max(left, 0);
  top = std::max(top, 0);
  ::SetWindowPos(form, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

RECT ScreenRect() {
  return RECT{0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
}

}  // namespace

std::wstring AnsiToUtf16(std::string_view text) { return win32::AnsiToWide(text); }

COLORREF DialogColorToRgb(uint32_t color) {
  if ((color & 0xFF000000u) == kSystemColorFlag) return ::GetSysColor(int(color & 0xFFu));
  return COLORREF(color & 0x00FFFFFFu);
}

TFormLook::TFormLook()
    : textColor_(::GetSysColor(COLOR_WINDOWTEXT)), color_(::GetSysColor(COLOR_BTNFACE)) {
  description_.lfHeight = kDesignFontHeight;
  description_.lfWeight = FW_NORMAL;
  description_.lfCharSet = DEFAULT_CHARSET;
  description_.lfQuality = DEFAULT_QUALITY;
  wcsncpy(description_.lfFaceName, kDesignFace, LF_FACESIZE - 1);
  RemakeFont();
  brush_.reset(::CreateSolidBrush(color_));
}

void TFormLook::SetFont(const DialogFont& font) {
  std::wstring name = AnsiToUtf16(font.Name);
  if (!name.empty()) {
    std::fill(std::begin(description_.lfFaceName), std::end(description_.lfFaceName), L'\0');
    name.copy(description_.lfFaceName, LF_FACESIZE - 1);
  }
  description_.lfHeight = -::MulDiv(font.Size, ScreenPixelsPerInch(), kPointsPerInch);
  textColor_ = DialogColorToRgb(font.Color);
  description_.lfCharSet = font.Charset;
  RemakeFont();
}

void TFormLook::SetCharset(uint8_t charset) {
  description_.lfCharSet = charset;
  RemakeFont();
}

void TFormLook::SetColor(uint32_t color) {
  color_ = DialogColorToRgb(color);
  brush_.reset(::CreateSolidBrush(color_));
}

void TFormLook::RemakeFont() {
  HFONT font = ::CreateFontIndirectW(&description_);
  if (font) font_.reset(font);  // a font that cannot be made leaves the previous one
}

void ApplyDialogFont(HWND form, const DialogFont& font) {
  if (TDialogForm* dialog = TDialogForm::FromHandle(form)) {
    dialog->Look().SetFont(font);
    dialog->RefreshLook();
  }
}

void SetDialogFontCharset(HWND form, uint8_t charset) {
  if (TDialogForm* dialog = TDialogForm::FromHandle(form)) {
    dialog->Look().SetCharset(charset);
    dialog->RefreshLook();
  }
}

void SetDialogColor(HWND form, uint32_t color) {
  if (TDialogForm* dialog = TDialogForm::FromHandle(form)) {
    dialog->Look().SetColor(color);
    dialog->RefreshLook();
  }
}

void PlaceMainFormCenter(HWND form, HWND owner) {
  RECT area = ScreenRect();
  if (owner && ::IsWindow(owner) && !::IsIconic(owner)) ::GetWindowRect(owner, &area);
  CenterIn(form, area);
}

void PlaceScreenCenter(HWND form) { CenterIn(form, ScreenRect()); }

bool RefuseResize(HWND form, UINT message, LPARAM lParam, LRESULT& result) {
  if (message == WM_SIZING) {
    ::GetWindowRect(form, reinterpret_cast<RECT*>(lParam));
    result = TRUE;
    return true;
  }
  if (message == WM_WINDOWPOSCHANGING) {
    auto* position = reinterpret_cast<WINDOWPOS*>(lParam);
    position->flags |= SWP_NOSIZE;
    result = 0;
    return true;
  }
  return false;
}

}  // namespace lorvex
