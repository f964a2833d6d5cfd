// The page import with a fake fetcher: the layout it writes, what it fetches, copies and
// lists, the exception rules per level, the progress values and Stop.
#include "import/PageImport.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/Platform.h"
#include "support/SyncFetcher.h"
#include "support/TempFolder.h"
#include "util/FileOperation.h"

namespace lorvex {
namespace {

using support::TempFolder;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

// A web of texts by URL (what it lacks, serve may make); records every call.
class FakeFetcher : public support::SyncFetcher {
 public:
  std::map<std::string, std::string> web;
  std::function<std::optional<std::string>(const std::string&)> serve;
  std::set<std::string> raiseOnText;
  bool progressBar = false;
  size_t stopAfterFetches = 0;  // StopAll is set by this many fetches (0: never)
  bool stop = false;
  StringList fetched, texts;
  std::vector<int> progress;
  int messages = 0;

  bool FetchToFile(const std::string& url, const std::string& fileName) override {
    fetched.push_back(url);
    if (fetched.size() == stopAfterFetches) stop = true;
    const std::optional<std::string> text = Served(url);
    if (!text) return false;
    try {
      WriteFileBytes(fileName, *text);
      return true;
    } catch (...) {
      return false;
    }
  }
  std::optional<std::string> FetchText(const std::string& url) override {
    texts.push_back(url);
    if (raiseOnText.count(url)) throw std::runtime_error("connection lost");
    return Served(url);
  }
  std::optional<std::string> Served(const std::string& url) const {
    auto it = web.find(url);
    if (it != web.end()) return it->second;
    return serve ? serve(url) : std::nullopt;
  }
  void ProcessMessages() override { ++messages; }
  bool HasProgressBar() const override { return progressBar; }
  void SetProgress(int position) override {
    if (!progressBar) ADD_FAILURE() << "progress set without a bar";
    progress.push_back(position);
  }
  bool StopAll() const override { return stop; }
};

// The folder as the core sees it (a drive path on both builds).
std::string CoreFolder(const TempFolder& folder) { return platform::CorePath(folder.path()); }
std::string Slashed(std::string text) {
  for (char& c : text)
    if (c == '\\') c = '/';
  return text;
}

// Every file and folder below root, "/" separated, folders ending in "/".
std::set<std::string> Listing(const std::string& root) {
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
    std::string name = entry.path().lexically_relative(root).generic_string();
    names.insert(entry.is_directory() ? name + "/" : name);
  }
  return names;
}
std::string Read(const std::string& coreFolder, const std::string& name) {
  return ReadFileBytes(coreFolder + "\\" + name);
}

// A page with images (two of them named logo.gif), a style sheet, a script with a reference of
// its own, an inline frame whose page holds an image, a frame and a script (too deep to be
// saved), an anchor and a missing image. Served from http://site.test/d/ or read from disk.
const std::string kIndex =
    "<html><body>\n"
    "<img src=\"a.gif\"><img src=\"http://other.test/logo.gif\"><img src=\"logo.gif\">\n"
    "<link rel=\"stylesheet\" href=\"s.css\"><script src=\"m.js\"></script>\n"
    "<iframe src=\"f.htm\"></iframe><a href=\"next.htm\">next</a>\n"
    "<img src=\"missing.gif\">\n"
    "</body></html>\n";
const std::map<std::string, std::string> kSite = {
    {"index.htm", kIndex},
    {"a.gif", "GIF-a"},
    {"logo.gif", "GIF-logo-here"},
    {"s.css", "p { color: red }"},
    {"m.js", "document.write('<img src=\"mj.gif\">');\n// menu\n"},
    {"mj.gif", "GIF-mj"},
    {"f.htm",
     "<html><body><img src=\"fi.gif\"><iframe src=\"inner.htm\"></iframe>"
     "<script src=\"fs.js\"></script></body></html>\n"},
    {"fi.gif", "GIF-fi"},
    {"inner.htm", "<html><body><img src=\"ii.gif\"></body></html>\n"},
    {"ii.gif", "GIF-ii"},
    {"fs.js", "var x = 1;\n"},
};
constexpr const char* kSiteUrl = "http://site.test/d/";
constexpr const char* kOtherLogo = "http://other.test/logo.gif";

FakeFetcher ServedSite() {
  FakeFetcher fetcher;
  for (const auto& [name, text] : kSite) fetcher.web[kSiteUrl + name] = text;
  fetcher.web[kOtherLogo] = "GIF-logo-there";
  return fetcher;
}

TEST(PageImport, WritesTheLayoutFromTheWebAndFromDisk) {
  struct Case {
    const char* name;
    bool local;
  };
  for (const Case& c : {Case{"web", false}, Case{"disk", true}}) {
    SCOPED_TRACE(c.name);
    TempFolder site, work;
    for (const auto& [name, text] : kSite) site.File(name, text);
    const std::string siteFolder = CoreFolder(site) + "\\";
    const std::string W = CoreFolder(work);
    FakeFetcher fetcher = ServedSite();
    PageImportState state;
    // From disk the location is the page's folder, as the plug-in passes it.
    ASSERT_TRUE(RunPageImport(kIndex, c.local ? siteFolder : std::string(kSiteUrl) + "index.htm", 7,
                              W, fetcher, fetcher, state));

    EXPECT_EQ(Listing(work.path()),
              (std::set<std::string>{"7.htm", "7.files/", "7.files/a.gif", "7.files/logo.gif",
                                     "7.files/logo[2].gif", "7.files/s.css", "7.files/m.js",
                                     "7.files/mj.gif", "7.files/f.htm", "7.files/f.files/",
                                     "7.files/f.files/fi.gif"}));
    const std::string anchor =
        c.local ? siteFolder + "next.htm" : std::string(kSiteUrl) + "next.htm";
    EXPECT_EQ(
        Read(W, "7.htm"),
        "<html><body>\r\n"
        "<img src=\"7.files/a.gif\"><img src=\"7.files/logo.gif\"><img "
        "src=\"7.files/logo[2].gif\">\r\n"
        "<link rel=\"stylesheet\" href=\"7.files/s.css\"><script src=\"7.files/m.js\"></script>\r\n"
        "<iframe src=\"7.files/f.htm\"></iframe><a href=\"" +
            anchor +
            "\">next</a>\r\n"
            "<img src=\"7.files/missing.gif\">\r\n"
            "</body></html>\r\n");
    // The script's references point into the folder of the page that includes it; the frame
    // and script of the frame page are referenced but not saved (they would be a level deeper).
    EXPECT_EQ(Read(W, "7.files\\m.js"),
              "document.write('<img src=\"7.files/mj.gif\">');\r\n// menu\r\n");
    EXPECT_EQ(Read(W, "7.files\\f.htm"),
              "<html><body><img src=\"f.files/fi.gif\"><iframe src=\"f.files/inner.htm\"></iframe>"
              "<script src=\"f.files/fs.js\"></script></body></html>\r\n");
    EXPECT_EQ(Read(W, "7.files\\logo[2].gif"), "GIF-logo-here");  // the second logo.gif

    if (c.local) {
      // Files are copied and pages read from disk; a missing file is not reported.
      EXPECT_THAT(fetcher.fetched, ElementsAre(kOtherLogo));
      EXPECT_THAT(fetcher.texts, IsEmpty());
      EXPECT_THAT(state.FailedUrls, IsEmpty());
    } else {
      const std::string s = kSiteUrl;
      EXPECT_THAT(fetcher.fetched, ElementsAre(s + "a.gif", kOtherLogo, s + "logo.gif", s + "s.css",
                                               s + "missing.gif", s + "mj.gif", s + "fi.gif"));
      // The too-deep frame and script are fetched as texts, then refused.
      EXPECT_THAT(fetcher.texts,
                  ElementsAre(s + "m.js", s + "f.htm", s + "inner.htm", s + "fs.js"));
      EXPECT_THAT(state.FailedUrls, ElementsAre(s + "missing.gif"));
      EXPECT_THAT(state.FailedTargets, ElementsAre(Slashed(W) + "/7.files/missing.gif"));
    }
  }
}

TEST(PageImport, SubPagesThatCannotBeFetchedAreListedNotSavedEmpty) {
  // A frame and a script that fail are listed with their targets and nothing is written for
  // them; an empty frame is still a page. The list's retry then stores them where they go.
  const std::string s = kSiteUrl;
  const std::string html =
      "<iframe src=\"gone.htm\"></iframe><script src=\"gone.js\"></script>"
      "<iframe src=\"empty.htm\"></iframe><img src=\"a.gif\">\n</body></html>\n";
  TempFolder work;
  const std::string W = CoreFolder(work);
  FakeFetcher fetcher;
  fetcher.web[s + "empty.htm"] = "";
  fetcher.web[s + "a.gif"] = "GIF-a";
  PageImportState state;
  ASSERT_TRUE(RunPageImport(html, s + "index.htm", 7, W, fetcher, fetcher, state));
  EXPECT_THAT(fetcher.texts, ElementsAre(s + "gone.htm", s + "gone.js", s + "empty.htm"));
  EXPECT_THAT(state.FailedUrls, ElementsAre(s + "gone.htm", s + "gone.js"));
  const std::string folder = Slashed(W) + "/7.files/";
  EXPECT_THAT(state.FailedTargets, ElementsAre(folder + "gone.htm", folder + "gone.js"));
  EXPECT_EQ(Listing(work.path()),
            (std::set<std::string>{"7.htm", "7.files/", "7.files/a.gif", "7.files/empty.htm"}));
  EXPECT_EQ(Read(W, "7.files\\empty.htm"), "");

  fetcher.web[s + "gone.htm"] = "<p>back</p>";
  fetcher.web[s + "gone.js"] = "var back;";
  for (size_t i = 0; i < state.FailedUrls.size(); ++i)
    EXPECT_TRUE(fetcher.FetchToFile(state.FailedUrls[i], state.FailedTargets[i]));
  EXPECT_EQ(Read(W, "7.files\\gone.htm"), "<p>back</p>");
  EXPECT_EQ(Read(W, "7.files\\gone.js"), "var back;");
}

TEST(PageImport, EveryRewrittenPictureNamesAFileTheImportWrote) {
  // Thumbnails that link to pictures of the same name, two pictures named alike, and a
  // picture referenced twice.
  const std::string s = kSiteUrl;
  const std::string html =
      "<a href=\"big/pic.gif\"><img src=\"pic.gif\"></a><a href=\"big/b.gif\"><img "
      "src=\"b.gif\"></a>\n<img src=\"x/pic.gif\"><img src=\"pic.gif\"><a "
      "href=\"pic.gif\">p</a>\n</body></html>\n";
  TempFolder work;
  const std::string W = CoreFolder(work);
  FakeFetcher fetcher;
  for (const char* name : {"pic.gif", "b.gif", "x/pic.gif"}) fetcher.web[s + name] = name;
  PageImportState state;
  ASSERT_TRUE(RunPageImport(html, s + "g.htm", 4, W, fetcher, fetcher, state));
  const std::string page = Read(W, "4.htm");
  int pictures = 0;
  for (size_t at = page.find("src=\""); at != std::string::npos; at = page.find("src=\"", at)) {
    at += 5;
    const std::string name = page.substr(at, page.find('"', at) - at);
    EXPECT_TRUE(std::filesystem::exists(std::filesystem::path(work.path()) / name)) << name;
    ++pictures;
  }
  EXPECT_EQ(pictures, 4);
  EXPECT_EQ(Read(W, "4.files\\pic[2].gif"), "x/pic.gif");
}

TEST(PageImport, CompletePagesSaveWhatModernPagesNeed) {
  // A style sheet that imports three levels deep and names a font, a picture and a missing
  // one; srcset and lazy pictures; two URLs with one name; an inline style; a script with a
  // query whose own picture shares the page's folder.
  const std::string s = kSiteUrl;
  const std::string html =
      "<link rel=\"stylesheet\" href=\"css/s.css?v=1\"><img src=\"a.png?v=1\" "
      "srcset=\"a.png?v=2 2x\"><img data-src=\"lazy.webp\" src=\"data:image/gif;base64,R0\">"
      "<div style=\"background:url(&quot;hero.jpg&quot;)\"></div>"
      "<script src=\"app.js?ver=3\"></script>\n</body></html>\n";
  FakeFetcher fetcher;
  fetcher.progressBar = true;
  fetcher.web = {
      {s + "css/s.css?v=1",
       "@import url(i1.css);\nbody{background:url('../bg.png')}\n"
       "@font-face{src:url(f.woff2?#iefix) format('eot'),url(\"gone.woff\")}"},
      {s + "css/i1.css", "@import 'i2.css'; .a{background:url(x.png)}"},
      {s + "css/i2.css", "@import 'i3.css';"},
      {s + "css/i3.css", "@import 'i4.css'; .b{background:url(data:image/png;base64,AA)}"},
      {s + "bg.png", "PNG-bg"},
      {s + "css/f.woff2", "WOFF2"},
      {s + "css/x.png", "PNG-x"},
      {s + "a.png?v=1", "PNG-a1"},
      {s + "a.png?v=2", "PNG-a2"},
      {s + "lazy.webp", "WEBP"},
      {s + "hero.jpg", "JPG-hero"},
      {s + "app.js?ver=3", "w('<img src=\"a.png?v=3\">');\n// the menu\n"},
      {s + "a.png?v=3", "PNG-a3"},
  };
  TempFolder work;
  const std::string W = CoreFolder(work);
  PageImportState state;
  ASSERT_TRUE(
      RunPageImport(html, s + "index.htm", 7, W, fetcher, fetcher, state, PageImportOptions{true}));
  EXPECT_THAT(fetcher.fetched,
              ElementsAre(s + "css/s.css?v=1", s + "css/i1.css", s + "css/i2.css", s + "css/i3.css",
                          s + "css/x.png", s + "bg.png", s + "css/f.woff2", s + "css/gone.woff",
                          s + "a.png?v=1", s + "a.png?v=2", s + "lazy.webp", s + "hero.jpg",
                          s + "a.png?v=3"));
  const std::string folder = Slashed(W) + "/7.files/";
  EXPECT_THAT(state.FailedUrls, ElementsAre(s + "css/gone.woff"));
  EXPECT_THAT(state.FailedTargets, ElementsAre(folder + "gone.woff"));
  // The page's five references and the script's one take their steps in both passes; what
  // the sheets and the style name takes none.
  EXPECT_EQ(state.FetchedCount, 12);
  EXPECT_EQ(state.ReferenceTotal, 1);  // the script's, the last level's
  EXPECT_EQ(Read(W, "7.htm"),
            "<link rel=\"stylesheet\" href=\"7.files/s.css\"><img src=\"7.files/a.png\" "
            "srcset=\"7.files/a[2].png 2x\"><img data-src=\"7.files/lazy.webp\" "
            "src=\"data:image/gif;base64,R0\"><div "
            "style=\"background:url(&quot;7.files/hero.jpg&quot;)\"></div>"
            "<script src=\"7.files/app.js\"></script>\r\n</body></html>\r\n");
  EXPECT_EQ(Read(W, "7.files\\s.css"),
            "@import url(i1.css);\nbody{background:url('bg.png')}\n"
            "@font-face{src:url(f.woff2#iefix) format('eot'),url(\"gone.woff\")}");
  EXPECT_EQ(Read(W, "7.files\\i1.css"), "@import 'i2.css'; .a{background:url(x.png)}");
  // The fourth level is not fetched; its @import keeps its text.
  EXPECT_EQ(Read(W, "7.files\\i3.css"),
            "@import 'i4.css'; .b{background:url(data:image/png;base64,AA)}");
  EXPECT_EQ(Read(W, "7.files\\app.js"), "w('<img src=\"7.files/a[3].png\">');\r\n// the menu\r\n");
  for (auto [name, bytes] : std::map<std::string, std::string>{{"a.png", "PNG-a1"},
                                                               {"a[2].png", "PNG-a2"},
                                                               {"a[3].png", "PNG-a3"},
                                                               {"bg.png", "PNG-bg"},
                                                               {"f.woff2", "WOFF2"},
                                                               {"hero.jpg", "JPG-hero"}})
    EXPECT_EQ(Read(W, "7.files\\" + name), bytes) << name;
  EXPECT_THAT(fetcher.texts, ElementsAre(s + "app.js?ver=3"));
}

TEST(PageImport, ASnapshotLosesItsScriptsWhichAreNeitherFetchedNorListed) {
  // A page as a browser rendered it: an app's module script, its preload and a classic script
  // that names a picture in its text (all fetched in complete mode), a handler, a javascript:
  // link, a data block, and a frame, whose page was not rendered and keeps its script.
  const std::string s = kSiteUrl;
  const std::string html =
      "<link rel=modulepreload href=vendor.js><script type=module src=app.js></script>\n"
      "<div id=root><img src=a.gif onload=\"fade(this)\"><a href=\"javascript:go()\">go</a>"
      "</div><script src=m.js></script><script>w('<img src=\"b.gif\">')</script>\n"
      "<script type=application/ld+json>{\"logo\":\"logo.gif\"}</script>"
      "<iframe src=f.htm></iframe>\n";
  FakeFetcher fetcher = ServedSite();
  fetcher.web[s + "b.gif"] = "GIF-b";
  TempFolder work;
  const std::string W = CoreFolder(work);
  PageImportState state;
  PageImportOptions snapshot;
  snapshot.Snapshot = true;  // complete pages with it
  ASSERT_TRUE(RunPageImport(html, s + "index.htm", 7, W, fetcher, fetcher, state, snapshot));
  EXPECT_EQ(Read(W, "7.htm"),
            "\r\n<div id=root><img src=7.files/a.gif><a href=\"#\">go</a></div>\r\n"
            "<script type=application/ld+json>{\"logo\":\"logo.gif\"}</script>"
            "<iframe src=7.files/f.htm></iframe>\r\n");
  EXPECT_THAT(fetcher.fetched, ElementsAre(s + "a.gif", s + "fi.gif"));
  EXPECT_THAT(fetcher.texts, ElementsAre(s + "f.htm", s + "inner.htm", s + "fs.js"));
  EXPECT_THAT(state.FailedUrls, IsEmpty());
  EXPECT_EQ(Read(W, "7.files\\f.htm"),
            "<html><body><img src=\"f.files/fi.gif\"><iframe src=\"f.files/inner.htm\"></iframe>"
            "<script src=\"f.files/fs.js\"></script></body></html>\r\n");
}

TEST(PageImport, AnExceptionEndsTheLevelOfThePassesItInterrupts) {
  const std::string s = kSiteUrl;
  struct Case {
    const char* name;
    std::function<void(FakeFetcher&, const TempFolder&)> prepare;
    bool raises, result;
    StringList texts;
  };
  auto makeFolder = [](const TempFolder& work, const char* name) {
    std::filesystem::create_directories(std::filesystem::path(work.path()) / name);
  };
  const Case cases[] = {
      {"the text of a sub-page raises: the top page's passes end",
       [](FakeFetcher& f, const TempFolder&) {
         f.raiseOnText.insert(kSiteUrl + std::string("f.htm"));
       },
       false,
       false,
       {s + "m.js", s + "f.htm"}},
      {"a text raises in the sub-page's passes: only they end",
       [](FakeFetcher& f, const TempFolder&) {
         f.raiseOnText.insert(kSiteUrl + std::string("inner.htm"));
       },
       false,
       true,
       {s + "m.js", s + "f.htm", s + "inner.htm"}},
      {"the sub-page's resource folder cannot be made: that level is refused",
       [&](FakeFetcher&, const TempFolder& work) {
         makeFolder(work, "7.files");
         work.File("7.files/f.files", "a file in the way");
       },
       false,
       true,
       {s + "m.js", s + "f.htm"}},
      {"the sub-page cannot be saved: the top page's passes end",
       [&](FakeFetcher&, const TempFolder& work) { makeFolder(work, "7.files/f.htm"); },
       false,
       false,
       {s + "m.js", s + "f.htm"}},
      {"the top page cannot be saved: the exception leaves the import",
       [&](FakeFetcher&, const TempFolder& work) { makeFolder(work, "7.htm"); },
       true,
       false,
       {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempFolder work;
    FakeFetcher fetcher = ServedSite();
    c.prepare(fetcher, work);
    PageImportState state;
    auto run = [&] {
      return RunPageImport(kIndex, s + "index.htm", 7, CoreFolder(work), fetcher, fetcher, state);
    };
    if (c.raises) {
      EXPECT_THROW(run(), FileError);
    } else {
      EXPECT_EQ(run(), c.result);
    }
    EXPECT_EQ(fetcher.texts, c.texts);
  }
  // An empty work folder cannot be made: nothing is fetched.
  FakeFetcher fetcher = ServedSite();
  PageImportState state;
  EXPECT_FALSE(RunPageImport(kIndex, s + "index.htm", 7, "", fetcher, fetcher, state));
  EXPECT_THAT(fetcher.fetched, IsEmpty());
}

TEST(PageImport, ProgressCountsStepsOfBothPassesHalvesToEven) {
  // Eight references, one of them empty: the first pass takes seven steps, the second eight,
  // and the position runs past 100 because the count goes on over both passes.
  std::string html = "<p>";
  for (char c = 'a'; c <= 'g'; ++c) {
    html += std::string("<img src=\"") + c + ".gif\">";
    if (c == 'c') html += "<link href=\":\">";
  }
  html += "</p>\n</body></html>\n";
  for (bool bar : {true, false}) {
    SCOPED_TRACE(bar ? "with a bar" : "without a bar");
    TempFolder work;
    FakeFetcher fetcher;
    fetcher.progressBar = bar;
    PageImportState state;
    ASSERT_TRUE(RunPageImport(html, "http://site.test/p.htm", 3, CoreFolder(work), fetcher, fetcher,
                              state));
    EXPECT_EQ(state.ReferenceTotal, 8);
    EXPECT_EQ(state.FetchedCount, 15);
    EXPECT_EQ(fetcher.fetched.size(), 7u);  // the empty one is not fetched
    EXPECT_EQ(fetcher.messages, 2 * 15);    // after each count and each step
    if (bar) {
      EXPECT_THAT(fetcher.progress,
                  ElementsAre(12, 25, 38, 50, 62, 75, 88, 100, 112, 125, 138, 150, 162, 175, 188));
    }
  }
}

TEST(PageImport, StopEndsTheImportAtTheNextCheck) {
  TempFolder work;
  FakeFetcher fetcher = ServedSite();
  fetcher.stopAfterFetches = 2;
  PageImportState state;
  state.FailedUrls = {"left from before"};
  state.FetchedCount = 99;
  EXPECT_FALSE(RunPageImport(kIndex, kSiteUrl + std::string("index.htm"), 7, CoreFolder(work),
                             fetcher, fetcher, state));
  EXPECT_EQ(fetcher.fetched.size(), 2u);
  EXPECT_THAT(fetcher.texts, IsEmpty());
  EXPECT_THAT(state.FailedUrls, IsEmpty());
  EXPECT_EQ(state.FetchedCount, 2);
}

TEST(PageImport, AWebPageCannotReachTheUsersFiles) {
  TempFolder disk, work;
  const std::string D = CoreFolder(disk);
  disk.File("a.gif", "secret a");
  disk.File("b.gif", "secret b");
  disk.File("s.htm", "<p>secret page</p>\n");
  // A drive path, a file URL, a share path and a frame on the disk, next to an ordinary
  // image. On a page from the web the share path names a host on the web, as "//evil/share"
  // would (a page on a one-letter host resolves it to that): it is fetched from there.
  const std::string html = "<img src=\"" + D + "\\a.gif\"><img src=\"file:///" + Slashed(D) +
                           "/b.gif\"><img src=\"\\\\evil\\share\\c.gif\"><iframe src=\"" + D +
                           "\\s.htm\"></iframe><img src=\"ok.gif\">\n</body></html>\n";
  struct Case {
    const char* name;
    std::string pageUrl;
    StringList fetched, failed;
    std::set<std::string> files;
  };
  const Case cases[] = {
      {"from the web: listed, nothing read",
       "http://h/p.htm",
       {"http://evil/share/c.gif", "http://h/ok.gif"},
       {D + "\\a.gif", D + "\\b.gif", "http://evil/share/c.gif", D + "\\s.htm"},
       {"1.htm", "1.files/", "1.files/ok.gif"}},
      {"from disk: copied and read (the share path resolves below the drive's root)",
       D + "\\p.htm",
       {},
       {},
       {"1.htm", "1.files/", "1.files/a.gif", "1.files/b.gif", "1.files/s.htm"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove_all(work.path());
    std::filesystem::create_directory(work.path());
    FakeFetcher fetcher;
    fetcher.web["http://h/ok.gif"] = "ok";
    PageImportState state;
    ASSERT_TRUE(RunPageImport(html, c.pageUrl, 1, CoreFolder(work), fetcher, fetcher, state));
    EXPECT_EQ(fetcher.fetched, c.fetched);
    EXPECT_THAT(fetcher.texts, IsEmpty());
    EXPECT_EQ(state.FailedUrls, c.failed);
    EXPECT_EQ(state.FailedTargets.size(), c.failed.size());
    EXPECT_EQ(Listing(work.path()), c.files);
  }
}

// Whether any file below root holds bytes.
bool AnyFileHolds(const std::string& root, const std::string& bytes) {
  for (const auto& entry : std::filesystem::recursive_directory_iterator(root))
    if (entry.is_regular_file() &&
        ReadFileBytes(entry.path().string()).find(bytes) != std::string::npos)
      return true;
  return false;
}

TEST(PageImport, ADocumentFromTheWebNamesOnlyTheWeb) {
  // What a page, a frame, a script or a style sheet from the web names is fetched over http,
  // https or ftp only; the rest is listed and keeps its text, whatever page linked the
  // document. A page from disk still copies what its own markup names.
  TempFolder disk;
  const std::string D = CoreFolder(disk), DS = Slashed(D);
  disk.File("m.gif", "MARKER of the user's disk");
  disk.File("own.gif", "own picture");
  const std::string mhtml = "mhtml:file://" + DS + "/x.mht!";
  // What a base of that archive makes of a relative name: its folder ends at the drive.
  const std::string inBase = "mhtml:file://" + DS.substr(0, 2) + "/";
  // The web's sheet, each line naming m.gif another way.
  std::string sheet;
  for (const std::string& line :
       {"a{background:url(file:///" + DS + "/m.gif)}", "b{background:url(\"" + DS + "/m.gif\")}",
        "c{background:url(file://localhost/" + DS + "/m.gif)}",
        std::string("d{background:url(\"\\\\\\\\host\\\\share\\\\m.gif\")}"),
        "e{background:url(" + mhtml + "m.gif)}", "f{background:url(res://" + DS + "/m.gif)}",
        "g{background:url(ms-its:" + DS + "/x.chm::/m.gif)}",
        std::string("h{background:url(ok.png)}")})
    sheet += line + "\n";
  struct Case {
    const char* name;
    bool complete;
    std::string pageUrl, html;
    StringList failed;
    std::map<std::string, std::string> saved;  // files of the work folder and their bytes
  };
  const Case cases[] = {
      {"a page from disk links a sheet from the web",
       true,
       D + "\\p.htm",
       "<img src=\"own.gif\"><link rel=\"stylesheet\" href=\"http://h/s.css\">",
       // The drive path is the file URL's path: listed once. The share is on the web.
       {D + "\\m.gif", "localhost/" + DS + "/m.gif", "http://host/share/m.gif", mhtml + "m.gif",
        "res://" + DS + "/m.gif", "ms-its:" + DS + "/x.chm::/m.gif"},
       {{"1.files\\own.gif", "own picture"},
        {"1.files\\s.css", ReplaceAllText(sheet, "\\\\\\\\host\\\\share\\\\m.gif", "m[3].gif")},
        {"1.files\\ok.png", "PNG"}}},
      // A page from the web takes only a web address as its base.
      {"complete: a page from the web with a base of its archive",
       true,
       "http://h/p.htm",
       "<base href=\"" + mhtml + "\"><img src=\"m.gif\"><img src=\"ftp://h/f.gif\">",
       {"http://h/m.gif"},
       {{"1.htm", "<base><img src=\"1.files/m.gif\"><img src=\"1.files/f.gif\">\r\n"}}},
      {"default: a page from the web names resources, a frame and a script elsewhere",
       false,
       "http://h/p.htm",
       "<img src=\"res://" + DS + "/m.gif\"><img src=\"" + mhtml + "m.gif\"><iframe src=\"" +
           mhtml + "f.htm\"></iframe><script src=\"" + mhtml +
           "m.js\"></script><img src=\"cid:logo.gif\"><img src=\"ftp://h/f.gif\">",
       {"res://" + DS + "/m.gif", mhtml + "m.gif", mhtml + "f.htm", mhtml + "m.js"},
       {{"1.files\\f.gif", "GIF"}}},
      {"default: a page from the web with a base of its archive",
       false,
       "http://h/p.htm",
       "<base href=\"" + mhtml + "\"><img src=\"m.gif\"><script src=\"m.js\"></script>",
       {inBase + "m.gif", inBase + "m.js"},
       {}},
  };
  for (const Case& c : cases) {
    for (int connections : {1, 6}) {
      SCOPED_TRACE(std::string(c.name) + ", connections " + std::to_string(connections));
      TempFolder work;
      FakeFetcher fetcher;
      fetcher.web = {
          {"http://h/s.css", sheet}, {"http://h/ok.png", "PNG"}, {"ftp://h/f.gif", "GIF"}};
      PageImportState state;
      ASSERT_TRUE(RunPageImport(c.html, c.pageUrl, 1, CoreFolder(work), fetcher, fetcher, state,
                                PageImportOptions{c.complete, connections}));
      EXPECT_EQ(state.FailedUrls, c.failed);
      EXPECT_EQ(state.FailedTargets.size(), c.failed.size());
      for (const StringList* asked : {&fetcher.fetched, &fetcher.texts})
        for (const std::string& url : *asked)
          EXPECT_TRUE(url.rfind("http://", 0) == 0 || url.rfind("ftp://", 0) == 0) << url;
      EXPECT_FALSE(AnyFileHolds(work.path(), "MARKER"));
      for (const auto& [name, bytes] : c.saved) EXPECT_EQ(Read(CoreFolder(work), name), bytes);
    }
  }
}

TEST(PageImport, SheetsNamingDeeperSheetsStopAtTheDeepestLevel) {
  // Every sheet names two deeper ones, by @import and by url(), and a picture: the sheets of
  // levels 0 to 3 and all their pictures are fetched, once each, and nothing deeper.
  const std::string s = "http://h/c/";
  std::set<std::string> expected;
  std::vector<std::string> level{"s"};
  for (int depth = 0; depth <= 3; ++depth) {
    std::vector<std::string> next;
    for (const std::string& name : level) {
      expected.insert(s + name + ".css");
      expected.insert(s + name + ".png");
      next.push_back(name + "i");
      next.push_back(name + "u");
    }
    level = next;
  }
  auto sheetOf = [](const std::string& name) {
    return "@import \"" + name + "i.css\";\nx{background:url(" + name +
           "u.css)}\ny{background:url(" + name + ".png)}";
  };
  for (int connections : {1, 6}) {
    SCOPED_TRACE("connections " + std::to_string(connections));
    TempFolder work;
    FakeFetcher fetcher;
    fetcher.serve = [&](const std::string& url) -> std::optional<std::string> {
      if (url.rfind(s, 0) != 0) return std::nullopt;
      const std::string name = url.substr(s.size(), url.size() - s.size() - 4);
      if (name.size() > 8) return std::nullopt;  // eight levels: endless, as far as the bound sees
      return url.substr(url.size() - 4) == ".css" ? sheetOf(name) : "PNG " + name;
    };
    PageImportState state;
    ASSERT_TRUE(RunPageImport("<link rel=\"stylesheet\" href=\"c/s.css\">", "http://h/p.htm", 1,
                              CoreFolder(work), fetcher, fetcher, state,
                              PageImportOptions{true, connections}));
    EXPECT_EQ(std::set<std::string>(fetcher.fetched.begin(), fetcher.fetched.end()), expected);
    EXPECT_EQ(fetcher.fetched.size(), expected.size());
    EXPECT_THAT(state.FailedUrls, IsEmpty());
    // A sheet of the deepest level keeps the names of the sheets below it as written.
    EXPECT_EQ(Read(CoreFolder(work), "1.files\\siuu.css"), sheetOf("siuu"));
    EXPECT_EQ(Read(CoreFolder(work), "1.files\\siuu.png"), "PNG siuu");
  }
}

TEST(PageImport, UnsafeNamesFromThePageAreSkippedQuietly) {
  // A device, characters Windows forbids, a control character, a name too long, "..", and a
  // frame page named as a device: none is fetched, written or listed; the rest goes on.
  const std::string longName = std::string(300, 'x') + ".gif";
  const std::string html =
      "<img src=\"con.gif\"><img src=\"a%2Ab.gif\"><img src=\"a%01b.gif\">"
      "<img src=\"" +
      longName +
      "\"><link href=\"%2E%2E\">"
      "<iframe src=\"nul.htm\"></iframe><img src=\"ok.gif\">\n</body></html>\n";
  const std::string s = kSiteUrl;
  TempFolder work;
  FakeFetcher fetcher;
  for (const char* name : {"con.gif", "a*b.gif",
                           "a\x01"
                           "b.gif",
                           "..", "nul.htm", "ok.gif"})
    fetcher.web[s + name] = "x";
  fetcher.web[s + longName] = "x";
  PageImportState state;
  ASSERT_TRUE(RunPageImport(html, s + "u.htm", 2, CoreFolder(work), fetcher, fetcher, state));
  EXPECT_THAT(fetcher.fetched, ElementsAre(s + "ok.gif"));
  EXPECT_THAT(fetcher.texts, IsEmpty());
  EXPECT_THAT(state.FailedUrls, IsEmpty());
  EXPECT_EQ(Listing(work.path()), (std::set<std::string>{"2.htm", "2.files/", "2.files/ok.gif"}));
}

#ifndef _WIN32
TEST(PageImport, PosixPathsArePresentedAsDriveZ) {
  EXPECT_EQ(platform::CorePath("/home/u/site/index.htm"), "Z:\\home\\u\\site\\index.htm");
  EXPECT_EQ(platform::CorePath("relative/x"), "relative/x");
  for (auto [core, native] : std::vector<std::pair<std::string, std::string>>{
           {"Z:\\home\\u\\a.gif", "/home/u/a.gif"},
           {"z:/home/u/", "/home/u/"},
           {"Z:", "/"},
           {"C:\\secret\\a.gif", "/dev/null/C/secret/a.gif"},
           {"c:secret", "/dev/null/c/secret"},
           {"/tmp/x\\y", "/tmp/x/y"}})
    EXPECT_EQ(platform::NativePath(core), native) << core;
  EXPECT_FALSE(platform::CreateDirectoryLevel("C:\\lorvex-nowhere"));
}
#endif

}  // namespace
}  // namespace lorvex
