// The fetch-ahead folder: what a killed import left is removed by the next import of the
// document, links inside as links; a folder without the marker, one a live import holds, and
// a link under one of the names are left alone. A folder whose files an engine still holds
// goes when the engine does.
#include "fetch/FetchFolder.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#endif

#include <filesystem>
#include <string>

#include "fetch/FetchAhead.h"
#include "platform/Platform.h"
#include "support/TempFolder.h"
#include "util/FileOperation.h"

namespace lorvex {
namespace {

namespace fs = std::filesystem;

// A folder as a killed import leaves it: the marker there, held by nobody.
void MakeLeftFolder(const fs::path& folder) {
  fs::create_directory(folder);
  WriteFileBytes((folder / kFetchFolderMarker).string(),
                 std::string(kFetchFolderMarkerText) + "process 1\r\n");
  WriteFileBytes((folder / "3.tmp").string(), "part of a fetch");
}

// Symbolic links need a privilege on Windows (or developer mode, which the last flag asks
// for); where they cannot be made those cases go. Wine 8 answers the call without making a
// link, so a link counts as made only when it is there, as a link.
bool Link(const fs::path& target, const fs::path& link) {
#ifdef _WIN32
  ::CreateSymbolicLinkW(link.wstring().c_str(), target.wstring().c_str(),
                        SYMBOLIC_LINK_FLAG_DIRECTORY | 0x2);
#else
  std::error_code error;
  fs::create_directory_symlink(target, link, error);
#endif
  return platform::IsLink(link.string());
}

TEST(FetchFolder, ANextImportRemovesOnlyWhatAKilledOneLeft) {
  support::TempFolder work;
  const fs::path root = work.path();
  const std::string base = platform::CorePath((root / "5.fetching").string());
  fs::create_directories(root / "keep");
  WriteFileBytes((root / "keep" / "precious").string(), "kept");
  fs::create_directories(root / "elsewhere");
  MakeLeftFolder(root / "elsewhere");

  FetchFolder live(base);  // a live import's folder takes the first name
  ASSERT_TRUE(live.Make());
  EXPECT_EQ(live.Path(), base);
  MakeLeftFolder(root / "5.fetching1");
  const bool links = Link(root / "keep", root / "5.fetching1" / "inside") &&
                     Link(root / "elsewhere", root / "5.fetching3");
  fs::create_directory(root / "5.fetching2");  // no marker: someone else's
  WriteFileBytes((root / "5.fetching2" / "mine").string(), "mine");
  fs::create_directory(root / "5.fetching4");  // a marker of another kind
  WriteFileBytes((root / "5.fetching4" / kFetchFolderMarker).string(), "something else");
  MakeLeftFolder(root / "5.fetching99");

  RemoveLeftFetchFolders(base);
  EXPECT_TRUE(fs::exists(root / "5.fetching" / kFetchFolderMarker));  // held: left
  EXPECT_FALSE(fs::exists(fs::symlink_status(root / "5.fetching1")));
  EXPECT_FALSE(fs::exists(root / "5.fetching99"));
  EXPECT_EQ(ReadFileBytes((root / "keep" / "precious").string()), "kept");  // not followed
  EXPECT_EQ(ReadFileBytes((root / "5.fetching2" / "mine").string()), "mine");
  EXPECT_TRUE(fs::exists(root / "5.fetching4" / kFetchFolderMarker));
  if (links) {
    EXPECT_TRUE(platform::IsLink((root / "5.fetching3").string()));
    EXPECT_TRUE(fs::exists(root / "elsewhere" / kFetchFolderMarker));
  }
  {
    FetchFolder next(base);  // the next import sweeps as it starts, and takes a free name
    ASSERT_TRUE(next.Make());
    EXPECT_EQ(next.Path(), base + "1");
    EXPECT_TRUE(fs::exists(root / "5.fetching"));
  }
  EXPECT_FALSE(fs::exists(root / "5.fetching1"));
}

// A fetcher whose transfers end at once, and which may go on holding files afterwards.
class HoldingFetcher final : public ResourceFetcher, public ImportObserver {
 public:
  bool holding = false;
  FetchId Start(const std::string&, const std::string& file) override {
    if (!file.empty()) WriteFileBytes(platform::NativePath(file), "x");
    return ++last_;
  }
  bool Ended(FetchId) override { return true; }
  void WaitForAny(int) override {}
  FetchResult Take(FetchId) override { return FileFetchResult(true); }
  void Skip(FetchId) override {}
  void Abandon(FetchId) override {}
  void AbandonAll() override {}
  bool ReleasedEverything() override { return !holding; }
  void ProcessMessages() override {}
  bool HasProgressBar() const override { return false; }
  void SetProgress(int) override {}
  bool StopAll() const override { return false; }

 private:
  FetchId last_ = 0;
};

TEST(FetchFolder, AFolderWhoseFilesAreHeldGoesWithTheFetcher) {
  support::TempFolder work;
  const std::string base = platform::CorePath(work.path() + "/5.fetching");
  for (bool holding : {false, true}) {
    SCOPED_TRACE(holding);
    {
      HoldingFetcher fetcher;
      fetcher.holding = holding;
      {
        FetchAhead fetches(fetcher, fetcher, 6, base);
        fetches.Plan("http://a.test/x.gif", platform::CorePath(work.path() + "/x.gif"), &fetcher);
        EXPECT_TRUE(platform::DirectoryExists(base));
      }
      EXPECT_EQ(platform::DirectoryExists(base), holding);
    }
    EXPECT_FALSE(platform::DirectoryExists(base));
  }
}

}  // namespace
}  // namespace lorvex
