// lorvex import: the page import as the "Import HTML Files" extension runs it, without the
// packing step. Resources are fetched with the HTTP client alone; local files of a page read
// from disk are copied. Each resource that could not be fetched is named on standard error.
// The exit status tells a script what it got without reading the messages.
//
// With --snapshot the page is the document a browser of the Chromium family rendered (the
// snapshot unit), saved as a page the host hands over: complete pages, the rendered document
// as the top page, its final address as the page's location (a file's folder for a page on
// disk).
//
// Linux paths are handed to the import as paths of drive Z: (see platform/Platform.h), so a
// page given as a file is local exactly as a drive path is on Windows.
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <stdexcept>
#include <string>

#include "cli/CommandLine.h"
#include "cli/Commands.h"
#include "fetch/FetchAhead.h"
#include "fetch/HttpWorkers.h"
#include "http/HttpClient.h"
#include "http/HttpFetch.h"
#include "import/PageImport.h"
#include "platform/BrowserProcess.h"
#include "platform/Platform.h"
#include "snapshot/Snapshot.h"
#include "util/FileOperation.h"
#include "util/UrlPath.h"

namespace lorvex::cli {

namespace {

constexpr int kExitSaved = 0;        // the page and everything it references
constexpr int kExitFailed = 1;       // no page: it could not be read, saved or was stopped
constexpr int kExitUsage = 2;        // the arguments were wrong
constexpr int kExitSomeMissing = 3;  // the page, with resources named as not fetched

// No wait without bound: a server that stops answering fails its resource after this long.
constexpr int kDefaultReadTimeoutMs = 60000;

// Set by the signal handler, read by the import's thread and by every worker's idle hook: an
// atomic that needs no lock is safe in both places.
std::atomic<bool> gInterrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free);
extern "C" void OnInterrupt(int) { gInterrupted.store(true); }

// Ctrl+C stops the import for as long as this lives.
class InterruptStops {
 public:
  InterruptStops() : previous_(std::signal(SIGINT, OnInterrupt)) { gInterrupted.store(false); }
  ~InterruptStops() { std::signal(SIGINT, previous_ == SIG_ERR ? SIG_DFL : previous_); }
  InterruptStops(const InterruptStops&) = delete;
  InterruptStops& operator=(const InterruptStops&) = delete;

 private:
  void (*previous_)(int);
};

// The import hands over file: URLs and share paths only from a page read from disk; they are
// copied when they name a file here. Anything else that is not a web URL fetches nothing.
bool IsFileReference(const std::string& url) {
  return StartsWithIgnoreCase(url, "file:") ||
         (url.size() >= 2 && IsPathDelimiter(url[0]) && IsPathDelimiter(url[1]));
}
std::string LocalSource(const std::string& url) { return FileUrlToPath(url); }

// A fetch of the native tool: web URLs over HTTP, files named by a page from disk copied.
FetchResult FetchNatively(THttpClient& http, const std::string& url, const std::string& fileName) {
  if (!IsLocalPath(url)) return FetchWithHttp(http, url, fileName);
  if (!IsFileReference(url)) return FetchResult{};
  const std::string source = LocalSource(url);
  if (!platform::FileExists(source)) return FetchResult{};
  if (fileName.empty()) return TextFetchResult(LoadTextFile(source));
  return FileFetchResult(platform::CopyFileReplacing(source, fileName));
}

// The import's progress as a line on standard error; Ctrl+C is its Stop button.
class NativeObserver : public ImportObserver {
 public:
  explicit NativeObserver(bool progressLine) : progressLine_(progressLine) {}
  ~NativeObserver() override { EndProgressLine(); }
  NativeObserver(const NativeObserver&) = delete;
  NativeObserver& operator=(const NativeObserver&) = delete;

  void ProcessMessages() override {}
  bool HasProgressBar() const override { return progressLine_; }
  void SetProgress(int position) override {
    position = std::min(position, 100);
    if (lineOpen_ && position == shown_) return;
    shown_ = position;
    std::fprintf(stderr, "\rlorvex import: %3d%%", position);
    std::fflush(stderr);
    lineOpen_ = true;
  }
  bool StopAll() const override { return gInterrupted.load(); }

  void EndProgressLine() {
    if (lineOpen_) std::fputc('\n', stderr);
    lineOpen_ = false;
  }

