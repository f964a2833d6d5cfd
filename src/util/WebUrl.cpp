#include "util/WebUrl.h"

#include <array>
#include <cstdint>

#include "util/Ascii.h"
#include "util/Strings.h"

namespace lorvex {

namespace {

constexpr char kHex[] = "0123456789ABCDEF";

// ---- Percent-encoding: one set per part of a URL. Bytes from 0x80 up are always encoded.

enum class EncodeSet { Fragment, Query, SpecialQuery, Path, Userinfo };

bool InSet(unsigned char c, EncodeSet set) {
  if (c < 0x20 || c > 0x7E) return true;  // the C0 control set
  switch (set) {
    case EncodeSet::Fragment:
      return c == ' ' || c == '"' || c == '<' || c == '>' || c == '`';
    case EncodeSet::Query:
    case EncodeSet::SpecialQuery:
      return c == ' ' || c == '"' || c == '#' || c == '<' || c == '>' ||
             (set == EncodeSet::SpecialQuery && c == '\'');
    case EncodeSet::Path:
    case EncodeSet::Userinfo:
      if (c == ' ' || c == '"' || c == '#' || c == '<' || c == '>' || c == '?' || c == '`' ||
          c == '{' || c == '}')
        return true;
      return set == EncodeSet::Userinfo &&
             (c == '/' || c == ':' || c == ';' || c == '=' || c == '@' || c == '[' || c == '\\' ||
              c == ']' || c == '^' || c == '|');
  }
  return true;
}

void AppendEncoded(std::string& out, std::string_view text, EncodeSet set) {
  for (char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if (!InSet(c, set)) {
      out.push_back(ch);
      continue;
    }
    out.push_back('%');
    out.push_back(kHex[c >> 4]);
    out.push_back(kHex[c & 15]);
  }
}

std::string PercentDecode(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size()) {
      const int high = AsciiHexValue(text[i + 1]), low = AsciiHexValue(text[i + 2]);
      if (high >= 0 && low >= 0) {
        out.push_back(static_cast<char>(high * 16 + low));
        i += 2;
        continue;
      }
    }
    out.push_back(text[i]);
  }
  return out;
}

// ---- Hosts.

// A byte that no host name may hold once its escapes are decoded.
bool IsForbiddenDomainByte(unsigned char c) {
  if (c <= 0x20 || c == 0x7F) return true;
  switch (c) {
    case '#':
    case '%':
    case '/':
    case ':':
    case '<':
    case '>':
    case '?':
    case '@':
    case '[':
    case '\\':
    case ']':
    case '^':
    case '|':
      return true;
    default:
      return false;
  }
}

// UTF-8 to code points; false for bytes that are not UTF-8.
bool DecodeUtf8(std::string_view text, std::u32string& out) {
  for (size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    int extra = 0;
    char32_t cp;
    if (lead < 0x80) {
      cp = lead;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
      extra = 1, cp = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      extra = 2, cp = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      extra = 3, cp = lead & 0x07;
    } else {
      return false;
    }
    if (i + static_cast<size_t>(extra) >= text.size()) return false;
    for (int k = 1; k <= extra; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (next & 0x3F);
    }
    // Overlong forms, surrogates and values past U+10FFFF are no characters.
    if ((extra == 2 && cp < 0x800) || (extra == 3 && (cp < 0x10000 || cp > 0x10FFFF)) ||
        (cp >= 0xD800 && cp <= 0xDFFF))
      return false;
    out.push_back(cp);
    i += static_cast<size_t>(extra) + 1;
  }
  return true;
}

