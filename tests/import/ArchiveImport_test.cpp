#include "import/ArchiveImport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "platform/Charset.h"
#include "platform/Platform.h"
#include "support/ArchiveModel.h"
#include "support/ArchiveSamples.h"
#include "support/TempFolder.h"
#include "util/FileOperation.h"

namespace lorvex {
namespace {

TEST(MessagePattern, FormatsTheOneStringArgument) {
  EXPECT_EQ(FormatMessagePattern("Cannot create %s!", "C:\\W"), "Cannot create C:\\W!");
  EXPECT_EQ(FormatMessagePattern("100%% %d %s", "x"), "100% %d x");
  EXPECT_EQ(FormatMessagePattern("trailing %", "x"), "trailing %");
}

// The writer and the whole import, on real folders.
class MhtImport : public ::testing::Test {
 protected:
  support::TempFolder temp;
  std::string work = temp.path() + "/work";
  std::vector<std::string> keys;
  TMhtHost host{[this](const char* key) {
                  keys.push_back(key);
                  return std::string("No folder: %s");
                },
                nullptr};

  std::vector<std::string> Import(const std::string& archive) {
    std::vector<std::string> messages;
    ImportMhtFile(temp.File("in.mht", archive), work, "15", host, nullptr, messages);
    return messages;
  }
  std::string Read(const std::string& name) { return ReadFileBytes(work + "/" + name); }
  // The work folder as page links name it: its path with "/" for every "\".
  std::string Slashed() {
    std::string path = work;
    std::replace(path.begin(), path.end(), '\\', '/');
    return path;
  }
  // The names in a folder of the work folder, as the file system lists them (asking for a
  // device name such as con.gif would find the device).
  std::vector<std::string> Listing(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(work + "/" + folder))
      names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }
  bool Exists(const std::string& name) { return platform::FileExists(work + "/" + name); }
};

TEST_F(MhtImport, WritesThePageAndTheResources) {
  ASSERT_TRUE(platform::CreateDirectoryLevel(work));
  EXPECT_TRUE(Import(kSavedPage).empty());
  // The link points at the part file through the parts folder's full path, written with "/".
  EXPECT_EQ(Read("15.htm"),
            Crlf({"", "<html><img src=\"" + Slashed() + "/15.files/logo.gif\">", "</html>", ""}));
  EXPECT_EQ(Read("15.files/logo.gif"), "GIF89a");
  EXPECT_FALSE(Exists("15.files/notes.txt"));
}

TEST_F(MhtImport, MissingWorkFolderIsReportedThroughTheHostPattern) {
  work = temp.path() + "/missing/work";
  std::vector<std::string> messages = Import(kSavedPage);
  EXPECT_EQ(keys, (std::vector<std::string>{"DirectoryCreateFail", "DirectoryCreateFail"}));
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[0], "No folder: " + work);
  EXPECT_EQ(messages[1], "No folder: " + work + "\\15.files\\");
  EXPECT_FALSE(platform::DirectoryExists(work));
}

TEST_F(MhtImport, EmptyWorkFolderWritesNothingAnywhere) {
  work = "";
  std::vector<std::string> messages = Import(kSavedPage);
  EXPECT_EQ(messages.size(), 2u);
  EXPECT_FALSE(platform::DirectoryExists("15.files"));
  EXPECT_FALSE(platform::FileExists("15.htm"));
}

TEST_F(MhtImport, UnsafeNamesAreSkippedAndTheRestIsWritten) {
  ASSERT_TRUE(platform::CreateDirectoryLevel(work));
  std::string archive =
      Crlf({"Content-Type: multipart/related; boundary=\"x\"; type=\"text/html\"", ""});
  auto part = [&](std::string_view location, std::string_view body) {
    archive += Crlf({"--x", "Content-Type: image/gif", "Content-Transfer-Encoding: base64",
                     "Content-Location: " + std::string(location), "", std::string(body)});
  };
  part("http://h/p.htm", "PGI+");  // the page, base64: "<b>"
  part("http://h/con.gif", "QUFB");
  part("http://h/a%3Cb.gif", "QUFB");
  part("http://h/a%0A.gif", "QUFB");
  part("http://h/" + std::string(300, 'n') + ".gif", "QUFB");
  part("http://h/%2E%2E%5C..%5Cx.gif", "QUFB");  // decodes to ..\..\x.gif: its name is x.gif
  part("http://h/ok.gif", "T0s=");
  archive += Crlf({"--x--", "", ""});
  std::vector<std::string> messages = Import(archive);
  EXPECT_EQ(messages.size(), 4u);
  EXPECT_EQ(Read("15.htm"), "<b>\r\n");
  EXPECT_EQ(Read("15.files/ok.gif"), "OK");
  EXPECT_EQ(Read("15.files/x.gif"), "AAA");
  EXPECT_EQ(Listing("15.files"), (std::vector<std::string>{"ok.gif", "x.gif"}));
  EXPECT_FALSE(platform::FileExists(temp.path() + "/x.gif"));
}

