// TForm_DownloadProgress: the modeless window "保存进度" that stands on the screen while a page
// import runs, with the file-copy animation, a progress bar and the buttons Skip, Stop and
// Cancel waiting. It owns the import's two download engines, IEDownload and HTTP, which the
// import uses also when the window stays hidden.
//
// Life: the constructor makes the window (hidden) and runs FormCreate, which lets the host
// dress it (PrepareForm with the window handle), clears StopAll and sets the HTTP proxy;
// Show runs FormShow and shows it; Close runs FormClose (HTTP disconnected and destroyed,
// downloads cancelled, animation stopped) and hides it; the destructor runs FormDestroy and
// destroys the window. One dialog at a time is the module-wide Form_DownloadProgress().
#pragma once

#include <cstdint>
#include <memory>

#include "dialogs/DialogForm.h"
#include "download/IEDownload.h"
#include "http/HttpClient.h"
#include "platform/win32/UniqueHandle.h"

namespace lorvex {

// The shell's resource number of its file-copy animation.
constexpr int kFileCopyAnimation = 160;
// The animation plays its first frames, up to this one (1-based), over and over.
constexpr int kAnimationStopFrame = 20;

class TForm_DownloadProgress final : public TDialogForm {
 public:
  TForm_DownloadProgress();
  ~TForm_DownloadProgress() override;

  // The moniker downloader: asynchronous, silent, no time-out; OnComplete is
  // IEDownloadComplete, which leaves the outcome of each download in Tag.
  TIEDownload IEDownload;
  // The HTTP client: redirects followed, no read time-out, proxy from the request. Its idle
  // hook processes the thread's messages, so Skip ends a stalled transfer at once. Null once
  // the dialog has closed.
  std::unique_ptr<THttpClient> HTTP;

  // Shows the dialog modelessly (FormShow first) and paints it at once.
  void Show();
  // The progress bar's position, 0 to 100 (values beyond are held at the ends).
  void SetProgress(int position);
  // FormClose, then hidden.
  void Close();
  // For an import that keeps the dialog hidden, where no Skip can end a stalled transfer:
  // the moniker's inactivity time-out and HTTP's read time-out become the request's read
  // time-out, or kQuietWaitDefaultMs without one.
  void BoundWaitsWhileHidden();
  bool Closing() const noexcept { return closing_; }

  // Handlers.
  void WMKillFocus();
  void FormShow();
  void FormCreate();
  void btnStopClick();
  void btnSkipClick();
  void FormClose();
  void btnCancelWaitingClick();
  bool FormCanResize(int& NewWidth, int& NewHeight) override;
  void IEDownloadComplete(TBSCB& Sender, IStream* Stream, HRESULT Result);
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
  // The HTTP client is in its idle hook (a transfer is running below it on this thread):
  // a close there only retires the client, which is destroyed with the dialog.
  int idleDepth_ = 0;
  std::unique_ptr<THttpClient> retiredHttp_;
};

// The progress dialog alive, or null.
TForm_DownloadProgress* Form_DownloadProgress();

}  // namespace lorvex
