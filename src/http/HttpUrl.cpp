#include "http/HttpUrl.h"

#include <vector>

#include "http/HttpError.h"
#include "util/Ascii.h"
#include "util/Strings.h"

namespace lorvex {

namespace {

bool IsHostChar(char c) {
  return IsAsciiAlpha(c) || IsAsciiDigit(c) || c == '-' || c == '.' || c == '_' || c == '~';
}

// Bytes that a request line cannot carry as they are.
bool NeedsEncoding(unsigned char c) {
  return c <= 0x20 || c >= 0x7F || c == '"' || c == '<' || c == '>' || c == '\\' || c == '^' ||
         c == '`' || c == '{' || c == '|' || c == '}';
}

std::string EncodeTarget(std::string_view raw) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(raw.size());
  for (char ch : raw) {
    auto c = static_cast<unsigned char>(ch);
    if (NeedsEncoding(c)) {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    } else {
      out += ch;
    }
  }
  return out;
}

[[noreturn]] void BadUrl(std::string_view url, const char* why) {
  throw HttpError(HttpFailure::Url, std::string(why) + ": " + std::string(url));
}

// The length of a scheme followed by ':' at the start of text, or 0.
std::size_t SchemeLength(std::string_view text) {
  if (text.empty() || !IsAsciiAlpha(text[0])) return 0;
  for (std::size_t i = 1; i < text.size(); ++i) {
    char c = text[i];
    if (c == ':') return i;
    if (!IsAsciiAlpha(c) && !IsAsciiDigit(c) && c != '+' && c != '-' && c != '.') return 0;
  }
  return 0;
}

// Removes "." and ".." segments from an absolute path, as a browser does.
std::string RemoveDotSegments(std::string_view path) {
  std::vector<std::string_view> segments;
  std::size_t pos = 1;  // path begins with '/'
  bool trailingSlash = false;
  while (pos <= path.size()) {
    std::size_t next = path.find('/', pos);
    if (next == std::string_view::npos) next = path.size();
    std::string_view segment = path.substr(pos, next - pos);
    bool last = next == path.size();
    if (segment == ".") {
      trailingSlash = last;
    } else if (segment == "..") {
      if (!segments.empty()) segments.pop_back();
      trailingSlash = last;
    } else {
      segments.push_back(segment);
      trailingSlash = false;
    }
    pos = next + 1;
  }
  std::string out;
  for (std::string_view segment : segments) {
    out += '/';
    out += segment;
  }
  if (out.empty() || trailingSlash) out += '/';
  return out;
}

}  // namespace

std::string HttpUrl::Authority() const {
  std::string authority = ipv6 ? "[" + host + "]" : host;
  if (port != (secure ? 443 : 80)) authority += ":" + std::to_string(port);
  return authority;
}

std::string HttpUrl::Origin() const { return (secure ? "https://" : "http://") + Authority(); }

std::string HttpUrl::AbsoluteForm() const { return Origin() + target; }

std::string_view HttpUrl::Path() const {
  std::string_view t = target;
  return t.substr(0, t.find('?'));
}

HttpUrl ParseHttpUrl(std::string_view url) {
  std::string_view rest = Trim(url);
  std::size_t schemeLength = SchemeLength(rest);
  if (schemeLength == 0) BadUrl(url, "not an absolute URL");
  std::string_view scheme = rest.substr(0, schemeLength);
  bool secure = EqualsIgnoreCase(scheme, "https");
  if (!secure && !EqualsIgnoreCase(scheme, "http")) BadUrl(url, "unsupported scheme");
  rest.remove_prefix(schemeLength + 1);
  if (rest.substr(0, 2) != "//") BadUrl(url, "no host in URL");
  rest.remove_prefix(2);
  rest = rest.substr(0, rest.find('#'));

  std::size_t authorityEnd = rest.find_first_of("/?");
  std::string_view authority = rest.substr(0, authorityEnd);
  std::string_view target =
      authorityEnd == std::string_view::npos ? std::string_view() : rest.substr(authorityEnd);
  std::size_t at = authority.rfind('@');
  if (at != std::string_view::npos) authority.remove_prefix(at + 1);

  HttpUrl result;
  result.secure = secure;
  result.port = secure ? 443 : 80;
  std::string_view portText;
  if (!authority.empty() && authority[0] == '[') {
    std::size_t close = authority.find(']');
    if (close == std::string_view::npos) BadUrl(url, "invalid host");
    std::string_view literal = authority.substr(1, close - 1);
    if (literal.empty()) BadUrl(url, "invalid host");
    for (char c : literal)
      if (!IsAsciiDigit(c) && !IsAsciiAlpha(c) && c != ':' && c != '.') BadUrl(url, "invalid host");
    result.host = AsciiLowerCase(literal);
    result.ipv6 = true;
    std::string_view after = authority.substr(close + 1);
    if (!after.empty()) {
      if (after[0] != ':') BadUrl(url, "invalid host");
      portText = after.substr(1);
    }
  } else {
    std::size_t colon = authority.find(':');
    std::string_view host = authority.substr(0, colon);
    if (colon != std::string_view::npos) portText = authority.substr(colon + 1);
    if (host.empty()) BadUrl(url, "no host in URL");
    for (char c : host)
      if (!IsHostChar(c)) BadUrl(url, "invalid host");
    result.host = AsciiLowerCase(host);
  }
  if (!portText.empty()) {
    if (portText.size() > 5) BadUrl(url, "invalid port");
    int port = 0;
    for (char c : portText) {
      if (!IsAsciiDigit(c)) BadUrl(url, "invalid port");
      port = port * 10 + (c - '0');
    }
    if (port < 1 || port > 65535) BadUrl(url, "invalid port");
    result.port = port;
  }
  result.target = target.empty() ? "/" : EncodeTarget(target);
  if (result.target[0] == '?') result.target.insert(0, "/");
  return result;
}

std::string ResolveLocation(const HttpUrl& base, std::string_view location) {
  std::string_view loc = Trim(location);
  if (SchemeLength(loc) > 0) return std::string(loc);
  if (loc.substr(0, 2) == "//") return (base.secure ? "https:" : "http:") + std::string(loc);
  std::string origin = base.Origin();
  loc = loc.substr(0, loc.find('#'));
  if (loc.empty()) return origin + base.target;
  if (loc[0] == '?') return origin + std::string(base.Path()) + std::string(loc);

  std::size_t queryAt = loc.find('?');
  std::string_view path = loc.substr(0, queryAt);
  std::string_view query =
      queryAt == std::string_view::npos ? std::string_view() : loc.substr(queryAt);
  std::string merged;
  if (!path.empty() && path[0] == '/') {
    merged = path;
  } else {
    std::string_view basePath = base.Path();
    merged = std::string(basePath.substr(0, basePath.rfind('/') + 1)) + std::string(path);
  }
  return origin + RemoveDotSegments(merged) + std::string(query);
}

}  // namespace lorvex