 private:
  const bool progressLine_;
  bool lineOpen_ = false;
  int shown_ = 0;
};

struct ImportArgs {
  std::string source, work;
  int32_t document = 0;
  std::string proxyHost;
  int proxyPort = 0;
  int readTimeout = kDefaultReadTimeoutMs;
  PageImportOptions options{false, kDefaultConnections};
  std::string browser;
};

// Each option is one line here; the usage line is made from them.
CommandLine ImportLine(ImportArgs& parsed) {
  using Need = CommandLine::Need;
  CommandLine line("import", "FILE|URL", &parsed.source, {.usageAfterUnexpected = false});
  line.Value("--work", "DIR", &parsed.work, Need::Required)
      .Number("--doc", "ID", &parsed.document, "--doc", INT32_MIN, INT32_MAX, Need::Required)
      .Flag("--complete", &parsed.options.CompletePages)
      .Value("--proxy", "HOST:PORT", SetProxy(&parsed.proxyHost, &parsed.proxyPort))
      .Number("--read-timeout", "MS", &parsed.readTimeout, "read time-out", 0, INT32_MAX)
      .Number("--connections", "N", &parsed.options.Connections, "--connections", 1,
              kMaxConnections)
      .Flag("--snapshot", &parsed.options.Snapshot)
      .Value("--browser", "PATH", &parsed.browser);
  return line;
}

// A local folder or file as the import sees it: absolute, on drive Z: natively.
std::string CoreFolderOf(const std::string& path) {
  return platform::CorePath(std::filesystem::absolute(path).lexically_normal().string());
}

// The page as the browser renders it: its text and location, or the exit status when there
// is none.
struct Rendered {
  std::string html, location;
  int failure = -1;
};

Rendered RenderSource(const ImportArgs& parsed) {
  Rendered rendered;
  snapshot::SnapshotSettings settings;
  settings.browser = parsed.browser;
  if (!parsed.proxyHost.empty())
    settings.proxy = parsed.proxyHost + ":" + std::to_string(parsed.proxyPort);
  settings.timeoutMs = parsed.readTimeout;
  settings.stopped = [] { return gInterrupted.load(); };
  try {
    // Looked for first: a missing browser is a mistake in the arguments, whatever the page.
    settings.browser = snapshot::FindBrowser(parsed.browser);
  } catch (const snapshot::BrowserNotFound& e) {
    std::fprintf(stderr, "lorvex import: %s; name one with --browser PATH\n", e.what());
    rendered.failure = kExitUsage;
    return rendered;
  }
  // A page on disk: the browser opens its file: URL, and the import takes the file's folder
  // as its location, as it does for a page read from disk.
  std::string address = parsed.source, fileLocation;
  if (IsLocalPath(parsed.source)) {
    const std::string file = std::filesystem::absolute(parsed.source).lexically_normal().string();
    if (!platform::FileExists(file)) {
      std::fprintf(stderr, "lorvex import: cannot read %s\n", parsed.source.c_str());
      rendered.failure = kExitFailed;
      return rendered;
    }
    address = platform::FileUrlForBrowser(settings.browser, file);
    fileLocation = AddBackslash(ExtractUrlFolder(platform::CorePath(file)));
  }
  InterruptStops interrupts;
  try {
    snapshot::RenderedPage page = snapshot::TakeSnapshot(address, settings);
    rendered.location = snapshot::RenderedPageLocation(page.url, fileLocation);
    if (rendered.location.empty())
      throw snapshot::SnapshotError("the browser ended on " + page.url + ", which is no page");
    if (!page.settled)
      std::fprintf(stderr,
                   "lorvex import: the page did not settle within %d ms; it is saved as it "
                   "stood then\n",
                   settings.timeoutMs > 0 ? settings.timeoutMs : snapshot::kDefaultRenderTimeoutMs);
    rendered.html = std::move(page.html);
  } catch (const snapshot::SnapshotStopped&) {
    std::fputs("lorvex import: stopped\n", stderr);
    rendered.failure = kExitFailed;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "lorvex import: %s: %s\n", parsed.source.c_str(), e.what());
    rendered.failure = kExitFailed;
  }
  return rendered;
}

}  // namespace

