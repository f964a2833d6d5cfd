// The client against the test server on loopback: framing, keep-alive, failures, redirects,
// cookies, the proxy path, time-outs and Disconnect.
#include "http/HttpClient.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/Socket.h"
#include "support/InMemoryStream.h"
#include "support/TestHttpServer.h"

namespace lorvex {
namespace {

using test::InMemoryStream;
using test::TestConnection;
using test::TestHttpServer;
using test::TestRequest;
using Clock = std::chrono::steady_clock;

// The failure of a GET that must fail; body holds what reached the sink.
HttpError FailingGet(THttpClient& http, const std::string& url, std::string* body = nullptr) {
  StringSink sink;
  try {
    http.Get(url, sink);
  } catch (const HttpError& e) {
    if (body) *body = sink.Text();
    return e;
  }
  ADD_FAILURE() << "GET " << url << " succeeded with " << sink.Text().size() << " bytes";
  return HttpError(HttpFailure::Status, "no failure");
}

std::string Pattern(std::uint64_t count) {
  std::string s(count, 0);
  for (std::uint64_t i = 0; i < count; ++i) s[i] = TestConnection::PatternByte(i);
  return s;
}

TEST(HttpFraming, ContentLengthChunkedAndClose) {
  TestHttpServer server;
  server.Respond("/length", 200, "0123456789");
  server.Canned("/chunked",
                "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"
                "4\r\nWiki\r\n5;name=value\r\npedia\r\nE \r\n in\r\n\r\nchunks.\r\n0\r\nX-Trailer: "
                "yes\r\n\r\n");
  server.Canned("/close", "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\nuntil the end");
  server.Canned("/lf", "HTTP/1.1 200 OK\nContent-Length: 3\n\nabc");
  server.Canned("/empty", "HTTP/1.1 204 No Content\r\nContent-Length: 99\r\n\r\n");
  server.Canned("/interim",
                "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 103 Hints\r\nLink: x\r\n\r\n"
                "HTTP/1.1 200 OK\r\nX-Folded: a\r\n  b\r\nContent-Length: 2\r\n\r\nok");
  THttpClient http;
  EXPECT_EQ(http.Get(server.Url("/length")), "0123456789");
  EXPECT_EQ(http.Get(server.Url("/chunked")), "Wikipedia in\r\n\r\nchunks.");
  EXPECT_EQ(http.Get(server.Url("/close")), "until the end");
  EXPECT_EQ(http.Get(server.Url("/lf")), "abc");
  EXPECT_EQ(http.Get(server.Url("/empty")), "");
  EXPECT_EQ(http.ResponseCode(), 204);
  EXPECT_EQ(http.Get(server.Url("/interim")), "ok");
}

// The same answers delivered in pieces of every size: the framing must not depend on where the
// reads split. Two answers share one stream, so the second GET reuses the kept connection.
TEST(HttpFraming, AnswersSplitAnywhereOverOneKeptStream) {
  const std::vector<std::string> answers = {
      "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nfirst",
      "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"
      "3;x=y\r\nsec\r\n3\r\nond\r\n0\r\nTrailer: t\r\n\r\n"};
  for (std::vector<std::size_t> pieces :
       {std::vector<std::size_t>{}, {1}, {2, 3}, {7}, {64, 1, 5}}) {
    THttpClient http;
    int opened = 0;
    InMemoryStream* peer = nullptr;
    http.OpenStream = [&](const std::string& host, int port) {
      ++opened;
      EXPECT_EQ(host + ":" + std::to_string(port), "example.test:8080");
      auto stream = std::make_unique<InMemoryStream>(answers, pieces);
      peer = stream.get();
      return stream;
    };
    SCOPED_TRACE(pieces.empty() ? 0 : pieces[0]);
    EXPECT_EQ(http.Get("http://example.test:8080/a"), "first");
    EXPECT_EQ(http.Get("http://example.test:8080/b"), "second");
    // A second stream would have replaced (and freed) the one peer points at.
    ASSERT_EQ(opened, 1);
    ASSERT_NE(peer, nullptr);
    EXPECT_NE(peer->sent.find("GET /a HTTP/1.1\r\nHost: example.test:8080\r\n"), std::string::npos);
    EXPECT_NE(peer->sent.find("GET /b HTTP/1.1\r\n"), std::string::npos);
  }
}

// Raw deflate (no zlib header) whose inflated size crosses the decoder's 64 KiB output buffer:
// the last output may need a call of its own after all input was taken.
TEST(HttpFraming, RawDeflateBodiesAcrossTheInflateBuffer) {
  for (std::size_t size = 65536; size <= 66000; ++size) {
    std::string body = Pattern(size);
    z_stream z{};
    ASSERT_EQ(deflateInit2(&z, 9, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY), Z_OK);
    std::string packed(deflateBound(&z, uLong(size)), '\0');
    z.next_in = reinterpret_cast<Bytef*>(body.data());
    z.avail_in = uInt(size);
    z.next_out = reinterpret_cast<Bytef*>(packed.data());
    z.avail_out = uInt(packed.size());
    ASSERT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
    packed.resize(z.total_out);
    deflateEnd(&z);
    std::vector<std::string> answers = {
        "HTTP/1.1 200 OK\r\nContent-Encoding: deflate\r\n"
        "Content-Length: " +
        std::to_string(packed.size()) + "\r\n\r\n" + packed};
    THttpClient http;
    http.OpenStream = [&](const std::string&, int) {
      return std::make_unique<InMemoryStream>(answers);
    };
    try {
      ASSERT_TRUE(http.Get("http://example.test/deflated") == body) << size << " bytes";
    } catch (const HttpError& e) {
      FAIL() << size << " bytes: " << e.what();
    }
  }
}

TEST(HttpFraming, LargeBodiesArriveWhole) {
  TestHttpServer server;
  const std::uint64_t size = 3 * 1024 * 1024 + 17;
  server.Handle("/big", [&](const TestRequest&, TestConnection& c) {
    c.Send("HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(size) + "\r\n\r\n");
    c.SendPattern(size);
  });
  server.Handle("/bigchunks", [&](const TestRequest&, TestConnection& c) {
    std::string body = Pattern(size);
    c.Send("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n");
    for (std::size_t at = 0; at < body.size(); at += 100000) {
      std::string piece = body.substr(at, 100000);
      char hex[32];
      std::snprintf(hex, sizeof hex, "%zx\r\n", piece.size());
      c.Send(hex + piece + "\r\n");
    }
    c.Send("0\r\n\r\n");
  });
  THttpClient http;
  std::string expected = Pattern(size);
  EXPECT_TRUE(http.Get(server.Url("/big")) == expected);
  EXPECT_TRUE(http.Get(server.Url("/bigchunks")) == expected);
}

TEST(HttpRequest, CarriesTheSettingsAndReusesTheConnection) {
  TestHttpServer server;
  server.Respond("/a", 200, "A");
  server.Respond("/b", 200, "B");
  THttpClient http;
  http.Request.Accept = "text/html, */*";
  http.Request.ContentType = "text/html";
  http.Request.UserAgent = "Mozilla/3.0 (compatible; HTTP Library)";
  EXPECT_EQ(http.Get(server.Url("/a")), "A");
  EXPECT_EQ(http.Get(server.Url("/b?q=1 2")), "B");
  auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].requestLine, "GET /a HTTP/1.1");
  EXPECT_EQ(requests[1].requestLine, "GET /b?q=1%202 HTTP/1.1");
  EXPECT_EQ(requests[0].Header("Host"), "127.0.0.1:" + std::to_string(server.Port()));
  EXPECT_EQ(requests[0].Header("Accept"), "text/html, */*");
  EXPECT_EQ(requests[0].Header("Content-Type"), "text/html");
  EXPECT_EQ(requests[0].Header("User-Agent"), "Mozilla/3.0 (compatible; HTTP Library)");
  EXPECT_EQ(requests[0].connection, requests[1].connection);

