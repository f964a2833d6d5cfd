// The page import inside the library, with the progress dialog shown and the test server in
// this process: Stop pressed while the first pass fetches.
#include "plugin/ImportHtml.h"

#include <gtest/gtest.h>

#include <string>

#include "HostDialogs.h"
#include "dialogs/DialogIds.h"
#include "platform/win32/MemoryStream.h"
#include "support/TempFolder.h"
#include "support/TestHttpServer.h"

namespace lorvex {
namespace {

constexpr int kImages = 6;
constexpr int kStopAt = 2;  // the image whose request presses Stop

std::string ImageName(int i) { return "img" + std::to_string(i) + ".gif"; }

TEST(ImportHtml, StopDuringTheFirstPassFetchesNothingMoreAndPacksNothing) {
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
    EXPECT_EQ(requested[i], i <= kStopAt ? 1 : 0);
  }
}

}  // namespace
}  // namespace lorvex
