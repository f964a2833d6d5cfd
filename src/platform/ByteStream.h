// The byte stream under an HTTP connection: a TCP socket in use, memory in tests and fuzzing,
// and the place where an encrypted channel layers onto a socket. The connection above it does
// all the waiting, buffering and framing; a stream only moves bytes and reports readiness.
#pragma once

#include <cstddef>
#include <string>
#include <utility>

#include "platform/Socket.h"

namespace lorvex::platform {

class ByteStream {
 public:
  virtual ~ByteStream() = default;
  // Bytes received (> 0), 0 at the peer's end, kSocketWouldBlock or kSocketFailed.
  virtual long Receive(char* buffer, std::size_t size) = 0;
  // Bytes sent (> 0), kSocketWouldBlock or kSocketFailed.
  virtual long Send(const char* data, std::size_t size) = 0;
  // Waits up to timeoutMs (0: just look) until Receive or Send would not block.
  virtual SocketWait WaitReadable(int timeoutMs) = 0;
  virtual SocketWait WaitWritable(int timeoutMs) = 0;
  // Text of the stream's last failure.
  virtual std::string ErrorText() const = 0;
};

// A connected TCP socket.
class SocketStream : public ByteStream {
 public:
  explicit SocketStream(Socket socket) : socket_(std::move(socket)) {}
  long Receive(char* buffer, std::size_t size) override { return socket_.Receive(buffer, size); }
  long Send(const char* data, std::size_t size) override { return socket_.Send(data, size); }
  SocketWait WaitReadable(int timeoutMs) override { return socket_.WaitReadable(timeoutMs); }
  SocketWait WaitWritable(int timeoutMs) override { return socket_.WaitWritable(timeoutMs); }
  std::string ErrorText() const override { return SocketErrorText(); }

 private:
  Socket socket_;
};

}  // namespace lorvex::platform
