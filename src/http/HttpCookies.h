// The cookie jar of an HTTP client, or of several that share it: cookies from Set-Cookie
// answers, kept for the jar's lifetime and sent back on later requests to matching hosts and
// paths. Store and CookieHeader may be called from several threads at once.
//
// Domain, Path, Expires, Max-Age and Secure are honoured. A Domain attribute must match the
// host that set the cookie; a cookie without one goes back to that host only. Cookies marked
// Secure go over https only. Times are seconds since
// 1970 (UTC), passed in so that expiry is testable.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lorvex {

// Most cookies kept; the oldest one goes when another arrives.
constexpr std::size_t kMaxCookies = 300;
// A Set-Cookie value longer than this is ignored.
constexpr std::size_t kMaxSetCookieLength = 8192;

struct HttpCookie {
  std::string name, value, domain, path;
  bool hostOnly = true;
  bool secure = false;
  std::optional<std::int64_t> expires;  // none: until the jar goes
  std::uint64_t created = 0;            // order of arrival
};

class HttpCookieJar {
 public:
  // Takes one Set-Cookie value received from host for a request of requestPath.
  void Store(std::string_view host, std::string_view requestPath, std::string_view setCookie,
             std::int64_t now);
  // The Cookie header value for a request to host and path ("a=1; b=2"), empty when none;
  // secure when the request goes over https.
  std::string CookieHeader(std::string_view host, std::string_view path, std::int64_t now,
                           bool secure) const;

  // For a jar no other thread uses.
  const std::vector<HttpCookie>& Cookies() const { return cookies_; }
  void Clear() {
    std::lock_guard lock(mutex_);
    cookies_.clear();
  }

 private:
  mutable std::mutex mutex_;
  std::vector<HttpCookie> cookies_;
  std::uint64_t counter_ = 0;
};

// Seconds since 1970 of a cookie date ("Wed, 21 Oct 2026 07:28:00 GMT" and the older forms);
// none when the text holds no valid date.
std::optional<std::int64_t> ParseCookieDate(std::string_view text);

}  // namespace lorvex
