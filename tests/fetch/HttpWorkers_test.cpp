// The HTTP worker pool ends every job it is given, never the host: a job cancelled before it
// began ends at once, a burst of jobs gets a thread for each up to the pool's size, a client
// that cannot be made fails its job alone, and the pool can be destroyed with jobs running
// and queued. Every wait here is bounded; none of them is what a test asserts on.
#include "fetch/HttpWorkers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <utility>
#include <vector>

#include "fetch/FetchAhead.h"
#include "support/TestHttpServer.h"

namespace lorvex {
namespace {

using test::TestConnection;
using test::TestHttpServer;
using test::TestRequest;

constexpr int kBoundMs = 10000;  // far beyond what any step takes; only a fault reaches it

// A count that threads raise and wait on, each wait bounded.
class Count {
 public:
  void Raise() {
    std::lock_guard lock(mutex_);
    ++count_;
    changed_.notify_all();
  }
  bool WaitFor(int at_least, int ms = kBoundMs) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(ms),
                             [&] { return count_ >= at_least; });
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  int count_ = 0;
};

HttpWorkers::ClientMaker Clients() {
  return [] { return std::make_unique<THttpClient>(); };
}

// Waits (bounded) until the pool has ended id, then takes its result.
FetchResult Finish(HttpWorkers& pool, FetchId id) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kBoundMs);
  while (!pool.Ended(id) && std::chrono::steady_clock::now() < deadline) pool.WaitForAny(50);
  EXPECT_TRUE(pool.Ended(id)) << "job " << id;
  return pool.Take(id);
}

TEST(HttpWorkers, AJobCancelledBeforeItBeganEndsAtOnceWithoutRunning) {
  HttpWorkers pool(1, Clients());
  Count started, release;
  const FetchId running = pool.Submit([&](THttpClient&) {
    started.Raise();
    return FileFetchResult(release.WaitFor(1));
  });
  std::atomic<int> ran{0};
  auto never = [&](THttpClient&) {
    ++ran;
    return FileFetchResult(true);
  };
  const FetchId queued = pool.Submit(never), others[] = {pool.Submit(never), pool.Submit(never)};
  ASSERT_TRUE(started.WaitFor(1));

  // The only worker is busy: the cancelled job ends without it, and its waiter hears of it.
  pool.Cancel(queued);
  EXPECT_TRUE(pool.Ended(queued));
  EXPECT_FALSE(pool.Take(queued).ok);
  // Stop ends the rest of the queue the same way, and whatever comes later.
  pool.CancelAll();
  const FetchId later = pool.Submit(never);
  for (FetchId id : {others[0], others[1], later}) {
    EXPECT_TRUE(pool.Ended(id)) << id;
    EXPECT_FALSE(pool.Take(id).ok) << id;
  }
  EXPECT_FALSE(pool.Ended(running));
  release.Raise();
  EXPECT_TRUE(Finish(pool, running).ok);  // a job under way is the client's to break off
  EXPECT_EQ(ran.load(), 0);
}

TEST(HttpWorkers, ABurstOfJobsRunsAtOnceUpToThePoolsSize) {
  constexpr int kConnections = 6;
  HttpWorkers pool(kConnections, Clients());
  // One worker is idle before the burst: it must not stand for the whole burst.
  ASSERT_TRUE(Finish(pool, pool.Submit([](THttpClient&) { return FileFetchResult(true); })).ok);

  for (int jobs : {kConnections, 2 * kConnections + 1}) {
    SCOPED_TRACE(jobs);
    // Each job waits until as many as can run at once have begun: all of them when they fit.
    const int together = std::min(jobs, kConnections);
    Count arrived;
    std::atomic<int> running{0}, most{0};
    std::vector<FetchId> ids;
    for (int i = 0; i < jobs; ++i)
      ids.push_back(pool.Submit([&](THttpClient&) {
        const int now = ++running;
        for (int seen = most.load(); now > seen && !most.compare_exchange_weak(seen, now);) {
        }
        arrived.Raise();
        const bool metAll = arrived.WaitFor(together);
        --running;
        return FileFetchResult(metAll);
      }));
    for (FetchId id : ids) EXPECT_TRUE(Finish(pool, id).ok) << id;
    EXPECT_LE(most.load(), kConnections);
  }
}

TEST(HttpWorkers, AClientThatCannotBeMadeFailsItsJobAlone) {
  int asked = 0;
  HttpWorkers pool(1, [&]() -> std::unique_ptr<THttpClient> {
    if (++asked == 1) throw std::runtime_error("no sockets today");
    if (asked == 2) return nullptr;
    return std::make_unique<THttpClient>();
  });
  int ran = 0;
  auto job = [&](THttpClient&) {
    ++ran;
    return TextFetchResult("fetched");
  };
  // Listed as failed like any other transfer, with nothing to raise where the text is used.
  for (int i = 0; i < 2; ++i) {
    const FetchResult failed = Finish(pool, pool.Submit(job));
    EXPECT_FALSE(failed.ok);
    EXPECT_FALSE(failed.error);
  }
  EXPECT_EQ(ran, 0);
  // The worker asks again for the next job, and keeps what it got.
  for (int i = 0; i < 2; ++i) EXPECT_EQ(Finish(pool, pool.Submit(job)).text, "fetched");
  EXPECT_EQ(asked, 3);
}

// A server whose answer comes only after a wait no test reaches: a GET of /stall ends early
// only when the client breaks it off.
void ServeStall(TestHttpServer& server) {
  server.Handle("/stall", [](const TestRequest&, TestConnection& c) {
    if (c.Stall(4 * kBoundMs)) c.Send("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok");
  });
}

