// How the reference host dresses the library's dialogs: its PrepareForm callback, which the
// library calls with each dialog's window as the dialog is made. The host watches each
// dialog from a thread timer of its own (the library processes the thread's messages while
// it works and while a dialog is up, which runs the timer): once a dialog is visible it may
// save a picture of it, on the error list it presses the chosen button, so that an
// unattended run never waits for a person, and on the progress dialog it may press Skip as a
// person would whose progress bar stands still.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace lorvex::host {

enum class ErrorListAction {
  Ok,     // OK at once
  Stop,   // Stop at once
  Retry,  // Retry, then OK once the retry has ended
};

struct DialogAutomation {
  ErrorListAction onErrors = ErrorListAction::Ok;
  std::string screenshotDir;  // empty: no pictures
  // Skip is pressed whenever the progress bar has stood still this long since it last moved
  // or Skip was last pressed; 0: never. When the bar moves next (or another dialog comes,
  // or the dialog goes), the host prints "skipped P N": P presses since the bar last moved,
  // the last N ms before it moved.
  int skipStalledMs = 0;
};

// Time between two looks at the dialogs.
constexpr UINT kDialogPollMs = 50;

void SetDialogAutomation(const DialogAutomation& automation);

// The host's PrepareForm.
__attribute__((regparm(1))) void PrepareDialog(HWND form);

// Saves a picture of the window, with the system's frame and caption, as a 24-bit BMP file;
// false when it cannot.
bool SaveWindowImage(HWND window, const std::string& fileName);

// The pictures saved so far, in order.
const std::vector<std::string>& SavedScreenshots();

}  // namespace lorvex::host
