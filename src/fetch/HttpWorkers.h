// Fetches run on worker threads, each thread with an HTTP client of its own that keeps its
// connection between fetches. Jobs are started in the order submitted, as workers come free;
// the pool grows by a thread whenever a queued job has no waiting worker to take it, up to
// the number of threads it was made for. A worker whose job was cancelled but has not ended
// (a blocking name look-up, a file copy) does not count: another thread takes its place, and
// the surplus threads end once they are free again.
//
// Nothing here ends the host: a job whose client cannot be made, or that no thread can run,
// ends failed like any transfer that did not fetch, and so does a job cancelled before it
// began, at once. An id the pool does not hold (taken, or never recorded) reads as a job
// ended failed.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "fetch/Fetching.h"
#include "http/HttpClient.h"

namespace lorvex {

class HttpWorkers {
 public:
  // A job runs on a worker with that worker's client and gives the fetch's result; what it
  // raises makes the result a failure (carrying the exception).
  using Job = std::function<FetchResult(THttpClient& http)>;
  // Makes a worker's client; called on the worker's thread.
  using ClientMaker = std::function<std::unique_ptr<THttpClient>()>;

  HttpWorkers(int workers, ClientMaker makeClient);
  // Breaks off what runs and joins the threads.
  ~HttpWorkers();
  HttpWorkers(const HttpWorkers&) = delete;
  HttpWorkers& operator=(const HttpWorkers&) = delete;

  // Never throws: an empty job, or one that cannot be queued or given a thread, ends failed.
  FetchId Submit(Job job);
  bool Ended(FetchId id);
  // The result of an ended job, which is then forgotten.
  FetchResult Take(FetchId id);
  // The job's transfer is broken off (within the client's idle interval); a job that has not
  // begun ends failed at once, without running.
  void Cancel(FetchId id);
  // Every job is cancelled, and later ones end failed at once.
  void CancelAll();
  // Waits up to ms for a job to end.
  void WaitForAny(int ms);
  // True when no job is running on a worker, cancelled or not.
  bool Idle();

 private:
  struct Task {
    Job job;
    bool queued = false;
    bool cancelled = false;
    bool stuck = false;  // running after a cancel: its worker does not count
    bool ended = false;
    FetchResult result;
  };
  void Work();
  // A worker's client, whose idle hook breaks off the transfer of a cancelled current job.
  std::unique_ptr<THttpClient> MakeClient(const std::shared_ptr<Task>& current);
  // Runs the current job on http, made first when the worker has none.
  FetchResult Run(Task& task, std::unique_ptr<THttpClient>& http,
                  const std::shared_ptr<Task>& current);
  // With the mutex held: the task ends with result and its waiters hear of it.
  void EndTask(Task& task, FetchResult result);
  // With the mutex held: queued tasks end failed without running.
  void EndQueued(FetchId id, Task& task);
  void EndAllQueued();
  // With the mutex held: the task, running, was cancelled; its worker stops counting.
  void MarkStuck(Task& task);
  // With the mutex held: one more worker when a queued job needs one and the threads that
  // count allow it, or, when none can start and none runs, every queued job ends failed.
  void StartWorkerIfNeeded();

  const size_t maxWorkers_;
  const ClientMaker makeClient_;
  std::mutex mutex_;
  std::condition_variable work_, ended_;
  std::deque<FetchId> queue_;
  std::map<FetchId, std::shared_ptr<Task>> tasks_;
  FetchId lastId_ = 0;
  // Workers that will take a queued job without a new thread: those waiting, and those
  // started that have not yet looked at the queue (a notified worker that has not woken is
  // one of them until it takes its job).
  size_t idle_ = 0;
  size_t live_ = 0;   // workers whose thread has not ended
  size_t stuck_ = 0;  // workers running a cancelled job
  size_t busy_ = 0;   // workers running a job
  bool closing_ = false, cancelAll_ = false;
  uint64_t endings_ = 0;
  std::vector<std::thread> threads_;
};

// A fetch by HTTP alone: the body into fileName (nothing left there on failure), or as text
// when fileName is empty.
FetchResult FetchWithHttp(THttpClient& http, const std::string& url, const std::string& fileName);

// The fetcher of the native tool: every fetch a job of the pool.
class HttpPoolFetcher final : public ResourceFetcher {
 public:
  using Fetch = std::function<FetchResult(THttpClient& http, const std::string& url,
                                          const std::string& fileName)>;
  HttpPoolFetcher(int workers, HttpWorkers::ClientMaker makeClient, Fetch fetch = FetchWithHttp)
      : fetch_(std::move(fetch)), workers_(workers, std::move(makeClient)) {}

  FetchId Start(const std::string& url, const std::string& fileName) override {
    try {
      return workers_.Submit(
          [this, url, fileName](THttpClient& http) { return fetch_(http, url, fileName); });
    } catch (...) {
      return workers_.Submit(nullptr);  // the job could not even be made: it ends failed
    }
  }
  bool Ended(FetchId id) override { return workers_.Ended(id); }
  void WaitForAny(int sliceMs) override { workers_.WaitForAny(sliceMs); }
  FetchResult Take(FetchId id) override { return workers_.Take(id); }
  void Skip(FetchId id) override { workers_.Cancel(id); }
  void Abandon(FetchId id) override { workers_.Cancel(id); }
  void AbandonAll() override { workers_.CancelAll(); }
  // A job's transfer lets go of its file (a partial one removed) before the job ends.
  bool ReleasedEverything() override { return workers_.Idle(); }

 private:
  // Before the pool: the pool's destructor joins the threads that call it, and a job may
  // outlive the cancel (a name look-up, a file copy).
  const Fetch fetch_;
  HttpWorkers workers_;
};

}  // namespace lorvex
