#include "snapshot/PageRendering.h"

#include <algorithm>
#include <map>

#include "snapshot/PageScripts.h"

namespace lorvex::snapshot {

namespace {

using std::chrono::milliseconds;

// The network counts as idle when no request has started or ended for this long ...
constexpr milliseconds kNetworkQuiet{500};
// ... leaving out requests open longer than this (streams, long polls never end).
constexpr milliseconds kLongRequest{5000};
// Scrolling through the page: its time, its steps, and the pause after each step.
constexpr milliseconds kScrollLimit{8000};
constexpr int kMaxScrollSteps = 60;
constexpr int kScrollPauseMs = 60;
// The view stands still when two pictures this far apart are alike; looked at this long.
constexpr milliseconds kStillPause{500};
constexpr milliseconds kStillLimit{8000};
// After the deadline the document is still taken, within this much more time.
constexpr milliseconds kTakeGrace{10000};
// A page whose scripts hold its thread this long is cut off, so that the document can be read.
constexpr milliseconds kBusyProbe{2000};
// Reading the document again after the page replaced it meanwhile.
constexpr int kTakeAttempts = 3;

// What the events tell about the page in the tab.
struct PageState {
  std::string sessionId;
  std::string mainFrame;
  bool loaded = false;
  bool crashed = false;
  bool detached = false;
  struct OpenRequest {
    Clock::time_point since;
    std::string url;
  };
  // Open requests by id. The page is told when a worker's script is asked for, never when it
  // has arrived (the worker is told that): the worker's start closes it.
  std::map<std::string, OpenRequest> requests;
  Clock::time_point lastNetwork = Clock::now();
  std::string documentRequest;  // the main frame's latest document request
  int documentStatus = 0;
  std::string documentStatusText;

  bool NetworkIdle() const {
    const auto now = Clock::now();
    if (now - lastNetwork < kNetworkQuiet) return false;
    return std::all_of(requests.begin(), requests.end(), [&](const auto& request) {
      return now - request.second.since >= kLongRequest;
    });
  }
  bool Settled() const { return loaded && NetworkIdle(); }
  void CheckAlive() const {
    if (crashed) throw SnapshotError("the page's renderer crashed");
    if (detached) throw SnapshotError("the page's tab closed");
  }
};

class Rendering {
 public:
  Rendering(DevToolsSession& session, Clock::time_point deadline)
      : session_(session), deadline_(deadline), takeUntil_(deadline + kTakeGrace) {
    session_.OnEvent([this](const JsonValue& event) { OnEvent(event); });
  }
  ~Rendering() { session_.OnEvent(nullptr); }
  Rendering(const Rendering&) = delete;
  Rendering& operator=(const Rendering&) = delete;

  RenderedPage Run(const std::string& url) {
    OpenTab();
    bool settled = Navigate(url);
    settled = settled && Wait([&] { return page_.Settled(); });
    settled = settled && ScrollThrough();
    settled = settled && Wait([&] { return page_.Settled(); }) && WaitUntilStill();
    RenderedPage rendered = Take();
    rendered.settled = settled;
    if (page_.documentStatus >= 400)
      throw SnapshotError("the server answered " + std::to_string(page_.documentStatus) + " " +
                          page_.documentStatusText);
    return rendered;
  }

 private:
  JsonValue PageCall(std::string_view method, JsonValue params, Clock::time_point until) {
    page_.CheckAlive();
    return session_.Call(method, std::move(params), page_.sessionId, until);
  }

  // Runs events until done() or the deadline; false at the deadline.
  bool Wait(const std::function<bool()>& done) {
    return session_.RunUntil(deadline_, [&] {
      page_.CheckAlive();
      return done();
    });
  }