TEST_F(MhtImport, LaterPartWithTheSameNameWinsAndEmptyLocationIsNotWritten) {
  ASSERT_TRUE(platform::CreateDirectoryLevel(work));
  std::string archive =
      Crlf({"Content-Type: multipart/related; boundary=\"x\"; type=\"text/html\"",
            "--x",
            "Content-Type: text/html",
            "Content-Transfer-Encoding: quoted-printable",
            "",
            "",
            "page",
            "--x",
            "Content-Type: image/gif",
            "Content-Transfer-Encoding: base64",
            "Content-Location: a/x.gif",
            "",
            "QQ==",
            "--x",
            "Content-Type: image/gif",
            "Content-Transfer-Encoding: base64",
            "Content-Location: b/x.gif",
            "",
            "Qg==",
            "--x",
            "Content-Type: text/css",
            "Content-Transfer-Encoding: base64",
            "Content-Location: s.css",
            "",
            "PGltZyBzcmM9YS5naWY+",  // "<img src=a.gif>" without a line break, stored byte for byte
            "--x",
            "Content-Type: text/css",
            "Content-Transfer-Encoding: quoted-printable",
            "Content-Location: q.css",
            "",
            "<img src=3Da.gif>          ",  // rewritten like a page
            "--x--",
            "",
            ""});
  EXPECT_TRUE(Import(archive).empty());
  EXPECT_EQ(Read("15.htm"), "\r\n\r\npage\r\n");  // from the empty line after the headers
  EXPECT_EQ(Read("15.files/x.gif"), "B");
  EXPECT_EQ(Read("15.files/s.css"), "<img src=a.gif>");
  // a.gif is not in the archive and the page has no web address: the reference stays.
  EXPECT_EQ(Read("15.files/q.css"), "\r\n<img src=a.gif>          \r\n");
}

TEST_F(MhtImport, UnencodedBodiesAreWrittenAsTheyStand) {
  ASSERT_TRUE(platform::CreateDirectoryLevel(work));
  // Binary bytes with lone CR and LF, CR LF pairs and a trailing CR; an 8bit style sheet is
  // not rewritten; the page is written as lines with its links rewritten.
  constexpr char kBinary[] = "\x89PNG\r\n\x1a\n\x00\rA\n\nB\r\r\n=3D\r";
  const std::string binary(kBinary, sizeof kBinary - 1);
  std::string archive =
      Crlf({"Content-Type: multipart/related; boundary=\"zq9\"", "", "--zq9",
            "Content-Type: text/html", "Content-Transfer-Encoding: 8bit",
            "Content-Location: http://h/p.htm", "", "<img src=\"i.png\"> =3D caf\xe9", "--zq9",
            "Content-Type: image/png", "Content-Transfer-Encoding: binary",
            "Content-Location: http://h/i.png", ""}) +
      binary + "\r\n" +
      Crlf({"--zq9", "Content-Type: text/css", "Content-Transfer-Encoding: 7bit",
            "Content-Location: http://h/s.css", "", "a{background:url(i.png)}", "", "--zq9",
            "Content-Type: image/gif", "Content-Transfer-Encoding: binary",
            "Content-Location: http://h/e.gif", "", "--zq9--", ""});
  EXPECT_TRUE(Import(archive).empty());
  EXPECT_EQ(Read("15.htm"),
            Crlf({"", "<img src=\"" + Slashed() + "/15.files/i.png\"> =3D caf\xe9"}));
  EXPECT_EQ(Read("15.files/i.png"), binary);
  EXPECT_EQ(Read("15.files/s.css"), "a{background:url(i.png)}\r\n");
  EXPECT_EQ(Read("15.files/e.gif"), "");
}