  http.Request.UserAgent = "evil\r\nX-Injected: 1";
  EXPECT_EQ(FailingGet(http, server.Url("/a")).Kind(), HttpFailure::Url);
}

TEST(HttpRequest, RetriesOnceWhenAKeptConnectionWasClosed) {
  TestHttpServer server;
  // Promises keep-alive, then closes the connection anyway.
  server.Handle("/x", [](const TestRequest&, TestConnection& c) {
    c.Send("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok");
    c.Close();
  });
  THttpClient http;
  EXPECT_EQ(http.Get(server.Url("/x")), "ok");
  EXPECT_EQ(http.Get(server.Url("/x")), "ok");
  EXPECT_EQ(server.ConnectionCount(), 2);
}

TEST(HttpRequest, RetriesWhenAKeptConnectionClosesUnanswered) {
  // The second request reaches the kept connection and is read, then the server hangs up
  // without a word: the client must send it again on a new connection.
  TestHttpServer server;
  std::atomic<int> seen{0};
  server.Handle("/x", [&](const TestRequest&, TestConnection& c) {
    if (++seen == 2) return c.Close();
    c.Send("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok");
  });
  THttpClient http;
  EXPECT_EQ(http.Get(server.Url("/x")), "ok");
  EXPECT_EQ(http.Get(server.Url("/x")), "ok");
  auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 3u);
  EXPECT_EQ(requests[0].connection, requests[1].connection);
  EXPECT_NE(requests[1].connection, requests[2].connection);
}