std::string ImportUsage() {
  ImportArgs unused;
  return ImportLine(unused).Usage();
}

int ImportCommand(const Args& args) {
  ImportArgs parsed;
  CommandLine line = ImportLine(parsed);
  try {
    if (line.Parse(args) == CommandLine::Outcome::HelpShown) return 0;
    if (line.MissingRequired()) throw UsageError("FILE|URL, --work and --doc are needed");
    if (!parsed.browser.empty() && !parsed.options.Snapshot)
      throw UsageError("--browser goes with --snapshot");
  } catch (const std::invalid_argument& e) {
    std::fprintf(stderr, "lorvex import: %s\n%s\n", e.what(), line.UsageLine().c_str());
    return kExitUsage;
  }

  // The page's client and the import's, one jar for all: cookies the page set go back with
  // the requests for its resources.
  auto cookies = std::make_shared<HttpCookieJar>();
  auto makeClient = [&parsed, cookies] {
    auto http = std::make_unique<THttpClient>();
    http->HandleRedirects = true;
    http->AllowCookies = true;
    http->ReadTimeout = parsed.readTimeout;
    http->ProxyParams.ProxyServer = parsed.proxyHost;
    http->ProxyParams.ProxyPort = parsed.proxyPort;
    http->ShareCookieJar(cookies);
    // A transfer under way when Ctrl+C arrives is broken off at once.
    THttpClient* self = http.get();
    http->OnIdle = [self] {
      if (gInterrupted) self->Disconnect();
    };
    return http;
  };
  std::unique_ptr<THttpClient> pageClient = makeClient();
  THttpClient& http = *pageClient;

  // The page and where it came from: a URL as it is, a file's folder with a trailing
  // delimiter (as the plug-in passes a page chosen on disk).
  std::string html, location;
  if (parsed.options.Snapshot) {
    parsed.options.CompletePages = true;
    Rendered rendered = RenderSource(parsed);
    if (rendered.failure >= 0) return rendered.failure;
    html = std::move(rendered.html);
    location = std::move(rendered.location);
  } else if (!IsLocalPath(parsed.source)) {
    try {
      html = http.Get(parsed.source);
    } catch (const HttpError& e) {
      std::fprintf(stderr, "lorvex import: %s: %s\n", parsed.source.c_str(), e.what());
      return kExitFailed;
    }
    location = parsed.source;
  } else {
    const std::string file = CoreFolderOf(parsed.source);
    html = LoadTextFile(file);  // FileError: exit 1 through main
    location = AddBackslash(ExtractUrlFolder(file));
  }
  // An empty work folder stays empty: it cannot be made, and the import says so.
  const std::string work = parsed.work.empty() ? std::string() : CoreFolderOf(parsed.work);

  PageImportState state;
  bool completed = false, reported = false;
  {
    InterruptStops interrupts;
    NativeObserver observer(::isatty(STDERR_FILENO) != 0);
    // The first worker goes on with the page's client and its kept connection.
    auto handOver = [&pageClient, &makeClient, mutex = std::make_shared<std::mutex>()] {
      std::lock_guard lock(*mutex);
      return pageClient ? std::move(pageClient) : makeClient();
    };
    HttpPoolFetcher fetcher(parsed.options.Connections, handOver, FetchNatively);
    try {
      completed = RunPageImport(html, location, parsed.document, work, fetcher, observer, state,
                                parsed.options);
    } catch (const std::exception& e) {
      observer.EndProgressLine();
      std::fprintf(stderr, "lorvex import: %s\n", e.what());
      reported = true;
    }
    observer.EndProgressLine();
    if (gInterrupted) std::fputs("lorvex import: stopped\n", stderr);
  }
  for (size_t i = 0; i < state.FailedUrls.size(); ++i)
    std::fprintf(stderr, "lorvex import: not fetched: %s -> %s\n", state.FailedUrls[i].c_str(),
                 platform::NativePath(state.FailedTargets[i]).c_str());
  if (!completed && !gInterrupted && !reported)
    std::fprintf(stderr, "lorvex import: the page could not be imported into %s\n",
                 parsed.work.c_str());
  if (!completed) return kExitFailed;
  return state.FailedUrls.empty() ? kExitSaved : kExitSomeMissing;
}

}  // namespace lorvex::cli
