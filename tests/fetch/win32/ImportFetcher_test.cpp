// The import's transfers on Windows, against a test server that tells the moniker (its user
// agent names MSIE) from the HTTP client: one at a time as the import asks for them, Skip and
// the close box of the progress dialog, the quiet bounds, and several at once.
#include "fetch/win32/ImportFetcher.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "dialogs/DialogIds.h"
#include "dialogs/DialogTestSupport.h"
#include "dialogs/DownloadFlags.h"
#include "dialogs/DownloadProgress.h"
#include "dialogs/MessagePump.h"
#include "download/DownloadFakes.h"
#include "fetch/FetchAhead.h"
#include "http/HttpFetch.h"
#include "platform/Platform.h"
#include "plugin/RequestDialogs.h"
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

// The import's view of a progress dialog, as the plug-in gives it.
class Observer final : public ImportObserver {
 public:
  explicit Observer(TForm_DownloadProgress* form = nullptr) : form_(form) {}
  void ProcessMessages() override { ProcessPendingMessages(); }
  bool HasProgressBar() const override { return false; }
  void SetProgress(int) override {}
  bool StopAll() const override { return DownloadFlags().StopAll; }
  bool TakeSkip() override { return form_ && form_->TakeSkip(); }

 private:
  TForm_DownloadProgress* form_;
};

ImportFetchSettings Settings(int waitBound, int connections = 1) {
  ImportFetchSettings settings;
  settings.WaitBound = waitBound;
  settings.Connections = connections;
  return settings;
}

bool FetchToFile(ImportFetcher& fetcher, const std::string& url, const std::string& file,
                 TForm_DownloadProgress* form = nullptr) {
  Observer observer(form);
  FetchAhead fetches(fetcher, observer, 1, std::string());
  return fetches.FetchToFile(url, file);
}
std::optional<std::string> FetchText(ImportFetcher& fetcher, const std::string& url) {
  Observer observer;
  FetchAhead fetches(fetcher, observer, 1, std::string());
  return fetches.FetchText(url);
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
  ImportFetcher fetcher(Settings(1500));
  ULONG stored = 0;
  fetcher.Downloader().OnData = [&](TBSCB&, std::string&, ULONG& length) { stored += length; };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.path);
    Route(row.path, row.moniker, row.http);
    std::string target = Target(std::string(row.path + 1) + ".txt");
    stored = 0;
    EXPECT_EQ(FetchToFile(fetcher, server.Url(row.path), target), row.result);
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
    EXPECT_EQ(FetchText(fetcher, server.Url(row.path)), row.text);
  }
}

// Skip clicked (a posted click, as the user's arrives) while the HTTP fallback waits for a
// server that never answers ends that fetch at once; so does the close box, after which
// nothing more is requested.
TEST_F(FetchTest, SkipOrCloseEndsAStalledHttpFallback) {
  for (bool closeBox : {false, true}) {
    SCOPED_TRACE(closeBox ? "close box" : "Skip");
    ImportFetcher fetcher({});
    TForm_DownloadProgress form(DialogHostOf(CurrentRequest()));
    form.OnClose = [&] { fetcher.AbandonAll(); };
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
    EXPECT_FALSE(FetchToFile(fetcher, server.Url(path), Target("s.txt"), &form));
    ASSERT_GT(clickedAt.load(), 0);
    // Hiding a window under Wine without a window manager waits up to 2 s for the window's
    // withdrawal; the transfer itself ended at once there too.
    EXPECT_LT(MsSince(start) - clickedAt.load(), closeBox ? 3000 : 1000);
    EXPECT_FALSE(platform::FileExists(Target("s.txt")));
    const size_t requests = server.Requests().size();
    EXPECT_FALSE(FetchToFile(fetcher, server.Url(path), Target("s.txt"), &form));
    EXPECT_EQ(server.Requests().size(), requests + (closeBox ? 0 : 2));
  }
}