// Names that differ only in letter case are one file on Windows: whichever comes first is
// written, the later part is not (a message names it), in either order.
TEST_F(MhtImport, PartNamedLikeAnEarlierOneInAnotherCaseIsNotWritten) {
  for (auto [first, second] :
       {std::pair<std::string, std::string>{"logo.gif", "LOGO.GIF"}, {"LOGO.GIF", "logo.gif"}}) {
    // Folders apart: on Windows the two names are one.
    work = temp.path() + "/" + (first == "logo.gif" ? "lower-first" : "upper-first");
    ASSERT_TRUE(platform::CreateDirectoryLevel(work));
    std::string archive =
        Crlf({"Content-Type: multipart/related; boundary=\"x\"; type=\"text/html\"", "--x",
              "Content-Type: text/html", "Content-Location: http://h/p.htm", "", "<b>"});
    for (const std::string& name : {first, second})
      archive += Crlf({"--x", "Content-Type: image/gif", "Content-Transfer-Encoding: base64",
                       "Content-Location: http://h/" + name, "",
                       name == first ? "Rmlyc3Q=" : "U2Vjb25k"});  // "First", "Second"
    archive += Crlf({"--x--", "", ""});
    std::vector<std::string> messages = Import(archive);
    ASSERT_EQ(messages.size(), 1u) << first;
    EXPECT_NE(messages[0].find("\"" + second + "\""), std::string::npos) << messages[0];
    EXPECT_EQ(Listing("15.files"), std::vector<std::string>{first});
    EXPECT_EQ(Read("15.files/" + first), "First");
  }
}

// A mail's HTML part that ends in its last picture: every tag is found up to the last byte,
// in an LF-only archive too.
TEST_F(MhtImport, PageEndingInATagHasItRewritten) {
  ASSERT_TRUE(platform::CreateDirectoryLevel(work));
  for (bool lfOnly : {false, true}) {
    std::string archive =
        Crlf({"Content-Type: multipart/related; boundary=\"=_b1\"; type=\"text/html\"",
              "",
              "--=_b1",
              "Content-Type: text/html",
              "Content-Transfer-Encoding: 8bit",
              "",
              "<p><img src=\"cid:one@x\"/></p><p><img src=\"cid:two@x\"/></p>",
              "--=_b1",
              "Content-Type: image/gif",
              "Content-Transfer-Encoding: base64",
              "Content-ID: <one@x>",
              "Content-Location: one.gif",
              "",
              "R0lG",
              "--=_b1",
              "Content-Type: image/gif",
              "Content-Transfer-Encoding: base64",
              "Content-ID: <two@x>",
              "Content-Location: two.gif",
              "",
              "R0lG",
              "--=_b1--"});
    if (lfOnly) std::erase(archive, '\r');
    EXPECT_TRUE(Import(archive).empty());
    const std::string folder = Slashed() + "/15.files/";
    EXPECT_EQ(Read("15.htm"),
              Crlf({"", "<p><img src=\"" + folder + "one.gif\"/></p><p><img src=\"" + folder +
                            "two.gif\"/></p>"}))
        << lfOnly;
  }
}

// A part named by its location with a name outside ASCII: the file keeps the name, the page
// points at it as a URL does.
TEST_F(MhtImport, LocationNamesOutsideAsciiAreWrittenAsUrls) {
  ASSERT_TRUE(platform::CreateDirectoryLevel(work));
  const std::string archive =
      Crlf({"Content-Type: multipart/related; boundary=\"=_b1\"; type=\"text/html\"", "", "--=_b1",
            "Content-Type: text/html", "Content-Transfer-Encoding: 8bit",
            "Content-Location: http://h/p.htm", "", "<img src=\"caf%C3%A9 1.png\">", "--=_b1",
            "Content-Type: image/png", "Content-Transfer-Encoding: base64",
            "Content-Location: http://h/caf%C3%A9 1.png", "", "R0lG", "--=_b1--"});
  EXPECT_TRUE(Import(archive).empty());
  // The name's bytes are a file name in the system's text (the ANSI code page on Windows).
  std::string utf8, encoded;
  ASSERT_TRUE(platform::FileNameTextToUtf8("caf\xC3\xA9", utf8));
  for (unsigned char c : utf8) {
    char hex[4];
    std::snprintf(hex, sizeof hex, "%%%02X", c);
    encoded += c < 0x80 ? std::string(1, char(c)) : std::string(hex);
  }
  EXPECT_EQ(Read("15.htm"),
            Crlf({"", "<img src=\"" + Slashed() + "/15.files/" + encoded + "%201.png\">"}));
  EXPECT_EQ(Read("15.files/caf\xC3\xA9 1.png"), "GIF");
}

