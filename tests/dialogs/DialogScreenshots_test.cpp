// Pictures of both dialogs with a Chinese font, taken by the reference host's PrepareForm
// and saved under the build folder (screenshots/), for people to look at.
#include <gtest/gtest.h>

#include <string>

#include "HostDialogs.h"
#include "dialogs/DialogTestSupport.h"
#include "dialogs/DownloadErrors.h"
#include "dialogs/DownloadProgress.h"
#include "plugin/RequestDialogs.h"
#include "util/FileOperation.h"

namespace lorvex {
namespace {

// The build folder: the one above the test program's bin folder.
std::string ScreenshotFolder() {
  char path[MAX_PATH] = {};
  ::GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string folder = path;
  for (int up = 0; up < 2; ++up) folder.resize(folder.find_last_of("\\/"));
  return folder + "\\screenshots";
}

TEST(DialogScreenshots, BothDialogsWithAChineseFont) {
  test::RequestScope scope;
  CurrentRequest().DialogFont = {"SimSun", 9, 0, DEFAULT_CHARSET, {}};
  CurrentRequest().FontCharset = GB2312_CHARSET;
  CurrentRequest().PrepareForm = &host::PrepareDialog;
  host::SetDialogAutomation({host::ErrorListAction::Ok, ScreenshotFolder()});
  size_t before = host::SavedScreenshots().size();
  {
    TForm_DownloadProgress progress(DialogHostOf(CurrentRequest()));
    progress.Show();
    progress.SetProgress(45);
    ASSERT_TRUE(test::PumpUntil([&] { return host::SavedScreenshots().size() > before; }, 5000));

    TForm_DownloadErrors errors(DialogHostOf(CurrentRequest()));
    errors.FailedUrls = {"http://example.test/images/logo.png",
                         "http://example.test/style/site.css",
                         "http://example.test/scripts/menu.js"};
    errors.FailedTargets = {"a", "b", "c"};
    EXPECT_EQ(errors.ShowModal(), mrOk);  // the host pressed OK after its picture
    progress.Close();
  }
  host::SetDialogAutomation({});
  const auto& saved = host::SavedScreenshots();
  ASSERT_EQ(saved.size(), before + 2);
  for (size_t i = before; i < saved.size(); ++i) {
    std::string bytes = ReadFileBytes(saved[i]);
    EXPECT_EQ(bytes.substr(0, 2), "BM") << saved[i];
    EXPECT_GT(bytes.size(), 100000u) << saved[i];
  }
}

}  // namespace
}  // namespace lorvex