// A hidden dialog has no Skip: with the quiet bounds, a server that accepts and never
// answers ends both engines' waits within the bound each.
TEST_F(FetchTest, QuietBoundsEndEveryWait) {
  constexpr int kBound = 1500;
  ImportFetcher fetcher(Settings(kBound));
  server.Handle("/silent", [](const TestRequest&, TestConnection& c) { c.Stall(30000); });
  Clock::time_point start = Clock::now();
  EXPECT_FALSE(FetchToFile(fetcher, server.Url("/silent"), Target("q.txt")));
  EXPECT_LT(MsSince(start), 2 * kBound + 4000);
  EXPECT_EQ(Requests("/silent", true), 1);
  EXPECT_EQ(Requests("/silent", false), 1);  // the fallback ran, and ended too
  start = Clock::now();
  EXPECT_EQ(FetchText(fetcher, server.Url("/silent")), std::nullopt);
  EXPECT_LT(MsSince(start), 2 * kBound + 4000);
}

// Transfers announced ahead overlap: the moniker's bindings run together on this thread, and
// each file reaches its target only when it is asked for; the folder of the files that ran
// ahead is gone at the end.
TEST_F(FetchTest, SeveralAtOnce) {
  std::atomic<int> running{0}, most{0};
  server.Handle("/slow", [&](const TestRequest&, TestConnection& c) {
    const int now = ++running;
    for (int seen = most; now > seen && !most.compare_exchange_weak(seen, now);) {
    }
    c.Stall(400);
    --running;
    c.Send(kOk);
  });
  constexpr int kCount = 6;
  const std::string ahead = folder.path() + "\\ahead";
  ImportFetcher fetcher(Settings(0, kCount));
  Observer observer;
  {
    FetchAhead fetches(fetcher, observer, kCount, ahead);
    for (int i = 0; i < kCount; ++i)
      fetches.Plan(server.Url("/slow?" + std::to_string(i)), Target(std::to_string(i)), &fetches);
    for (int i = 0; i < kCount; ++i) {
      EXPECT_FALSE(platform::FileExists(Target(std::to_string(i))));
      ASSERT_TRUE(
          fetches.FetchToFile(server.Url("/slow?" + std::to_string(i)), Target(std::to_string(i))));
      EXPECT_EQ(ReadFileBytes(Target(std::to_string(i))), "line1\nend");
    }
  }
  EXPECT_FALSE(platform::DirectoryExists(ahead));
  std::printf("[          ] moniker bindings to one server at once: %d\n", most.load());
  EXPECT_GE(most.load(), 2);
}

