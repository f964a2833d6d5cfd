// THttpClient: the HTTP/1.1 client component of the download dialogs.
//
// It GETs http:// and https:// URLs, its body into a sink or returned as a string. The request
// carries Host, Accept, Content-Type and User-Agent from the settings (and the jar's cookies).
// Bodies framed by Content-Length, by chunked coding or by the connection's close are
// understood; a connection whose answer was framed is kept open for the next request to the
// same place. The client asks for identity coding and no range; a gzip or deflate body sent
// anyway is inflated before it reaches the sink (see ContentDecoding.h). Every failure
// raises HttpError: an answer other than 2xx (with its status code), a 206 (its body is
// only a part), a body in another coding or one that does not inflate, a redirect when
// redirects are not followed or too many, no connection, a lost connection, a malformed
// answer, one beyond the named limits below, a body cut short, the read time-out, and
// Disconnect. A body that raised was not complete, whatever reached the
// sink before.
//
// Waiting: all network waits are cut into slices of kIdleIntervalMs; after each one, and as
// often while data flows, the client calls OnIdle. The owner processes its window messages
// there, and a Skip button that calls Disconnect takes effect at once.
//
// One client serves one thread; Disconnect is meant for that thread too (typically from
// OnIdle), and only sets a flag while a transfer runs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "http/HttpConnection.h"
#include "http/HttpCookies.h"
#include "http/HttpError.h"
#include "http/HttpUrl.h"
#include "util/ByteSink.h"

namespace lorvex {

// Longest status, header, chunk-size or trailer line accepted.
constexpr std::size_t kMaxHeaderLineLength = 16 * 1024;
// Most header lines of one answer (and of a chunked body's trailer).
constexpr std::size_t kMaxHeaderCount = 200;
// Most interim (1xx) answers before the final one.
constexpr int kMaxInterimAnswers = 16;
// The largest chunk size taken; bigger ones are treated as garbage.
constexpr std::uint64_t kMaxChunkSize = std::uint64_t(1) << 40;
// Redirections followed for one GET unless RedirectMaximum says otherwise.
constexpr int kDefaultRedirectMaximum = 15;
// Time allowed for connecting to one address.
constexpr int kDefaultConnectTimeoutMs = 30000;
// Size of the buffer that carries a body from the connection to the sink.
constexpr std::size_t kBodyBufferSize = 256 * 1024;

// What the client does when a line exceeds its limit; only raising is offered.
enum class TMaxLineAction { maException };
enum class THttpOption { hoForceEncodeParams };

struct TProxyParams {
  std::string ProxyServer;  // empty: no proxy
  int ProxyPort = 0;        // 0: the port in ProxyServer ("host:port"), else 80
  bool BasicAuthentication = false;
};

struct THttpRequestSettings {
  std::string Accept = "text/html, */*";
  std::string ContentType = "text/html";
  std::string UserAgent = "Mozilla/3.0 (compatible; HTTP Library)";
  std::int64_t ContentLength = 0;
  std::int64_t ContentRangeStart = 0;
  std::int64_t ContentRangeEnd = 0;
  bool BasicAuthentication = false;
};

class THttpClient {
 public:
  THttpClient();
  ~THttpClient();
  THttpClient(const THttpClient&) = delete;
  THttpClient& operator=(const THttpClient&) = delete;

  // Settings, under the names the dialogs set them by.
  bool HandleRedirects = false;
  bool AllowCookies = true;
  int ReadTimeout = 0;  // ms without data before a read fails; 0: no limit
  int ConnectTimeout = kDefaultConnectTimeoutMs;
  int RedirectMaximum = kDefaultRedirectMaximum;
  TMaxLineAction MaxLineAction = TMaxLineAction::maException;
  THttpOption HTTPOptions = THttpOption::hoForceEncodeParams;
  TProxyParams ProxyParams;
  THttpRequestSettings Request;
  // Called at short intervals while a transfer runs (see above).
  std::function<void()> OnIdle;
  // Opens the byte stream of a new connection to host and port (the proxy's when one is
  // set); TCP when empty. Tests and fuzzing put a scripted peer here. For https the client
  // layers TLS on what it returns.
  std::function<std::unique_ptr<platform::ByteStream>(const std::string& host, int port)>
      OpenStream;

  // GETs url, its body into sink. Throws HttpError on any failure; a sink's Write may throw,
  // and the GET then fails with that exception.
  void Get(const std::string& url, ByteSink& sink);
  // GETs url and returns its body.
  std::string Get(const std::string& url);
  // Ends a transfer in progress (its GET then fails) and closes a kept connection.
  // Harmless when there is none.
  void Disconnect();

  // The status code and URL of the last answer received (after redirects).
  int ResponseCode() const { return responseCode_; }
  const std::string& Url() const { return url_; }
  const HttpCookieJar& CookieJar() const { return *cookies_; }
  // From now on the client keeps its cookies in jar, which other clients may share.
  void ShareCookieJar(std::shared_ptr<HttpCookieJar> jar) { cookies_ = std::move(jar); }

 private:
  struct Answer;
  Answer Exchange(const HttpUrl& url);
  Answer ReadAnswerHead(HttpConnection& connection);
  void SendRequest(const HttpUrl& url);
  void ReadBody(const Answer& answer, ByteSink& target);
  void ReadChunkedBody(ByteSink& sink);
  void ReadCountedBody(std::uint64_t length, ByteSink& sink);
  void ReadBodyToClose(ByteSink& sink);
  void OpenConnection(const HttpUrl& url, const std::string& host, int port);
  std::unique_ptr<platform::ByteStream> Tunnel(std::unique_ptr<platform::ByteStream> stream,
                                               const HttpUrl& url);

  HttpTransferControl control_;
  std::unique_ptr<HttpConnection> connection_;
  std::shared_ptr<HttpCookieJar> cookies_ = std::make_shared<HttpCookieJar>();
  std::unique_ptr<char[]> bodyBuffer_;
  bool busy_ = false;
  int responseCode_ = 0;
  std::string url_;
};

}  // namespace lorvex
