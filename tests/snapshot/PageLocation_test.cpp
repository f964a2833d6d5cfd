// The addresses around a rendering: the file: URL a page on disk is opened by, and where the
// rendered page came from as the import takes it.
#include <gtest/gtest.h>

#include "platform/BrowserProcess.h"
#include "snapshot/Snapshot.h"

namespace lorvex::snapshot {
namespace {

TEST(PageLocation, FileUrlsAndLocations) {
  EXPECT_EQ(platform::FileUrlOfPath("/home/u/my site/p#1%.htm"),
            "file:///home/u/my%20site/p%231%25.htm");
  EXPECT_EQ(platform::FileUrlOfPath("C:\\Users\\u\\\xE6\xB8\xAF.htm"),
            "file:///C:/Users/u/%E6%B8%AF.htm");

  const struct {
    const char *url, *fileLocation, *location;
  } cases[] = {
      {"http://h/a/b.htm#top", "", "http://h/a/b.htm"},
      {"https://h/", "Z:\\site\\", "https://h/"},
      {"file:///site/p.htm", "Z:\\site\\", "Z:\\site\\"},
      {"FILE:///other.htm", "Z:\\site\\", "Z:\\site\\"},
      {"file:///site/p.htm", "", ""},  // a web page never ends up on the disk
      {"about:blank", "Z:\\site\\", ""},
      {"chrome-error://chromewebdata/", "", ""},
      {"data:text/html,x", "", ""},
  };
  for (const auto& c : cases)
    EXPECT_EQ(RenderedPageLocation(c.url, c.fileLocation), c.location) << c.url;
}

}  // namespace
}  // namespace lorvex::snapshot