// Every name is written into the page as a URL names it, whether it came from a location
// or from the headers of a part known by its Content-ID; a reference to a part the archive
// does not hold keeps its web address (joined with the page's location as written), and one
// that has no web address or names no part by cid: stays as it is.
TEST_F(MhtImport, NamesAreWrittenAsUrlsAndMissingPartsKeepTheirWebAddress) {
  ASSERT_TRUE(platform::CreateDirectoryLevel(work));
  auto archive = [](const std::string& pageLocation) {
    return Crlf({"Content-Type: multipart/related; boundary=\"b\"; type=\"text/html\"", "", "--b",
                 "Content-Type: text/html", "Content-Transfer-Encoding: quoted-printable",
                 "Content-Location: " + pageLocation, "",
                 "<img src=3D\"a%231.png\"><img src=3D\"cid:pc\"><img src=3D\"gone.png\">",
                 "<img src=3D\"../up/Gone.gif?v=3D1\"><img src=3D\"cid:nopart\"><img src=3D\"cid:q?1\">",
                 "<link rel=3Dstylesheet href=3D\"s.css\"><script src=3D\"x.js\"></script>", "--b",
                 "Content-Type: image/png", "Content-Transfer-Encoding: base64",
                 "Content-Location: http://h/my%20d/a%231.png", "", "QQ==", "--b",
                 "Content-Type: image/png; name=\"100%25 off.png\"", "Content-ID: <pc>",
                 "Content-Transfer-Encoding: base64", "", "Qg==", "--b", "Content-Type: image/png",
                 "Content-ID: <q?1>", "Content-Disposition: inline; filename=\"it's (1).png\"",
                 "Content-Transfer-Encoding: base64", "", "Qw==", "--b", "Content-Type: text/css",
                 "Content-Location: http://h/my%20d/s.css", "",
                 "p{background:url(cid:q?1)} b{background:url(gone.png)}", "--b--", ""});
  };
  struct Case {
    std::string pageLocation, missing, up, script;
  } cases[] = {
      // escapes of the location stay; the missing picture's path is resolved as a browser does
      {"http://h/my%20d/page.htm", "http://h/my%20d/gone.png", "http://h/up/Gone.gif?v=1",
       "http://h/my%20d/x.js"},
      // no web address to keep: the references stay as written
      {"file:///C:/my%20d/page.htm", "gone.png", "../up/Gone.gif?v=1", "x.js"},
  };
  for (const Case& c : cases) {
    std::filesystem::remove_all(work + "/15.files");
    EXPECT_TRUE(Import(archive(c.pageLocation)).empty()) << c.pageLocation;
    const std::string folder = Slashed() + "/15.files/";
    EXPECT_EQ(Read("15.htm"),
              Crlf({"", "<img src=\"" + folder + "a%231.png\"><img src=\"" + folder +
                            "100%2525%20off.png\"><img src=\"" + c.missing + "\">",
                    "<img src=\"" + c.up + "\"><img src=\"cid:nopart\"><img src=\"" + folder +
                        "it%27s%20%281%29.png\">",
                    "<link rel=stylesheet href=\"" + folder + "s.css\"><script src=\"" + c.script +
                        "\"></script>"}))
        << c.pageLocation;
    // The files keep their names; a sheet names its neighbour by its bare name.
    EXPECT_EQ(Listing("15.files"),
              (std::vector<std::string>{"100%25 off.png", "a#1.png", "it's (1).png", "s.css"}));
    EXPECT_EQ(Read("15.files/a#1.png"), "A");
    EXPECT_EQ(Read("15.files/s.css"),
              "p{background:url(it%27s%20%281%29.png)} b{background:url(gone.png)}");
  }
}

