// The import's fetches in the order it asks for them, with the ones it announced running
// ahead of it. One connection is always kept for the fetch the import waits for: at most
// connections - 1 transfers run ahead, and at most kMaxPerHost - 1 of them to one host, so
// the fetch waited for starts at once and a server that accepts and never answers cannot
// hold it back. A transfer the import has abandoned (one that cannot be broken off at once:
// a blocking name look-up, an engine that ignores its abort) no longer counts.
//
// A fetch that runs ahead writes to a temporary file in a folder of its own (FetchFolder),
// moved to its target only when the import asks for it, so the files at the targets are
// written in the import's order (a later write to the same target still wins) and a Stop
// leaves nothing at a target that the import did not reach. With one connection nothing runs
// ahead: each fetch starts when the import asks for it and writes to its target.
//
// Every look-up is a map or a queue: the announced fetches by (url, target) and by owner,
// the queued ones per host in the order announced, the running ones in a set of their own.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>

#include "fetch/FetchFolder.h"
#include "fetch/Fetching.h"

namespace lorvex {

// Transfers at once by default, the most a setting may ask for (more than a server would take
// from one visitor is no gain), and the most to one host.
constexpr int kDefaultConnections = 6;
constexpr int kMaxConnections = 64;
constexpr int kMaxPerHost = 6;

class FetchAhead {
 public:
  // tempFolder is the first name of the folder for the fetches that run ahead: what earlier
  // imports left under its names is removed now, and it is made when a fetch first runs
  // ahead (see FetchFolder).
  FetchAhead(ResourceFetcher& fetcher, ImportObserver& observer, int connections,
             std::string tempFolder);
  // Ends what still runs ahead and removes its files and the folder: now when the fetcher
  // has let go of every file, else when the fetcher is destroyed.
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
  using Seq = uint64_t;  // the order fetches were announced (or asked for) in
  enum class State { Queued, Running, Ended };
  struct Entry {
    std::string url, target;  // target empty: a text
    std::string file;         // where the transfer writes: a temporary file, or the target
    std::string host;
    const void* owner = nullptr;
    State state = State::Queued;
    FetchId id = 0;
    FetchResult result;
    bool ahead = false;    // counts toward the limits of what runs ahead
    bool dropped = false;  // the import will not ask for it (no longer found)
  };
  struct Host {
    std::set<Seq> queued;  // not dropped, in the order announced
    int ahead = 0;         // running ahead
    Seq ready = 0;         // its first queued fetch while it is in ready_; 0 when none is
  };
  using Key = std::pair<std::string, std::string>;  // url, target

  Seq Find(const std::string& url, const std::string& target);
  Seq Direct(const std::string& url, const std::string& target);
  int HostLimit(const std::string& host) const;
  void UpdateReady(const std::string& host);
  void Launch(Seq seq, bool ahead);
  void StopCounting(Entry& entry);
  void Unqueue(Entry& entry, Seq seq);
  void Unindex(const Entry& entry, Seq seq);
  void StartQueued();
  void Poll();
  void Wait(Seq seq);
  void Forget(Seq seq);

  ResourceFetcher& fetcher_;
  ImportObserver& observer_;
  const int connections_;
  std::shared_ptr<FetchFolder> folder_;
  uint64_t tempCount_ = 0;
  bool stopped_ = false;
  Seq lastSeq_ = 0;
  std::map<Seq, Entry> entries_;
  std::map<Key, std::set<Seq>> byKey_;            // entries not dropped
  std::map<const void*, std::set<Seq>> byOwner_;  // announced entries not dropped
  std::map<std::string, Host> hosts_;
  std::set<Seq> ready_;    // the first queued fetch of each host below its limit
  std::set<Seq> running_;  // every running entry, counted or not
  int ahead_ = 0;          // entries running ahead
};

// The part of url that tells its server ("host:port" in lower case); empty for what is no
// URL of a server.
std::string ServerOf(const std::string& url);

}  // namespace lorvex
