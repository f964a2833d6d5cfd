// POSIX side of the socket seam.
#include "platform/Socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "platform/SocketCommon.h"  // after the system headers that declare getaddrinfo

namespace lorvex::platform {

namespace {

bool MakeNonBlocking(int fd) {
  int flags = ::fcntl(fd, F_GETFL, 0);
  return flags >= 0 && ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0;
}

SocketWait WaitFor(int fd, short events, int timeoutMs) {
  pollfd p{fd, events, 0};
  for (;;) {
    int n = ::poll(&p, 1, timeoutMs < 0 ? -1 : timeoutMs);
    if (n > 0) return SocketWait::Ready;
    if (n == 0) return SocketWait::Timeout;
    if (errno != EINTR) return SocketWait::Failed;
  }
}

}  // namespace

std::string SocketErrorText() { return std::strerror(errno); }

std::vector<SocketAddress> ResolveHost(const std::string& host, int port, std::string& error) {
  return detail::ResolveWithGetAddrInfo(host, port, error,
                                        [](int rc) { return std::string(::gai_strerror(rc)); });
}

Socket Socket::StartConnect(const SocketAddress& address, std::string& error) {
  auto* sa = reinterpret_cast<const sockaddr*>(address.storage);
  int fd = ::socket(sa->sa_family, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
  if (fd < 0) {
    error = SocketErrorText();
    return Socket();
  }
  Socket socket(fd);
  int one = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  if (!MakeNonBlocking(fd)) {
    error = SocketErrorText();
    return Socket();
  }
  if (::connect(fd, sa, socklen_t(address.length)) != 0 && errno != EINPROGRESS) {
    error = SocketErrorText();
    return Socket();
  }
  return socket;
}

bool Socket::FinishConnect(std::string& error) {
  int code = 0;
  socklen_t length = sizeof code;
  if (::getsockopt(int(handle_), SOL_SOCKET, SO_ERROR, &code, &length) != 0) code = errno;
  if (code == 0) return true;
  error = std::strerror(code);
  return false;
}

Socket Socket::ListenLoopback(std::string& error) {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
  if (fd < 0) {
    error = SocketErrorText();
    return Socket();
  }
  Socket socket(fd);
  sockaddr_in sin = detail::LoopbackAnyPort();
  if (::bind(fd, reinterpret_cast<sockaddr*>(&sin), sizeof sin) != 0 || ::listen(fd, 64) != 0 ||
      !MakeNonBlocking(fd)) {
    error = SocketErrorText();
    return Socket();
  }
  return socket;
}

int Socket::LocalPort() const { return detail::BoundPort<socklen_t>(int(handle_)); }

Socket Socket::Accept() {
  int fd = ::accept4(int(handle_), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
  if (fd < 0) return Socket();
  int one = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  return Socket(fd);
}

SocketWait Socket::WaitReadable(int timeoutMs) const {
  return WaitFor(int(handle_), POLLIN, timeoutMs);
}
SocketWait Socket::WaitWritable(int timeoutMs) const {
  return WaitFor(int(handle_), POLLOUT, timeoutMs);
}

long Socket::Receive(char* buffer, std::size_t size) {
  for (;;) {
    ssize_t n = ::recv(int(handle_), buffer, size, 0);
    if (n >= 0) return long(n);
    if (errno == EINTR) continue;
    return (errno == EAGAIN || errno == EWOULDBLOCK) ? kSocketWouldBlock : kSocketFailed;
  }
}

long Socket::Send(const char* data, std::size_t size) {
  for (;;) {
    ssize_t n = ::send(int(handle_), data, size, MSG_NOSIGNAL);
    if (n >= 0) return long(n);
    if (errno == EINTR) continue;
    return (errno == EAGAIN || errno == EWOULDBLOCK) ? kSocketWouldBlock : kSocketFailed;
  }
}

void Socket::ShutdownSend() {
  if (handle_ != kInvalid) ::shutdown(int(handle_), SHUT_WR);
}

void Socket::Close() noexcept {
  if (handle_ != kInvalid) ::close(int(std::exchange(handle_, kInvalid)));
}

}  // namespace lorvex::platform