// Upper-case letters of the common alphabets (Latin, Greek, Cyrillic) to lower case; the
// rest of the Unicode mapping of host names is not made.
char32_t FoldLetter(char32_t c) {
  if (c < 0x80) return static_cast<char32_t>(AsciiLower(static_cast<char>(c)));
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 0x20;
  if ((c >= 0x100 && c <= 0x137) || (c >= 0x14A && c <= 0x177)) return c | 1;
  if (((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) && (c & 1)) return c + 1;
  if (c >= 0x391 && c <= 0x3A9 && c != 0x3A2) return c + 0x20;
  if (c >= 0x410 && c <= 0x42F) return c + 0x20;
  if (c >= 0x400 && c <= 0x40F) return c + 0x50;
  return c;
}

// A label's code points as punycode (RFC 3492). Labels longer than this are refused, so that
// the encoder's time (the label's length times its distinct characters) stays small.
constexpr size_t kMaxUnicodeLabel = 253;

char PunycodeDigit(uint32_t d) { return static_cast<char>(d < 26 ? 'a' + d : '0' + (d - 26)); }

bool AppendPunycode(std::string& out, const std::u32string& label) {
  constexpr uint32_t kBase = 36, kTMin = 1, kTMax = 26, kSkew = 38, kDamp = 700;
  auto adapt = [](uint32_t delta, uint32_t points, bool first) {
    delta = first ? delta / kDamp : delta / 2;
    delta += delta / points;
    uint32_t k = 0;
    while (delta > ((kBase - kTMin) * kTMax) / 2) {
      delta /= kBase - kTMin;
      k += kBase;
    }
    return k + (kBase - kTMin + 1) * delta / (delta + kSkew);
  };
  uint32_t basic = 0;
  for (char32_t c : label)
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
      ++basic;
    }
  uint32_t handled = basic;
  if (basic > 0) out.push_back('-');
  uint32_t n = 0x80, delta = 0, bias = 72;
  while (handled < label.size()) {
    uint32_t next = 0x110000;
    for (char32_t c : label)
      if (c >= n && c < next) next = c;
    const uint64_t grow = uint64_t(next - n) * (handled + 1);
    if (grow + delta > UINT32_MAX) return false;
    delta += static_cast<uint32_t>(grow);
    n = next;
    for (char32_t c : label) {
      if (c < n && ++delta == 0) return false;
      if (c != n) continue;
      uint32_t q = delta;
      for (uint32_t k = kBase;; k += kBase) {
        const uint32_t t = k <= bias ? kTMin : k >= bias + kTMax ? kTMax : k - bias;
        if (q < t) break;
        out.push_back(PunycodeDigit(t + (q - t) % (kBase - t)));
        q = (q - t) / (kBase - t);
      }
      out.push_back(PunycodeDigit(q));
      bias = adapt(delta, handled + 1, handled == basic);
      delta = 0;
      ++handled;
    }
    ++delta;
    ++n;
  }
  return true;
}

// A host name's bytes (escapes decoded) as the ASCII name a URL holds; false when refused.
bool DomainToAscii(std::string_view domain, std::string& out) {
  bool ascii = true;
  for (char c : domain) ascii = ascii && static_cast<unsigned char>(c) < 0x80;
  if (ascii) {
    out = AsciiLowerCase(domain);
    return true;
  }
  std::u32string points;
  if (!DecodeUtf8(domain, points)) return false;
  std::u32string label;
  auto flush = [&]() {
    bool plain = true;
    for (char32_t c : label) plain = plain && c < 0x80;
    if (plain) {
      for (char32_t c : label) out.push_back(static_cast<char>(c));
    } else {
      if (label.size() > kMaxUnicodeLabel) return false;
      out += "xn--";
      if (!AppendPunycode(out, label)) return false;
    }
    label.clear();
    return true;
  };
  out.clear();
  for (char32_t c : points) {
    // The full stops of other scripts separate labels too.
    if (c == '.' || c == 0x3002 || c == 0xFF0E || c == 0xFF61) {
      if (!flush()) return false;
      out.push_back('.');
      continue;
    }
    if (c == 0xFFFD || (c >= 0x80 && c < 0xA0)) return false;  // no host name holds these
    label.push_back(FoldLetter(c));
  }
  return flush();
}

// An IPv4 part: decimal, "0x" hexadecimal or "0" octal. Values are capped above 2^32, where
// every address is refused anyway.
bool ParseIpv4Number(std::string_view text, uint64_t& value) {
  if (text.empty()) return false;
  int radix = 10;
  if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    radix = 16;
    text.remove_prefix(2);
  } else if (text.size() >= 2 && text[0] == '0') {
    radix = 8;
    text.remove_prefix(1);
  }
  value = 0;
  for (char c : text) {
    const int digit = radix == 16 ? AsciiHexValue(c) : IsAsciiDigit(c) ? c - '0' : -1;
    if (digit < 0 || digit >= radix) return false;
    value = value * radix + digit;
    if (value > (uint64_t(1) << 32)) value = (uint64_t(1) << 32) + 1;
  }
  return true;
}