TEST(HttpWorkers, DestroyedWithJobsRunningAndQueuedItBreaksThemOffAndJoins) {
  TestHttpServer server;
  ServeStall(server);
  std::atomic<int> aborted{0}, otherwise{0}, queuedRan{0};
  {
    HttpWorkers pool(2, Clients());
    for (int i = 0; i < 2; ++i)
      pool.Submit([&](THttpClient& http) {
        try {
          http.Get(server.Url("/stall"));
          ++otherwise;
        } catch (const HttpError& e) {
          ++(e.Kind() == HttpFailure::Aborted ? aborted : otherwise);
        }
        return FileFetchResult(false);
      });
    for (int i = 0; i < 3; ++i)
      pool.Submit([&](THttpClient&) {
        ++queuedRan;
        return FileFetchResult(true);
      });
    ASSERT_TRUE(server.WaitForRequests(2, kBoundMs));
  }
  EXPECT_EQ(aborted.load(), 2);
  EXPECT_EQ(otherwise.load(), 0);
  EXPECT_EQ(queuedRan.load(), 0);
}

TEST(HttpPoolFetcher, ItsFetchOutlivesTheWorkersThatCallIt) {
  TestHttpServer server;
  ServeStall(server);
  // Marks the moment the fetcher lets go of its fetch function.
  struct Marker {
    explicit Marker(std::atomic<bool>& flag) : destroyed(flag) {}
    ~Marker() { destroyed = true; }
    std::atomic<bool>& destroyed;
  };
  std::atomic<bool> destroyed{false}, destroyedWhileRunning{false};
  {
    auto marker = std::make_shared<Marker>(destroyed);
    HttpPoolFetcher fetcher(2, Clients(),
                            [marker, flags = std::pair(&destroyed, &destroyedWhileRunning)](
                                THttpClient& http, const std::string& url, const std::string&) {
                              // Copied out first: the closure itself may be gone when the GET ends.
                              const auto [gone, seen] = flags;
                              try {
                                http.Get(url);
                              } catch (const HttpError&) {
                              }
                              *seen = gone->load();
                              return FetchResult{};
                            });
    marker.reset();
    fetcher.Start(server.Url("/stall"), "");
    ASSERT_TRUE(server.WaitForRequests(1, kBoundMs));
    EXPECT_FALSE(destroyed);
  }
  EXPECT_TRUE(destroyed);
  EXPECT_FALSE(destroyedWhileRunning);
}

// The import's view: Skip pressed once the server has the request named.
class SkipWhenAsked final : public ImportObserver {
 public:
  SkipWhenAsked(TestHttpServer& server, std::string target) : server_(server), target_(target) {}
  void ProcessMessages() override {}
  bool HasProgressBar() const override { return false; }
  void SetProgress(int) override {}
  bool StopAll() const override { return false; }
  bool TakeSkip() override {
    if (pressed_) return false;
    for (const TestRequest& request : server_.Requests())
      if (request.target == target_) return pressed_ = true;
    return false;
  }

 private:
  TestHttpServer& server_;
  const std::string target_;
  bool pressed_ = false;
};

// Through the import's fetch layer, one native transfer at a time: Skip ends the one waited
// for on a server that accepts and never answers, abandoning one that runs ahead breaks its
// connection, and one that cannot be broken off (a blocking name look-up) no longer holds a
// worker once abandoned: the fetch waited for runs while it still blocks.
TEST(HttpPoolFetcher, SkipOrAbandonEndsOneTransfer) {
  TestHttpServer server;
  ServeStall(server);
  server.Respond("/ok", 200, "fine");
  Count hung, blocking, release;
  server.Handle("/hang", [&](const TestRequest&, TestConnection& c) {
    if (c.WaitForPeerClose(4 * kBoundMs)) hung.Raise();
  });
  std::atomic<int> blocked{0};
  HttpPoolFetcher fetcher(2, Clients(),
                          [&](THttpClient& http, const std::string& url, const std::string& file) {
                            if (url.find("/blocking") == std::string::npos)
                              return FetchWithHttp(http, url, file);
                            ++blocked;
                            blocking.Raise();
                            release.WaitFor(1);  // deaf to the cancel, as a name look-up is
                            --blocked;
                            return FetchResult{};
                          });
  SkipWhenAsked observer(server, "/stall?skip");
  FetchAhead fetches(fetcher, observer, 2, std::string());
  EXPECT_EQ(fetches.FetchText(server.Url("/stall?skip")), std::nullopt);

  int ahead = 0;
  fetches.Plan(server.Url("/hang"), "", &ahead);
  ASSERT_TRUE(server.WaitForRequests(2, kBoundMs));
  fetches.DropPlans(&ahead);
  EXPECT_TRUE(hung.WaitFor(1));  // the client closed its connection

  // Each of the pool's two workers blocked in turn, abandoned while it blocks.
  for (int i = 1; i <= 2; ++i) {
    fetches.Plan(server.Url("/blocking?" + std::to_string(i)), "", &ahead);
    ASSERT_TRUE(blocking.WaitFor(i));
    fetches.DropPlans(&ahead);
  }
  EXPECT_EQ(fetches.FetchText(server.Url("/ok")), "fine");
  EXPECT_EQ(blocked.load(), 2);  // still blocked when the fetch waited for had ended
  release.Raise();
}

}  // namespace
}  // namespace lorvex
