// The rendered page from a browser of the Chromium family: the browser is started headless
// for this one page with a fresh profile in a private temporary folder, driven over its
// debugging protocol (PageRendering.h), and ended; the folder goes with everything the browser
// wrote, also when the rendering failed or was stopped.
//
// The browser is kept off the network besides the page: no background requests, component
// updates, sync, first-run pages, default apps or extensions; a proxy only when given. Its own
// sandbox stays on unless this process has the highest rights (the browser refuses it there).
// It is given no address but the page's.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/BrowserProcess.h"
#include "snapshot/DevToolsSession.h"
#include "snapshot/PageRendering.h"

namespace lorvex::snapshot {

// No browser was named, or none is found where it was looked for.
class BrowserNotFound : public SnapshotError {
 public:
  using SnapshotError::SnapshotError;
};

// The programs looked for on PATH, in this order, when none is named.
inline constexpr const char* kBrowserNames[] = {"chromium", "chromium-browser", "google-chrome",
                                                "microsoft-edge"};

// Without a time-out of its own, a rendering may take this long.
constexpr int kDefaultRenderTimeoutMs = 60000;

struct SnapshotSettings {
  std::string browser;  // the program named by the user; empty: the first of kBrowserNames
  std::string proxy;    // HOST:PORT, or empty for none
  int timeoutMs = kDefaultRenderTimeoutMs;  // the page is taken as it stands after this
  std::function<bool()> stopped;            // asked during every wait
  platform::ProtocolWay way = platform::kNativeProtocolWay;
};

// The program: the one named when it is found, else the first of kBrowserNames found on PATH.
// Throws BrowserNotFound.
std::string FindBrowser(const std::string& named);

// The browser's command line for a rendering, besides its profile and the protocol's way.
std::vector<std::string> BrowserArguments(const std::string& proxy, bool sandbox);

// Where a rendered page came from, as the page import takes it: the web address the browser
// ended on, without its fragment; for a page opened from a file (it ended on a file: URL),
// fileLocation, the file's folder as the import is given a page read from disk. Empty when the
// browser ended on neither.
std::string RenderedPageLocation(const std::string& finalUrl, const std::string& fileLocation);

// Renders url (http:, https: or file:) and returns the document. Throws BrowserNotFound,
// SnapshotStopped, or SnapshotError with what went wrong (the browser could not start or
// ended, the page could not be opened or read).
RenderedPage TakeSnapshot(const std::string& url, const SnapshotSettings& settings);

}  // namespace lorvex::snapshot
