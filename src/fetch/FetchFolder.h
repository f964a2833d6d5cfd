// The folder where the fetches that run ahead of an import write: "<doc>.fetching" beside the
// page, or the first of "<doc>.fetching1" ... "<doc>.fetching99" that is free.
//
// It holds a marker file naming the import that made it, kept locked (platform::LockedFile)
// while that import lives. A folder under one of these names whose marker is there and held
// by nobody was left by an import that ended without removing it (a crash, a kill): the next
// import of the document removes it, links inside as links. A folder without the marker, or a
// link under one of the names, is never touched.
#pragma once

#include <string>
#include <string_view>

#include "platform/Platform.h"

namespace lorvex {

// Numbered names tried after the base name.
constexpr int kMaxFetchFolders = 100;
// The marker's name in the folder (no fetch's file is named so: those are "<n>.tmp"), and
// the line its text begins with; what follows names the import.
constexpr char kFetchFolderMarker[] = "import.owner";
constexpr std::string_view kFetchFolderMarkerText = "lorvex fetch-ahead folder\r\n";

class FetchFolder {
 public:
  // base: the folder's first name; empty for an import that has no work folder.
  explicit FetchFolder(std::string base);
  // Removes the folder with all that is still in it.
  ~FetchFolder();
  FetchFolder(const FetchFolder&) = delete;
  FetchFolder& operator=(const FetchFolder&) = delete;

  // Makes the folder on first use; false when none can be made.
  bool Make();
  // The folder's path, once made.
  const std::string& Path() const { return path_; }

 private:
  const std::string base_;
  std::string path_;
  platform::LockedFile marker_;
  bool failed_ = false;
};

// Removes what earlier imports left under base's names (see above).
void RemoveLeftFetchFolders(const std::string& base);

}  // namespace lorvex