// With the dialog shown and nothing bounding a wait, transfers that stall run ahead; the
// resources planned after them (as a style sheet's are, behind texts planned earlier) are
// waited for first and still arrive at once: no transfer running ahead takes the connection
// they need. Skip, pressed on each stalled resource when the import waits for it, ends it
// within a second: once where HTTP stalls after the moniker failed, twice where the moniker
// stalls and hands over to an HTTP fallback that stalls too.
TEST_F(FetchTest, SkipOnEachStalledResourceWhileOthersRunAhead) {
  // m: both engines stall; h: the moniker finds nothing, HTTP stalls; f: the moniker finds
  // nothing, HTTP answers; o: the moniker answers.
  const std::vector<std::string> planned = {"/h0", "/h1", "/h2", "/h3", "/h4", "/h5", "/m0",
                                            "/h6", "/m1", "/f0", "/o0", "/f1", "/o1", "/f2"};
  const std::vector<std::string> waited = {"/f0", "/o0", "/f1", "/h0", "/m0", "/o1", "/h1",
                                           "/f2", "/h2", "/h3", "/m1", "/h4", "/h5", "/h6"};
  for (const std::string& path : planned) {
    server.Handle(path, [kind = path[1]](const TestRequest& request, TestConnection& c) {
      if (kind == 'o' || (kind == 'f' && !FromMoniker(request))) {
        c.Send(kOk);
      } else if (kind != 'm' && FromMoniker(request)) {
        c.Send(kNotFound);
      } else {
        c.Stall(20000);
        c.Close();
      }
    });
  }
  ImportFetcher fetcher(Settings(0, 6));
  TForm_DownloadProgress form(DialogHostOf(CurrentRequest()));
  form.OnClose = [&] { fetcher.AbandonAll(); };
  form.Show();
  // Presses Skip once for each engine that has asked for the waited-for resource and stalls.
  std::mutex lock;
  std::string waitedFor;  // set before each fetch
  std::atomic<bool> done{false};
  std::atomic<long long> lastClick{0};
  const Clock::time_point start = Clock::now();
  std::thread presser([&] {
    std::string pressedFor;
    int presses = 0;
    while (!done) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      std::string path;
      {
        std::lock_guard<std::mutex> guard(lock);
        path = waitedFor;
      }
      if (path != pressedFor) pressedFor = path, presses = 0;
      if (path.empty() || path[1] == 'o' || path[1] == 'f') continue;
      const int stalledAsks = Requests(path, false) + (path[1] == 'm' ? Requests(path, true) : 0);
      if (presses < stalledAsks) {
        ++presses;
        lastClick = MsSince(start);
        test::PostClick(form.Handle(), kIdSkip);
      }
    }
  });
  struct JoinAtEnd {
    std::atomic<bool>& done;
    std::thread& thread;
    ~JoinAtEnd() {
      done = true;
      thread.join();
    }
  } joinPresser{done, presser};
  const std::string ahead = folder.path() + "\\ahead";
  Observer observer(&form);
  {
    FetchAhead fetches(fetcher, observer, 6, ahead);
    for (const std::string& path : planned)
      fetches.Plan(server.Url(path), Target(path.substr(1)), &fetches);
    for (const std::string& path : waited) {
      SCOPED_TRACE(path);
      {
        std::lock_guard<std::mutex> guard(lock);
        waitedFor = path;
      }
      lastClick = 0;
      const long long asked = MsSince(start);
      const bool saved = fetches.FetchToFile(server.Url(path), Target(path.substr(1)));
      const bool healthy = path[1] == 'o' || path[1] == 'f';
      EXPECT_EQ(saved, healthy);
      if (healthy) {
        EXPECT_LT(MsSince(start) - asked, 3000);
        EXPECT_EQ(ReadFileBytes(Target(path.substr(1))), "line1\nend");
      } else {
        ASSERT_GT(lastClick.load(), 0);
        EXPECT_LT(MsSince(start) - lastClick.load(), 1000);
        EXPECT_EQ(Requests(path, false), 1);  // HTTP asked once, after the moniker
        EXPECT_FALSE(platform::FileExists(Target(path.substr(1))));
      }
    }
  }
  EXPECT_FALSE(platform::DirectoryExists(ahead));
}

// A binding that ignores its abort (as some urlmon versions do) keeps writing into its file
// in the folder of the fetches that ran ahead: once the import has given it up, the file is
// let go of and the folder is gone all the same; nothing reaches the target.
TEST_F(FetchTest, ABindingThatIgnoresItsAbortLeavesNoFolder) {
  test::FakeBinding binding;  // counts aborts, and ends nothing
  test::FakeStream data;
  const std::string ahead = folder.path() + "\\ahead";
  {
    ImportFetchSettings settings = Settings(0, 6);
    settings.StartBinding = [&](TIEDownload& download, const std::string& url,
                                const std::string& file) {
      TBSCB::Hold object = TBSCB::CreateUnbound(download.MakeInfo(url, file));
      EXPECT_EQ(object->OnStartBinding(0, &binding), S_OK);
      data.Append("the first bytes");
      STGMEDIUM medium{};
      medium.tymed = TYMED_ISTREAM;
      medium.pstm = &data;
      FORMATETC format{};
      object->OnDataAvailable(BSCF_FIRSTDATANOTIFICATION, DWORD(data.bytes.size()), &format,
                              &medium);
      return object;
    };
    ImportFetcher fetcher(settings);
    Observer observer;
    {
      FetchAhead fetches(fetcher, observer, 6, ahead);
      fetches.Plan(server.Url("/never"), Target("never.gif"), &fetches);
      EXPECT_TRUE(platform::FileExists(ahead + "\\1.tmp"));  // held open by the binding
    }
    EXPECT_GE(binding.aborts, 1);
    EXPECT_FALSE(platform::DirectoryExists(ahead));
  }
  EXPECT_FALSE(platform::DirectoryExists(ahead));
  EXPECT_FALSE(platform::FileExists(Target("never.gif")));
  EXPECT_EQ(Requests("/never", false), 0);  // given up, never asked of HTTP
}

}  // namespace
}  // namespace lorvex
