// http:// and https:// URLs as the client needs them: parsed into host, port and request target,
// and Location values resolved against the URL that was requested.
#pragma once

#include <string>
#include <string_view>

namespace lorvex {

struct HttpUrl {
  bool secure = false;  // https
  std::string host;     // lower case; an IPv6 literal without its brackets
  int port = 80;
  std::string target;  // path and query, percent-encoded where the URL held raw bytes; "/" at least
  bool ipv6 = false;

  // The Host header value: the host (bracketed when IPv6), with ":port" unless it is the
  // scheme's default port.
  std::string Authority() const;
  // "http://" or "https://", Authority() and target: the absolute form that a proxy receives.
  std::string AbsoluteForm() const;
  // "http://" or "https://" and Authority().
  std::string Origin() const;
  // The path of the target, without its query.
  std::string_view Path() const;
};

// Parses an absolute http:// or https:// URL. A fragment is dropped, user information is ignored,
// bytes that cannot stand in a request line are percent-encoded. Throws HttpError (kind Url) for
// any other scheme, an empty or invalid host, or an invalid port.
HttpUrl ParseHttpUrl(std::string_view url);

// The absolute URL that a Location value names, resolved against the URL that was requested:
// absolute URLs stand as they are, "//host/x", "/x", "?q", "x" and "../x" are resolved.
std::string ResolveLocation(const HttpUrl& base, std::string_view location);

}  // namespace lorvex
