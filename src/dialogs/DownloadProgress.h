// TForm_DownloadProgress: the modeless window "保存进度" that stands on the screen while a page
// import runs, with the file-copy animation, a progress bar and the buttons Skip, Stop and
// Cancel waiting. It owns nothing but its window: Skip is a press the import takes with
// TakeSkip, Stop sets the module's flags, and closing calls OnClose, with which the import
// ends its transfers.
//
// Life: the constructor makes the window (hidden) and runs FormCreate, which lets the host
// dress it (PrepareForm with the window handle) and clears StopAll; Show runs FormShow and
// shows it; Close runs FormClose (OnClose called, animation stopped) and hides it; the destructor
// runs FormDestroy and destroys the window. One dialog at a time is the module-wide
// Form_DownloadProgress().
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <utility>

#include "dialogs/DialogForm.h"
#include "dialogs/DialogHost.h"
#include "platform/win32/UniqueHandle.h"

namespace lorvex {

// The shell's resource number of its file-copy animation.
constexpr int kFileCopyAnimation = 160;
// The animation plays its first frames, up to this one (1-based), over and over.
constexpr int kAnimationStopFrame = 20;

class TForm_DownloadProgress final : public TDialogForm {
 public:
  explicit TForm_DownloadProgress(DialogHost host);
  ~TForm_DownloadProgress() override;

  // Called once when the dialog closes (its close box, or Close).
  std::function<void()> OnClose;

  // Shows the dialog modelessly (FormShow first) and paints it at once.
  void Show();
  // The progress bar's position, 0 to 100 (values beyond are held at the ends).
  void SetProgress(int position);
  // FormClose, then hidden.
  void Close();
  bool Closing() const noexcept { return closing_; }
  // True once for each press of Skip since the last call.
  bool TakeSkip() noexcept { return std::exchange(skipPressed_, false); }

  // Handlers.
  void WMKillFocus();
  void FormShow();
  void FormCreate();
  void btnStopClick();
  void btnSkipClick();
  void FormClose();
  void btnCancelWaitingClick();
  bool FormCanResize(int& NewWidth, int& NewHeight) override;
  void FormDestroy();

 protected:
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
  void Command(int id) override;
  void CloseBox() override { Close(); }

 private:
  void RetakeFocus();

  win32::UniqueModule shell32_;  // holds the animation's resource
  bool closing_ = false;
  uint8_t savedDialogState_ = 0;
  bool placed_ = false;
  bool skipPressed_ = false;
  const DialogHost host_;
};

// The progress dialog alive, or null.
TForm_DownloadProgress* Form_DownloadProgress();

}  // namespace lorvex