// Whether the name's last label is a number, which makes it an IPv4 address.
bool EndsInNumber(std::string_view host) {
  if (!host.empty() && host.back() == '.') host.remove_suffix(1);
  const size_t dot = host.rfind('.');
  const std::string_view last = dot == std::string_view::npos ? host : host.substr(dot + 1);
  if (last.empty()) return false;
  bool digits = true;
  for (char c : last) digits = digits && IsAsciiDigit(c);
  if (digits) return true;
  uint64_t value;
  return last.size() >= 2 && last[0] == '0' && (last[1] == 'x' || last[1] == 'X') &&
         ParseIpv4Number(last, value);
}

bool ParseIpv4(std::string_view host, std::string& out) {
  std::array<uint64_t, 4> numbers{};
  size_t count = 0;
  if (!host.empty() && host.back() == '.') host.remove_suffix(1);
  for (size_t start = 0;;) {
    const size_t dot = host.find('.', start);
    const std::string_view part = host.substr(start, dot - start);
    if (count == 4 || !ParseIpv4Number(part, numbers[count])) return false;
    ++count;
    if (dot == std::string_view::npos) break;
    start = dot + 1;
  }
  for (size_t i = 0; i + 1 < count; ++i)
    if (numbers[i] > 255) return false;
  if (numbers[count - 1] >= (uint64_t(1) << (8 * (5 - count)))) return false;
  uint64_t address = numbers[count - 1];
  for (size_t i = 0; i + 1 < count; ++i) address += numbers[i] << (8 * (3 - i));
  out.clear();
  for (int shift = 24; shift >= 0; shift -= 8) {
    out += std::to_string((address >> shift) & 255);
    if (shift) out.push_back('.');
  }
  return true;
}

bool ParseIpv6(std::string_view text, std::string& out) {
  std::array<uint16_t, 8> pieces{};
  size_t piece = 0, p = 0;
  std::optional<size_t> compress;
  const size_t n = text.size();
  if (p < n && text[p] == ':') {
    if (p + 1 >= n || text[p + 1] != ':') return false;
    p += 2;
    compress = ++piece;
  }
  while (p < n) {
    if (piece == 8) return false;
    if (text[p] == ':') {
      if (compress) return false;
      ++p;
      compress = ++piece;
      continue;
    }
    uint32_t value = 0;
    size_t length = 0;
    while (length < 4 && p < n && AsciiHexValue(text[p]) >= 0) {
      value = value * 16 + static_cast<uint32_t>(AsciiHexValue(text[p]));
      ++p, ++length;
    }
    if (p < n && text[p] == '.') {
      // An IPv4 address in the last two pieces.
      if (length == 0 || piece > 6) return false;
      p -= length;
      size_t seen = 0;
      while (p < n) {
        int ipv4Piece = -1;
        if (seen > 0) {
          if (text[p] != '.' || seen >= 4) return false;
          ++p;
        }
        if (p >= n || !IsAsciiDigit(text[p])) return false;
        while (p < n && IsAsciiDigit(text[p])) {
          const int digit = text[p] - '0';
          if (ipv4Piece == 0) return false;  // a leading zero
          ipv4Piece = ipv4Piece < 0 ? digit : ipv4Piece * 10 + digit;
          if (ipv4Piece > 255) return false;
          ++p;
        }
        pieces[piece] = static_cast<uint16_t>(pieces[piece] * 0x100 + ipv4Piece);
        ++seen;
        if (seen == 2 || seen == 4) ++piece;
      }
      if (seen != 4) return false;
      break;
    }
    if (p < n && text[p] == ':') {
      ++p;
      if (p >= n) return false;
    } else if (p < n) {
      return false;
    }
    if (length == 0) return false;
    pieces[piece++] = static_cast<uint16_t>(value);
  }
  if (compress) {
    size_t swaps = piece - *compress;
    piece = 7;
    while (piece != 0 && swaps > 0) {
      std::swap(pieces[piece], pieces[*compress + swaps - 1]);
      --piece, --swaps;
    }
  } else if (piece != 8) {
    return false;
  }
  // The first longest run of two or more zero pieces is written "::".
  size_t bestStart = 8, bestLength = 1;
  for (size_t i = 0; i < 8;) {
    size_t j = i;
    while (j < 8 && pieces[j] == 0) ++j;
    if (j - i > bestLength) bestStart = i, bestLength = j - i;
    i = j == i ? i + 1 : j;
  }
  out = "[";
  for (size_t i = 0; i < 8; ++i) {
    if (i == bestStart) {
      out += i == 0 ? "::" : ":";
      i += bestLength - 1;
      continue;
    }
    static constexpr char kLowerHex[] = "0123456789abcdef";
    std::string hex;
    for (int shift = 12; shift >= 0; shift -= 4)
      if (!hex.empty() || ((pieces[i] >> shift) & 15) || shift == 0)
        hex.push_back(kLowerHex[(pieces[i] >> shift) & 15]);
    out += hex;
    if (i != 7) out.push_back(':');
  }
  out.push_back(']');
  return true;
}

