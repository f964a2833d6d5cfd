// Every place where a name taken from a document becomes a file: the archive's part names, the
// page import's references and the sub-pages it saves (and their own references one level
// down). Whatever the name, nothing may be written outside the import's folder, on either
// build, and names that a case-insensitive file system would merge must not overwrite each
// other.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "import/ArchiveImport.h"
#include "import/PageImport.h"
#include "platform/Platform.h"
#include "support/SyncFetcher.h"
#include "support/TempFolder.h"
#include "util/FileOperation.h"
#include "util/Strings.h"
#include "util/UrlPath.h"

namespace lorvex {
namespace {

namespace fs = std::filesystem;

// Escapes all aim at this one name, so that a stray file is easy to look for.
constexpr const char* kEscapeName = "lvx_escape.gif";

// Names as a document gives them. Each is used as an archive part's Content-Location, as an
// image and as a frame of a page (served from the web and read from disk), and as an image of
// the frame's page.
const std::vector<std::string> kHostileNames = [] {
  const std::string e = kEscapeName;
  std::vector<std::string> names = {"..",
                                    ".",
                                    "../" + e,
                                    "..\\..\\" + e,
                                    "%2E%2E%5C%2E%2E%5C" + e,
                                    "/tmp/" + e,
                                    "C:\\" + e,
                                    "C:" + e,
                                    "c:/" + e,
                                    "\\\\server\\share\\" + e,
                                    "//server/share/" + e,
                                    "file:///C:/" + e,
                                    "CON",
                                    "con.txt",
                                    "NUL",
                                    "nul.htm",
                                    "COM1",
                                    "com1.gif",
                                    "LPT1.log",
                                    "lpt1.htm",
                                    "AUX",
                                    "aux.css",
                                    "PRN",
                                    "prn.htm",
                                    "CONIN$",
                                    "conin$.gif",
                                    "CONOUT$",
                                    "conout$.htm",
                                    "a.txt:stream",
                                    "a.gif:stream.gif",
                                    "p.htm:x.htm",
                                    "dot.gif.",
                                    "dot.htm.",
                                    "space.gif ",
                                    "space.htm ",
                                    "dots.gif...",
                                    "x.gif%00.htm",
                                    "q.gif?a=../" + e};
  for (size_t length : {255, 300})
    for (const char* extension : {".gif", ".htm"})
      names.push_back(std::string(length - 4, 'n') + extension);
  return names;
}();

// Whether Windows would store a file under exactly this name, written out independently of
// the import's own rule: no reserved character, no trailing dot or space, no device name
// (with any extension), at most 255 characters.
bool PlainOnEverySystem(const std::string& name) {
  if (name.empty() || name.size() > 255 || name.back() == '.' || name.back() == ' ') return false;
  for (unsigned char c : name)
    if (c < 32 || std::string_view("<>:\"/\\|?*").find(char(c)) != std::string_view::npos)
      return false;
  std::string base = AsciiLowerCase(name.substr(0, name.find('.')));
  while (!base.empty() && base.back() == ' ') base.pop_back();
  for (const char* device : {"con", "prn", "aux", "nul", "conin$", "conout$", "clock$"})
    if (base == device) return false;
  return !(base.size() == 4 && (base.starts_with("com") || base.starts_with("lpt")) &&
           base[3] >= '0' && base[3] <= '9');
}

// Every file and folder below root, "/" separated, folders ending in "/".
std::set<std::string> Listing(const fs::path& root) {
  std::set<std::string> names;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    std::string name = entry.path().lexically_relative(root).generic_string();
    names.insert(entry.is_directory() ? name + "/" : name);
  }
  return names;
}

// A temporary folder holding the work folder beside a sentinel folder: the import may write
// inside the work folder only.
class PathSafety : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(platform::CreateDirectoryLevel(work_));
    ASSERT_TRUE(platform::CreateDirectoryLevel(temp_.path() + "/sentinel"));
    temp_.File("sentinel/keep.txt", "keep");
    temp_.File("in.mht", "");
    before_ = Outside();
  }

  // Nothing changed beside the work folder, no escape file anywhere near it, and everything
  // inside it lies in the page's layout under a name that every system can hold.
  void ExpectContained(const std::string& what) {
    EXPECT_EQ(Outside(), before_) << what;
    const fs::path parent = fs::path(temp_.path()).parent_path();
    for (const fs::path& folder :
         {parent, parent.parent_path(), fs::current_path(), fs::path(temp_.path()).root_path()})
      EXPECT_FALSE(fs::exists(folder / kEscapeName)) << what << " in " << folder;
#ifdef _WIN32
    EXPECT_FALSE(platform::FileExists(std::string("C:\\") + kEscapeName)) << what;
#endif
    for (const std::string& entry : Listing(work_)) {
      std::vector<std::string> levels;
      for (const auto& level : fs::path(entry).lexically_normal())
        if (!level.empty()) levels.push_back(level.string());
      EXPECT_LE(levels.size(), 3u) << what << ": " << entry;
      for (const std::string& level : levels)
        EXPECT_TRUE(PlainOnEverySystem(level)) << what << ": " << entry;
    }
  }

  std::set<std::string> Outside() {
    std::set<std::string> names;
    for (const std::string& name : Listing(temp_.path()))
      if (name.rfind("work/", 0) != 0) names.insert(name);
    return names;
  }

  support::TempFolder temp_;
  const std::string work_ = temp_.path() + "/work";
  std::set<std::string> before_;
};

