// lorvex get: one HTTP GET with the client of the page import, the body to a file or to
// standard output. A failure is reported with its status or cause and a non-zero exit.
#include <cstdio>
#include <stdexcept>
#include <string>

#include "cli/CommandLine.h"
#include "cli/Commands.h"
#include "http/HttpClient.h"
#include "http/HttpFetch.h"
#include "util/ByteSink.h"

namespace lorvex::cli {

namespace {

// Standard output; a failed write raises a plain runtime_error, not a FileError.
class StdoutSink : public ByteSink {
 public:
  void Write(const char* data, std::size_t size) override {
    if (std::fwrite(data, 1, size, stdout) != size)
      throw std::runtime_error("cannot write the output");
  }
};

int ParseNumber(const std::string& text, const char* what) {
  std::size_t used = 0;
  int value = -1;
  try {
    value = std::stoi(text, &used);
  } catch (const std::exception&) {
  }
  if (used != text.size() || value < 0)
    throw std::invalid_argument(std::string("invalid ") + what + " " + text);
  return value;
}

// The options go straight into the client that makes the request.
CommandLine GetLine(std::string& url, std::string& out, THttpClient& http) {
  CommandLine line("get", "URL", &url);
  line.Value("--out", "FILE", &out)
      .Value("--proxy", "HOST:PORT",
             [&http](const std::string& proxy) {
               std::size_t colon = proxy.rfind(':');
               if (colon == std::string::npos || colon == 0)
                 throw std::invalid_argument("--proxy wants HOST:PORT");
               http.ProxyParams.ProxyServer = proxy.substr(0, colon);
               http.ProxyParams.ProxyPort = ParseNumber(proxy.substr(colon + 1), "proxy port");
               if (http.ProxyParams.ProxyPort < 1 || http.ProxyParams.ProxyPort > 65535)
                 throw std::invalid_argument("invalid proxy port " + proxy.substr(colon + 1));
             })
      .Value(
          "--read-timeout", "MS",
          [&http](const std::string& ms) { http.ReadTimeout = ParseNumber(ms, "read time-out"); })
      .Flag("--no-redirects", [&http] { http.HandleRedirects = false; })
      .Flag("--no-cookies", [&http] { http.AllowCookies = false; });
  return line;
}

}  // namespace

std::string GetUsage() {
  std::string url, out;
  THttpClient http;
  return GetLine(url, out, http).Usage();
}

int GetCommand(const Args& args) {
  THttpClient http;
  http.HandleRedirects = true;
  http.AllowCookies = true;
  std::string url, out;
  CommandLine line = GetLine(url, out, http);
  if (line.Parse(args) == CommandLine::Outcome::HelpShown) return 0;
  if (line.MissingRequired()) throw UsageError(line.UsageLine());

  try {
    if (!out.empty()) {
      HttpDownloadToFile(url, out, http);
    } else {
      StdoutSink sink;
      http.Get(url, sink);
      if (std::fflush(stdout) != 0) throw std::runtime_error("cannot write the output");
    }
  } catch (const HttpError& e) {
    if (e.StatusCode() != 0)
      std::fprintf(stderr, "lorvex get: %s: status %d (%s)\n", url.c_str(), e.StatusCode(),
                   e.what());
    else
      std::fprintf(stderr, "lorvex get: %s: %s\n", url.c_str(), e.what());
    return 1;
  }
  return 0;
}

}  // namespace lorvex::cli
