#include "fetch/FetchAhead.h"

#include <algorithm>
#include <chrono>

#include "platform/Platform.h"
#include "util/Strings.h"

namespace lorvex {

namespace {

// How long one wait for a transfer lasts before Stop and Skip are looked at again.
constexpr int kWaitSliceMs = 20;
// How long the end of an import waits for abandoned transfers to let go of their files.
constexpr auto kDrainLimit = std::chrono::seconds(15);

bool IsTempFileOf(const std::string& file, const std::string& target) { return file != target; }

}  // namespace

std::string ServerOf(const std::string& url) {
  const size_t scheme = url.find("://");
  if (scheme == std::string::npos) return std::string();
  const size_t begin = scheme + 3;
  const size_t end = url.find_first_of("/?#\\", begin);
  std::string server = AsciiLowerCase(url.substr(0, end == std::string::npos ? url.size() : end));
  // user:password@ does not change the server.
  const size_t at = server.rfind('@');
  if (at != std::string::npos && at > begin) server.erase(begin, at + 1 - begin);
  return server;
}

FetchAhead::FetchAhead(ResourceFetcher& fetcher, ImportObserver& observer, int connections,
                       std::string tempFolder)
    : fetcher_(fetcher),
      observer_(observer),
      connections_(std::max(connections, 1)),
      tempFolder_(std::move(tempFolder)) {}

FetchAhead::~FetchAhead() {
  for (Entry& entry : entries_) {
    entry.dropped = true;
    if (entry.state == State::Running) fetcher_.Abandon(entry.id);
  }
  const auto deadline = std::chrono::steady_clock::now() + kDrainLimit;
  while (running_ > 0 && std::chrono::steady_clock::now() < deadline) {
    fetcher_.WaitForAny(kWaitSliceMs);
    Poll();
  }
  // A transfer that has not let go by now is left to its engine; its file goes all the same.
  for (Entry& entry : entries_)
    if (!entry.target.empty() && IsTempFileOf(entry.file, entry.target))
      platform::DeleteFileAt(entry.file);
  if (tempFolderMade_) platform::RemoveEmptyDirectory(tempFolder_);
}

bool FetchAhead::MakeTempFolder() {
  if (tempFolderMade_) return true;
  if (tempFolderFailed_ || tempFolder_.empty()) return false;
  const std::string base = tempFolder_;
  for (int n = 0; n < 100; ++n) {
    tempFolder_ = n == 0 ? base : base + std::to_string(n);
    if (platform::DirectoryExists(tempFolder_) || platform::FileExists(tempFolder_)) continue;
    if (!platform::CreateDirectoryLevel(tempFolder_)) break;
    tempFolderMade_ = true;
    return true;
  }
  tempFolderFailed_ = true;
  return false;
}

void FetchAhead::Plan(const std::string& url, const std::string& target, const void* owner) {
  if (!RunsAhead() || stopped_) return;
  Entry entry;
  entry.url = url;
  entry.target = target;
  entry.host = ServerOf(url);
  entry.owner = owner;
  if (!target.empty()) {
    if (!MakeTempFolder()) return;
    entry.file = tempFolder_ + "\\" + std::to_string(++tempCount_) + ".tmp";
  }
  entries_.push_back(std::move(entry));
  StartQueued(nullptr);
}

void FetchAhead::DropPlans(const void* owner) {
  for (auto it = entries_.begin(); it != entries_.end();) {
    auto next = std::next(it);
    if (it->owner == owner && !it->dropped) {
      it->dropped = true;
      if (it->state == State::Running)
        fetcher_.Abandon(it->id);
      else
        Forget(it);
    }
    it = next;
  }
}

FetchAhead::Entries::iterator FetchAhead::Find(const std::string& url, const std::string& target) {
  return std::find_if(entries_.begin(), entries_.end(), [&](const Entry& entry) {
    return !entry.dropped && entry.url == url && entry.target == target;
  });
}

FetchAhead::Entries::iterator FetchAhead::Direct(const std::string& url,
                                                 const std::string& target) {
  Entry entry;
  entry.url = url;
  entry.target = target;
  entry.file = target;
  entry.host = ServerOf(url);
  return entries_.insert(entries_.begin(), std::move(entry));
}

bool FetchAhead::CanStart(const Entry& entry) const {
  if (running_ >= connections_) return false;
  auto it = runningPerHost_.find(entry.host);
  return entry.host.empty() || it == runningPerHost_.end() ||
         it->second < std::min(kMaxPerHost, connections_);
}

void FetchAhead::Launch(Entry& entry) {
  entry.id = fetcher_.Start(entry.url, entry.target.empty() ? std::string() : entry.file);
  entry.state = State::Running;
  ++running_;
  if (!entry.host.empty()) ++runningPerHost_[entry.host];
  if (entry.skipWhenStarted) fetcher_.Skip(entry.id);
}

void FetchAhead::StartQueued(Entry* first) {
  // The fetch the import waits for goes first; nothing overtakes it while it cannot start.
  if (first && first->state == State::Queued) {
    if (!CanStart(*first) && !stopped_) return;
    Launch(*first);
  }
  if (stopped_) return;
  for (Entry& entry : entries_) {
    if (running_ >= connections_) break;
    if (entry.state == State::Queued && !entry.dropped && CanStart(entry)) Launch(entry);
  }
}

void FetchAhead::Poll() {
  for (auto it = entries_.begin(); it != entries_.end();) {
    auto next = std::next(it);
    if (it->state == State::Running && fetcher_.Ended(it->id)) {
      it->result = fetcher_.Take(it->id);
      it->state = State::Ended;
      --running_;
      if (!it->host.empty() && --runningPerHost_[it->host] == 0) runningPerHost_.erase(it->host);
      if (it->dropped) Forget(it);
    }
    it = next;
  }
}

void FetchAhead::Wait(Entry& entry) {
  observer_.TakeSkip();  // a Skip pressed before this wait is for no transfer
  for (;;) {
    Poll();
    if (entry.state == State::Ended) return;
    if (!stopped_ && observer_.StopAll()) {
      stopped_ = true;
      fetcher_.AbandonAll();
    }
    if (observer_.TakeSkip()) {
      if (entry.state == State::Running)
        fetcher_.Skip(entry.id);
      else
        entry.skipWhenStarted = true;
    }
    StartQueued(&entry);
    // Waiting lets the running transfers end, the one waited for or those ahead of it.
    if (entry.state != State::Running || !fetcher_.Ended(entry.id))
      fetcher_.WaitForAny(kWaitSliceMs);
  }
}

void FetchAhead::Forget(Entries::iterator entry) {
  if (entry->state == State::Running) return;  // still writing; forgotten when it ends
  if (!entry->target.empty() && IsTempFileOf(entry->file, entry->target))
    platform::DeleteFileAt(entry->file);
  entries_.erase(entry);
}

bool FetchAhead::FetchToFile(const std::string& url, const std::string& target) {
  auto entry = Find(url, target);
  if (entry == entries_.end()) entry = Direct(url, target);
  Wait(*entry);
  bool ok = entry->result.ok;
  if (IsTempFileOf(entry->file, target)) {
    ok = ok && platform::MoveFileReplacing(entry->file, target);
    // What the engine does to a target when its fetch fails happens at the import's turn.
    if (!ok && fetcher_.FailureClearsTarget()) platform::DeleteFileAt(target);
  }
  Forget(entry);
  return ok;
}

std::optional<std::string> FetchAhead::FetchText(const std::string& url) {
  auto entry = Find(url, std::string());
  if (entry == entries_.end()) entry = Direct(url, std::string());
  Wait(*entry);
  FetchResult result = std::move(entry->result);
  Forget(entry);
  if (result.error) std::rethrow_exception(result.error);
  if (!result.ok) return std::nullopt;
  return std::move(result.text);
}

}  // namespace lorvex