TEST(HttpRequest, AKeptConnectionTheServerTimedOutIsReplaced) {
  // After answering, the server gives up on the idle connection: an unasked 408 and a close.
  // The next GET must not take that 408 for its answer.
  TestHttpServer server;
  std::atomic<bool> hungUp{false};
  server.Handle("/x", [&](const TestRequest&, TestConnection& c) {
    c.Send("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok");
    if (c.Id() != 1) return;
    c.Stall(300);
    c.Send("HTTP/1.1 408 Request Timeout\r\nConnection: close\r\nContent-Length: 0\r\n\r\n");
    hungUp = true;
    c.Close();
  });
  THttpClient http;
  EXPECT_EQ(http.Get(server.Url("/x")), "ok");
  for (auto start = Clock::now(); !hungUp && Clock::now() - start < std::chrono::seconds(5);)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  ASSERT_TRUE(hungUp);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(http.Get(server.Url("/x")), "ok");
  auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[1].connection, 2);
}

TEST(HttpRequest, KeptConnectionWithBytesLeftOverIsNotReused) {
  // The answer says two bytes and sends seven: the five left over must not be read as the
  // next answer.
  TestHttpServer server;
  server.Handle("/over", [](const TestRequest&, TestConnection& c) {
    c.Send("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nokEXTRA");
  });
  server.Respond("/next", 200, "next");
  THttpClient http;
  EXPECT_EQ(http.Get(server.Url("/over")), "ok");
  EXPECT_EQ(http.Get(server.Url("/next")), "next");
  EXPECT_EQ(server.ConnectionCount(), 2);
}

TEST(HttpFailures, ErrorStatusesCarryTheirCode) {
  TestHttpServer server;
  server.Respond("/gone", 404, "missing page");
  server.Respond("/broken", 500, "trace");
  THttpClient http;
  std::string body;
  HttpError notFound = FailingGet(http, server.Url("/gone"), &body);
  EXPECT_EQ(notFound.Kind(), HttpFailure::Status);
  EXPECT_EQ(notFound.StatusCode(), 404);
  EXPECT_EQ(body, "");
  EXPECT_EQ(FailingGet(http, server.Url("/broken")).StatusCode(), 500);
  EXPECT_EQ(http.ResponseCode(), 500);
}

TEST(HttpFailures, RefusedConnectionAndUnsupportedScheme) {
  int port;
  {
    TestHttpServer closed;
    port = closed.Port();
  }
  THttpClient http;
  HttpError refused = FailingGet(http, "http://127.0.0.1:" + std::to_string(port) + "/");
  EXPECT_EQ(refused.Kind(), HttpFailure::Connect);
  EXPECT_EQ(refused.StatusCode(), 0);
  EXPECT_EQ(FailingGet(http, "ftp://127.0.0.1/").Kind(), HttpFailure::Url);
}

TEST(HttpFailures, ConnectingHasItsOwnTimeOut) {
  // A listener that never accepts: once its queue is full, further connections hang.
  std::string error;
  platform::Socket listener = platform::Socket::ListenLoopback(error);
  ASSERT_TRUE(listener) << error;
  auto addresses = platform::ResolveHost("127.0.0.1", listener.LocalPort(), error);
  ASSERT_FALSE(addresses.empty()) << error;
  std::vector<platform::Socket> fillers;
  for (int i = 0; i < 200; ++i)
    fillers.push_back(platform::Socket::StartConnect(addresses[0], error));
  THttpClient http;
  http.ConnectTimeout = 300;
  auto start = Clock::now();
  try {
    http.Get("http://127.0.0.1:" + std::to_string(listener.LocalPort()) + "/");
    ADD_FAILURE() << "no failure";
  } catch (const HttpError& e) {
    // Some stacks answer a full queue at once; what matters is that the wait is bounded.
    EXPECT_TRUE(e.Kind() == HttpFailure::Connect || e.Kind() == HttpFailure::Network) << e.what();
  }
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(5));
}

