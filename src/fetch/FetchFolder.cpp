#include "fetch/FetchFolder.h"

#include <atomic>
#include <chrono>

namespace lorvex {

namespace {

std::string NameAt(const std::string& base, int n) {
  return n == 0 ? base : base + std::to_string(n);
}

std::string MarkerOf(const std::string& folder) { return folder + "\\" + kFetchFolderMarker; }

// What tells this import from any other: the process and a count within it, and the time.
std::string ImportToken() {
  static std::atomic<unsigned long long> count{0};
  const auto now = std::chrono::system_clock::now().time_since_epoch().count();
  return std::string(kFetchFolderMarkerText) + "process " + std::to_string(platform::ProcessId()) +
         ", import " + std::to_string(++count) + ", at " + std::to_string(now) + "\r\n";
}

}  // namespace

void RemoveLeftFetchFolders(const std::string& base) {
  if (base.empty()) return;
  for (int n = 0; n < kMaxFetchFolders; ++n) {
    const std::string folder = NameAt(base, n);
    if (platform::IsLink(folder) || !platform::DirectoryExists(folder)) continue;
    std::string text;
    platform::LockedFile marker =
        platform::LockedFile::Take(MarkerOf(folder), text, kFetchFolderMarkerText.size());
    if (!marker || text != kFetchFolderMarkerText) continue;  // held by a live import, or not ours
    marker.Release();
    platform::RemoveTree(folder);
  }
}

FetchFolder::FetchFolder(std::string base) : base_(std::move(base)) {
  RemoveLeftFetchFolders(base_);
}

FetchFolder::~FetchFolder() {
  if (path_.empty()) return;
  marker_.Release();  // a held file cannot be removed on Windows
  platform::RemoveTree(path_);
}

bool FetchFolder::Make() {
  if (!path_.empty()) return true;
  if (failed_ || base_.empty()) return false;
  for (int n = 0; n < kMaxFetchFolders; ++n) {
    const std::string folder = NameAt(base_, n);
    if (platform::IsLink(folder) || platform::DirectoryExists(folder) ||
        platform::FileExists(folder))
      continue;
    if (!platform::CreateDirectoryLevel(folder)) break;
    marker_ = platform::LockedFile::Create(MarkerOf(folder), ImportToken());
    if (!marker_) {
      platform::RemoveEmptyDirectory(folder);
      break;
    }
    path_ = folder;
    return true;
  }
  failed_ = true;
  return false;
}

}  // namespace lorvex
