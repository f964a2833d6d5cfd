// The rendering from a Windows process: under Wine with the host's own chromium (skipped where
// there is none), reached over its loopback port. What its scripts made comes back, and the
// browser's folder is gone afterwards.
#include "platform/BrowserProcess.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/Platform.h"
#include "snapshot/Snapshot.h"
#include "support/TempFolder.h"
#include "support/TestHttpServer.h"

namespace lorvex {
namespace {

constexpr char kHostBrowser[] = "Z:\\usr\\bin\\chromium";

// The host's folder for temporary files, as the host names it, is TMPDIR for this test: the
// browser's scratch folder must be made there and gone afterwards.
class HostTempFolder {
 public:
  HostTempFolder() {
    char name[32];
    std::snprintf(name, sizeof name, "/tmp/lorvex-wine-%lu", ::GetCurrentProcessId());
    unix_ = name;
    windows_ = "Z:" + unix_;
    for (char& c : windows_)
      if (c == '/') c = '\\';
    ::CreateDirectoryA(windows_.c_str(), nullptr);
    ::SetEnvironmentVariableA("TMPDIR", unix_.c_str());
    _putenv(("TMPDIR=" + unix_).c_str());
  }
  ~HostTempFolder() { platform::RemoveTree(windows_); }
  // The names in the folder.
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE search = ::FindFirstFileA((windows_ + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do
      if (std::string(found.cFileName) != "." && std::string(found.cFileName) != "..")
        names.push_back(found.cFileName);
    while (::FindNextFileA(search, &found));
    ::FindClose(search);
    return names;
  }

 private:
  std::string unix_, windows_;
};

TEST(BrowserUnderWine, RendersWithTheHostsBrowser) {
  if (!platform::FileExists(kHostBrowser)) GTEST_SKIP() << "no " << kHostBrowser;
  test::TestHttpServer server;
  server.Respond("/page.htm", 200,
                 "<html><body><x-tile></x-tile><script>"
                 "customElements.define('x-tile', class extends HTMLElement { constructor() {"
                 " super(); this.attachShadow({mode: 'open'}).innerHTML = '<b>made</b>'; } });"
                 "document.body.append('by the script');"
                 "</script></body></html>",
                 "Content-Type: text/html\r\n");
  HostTempFolder tmp;

  snapshot::SnapshotSettings settings;
  settings.browser = kHostBrowser;
  settings.timeoutMs = 30000;
  const snapshot::RenderedPage page = snapshot::TakeSnapshot(server.Url("/page.htm"), settings);
  EXPECT_EQ(page.url, server.Url("/page.htm"));
  EXPECT_NE(page.html.find("<x-tile><template shadowrootmode=\"open\"><b>made</b></template>"
                           "</x-tile>"),
            std::string::npos)
      << page.html;
  EXPECT_NE(page.html.find("</script>by the script</body>"), std::string::npos) << page.html;
  EXPECT_EQ(tmp.Names(), std::vector<std::string>{});
}

// A page on disk: the host's browser is given the host's file: URL of it.
TEST(BrowserUnderWine, OpensAPageOnDisk) {
  if (!platform::FileExists(kHostBrowser)) GTEST_SKIP() << "no " << kHostBrowser;
  HostTempFolder tmp;
  support::TempFolder pages;
  const std::string file = pages.File("on disk.htm",
                                      "<html><body><script>document.body.append('written here')"
                                      "</script></body></html>");
  const std::string url = platform::FileUrlForBrowser(kHostBrowser, file);
  EXPECT_EQ(url.rfind("file:///", 0), 0u) << url;
  EXPECT_NE(url.at(9), ':') << url;  // "file:///C:/...": a drive, not the host's path

  snapshot::SnapshotSettings settings;
  settings.browser = kHostBrowser;
  settings.timeoutMs = 30000;
  const snapshot::RenderedPage page = snapshot::TakeSnapshot(url, settings);
  EXPECT_EQ(page.url, url);
  EXPECT_NE(page.html.find("</script>written here</body>"), std::string::npos) << page.html;
  EXPECT_EQ(tmp.Names(), std::vector<std::string>{});
}

}  // namespace
}  // namespace lorvex
