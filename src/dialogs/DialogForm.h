// The window underneath both download dialogs: a top-level window of the library's own class
// with a sizeable border that refuses every resize, the host's font and colour on every
// control (TFormLook), flat buttons answering their accelerators, and the form object found
// from its window.
#pragma once

#include <windows.h>

#include "dialogs/DialogLook.h"
#include "platform/win32/UniqueHandle.h"

namespace lorvex {

class TDialogForm {
 public:
  virtual ~TDialogForm();
  TDialogForm(const TDialogForm&) = delete;
  TDialogForm& operator=(const TDialogForm&) = delete;

  HWND Handle() const noexcept { return window_.get(); }
  TFormLook& Look() noexcept { return look_; }
  // The form of a window made by this class, or null.
  static TDialogForm* FromHandle(HWND window);
  // Hands the look's font to the form and every control, and repaints.
  void RefreshLook();

 protected:
  TDialogForm() = default;
  // Makes the window, hidden, with the given outer size. owner may be null.
  void CreateForm(const wchar_t* caption, HWND owner, int width, int height);
  // The outer size of a form of this style with the given client size.
  static SIZE OuterSize(int clientWidth, int clientHeight);
  HWND AddControl(const wchar_t* className, const wchar_t* text, DWORD style, DWORD exStyle,
                  int left, int top, int width, int height, int id);
  HWND AddFlatButton(const wchar_t* caption, int left, int top, int width, int height, int id);
  HWND Control(int id) const noexcept { return ::GetDlgItem(Handle(), id); }
  // Called first by a derived destructor: from then on the window's messages take the
  // default path and no longer reach the half-destroyed form.
  void DetachWindow() noexcept;

  // The form's messages; the default handles colours, background, resizing, accelerators,
  // commands (Command) and the close box (CloseBox).
  virtual LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
  virtual void Command(int /*id*/) {}
  virtual void CloseBox() = 0;
  // Asked before every resize (border drag, SetWindowPos, MoveWindow); false refuses it.
  virtual bool FormCanResize(int& /*NewWidth*/, int& /*NewHeight*/) { return true; }

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

  win32::UniqueWindow window_;
  TFormLook look_;
  bool sizeFixed_ = false;  // from the end of creation on, every resize is refused
  bool registered_ = false;
};

}  // namespace lorvex
