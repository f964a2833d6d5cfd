#include "http/HttpFetch.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/Platform.h"
#include "support/TestHttpServer.h"
#include "util/FileOperation.h"

namespace lorvex {
namespace {

using test::TestConnection;
using test::TestHttpServer;
using test::TestRequest;

class HttpFetchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("lorvex_fetch_" +
            std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  std::string File(const char* name) const { return (dir_ / name).string(); }
  std::filesystem::path dir_;
};

TEST_F(HttpFetchTest, WritesTheFileOnlyWhenTheGetSucceeded) {
  TestHttpServer server;
  server.Respond("/ok", 200, "new content");
  server.Respond("/missing", 404, "error page");
  server.Canned("/cut", "HTTP/1.1 200 OK\r\nContent-Length: 50\r\n\r\npartial");
  THttpClient http;
  std::string target = File("page.css");
  EXPECT_TRUE(HttpGetToFile(server.Url("/ok"), target, http));
  EXPECT_EQ(ReadFileBytes(target), "new content");

  WriteFileBytes(target, "old content");
  EXPECT_FALSE(HttpGetToFile(server.Url("/missing"), target, http));
  EXPECT_FALSE(HttpGetToFile(server.Url("/cut"), target, http));
  EXPECT_EQ(ReadFileBytes(target), "old content");
  EXPECT_FALSE(platform::FileExists(PartialFileName(target)));

  std::string fresh = File("never.css");
  EXPECT_FALSE(HttpGetToFile(server.Url("/cut"), fresh, http));
  EXPECT_FALSE(platform::FileExists(fresh));
  EXPECT_FALSE(HttpGetToFile(server.Url("/ok"), File("no/such/dir/x.css"), http));
}

TEST_F(HttpFetchTest, StreamsALargeBodyIntoTheFile) {
  TestHttpServer server;
  const std::uint64_t size = 8 * 1024 * 1024 + 5;
  server.Handle("/big", [&](const TestRequest&, TestConnection& c) {
    c.Send("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n");
    std::string piece;
    for (std::uint64_t at = 0; at < size; at += piece.size()) {
      piece.assign(std::size_t(std::min<std::uint64_t>(size - at, 1 << 20)), 0);
      for (std::size_t i = 0; i < piece.size(); ++i) piece[i] = TestConnection::PatternByte(at + i);
      char hex[32];
      std::snprintf(hex, sizeof hex, "%zx\r\n", piece.size());
      c.Send(hex + piece + "\r\n");
    }
    c.Send("0\r\n\r\n");
  });
  THttpClient http;
  std::string target = File("big.bin");
  ASSERT_TRUE(HttpGetToFile(server.Url("/big"), target, http));
  std::string bytes = ReadFileBytes(target);
  ASSERT_EQ(bytes.size(), size);
  for (std::uint64_t i = 0; i < size; i += 4093)
    ASSERT_EQ(bytes[i], TestConnection::PatternByte(i)) << i;
}

TEST_F(HttpFetchTest, TextIsTheBodyOrEmpty) {
  TestHttpServer server;
  server.Respond("/page.htm", 200, "<p>text\r\n</p>");
  server.Respond("/err", 500, "oops");
  int port;
  {
    TestHttpServer closed;
    port = closed.Port();
  }
  THttpClient http;
  EXPECT_EQ(HttpGetText(server.Url("/page.htm"), http), "<p>text\r\n</p>");
  EXPECT_EQ(HttpGetText(server.Url("/err"), http), "");
  EXPECT_EQ(HttpGetText("http://127.0.0.1:" + std::to_string(port) + "/", http), "");
  EXPECT_EQ(HttpGetText("not a url", http), "");
}

}  // namespace
}  // namespace lorvex
