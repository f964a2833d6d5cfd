// The socket seam, and the test server built on it, talked to with raw sockets.
#include "platform/Socket.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "support/TestHttpServer.h"

namespace lorvex::platform {
namespace {

Socket ConnectLoopback(int port, std::string& error) {
  std::vector<SocketAddress> addresses = ResolveHost("127.0.0.1", port, error);
  if (addresses.empty()) return Socket();
  Socket socket = Socket::StartConnect(addresses[0], error);
  if (!socket) return socket;
  if (socket.WaitWritable(5000) != SocketWait::Ready || !socket.FinishConnect(error))
    return Socket();
  return socket;
}

std::string ReadAll(Socket& socket) {
  std::string data;
  char buffer[4096];
  for (;;) {
    long n = socket.Receive(buffer, sizeof buffer);
    if (n > 0)
      data.append(buffer, std::size_t(n));
    else if (n == kSocketWouldBlock && socket.WaitReadable(5000) == SocketWait::Ready)
      continue;
    else
      return data;
  }
}

TEST(SocketSeam, TalksToTheTestServerAndRecordsTheRequest) {
  test::TestHttpServer server;
  server.Canned("/hello", "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\nhi");
  std::string error;
  Socket socket = ConnectLoopback(server.Port(), error);
  ASSERT_TRUE(socket) << error;
  std::string request = "GET /hello?x=1 HTTP/1.1\r\nHost: a\r\nX-Test:  v \r\n\r\n";
  ASSERT_EQ(socket.Send(request.data(), request.size()), long(request.size()));
  EXPECT_EQ(ReadAll(socket), "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\nhi");
  auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].requestLine, "GET /hello?x=1 HTTP/1.1");
  EXPECT_EQ(requests[0].path, "/hello");
  EXPECT_EQ(requests[0].Header("x-test"), "v");
  EXPECT_EQ(requests[0].raw, request);
}

TEST(SocketSeam, RefusedConnectionIsReportedNotHung) {
  int port;
  {
    test::TestHttpServer closed;
    port = closed.Port();
  }
  std::string error;
  auto addresses = ResolveHost("127.0.0.1", port, error);
  ASSERT_FALSE(addresses.empty()) << error;
  Socket socket = Socket::StartConnect(addresses[0], error);
  bool connected =
      socket && socket.WaitWritable(5000) == SocketWait::Ready && socket.FinishConnect(error);
  EXPECT_FALSE(connected);
  EXPECT_FALSE(error.empty());
}

TEST(SocketSeam, ServerStopsWhileAHandlerStalls) {
  auto start = std::chrono::steady_clock::now();
  {
    test::TestHttpServer server;
    server.Handle("/", [](const test::TestRequest&, test::TestConnection& c) { c.Stall(60000); });
    std::string error;
    Socket socket = ConnectLoopback(server.Port(), error);
    ASSERT_TRUE(socket) << error;
    std::string request = "GET / HTTP/1.1\r\n\r\n";
    socket.Send(request.data(), request.size());
    ASSERT_TRUE(server.WaitForRequests(1, 5000));
  }
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
}

}  // namespace
}  // namespace lorvex::platform
