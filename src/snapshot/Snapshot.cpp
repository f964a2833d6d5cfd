#include "snapshot/Snapshot.h"

#include <charconv>
#include <thread>

#include "platform/Platform.h"
#include "snapshot/WebSocketChannel.h"
#include "util/FileOperation.h"
#include "util/Strings.h"
#include "util/UrlPath.h"

namespace lorvex::snapshot {

namespace {

constexpr char kScratchPrefix[] = "lorvex-snapshot-";
// How often the port file is looked for while the browser starts.
constexpr int kPortFilePollMs = 20;
constexpr int kMaxPort = 65535;
// How long a browser that has ended may take until it can be reaped.
constexpr int kReapPolls = 50;
constexpr int kReapPollMs = 10;
// How long a browser out of reach is given to close, and its processes to go after that.
constexpr int kCloseWaitMs = 5000;
constexpr int kAfterCloseMs = 300;
// A folder whose files a departing browser still holds is tried again, this often.
constexpr int kRemoveAttempts = 20;
constexpr int kRemoveRetryMs = 100;

// The scratch folder and everything in it go when this does.
class ScratchFolder {
 public:
  ScratchFolder() {
    std::string error;
    path_ = platform::MakePrivateTempFolder(kScratchPrefix, error);
    if (path_.empty()) throw SnapshotError("no temporary folder for the browser: " + error);
  }
  ~ScratchFolder() {
    for (int attempt = 1; !platform::RemoveTree(path_) && attempt < kRemoveAttempts; ++attempt)
      std::this_thread::sleep_for(std::chrono::milliseconds(kRemoveRetryMs));
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// A browser out of this process's reach is asked to close, and given a moment to go before
// its folder does: until its end of the channel closes, and a little more for the processes
// it started. Nothing to do for one that ends with its object.
void CloseOutOfReach(platform::BrowserProcess& browser, platform::MessageChannel* channel) {
  if (browser.EndsWithObject() || !channel) return;
  try {
    channel->Send(R"({"id":0,"method":"Browser.close","params":{}})");
    const Clock::time_point until = Clock::now() + std::chrono::milliseconds(kCloseWaitMs);
    while (Clock::now() < until) channel->Receive(kReapPollMs);
  } catch (const std::exception&) {
    // Closed: the browser is going.
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(kAfterCloseMs));
}

// With ProtocolWay::Port the browser writes its port and the protocol's path into
// DevToolsActivePort in the profile once it listens; waits (bounded) for it and connects.
std::unique_ptr<platform::MessageChannel> ConnectToPort(platform::BrowserProcess& browser,
                                                        const std::string& profile,
                                                        const DevToolsSession::StopCheck& stopped,
                                                        Clock::time_point until) {
  const std::string file = profile + "/DevToolsActivePort";
  for (;;) {
    if (stopped && stopped()) throw SnapshotStopped();
    if (platform::FileExists(file)) {
      StringList lines = SplitLines(ReadFileBytes(file));
      // Written in one go, but looked at perhaps half written: both lines are needed.
      if (lines.size() >= 2 && !lines[1].empty()) {
        int port = 0;
        const std::string& text = lines[0];
        auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), port);
        if (error != std::errc() || end != text.data() + text.size() || port <= 0 ||
            port > kMaxPort)
          throw SnapshotError("the browser wrote no port it listens on");
        return ConnectWebSocket(port, lines[1], until);
      }
    }
    const std::string ended = browser.Ended();
    if (!ended.empty()) throw SnapshotError("the browser ended at its start (" + ended + ")");
    if (Clock::now() >= until) throw SnapshotError("the browser did not start in time");
    std::this_thread::sleep_for(std::chrono::milliseconds(kPortFilePollMs));
  }
}

}  // namespace

std::string FindBrowser(const std::string& named) {
  if (!named.empty()) {
    std::string program = platform::FindProgram(named);
    if (program.empty()) throw BrowserNotFound("no browser program at " + named);
    return program;
  }
  for (const char* name : kBrowserNames) {
    std::string program = platform::FindProgram(name);
    if (!program.empty()) return program;
  }
  std::string names;
  for (const char* name : kBrowserNames) names += std::string(names.empty() ? "" : ", ") + name;
  throw BrowserNotFound("no browser of the Chromium family on PATH (" + names + ")");
}

std::vector<std::string> BrowserArguments(const std::string& proxy, bool sandbox) {
  std::vector<std::string> args = {
      "--headless",
      "--disable-gpu",
      // Nothing but the page: no requests of the browser's own, no pages of its own.
      "--no-first-run",
      "--no-default-browser-check",
      "--disable-background-networking",
      "--disable-component-update",
      "--disable-sync",
      "--disable-default-apps",
      "--disable-extensions",
      "--disable-domain-reliability",
      "--disable-client-side-phishing-detection",
      "--disable-breakpad",
      "--no-pings",
      "--metrics-recording-only",
      "--safebrowsing-disable-auto-update",
      "--disable-features=Translate,OptimizationHints,MediaRouter,AutofillServerCommunication",
      "--password-store=basic",
      "--use-mock-keychain",
      "--mute-audio",
      // Windows the page opens stay shut, and it asks the user for nothing.
      "--block-new-web-contents",
      "--deny-permission-prompts",
      // The view the page is laid out in: no scroll bars taking part of its width.
      "--hide-scrollbars",
      "--force-device-scale-factor=1",
      "--window-size=" + std::to_string(kViewWidth) + "," + std::to_string(kViewHeight),
  };
  // Through the proxy as the import's own requests go: loopback addresses too.
  if (!proxy.empty()) {
    args.push_back("--proxy-server=" + proxy);
    args.push_back("--proxy-bypass-list=<-loopback>");
  }
  if (!sandbox) args.push_back("--no-sandbox");
  args.push_back("about:blank");
  return args;
}

std::string RenderedPageLocation(const std::string& finalUrl, const std::string& fileLocation) {
  const std::string address = finalUrl.substr(0, finalUrl.find('#'));
  if (IsWebUrl(address)) return address;
  if (StartsWithIgnoreCase(address, "file:") && !fileLocation.empty()) return fileLocation;
  return {};
}

RenderedPage TakeSnapshot(const std::string& url, const SnapshotSettings& settings) {
  const std::string program = FindBrowser(settings.browser);
  const int timeoutMs = settings.timeoutMs > 0 ? settings.timeoutMs : kDefaultRenderTimeoutMs;
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);

