// The progress dialog as a real window: its buttons and accelerators, the outcome codes of
// its downloader, its refusal to resize, its hold on the focus, and the settings that it
// takes from the request.
#include "dialogs/DownloadProgress.h"

#include <commctrl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dialogs/DialogIds.h"
#include "dialogs/DialogLook.h"
#include "dialogs/DialogTestSupport.h"
#include "dialogs/DownloadErrors.h"
#include "fetch/win32/ImportFetcher.h"
#include "plugin/RequestDialogs.h"

namespace lorvex {
namespace {

using test::PostAltKey;
using test::PostClick;
using test::PumpUntil;

std::vector<HWND> prepared;
__attribute__((regparm(1))) void RecordPrepareForm(HWND form) {
  prepared.push_back(form);
  // Whatever a host does here: the dialog must not rely on anything.
  ::SetWindowTextW(::GetDlgItem(form, kIdProgressBar), L"");
}

class ProgressDialogTest : public ::testing::Test {
 protected:
  test::RequestScope scope;
};

TEST_F(ProgressDialogTest, CreationShowAndClose) {
  prepared.clear();
  CurrentRequest().PrepareForm = &RecordPrepareForm;
  CurrentRequest().DialogState = 7;
  DownloadFlags() = {true, true, true};
  CurrentRequest().DialogFont = {"SimSun", 12, 0x00112233, DEFAULT_CHARSET, {}};
  CurrentRequest().FontCharset = GB2312_CHARSET;
  CurrentRequest().DialogColor = 0x00C0FFEE;
  {
    TForm_DownloadProgress form(DialogHostOf(CurrentRequest()));
    // FormCreate: the host saw the window, with its controls; only StopAll is cleared.
    EXPECT_EQ(prepared, std::vector<HWND>{form.Handle()});
    EXPECT_EQ(Form_DownloadProgress(), &form);
    EXPECT_FALSE(DownloadFlags().StopAll);
    EXPECT_TRUE(DownloadFlags().Stop);
    EXPECT_FALSE(::IsWindowVisible(form.Handle()));
    EXPECT_EQ(::GetWindow(form.Handle(), GW_OWNER), nullptr);

    form.Show();
    EXPECT_TRUE(::IsWindowVisible(form.Handle()));
    // The host's look: one real font (FontCharset winning) on the form and every control.
    const LOGFONTW& font = form.Look().FontDescription();
    EXPECT_STREQ(font.lfFaceName, L"SimSun");
    EXPECT_EQ(font.lfCharSet, GB2312_CHARSET);
    EXPECT_EQ(font.lfHeight, -::MulDiv(12, 96, 72));
    EXPECT_EQ(form.Look().TextColor(), COLORREF(0x00112233));
    EXPECT_EQ(form.Look().Color(), COLORREF(0x00C0FFEE));
    for (int id : {kIdSkip, kIdProgressStop, kIdCancelWaiting})
      EXPECT_EQ(reinterpret_cast<HFONT>(::SendDlgItemMessageW(form.Handle(), id, WM_GETFONT, 0, 0)),
                form.Look().Font())
          << id;
    EXPECT_FALSE(DownloadFlags().Stop);
    EXPECT_FALSE(DownloadFlags().CancelWaiting);
    EXPECT_EQ(CurrentRequest().DialogState, 0);
    wchar_t caption[16] = {};
    ::GetWindowTextW(form.Handle(), caption, 16);
    EXPECT_STREQ(caption, L"保存进度");
    RECT client{};
    ::GetClientRect(form.Handle(), &client);
    EXPECT_EQ(client.right, 343);
    EXPECT_EQ(client.bottom, 136);
    HWND bar = ::GetDlgItem(form.Handle(), kIdProgressBar);
    for (auto [set, shown] : {std::pair{40, 40}, {250, 100}, {-3, 0}}) {
      form.SetProgress(set);
      EXPECT_EQ(::SendMessageW(bar, PBM_GETPOS, 0, 0), shown) << set;
    }

    int closes = 0;
    form.OnClose = [&] { ++closes; };
    form.Close();
    form.Close();
    EXPECT_FALSE(::IsWindowVisible(form.Handle()));
    EXPECT_TRUE(form.Closing());
    EXPECT_EQ(closes, 1);
    EXPECT_EQ(CurrentRequest().DialogState, 7);  // written back
  }
  EXPECT_EQ(Form_DownloadProgress(), nullptr);
}

// Each row presses buttons (a posted click, or Alt+letter at the focused window) and states
// the flags and what became of the dialog afterwards.
TEST_F(ProgressDialogTest, ButtonsAndTheirAccelerators) {
  struct Press {
    int id;
    char accelerator;  // 0: a click
  };
  struct Row {
    const char* name;
    std::vector<Press> presses;
    TDownloadFlags flags;
    bool cancelled;
    bool cancelWaitingVisible;
  } rows[] = {
      {"Stop twice",
       {{kIdProgressStop, 0}, {kIdProgressStop, 0}},
       {true, true, false},
       false,
       true},
      {"Alt+A", {{kIdProgressStop, 'A'}}, {true, true, false}, false, true},
      {"Skip", {{kIdSkip, 0}}, {false, false, false}, true, true},
      {"Alt+K", {{kIdSkip, 'K'}}, {false, false, false}, true, true},
      {"Cancel waiting", {{kIdCancelWaiting, 0}}, {false, false, true}, false, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    DownloadFlags() = {};
    TForm_DownloadProgress form(DialogHostOf(CurrentRequest()));
    form.Show();
    ASSERT_TRUE(PumpUntil([&] { return ::GetFocus() == form.Handle(); }, 2000));
    for (const Press& press : row.presses) {
      if (press.accelerator)
        PostAltKey(::GetFocus(), press.accelerator);
      else
        PostClick(form.Handle(), press.id);
      ProcessPendingMessages();
    }
    EXPECT_EQ(DownloadFlags().Stop, row.flags.Stop);
    EXPECT_EQ(DownloadFlags().StopAll, row.flags.StopAll);
    EXPECT_EQ(DownloadFlags().CancelWaiting, row.flags.CancelWaiting);
    EXPECT_EQ(form.TakeSkip(), row.cancelled);
    EXPECT_FALSE(form.TakeSkip());  // one press, taken once
    EXPECT_EQ(::IsWindowVisible(::GetDlgItem(form.Handle(), kIdCancelWaiting)) != FALSE,
              row.cancelWaitingVisible);
    EXPECT_TRUE(::IsWindowVisible(form.Handle()));  // no button closes the dialog
    EXPECT_EQ(::GetFocus(), form.Handle());         // and none took the focus
    form.Close();
  }
}

TEST(DialogLook, HostColoursPlainAndSystem) {
  EXPECT_EQ(DialogColorToRgb(0x80000000u | COLOR_BTNFACE), ::GetSysColor(COLOR_BTNFACE));
  EXPECT_EQ(DialogColorToRgb(0x80000000u | COLOR_WINDOWTEXT), ::GetSysColor(COLOR_WINDOWTEXT));
  EXPECT_EQ(DialogColorToRgb(0x00123456u), COLORREF(0x00123456));
  EXPECT_EQ(DialogColorToRgb(0x02123456u), COLORREF(0x00123456));  // palette-relative
}

TEST(MessagePump, QuitIsLeftForTheThreadsLoop) {
  ::PostThreadMessageW(::GetCurrentThreadId(), WM_NULL, 0, 0);
  ::PostQuitMessage(7);
  ProcessPendingMessages();
  MSG message{};
  ASSERT_TRUE(::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(message.message, UINT(WM_QUIT));
  EXPECT_EQ(message.wParam, WPARAM(7));
}

TEST_F(ProgressDialogTest, CompletionOutcomesSetTheDownloadersTag) {
  struct Row {
    std::vector<std::pair<HRESULT, DWORD>> calls;  // Result and ResponseCode of each OnComplete
    int tag;
  } rows[] = {
      {{{S_OK, 200}}, 0},
      {{{S_OK, 404}}, 0},
      {{{E_ABORT, 206}}, 2},
      {{{E_ABORT, 416}}, 1},
      {{{E_ABORT, 404}}, -1},
      {{{E_ABORT, 0}}, -1},
      {{{HRESULT(0x800C000B), 206}}, -1},  // a time-out, whatever the status
      {{{MK_E_SYNTAX, 0}}, -1},
      {{{E_ABORT, 416}, {S_OK, 416}}, 0},  // raised twice: the last call decides
      {{{S_OK, 200}, {E_ABORT, 206}}, 2},
  };
  ImportFetcher fetcher({});
  TIEDownload& download = fetcher.Downloader();
  for (const Row& row : rows) {
    download.Tag = 99;
    for (auto [result, code] : row.calls) {
      TBSCB::Hold sender = TBSCB::CreateUnbound(download.MakeInfo("http://h/", ""));
      sender->OnResponse(code, L"", L"", nullptr);  // gives the object its response code
      download.OnComplete(*sender, nullptr, result);
    }
    EXPECT_EQ(download.Tag, row.tag) << ::testing::PrintToString(row.calls);
  }
}

// Both dialogs keep their size against the border (WM_SIZING) and against SetWindowPos.
TEST_F(ProgressDialogTest, BothDialogsRefuseEveryResize) {
  TForm_DownloadProgress progress(DialogHostOf(CurrentRequest()));
  TForm_DownloadErrors errors(DialogHostOf(CurrentRequest()));
  progress.Show();
  for (HWND form : {progress.Handle(), errors.Handle()}) {
    RECT before{};
    ::GetWindowRect(form, &before);
    RECT dragged = before;
    dragged.right += 50;
    dragged.bottom += 30;
    ::SendMessageW(form, WM_SIZING, WMSZ_BOTTOMRIGHT, reinterpret_cast<LPARAM>(&dragged));
    EXPECT_TRUE(::EqualRect(&dragged, &before));
    ::SetWindowPos(form, nullptr, 10, 20, 600, 500, SWP_NOZORDER | SWP_NOACTIVATE);
    ::MoveWindow(form, 30, 40, 100, 80, TRUE);
    RECT after{};
    ::GetWindowRect(form, &after);
    EXPECT_EQ(after.right - after.left, before.right - before.left);
    EXPECT_EQ(after.bottom - after.top, before.bottom - before.top);
    EXPECT_EQ(after.left, 30);  // moving is allowed
    EXPECT_NE(::GetWindowLongW(form, GWL_STYLE) & WS_THICKFRAME, 0);
  }
  RECT outer{};
  ::GetWindowRect(errors.Handle(), &outer);
  EXPECT_EQ(outer.right - outer.left, 457);
  EXPECT_EQ(outer.bottom - outer.top, 262);
}

TEST_F(ProgressDialogTest, FocusComesBackUntilTheDialogCloses) {
  HWND other = ::CreateWindowExW(0, L"STATIC", L"other", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0,
                                 200, 100, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(other, nullptr);
  TForm_DownloadProgress form(DialogHostOf(CurrentRequest()));
  form.Show();
  ASSERT_TRUE(PumpUntil([&] { return ::GetFocus() == form.Handle(); }, 2000));

  ::SetActiveWindow(other);
  ::SetFocus(other);
  EXPECT_TRUE(PumpUntil([&] { return ::GetFocus() == form.Handle(); }, 2000));

  // Disabled, as under the error list: left alone.
  ::EnableWindow(form.Handle(), FALSE);
  ::SetActiveWindow(other);
  ::SetFocus(other);
  PumpUntil([] { return false; }, 300);
  EXPECT_EQ(::GetFocus(), other);
  ::EnableWindow(form.Handle(), TRUE);

  ::SetActiveWindow(form.Handle());
  ::SetFocus(form.Handle());
  form.FormClose();  // closing, still on the screen
  ::SetActiveWindow(other);
  ::SetFocus(other);
  PumpUntil([] { return false; }, 300);
  EXPECT_EQ(::GetFocus(), other);
  ::DestroyWindow(other);
}

}  // namespace
}  // namespace lorvex
