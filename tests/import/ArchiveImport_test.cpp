#include "import/ArchiveImport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/Platform.h"
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
  EXPECT_EQ(Read("15.files/q.css"), "\r\n<img src=" + Slashed() + "/15.files/a.gif>          \r\n");
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

TEST_F(MhtImport, UnreadableArchiveFails) {
  std::vector<std::string> messages;
  EXPECT_THROW(ImportMhtFile(temp.path() + "/none.mht", work, "1", host, nullptr, messages),
               FileError);
}

}  // namespace
}  // namespace lorvex