  void OpenTab() {
    // Downloads the page may start are refused: nothing is written outside the profile.
    session_.Call("Browser.setDownloadBehavior", JsonValue::MakeObject({{"behavior", "deny"}}), {},
                  takeUntil_);
    JsonValue target = session_.Call(
        "Target.createTarget", JsonValue::MakeObject({{"url", "about:blank"}}), {}, takeUntil_);
    const std::string targetId = target.StringAt("targetId");
    JsonValue attached = session_.Call(
        "Target.attachToTarget", JsonValue::MakeObject({{"targetId", targetId}, {"flatten", true}}),
        {}, takeUntil_);
    page_.sessionId = attached.StringAt("sessionId");
    if (targetId.empty() || page_.sessionId.empty())
      throw SnapshotError("the browser opened no tab for the page");
    for (const char* domain : {"Page.enable", "Network.enable", "Runtime.enable"})
      PageCall(domain, {}, takeUntil_);
    // Workers the page starts are reported, so that their scripts' requests can be closed.
    PageCall("Target.setAutoAttach",
             JsonValue::MakeObject(
                 {{"autoAttach", true}, {"waitForDebuggerOnStart", false}, {"flatten", true}}),
             takeUntil_);
    // The page is laid out in a view of exactly this size, not the window less the browser's
    // frame: sizes its scripts set from the view stay right where the copy is shown at it.
    PageCall("Emulation.setDeviceMetricsOverride",
             JsonValue::MakeObject({{"width", kViewWidth},
                                    {"height", kViewHeight},
                                    {"deviceScaleFactor", 1},
                                    {"mobile", false}}),
             takeUntil_);
    JsonValue tree = PageCall("Page.getFrameTree", {}, takeUntil_);
    const JsonValue* frameTree = tree.Find("frameTree");
    const JsonValue* frame = frameTree ? frameTree->Find("frame") : nullptr;
    page_.mainFrame = frame ? frame->StringAt("id") : std::string();
  }

  // Opens the page; false when the deadline came first.
  bool Navigate(const std::string& url) {
    JsonValue navigated;
    try {
      navigated = PageCall("Page.navigate", JsonValue::MakeObject({{"url", url}}), deadline_);
    } catch (const SnapshotTimeout&) {
      return false;
    }
    const std::string error = navigated.StringAt("errorText");
    // An aborted navigation (a download, an answer without content) leaves the tab empty,
    // which taking the document reports.
    if (!error.empty() && error != "net::ERR_ABORTED")
      throw SnapshotError("the browser could not open " + url + ": " + error);
    return true;
  }

  bool ScrollThrough() {
    const std::string call =
        std::string(kScrollThroughScript) + "(" + std::to_string(kScrollLimit.count()) + "," +
        std::to_string(kMaxScrollSteps) + "," + std::to_string(kScrollPauseMs) + ")";
    try {
      Evaluate(call, std::nullopt, deadline_);
    } catch (const SnapshotTimeout&) {
      return false;
    } catch (const SnapshotError&) {
      // The page moved on while it was scrolled: the waits that follow see the new one.
      page_.CheckAlive();
    }
    return true;
  }

  // Two pictures of the view a pause apart, alike, with the network idle; false when the
  // deadline or the limit came first.
  bool WaitUntilStill() {
    const Clock::time_point limit = std::min(deadline_, Clock::now() + kStillLimit);
    std::string previous;
    while (Clock::now() < limit) {
      std::string picture;
      try {
        picture = PageCall("Page.captureScreenshot",
                           JsonValue::MakeObject({{"format", "jpeg"}, {"quality", 40}}), limit)
                      .StringAt("data");
      } catch (const SnapshotTimeout&) {
        return false;
      }
      if (!picture.empty() && picture == previous && page_.Settled()) return true;
      previous = std::move(picture);
      const Clock::time_point next = std::min(limit, Clock::now() + kStillPause);
      session_.RunUntil(next, [&] {
        page_.CheckAlive();
        return false;
      });
    }
    return false;
  }

  // Evaluates expression in a world of the rendering's own (contextId), or in the page's
  // when none is given, awaiting a promise it returns; the value.
  JsonValue Evaluate(const std::string& expression, std::optional<double> contextId,
                     Clock::time_point until) {
    JsonValue params = JsonValue::MakeObject(
        {{"expression", expression}, {"returnByValue", true}, {"awaitPromise", true}});
    if (contextId) params.Add("contextId", *contextId);
    JsonValue answer = PageCall("Runtime.evaluate", std::move(params), until);
    if (const JsonValue* thrown = answer.Find("exceptionDetails"))
      throw SnapshotError("the page's script failed: " + thrown->StringAt("text"));
    const JsonValue* result = answer.Find("result");
    const JsonValue* value = result ? result->Find("value") : nullptr;
    return value ? *value : JsonValue();
  }

  // When the page's scripts hold its thread (a loop that never ends), they are cut off, so
  // that the document can be read.
  void CutOffBusyScript() {
    try {
      PageCall("Runtime.evaluate", JsonValue::MakeObject({{"expression", "0"}}),
               std::min(takeUntil_, Clock::now() + kBusyProbe));
    } catch (const SnapshotTimeout&) {
      session_.Post("Runtime.terminateExecution", {}, page_.sessionId);
    }
  }

