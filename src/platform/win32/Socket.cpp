// Winsock side of the socket seam. Waiting uses select() (WSAPoll misses refused connects on
// older Windows versions).
#include "platform/Socket.h"

#include <windows.h>
#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstring>
#include <utility>

#include "platform/SocketCommon.h"  // after the system headers that declare getaddrinfo

namespace lorvex::platform {

namespace {

// Winsock is started on first use, once per process; C++ guarantees a thread-safe start of
// the function-local object. It is never cleaned up: sockets may outlive static destructors.
void EnsureWinsock() {
  static const bool started = [] {
    WSADATA data;
    return ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  (void)started;
}

std::string ErrorText(int code) {
  char text[256] = {};
  DWORD n = ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                             DWORD(code), 0, text, sizeof text, nullptr);
  while (n > 0 &&
         (text[n - 1] == '\r' || text[n - 1] == '\n' || text[n - 1] == ' ' || text[n - 1] == '.'))
    text[--n] = 0;
  std::string result = "socket error " + std::to_string(code);
  if (n > 0) result += std::string(" (") + text + ")";
  return result;
}

SOCKET AsSocket(std::intptr_t handle) { return SOCKET(handle); }

timeval Milliseconds(int ms) {
  timeval tv{};
  tv.tv_sec = ms / 1000;
  tv.tv_usec = (ms % 1000) * 1000;
  return tv;
}

int PendingError(SOCKET s) {
  int code = 0;
  int length = sizeof code;
  if (::getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&code), &length) != 0) return 0;
  return code;
}

// Each select() names the socket in one set only: Wine's server can fail an assertion when
// one socket stands in two sets of a poll. A refused connect never makes the socket writable
// on Windows (it is reported in the exception set), so a write wait looks at the socket's
// pending error every kConnectCheckMs instead.
constexpr int kConnectCheckMs = 10;

SocketWait WaitFor(SOCKET s, bool write, int timeoutMs) {
  ULONGLONG start = ::GetTickCount64();
  for (;;) {
    int slice = timeoutMs;
    if (write) {
      long long left =
          timeoutMs < 0 ? kConnectCheckMs : timeoutMs - (long long)(::GetTickCount64() - start);
      if (left < 0) left = 0;
      slice = int(left < kConnectCheckMs ? left : kConnectCheckMs);
    }
    fd_set set;
    FD_ZERO(&set);
    FD_SET(s, &set);
    timeval tv = Milliseconds(slice < 0 ? 0 : slice);
    int n = ::select(0, write ? nullptr : &set, write ? &set : nullptr, nullptr,
                     slice < 0 ? nullptr : &tv);
    if (n > 0) return SocketWait::Ready;
    if (n < 0) return SocketWait::Failed;
    if (!write) return SocketWait::Timeout;
    if (PendingError(s) != 0) return SocketWait::Ready;
    if (timeoutMs >= 0 && (long long)(::GetTickCount64() - start) >= timeoutMs)
      return SocketWait::Timeout;
  }
}

bool MakeNonBlocking(SOCKET s) {
  u_long on = 1;
  return ::ioctlsocket(s, FIONBIO, &on) == 0;
}

void SetNoDelay(SOCKET s) {
  BOOL one = TRUE;
  ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one), sizeof one);
}

}  // namespace

std::string SocketErrorText() { return ErrorText(::WSAGetLastError()); }

std::vector<SocketAddress> ResolveHost(const std::string& host, int port, std::string& error) {
  EnsureWinsock();
  return detail::ResolveWithGetAddrInfo(host, port, error, ErrorText);
}

Socket Socket::StartConnect(const SocketAddress& address, std::string& error) {
  EnsureWinsock();
  auto* sa = reinterpret_cast<const sockaddr*>(address.storage);
  SOCKET s = ::socket(sa->sa_family, SOCK_STREAM, IPPROTO_TCP);
  if (s == INVALID_SOCKET) {
    error = SocketErrorText();
    return Socket();
  }
  Socket socket{std::intptr_t(s)};
  ::SetHandleInformation(reinterpret_cast<HANDLE>(s), HANDLE_FLAG_INHERIT, 0);
  SetNoDelay(s);
  if (!MakeNonBlocking(s)) {
    error = SocketErrorText();
    return Socket();
  }
  if (::connect(s, sa, address.length) != 0 && ::WSAGetLastError() != WSAEWOULDBLOCK) {
    error = SocketErrorText();
    return Socket();
  }
  return socket;
}

bool Socket::FinishConnect(std::string& error) {
  int code = 0;
  int length = sizeof code;
  if (::getsockopt(AsSocket(handle_), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&code),
                   &length) != 0)
    code = ::WSAGetLastError();
  if (code == 0) return true;
  error = ErrorText(code);
  return false;
}

Socket Socket::ListenLoopback(std::string& error) {
  EnsureWinsock();
  SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s == INVALID_SOCKET) {
    error = SocketErrorText();
    return Socket();
  }
  Socket socket{std::intptr_t(s)};
  sockaddr_in sin = detail::LoopbackAnyPort();
  if (::bind(s, reinterpret_cast<sockaddr*>(&sin), sizeof sin) != 0 || ::listen(s, 64) != 0 ||
      !MakeNonBlocking(s)) {
    error = SocketErrorText();
    return Socket();
  }
  return socket;
}

int Socket::LocalPort() const { return detail::BoundPort<int>(AsSocket(handle_)); }

Socket Socket::Accept() {
  SOCKET s = ::accept(AsSocket(handle_), nullptr, nullptr);
  if (s == INVALID_SOCKET) return Socket();
  Socket socket{std::intptr_t(s)};
  SetNoDelay(s);
  if (!MakeNonBlocking(s)) return Socket();
  return socket;
}

SocketWait Socket::WaitReadable(int timeoutMs) const {
  return WaitFor(AsSocket(handle_), false, timeoutMs);
}
SocketWait Socket::WaitWritable(int timeoutMs) const {
  return WaitFor(AsSocket(handle_), true, timeoutMs);
}

long Socket::Receive(char* buffer, std::size_t size) {
  int n = ::recv(AsSocket(handle_), buffer, int(size > 0x7fffffff ? 0x7fffffff : size), 0);
  if (n >= 0) return n;
  return ::WSAGetLastError() == WSAEWOULDBLOCK ? kSocketWouldBlock : kSocketFailed;
}

long Socket::Send(const char* data, std::size_t size) {
  int n = ::send(AsSocket(handle_), data, int(size > 0x7fffffff ? 0x7fffffff : size), 0);
  if (n >= 0) return n;
  return ::WSAGetLastError() == WSAEWOULDBLOCK ? kSocketWouldBlock : kSocketFailed;
}

void Socket::ShutdownSend() {
  if (handle_ != kInvalid) ::shutdown(AsSocket(handle_), SD_SEND);
}

void Socket::Close() noexcept {
  if (handle_ != kInvalid) ::closesocket(AsSocket(std::exchange(handle_, kInvalid)));
}

}  // namespace lorvex::platform
