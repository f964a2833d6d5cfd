// What the page import offers beyond the request record, set per user in the registry and
// read when an import starts: HKEY_CURRENT_USER\Software\lorvex\PageImport, CompletePages
// (REG_DWORD; 1 saves what modern pages need, absent or 0 the default mode), Connections
// (REG_DWORD; the most transfers at once, absent kDefaultConnections, 1 one at a time in the
// import's order, values beyond kMaxConnections held there) and Snapshot (REG_DWORD; 1 saves
// the page as a browser rendered it, without its scripts, and implies CompletePages). With
// Snapshot, a page read from a file is rendered first by the browser that Browser (REG_SZ, a
// path) names, else by the system's Edge or Chrome as the App Paths keys name them.
#pragma once

#include <string>

#include "import/PageImport.h"

namespace lorvex {

constexpr const char* kPageImportSettingsKey = "Software\\lorvex\\PageImport";
constexpr const char* kCompletePagesValue = "CompletePages";
constexpr const char* kConnectionsValue = "Connections";
constexpr const char* kSnapshotValue = "Snapshot";
constexpr const char* kBrowserValue = "Browser";

// The settings as the registry holds them now; a missing key or value means the default.
PageImportOptions ReadPageImportSettings();

// The browser of the Chromium family that renders a page: the Browser setting's path, else
// the first of msedge.exe and chrome.exe under the App Paths keys (the user's, then the
// machine's); only a file that is there counts. Empty when none is.
std::string FindRenderingBrowser();

}  // namespace lorvex