bool ParseHost(std::string_view text, std::string& out) {
  if (!text.empty() && text.front() == '[') {
    if (text.size() < 2 || text.back() != ']') return false;
    return ParseIpv6(text.substr(1, text.size() - 2), out);
  }
  if (!DomainToAscii(PercentDecode(text), out) || out.empty()) return false;
  for (char c : out)
    if (IsForbiddenDomainByte(static_cast<unsigned char>(c))) return false;
  if (EndsInNumber(out)) {
    std::string address;
    if (!ParseIpv4(out, address)) return false;
    out = std::move(address);
  }
  return true;
}

// ---- The parser.

std::string_view DefaultPort(std::string_view scheme) {
  if (scheme == "http" || scheme == "ws") return "80";
  if (scheme == "https" || scheme == "wss") return "443";
  if (scheme == "ftp") return "21";
  return {};
}

bool IsSingleDot(std::string_view s) { return s == "." || EqualsIgnoreCase(s, "%2e"); }
bool IsDoubleDot(std::string_view s) {
  return s == ".." || EqualsIgnoreCase(s, ".%2e") || EqualsIgnoreCase(s, "%2e.") ||
         EqualsIgnoreCase(s, "%2e%2e");
}

constexpr bool IsSlash(char c) { return c == '/' || c == '\\'; }

class Parser {
 public:
  Parser(std::string_view input, const WebUrl* base) : base_(base) {
    // Blanks and controls at the ends go, tabs and line breaks anywhere.
    while (!input.empty() && static_cast<unsigned char>(input.front()) <= 0x20)
      input.remove_prefix(1);
    while (!input.empty() && static_cast<unsigned char>(input.back()) <= 0x20)
      input.remove_suffix(1);
    text_.reserve(input.size());
    for (char c : input)
      if (c != '\t' && c != '\n' && c != '\r') text_.push_back(c);
  }

  std::optional<WebUrl> Run() {
    const size_t n = text_.size();
    size_t p = 0;
    bool hasScheme = false;
    if (n > 0 && IsAsciiAlpha(text_[0])) {
      size_t q = 1;
      while (q < n &&
             (IsAsciiAlnum(text_[q]) || text_[q] == '+' || text_[q] == '-' || text_[q] == '.'))
        ++q;
      if (q < n && text_[q] == ':') {
        url_.scheme = AsciiLowerCase(std::string_view(text_).substr(0, q));
        p = q + 1;
        hasScheme = true;
      }
    }
    if (!hasScheme) {
      if (!base_) return std::nullopt;
      return Relative(p);
    }
    if (!IsWebUrlScheme(url_.scheme)) return std::nullopt;
    if (base_ && base_->scheme == url_.scheme &&
        !(p + 1 < n && text_[p] == '/' && text_[p + 1] == '/'))
      return Relative(p);
    while (p < n && IsSlash(text_[p])) ++p;
    return Authority(p);
  }

 private:
  std::optional<WebUrl> Relative(size_t p) {
    const size_t n = text_.size();
    url_.scheme = base_->scheme;
    if (p < n && IsSlash(text_[p])) {
      if (p + 1 < n && IsSlash(text_[p + 1])) {
        p += 2;
        while (p < n && IsSlash(text_[p])) ++p;
        return Authority(p);
      }
      CopyBaseAuthority();
      return Path(p + 1);
    }
    CopyBaseAuthority();
    url_.path = base_->path;
    url_.query = base_->query;
    if (p >= n) return std::move(url_);
    if (text_[p] == '?') return Query(p + 1);
    if (text_[p] == '#') return Fragment(p + 1);
    url_.query.reset();
    if (!url_.path.empty()) url_.path.pop_back();
    return Path(p);
  }

  void CopyBaseAuthority() {
    url_.username = base_->username;
    url_.password = base_->password;
    url_.host = base_->host;
    url_.port = base_->port;
  }

