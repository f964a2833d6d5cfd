// A scriptable HTTP server for tests, on 127.0.0.1 and an ephemeral port, in the test
// process. It is built on the socket seam, so the same tests run natively and under Wine.
//
// How to use it:
//
//   lorvex::test::TestHttpServer server;                 // listening once constructed
//   server.Respond("/a.css", 200, "body{}", "Content-Type: text/css\r\n");
//   server.Canned("/bad", "HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nshort");  // raw, then
//   close server.Handle("/slow", [](const TestRequest& request, TestConnection& c) {
//     c.Send("HTTP/1.1 200 OK\r\nContent-Length: 6\r\n\r\nabc");
//     c.Stall(500);                                      // wait; returns early when stopping
//     c.Send("def");
//   });
//   Fetch(server.Url("/slow"));                          // "http://127.0.0.1:PORT/slow"
//   EXPECT_EQ(server.Requests()[0].Header("user-agent"), "...");
//   server.WaitForRequests(2, 5000);                     // for clients that run asynchronously
//
// Routes match the request's path (the target without query; an absolute-form target as a
// proxy receives it is matched by its path too). A request without a route gets a 404. After a
// handler returns the connection stays open for the next request (keep-alive) unless the
// handler closed it or asked for the close with Close(); Canned responses always close.
// Every request received is recorded, with its raw bytes. The destructor stops the server:
// it wakes every stalled handler and pending send, and joins all threads, so a handler must
// only use its TestConnection to wait or send.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "platform/Socket.h"

namespace lorvex::test {

struct TestRequest {
  std::string raw;          // the bytes of the request line and header block, and the body
  std::string requestLine;  // "GET /x HTTP/1.1"
  std::string method, target, version;
  std::string path;  // target without scheme, authority and query
  std::vector<std::pair<std::string, std::string>> headers;  // in order, values trimmed
  std::string body;    // by Content-Length, when the request had one
  int connection = 0;  // which accepted connection (1, 2, ...) carried the request

  // The first header of that name (ASCII case folded), or empty.
  std::string Header(std::string_view name) const;
  bool HasHeader(std::string_view name) const;
};

class TestConnection {
 public:
  TestConnection(platform::Socket socket, const std::atomic<bool>& stopping, int id)
      : socket_(std::move(socket)), stopping_(stopping), id_(id) {}

  // Sends all bytes; false when the peer is gone or the server stops.
  bool Send(std::string_view bytes);
  // Sends in pieces of pieceSize bytes with delayMs between them.
  bool SendSlowly(std::string_view bytes, std::size_t pieceSize, int delayMs);
  // Sends count bytes of a repeating pattern (byte i is PatternByte(i)), in large pieces.
  bool SendPattern(std::uint64_t count);
  // Waits ms milliseconds; returns early (false) when the server stops.
  bool Stall(int ms);
  // Waits until the client closes the connection or ms pass; true when it closed.
  bool WaitForPeerClose(int ms);
  // Closes after the handler returns (no keep-alive).
  void Close() { closeAfter_ = true; }

  int Id() const { return id_; }
  bool Stopping() const { return stopping_.load(); }

  static char PatternByte(std::uint64_t i) { return char('a' + (i * 7 + i / 251) % 26); }

 private:
  friend class TestHttpServer;
  platform::Socket socket_;
  const std::atomic<bool>& stopping_;
  int id_;
  bool closeAfter_ = false;
  std::string pending_;  // bytes read past the end of the previous request
};

using TestHandler = std::function<void(const TestRequest&, TestConnection&)>;

class TestHttpServer {
 public:
  TestHttpServer();
  ~TestHttpServer();
  TestHttpServer(const TestHttpServer&) = delete;
  TestHttpServer& operator=(const TestHttpServer&) = delete;

  int Port() const { return port_; }
  // "http://127.0.0.1:PORT" followed by path.
  std::string Url(std::string_view path = "/") const;

  void Handle(const std::string& path, TestHandler handler);
  // Sends exactly these bytes and closes the connection.
  void Canned(const std::string& path, std::string rawResponse);
  // A complete answer with Content-Length; the connection is kept open.
  void Respond(const std::string& path, int status, std::string body,
               std::string extraHeaders = "");

  std::vector<TestRequest> Requests() const;
  // Waits until at least count requests have arrived or ms pass; true when they have.
  bool WaitForRequests(std::size_t count, int ms) const;
  int ConnectionCount() const { return connections_.load(); }

 private:
  void AcceptLoop();
  void Serve(std::shared_ptr<TestConnection> connection);
  bool ReadRequest(TestConnection& connection, TestRequest& request);
  TestHandler Route(const std::string& path) const;

  platform::Socket listener_;
  int port_ = 0;
  std::atomic<bool> stopping_{false};
  std::atomic<int> connections_{0};
  mutable std::mutex mutex_;
  std::map<std::string, TestHandler> routes_;
  std::vector<TestRequest> requests_;
  std::vector<std::thread> workers_;
  std::thread acceptor_;
};

}  // namespace lorvex::test
