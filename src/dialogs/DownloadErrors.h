// TForm_DownloadErrors: the modal window "错误列表" that lists the addresses whose download
// failed and lets the user retry them over HTTP, then closes with OK (StopAll false) or Stop
// (StopAll and Stop true); the close box counts as OK.
//
// Life: the constructor makes the window (hidden) and runs FormCreate (PrepareForm with the
// window handle, StopAll cleared); the caller fills FailedUrls and FailedTargets (parallel
// lists) and calls ShowModal, which runs FormShow and returns once a button or the close box
// has closed the dialog (FormClose); the destructor runs FormDestroy. One dialog at a time is
// the module-wide Form_DownloadErrors().
#pragma once

#include <cstdint>
#include <memory>

#include "dialogs/DialogForm.h"
#include "dialogs/DialogHost.h"
#include "http/HttpClient.h"
#include "util/Strings.h"

namespace lorvex {

// What closed the dialog: ShowModal's result.
enum TModalResult : int { mrNone = 0, mrOk = 1, mrCancel = 2, mrAbort = 3 };

class TForm_DownloadErrors final : public TDialogForm {
 public:
  explicit TForm_DownloadErrors(DialogHost host);
  ~TForm_DownloadErrors() override;

  StringList FailedUrls;
  StringList FailedTargets;  // line i is where line i of FailedUrls was to be saved
  // Its own client: redirects not followed, the host's read time-out and proxy (set when
  // shown). It does not process messages while it waits.
  std::unique_ptr<THttpClient> HTTP;

  // Shows the dialog; every other window of the thread, and the owner window, is disabled
  // until it closes. Returns mrOk (OK), mrAbort (Stop) or mrCancel (close box, or WM_QUIT,
  // which is posted again for the thread's loop).
  int ShowModal();
  // The memo shows FailedUrls, one per line.
  void RefreshErrorList();

  // Handlers.
  void btnokClick();
  void btnRetryClick();
  void FormDestroy();
  void FormShow();
  void FormClose();
  void btnStopClick();
  void FormCreate();
  bool FormCanResize(int& NewWidth, int& NewHeight) override;

 protected:
  void Command(int id) override;
  void CloseBox() override { CloseWith(mrCancel); }

 private:
  void CloseWith(int result);

  uint8_t savedDialogState_ = 0;
  const DialogHost host_;
  bool showing_ = false;
  int modalResult_ = mrNone;
};

// The error dialog alive, or null.
TForm_DownloadErrors* Form_DownloadErrors();

}  // namespace lorvex
