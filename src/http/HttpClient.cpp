#include "http/HttpClient.h"

#include <algorithm>
#include <chrono>
#include <optional>
#include <utility>
#include <vector>

#include "http/ContentDecoding.h"
#include "util/Ascii.h"
#include "util/Strings.h"

namespace lorvex {

namespace {

// Characters of a header field name (an HTTP token).
bool IsTokenChar(char c) {
  if (IsAsciiAlnum(c)) return true;
  return std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
}

bool IsRedirect(int status) {
  return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

std::int64_t NowSeconds() {
  return std::chrono::duration_cast<std::chrono::seconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

// True when the comma-separated list holds token (ASCII case folded).
bool ListHasToken(std::string_view list, std::string_view token) {
  while (!list.empty()) {
    std::size_t comma = list.find(',');
    if (EqualsIgnoreCase(Trim(list.substr(0, comma)), token)) return true;
    if (comma == std::string_view::npos) break;
    list.remove_prefix(comma + 1);
  }
  return false;
}

// The last entry of a comma-separated list.
std::string_view LastListItem(std::string_view list) {
  std::size_t comma = list.rfind(',');
  return Trim(comma == std::string_view::npos ? list : list.substr(comma + 1));
}

void CheckHeaderValue(const char* name, std::string_view value) {
  for (char c : value)
    if (c == '\r' || c == '\n' || c == '\0')
      throw HttpError(HttpFailure::Url,
                      std::string("request header ") + name + " holds a line break");
}

// The key under which a connection is kept: where it goes and, for https, which origin
// its TLS session was made for (through a proxy, each origin has its own tunnel).
std::string EndpointKey(const HttpUrl& url, const std::string& host, int port) {
  std::string key = host + ":" + std::to_string(port);
  if (url.secure) key += " tls " + url.host + ":" + std::to_string(url.port);
  return key;
}

[[noreturn]] void Malformed(const std::string& what) {
  throw HttpError(HttpFailure::Protocol, "malformed answer: " + what);
}

}  // namespace

struct THttpClient::Answer {
  int status = 0;
  int minorVersion = 1;
  std::string statusLine;
  std::vector<std::pair<std::string, std::string>> headers;

  // Every value of the named header, joined by ", " (the list form that repeats allow).
  std::string Header(std::string_view name) const {
    std::string joined;
    for (const auto& [key, value] : headers)
      if (EqualsIgnoreCase(key, name)) {
        if (!joined.empty()) joined += ", ";
        joined += value;
      }
    return joined;
  }
  // The first value of the named header, for headers that must not repeat.
  std::string First(std::string_view name) const {
    for (const auto& [key, value] : headers)
      if (EqualsIgnoreCase(key, name)) return value;
    return {};
  }
};

THttpClient::THttpClient() : bodyBuffer_(new char[kBodyBufferSize]) {}
THttpClient::~THttpClient() = default;

void THttpClient::Disconnect() {
  if (busy_)
    control_.abortRequested.store(true);
  else
    connection_.reset();
}

std::string THttpClient::Get(const std::string& url) {
  StringSink sink;
  Get(url, sink);
  return std::move(sink.Text());
}

void THttpClient::Get(const std::string& url, ByteSink& sink) {
  if (busy_) throw HttpError(HttpFailure::Protocol, "a transfer is already running on this client");
  struct BusyGuard {
    bool& busy;
    ~BusyGuard() { busy = false; }
  } guard{busy_};
  busy_ = true;
  control_.abortRequested.store(false);
  control_.readTimeoutMs = std::max(ReadTimeout, 0);
  control_.connectTimeoutMs = std::max(ConnectTimeout, 0);
  control_.onIdle = OnIdle;
  control_.lastIdle = std::chrono::steady_clock::now();
  responseCode_ = 0;
  try {
    std::string current = url;
    int redirects = 0;
    for (;;) {
      HttpUrl target = ParseHttpUrl(current);
      url_ = target.AbsoluteForm();
      Answer answer = Exchange(target);
      responseCode_ = answer.status;
      if (AllowCookies) {
        std::int64_t now = NowSeconds();
        for (const auto& [key, value] : answer.headers)
          if (EqualsIgnoreCase(key, "set-cookie"))
            cookies_->Store(target.host, target.Path(), value, now);
      }
      if (IsRedirect(answer.status) && HandleRedirects) {
        std::string location = answer.First("location");
        // Its body is not wanted; a new connection is cheaper than reading an unknown amount.
        connection_.reset();
        if (location.empty())
          throw HttpError(HttpFailure::Status, answer.statusLine + " without Location",
                          answer.status);
        if (redirects >= RedirectMaximum)
          throw HttpError(HttpFailure::Redirects,
                          "more than " + std::to_string(RedirectMaximum) + " redirections",
                          answer.status);
        ++redirects;
        current = ResolveLocation(target, location);
        continue;
      }
      if (answer.status < 200 || answer.status > 299) {
        connection_.reset();
        throw HttpError(HttpFailure::Status, answer.statusLine, answer.status);
      }
      // The client asks for no range, so a partial answer's body is not the resource.
      if (answer.status == 206) {
        connection_.reset();
        throw HttpError(HttpFailure::Status, answer.statusLine + " to a request without a range",
                        answer.status);
      }
      ReadBody(answer, sink);
      return;
    }
  } catch (...) {
    connection_.reset();
    throw;
  }
}

void THttpClient::OpenConnection(const HttpUrl& url, const std::string& host, int port) {
  connection_.reset();
  std::unique_ptr<platform::ByteStream> stream =
      OpenStream ? OpenStream(host, port) : ConnectTcp(host, port, control_);
  if (!stream) throw HttpError(HttpFailure::Connect, "cannot connect to " + host);
  if (url.secure) {
    if (!ProxyParams.ProxyServer.empty()) stream = Tunnel(std::move(stream), url);
    stream = StartTls(std::move(stream), url.host, control_);
  }
  auto connection = std::make_unique<HttpConnection>(control_, std::move(stream));
  connection->endpoint = EndpointKey(url, host, port);
  connection_ = std::move(connection);
}

std::unique_ptr<platform::ByteStream> THttpClient::Tunnel(
    std::unique_ptr<platform::ByteStream> stream, const HttpUrl& url) {
  HttpConnection proxy(control_, std::move(stream));
  std::string authority =
      (url.ipv6 ? "[" + url.host + "]" : url.host) + ":" + std::to_string(url.port);
  CheckHeaderValue("User-Agent", Request.UserAgent);
  std::string request = "CONNECT " + authority + " HTTP/1.1\r\nHost: " + authority + "\r\n";
  if (!Request.UserAgent.empty()) request += "User-Agent: " + Request.UserAgent + "\r\n";
  proxy.WriteAll(request + "\r\n");
  Answer answer = ReadAnswerHead(proxy);
  if (answer.status < 200 || answer.status > 299)
    throw HttpError(HttpFailure::Status, "proxy refused the tunnel: " + answer.statusLine,
                    answer.status);
  return proxy.ReleaseStream();
}

THttpClient::Answer THttpClient::Exchange(const HttpUrl& url) {
  std::string host = url.host;
  int port = url.port;
  if (!ProxyParams.ProxyServer.empty()) {
    std::string_view proxy = Trim(ProxyParams.ProxyServer);
    if (StartsWithIgnoreCase(proxy, "http://")) proxy.remove_prefix(7);
    proxy = proxy.substr(0, proxy.find('/'));
    std::size_t colon = proxy.rfind(':');
    int textPort = 0;
    if (colon != std::string_view::npos && proxy.find(']', colon) == std::string_view::npos) {
      std::string_view digits = proxy.substr(colon + 1);
      if (!digits.empty() && digits.size() <= 5 &&
          std::all_of(digits.begin(), digits.end(), IsAsciiDigit))
        textPort = std::stoi(std::string(digits));
      proxy = proxy.substr(0, colon);
    }
    if (proxy.size() > 2 && proxy.front() == '[' && proxy.back() == ']')
      proxy = proxy.substr(1, proxy.size() - 2);
    host = std::string(proxy);
    port = ProxyParams.ProxyPort > 0 ? ProxyParams.ProxyPort : (textPort > 0 ? textPort : 80);
    if (host.empty() || port > 65535)
      throw HttpError(HttpFailure::Url, "invalid proxy " + ProxyParams.ProxyServer);
  }
  std::string endpoint = EndpointKey(url, host, port);
  bool fresh = false;
  if (!connection_ || connection_->endpoint != endpoint || !connection_->IsReusable()) {
    OpenConnection(url, host, port);
    fresh = true;
  }
  for (;;) {
    try {
      SendRequest(url);
      return ReadAnswerHead(*connection_);
    } catch (const HttpError& e) {
      // A kept connection may have been closed by the server meanwhile: once more, anew.
      if (fresh || e.Kind() != HttpFailure::Network) throw;
      OpenConnection(url, host, port);
      fresh = true;
    }
  }
}

void THttpClient::SendRequest(const HttpUrl& url) {
  CheckHeaderValue("Accept", Request.Accept);
  CheckHeaderValue("Content-Type", Request.ContentType);
  CheckHeaderValue("User-Agent", Request.UserAgent);
  bool viaProxy = !ProxyParams.ProxyServer.empty();
  std::string request;
  request.reserve(512);
  request += "GET ";
  // Through a proxy, plain http names the whole URL; https goes through a tunnel as if direct.
  request += viaProxy && !url.secure ? url.AbsoluteForm() : url.target;
  request += " HTTP/1.1\r\nHost: ";
  request += url.Authority();
  request += "\r\n";
  if (!Request.Accept.empty()) request += "Accept: " + Request.Accept + "\r\n";
  if (!Request.ContentType.empty()) request += "Content-Type: " + Request.ContentType + "\r\n";
  if (!Request.UserAgent.empty()) request += "User-Agent: " + Request.UserAgent + "\r\n";
  request += "Accept-Encoding: identity\r\n";
  if (AllowCookies) {
    std::string cookie = cookies_->CookieHeader(url.host, url.Path(), NowSeconds(), url.secure);
    if (!cookie.empty()) request += "Cookie: " + cookie + "\r\n";
  }
  request += "Connection: keep-alive\r\n\r\n";
  connection_->WriteAll(request);
}

THttpClient::Answer THttpClient::ReadAnswerHead(HttpConnection& connection) {
  std::string line;
  for (int interim = 0;; ++interim) {
    if (!connection.ReadLine(line, kMaxHeaderLineLength))
      throw HttpError(HttpFailure::Network, "connection closed before an answer");
    Answer answer;
    // "HTTP/1.x 200 Reason": version, one space, three digits, then a space or the end.
    std::string_view s = line;
    if (s.size() < 12 || s.substr(0, 5) != "HTTP/" || s[5] != '1' || s[6] != '.' ||
        !IsAsciiDigit(s[7]) || s[8] != ' ' || !IsAsciiDigit(s[9]) || !IsAsciiDigit(s[10]) ||
        !IsAsciiDigit(s[11]) || (s.size() > 12 && s[12] != ' '))
      Malformed("bad status line \"" + std::string(s.substr(0, 80)) + "\"");
    answer.minorVersion = s[7] - '0';
    answer.status = (s[9] - '0') * 100 + (s[10] - '0') * 10 + (s[11] - '0');
    if (answer.status < 100) Malformed("bad status code");
    answer.statusLine = std::string(Trim(s.substr(0, 200)));

    for (;;) {
      if (!connection.ReadLine(line, kMaxHeaderLineLength))
        throw HttpError(HttpFailure::Incomplete, "connection closed inside the answer's header");
      if (line.empty()) break;
      if (line[0] == ' ' || line[0] == '\t') {
        // A folded continuation of the previous header line.
        if (answer.headers.empty()) Malformed("continuation line without a header");
        std::string& value = answer.headers.back().second;
        if (value.size() + line.size() > kMaxHeaderLineLength) Malformed("header too long");
        value += ' ';
        value += Trim(line);
        continue;
      }
      if (answer.headers.size() >= kMaxHeaderCount)
        Malformed("more than " + std::to_string(kMaxHeaderCount) + " header lines");
      std::size_t colon = line.find(':');
      if (colon == 0 || colon == std::string::npos) Malformed("bad header line");
      std::string_view name = std::string_view(line).substr(0, colon);
      if (!std::all_of(name.begin(), name.end(), IsTokenChar)) Malformed("bad header name");
      answer.headers.emplace_back(std::string(name),
                                  std::string(Trim(std::string_view(line).substr(colon + 1))));
    }
    if (answer.status >= 200) return answer;
    if (answer.status == 101) Malformed("unexpected protocol switch");
    if (interim >= kMaxInterimAnswers) Malformed("too many interim answers");
  }
}

void THttpClient::ReadBody(const Answer& answer, ByteSink& target) {
  // A body in a coding that was not asked for is decoded on its way to the sink, or refused.
  ContentCoding coding = ContentCoding::Identity;
  std::optional<InflatingSink> inflating;
  if (answer.status != 204 && answer.status != 304)
    coding = ParseContentEncoding(answer.Header("content-encoding"));
  if (coding != ContentCoding::Identity) inflating.emplace(coding, target);
  ByteSink& sink = inflating ? static_cast<ByteSink&>(*inflating) : target;
  bool keep = answer.minorVersion >= 1 ? !ListHasToken(answer.Header("connection"), "close")
                                       : ListHasToken(answer.Header("connection"), "keep-alive");
  std::string transferEncoding = answer.Header("transfer-encoding");
  std::string contentLength = answer.Header("content-length");
  if (answer.status == 204 || answer.status == 304) {
    // No body, whatever the header says.
  } else if (!transferEncoding.empty()) {
    if (EqualsIgnoreCase(LastListItem(transferEncoding), "chunked")) {
      ReadChunkedBody(sink);
      // A Content-Length beside the coding marks a confused sender; trust no more of it.
      if (!contentLength.empty()) keep = false;
    } else {
      ReadBodyToClose(sink);
      keep = false;
    }
  } else if (!contentLength.empty()) {
    // Repeats (as a list or as several lines) must agree.
    std::uint64_t length = 0;
    bool first = true;
    std::string_view list = contentLength;
    while (true) {
      std::size_t comma = list.find(',');
      std::string_view item = Trim(list.substr(0, comma));
      if (item.empty() || item.size() > 18 || !std::all_of(item.begin(), item.end(), IsAsciiDigit))
        Malformed("bad Content-Length");
      std::uint64_t value = 0;
      for (char c : item) value = value * 10 + std::uint64_t(c - '0');
      if (!first && value != length) Malformed("conflicting Content-Length");
      length = value;
      first = false;
      if (comma == std::string_view::npos) break;
      list.remove_prefix(comma + 1);
    }
    ReadCountedBody(length, sink);
  } else {
    ReadBodyToClose(sink);
    keep = false;
  }
  if (inflating) inflating->Finish();
  if (keep)
    connection_->reused = true;
  else
    connection_.reset();
}

void THttpClient::ReadCountedBody(std::uint64_t length, ByteSink& sink) {
  std::uint64_t done = 0;
  char* buffer = bodyBuffer_.get();
  while (done < length) {
    std::size_t want = std::size_t(std::min<std::uint64_t>(length - done, kBodyBufferSize));
    std::size_t n = connection_->Read(buffer, want);
    if (n == 0)
      throw HttpError(HttpFailure::Incomplete, "transfer cut short: " + std::to_string(done) +
                                                   " of " + std::to_string(length) +
                                                   " bytes received");
    sink.Write(buffer, n);
    done += n;
  }
}

void THttpClient::ReadBodyToClose(ByteSink& sink) {
  char* buffer = bodyBuffer_.get();
  for (;;) {
    std::size_t n = connection_->Read(buffer, kBodyBufferSize);
    if (n == 0) return;
    sink.Write(buffer, n);
  }
}

void THttpClient::ReadChunkedBody(ByteSink& sink) {
  std::string line;
  for (;;) {
    if (!connection_->ReadLine(line, kMaxHeaderLineLength))
      throw HttpError(HttpFailure::Incomplete, "transfer cut short before a chunk");
    // Hex digits, then optionally whitespace and ";extensions".
    std::uint64_t size = 0;
    std::size_t i = 0;
    for (; i < line.size(); ++i) {
      char c = line[i];
      int digit = AsciiHexValue(c);
      if (digit < 0) break;
      size = size * 16 + std::uint64_t(digit);
      if (size > kMaxChunkSize) Malformed("chunk size too large");
    }
    std::string_view rest = Trim(std::string_view(line).substr(i));
    if (i == 0 || (!rest.empty() && rest[0] != ';'))
      Malformed("invalid chunk size \"" + line.substr(0, 40) + "\"");
    if (size == 0) break;
    ReadCountedBody(size, sink);
    if (!connection_->ReadLine(line, kMaxHeaderLineLength))
      throw HttpError(HttpFailure::Incomplete, "transfer cut short after a chunk");
    if (!line.empty()) Malformed("chunk data longer than its size");
  }
  // The trailer: header lines up to an empty one, which the client does not need.
  for (std::size_t count = 0;; ++count) {
    if (!connection_->ReadLine(line, kMaxHeaderLineLength))
      throw HttpError(HttpFailure::Incomplete, "transfer cut short in the trailer");
    if (line.empty()) return;
    if (count >= kMaxHeaderCount) Malformed("trailer too long");
  }
}

}  // namespace lorvex