TEST_F(MhtImport, AnyLineBreaksComeOutAsCrLfLines) {
  ASSERT_TRUE(platform::CreateDirectoryLevel(work));
  // LF-only and CR-only archives, a soft break and an encoded CR LF in the page.
  for (std::string_view br : {"\n", "\r"}) {
    std::string archive;
    for (std::string_view line :
         {"Content-Type: multipart/related; boundary=\"zq\"", "--zq", "Content-Type: text/html",
          "Content-Transfer-Encoding: quoted-printable", "Content-Location: p.htm", "",
          "a=", "b=0D=0Ac", "--zq", "Content-Type: text/css",
          "Content-Transfer-Encoding: quoted-printable", "Content-Location: s.css", "", "x{}",
          "--zq--", "", ""})
      (archive += line) += br;
    EXPECT_TRUE(Import(archive).empty());
    EXPECT_EQ(Read("15.htm"), "\r\nab\r\nc\r\n");
    EXPECT_EQ(Read("15.files/s.css"), "\r\nx{}\r\n");
  }
}

TEST_F(MhtImport, ArchiveWithoutDelimiterIsSavedWhole) {
  ASSERT_TRUE(platform::CreateDirectoryLevel(work));
  EXPECT_TRUE(Import("Content-Type: multipart/related; boundary=abc\n--abc\rbody=41").empty());
  EXPECT_EQ(Read("15.htm"),
            Crlf({"Content-Type: multipart/related; boundary=abc", "--abc", "body=41"}));
  work = temp.path() + "/missing";
  EXPECT_THROW(Import("Content-Type: image/gif; boundary=abc"), FileError);
}

// A mail whose HTML shows its pictures by Content-ID: one named by an encoded word, one
// without any name, one whose declared name a location-named part has taken, one set before
// the page (as an application part), one that nothing names.
TEST_F(MhtImport, MailPicturesNamedByContentId) {
  ASSERT_TRUE(platform::CreateDirectoryLevel(work));
  const std::string archive = Crlf({
      "From: a@example.com",
      "MIME-Version: 1.0",
      "Content-Type: multipart/mixed; boundary=\"mix-1\"",
      "",
      "--mix-1",
      "Content-Type: application/octet-stream; name=early.bin",
      "Content-ID: <early@x>",
      "Content-Transfer-Encoding: base64",
      "",
      "RUFSTFk=",
      "--mix-1",
      "Content-Type: multipart/related; boundary=\"rel-1\"; type=\"text/html\"",
      "",
      "--rel-1",
      "Content-Type: text/html; charset=utf-8",
      "Content-Transfer-Encoding: quoted-printable",
      "",
      "<img src=3D\"cid:note@example.com\"><img src=3D'cid:Second%40x'>",
      "<td background=3D\"cid:logo@x\"><a href=3D\"cid:early@x\">e</a> and the text after it",
      "--rel-1",
      "Content-Type: image/png;",
      "\tname=\"=?UTF-8?Q?caf=C3=A9?= =?UTF-8?Q?.png?=\"",
      "Content-ID: <note@example.com>",
      "Content-Transfer-Encoding: base64",
      "",
      "T05F",
      "--rel-1",
      "Content-Type: image/png",
      "Content-ID: <Second@x>",
      "Content-Transfer-Encoding: base64",
      "",
      "VFdP",
      "--rel-1",
      "Content-Type: image/gif",
      "Content-Disposition: inline; filename=\"logo.gif\"",
      "Content-ID: <logo@x>",
      "Content-Transfer-Encoding: base64",
      "",
      "Q0lE",
      "--rel-1",
      "Content-Type: image/gif",
      "Content-Location: http://h/Logo.GIF",
      "Content-Transfer-Encoding: base64",
      "",
      "TE9D",
      "--rel-1",
      "Content-Type: image/png",
      "Content-ID: <unused@x>",
      "Content-Transfer-Encoding: base64",
      "",
      "VU5V",
      "--rel-1--",
      "--mix-1--",
      "",
  });
  EXPECT_TRUE(Import(archive).empty());
  // The encoded name as the platform converts it; the parts folder's position counts from 1.
  // The page names it in UTF-8, percent-encoded, whatever the system's 8-bit names are.
  std::string cafe, cafeInPage = "caf%C3%A9.png";
  if (!platform::ConvertToFileNameText("utf-8", "caf\xc3\xa9.png", cafe))
    cafe = cafeInPage = "part4.png";
  const std::string folder = Slashed() + "/15.files/";
  EXPECT_EQ(
      Read("15.htm"),
      Crlf({"", "<img src=\"" + folder + cafeInPage + "\"><img src='" + folder + "part5.png'>",
            "<td background=\"" + folder + "logo[2].gif\"><a href=\"" + folder +
                "early.bin\">e</a> and the text after it"}));
  // Five files (the listing shows names in its own character set, so they are asked for by
  // the names the import wrote).
  EXPECT_EQ(Listing("15.files").size(), 5u);
  EXPECT_EQ(Read("15.files/" + cafe), "ONE");
  EXPECT_EQ(Read("15.files/part5.png"), "TWO");
  EXPECT_EQ(Read("15.files/logo[2].gif"), "CID");
  EXPECT_EQ(Read("15.files/Logo.GIF"), "LOC");
  EXPECT_EQ(Read("15.files/early.bin"), "EARLY");
}