  // Declared before the browser: the folder goes after the browser has.
  ScratchFolder scratch;
  platform::BrowserCommand command{
      program, BrowserArguments(settings.proxy, !platform::BrowserRunsWithHighestRights(program)),
      scratch.path(), scratch.path() + "/profile", settings.way};
  std::unique_ptr<platform::BrowserProcess> browser = platform::StartBrowser(command);
  std::unique_ptr<platform::MessageChannel> socket;
  platform::MessageChannel* channel = browser->Channel();
  try {
    if (!channel) {
      socket = ConnectToPort(*browser, command.profileFolder, settings.stopped, deadline);
      channel = socket.get();
    }
    DevToolsSession session(*channel, settings.stopped);
    RenderedPage page = RenderPage(session, url, deadline);
    CloseOutOfReach(*browser, channel);
    return page;
  } catch (const platform::ChannelClosed&) {
    // Its end of the channel goes with the browser; a moment later it can be reaped.
    std::string ended;
    for (int i = 0; i < kReapPolls && (ended = browser->Ended()).empty(); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(kReapPollMs));
    throw SnapshotError("the browser ended before the page was taken" +
                        (ended.empty() ? std::string() : " (" + ended + ")"));
  } catch (...) {
    CloseOutOfReach(*browser, channel);
    throw;
  }
}

}  // namespace lorvex::snapshot
