#include "dialogs/DialogForm.h"

#include <commctrl.h>

#include <stdexcept>

#include "dialogs/DialogIds.h"
#include "dialogs/FlatButton.h"
#include "platform/win32/Boundary.h"

namespace lorvex {

namespace {

constexpr DWORD kFormStyle =
    WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_CLIPCHILDREN;
constexpr DWORD kFormExStyle = WS_EX_CONTROLPARENT;

// Forms alive: the window classes are registered while there is one, and unregistered after
// the last, so that a library loaded again at another address registers its own procedures.
int liveForms = 0;

HINSTANCE ThisModule() {
  HMODULE module = nullptr;
  ::GetModuleHandleExW(
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
      reinterpret_cast<LPCWSTR>(&ThisModule), &module);
  return module;
}

void RegisterClasses(WNDPROC formProc) {
  HINSTANCE module = ThisModule();
  // Left over by an earlier copy of the library that was not unloaded cleanly.
  ::UnregisterClassW(kDialogClass, module);
  ::UnregisterClassW(kFlatButtonClass, module);

  INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_ANIMATE_CLASS | ICC_PROGRESS_CLASS};
  ::InitCommonControlsEx(&controls);

  WNDCLASSEXW form{};
  form.cbSize = sizeof(form);
  form.lpfnWndProc = formProc;
  form.hInstance = module;
  form.hCursor = ::LoadCursorA(nullptr, IDC_ARROW);
  form.lpszClassName = kDialogClass;
  ::RegisterClassExW(&form);

  WNDCLASSEXW button{};
  button.cbSize = sizeof(button);
  button.lpfnWndProc = FlatButtonProc;
  button.cbWndExtra = kFlatButtonExtraBytes;
  button.hInstance = module;
  button.hCursor = ::LoadCursorA(nullptr, IDC_ARROW);
  button.lpszClassName = kFlatButtonClass;
  ::RegisterClassExW(&button);
}

void UnregisterClasses() {
  HINSTANCE module = ThisModule();
  ::UnregisterClassW(kDialogClass, module);
  ::UnregisterClassW(kFlatButtonClass, module);
}

}  // namespace

TDialogForm::~TDialogForm() {
  DetachWindow();
  window_.reset();
  if (registered_ && --liveForms == 0) UnregisterClasses();
}

void TDialogForm::DetachWindow() noexcept {
  if (window_) ::SetWindowLongPtrW(window_.get(), GWLP_USERDATA, 0);
}

TDialogForm* TDialogForm::FromHandle(HWND window) {
  if (!window || !::IsWindow(window)) return nullptr;
  wchar_t name[64] = {};
  ::GetClassNameW(window, name, 64);
  if (wcscmp(name, kDialogClass) != 0) return nullptr;
  return reinterpret_cast<TDialogForm*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
}

SIZE TDialogForm::OuterSize(int clientWidth, int clientHeight) {
  RECT rect{0, 0, clientWidth, clientHeight};
  ::AdjustWindowRectEx(&rect, kFormStyle, FALSE, kFormExStyle);
  return SIZE{rect.right - rect.left, rect.bottom - rect.top};
}

void TDialogForm::CreateForm(const wchar_t* caption, HWND owner, int width, int height) {
  if (liveForms++ == 0) RegisterClasses(&WindowProc);
  registered_ = true;
  HWND window = ::CreateWindowExW(kFormExStyle, kDialogClass, caption, kFormStyle, CW_USEDEFAULT,
                                  CW_USEDEFAULT, width, height, owner, nullptr, ThisModule(), this);
  if (!window) {
    window_.release();  // set while the window was being made, and gone with it
    throw std::runtime_error("cannot create a dialog window");
  }
  if (window_.get() != window) window_.reset(window);
  sizeFixed_ = true;
}

HWND TDialogForm::AddControl(const wchar_t* className, const wchar_t* text, DWORD style,
                             DWORD exStyle, int left, int top, int width, int height, int id) {
  HWND control =
      ::CreateWindowExW(exStyle, className, text, WS_CHILD | style, left, top, width, height,
                        Handle(), reinterpret_cast<HMENU>(INT_PTR(id)), ThisModule(), nullptr);
  if (!control) throw std::runtime_error("cannot create a dialog control");
  ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(look_.Font()), FALSE);
  return control;
}

HWND TDialogForm::AddFlatButton(const wchar_t* caption, int left, int top, int width, int height,
                                int id) {
  return AddControl(kFlatButtonClass, caption, WS_VISIBLE, 0, left, top, width, height, id);
}

void TDialogForm::RefreshLook() {
  WPARAM font = reinterpret_cast<WPARAM>(look_.Font());
  ::SendMessageW(Handle(), WM_SETFONT, font, FALSE);
  for (HWND child = ::GetWindow(Handle(), GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT))
    ::SendMessageW(child, WM_SETFONT, font, TRUE);
  ::InvalidateRect(Handle(), nullptr, TRUE);
}

LRESULT TDialogForm::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  HWND window = Handle();
  switch (message) {
    case WM_ERASEBKGND: {
      RECT client{};
      ::GetClientRect(window, &client);
      ::FillRect(reinterpret_cast<HDC>(wParam), &client, look_.Brush());
      return 1;
    }
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORBTN: {
      auto dc = reinterpret_cast<HDC>(wParam);
      ::SetTextColor(dc, look_.TextColor());
      ::SetBkColor(dc, look_.Color());
      return reinterpret_cast<LRESULT>(look_.Brush());
    }
    case WM_GETFONT:
      return reinterpret_cast<LRESULT>(look_.Font());
    case WM_SIZING:
    case WM_WINDOWPOSCHANGING: {
      if (!sizeFixed_) break;
      int width = 0, height = 0;
      if (message == WM_SIZING) {
        const RECT& proposed = *reinterpret_cast<const RECT*>(lParam);
        width = proposed.right - proposed.left;
        height = proposed.bottom - proposed.top;
      } else {
        const WINDOWPOS& position = *reinterpret_cast<const WINDOWPOS*>(lParam);
        if (position.flags & SWP_NOSIZE) break;
        width = position.cx;
        height = position.cy;
      }
      LRESULT result = 0;
      if (!FormCanResize(width, height) && RefuseResize(window, message, lParam, result))
        return result;
      break;
    }
    case WM_SYSCHAR:
      if (ClickAccelerator(window, wchar_t(wParam))) return 0;
      break;
    case WM_COMMAND:
      if (lParam) {
        Command(LOWORD(wParam));
        return 0;
      }
      break;
    case WM_CLOSE:
      CloseBox();
      return 0;
    default:
      break;
  }
  return ::DefWindowProcW(window, message, wParam, lParam);
}

LRESULT CALLBACK TDialogForm::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return win32::Guarded<LRESULT>("TDialogForm::WindowProc", 0, [&]() -> LRESULT {
    if (message == WM_NCCREATE) {
      auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
      auto* form = static_cast<TDialogForm*>(create->lpCreateParams);
      ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(form));
      form->window_.reset(window);  // so that Handle() answers during creation
    }
    auto* form = reinterpret_cast<TDialogForm*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!form) return ::DefWindowProcW(window, message, wParam, lParam);
    return form->HandleMessage(message, wParam, lParam);
  });
}

}  // namespace lorvex
