// Name resolution for the socket seam, the same on both sides: getaddrinfo and its addrinfo
// list exist under Winsock and POSIX alike. Included by each side's Socket.cpp after its own
// system headers, which declare them.
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

}  // namespace lorvex::platform::detail
