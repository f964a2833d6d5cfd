// The downloader through the system's urlmon (Wine's, when the tests run under Wine), against
// a server that the test starts on 127.0.0.1. Where Wine's urlmon differs from what the
// component expects of urlmon, the test says so; the outcomes are the same either way.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "download/IEDownload.h"
#include "platform/Platform.h"
#include "support/TempFolder.h"
#include "support/TestHttpServer.h"
#include "support/win32/MessageLoop.h"
#include "util/FileOperation.h"

namespace lorvex {
namespace {

using test::PumpFor;
using test::PumpUntil;
using test::TestConnection;
using test::TestRequest;

constexpr HRESULT kTimeout = HRESULT(0x800C000B);
const WaitLimits kLimits{15000, {}};

struct Outcome {
  bool stream;
  HRESULT result;
  DWORD code;
  bool operator==(const Outcome&) const = default;
};

class UrlmonTest : public ::testing::Test {
 protected:
  void SetUp() override {
    live = TBSCB::LiveObjects();
    server.emplace();
    download.emplace();
    download->UserAgent = "lorvex-test/1";
    download->OnComplete = [this](TBSCB& sender, IStream* stream, HRESULT result) {
      outcomes.push_back({stream != nullptr, result, sender.ResponseCode()});
      if (stream) received = ReadStream(stream);
    };
  }
  void TearDown() override {
    // No callback object outlives its binding: once the server is gone and urlmon has had
    // its messages, every object urlmon held has been released and freed.
    download.reset();
    server.reset();
    PumpUntil([this] { return TBSCB::LiveObjects() == live; }, 5000);
    EXPECT_EQ(TBSCB::LiveObjects(), live);
  }
  static std::string ReadStream(IStream* stream) {
    LARGE_INTEGER zero{};
    ULARGE_INTEGER position{};
    stream->Seek(zero, STREAM_SEEK_CUR, &position);
    stream->Seek(zero, STREAM_SEEK_SET, nullptr);
    std::string bytes;
    char buffer[4096];
    ULONG got = 0;
    while (SUCCEEDED(stream->Read(buffer, sizeof buffer, &got)) && got > 0)
      bytes.append(buffer, got);
    LARGE_INTEGER back{};
    back.QuadPart = LONGLONG(position.QuadPart);
    stream->Seek(back, STREAM_SEEK_SET, nullptr);
    return bytes;
  }
  std::string Path(const std::string& name) const { return folder.path() + "\\" + name; }
  static void SlowBody(TestConnection& c, size_t total, size_t piece, int delayMs) {
    c.Send("HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(total) + "\r\n\r\n");
    c.SendSlowly(std::string(total, 'z'), piece, delayMs);
  }

  LONG live = 0;
  support::TempFolder folder;
  std::optional<test::TestHttpServer> server;
  std::optional<TIEDownload> download;
  std::vector<Outcome> outcomes;
  std::string received;
};

TEST_F(UrlmonTest, AsynchronousIntoFileAndMemory) {
  server->Respond("/page", 200, "line a\nline b\r\n", "Content-Type: text/plain\r\n");
  download->DownloadToFile(server->Url("/page"), Path("page.txt"));
  EXPECT_EQ(download->DownloadList().size(), 1u);  // runs on after the call
  EXPECT_EQ(download->WaitForAll(kLimits), WaitOutcome::Ended);
  EXPECT_TRUE(download->DownloadList().empty());
  EXPECT_EQ(ReadFileBytes(Path("page.txt")), "line a\nline b\r\n");
  EXPECT_EQ(outcomes, (std::vector<Outcome>{{true, S_OK, 200}}));
  EXPECT_EQ(received, "line a\nline b\r\n");  // the file stream, from position 0

  std::string text = "left over";
  EXPECT_EQ(download->DownloadToMemoryAndWait(server->Url("/page"), true, text, kLimits),
            WaitOutcome::Ended);
  EXPECT_EQ(text, "line a\r\nline b\r\n");
  server->Respond("/zero", 200, std::string("before\0after", 12));
  EXPECT_EQ(download->DownloadToMemoryAndWait(server->Url("/zero"), true, text, kLimits),
            WaitOutcome::Ended);
  EXPECT_EQ(text, "before\r\n");  // the text ends at the first zero byte
  EXPECT_EQ(download->DownloadToMemoryAndWait(server->Url("/page"), false, text, kLimits),
            WaitOutcome::Ended);
  EXPECT_EQ(text, "");
  EXPECT_EQ(outcomes.back(), (Outcome{true, S_OK, 200}));
  EXPECT_EQ(received, "line a\nline b\r\n");
  // urlmon lets go of its references after the end, some of them from a thread of its own.
  PumpUntil([this] { return download->RefCount() == 1; }, 5000);
  EXPECT_EQ(download->RefCount(), 1);
  EXPECT_EQ(download->Tag, 0);  // the routines leave Tag alone
}

TEST_F(UrlmonTest, SynchronousDownloadsEndInsideTheCall) {
  server->Respond("/page", 200, "synchronous\n");
  download->SetOptions({TBindInfoOption::NoWriteCache, TBindInfoOption::GetNewestVersion});
  download->DownloadToFile(server->Url("/page"), Path("sync.txt"));
  EXPECT_EQ(outcomes, (std::vector<Outcome>{{true, S_OK, 200}}));
  EXPECT_TRUE(download->DownloadList().empty());
  // The component has let go of the callback object; urlmon's last release may come from a
  // thread of its own a moment later.
  PumpUntil([this] { return TBSCB::LiveObjects() == live; }, 5000);
  EXPECT_EQ(TBSCB::LiveObjects(), live);
  EXPECT_EQ(ReadFileBytes(Path("sync.txt")), "synchronous\n");
  std::string text;
  download->DownloadToMemory(server->Url("/page"), true, text);
  EXPECT_EQ(text, "synchronous\r\n");
  EXPECT_EQ(outcomes.size(), 2u);
}

TEST_F(UrlmonTest, RequestHeaderLinesArriveIntact) {
  server->Respond("/h", 200, "ok");
  download->AdditionalHeader.push_back("X-Extra: two");
  std::string text;
  download->DownloadToMemoryAndWait(server->Url("/h"), true, text, kLimits);
  std::vector<TestRequest> requests = server->Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].Header("user-agent"), "lorvex-test/1");
  // Wine's urlmon appends its own header lines directly after the component's text: without
  // a CR LF after the last line this value would run into Wine's "Accept-Encoding" line.
  EXPECT_EQ(requests[0].Header("content-type"), "application/x-www-form-urlencoded");
  EXPECT_EQ(requests[0].Header("x-extra"), "two");
  EXPECT_FALSE(requests[0].HasHeader("range"));
}

TEST_F(UrlmonTest, ClientAndServerErrorsEndInFailure) {
  // Wine's urlmon ends 404 and 500 answers with OnStopBinding(S_OK) and ignores E_ABORT from
  // OnResponse; the component aborts the binding itself, so the last outcome is a failure and
  // the server's error page is not kept.
  server->Respond("/missing", 404, "<html>not here</html>");
  server->Respond("/broken", 500, "<html>server error</html>");
  download->DownloadToFileAndWait(server->Url("/missing"), Path("missing.htm"), kLimits);
  EXPECT_EQ(outcomes, (std::vector<Outcome>{{false, E_ABORT, 404}, {false, E_ABORT, 404}}));
  EXPECT_FALSE(platform::FileExists(Path("missing.htm")));
  outcomes.clear();
  std::string text;
  download->DownloadToMemoryAndWait(server->Url("/missing"), true, text, kLimits);
  EXPECT_EQ(outcomes.back().result, E_ABORT);
  EXPECT_EQ(text, "");
  outcomes.clear();
  download->DownloadToFileAndWait(server->Url("/broken"), Path("broken.htm"), kLimits);
  EXPECT_EQ(outcomes, (std::vector<Outcome>{{false, INET_E_DOWNLOAD_FAILURE, 500}}));
  EXPECT_FALSE(platform::FileExists(Path("broken.htm")));
}

TEST_F(UrlmonTest, ResumedDownloads) {
  std::string file = folder.File("part.bin", std::string(1000, 'a'));
  server->Handle("/partial", [](const TestRequest& request, TestConnection& c) {
    if (request.Header("range") == "bytes=1000-")
      c.Send(
          "HTTP/1.1 206 Partial Content\r\nContent-Range: bytes 1000-1004/1005\r\n"
          "Content-Length: 5\r\n\r\nbbbbb");
    else
      c.Send("HTTP/1.1 400 Bad Request\r\nContent-Length: 3\r\n\r\nbad");
  });
  std::vector<std::pair<ULONG, ULONG>> progress;
  download->OnProgress = [&](TBSCB&, ULONG p, ULONG m, ULONG status, LPCWSTR, const std::string&,
                             const std::string&, const std::string&) {
    if (status == BINDSTATUS_ENDDOWNLOADDATA) progress.push_back({p, m});
  };
  download->DownloadToFileAndWait(server->Url("/partial"), file, kLimits);
  EXPECT_EQ(server->Requests().back().Header("range"), "bytes=1000-");
  EXPECT_EQ(ReadFileBytes(file), std::string(1000, 'a') + "bbbbb");
  EXPECT_EQ(outcomes.back(), (Outcome{true, S_OK, 206}));
  EXPECT_EQ(progress, (std::vector<std::pair<ULONG, ULONG>>{{1005, 1005}}));

  // A server that ignores the range sends the whole resource: the file is written anew.
  server->Respond("/whole", 200, "fresh");
  progress.clear();
  download->DownloadToFileAndWait(server->Url("/whole"), file, kLimits);
  EXPECT_EQ(server->Requests().back().Header("range"), "bytes=1005-");
  EXPECT_EQ(ReadFileBytes(file), "fresh");
  EXPECT_EQ(progress, (std::vector<std::pair<ULONG, ULONG>>{{5, 5}}));

  // A range beyond the server's copy: 416, the file is left as it was.
  server->Respond("/beyond", 416, "<html>range</html>");
  outcomes.clear();
  download->DownloadToFileAndWait(server->Url("/beyond"), file, kLimits);
  EXPECT_EQ(outcomes, (std::vector<Outcome>{{false, E_ABORT, 416}, {false, E_ABORT, 416}}));
  EXPECT_EQ(ReadFileBytes(file), "fresh");

  // OnResume answering 2 refuses before anything is sent.
  size_t before = server->Requests().size();
  download->OnResume = [](TBSCB&, const std::string&, ULONG& action) { action = 2; };
  outcomes.clear();
  download->DownloadToFileAndWait(server->Url("/whole"), file, kLimits);
  EXPECT_EQ(server->Requests().size(), before);
  ASSERT_FALSE(outcomes.empty());
  EXPECT_EQ(outcomes.back().result, E_ABORT);
}

TEST_F(UrlmonTest, EmptyAnswerCompletesThenFails) {
  server->Respond("/empty", 200, "");
  download->DownloadToFileAndWait(server->Url("/empty"), Path("empty.bin"), kLimits);
  EXPECT_EQ(outcomes, (std::vector<Outcome>{{false, S_OK, 200}, {false, E_ABORT, 200}}));
}

TEST_F(UrlmonTest, StalledServerTimesOut) {
  // Wine's urlmon never times a stalled transfer out by itself; the inactivity timer does.
  server->Handle("/stall", [](const TestRequest&, TestConnection& c) {
    c.Send("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nabc");
    c.Stall(20000);
  });
  download->TimeOut = 300;
  DWORD start = ::GetTickCount();
  std::string text;
  EXPECT_EQ(download->DownloadToMemoryAndWait(server->Url("/stall"), true, text, kLimits),
            WaitOutcome::Ended);
  EXPECT_LT(::GetTickCount() - start, 10000u);
  ASSERT_FALSE(outcomes.empty());
  EXPECT_EQ(outcomes.back().result, kTimeout);
  EXPECT_TRUE(download->DownloadList().empty());

  // Without TimeOut the wait's own limit ends it, and the download is aborted.
  download->TimeOut = 0;
  outcomes.clear();
  EXPECT_EQ(download->DownloadToMemoryAndWait(server->Url("/stall"), true, text, {400, {}}),
            WaitOutcome::TimedOut);
  ASSERT_FALSE(outcomes.empty());
  EXPECT_EQ(outcomes.back().result, E_ABORT);
  // And a stop request ends it as well.
  outcomes.clear();
  int asked = 0;
  EXPECT_EQ(download->DownloadToFileAndWait(server->Url("/stall"), Path("s.bin"),
                                            {15000, [&] { return ++asked > 5; }}),
            WaitOutcome::Stopped);
  ASSERT_FALSE(outcomes.empty());
  EXPECT_EQ(outcomes.back().result, E_ABORT);
}

TEST_F(UrlmonTest, WaitLeavesAQuitRequestToTheThreadsLoop) {
  server->Handle("/stall", [](const TestRequest&, TestConnection& c) {
    c.Send("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nabc");
    c.Stall(20000);
  });
  ::PostQuitMessage(3);
  std::string text;
  EXPECT_EQ(download->DownloadToMemoryAndWait(server->Url("/stall"), true, text, kLimits),
            WaitOutcome::Stopped);
  ASSERT_FALSE(outcomes.empty());
  EXPECT_EQ(outcomes.back().result, E_ABORT);
  MSG message;
  ASSERT_TRUE(::PeekMessageA(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
  EXPECT_EQ(message.wParam, 3u);
}

TEST_F(UrlmonTest, CancelInTheMiddleOfALargeBody) {
  const size_t total = 4 << 20;
  server->Handle("/large",
                 [](const TestRequest&, TestConnection& c) { SlowBody(c, 4 << 20, 64 << 10, 30); });
  download->OnData = [this](TBSCB&, std::string&, ULONG& length) {
    if (length > 0) download->Cancel();
  };
  ULONG got = 0;
  download->OnComplete = [&](TBSCB& sender, IStream* stream, HRESULT result) {
    outcomes.push_back({stream != nullptr, result, sender.ResponseCode()});
    got = sender.Received();
  };
  EXPECT_EQ(download->DownloadToFileAndWait(server->Url("/large"), Path("large.bin"), kLimits),
            WaitOutcome::Stopped);
  EXPECT_EQ(outcomes, (std::vector<Outcome>{{true, E_ABORT, 200}}));
  EXPECT_GT(got, 0u);
  EXPECT_LT(got, total);

  // Cancel, then a new download: it runs normally.
  download->OnData = nullptr;
  server->Respond("/small", 200, "after cancel");
  download->Cancel();
  EXPECT_TRUE(download->Cancelled());
  outcomes.clear();
  EXPECT_EQ(download->DownloadToFileAndWait(server->Url("/small"), Path("small.txt"), kLimits),
            WaitOutcome::Ended);
  EXPECT_EQ(outcomes, (std::vector<Outcome>{{true, S_OK, 200}}));
  EXPECT_EQ(ReadFileBytes(Path("small.txt")), "after cancel");
  EXPECT_FALSE(download->Cancelled());  // cleared by the new download
}

TEST_F(UrlmonTest, TwoAsynchronousDownloadsAtOnce) {
  server->Handle("/slow",
                 [](const TestRequest&, TestConnection& c) { SlowBody(c, 300000, 30000, 20); });
  server->Respond("/quick", 200, "quick");
  std::vector<std::string> finished;
  download->OnComplete = [&](TBSCB& sender, IStream*, HRESULT result) {
    EXPECT_EQ(result, S_OK);
    finished.push_back(sender.Info().FileName);
  };
  download->DownloadToFile(server->Url("/slow"), Path("slow.bin"));
  download->DownloadToFile(server->Url("/quick"), Path("quick.txt"));
  EXPECT_EQ(download->DownloadList().size(), 2u);
  EXPECT_EQ(download->WaitForAll(kLimits), WaitOutcome::Ended);
  EXPECT_THAT(finished, ::testing::UnorderedElementsAre(Path("slow.bin"), Path("quick.txt")));
  EXPECT_EQ(ReadFileBytes(Path("slow.bin")), std::string(300000, 'z'));
  EXPECT_EQ(ReadFileBytes(Path("quick.txt")), "quick");
  // urlmon lets go of its references after the end, some of them from a thread of its own.
  PumpUntil([this] { return download->RefCount() == 1; }, 5000);
  EXPECT_EQ(download->RefCount(), 1);
}

TEST_F(UrlmonTest, FailuresThatNeverReachTheServer) {
  std::string text;
  // Wine's IsValidURL accepts any text; its BindToStorage rejects the URL instead, after an
  // OnStopBinding of its own. The last outcome is MK_E_SYNTAX either way.
  download->DownloadToMemoryAndWait("not a url", true, text, kLimits);
  ASSERT_FALSE(outcomes.empty());
  EXPECT_EQ(outcomes.back(), (Outcome{false, MK_E_SYNTAX, 0}));

  server->Respond("/ok", 200, "ok");
  outcomes.clear();
  download->DownloadToFileAndWait(server->Url("/ok"), Path("no folder\\f.txt"), kLimits);
  EXPECT_EQ(outcomes,
            (std::vector<Outcome>{{false, HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND), 200}}));

  download->SetMethod(TBindVerbOption::Put);
  download->PutFileName = Path("missing.bin");
  outcomes.clear();
  size_t before = server->Requests().size();
  download->DownloadToMemoryAndWait(server->Url("/ok"), true, text, kLimits);
  ASSERT_FALSE(outcomes.empty());
  EXPECT_EQ(outcomes.back().result, HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(server->Requests().size(), before);
  EXPECT_TRUE(download->DownloadList().empty());
}

TEST_F(UrlmonTest, RequestBodiesAndTheVerbAfterARedirection) {
  server->Handle("/moved", [](const TestRequest&, TestConnection& c) {
    c.Send("HTTP/1.1 302 Found\r\nLocation: /target\r\nContent-Length: 0\r\n\r\n");
  });
  server->Respond("/target", 200, "target");
  server->Respond("/put", 200, "stored");
  download->SetMethod(TBindVerbOption::Post);
  download->PostData = "abc";
  std::string text;
  download->DownloadToMemoryAndWait(server->Url("/moved"), true, text, kLimits);
  EXPECT_EQ(text, "target\r\n");
  download->SetMethod(TBindVerbOption::Put);
  download->PutFileName = folder.File("body.bin", "PUT BODY");
  download->DownloadToMemoryAndWait(server->Url("/put"), true, text, kLimits);
  std::vector<TestRequest> requests = server->Requests();
  ASSERT_EQ(requests.size(), 3u);
  EXPECT_EQ(requests[0].requestLine, "POST /moved HTTP/1.1");
  EXPECT_EQ(requests[0].body, std::string("abc\0", 4));
  EXPECT_EQ(requests[1].requestLine, "GET /target HTTP/1.1");
  EXPECT_EQ(requests[2].requestLine, "PUT /put HTTP/1.1");
  EXPECT_EQ(requests[2].body, "PUT BODY");
}

TEST_F(UrlmonTest, CredentialsWhenTheServerAsks) {
  // Wine's urlmon never asks IAuthenticate: it hands the 401 answer to OnResponse. The
  // component then asks for the credentials itself and sends the request once more.
  server->Handle("/private", [](const TestRequest& request, TestConnection& c) {
    if (request.Header("authorization") == "Basic bWU6cHc=")  // me:pw
      c.Send("HTTP/1.1 200 OK\r\nContent-Length: 6\r\n\r\nsecret");
    else
      c.Send(
          "HTTP/1.1 401 Unauthorized\r\nWWW-Authenticate: Basic realm=\"r\"\r\n"
          "Content-Length: 4\r\n\r\nnope");
  });
  std::string text;
  download->DownloadToMemoryAndWait(server->Url("/private"), true, text, kLimits);
  EXPECT_EQ(outcomes, (std::vector<Outcome>{{false, E_ABORT, 401}, {true, E_ABORT, 401}}));

  download->Username = "me";
  download->Password = "pw";
  outcomes.clear();
  download->DownloadToMemoryAndWait(server->Url("/private"), true, text, kLimits);
  EXPECT_EQ(text, "secret\r\n");
  EXPECT_EQ(outcomes, (std::vector<Outcome>{{true, S_OK, 200}}));

  int asked = 0;
  download->OnAuthenticate = [&](TBSCB&, HWND&, std::wstring& user,
                                 std::wstring& password) -> HRESULT {
    ++asked;
    user = L"me";
    password = L"wrong";
    return S_OK;
  };
  outcomes.clear();
  download->DownloadToFileAndWait(server->Url("/private"), Path("private.txt"), kLimits);
  EXPECT_EQ(asked, 1);  // one more attempt, then the answer is refused
  EXPECT_EQ(outcomes, (std::vector<Outcome>{{false, E_ABORT, 401}, {false, E_ABORT, 401}}));
  EXPECT_FALSE(platform::FileExists(Path("private.txt")));
  EXPECT_TRUE(download->DownloadList().empty());
}

TEST_F(UrlmonTest, ComponentDestroyedWhileDownloading) {
  server->Handle("/slow",
                 [](const TestRequest&, TestConnection& c) { SlowBody(c, 2 << 20, 32 << 10, 30); });
  download->DownloadToFile(server->Url("/slow"), Path("slow.bin"));
  PumpFor(300);
  download.reset();  // running bindings are aborted; urlmon's later calls find no component
  PumpFor(300);
  EXPECT_EQ(outcomes.size(), 0u);
}

}  // namespace
}  // namespace lorvex
