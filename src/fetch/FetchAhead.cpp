#include "fetch/FetchAhead.h"

#include <algorithm>
#include <chrono>
#include <climits>

#include "platform/Platform.h"
#include "util/Strings.h"

namespace lorvex {

namespace {

// How long one wait for a transfer lasts before Stop and Skip are looked at again.
constexpr int kWaitSliceMs = 20;
// How long the end of an import waits for abandoned transfers to end.
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
      folder_(std::make_shared<FetchFolder>(std::move(tempFolder))) {}

FetchAhead::~FetchAhead() {
  for (auto& [seq, entry] : entries_) {
    entry.dropped = true;
    if (entry.state == State::Running) {
      StopCounting(entry);
      fetcher_.Abandon(entry.id);
    }
  }
  const auto deadline = std::chrono::steady_clock::now() + kDrainLimit;
  while (!running_.empty() && std::chrono::steady_clock::now() < deadline) {
    fetcher_.WaitForAny(kWaitSliceMs);
    Poll();
  }
  for (auto& [seq, entry] : entries_)
    if (!entry.target.empty() && IsTempFileOf(entry.file, entry.target))
      platform::DeleteFileAt(entry.file);
  // A transfer that has not let go of its file keeps the folder until its engine is gone.
  if (running_.empty() && fetcher_.ReleasedEverything()) return;  // folder_ goes now
  try {
    fetcher_.KeepUntilReleased(std::move(folder_));
  } catch (...) {
    // No memory to keep it: it goes now, as far as it can.
  }
}

void FetchAhead::Plan(const std::string& url, const std::string& target, const void* owner) {
  if (!RunsAhead() || stopped_) return;
  Entry entry;
  entry.url = url;
  entry.target = target;
  entry.host = ServerOf(url);
  entry.owner = owner;
  if (!target.empty()) {
    if (!folder_->Make()) return;
    entry.file = folder_->Path() + "\\" + std::to_string(++tempCount_) + ".tmp";
  }
  const Seq seq = ++lastSeq_;
  Entry& planned = entries_.emplace(seq, std::move(entry)).first->second;
  byKey_[Key(url, target)].insert(seq);
  byOwner_[owner].insert(seq);
  hosts_[planned.host].queued.insert(seq);
  UpdateReady(planned.host);
  StartQueued();
}

void FetchAhead::DropPlans(const void* owner) {
  auto owned = byOwner_.find(owner);
  if (owned == byOwner_.end()) return;
  const std::set<Seq> seqs = std::move(owned->second);
  byOwner_.erase(owned);
  for (Seq seq : seqs) {
    Entry& entry = entries_.at(seq);
    Unindex(entry, seq);
    entry.dropped = true;
    if (entry.state == State::Running) {
      StopCounting(entry);
      fetcher_.Abandon(entry.id);
    } else {
      Forget(seq);
    }
  }
  StartQueued();
}

FetchAhead::Seq FetchAhead::Find(const std::string& url, const std::string& target) {
  auto found = byKey_.find(Key(url, target));
  // The latest announced: a level embedded in another announces and asks for its fetches
  // before the outer level asks for the same ones, and the outer's stay for the outer.
  return found == byKey_.end() || found->second.empty() ? 0 : *found->second.rbegin();
}

FetchAhead::Seq FetchAhead::Direct(const std::string& url, const std::string& target) {
  Entry entry;
  entry.url = url;
  entry.target = target;
  entry.file = target;
  entry.host = ServerOf(url);
  const Seq seq = ++lastSeq_;
  entries_.emplace(seq, std::move(entry));
  byKey_[Key(url, target)].insert(seq);
  return seq;
}

int FetchAhead::HostLimit(const std::string& host) const {
  if (host.empty()) return INT_MAX;  // no server: nothing to spare
  return std::min(kMaxPerHost, connections_) - 1;
}

void FetchAhead::UpdateReady(const std::string& host) {
  auto it = hosts_.find(host);
  if (it == hosts_.end()) return;
  Host& state = it->second;
  if (state.ready) ready_.erase(state.ready);
  state.ready = 0;
  if (!state.queued.empty() && state.ahead < HostLimit(host)) {
    state.ready = *state.queued.begin();
    ready_.insert(state.ready);
  }
  if (state.queued.empty() && state.ahead == 0) hosts_.erase(it);
}

void FetchAhead::Unqueue(Entry& entry, Seq seq) {
  if (entry.state != State::Queued) return;
  auto it = hosts_.find(entry.host);
  if (it == hosts_.end() || !it->second.queued.erase(seq)) return;
  UpdateReady(entry.host);
}

void FetchAhead::Unindex(const Entry& entry, Seq seq) {
  if (entry.dropped) return;  // taken out of the indexes when it was dropped
  auto key = byKey_.find(Key(entry.url, entry.target));
  if (key != byKey_.end() && key->second.erase(seq) && key->second.empty()) byKey_.erase(key);
  auto owned = byOwner_.find(entry.owner);
  if (entry.owner && owned != byOwner_.end() && owned->second.erase(seq) && owned->second.empty())
    byOwner_.erase(owned);
}

void FetchAhead::Launch(Seq seq, bool ahead) {
  Entry& entry = entries_.at(seq);
  Unqueue(entry, seq);
  entry.id = fetcher_.Start(entry.url, entry.target.empty() ? std::string() : entry.file);
  entry.state = State::Running;
  running_.insert(seq);
  if (ahead) {
    entry.ahead = true;
    ++ahead_;
    ++hosts_[entry.host].ahead;
    UpdateReady(entry.host);
  }
}

void FetchAhead::StopCounting(Entry& entry) {
  if (!entry.ahead) return;
  entry.ahead = false;
  --ahead_;
  --hosts_.at(entry.host).ahead;
  UpdateReady(entry.host);
}

void FetchAhead::StartQueued() {
  // One connection stays free for the fetch the import will wait for.
  while (!stopped_ && ahead_ < connections_ - 1 && !ready_.empty()) Launch(*ready_.begin(), true);
}

void FetchAhead::Poll() {
  for (auto it = running_.begin(); it != running_.end();) {
    const Seq seq = *it++;
    Entry& entry = entries_.at(seq);
    if (!fetcher_.Ended(entry.id)) continue;
    entry.result = fetcher_.Take(entry.id);
    entry.state = State::Ended;
    running_.erase(seq);
    StopCounting(entry);
    if (entry.dropped) Forget(seq);
  }
}

void FetchAhead::Wait(Seq seq) {
  Entry& entry = entries_.at(seq);
  observer_.TakeSkip();  // a Skip pressed before this wait is for no transfer
  // The fetch waited for runs at once, on the connection kept for it.
  if (entry.state == State::Queued) Launch(seq, false);
  StopCounting(entry);
  StartQueued();
  for (;;) {
    Poll();
    if (entry.state == State::Ended) return;
    if (!stopped_ && observer_.StopAll()) {
      stopped_ = true;
      fetcher_.AbandonAll();
    }
    if (observer_.TakeSkip()) fetcher_.Skip(entry.id);
    StartQueued();
    // Waiting lets the running transfers end, the one waited for or those ahead of it.
    if (!fetcher_.Ended(entry.id)) fetcher_.WaitForAny(kWaitSliceMs);
  }
}

void FetchAhead::Forget(Seq seq) {
  auto it = entries_.find(seq);
  Entry& entry = it->second;
  if (entry.state == State::Running) return;  // still writing; forgotten when it ends
  if (!entry.target.empty() && IsTempFileOf(entry.file, entry.target))
    platform::DeleteFileAt(entry.file);
  Unqueue(entry, seq);
  Unindex(entry, seq);
  entries_.erase(it);
}

bool FetchAhead::FetchToFile(const std::string& url, const std::string& target) {
  Seq seq = Find(url, target);
  if (!seq) seq = Direct(url, target);
  Wait(seq);
  const Entry& entry = entries_.at(seq);
  bool ok = entry.result.ok;
  if (IsTempFileOf(entry.file, target)) {
    ok = ok && platform::MoveFileReplacing(entry.file, target);
    // What the engine does to a target when its fetch fails happens at the import's turn.
    if (!ok && fetcher_.FailureClearsTarget()) platform::DeleteFileAt(target);
  }
  Forget(seq);
  return ok;
}

std::optional<std::string> FetchAhead::FetchText(const std::string& url) {
  Seq seq = Find(url, std::string());
  if (!seq) seq = Direct(url, std::string());
  Wait(seq);
  FetchResult result = std::move(entries_.at(seq).result);
  Forget(seq);
  if (result.error) std::rethrow_exception(result.error);
  if (!result.ok) return std::nullopt;
  return std::move(result.text);
}

}  // namespace lorvex
