// The part of the socket seam that is the same on both sides: name resolution (getaddrinfo
// and its addrinfo list exist under Winsock and POSIX alike), the loopback listening address
// and the port of a bound socket. Included by each side's Socket.cpp after its own system
// headers, which declare the socket types.
#pragma once

#include <cstring>
#include <string>
#include <vector>

#include "platform/Socket.h"

namespace lorvex::platform::detail {

// errorTextOf turns a getaddrinfo result code into a message.
template <typename ErrorTextOf>
std::vector<SocketAddress> ResolveWithGetAddrInfo(const std::string& host, int port,
                                                  std::string& error, ErrorTextOf errorTextOf) {
  std::vector<SocketAddress> result;
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  addrinfo* list = nullptr;
  std::string service = std::to_string(port);
  int rc = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &list);
  if (rc != 0) {
    error = "cannot resolve " + host + ": " + errorTextOf(rc);
    return result;
  }
  for (addrinfo* ai = list; ai; ai = ai->ai_next) {
    if (ai->ai_addrlen > sizeof(SocketAddress::storage)) continue;
    SocketAddress address;
    std::memcpy(address.storage, ai->ai_addr, ai->ai_addrlen);
    address.length = int(ai->ai_addrlen);
    result.push_back(address);
  }
  ::freeaddrinfo(list);
  if (result.empty()) error = "no address for " + host;
  return result;
}

// 127.0.0.1 with port 0, so that bind() picks an ephemeral port.
inline sockaddr_in LoopbackAnyPort() {
  sockaddr_in sin{};
  sin.sin_family = AF_INET;
  sin.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  sin.sin_port = 0;
  return sin;
}

// The port that getsockname reports for handle, 0 when there is none; Length is the side's
// socket length type.
template <typename Length, typename Handle>
int BoundPort(Handle handle) {
  sockaddr_storage ss{};
  Length length = sizeof ss;
  if (::getsockname(handle, reinterpret_cast<sockaddr*>(&ss), &length) != 0) return 0;
  if (ss.ss_family == AF_INET) return ntohs(reinterpret_cast<sockaddr_in*>(&ss)->sin_port);
  if (ss.ss_family == AF_INET6) return ntohs(reinterpret_cast<sockaddr_in6*>(&ss)->sin6_port);
  return 0;
}

}  // namespace lorvex::platform::detail
