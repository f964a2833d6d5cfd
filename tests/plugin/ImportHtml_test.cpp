// The page import inside the library, with the progress dialog shown and the test server in
// this process: Stop pressed while the first pass fetches.
#include "plugin/ImportHtml.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>

#include "HostDialogs.h"
#include "dialogs/DialogIds.h"
#include "platform/win32/MemoryStream.h"
#include "platform/win32/UniqueHandle.h"
#include "plugin/PageImportSettings.h"
#include "support/TempFolder.h"
#include "support/TestHttpServer.h"

namespace lorvex {
namespace {

constexpr int kImages = 6;
constexpr int kStopAt = 2;  // the image whose request presses Stop

std::string ImageName(int i) { return "img" + std::to_string(i) + ".gif"; }

// The library's Connections setting for as long as this lives.
class ConnectionsSetting {
 public:
  explicit ConnectionsSetting(DWORD connections) {
    ::RegCreateKeyExA(HKEY_CURRENT_USER, kPageImportSettingsKey, 0, nullptr, 0, KEY_SET_VALUE,
                      nullptr, key_.put(), nullptr);
    ::RegSetValueExA(key_.get(), kConnectionsValue, 0, REG_DWORD,
                     reinterpret_cast<const BYTE*>(&connections), sizeof(connections));
  }
  ~ConnectionsSetting() { ::RegDeleteValueA(key_.get(), kConnectionsValue); }

 private:
  win32::UniqueHKey key_;
};

// With one connection nothing after the stopped image is asked for; with six, what ran ahead
// is abandoned. Either way no image is asked for twice (no HTTP after Stop), and the resource
// folder holds what the import reached before Stop, nothing that ran ahead.
TEST(ImportHtml, StopDuringTheFirstPassFetchesNothingMoreAndPacksNothing) {
  for (DWORD connections : {1, 6}) {
    SCOPED_TRACE(connections);
    ConnectionsSetting setting(connections);
    test::TestHttpServer server;
    std::string page = "<html><body>\r\n";
    for (int i = 0; i < kImages; ++i) {
      page += "<img src=\"" + ImageName(i) + "\">\r\n";
      server.Handle("/" + ImageName(i), [i](const test::TestRequest&, test::TestConnection& c) {
        if (i == kStopAt) {
          // The click a user gives while this image arrives.
          HWND form = ::FindWindowW(kDialogClass, kProgressCaption);
          ::PostMessageW(::GetDlgItem(form, kIdProgressStop), BM_CLICK, 0, 0);
        }
        c.Send("HTTP/1.1 200 OK\r\nContent-Type: image/gif\r\nContent-Length: 3\r\n\r\nGIF");
      });
    }
    page += "</body></html>\r\n";

    support::TempFolder work;
    TPlugInRequest request{};
    request.WorkFolder = work.path().c_str();
    request.DocumentId = 9;
    // The image that Stop cut short is listed: the host's automation answers the list with OK.
    request.PrepareForm = &host::PrepareDialog;
    host::SetDialogAutomation({host::ErrorListAction::Ok, ""});
    CurrentRequest() = request;
    auto stream = win32::NewMemoryStream();

    EXPECT_FALSE(ImportHtmlToStream(request, page, server.Url("/index.htm"), stream.Get(), false));

    EXPECT_TRUE(win32::ReadAll(stream.Get()).empty());
    int requested[kImages] = {};
    for (const test::TestRequest& r : server.Requests())
      for (int i = 0; i < kImages; ++i) requested[i] += r.path == "/" + ImageName(i);
    for (int i = 0; i < kImages; ++i) {
      SCOPED_TRACE(ImageName(i));
      // The image being fetched when Stop came is not asked for again over HTTP.
      if (connections == 1 || i <= kStopAt)
        EXPECT_EQ(requested[i], i <= kStopAt ? 1 : 0);
      else
        EXPECT_LE(requested[i], 1);
    }
    std::set<std::string> saved;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(work.path()))
      saved.insert(entry.path().lexically_relative(work.path()).generic_string());
    // Stop comes at a moment, not at an image: the stopped image may have arrived with it,
    // and with transfers ahead of the import Stop may come before the import has reached the
    // images before it. Nothing that ran ahead is left.
    const std::set<std::string> reached = {"9.htm", "9.files", "9.files/img0.gif",
                                           "9.files/img1.gif", "9.files/img2.gif"};
    for (const std::string& name : saved) EXPECT_EQ(reached.count(name), 1u) << name;
  }
}

}  // namespace
}  // namespace lorvex