TEST(HttpFailures, MalformedAnswersFailWithoutExhaustingMemory) {
  TestHttpServer server;
  server.Canned("/status", "HTTP/1.1 2OO OK\r\nContent-Length: 0\r\n\r\n");
  server.Canned("/nohttp", "<html>hello</html>\r\n");
  server.Canned("/noanswer", "");
  server.Canned("/badheader", "HTTP/1.1 200 OK\r\nno colon here\r\n\r\n");
  server.Canned("/badlength", "HTTP/1.1 200 OK\r\nContent-Length: 12x\r\n\r\nabc");
  server.Canned("/twolengths",
                "HTTP/1.1 200 OK\r\nContent-Length: 3\r\nContent-Length: 4\r\n\r\nabcd");
  server.Canned("/badchunk",
                "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\nabc\r\n0\r\n\r\n");
  server.Canned("/hugechunk",
                "HTTP/1.1 200 OK\r\nTransfer-Encoding: "
                "chunked\r\n\r\nFFFFFFFFFFFFFFFFFFFFFFFF\r\nabc\r\n0\r\n\r\n");
  server.Canned("/overrun",
                "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n2\r\nabc\r\n0\r\n\r\n");
  server.Canned("/short", "HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nonly this");
  server.Canned("/chunkcut", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n10\r\nabc");
  server.Canned("/headcut", "HTTP/1.1 200 OK\r\nContent-Len");
  server.Handle("/endlessline", [](const TestRequest&, TestConnection& c) {
    c.Send("HTTP/1.1 200 OK\r\nX-Long: ");
    c.SendPattern(std::uint64_t(1) << 32);  // ends when the client hangs up
  });
  server.Handle("/endlessheaders", [](const TestRequest&, TestConnection& c) {
    c.Send("HTTP/1.1 200 OK\r\n");
    while (c.Send("X-Again: and again\r\n")) {
    }
  });
  struct Case {
    const char* path;
    HttpFailure kind;
  } cases[] = {
      {"/status", HttpFailure::Protocol},      {"/nohttp", HttpFailure::Protocol},
      {"/noanswer", HttpFailure::Network},     {"/badheader", HttpFailure::Protocol},
      {"/badlength", HttpFailure::Protocol},   {"/twolengths", HttpFailure::Protocol},
      {"/badchunk", HttpFailure::Protocol},    {"/hugechunk", HttpFailure::Protocol},
      {"/overrun", HttpFailure::Protocol},     {"/short", HttpFailure::Incomplete},
      {"/chunkcut", HttpFailure::Incomplete},  {"/headcut", HttpFailure::Incomplete},
      {"/endlessline", HttpFailure::Protocol}, {"/endlessheaders", HttpFailure::Protocol},
  };
  THttpClient http;
  for (const Case& c : cases) {
    HttpError e = FailingGet(http, server.Url(c.path));
    EXPECT_EQ(e.Kind(), c.kind) << c.path << ": " << e.what();
  }
}

TEST(HttpFailures, HeaderLinesUpToTheLimitAreTaken) {
  // The limit counts the line's own bytes, not its CR LF or LF.
  TestHttpServer server;
  const std::string name = "X-Long: ";
  auto line = [&](std::size_t size) { return name + std::string(size - name.size(), 'v'); };
  server.Canned("/max", "HTTP/1.1 200 OK\r\n" + line(kMaxHeaderLineLength) +
                            "\r\nContent-Length: 2\r\n\r\nok");
  server.Canned("/max-lf",
                "HTTP/1.1 200 OK\n" + line(kMaxHeaderLineLength) + "\nContent-Length: 2\n\nok");
  server.Canned("/over", "HTTP/1.1 200 OK\r\n" + line(kMaxHeaderLineLength + 1) +
                             "\r\nContent-Length: 2\r\n\r\nok");
  server.Canned("/over-lf",
                "HTTP/1.1 200 OK\n" + line(kMaxHeaderLineLength + 1) + "\nContent-Length: 2\n\nok");
  THttpClient http;
  EXPECT_EQ(http.Get(server.Url("/max")), "ok");
  EXPECT_EQ(http.Get(server.Url("/max-lf")), "ok");
  EXPECT_EQ(FailingGet(http, server.Url("/over")).Kind(), HttpFailure::Protocol);
  EXPECT_EQ(FailingGet(http, server.Url("/over-lf")).Kind(), HttpFailure::Protocol);
}

TEST(HttpFailures, MangledAnswersEndInAResultOrAnHttpError) {
  // Valid answers with bytes overwritten, cut or repeated: each GET must either return or
  // raise HttpError; the sanitizers watch the parser meanwhile.
  const std::string originals[] = {
      "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nX-A: b\r\n\r\n5;e=1\r\nhello\r\n1a\r\n"
      "abcdefghijklmnopqrstuvwxyz\r\n0\r\nT: v\r\n\r\n",
      "HTTP/1.0 200 OK\r\nContent-Length: 11\r\nConnection: keep-alive\r\n\r\nhello world",
  };
  TestHttpServer server;
  std::uint32_t seed = 12345;
  auto next = [&seed](std::uint32_t n) {
    seed = seed * 1103515245u + 12345u;
    return (seed >> 8) % n;
  };
  const char alphabet[] = "\r\n:; 0123456789abcdefFGHTP/-\x00\xff";
  server.Respond("/good", 200, "good");
  THttpClient http;
  int failures = 0;
  for (int round = 0; round < 120; ++round) {
    std::string answer = originals[round % 2];
    for (std::uint32_t edits = 1 + next(4); edits > 0; --edits) {
      std::size_t at = next(std::uint32_t(answer.size()));
      switch (next(3)) {
        case 0:
          answer[at] = alphabet[next(sizeof alphabet - 1)];
          break;
        case 1:
          answer.erase(at, 1 + next(8));
          break;
        default:
          answer.insert(at, answer.substr(at, 1 + next(8)));
          break;
      }
    }
    std::string path = "/m" + std::to_string(round);
    server.Canned(path, answer);
    try {
      http.Get(server.Url(path));
    } catch (const HttpError&) {
      ++failures;
    }
    // Whatever the mangled answer did, the client is fit for the next GET.
    EXPECT_EQ(http.Get(server.Url("/good")), "good") << "after " << path;
  }
  EXPECT_GT(failures, 0);
}

TEST(HttpRedirects, FollowsChainsAndRelativeLocations) {
  TestHttpServer server;
  server.Respond("/r1", 301, "", "Location: " + server.Url("/r2") + "\r\n");
  server.Respond("/r2", 302, "", "Location: /dir/r3\r\n");
  server.Respond("/dir/r3", 303, "", "Location: r4\r\n");
  server.Respond("/dir/r4", 307, "", "Location: ../r5?x=1\r\n");
  server.Respond("/r5", 308, "",
                 "Location: //127.0.0.1:" + std::to_string(server.Port()) + "/final\r\n");
  server.Respond("/final", 200, "arrived");
  THttpClient http;
  http.HandleRedirects = true;
  EXPECT_EQ(http.Get(server.Url("/r1")), "arrived");
  EXPECT_EQ(http.Url(), server.Url("/final"));
  auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 6u);
  EXPECT_EQ(requests[4].target, "/r5?x=1");

  http.RedirectMaximum = 4;
  HttpError tooMany = FailingGet(http, server.Url("/r1"));
  EXPECT_EQ(tooMany.Kind(), HttpFailure::Redirects);
}