  std::optional<WebUrl> Authority(size_t p) {
    const size_t n = text_.size();
    size_t end = p;
    while (end < n && !IsSlash(text_[end]) && text_[end] != '?' && text_[end] != '#') ++end;
    const std::string_view authority = std::string_view(text_).substr(p, end - p);
    const size_t at = authority.rfind('@');
    std::string_view hostPort = authority;
    if (at != std::string_view::npos) {
      const std::string_view userinfo = authority.substr(0, at);
      const size_t colon = userinfo.find(':');
      AppendEncoded(url_.username, userinfo.substr(0, colon), EncodeSet::Userinfo);
      if (colon != std::string_view::npos)
        AppendEncoded(url_.password, userinfo.substr(colon + 1), EncodeSet::Userinfo);
      hostPort = authority.substr(at + 1);
    }
    // The port follows the last ":" outside "[...]".
    size_t colon = std::string_view::npos;
    bool brackets = false;
    for (size_t i = 0; i < hostPort.size(); ++i) {
      if (hostPort[i] == '[') brackets = true;
      if (hostPort[i] == ']') brackets = false;
      if (hostPort[i] == ':' && !brackets) {
        colon = i;
        break;
      }
    }
    const std::string_view host = hostPort.substr(0, colon);
    if (host.empty() || !ParseHost(host, url_.host)) return std::nullopt;
    if (colon != std::string_view::npos) {
      std::string_view port = hostPort.substr(colon + 1);
      for (char c : port)
        if (!IsAsciiDigit(c)) return std::nullopt;
      while (port.size() > 1 && port.front() == '0') port.remove_prefix(1);
      if (port.size() > 5 || (!port.empty() && std::stoul(std::string(port)) > 65535))
        return std::nullopt;
      if (port != DefaultPort(url_.scheme)) url_.port = std::string(port);
    }
    if (end < n && IsSlash(text_[end])) ++end;
    return Path(end);
  }

  std::optional<WebUrl> Path(size_t p) {
    const size_t n = text_.size();
    std::string segment;
    for (;;) {
      const bool atEnd = p >= n || text_[p] == '?' || text_[p] == '#';
      if (atEnd || IsSlash(text_[p])) {
        if (IsDoubleDot(segment)) {
          if (!url_.path.empty()) url_.path.pop_back();
          if (atEnd) url_.path.emplace_back();
        } else if (IsSingleDot(segment)) {
          if (atEnd) url_.path.emplace_back();
        } else {
          url_.path.push_back(std::move(segment));
        }
        segment.clear();
        if (p >= n) return std::move(url_);
        if (text_[p] == '?') return Query(p + 1);
        if (text_[p] == '#') return Fragment(p + 1);
        ++p;
        continue;
      }
      AppendEncoded(segment, std::string_view(&text_[p], 1), EncodeSet::Path);
      ++p;
    }
  }

  std::optional<WebUrl> Query(size_t p) {
    const size_t hash = text_.find('#', p);
    const std::string_view text =
        std::string_view(text_).substr(p, hash == std::string::npos ? std::string::npos : hash - p);
    url_.query.emplace();
    AppendEncoded(*url_.query, text, EncodeSet::SpecialQuery);
    if (hash == std::string::npos) return std::move(url_);
    return Fragment(hash + 1);
  }

  std::optional<WebUrl> Fragment(size_t p) {
    url_.fragment.emplace();
    AppendEncoded(*url_.fragment, std::string_view(text_).substr(p), EncodeSet::Fragment);
    return std::move(url_);
  }

  const WebUrl* base_;
  std::string text_;
  WebUrl url_;
};

}  // namespace

bool IsWebUrlScheme(std::string_view scheme) {
  return scheme == "http" || scheme == "https" || scheme == "ftp" || scheme == "ws" ||
         scheme == "wss";
}

std::string WebUrl::Origin() const {
  std::string out = scheme + "://" + host;
  if (!port.empty()) out += ":" + port;
  return out;
}

std::string WebUrl::Href() const {
  std::string out = scheme + "://";
  if (!username.empty() || !password.empty()) {
    out += username;
    if (!password.empty()) out += ":" + password;
    out += "@";
  }
  out += host;
  if (!port.empty()) out += ":" + port;
  for (const std::string& segment : path) out.append("/").append(segment);
  if (query) out.append("?").append(*query);
  if (fragment) out.append("#").append(*fragment);
  return out;
}

std::optional<WebUrl> ParseWebUrl(std::string_view input, const WebUrl* base) {
  return Parser(input, base).Run();
}

std::optional<std::string> WebUrlHref(std::string_view input, const WebUrl* base) {
  std::optional<WebUrl> url = ParseWebUrl(input, base);
  if (!url) return std::nullopt;
  return url->Href();
}

}  // namespace lorvex
