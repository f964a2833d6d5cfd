#include "http/HttpCookies.h"

#include <algorithm>

#include "util/Ascii.h"
#include "util/CivilDate.h"
#include "util/Strings.h"

namespace lorvex {

namespace {

bool IsIpAddress(std::string_view host) {
  if (host.find(':') != std::string_view::npos) return true;
  return !host.empty() &&
         std::all_of(host.begin(), host.end(), [](char c) { return IsAsciiDigit(c) || c == '.'; });
}

bool DomainMatches(std::string_view host, std::string_view domain) {
  if (host == domain) return true;
  return host.size() > domain.size() && host.substr(host.size() - domain.size()) == domain &&
         host[host.size() - domain.size() - 1] == '.' && !IsIpAddress(host);
}

bool PathMatches(std::string_view requestPath, std::string_view cookiePath) {
  if (requestPath.substr(0, cookiePath.size()) != cookiePath) return false;
  return requestPath.size() == cookiePath.size() || cookiePath.back() == '/' ||
         requestPath[cookiePath.size()] == '/';
}

std::string DefaultPath(std::string_view requestPath) {
  if (requestPath.empty() || requestPath[0] != '/') return "/";
  std::size_t last = requestPath.rfind('/');
  if (last == 0) return "/";
  return std::string(requestPath.substr(0, last));
}

// Parses "digits" of 1 to maxDigits digits, optionally followed by non-digits; -1 otherwise.
int LeadingNumber(std::string_view token, std::size_t minDigits, std::size_t maxDigits) {
  std::size_t n = 0;
  int value = 0;
  // Digits past maxDigits are counted but not added, so that a long run cannot overflow.
  for (; n < token.size() && IsAsciiDigit(token[n]); ++n)
    if (n < maxDigits) value = value * 10 + (token[n] - '0');
  if (n < minDigits || n > maxDigits) return -1;
  return value;
}

}  // namespace

std::optional<std::int64_t> ParseCookieDate(std::string_view text) {
  static const char* const kMonths[] = {"jan", "feb", "mar", "apr", "may", "jun",
                                        "jul", "aug", "sep", "oct", "nov", "dec"};
  int hour = -1, minute = -1, second = -1, day = -1, month = -1, year = -1;
  std::size_t pos = 0;
  while (pos < text.size()) {
    while (pos < text.size() && !IsAsciiAlnum(text[pos]) && text[pos] != ':') ++pos;
    std::size_t start = pos;
    while (pos < text.size() && (IsAsciiAlnum(text[pos]) || text[pos] == ':')) ++pos;
    std::string_view token = text.substr(start, pos - start);
    if (token.empty()) continue;
    if (hour < 0 && token.find(':') != std::string_view::npos) {
      int h, m, s;
      std::size_t c1 = token.find(':'), c2 = token.find(':', c1 + 1);
      if (c2 == std::string_view::npos) continue;
      h = LeadingNumber(token.substr(0, c1), 1, 2);
      m = LeadingNumber(token.substr(c1 + 1, c2 - c1 - 1), 1, 2);
      s = LeadingNumber(token.substr(c2 + 1), 1, 2);
      if (h >= 0 && m >= 0 && s >= 0) hour = h, minute = m, second = s;
      continue;
    }
    if (day < 0 && IsAsciiDigit(token[0]) && token.size() <= 2) {
      day = LeadingNumber(token, 1, 2);
      continue;
    }
    if (month < 0 && token.size() >= 3 && !IsAsciiDigit(token[0])) {
      for (int i = 0; i < 12; ++i)
        if (EqualsIgnoreCase(token.substr(0, 3), kMonths[i])) month = i + 1;
      if (month > 0) continue;
    }
    if (year < 0 && IsAsciiDigit(token[0])) {
      int y = LeadingNumber(token, 2, 4);
      if (y >= 0) year = y;
    }
  }
  if (year >= 70 && year <= 99)
    year += 1900;
  else if (year >= 0 && year <= 69)
    year += 2000;
  if (hour < 0 || day < 1 || day > 31 || month < 1 || year < 1601 || hour > 23 || minute > 59 ||
      second > 59)
    return std::nullopt;
  return DaysSince1970(year, month, day) * 86400 + hour * 3600 + minute * 60 + second;
}

void HttpCookieJar::Store(std::string_view host, std::string_view requestPath,
                          std::string_view setCookie, std::int64_t now) {
  if (setCookie.size() > kMaxSetCookieLength) return;
  std::lock_guard lock(mutex_);
  std::size_t semi = setCookie.find(';');
  std::string_view pair = setCookie.substr(0, semi);
  std::size_t eq = pair.find('=');
  if (eq == std::string_view::npos) return;
  HttpCookie cookie;
  cookie.name = Trim(pair.substr(0, eq));
  cookie.value = Trim(pair.substr(eq + 1));
  if (cookie.name.empty()) return;

  std::optional<std::int64_t> maxAgeExpiry, expiresExpiry;
  std::string domainAttribute, pathAttribute;
  while (semi != std::string_view::npos) {
    std::size_t start = semi + 1;
    semi = setCookie.find(';', start);
    std::string_view attribute =
        setCookie.substr(start, semi == std::string_view::npos ? semi : semi - start);
    std::size_t aeq = attribute.find('=');
    std::string_view key = Trim(attribute.substr(0, aeq));
    std::string_view value =
        aeq == std::string_view::npos ? std::string_view() : Trim(attribute.substr(aeq + 1));
    if (EqualsIgnoreCase(key, "expires")) {
      expiresExpiry = ParseCookieDate(value);
    } else if (EqualsIgnoreCase(key, "max-age")) {
      std::string_view digits = value;
      bool negative = !digits.empty() && digits[0] == '-';
      if (negative) digits.remove_prefix(1);
      if (digits.empty() || !std::all_of(digits.begin(), digits.end(), IsAsciiDigit)) continue;
      std::int64_t seconds = 0;
      for (char c : digits) seconds = std::min<std::int64_t>(seconds * 10 + (c - '0'), 1LL << 40);
      maxAgeExpiry = negative || seconds == 0 ? std::int64_t(0) : now + seconds;
    } else if (EqualsIgnoreCase(key, "domain")) {
      std::string_view domain = value;
      if (!domain.empty() && domain[0] == '.') domain.remove_prefix(1);
      domainAttribute = AsciiLowerCase(domain);
    } else if (EqualsIgnoreCase(key, "path")) {
      pathAttribute = value;
    } else if (EqualsIgnoreCase(key, "secure")) {
      cookie.secure = true;
    }
  }

  std::string lowerHost = AsciiLowerCase(host);
  if (!domainAttribute.empty()) {
    if (!DomainMatches(lowerHost, domainAttribute)) return;
    // A bare top-level name would hand the cookie to every host under it.
    if (domainAttribute.find('.') == std::string::npos && domainAttribute != lowerHost) return;
    cookie.domain = domainAttribute;
    cookie.hostOnly = false;
  } else {
    cookie.domain = lowerHost;
    cookie.hostOnly = true;
  }
  cookie.path =
      !pathAttribute.empty() && pathAttribute[0] == '/' ? pathAttribute : DefaultPath(requestPath);
  cookie.expires = maxAgeExpiry ? maxAgeExpiry : expiresExpiry;

  auto same = std::find_if(cookies_.begin(), cookies_.end(), [&](const HttpCookie& c) {
    return c.name == cookie.name && c.domain == cookie.domain && c.path == cookie.path;
  });
  bool expired = cookie.expires && *cookie.expires <= now;
  if (same != cookies_.end()) {
    if (expired) {
      cookies_.erase(same);
    } else {
      cookie.created = same->created;
      *same = std::move(cookie);
    }
    return;
  }
  if (expired) return;
  cookies_.erase(
      std::remove_if(cookies_.begin(), cookies_.end(),
                     [&](const HttpCookie& c) { return c.expires && *c.expires <= now; }),
      cookies_.end());
  if (cookies_.size() >= kMaxCookies) {
    auto oldest = std::min_element(
        cookies_.begin(), cookies_.end(),
        [](const HttpCookie& a, const HttpCookie& b) { return a.created < b.created; });
    cookies_.erase(oldest);
  }
  cookie.created = ++counter_;
  cookies_.push_back(std::move(cookie));
}

std::string HttpCookieJar::CookieHeader(std::string_view host, std::string_view path,
                                        std::int64_t now, bool secure) const {
  std::string lowerHost = AsciiLowerCase(host);
  std::lock_guard lock(mutex_);
  std::vector<const HttpCookie*> matching;
  for (const HttpCookie& c : cookies_) {
    if ((c.secure && !secure) || (c.expires && *c.expires <= now)) continue;
    bool hostOk = c.hostOnly ? c.domain == lowerHost : DomainMatches(lowerHost, c.domain);
    if (hostOk && PathMatches(path.empty() ? "/" : path, c.path)) matching.push_back(&c);
  }
  std::stable_sort(matching.begin(), matching.end(), [](const HttpCookie* a, const HttpCookie* b) {
    if (a->path.size() != b->path.size()) return a->path.size() > b->path.size();
    return a->created < b->created;
  });
  std::string header;
  for (const HttpCookie* c : matching) {
    if (!header.empty()) header += "; ";
    header += c->name;
    header += '=';
    header += c->value;
  }
  return header;
}

}  // namespace lorvex
