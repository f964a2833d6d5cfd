// The fetch routines on the progress dialog's two engines, against a test server that tells
// the moniker (its user agent names MSIE) from the HTTP client.
#include "dialogs/ResourceFetch.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "dialogs/DialogIds.h"
#include "dialogs/DialogTestSupport.h"
#include "dialogs/DownloadProgress.h"
#include "http/HttpFetch.h"
#include "platform/Platform.h"
#include "support/TempFolder.h"
#include "support/TestHttpServer.h"
#include "util/FileOperation.h"

namespace lorvex {
namespace {

using Clock = std::chrono::steady_clock;
using test::TestConnection;
using test::TestRequest;

bool FromMoniker(const TestRequest& request) {
  return request.Header("user-agent").find("MSIE") != std::string::npos;
}

const std::string kOk = "HTTP/1.1 200 OK\r\nContent-Length: 9\r\n\r\nline1\nend";
const std::string kNotFound = "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n";
const std::string kServerError = "HTTP/1.1 500 Oops\r\nContent-Length: 0\r\n\r\n";

long long MsSince(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

class FetchTest : public ::testing::Test {
 protected:
  // Answers each engine with its own canned answer; a moniker answer "stall" sends the head
  // and part of a longer body, then nothing.
  void Route(const std::string& path, std::string moniker, std::string http) {
    server.Handle(path, [moniker, http](const TestRequest& request, TestConnection& c) {
      const std::string& answer = FromMoniker(request) ? moniker : http;
      if (answer == "stall") {
        c.Send("HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n" + std::string(4000, 'p'));
        c.Stall(20000);
        c.Close();
        return;
      }
      c.Send(answer);
    });
  }
  int Requests(const std::string& path, bool moniker) const {
    int count = 0;
    for (const TestRequest& request : server.Requests())
      count += request.path == path && FromMoniker(request) == moniker;
    return count;
  }
  std::string Target(const std::string& name) const { return folder.path() + "\\" + name; }

  test::RequestScope scope;
  support::TempFolder folder;
  test::TestHttpServer server;
};

TEST_F(FetchTest, MonikerFirstThenHttp) {
  struct Row {
    const char* path;
    std::string moniker, http;
    bool result;
    std::string file;                   // empty: no file at the target
    std::optional<std::string> text;    // none: the text could not be fetched
    int monikerRequests, httpRequests;  // for the file fetch
  } rows[] = {
      {"/moniker", kOk, kServerError, true, "line1\nend", "line1\r\nend\r\n", 1, 0},
      {"/fallback", kNotFound, kOk, true, "line1\nend", "line1\nend", 1, 1},
      {"/neither", kNotFound, kServerError, false, "", std::nullopt, 1, 1},
      // The moniker stores part of the body, then the server goes silent until its time-out.
      {"/partial", "stall", kServerError, false, "", std::nullopt, 1, 1},
  };
  TForm_DownloadProgress form;
  form.IEDownload.TimeOut = 1500;
  ULONG stored = 0;
  form.IEDownload.OnData = [&](TBSCB&, std::string&, ULONG& length) { stored += length; };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.path);
    Route(row.path, row.moniker, row.http);
    std::string target = Target(std::string(row.path + 1) + ".txt");
    stored = 0;
    EXPECT_EQ(FetchToFile(server.Url(row.path), target, form.IEDownload, *form.HTTP), row.result);
    EXPECT_EQ(platform::FileExists(target), !row.file.empty());
    if (!row.file.empty()) {
      EXPECT_EQ(ReadFileBytes(target), row.file);
    }
    EXPECT_FALSE(platform::FileExists(PartialFileName(target)));
    if (row.moniker == "stall") {
      EXPECT_GT(stored, 0u);  // there was a part to remove
    }
    EXPECT_EQ(Requests(row.path, true), row.monikerRequests);
    EXPECT_EQ(Requests(row.path, false), row.httpRequests);
    EXPECT_EQ(FetchText(server.Url(row.path), form.IEDownload, *form.HTTP), row.text);
  }
}

// Skip clicked (a posted click, as the user's arrives) while the HTTP fallback waits for a
// server that never answers ends that fetch at once; so does the close box, which takes the
// client away from under its own transfer.
TEST_F(FetchTest, SkipOrCloseEndsAStalledHttpFallback) {
  for (bool closeBox : {false, true}) {
    SCOPED_TRACE(closeBox ? "close box" : "Skip");
    TForm_DownloadProgress form;
    form.Show();
    std::atomic<long long> clickedAt{0};
    const Clock::time_point start = Clock::now();
    const std::string path = closeBox ? "/closed" : "/skipped";
    server.Handle(path, [&](const TestRequest& request, TestConnection& c) {
      if (FromMoniker(request)) {
        c.Send(kNotFound);
        return;
      }
      clickedAt = MsSince(start);
      if (closeBox)
        ::PostMessageW(form.Handle(), WM_CLOSE, 0, 0);
      else
        test::PostClick(form.Handle(), kIdSkip);
      c.Stall(20000);
    });
    EXPECT_FALSE(FetchToFile(server.Url(path), Target("s.txt"), form.IEDownload, *form.HTTP));
    ASSERT_GT(clickedAt.load(), 0);
    // Hiding a window under Wine without a window manager waits up to 2 s for the window's
    // withdrawal; the transfer itself ended at once there too.
    EXPECT_LT(MsSince(start) - clickedAt.load(), closeBox ? 3000 : 1000);
    EXPECT_FALSE(platform::FileExists(Target("s.txt")));
    EXPECT_EQ(form.HTTP == nullptr, closeBox);
  }
}

// A hidden dialog has no Skip: with the quiet bounds, a server that accepts and never
// answers ends both engines' waits within the bound each.
TEST_F(FetchTest, QuietBoundsEndEveryWait) {
  constexpr int kBound = 1500;
  CurrentRequest().HttpReadTimeout = kBound;
  TForm_DownloadProgress form;
  form.BoundWaitsWhileHidden();
  server.Handle("/silent", [](const TestRequest&, TestConnection& c) { c.Stall(30000); });
  Clock::time_point start = Clock::now();
  EXPECT_FALSE(FetchToFile(server.Url("/silent"), Target("q.txt"), form.IEDownload, *form.HTTP));
  EXPECT_LT(MsSince(start), 2 * kBound + 4000);
  EXPECT_EQ(Requests("/silent", true), 1);
  EXPECT_EQ(Requests("/silent", false), 1);  // the fallback ran, and ended too
  start = Clock::now();
  EXPECT_EQ(FetchText(server.Url("/silent"), form.IEDownload, *form.HTTP), std::nullopt);
  EXPECT_LT(MsSince(start), 2 * kBound + 4000);
}

}  // namespace
}  // namespace lorvex