TEST(HttpRedirects, LoopsFailAndUnfollowedRedirectsAreFailures) {
  TestHttpServer server;
  server.Respond("/ping", 302, "", "Location: /pong\r\n");
  server.Respond("/pong", 302, "", "Location: /ping\r\n");
  server.Respond("/nowhere", 302, "");
  server.Respond("/ftp", 301, "", "Location: ftp://127.0.0.1/\r\n");
  THttpClient http;
  http.HandleRedirects = true;
  EXPECT_EQ(FailingGet(http, server.Url("/ping")).Kind(), HttpFailure::Redirects);
  EXPECT_EQ(server.Requests().size(), std::size_t(kDefaultRedirectMaximum + 1));
  EXPECT_EQ(FailingGet(http, server.Url("/nowhere")).StatusCode(), 302);
  EXPECT_EQ(FailingGet(http, server.Url("/ftp")).Kind(), HttpFailure::Url);

  http.HandleRedirects = false;
  HttpError unfollowed = FailingGet(http, server.Url("/ping"));
  EXPECT_EQ(unfollowed.Kind(), HttpFailure::Status);
  EXPECT_EQ(unfollowed.StatusCode(), 302);
}

TEST(HttpCookiesOnTheWire, SetByOneAnswerSentOnTheNextAndOnRedirects) {
  TestHttpServer server;
  server.Respond("/login", 302, "",
                 "Set-Cookie: session=abc; Path=/\r\nSet-Cookie: scoped=1; Path=/private\r\n"
                 "Location: /private/home\r\n");
  server.Respond("/private/home", 200, "home");
  server.Respond("/public", 200, "public");
  THttpClient http;
  http.HandleRedirects = true;
  http.AllowCookies = true;
  EXPECT_EQ(http.Get(server.Url("/login")), "home");
  EXPECT_EQ(http.Get(server.Url("/public")), "public");
  auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 3u);
  EXPECT_FALSE(requests[0].HasHeader("Cookie"));
  EXPECT_EQ(requests[1].Header("Cookie"), "scoped=1; session=abc");
  EXPECT_EQ(requests[2].Header("Cookie"), "session=abc");

  THttpClient noCookies;
  noCookies.HandleRedirects = true;
  noCookies.AllowCookies = false;
  noCookies.Get(server.Url("/login"));
  EXPECT_FALSE(server.Requests().back().HasHeader("Cookie"));
}

