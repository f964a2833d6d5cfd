// The socket seam: TCP over Winsock or POSIX sockets behind one small interface, so that the
// HTTP client and the test server are written once for both builds.
//
// Every socket is non-blocking; callers wait with WaitReadable/WaitWritable in slices of
// their own choosing, which is how time-outs and cancellation are built above. Nothing here
// throws: failures are results, and SocketErrorText() describes the last one of this thread.
// On Windows the first use starts Winsock (once per process, thread-safe).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace lorvex::platform {

// One resolved address, opaque to the caller (a sockaddr of either family).
struct SocketAddress {
  alignas(8) unsigned char storage[128] = {};
  int length = 0;
};

enum class SocketWait { Ready, Timeout, Failed };

// Results of Socket::Receive and Socket::Send besides a positive byte count.
constexpr long kSocketWouldBlock = -1;
constexpr long kSocketFailed = -2;

// The addresses of a host name or numeric address; empty with error set when there is none.
std::vector<SocketAddress> ResolveHost(const std::string& host, int port, std::string& error);

// Text of the last socket failure of the calling thread.
std::string SocketErrorText();

class Socket {
 public:
  Socket() noexcept = default;
  Socket(Socket&& other) noexcept : handle_(std::exchange(other.handle_, kInvalid)) {}
  Socket& operator=(Socket&& other) noexcept {
    if (this != &other) {
      Close();
      handle_ = std::exchange(other.handle_, kInvalid);
    }
    return *this;
  }
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;
  ~Socket() { Close(); }

  explicit operator bool() const noexcept { return handle_ != kInvalid; }

  // Opens a non-blocking TCP socket and starts connecting it. The connection is complete
  // when WaitWritable is Ready and FinishConnect succeeds. Empty with error set on failure.
  static Socket StartConnect(const SocketAddress& address, std::string& error);
  // After WaitWritable: true when the connection was made, else false with error set.
  bool FinishConnect(std::string& error);

  // A listening socket on 127.0.0.1 and an ephemeral port. Empty with error set on failure.
  static Socket ListenLoopback(std::string& error);
  int LocalPort() const;
  // A pending connection, non-blocking like every socket here; empty when none is pending.
  Socket Accept();

  // Waits up to timeoutMs (0: just look, negative: no limit) until the socket can be read
  // (data, end of stream or an error to collect) or written.
  SocketWait WaitReadable(int timeoutMs) const;
  SocketWait WaitWritable(int timeoutMs) const;

  // Bytes received (> 0), 0 at the peer's orderly end, kSocketWouldBlock or kSocketFailed.
  long Receive(char* buffer, std::size_t size);
  // Bytes sent (> 0), kSocketWouldBlock or kSocketFailed. Never raises SIGPIPE.
  long Send(const char* data, std::size_t size);

  // Ends the sending direction (the peer reads end of stream); the socket stays open.
  void ShutdownSend();
  void Close() noexcept;

 private:
  static constexpr std::intptr_t kInvalid = -1;
  explicit Socket(std::intptr_t handle) noexcept : handle_(handle) {}
  std::intptr_t handle_ = kInvalid;
};

}  // namespace lorvex::platform
