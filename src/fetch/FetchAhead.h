// The import's fetches in the order it asks for them, with the ones it announced running
// ahead of it: up to a number of transfers at once, never more than kMaxPerHost to one host.
//
// A fetch that runs ahead writes to a temporary file in a folder of its own, moved to its
// target only when the import asks for it, so the files at the targets are written in the
// import's order (a later write to the same target still wins) and a Stop leaves nothing at a
// target that the import did not reach. With one connection nothing runs ahead: each fetch
// starts when the import asks for it and writes to its target.
#pragma once

#include <cstdint>
#include <list>
#include <map>
#include <optional>
#include <string>

#include "fetch/Fetching.h"

namespace lorvex {

// Transfers at once by default, the most a setting may ask for (more than a server would take
// from one visitor is no gain), and the most to one host.
constexpr int kDefaultConnections = 6;
constexpr int kMaxConnections = 64;
constexpr int kMaxPerHost = 6;

class FetchAhead {
 public:
  // tempFolder is made when a fetch first runs ahead (a folder of that name that exists
  // already is left alone, and a numbered one made instead) and removed at the end.
  FetchAhead(ResourceFetcher& fetcher, ImportObserver& observer, int connections,
             std::string tempFolder);
  // Ends what still runs ahead and removes its files and the folder.
  ~FetchAhead();
  FetchAhead(const FetchAhead&) = delete;
  FetchAhead& operator=(const FetchAhead&) = delete;

  bool RunsAhead() const { return connections_ > 1; }

  // Announces that the import will ask for url into target (or as text when target is
  // empty); announced fetches start in the order announced, as far as the limits allow.
  // Ignored with one connection.
  void Plan(const std::string& url, const std::string& target, const void* owner);
  // Ends owner's announced fetches that the import has not asked for, and removes their files.
  void DropPlans(const void* owner);

  // url stored at target: the announced fetch moved into place, or a fetch run now. Waits,
  // with Stop and Skip honoured on the way.
  bool FetchToFile(const std::string& url, const std::string& target);
  // url as text; none when it could not be fetched. Lets out what the transfer raised.
  std::optional<std::string> FetchText(const std::string& url);

 private:
  enum class State { Queued, Running, Ended };
  struct Entry {
    std::string url, target;  // target empty: a text
    std::string file;         // where the transfer writes: a temporary file, or the target
    std::string host;
    const void* owner = nullptr;
    State state = State::Queued;
    FetchId id = 0;
    FetchResult result;
    bool skipWhenStarted = false;
    bool dropped = false;
  };
  using Entries = std::list<Entry>;

  Entries::iterator Find(const std::string& url, const std::string& target);
  Entries::iterator Direct(const std::string& url, const std::string& target);
  bool CanStart(const Entry& entry) const;
  void Launch(Entry& entry);
  void StartQueued(Entry* first);
  void Poll();
  void Wait(Entry& entry);
  void Forget(Entries::iterator entry);
  bool MakeTempFolder();

  ResourceFetcher& fetcher_;
  ImportObserver& observer_;
  const int connections_;
  std::string tempFolder_;
  bool tempFolderMade_ = false, tempFolderFailed_ = false;
  uint64_t tempCount_ = 0;
  bool stopped_ = false;
  int running_ = 0;
  std::map<std::string, int> runningPerHost_;
  Entries entries_;
};

// The part of url that tells its server ("host:port" in lower case); empty for what is no
// URL of a server.
std::string ServerOf(const std::string& url);

}  // namespace lorvex
