// The error list as a real modal window: how each way of closing it sets the flags, what it
// disables while it is up, the settings of its HTTP client, and Retry against a test server,
// answered as the reference host answers it.
#include "dialogs/DownloadErrors.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

#include "HostDialogs.h"
#include "dialogs/DialogIds.h"
#include "dialogs/DialogTestSupport.h"
#include "platform/Platform.h"
#include "plugin/RequestDialogs.h"
#include "support/TempFolder.h"
#include "support/TestHttpServer.h"
#include "util/FileOperation.h"

namespace lorvex {
namespace {

using test::PostAltKey;
using test::PostClick;
using test::PumpUntil;

std::wstring MemoText(const TForm_DownloadErrors& form) {
  wchar_t text[1024] = {};
  ::GetWindowTextW(::GetDlgItem(form.Handle(), kIdErrorList), text, 1024);
  return text;
}

// What a thread timer saw while the dialog was up, and the key it then pressed.
struct WhileUp {
  HWND form = nullptr;
  HWND other = nullptr;
  int id = 0;
  char accelerator = 0;
  bool closeBox = false;
  bool otherEnabled = true;
  bool formEnabled = false;
  uint8_t dialogState = 99;
  bool done = false;
};
WhileUp whileUp;

void CALLBACK LookWhileUp(HWND, UINT, UINT_PTR timer, DWORD) {
  if (whileUp.done || !::IsWindowVisible(whileUp.form)) return;
  whileUp.done = true;
  ::KillTimer(nullptr, timer);
  whileUp.otherEnabled = ::IsWindowEnabled(whileUp.other) != FALSE;
  whileUp.formEnabled = ::IsWindowEnabled(whileUp.form) != FALSE;
  whileUp.dialogState = CurrentRequest().DialogState;
  if (whileUp.closeBox)
    ::PostMessageW(whileUp.form, WM_CLOSE, 0, 0);
  else if (whileUp.accelerator)
    PostAltKey(::GetDlgItem(whileUp.form, kIdErrorList), whileUp.accelerator);
  else
    PostClick(whileUp.form, whileUp.id);
}

class ErrorDialogTest : public ::testing::Test {
 protected:
  test::RequestScope scope;
};

TEST_F(ErrorDialogTest, EachWayOfClosing) {
  struct Row {
    const char* name;
    int id;
    char accelerator;
    bool closeBox;
    int result;
    bool stopAll;
    bool stop;
  } rows[] = {
      {"OK", kIdOk, 0, false, mrOk, false, false},
      {"Alt+O", kIdOk, 'O', false, mrOk, false, false},
      {"Stop", kIdErrorsStop, 0, false, mrAbort, true, true},
      {"Alt+A", kIdErrorsStop, 'A', false, mrAbort, true, true},
      {"close box", 0, 0, true, mrCancel, false, false},
  };
  HWND other = ::CreateWindowExW(0, L"STATIC", L"other", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0,
                                 200, 100, nullptr, nullptr, nullptr, nullptr);
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    CurrentRequest().DialogState = 5;
    DownloadFlags() = {false, true, false};
    TForm_DownloadErrors form(DialogHostOf(CurrentRequest()));
    EXPECT_EQ(Form_DownloadErrors(), &form);
    EXPECT_FALSE(DownloadFlags().StopAll);  // cleared when made
    form.FailedUrls = {"http://a/1", "http://b/2"};
    form.FailedTargets = {"1", "2"};
    whileUp = WhileUp{form.Handle(), other, row.id, row.accelerator, row.closeBox};
    UINT_PTR timer = ::SetTimer(nullptr, 0, 20, &LookWhileUp);
    EXPECT_EQ(form.ShowModal(), row.result);
    ::KillTimer(nullptr, timer);
    EXPECT_TRUE(whileUp.done);
    EXPECT_FALSE(whileUp.otherEnabled);  // modal: the thread's other windows disabled
    EXPECT_TRUE(whileUp.formEnabled);
    EXPECT_EQ(whileUp.dialogState, 0);
    EXPECT_TRUE(::IsWindowEnabled(other));  // and enabled again
    EXPECT_EQ(CurrentRequest().DialogState, 5);
    EXPECT_FALSE(::IsWindowVisible(form.Handle()));
    EXPECT_EQ(DownloadFlags().StopAll, row.stopAll);
    EXPECT_EQ(DownloadFlags().Stop, row.stop);
    EXPECT_EQ(MemoText(form), L"http://a/1\r\nhttp://b/2");
  }
  EXPECT_EQ(Form_DownloadErrors(), nullptr);
  ::DestroyWindow(other);
}

TEST_F(ErrorDialogTest, ClientSettingsFromTheRequest) {
  for (uint8_t useProxy : {0, 1}) {
    SCOPED_TRACE(int(useProxy));
    CurrentRequest().UseProxy = useProxy;
    CurrentRequest().ProxyServer = "proxy.example";
    CurrentRequest().ProxyPort = 3128;
    CurrentRequest().HttpReadTimeout = 2500;
    TForm_DownloadErrors form(DialogHostOf(CurrentRequest()));
    PostClick(form.Handle(), kIdOk);
    EXPECT_EQ(form.ShowModal(), mrOk);
    EXPECT_EQ(form.HTTP->ProxyParams.ProxyServer, useProxy ? "proxy.example" : "");
    EXPECT_EQ(form.HTTP->ProxyParams.ProxyPort, useProxy ? 3128 : 0);
    EXPECT_EQ(form.HTTP->ReadTimeout, 2500);
    EXPECT_FALSE(form.HTTP->HandleRedirects);
    EXPECT_FALSE(form.HTTP->OnIdle);  // waits without processing messages
  }
}

// Three failed entries retried against the server, answered as the reference host answers
// with --on-errors retry (Retry, then OK once Retry is enabled again).
TEST_F(ErrorDialogTest, RetryKeepsWhatFailsAgainInOrder) {
  struct Row {
    const char* name;
    std::vector<bool> succeeds;
  } rows[] = {
      {"second succeeds", {false, true, false}},
      {"all succeed", {true, true, true}},
      {"none succeeds", {false, false, false}},
  };
  CurrentRequest().PrepareForm = &host::PrepareDialog;
  host::SetDialogAutomation({host::ErrorListAction::Retry, ""});
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    support::TempFolder folder;
    test::TestHttpServer server;
    std::atomic<HWND> form{nullptr};
    std::atomic<int> enabledDuringRetry{0};
    std::vector<std::string> urls, targets, expectUrls, expectTargets;
    std::wstring expectMemo;
    for (size_t i = 0; i < row.succeeds.size(); ++i) {
      std::string path = "/r" + std::to_string(i + 1);
      server.Handle(path,
                    [&, ok = row.succeeds[i]](const test::TestRequest&, test::TestConnection& c) {
                      HWND window = form.load();
                      for (int id : {kIdRetry, kIdOk})
                        enabledDuringRetry += ::IsWindowEnabled(::GetDlgItem(window, id)) ? 1 : 0;
                      c.Send(ok ? "HTTP/1.1 200 OK\r\nContent-Length: 4\r\n\r\ngood"
                                : "HTTP/1.1 503 Busy\r\nContent-Length: 0\r\n\r\n");
                    });
      urls.push_back(server.Url(path));
      targets.push_back(folder.path() + "\\t" + std::to_string(i + 1) + ".bin");
      if (!row.succeeds[i]) {
        expectUrls.push_back(urls.back());
        expectTargets.push_back(targets.back());
        if (!expectMemo.empty()) expectMemo += L"\r\n";
        expectMemo += std::wstring(urls.back().begin(), urls.back().end());
      }
    }
    TForm_DownloadErrors dialog(DialogHostOf(CurrentRequest()));
    form = dialog.Handle();
    dialog.FailedUrls = urls;
    dialog.FailedTargets = targets;
    EXPECT_EQ(dialog.ShowModal(), mrOk);
    EXPECT_EQ(dialog.FailedUrls, expectUrls);
    EXPECT_EQ(dialog.FailedTargets, expectTargets);
    EXPECT_EQ(MemoText(dialog), expectMemo);
    for (size_t i = 0; i < targets.size(); ++i)
      EXPECT_EQ(platform::FileExists(targets[i]), bool(row.succeeds[i])) << targets[i];
    EXPECT_EQ(enabledDuringRetry.load(), 0);  // Retry and OK disabled while it ran
    EXPECT_TRUE(::IsWindowEnabled(::GetDlgItem(dialog.Handle(), kIdRetry)));
    EXPECT_TRUE(::IsWindowEnabled(::GetDlgItem(dialog.Handle(), kIdOk)));
    // From the last entry up.
    std::vector<std::string> order;
    for (const test::TestRequest& request : server.Requests()) order.push_back(request.path);
    EXPECT_EQ(order, (std::vector<std::string>{"/r3", "/r2", "/r1"}));
  }
  host::SetDialogAutomation({});
}

TEST_F(ErrorDialogTest, ButtonsEnabledAgainAfterARetryThatRaises) {
  TForm_DownloadErrors form(DialogHostOf(CurrentRequest()));
  form.FailedUrls = {"http://127.0.0.1:1/a", "http://127.0.0.1:1/b"};
  form.FailedTargets = {"only one"};  // lists out of step: the retry raises
  EXPECT_ANY_THROW(form.btnRetryClick());
  EXPECT_TRUE(::IsWindowEnabled(::GetDlgItem(form.Handle(), kIdRetry)));
  EXPECT_TRUE(::IsWindowEnabled(::GetDlgItem(form.Handle(), kIdOk)));
  EXPECT_EQ(form.FailedUrls.size(), 2u);
}

}  // namespace
}  // namespace lorvex