// A browser's single-file save: style sheets by cid: locations, frames by Content-ID. A frame
// is written as a page of its own, and what it names is written too. The sheets (quoted-
// printable, unencoded, base64) name a background picture, a font and another sheet by
// url(cid:...) and @import: those point at the parts' bare names beside the sheet and the
// parts are written, through a chain of sheets too; the rest of a sheet stays as it was,
// including a cid: in a comment, whose part is not written.
TEST_F(MhtImport, SavedPageFramesAndStyleSheetsByContentId) {
  ASSERT_TRUE(platform::CreateDirectoryLevel(work));
  const std::string archive = Crlf({
      "Snapshot-Content-Location: https://ex.com/a/",
      "MIME-Version: 1.0",
      "Content-Type: multipart/related;",
      "\ttype=\"text/html\";",
      "\tboundary=\"----MultipartBoundary--q1----\"",
      "",
      "------MultipartBoundary--q1----",
      "Content-Type: text/html",
      "Content-ID: <frame-0@mhtml.blink>",
      "Content-Transfer-Encoding: binary",
      "Content-Location: https://ex.com/a/",
      "",
      "<link rel=3D\"stylesheet\" href=\"cid:css-1@mhtml.blink\"><link href=\"s.css\">",
      "<iframe src=\"cid:frame-2@mhtml.blink\"></iframe><iframe src=\"cid:frame-3@mhtml.blink\">",
      "</iframe></body></html>",
      "------MultipartBoundary--q1----",
      "Content-Type: text/css",
      "Content-Transfer-Encoding: quoted-printable",
      "Content-Location: cid:css-1@mhtml.blink",
      "",
      "@import \"cid:css-7@x\";",
      "p{color:red;background:url(cid:bg@x)}",
      "/* url(cid:unused@x) */ a{background:url(cid:gone@x)}",
      "------MultipartBoundary--q1----",
      "Content-Type: text/html",
      "Content-ID: <frame-2@mhtml.blink>",
      "Content-Transfer-Encoding: binary",
      "Content-Location: https://ex.com/f?id=2",
      "",
      "<img src=\"cid:pic@x\"><a href=\"next.htm\">n</a></body></html>",
      "------MultipartBoundary--q1----",
      "Content-Type: text/html",
      "Content-ID: <frame-3@mhtml.blink>",
      "Content-Transfer-Encoding: base64",
      "Content-Location: https://ex.com/b/f3.html",
      "",
      "PGltZyBzcmM9ImNpZDpwaWNAeCI+PC9ib2R5PjwvaHRtbD4=",  // <img src="cid:pic@x"></body></html>
      "------MultipartBoundary--q1----",
      "Content-Type: image/png",
      "Content-ID: <pic@x>",
      "Content-Transfer-Encoding: binary",
      "",
      "PNG",
      "------MultipartBoundary--q1----",
      "Content-Type: text/css",
      "Content-Transfer-Encoding: binary",
      "Content-Location: https://ex.com/a/s.css",
      "",
      "@font-face{font-family:f;src:url( \"cid:font%40x\" ) format(\"woff2\")}",
      "------MultipartBoundary--q1----",
      "Content-Type: text/css",
      "Content-ID: <css-7@x>",
      "Content-Transfer-Encoding: base64",
      "",
      "aXtiYWNrZ3JvdW5kOnVybChjaWQ6ZGVlcEB4KX0=",  // i{background:url(cid:deep@x)}
      "------MultipartBoundary--q1----",
      "Content-Type: image/png",
      "Content-Disposition: inline; filename=\"sky (1).png\"",
      "Content-ID: <bg@x>",
      "Content-Transfer-Encoding: binary",
      "",
      "SKY",
      "------MultipartBoundary--q1----",
      "Content-Type: font/woff2",
      "Content-ID: <font@x>",
      "Content-Transfer-Encoding: binary",
      "",
      "wOF2",
      "------MultipartBoundary--q1----",
      "Content-Type: image/gif",
      "Content-ID: <deep@x>",
      "Content-Transfer-Encoding: binary",
      "",
      "GIF",
      "------MultipartBoundary--q1----",
      "Content-Type: image/png",
      "Content-ID: <unused@x>",
      "Content-Transfer-Encoding: binary",
      "",
      "UNUSED",
      "------MultipartBoundary--q1------",
      "",
  });
  EXPECT_TRUE(Import(archive).empty());
  const std::string folder = Slashed() + "/15.files/";
  EXPECT_EQ(Read("15.htm"), Crlf({"",
                                  "<link rel=3D\"stylesheet\" href=\"" + folder +
                                      "part2.css\"><link href=\"" + folder + "s.css\">",
                                  "<iframe src=\"" + folder +
                                      "part3.htm\"></iframe><iframe src=\"" + folder + "f3.html\">",
                                  "</iframe></body></html>"}));
  EXPECT_EQ(Listing("15.files"), (std::vector<std::string>{"f3.html", "part10.gif", "part2.css",
                                                           "part3.htm", "part5.png", "part7.css",
                                                           "part9.bin", "s.css", "sky (1).png"}));
  // An unquoted name is escaped where the url() would otherwise end or break.
  EXPECT_EQ(
      Read("15.files/part2.css"),
      Crlf({"", "@import \"part7.css\";", "p{color:red;background:url(sky%20%281%29.png)}",
            "/* url(cid:unused@x) */ a{background:url(cid:gone@x)}"}));
  EXPECT_EQ(Read("15.files/s.css"),
            "@font-face{font-family:f;src:url( \"part9.bin\" ) format(\"woff2\")}");
  EXPECT_EQ(Read("15.files/part7.css"), "i{background:url(part10.gif)}");
  EXPECT_EQ(Read("15.files/sky (1).png"), "SKY");
  EXPECT_EQ(Read("15.files/part9.bin"), "wOF2");
  EXPECT_EQ(Read("15.files/part10.gif"), "GIF");
  // The frames: links rewritten as the page's are, anchors against the frame's own location.
  EXPECT_EQ(Read("15.files/part3.htm"),
            Crlf({"", "<img src=\"" + folder +
                          "part5.png\"><a href=\"https://ex.com/next.htm\">n</a></body></html>"}));
  EXPECT_EQ(Read("15.files/f3.html"),
            Crlf({"<img src=\"" + folder + "part5.png\"></body></html>"}));
  EXPECT_EQ(Read("15.files/part5.png"), "PNG");
}

