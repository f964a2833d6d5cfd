// lorvex get: one HTTP GET with the client of the page import, the body to a file or to
// standard output. A failure is reported with its status or cause and a non-zero exit.
#include <climits>
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

// The options go straight into the client that makes the request.
CommandLine GetLine(std::string& url, std::string& out, THttpClient& http) {
  CommandLine line("get", "URL", &url);
  line.Value("--out", "FILE", &out)
      .Value("--proxy", "HOST:PORT",
             SetProxy(&http.ProxyParams.ProxyServer, &http.ProxyParams.ProxyPort))
      .Number("--read-timeout", "MS", &http.ReadTimeout, "read time-out", 0, INT_MAX)
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
