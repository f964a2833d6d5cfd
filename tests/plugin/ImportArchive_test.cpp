// Extension 1 through initalize, in-process: the archive's page and parts reach the host
// stream, and a folder failure asks the host for its message text.
#include "plugin/ImportArchive.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/win32/MemoryStream.h"
#include "plugin/lorvex.h"
#include "support/TempFolder.h"

namespace lorvex {
namespace {

std::vector<std::string> askedKeys;

__attribute__((regparm(1))) const char* RecordingHostMessage(const char* key) {
  askedKeys.push_back(key ? key : "");
  return "Folder %s is missing";
}

const char kArchive[] =
    "Content-Type: multipart/related; boundary=\"zz\"; type=\"text/html\"\r\n"
    "\r\n"
    "--zz\r\n"
    "Content-Type: text/html\r\n"
    "Content-Transfer-Encoding: quoted-printable\r\n"
    "Content-Location: http://h/d/p.htm\r\n"
    "\r\n"
    "<p>caf=E9</p>\r\n"
    "--zz\r\n"
    "Content-Type: image/gif\r\n"
    "Content-Transfer-Encoding: base64\r\n"
    "Content-Location: http://h/d/a.gif\r\n"
    "\r\n"
    "R0lGODlh\r\n"
    "--zz--\r\n"
    "\r\n";

class ImportArchiveDispatch : public testing::Test {
 protected:
  bool Run(const std::string& work) {
    askedKeys.clear();
    archive_ = folder_.File("in.mht", kArchive);
    work_ = work;
    TPlugInRequest request{};
    request.WorkFolder = work_.c_str();
    request.TemplateFolder = "";
    request.DocumentId = 42;
    request.FileName = archive_.c_str();
    request.PackMode = 0;  // stored: the entries' bytes can be found in the stream
    request.GetHostMessage = RecordingHostMessage;
    bool isPage = false;
    bool result = initalize(request, 1, &host_, &isPage);
    EXPECT_TRUE(isPage);
    return result;
  }

  support::TempFolder folder_;
  std::string archive_, work_;
  win32::ComPtr<IStream> stream_ = win32::NewMemoryStream();
  IStream* host_ = stream_.Get();
};

TEST_F(ImportArchiveDispatch, PageAndPartsReachTheHostStream) {
  ASSERT_TRUE(Run(folder_.path()));
  EXPECT_TRUE(askedKeys.empty());
  std::string packed = win32::ReadAll(stream_.Get());
  EXPECT_EQ(packed.substr(0, 4), "PK\x03\x04");
  EXPECT_NE(packed.find("42.htm"), std::string::npos);
  EXPECT_NE(packed.find("42.files/a.gif"), std::string::npos);
  EXPECT_NE(packed.find("GIF89a"), std::string::npos);
  EXPECT_NE(packed.find("<p>caf\xE9</p>"), std::string::npos);
}

TEST_F(ImportArchiveDispatch, QuitMessageMetDuringTheImportIsLeftForTheHost) {
  MSG message;
  while (::PeekMessageA(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
  }
  ::PostQuitMessage(5);
  ASSERT_TRUE(Run(folder_.path()));  // the import goes on to its end
  ASSERT_TRUE(::PeekMessageA(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
  EXPECT_EQ(message.wParam, WPARAM(5));
  EXPECT_FALSE(::PeekMessageA(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));  // once only
}

TEST_F(ImportArchiveDispatch, MissingWorkFolderAsksForTheMessageAndFails) {
  // Nothing could be written, so nothing reaches the host: the import reports failure.
  EXPECT_FALSE(Run(folder_.path() + "\\no\\work"));
  EXPECT_EQ(askedKeys, (std::vector<std::string>{"DirectoryCreateFail", "DirectoryCreateFail"}));
  EXPECT_EQ(win32::ReadAll(stream_.Get()), "");
}

}  // namespace
}  // namespace lorvex
