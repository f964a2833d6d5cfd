// The dialogs' flat buttons: a caption with an '&' accelerator, a raised edge under the mouse
// and a sunken one while pressed. A click (mouse, BM_CLICK or the accelerator) sends
// WM_COMMAND/BN_CLICKED to the parent when the button is enabled. The buttons never take the
// keyboard focus, so pressing one leaves the focus where it was.
#pragma once

#include <windows.h>

namespace lorvex {

LRESULT CALLBACK FlatButtonProc(HWND button, UINT message, WPARAM wParam, LPARAM lParam);
// Extra window bytes that FlatButtonProc keeps its state in.
constexpr int kFlatButtonExtraBytes = 2 * sizeof(LONG_PTR);

// The accelerator letter of a caption ("&K" in "Skip(&K)"), ASCII upper case; 0 when none.
wchar_t AcceleratorOf(const wchar_t* caption);

// Clicks the visible, enabled flat button of form whose accelerator is key (ASCII letters
// match in either case); false when there is none.
bool ClickAccelerator(HWND form, wchar_t key);

}  // namespace lorvex
