#include "support/TestHttpServer.h"

#include <chrono>
#include <stdexcept>

#include "util/Strings.h"

namespace lorvex::test {

namespace {

using Clock = std::chrono::steady_clock;
// Every wait is cut into slices this long, so that a stop is noticed quickly.
constexpr int kSliceMs = 20;
// A request head longer than this is answered by closing the connection.
constexpr std::size_t kMaxRequestHead = 1 << 20;

int MsSince(Clock::time_point start) {
  return int(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

std::string PathOf(std::string_view target) {
  std::string_view t = target;
  if (StartsWithIgnoreCase(t, "http://") || StartsWithIgnoreCase(t, "https://")) {
    t.remove_prefix(t.find("//") + 2);
    std::size_t slash = t.find('/');
    t = slash == std::string_view::npos ? std::string_view("/") : t.substr(slash);
  }
  std::size_t query = t.find('?');
  return std::string(t.substr(0, query));
}

}  // namespace

std::string TestRequest::Header(std::string_view name) const {
  for (const auto& [key, value] : headers)
    if (EqualsIgnoreCase(key, name)) return value;
  return {};
}

bool TestRequest::HasHeader(std::string_view name) const {
  for (const auto& header : headers)
    if (EqualsIgnoreCase(header.first, name)) return true;
  return false;
}

bool TestConnection::Send(std::string_view bytes) {
  while (!bytes.empty()) {
    if (stopping_.load()) return false;
    long n = socket_.Send(bytes.data(), bytes.size());
    if (n > 0) {
      bytes.remove_prefix(std::size_t(n));
    } else if (n == platform::kSocketWouldBlock) {
      if (socket_.WaitWritable(kSliceMs) == platform::SocketWait::Failed) return false;
    } else {
      return false;
    }
  }
  return true;
}

bool TestConnection::SendSlowly(std::string_view bytes, std::size_t pieceSize, int delayMs) {
  if (pieceSize == 0) pieceSize = 1;
  while (!bytes.empty()) {
    std::size_t n = bytes.size() < pieceSize ? bytes.size() : pieceSize;
    if (!Send(bytes.substr(0, n))) return false;
    bytes.remove_prefix(n);
    if (!bytes.empty() && !Stall(delayMs)) return false;
  }
  return true;
}

bool TestConnection::SendPattern(std::uint64_t count) {
  std::string piece;
  std::uint64_t i = 0;
  while (i < count) {
    std::size_t n = std::size_t(count - i < 65536 ? count - i : 65536);
    piece.resize(n);
    for (std::size_t k = 0; k < n; ++k) piece[k] = PatternByte(i + k);
    if (!Send(piece)) return false;
    i += n;
  }
  return true;
}

bool TestConnection::Stall(int ms) {
  Clock::time_point start = Clock::now();
  while (MsSince(start) < ms) {
    if (stopping_.load()) return false;
    std::this_thread::sleep_for(
        std::chrono::milliseconds(ms - MsSince(start) < kSliceMs ? 1 : kSliceMs));
  }
  return !stopping_.load();
}

bool TestConnection::WaitForPeerClose(int ms) {
  Clock::time_point start = Clock::now();
  char buffer[4096];
  while (MsSince(start) < ms && !stopping_.load()) {
    long n = socket_.Receive(buffer, sizeof buffer);
    if (n == 0 || n == platform::kSocketFailed) return true;
    if (n == platform::kSocketWouldBlock) socket_.WaitReadable(kSliceMs);
  }
  return false;
}

TestHttpServer::TestHttpServer() {
  std::string error;
  listener_ = platform::Socket::ListenLoopback(error);
  if (!listener_) throw std::runtime_error("test server cannot listen: " + error);
  port_ = listener_.LocalPort();
  acceptor_ = std::thread([this] { AcceptLoop(); });
}

TestHttpServer::~TestHttpServer() {
  stopping_.store(true);
  if (acceptor_.joinable()) acceptor_.join();
  std::vector<std::thread> workers;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    workers.swap(workers_);
  }
  for (std::thread& worker : workers)
    if (worker.joinable()) worker.join();
}

std::string TestHttpServer::Url(std::string_view path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + std::string(path);
}

void TestHttpServer::Handle(const std::string& path, TestHandler handler) {
  std::lock_guard<std::mutex> lock(mutex_);
  routes_[path] = std::move(handler);
}

void TestHttpServer::Canned(const std::string& path, std::string rawResponse) {
  Handle(path, [raw = std::move(rawResponse)](const TestRequest&, TestConnection& c) {
    c.Send(raw);
    c.Close();
  });
}

void TestHttpServer::Respond(const std::string& path, int status, std::string body,
                             std::string extraHeaders) {
  std::string head = "HTTP/1.1 " + std::to_string(status) +
                     " Test\r\nContent-Length: " + std::to_string(body.size()) + "\r\n" +
                     extraHeaders + "\r\n";
  Handle(path, [all = head + body](const TestRequest&, TestConnection& c) { c.Send(all); });
}

std::vector<TestRequest> TestHttpServer::Requests() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return requests_;
}

bool TestHttpServer::WaitForRequests(std::size_t count, int ms) const {
  Clock::time_point start = Clock::now();
  for (;;) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (requests_.size() >= count) return true;
    }
    if (MsSince(start) >= ms) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

TestHandler TestHttpServer::Route(const std::string& path) const {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = routes_.find(path);
  if (it != routes_.end()) return it->second;
  return [](const TestRequest&, TestConnection& c) {
    c.Send("HTTP/1.1 404 Not Found\r\nContent-Length: 9\r\n\r\nnot found");
  };
}

void TestHttpServer::AcceptLoop() {
  while (!stopping_.load()) {
    if (listener_.WaitReadable(kSliceMs) != platform::SocketWait::Ready) continue;
    platform::Socket socket = listener_.Accept();
    if (!socket) continue;
    int id = ++connections_;
    auto connection = std::make_shared<TestConnection>(std::move(socket), stopping_, id);
    std::lock_guard<std::mutex> lock(mutex_);
    workers_.emplace_back([this, connection] { Serve(connection); });
  }
}

void TestHttpServer::Serve(std::shared_ptr<TestConnection> connection) {
  while (!stopping_.load()) {
    TestRequest request;
    if (!ReadRequest(*connection, request)) return;
    request.connection = connection->Id();
    {
      std::lock_guard<std::mutex> lock(mutex_);
      requests_.push_back(request);
    }
    Route(request.path)(request, *connection);
    if (connection->closeAfter_) {
      connection->socket_.ShutdownSend();
      // Let the client read everything before the socket goes (an abortive close could
      // discard unread bytes on some stacks).
      connection->WaitForPeerClose(2000);
      return;
    }
  }
}

bool TestHttpServer::ReadRequest(TestConnection& connection, TestRequest& request) {
  std::string& data = connection.pending_;
  char buffer[16384];
  auto fill = [&]() -> bool {
    for (;;) {
      if (stopping_.load()) return false;
      long n = connection.socket_.Receive(buffer, sizeof buffer);
      if (n > 0) {
        data.append(buffer, std::size_t(n));
        return true;
      }
      if (n != platform::kSocketWouldBlock) return false;
      if (connection.socket_.WaitReadable(kSliceMs) == platform::SocketWait::Failed) return false;
    }
  };
  std::size_t end;
  while ((end = data.find("\r\n\r\n")) == std::string::npos) {
    if (data.size() > kMaxRequestHead || !fill()) return false;
  }
  std::string head = data.substr(0, end + 4);
  data.erase(0, end + 4);

  std::size_t lineEnd = head.find("\r\n");
  request.requestLine = head.substr(0, lineEnd);
  std::string_view line = request.requestLine;
  std::size_t s1 = line.find(' '), s2 = line.rfind(' ');
  if (s1 != std::string_view::npos && s2 > s1) {
    request.method = line.substr(0, s1);
    request.target = line.substr(s1 + 1, s2 - s1 - 1);
    request.version = line.substr(s2 + 1);
  }
  request.path = PathOf(request.target);
  std::size_t pos = lineEnd + 2;
  while (pos < head.size()) {
    std::size_t next = head.find("\r\n", pos);
    if (next == pos || next == std::string::npos) break;
    std::string_view header(head.data() + pos, next - pos);
    std::size_t colon = header.find(':');
    if (colon != std::string_view::npos)
      request.headers.emplace_back(std::string(header.substr(0, colon)),
                                   std::string(Trim(header.substr(colon + 1))));
    pos = next + 2;
  }
  request.raw = head;
  std::string length = request.Header("content-length");
  if (!length.empty()) {
    std::size_t want = std::size_t(std::stoul(length));
    while (data.size() < want)
      if (!fill()) return false;
    request.body = data.substr(0, want);
    request.raw += request.body;
    data.erase(0, want);
  }
  return true;
}

}  // namespace lorvex::test