std::string Crlf(std::initializer_list<std::string_view> lines) {
  std::string text;
  for (std::string_view line : lines) (text += line) += "\r\n";
  return text;
}

// An archive with a page and one resource part per location, each holding its location in
// base64 (the body decodes to "part N").
std::string ArchiveOf(const std::vector<std::string>& locations) {
  std::string archive =
      Crlf({"Content-Type: multipart/related; boundary=\"zz\"; type=\"text/html\"", "", "--zz",
            "Content-Type: text/html", "Content-Location: http://h/d/p.htm", "", "<p>page"});
  for (size_t i = 0; i < locations.size(); ++i) {
    archive += Crlf({"--zz", "Content-Type: image/gif", "Content-Transfer-Encoding: base64",
                     "Content-Location: " + locations[i], ""});
    archive += Crlf({i % 2 ? "cGFydCAx" : "cGFydCAw"});  // "part 1" / "part 0"
  }
  return archive + Crlf({"--zz--", ""});
}

TEST_F(PathSafety, ArchivePartNames) {
  for (const std::string& name : kHostileNames) {
    std::vector<std::string> messages;
    const std::string archive = temp_.File("in.mht", ArchiveOf({name, "http://h/d/" + name}));
    ImportMhtFile(archive, platform::CorePath(work_), "15", TMhtHost{}, nullptr, messages);
    ExpectContained("archive part " + name);
  }
}

// A fake web that serves every URL; a page's text names the same hostile reference again.
class EchoFetcher : public support::SyncFetcher {
 public:
  std::string reference;
  bool FetchToFile(const std::string& url, const std::string& fileName) override {
    try {
      WriteFileBytes(fileName, url);
      return true;
    } catch (...) {
      return false;
    }
  }
  std::optional<std::string> FetchText(const std::string&) override {
    return "<img src=\"" + reference + "\"><iframe src=\"" + reference + "\"></iframe>";
  }
  void ProcessMessages() override {}
  bool HasProgressBar() const override { return false; }
  void SetProgress(int) override {}
  bool StopAll() const override { return false; }
};

TEST_F(PathSafety, PageReferencesAndSubPages) {
  // A page read from disk may name local files: its references are copied or read, not
  // fetched.
  const std::string site = temp_.path() + "/sentinel";
  const std::vector<std::string> pageUrls = {"http://site.test/d/index.htm",
                                             platform::CorePath(site) + "\\index.htm"};
  for (const std::string& pageUrl : pageUrls) {
    for (const std::string& name : kHostileNames) {
      EchoFetcher fetcher;
      fetcher.reference = name;
      const std::string html = *fetcher.FetchText("");
      PageImportState state;
      RunPageImport(html, pageUrl, 15, platform::CorePath(work_), fetcher, fetcher, state);
      ExpectContained(pageUrl + " references " + name);
      fs::remove_all(work_);
      ASSERT_TRUE(platform::CreateDirectoryLevel(work_));
    }
  }
}

// Names that differ only in letter case are one file on Windows: neither may overwrite the
// other, so the outcome is the same on both builds.
TEST_F(PathSafety, NamesThatDifferOnlyInCase) {
  std::vector<std::string> messages;
  ImportMhtFile(temp_.File("in.mht", ArchiveOf({"http://h/d/A.gif", "http://h/d/a.gif"})),
                platform::CorePath(work_), "15", TMhtHost{}, nullptr, messages);
  ExpectContained("archive");
  EXPECT_EQ(Listing(work_ + "/15.files"), std::set<std::string>{"A.gif"});
  EXPECT_EQ(ReadFileBytes(work_ + "/15.files/A.gif"), "part 0");
  EXPECT_EQ(messages.size(), 1u);
  fs::remove_all(work_);

  ASSERT_TRUE(platform::CreateDirectoryLevel(work_));
  EchoFetcher fetcher;
  PageImportState state;
  // References that differ only in case are one resource by the import's rule; these differ
  // in their folders too, so they are two resources whose names would merge.
  RunPageImport(
      "<img src=\"x/A.gif\"><img src=\"y/a.gif\"><iframe src=\"x/F.htm\"></iframe>"
      "<iframe src=\"y/f.htm\"></iframe>",
      "http://site.test/d/", 15, platform::CorePath(work_), fetcher, fetcher, state);
  ExpectContained("page");
  std::set<std::string> images, pages;
  for (const auto& entry : fs::directory_iterator(work_ + "/15.files")) {
    const std::string name = AsciiLowerCase(entry.path().filename().string());
    if (name.ends_with(".gif")) images.insert(ReadFileBytes(entry.path().string()));
    if (name.ends_with(".htm")) pages.insert(name);
  }
  EXPECT_EQ(images,
            (std::set<std::string>{"http://site.test/d/x/A.gif", "http://site.test/d/y/a.gif"}));
  EXPECT_EQ(pages.size(), 2u);
}

}  // namespace
}  // namespace lorvex