  RenderedPage Take() {
    CutOffBusyScript();
    JsonValue taken;
    for (int attempt = 1;; ++attempt) {
      try {
        JsonValue world =
            PageCall("Page.createIsolatedWorld",
                     JsonValue::MakeObject({{"frameId", page_.mainFrame}, {"worldName", "lorvex"}}),
                     takeUntil_);
        taken =
            Evaluate(kSerializeDocumentScript, world.NumberAt("executionContextId", 0), takeUntil_);
        break;
      } catch (const SnapshotTimeout&) {
        throw SnapshotError("the page's document could not be read in time");
      } catch (const SnapshotError&) {
        // A document replaced between the two calls takes its world along: read the new one.
        page_.CheckAlive();
        if (attempt >= kTakeAttempts) throw;
      }
    }
    RenderedPage rendered{taken.StringAt("url"), taken.StringAt("html"), false};
    if (!StartsWith(rendered.url, "http:") && !StartsWith(rendered.url, "https:") &&
        !StartsWith(rendered.url, "file:"))
      throw SnapshotError("the page did not open (the tab shows " +
                          (rendered.url.empty() ? std::string("nothing") : rendered.url) + ")");
    return rendered;
  }

  static bool StartsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
  }

  // A worker of the page has started: its script has arrived.
  void WorkerStarted(const JsonValue& p) {
    const JsonValue* info = p.Find("targetInfo");
    if (!info) return;
    const std::string type = info->StringAt("type");
    if (type != "worker" && type != "shared_worker" && type != "service_worker") return;
    const std::string url = info->StringAt("url");
    std::erase_if(page_.requests, [&](const auto& request) { return request.second.url == url; });
    page_.lastNetwork = Clock::now();
  }

  void OnEvent(const JsonValue& event) {
    const std::string method = event.StringAt("method");
    const JsonValue* params = event.Find("params");
    static const JsonValue kNone;
    const JsonValue& p = params ? *params : kNone;
    if (method == "Target.attachedToTarget") {
      WorkerStarted(p);
      return;
    }
    if (method == "Target.detachedFromTarget") {
      if (p.StringAt("sessionId") == page_.sessionId) page_.detached = true;
      return;
    }
    if (event.StringAt("sessionId") != page_.sessionId) return;
    const auto now = Clock::now();
    if (method == "Page.loadEventFired") {
      page_.loaded = true;
    } else if (method == "Page.frameStartedLoading") {
      if (p.StringAt("frameId") == page_.mainFrame) page_.loaded = false;
    } else if (method == "Page.frameStoppedLoading") {
      // A navigation within the document (a router's history.replaceState) starts and stops
      // loading the main frame without another load event.
      if (p.StringAt("frameId") == page_.mainFrame) page_.loaded = true;
    } else if (method == "Page.javascriptDialogOpening") {
      // Dismissed, so that the page's thread goes on; leaving the page is let through.
      session_.Post("Page.handleJavaScriptDialog",
                    JsonValue::MakeObject({{"accept", p.StringAt("type") == "beforeunload"}}),
                    page_.sessionId);
    } else if (method == "Network.requestWillBeSent") {
      const std::string id = p.StringAt("requestId");
      const JsonValue* request = p.Find("request");
      const std::string url = request ? request->StringAt("url") : std::string();
      page_.requests.try_emplace(id, PageState::OpenRequest{now, url});
      page_.lastNetwork = now;
      if (p.StringAt("type") == "Document" && p.StringAt("frameId") == page_.mainFrame &&
          id == p.StringAt("loaderId")) {
        page_.documentRequest = id;
        page_.documentStatus = 0;
      }
    } else if (method == "Network.responseReceived") {
      if (p.StringAt("requestId") == page_.documentRequest) {
        const JsonValue* response = p.Find("response");
        page_.documentStatus = response ? int(response->NumberAt("status", 0)) : 0;
        page_.documentStatusText = response ? response->StringAt("statusText") : std::string();
      }
    } else if (method == "Network.loadingFinished" || method == "Network.loadingFailed") {
      page_.requests.erase(p.StringAt("requestId"));
      page_.lastNetwork = now;
    } else if (method == "Inspector.targetCrashed") {
      page_.crashed = true;
    }
  }

  DevToolsSession& session_;
  const Clock::time_point deadline_;
  const Clock::time_point takeUntil_;
  PageState page_;
};

}  // namespace

RenderedPage RenderPage(DevToolsSession& session, const std::string& url,
                        Clock::time_point deadline) {
  return Rendering(session, deadline).Run(url);
}

}  // namespace lorvex::snapshot
