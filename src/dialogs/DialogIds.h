// Control identifiers and captions of the two download dialogs. The reference host finds the
// error dialog and its buttons by these values, which it declares itself (a test compares them).
#pragma once

namespace lorvex {

// The progress dialog.
inline constexpr int kIdAnimate = 101;
inline constexpr int kIdProgressBar = 102;
inline constexpr int kIdSkip = 103;
inline constexpr int kIdProgressStop = 104;
inline constexpr int kIdCancelWaiting = 105;

// The error dialog.
inline constexpr int kIdErrorList = 201;
inline constexpr int kIdOk = 202;
inline constexpr int kIdRetry = 203;
inline constexpr int kIdErrorsStop = 204;

inline constexpr const wchar_t* kProgressCaption = L"保存进度";
inline constexpr const wchar_t* kErrorsCaption = L"错误列表";

// Window class names: the dialogs, and the flat buttons on them.
inline constexpr const wchar_t* kDialogClass = L"LorvexDownloadDialog";
inline constexpr const wchar_t* kFlatButtonClass = L"LorvexFlatButton";

}  // namespace lorvex
