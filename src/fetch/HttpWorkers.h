// Fetches run on worker threads, each thread with an HTTP client of its own that keeps its
// connection between fetches. Jobs are started in the order submitted, as workers come free;
// there are never more threads than the pool was made for.
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

  FetchId Submit(Job job);
  bool Ended(FetchId id);
  // The result of an ended job, which is then forgotten.
  FetchResult Take(FetchId id);
  // The job's transfer is broken off (within the client's idle interval); a job that has not
  // begun fails without running.
  void Cancel(FetchId id);
  // Every job is cancelled, and later ones fail without running.
  void CancelAll();
  // Waits up to ms for a job to end.
  void WaitForAny(int ms);

 private:
  struct Task {
    Job job;
    bool cancelled = false;
    bool ended = false;
    FetchResult result;
  };
  void Work();

  const size_t maxWorkers_;
  const ClientMaker makeClient_;
  std::mutex mutex_;
  std::condition_variable work_, ended_;
  std::deque<FetchId> queue_;
  std::map<FetchId, std::shared_ptr<Task>> tasks_;
  FetchId lastId_ = 0;
  size_t idle_ = 0;
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
      : workers_(workers, std::move(makeClient)), fetch_(std::move(fetch)) {}

  FetchId Start(const std::string& url, const std::string& fileName) override {
    return workers_.Submit(
        [this, url, fileName](THttpClient& http) { return fetch_(http, url, fileName); });
  }
  bool Ended(FetchId id) override { return workers_.Ended(id); }
  void WaitForAny(int sliceMs) override { workers_.WaitForAny(sliceMs); }
  FetchResult Take(FetchId id) override { return workers_.Take(id); }
  void Skip(FetchId id) override { workers_.Cancel(id); }
  void Abandon(FetchId id) override { workers_.Cancel(id); }
  void AbandonAll() override { workers_.CancelAll(); }

 private:
  HttpWorkers workers_;
  const Fetch fetch_;
};

}  // namespace lorvex