// Archives in the saved-page layout: every file written is what the writer's model gives for
// the parts that the reader's model hands over.
TEST_F(MhtImport, SavedPageLayoutWritesTheFilesOfTheWriterModel) {
  std::mt19937 random(11);
  const std::string root = work;
  size_t files = 0;
  for (int round = 0; round < 300; ++round) {
    const std::string text = model::SavedPageLayoutArchive(random);
    const model::Walk walk = model::ReferenceReader(text).Run();
    if (!walk.walked) continue;
    work = root + std::to_string(round);
    ASSERT_TRUE(platform::CreateDirectoryLevel(work));
    EXPECT_TRUE(Import(text).empty());
    std::map<std::string, std::string> written;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(work)) {
      if (!entry.is_regular_file()) continue;
      written[std::filesystem::relative(entry.path(), work).generic_string()] =
          ReadFileBytes(entry.path().string());
    }
    ASSERT_EQ(written, model::ReferenceFiles(walk, work, "15")) << round << "\n" << text;
    files += written.size();
  }
  EXPECT_GT(files, 400u);
}

TEST_F(MhtImport, UnreadableArchiveFails) {
  std::vector<std::string> messages;
  EXPECT_THROW(ImportMhtFile(temp.path() + "/none.mht", work, "1", host, nullptr, messages),
               FileError);
}

}  // namespace
}  // namespace lorvex
