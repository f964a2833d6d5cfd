// The byte stream under an HTTP connection: a TCP socket in use, memory in tests and fuzzing,
// and the place where an encrypted channel layers onto a socket. The connection above it does
// all the waiting, buffering and framing; a stream only moves bytes and reports readiness.
#pragma once

#include <cstddef>
#include <string>
#include <utility>

#include "platform/Socket.h"

namespace lorvex {

class ByteStream {
 public:
  virtual ~ByteStream() = default;
  // Bytes received (> 0), 0 at the peer's end, platform::kSocketWouldBlock or kSocketFailed.
  virtual long Receive(char* buffer, std::size_t size) = 0;
  // Bytes sent (> 0), platform::kSocketWouldBlock or kSocketFailed.
  virtual long Send(const char* data, std::size_t size) = 0;
  // Waits up to timeoutMs (0: just look) until Receive or Send would not block.
  virtual platform::SocketWait WaitReadable(int timeoutMs) = 0;
  virtual platform::SocketWait WaitWritable(int timeoutMs) = 0;
  // Text of the stream's last failure.
  virtual std::string ErrorText() const = 0;
};

// A connected TCP socket.
class SocketStream : public ByteStream {
 public:
  explicit SocketStream(platform::Socket socket) : socket_(std::move(socket)) {}
  long Receive(char* buffer, std::size_t size) override { return socket_.Receive(buffer, size); }
  long Send(const char* data, std::size_t size) override { return socket_.Send(data, size); }
  platform::SocketWait WaitReadable(int timeoutMs) override {
    return socket_.WaitReadable(timeoutMs);
  }
  platform::SocketWait WaitWritable(int timeoutMs) override {
    return socket_.WaitWritable(timeoutMs);
  }
  std::string ErrorText() const override { return platform::SocketErrorText(); }

 private:
  platform::Socket socket_;
};

}  // namespace lorvex
