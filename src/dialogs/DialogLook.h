// The look and placement of the download dialogs: the host's font and colour, centring, and
// the refusal of every resize.
//
// Colours come from the host as 32-bit values: a plain RGB value (0x00BBGGRR), or a system
// colour written as 0x80000000 plus its COLOR_xxx index.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "dialogs/DialogHost.h"
#include "platform/win32/UniqueHandle.h"

namespace lorvex {

using UniqueFont = win32::UniqueHandle<win32::NullTraits<HFONT, ::DeleteObject>>;
using UniqueBrush = win32::UniqueHandle<win32::NullTraits<HBRUSH, ::DeleteObject>>;

// The high byte that marks a system colour value.
constexpr uint32_t kSystemColorFlag = 0x80000000u;

// 8-bit text of the system's ANSI code page as UTF-16.
std::wstring AnsiToUtf16(std::string_view text);

// The RGB value of a host colour (plain or system colour value).
COLORREF DialogColorToRgb(uint32_t color);

// A form's font and background: a real GDI font and brush, owned here, that every control of
// the form is given. Starts as the dialogs' own design: Verdana, 12 pixels, the window text
// colour, the default character set, on the button face colour.
class TFormLook {
 public:
  TFormLook();

  // Name (ANSI, from the host; none or empty keeps the face), size in points, colour,
  // character set, in this order.
  void SetFont(const DialogFont& font);
  void SetCharset(uint8_t charset);
  void SetColor(uint32_t color);

  HFONT Font() const noexcept { return font_.get(); }
  const LOGFONTW& FontDescription() const noexcept { return description_; }
  COLORREF TextColor() const noexcept { return textColor_; }
  COLORREF Color() const noexcept { return color_; }
  HBRUSH Brush() const noexcept { return brush_.get(); }

 private:
  void RemakeFont();

  LOGFONTW description_{};
  UniqueFont font_;
  COLORREF textColor_;
  COLORREF color_;
  UniqueBrush brush_;
};

// Gives a dialog of this library the host's font (a dialog's look is found from its window;
// other windows are left alone) and hands the new font to every control.
void ApplyDialogFont(HWND form, const DialogFont& font);
// Replaces the character set of that font; applied after ApplyDialogFont, it wins.
void SetDialogFontCharset(HWND form, uint8_t charset);
// The dialog's background colour.
void SetDialogColor(HWND form, uint32_t color);

// Centres the form over owner when owner is a window, else on the screen.
void PlaceMainFormCenter(HWND form, HWND owner);
// Centres the form on the screen.
void PlaceScreenCenter(HWND form);

// Refuses a resize: WM_SIZING gets the window's present rectangle back, WM_WINDOWPOSCHANGING
// loses its new size. True when the message was one of the two (its result is then TRUE
// for WM_SIZING and 0 otherwise).
bool RefuseResize(HWND form, UINT message, LPARAM lParam, LRESULT& result);

}  // namespace lorvex