TEST(HttpProxy, RequestsGoToTheProxyInAbsoluteForm) {
  TestHttpServer proxy;
  proxy.Respond("/page", 200, "via proxy");
  THttpClient http;
  http.ProxyParams.ProxyServer = "127.0.0.1";
  http.ProxyParams.ProxyPort = proxy.Port();
  EXPECT_EQ(http.Get("http://www.example.invalid:8080/page?a=1"), "via proxy");
  auto requests = proxy.Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].requestLine, "GET http://www.example.invalid:8080/page?a=1 HTTP/1.1");
  EXPECT_EQ(requests[0].Header("Host"), "www.example.invalid:8080");
}

TEST(HttpProxy, HttpsAfterAPageThroughTheProxyGetsATunnelOfItsOwn) {
  // The kept plain connection to the proxy must not carry the https request: that would send
  // it in cleartext, without a CONNECT.
  TestHttpServer proxy;
  proxy.Respond("/page", 200, "page");
  proxy.Respond("secure.invalid:443", 403, "");
  THttpClient http;
  http.ProxyParams.ProxyServer = "127.0.0.1:" + std::to_string(proxy.Port());
  EXPECT_EQ(http.Get("http://secure.invalid/page"), "page");
  EXPECT_EQ(FailingGet(http, "https://secure.invalid/image.png").StatusCode(), 403);
  auto requests = proxy.Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[1].requestLine, "CONNECT secure.invalid:443 HTTP/1.1");
  EXPECT_NE(requests[1].connection, requests[0].connection);
}

TEST(HttpProxy, TunnelAnswersThatEndTheGetAtOnce) {
  // The proxy keeps each connection open after its answer, so a client that went on to the
  // TLS handshake would wait for the read time-out instead.
  TestHttpServer proxy;
  auto answerAndWait = [](std::string answer) {
    return [answer](const TestRequest&, TestConnection& c) {
      c.Send(answer);  // one write: the stray bytes arrive with the answer
      c.Stall(10000);
    };
  };
  proxy.Handle("counted.invalid:443",
               answerAndWait("HTTP/1.1 407 Proxy Authentication Required\r\nContent-Length: 0"
                             "\r\nProxy-Authenticate: Basic realm=\"lorvex\"\r\n\r\n"));
  proxy.Handle("bare.invalid:443",
               answerAndWait("HTTP/1.1 407 Proxy Authentication Required\r\n\r\n"));
  proxy.Handle("junk.invalid:443",
               answerAndWait("HTTP/1.1 200 Connection established\r\n\r\nJUNK"));
  const struct {
    const char* url;
    HttpFailure kind;
    int status;
  } cases[] = {
      {"https://counted.invalid/", HttpFailure::Status, 407},
      {"https://bare.invalid/", HttpFailure::Status, 407},
      {"https://junk.invalid/", HttpFailure::Protocol, 0},
  };
  for (const auto& c : cases) {
    THttpClient http;
    http.ProxyParams.ProxyServer = "127.0.0.1";
    http.ProxyParams.ProxyPort = proxy.Port();
    http.ReadTimeout = 3000;
    auto start = Clock::now();
    HttpError e = FailingGet(http, c.url);
    EXPECT_EQ(e.Kind(), c.kind) << c.url << ": " << e.what();
    EXPECT_EQ(e.StatusCode(), c.status) << c.url;
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(1500)) << c.url;
  }
}

TEST(HttpTimeouts, ReadTimeoutEndsAStallAndZeroWaits) {
  TestHttpServer server;
  server.Handle("/stall", [](const TestRequest&, TestConnection& c) {
    c.Send("HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nhalf ");
    c.Stall(1500);
    c.Send("done.");
  });
  THttpClient http;
  http.ReadTimeout = 300;
  auto start = Clock::now();
  std::string body;
  HttpError e = FailingGet(http, server.Url("/stall"), &body);
  EXPECT_EQ(e.Kind(), HttpFailure::Timeout);
  EXPECT_EQ(body, "half ");
  EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(1400));

  // Without a limit the client waits, calling the idle hook all the while.
  http.ReadTimeout = 0;
  int idleCalls = 0;
  http.OnIdle = [&] { ++idleCalls; };
  EXPECT_EQ(http.Get(server.Url("/stall")), "half done.");
  EXPECT_GE(idleCalls, 10);
}

TEST(HttpDisconnect, FromTheIdleHookEndsALargeTransfer) {
  TestHttpServer server;
  const std::uint64_t size = std::uint64_t(1) << 31;
  server.Handle("/huge", [&](const TestRequest&, TestConnection& c) {
    c.Send("HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(size) + "\r\n\r\n");
    c.SendPattern(size);
  });
  server.Respond("/small", 200, "small");

  struct CountingSink : ByteSink {
    std::uint64_t bytes = 0;
    void Write(const char*, std::size_t n) override { bytes += n; }
  } sink;
  THttpClient http;
  int idleCalls = 0;
  http.OnIdle = [&] {
    ++idleCalls;
    if (sink.bytes > 4 * 1024 * 1024) http.Disconnect();
  };
  try {
    http.Get(server.Url("/huge"), sink);
    ADD_FAILURE() << "the transfer was not broken off";
  } catch (const HttpError& e) {
    EXPECT_EQ(e.Kind(), HttpFailure::Aborted) << e.what();
  }
  EXPECT_GT(idleCalls, 0);
  EXPECT_LT(sink.bytes, size);
  // Afterwards the client works again; Disconnect without a transfer is harmless.
  http.OnIdle = nullptr;
  http.Disconnect();
  EXPECT_EQ(http.Get(server.Url("/small")), "small");
  http.Disconnect();
  http.Disconnect();
  EXPECT_EQ(http.Get(server.Url("/small")), "small");
}

TEST(HttpDisconnect, FromTheIdleHookEndsAWaitAtOnce) {
  TestHttpServer server;
  server.Handle("/silent", [](const TestRequest&, TestConnection& c) { c.Stall(30000); });
  THttpClient http;
  auto start = Clock::now();
  http.OnIdle = [&] {
    if (Clock::now() - start > std::chrono::milliseconds(200)) http.Disconnect();
  };
  EXPECT_EQ(FailingGet(http, server.Url("/silent")).Kind(), HttpFailure::Aborted);
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(5));
}

// A server that takes the connection but never answers the TLS handshake: the read time-out
// and Disconnect from the idle hook each end the wait, as they end any read.
TEST(HttpTls, AStalledHandshakeEndsByTheReadTimeoutOrByDisconnect) {
  TestHttpServer server;
  std::string url = "https://127.0.0.1:" + std::to_string(server.Port()) + "/";
  THttpClient http;
  http.ReadTimeout = 300;
  auto start = Clock::now();
  HttpError timedOut = FailingGet(http, url);
  EXPECT_EQ(timedOut.Kind(), HttpFailure::Timeout) << timedOut.what();
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(5));

  http.ReadTimeout = 0;
  start = Clock::now();
  http.OnIdle = [&] {
    if (Clock::now() - start > std::chrono::milliseconds(200)) http.Disconnect();
  };
  EXPECT_EQ(FailingGet(http, url).Kind(), HttpFailure::Aborted);
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(5));
}

}  // namespace
}  // namespace lorvex
