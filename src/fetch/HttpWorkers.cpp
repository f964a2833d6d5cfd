#include "fetch/HttpWorkers.h"

#include <algorithm>
#include <chrono>

#include "http/HttpFetch.h"

namespace lorvex {

HttpWorkers::HttpWorkers(int workers, ClientMaker makeClient)
    : maxWorkers_(size_t(std::max(workers, 1))), makeClient_(std::move(makeClient)) {}

HttpWorkers::~HttpWorkers() {
  {
    std::lock_guard lock(mutex_);
    closing_ = true;
    for (auto& [id, task] : tasks_) task->cancelled = true;
  }
  work_.notify_all();
  for (std::thread& thread : threads_) thread.join();
}

FetchId HttpWorkers::Submit(Job job) {
  std::lock_guard lock(mutex_);
  const FetchId id = ++lastId_;
  auto task = std::make_shared<Task>();
  task->job = std::move(job);
  task->cancelled = cancelAll_;
  tasks_.emplace(id, std::move(task));
  queue_.push_back(id);
  if (idle_ == 0 && threads_.size() < maxWorkers_) threads_.emplace_back([this] { Work(); });
  work_.notify_one();
  return id;
}

bool HttpWorkers::Ended(FetchId id) {
  std::lock_guard lock(mutex_);
  auto it = tasks_.find(id);
  return it == tasks_.end() || it->second->ended;
}

FetchResult HttpWorkers::Take(FetchId id) {
  std::lock_guard lock(mutex_);
  auto it = tasks_.find(id);
  if (it == tasks_.end()) return FetchResult{};
  FetchResult result = std::move(it->second->result);
  tasks_.erase(it);
  return result;
}

void HttpWorkers::Cancel(FetchId id) {
  std::lock_guard lock(mutex_);
  auto it = tasks_.find(id);
  if (it != tasks_.end()) it->second->cancelled = true;
}

void HttpWorkers::CancelAll() {
  std::lock_guard lock(mutex_);
  cancelAll_ = true;
  for (auto& [id, task] : tasks_) task->cancelled = true;
}

void HttpWorkers::WaitForAny(int ms) {
  std::unique_lock lock(mutex_);
  const uint64_t seen = endings_;
  ended_.wait_for(lock, std::chrono::milliseconds(ms), [&] { return endings_ != seen; });
}

void HttpWorkers::Work() {
  std::unique_ptr<THttpClient> http = makeClient_();
  std::shared_ptr<Task> current;
  // The worker's own thread breaks off its transfer when the job is cancelled.
  http->OnIdle = [&, ownHook = http->OnIdle] {
    if (ownHook) ownHook();
    bool cancelled;
    {
      std::lock_guard lock(mutex_);
      cancelled = current && current->cancelled;
    }
    if (cancelled) http->Disconnect();
  };
  std::unique_lock lock(mutex_);
  for (;;) {
    ++idle_;
    work_.wait(lock, [&] { return closing_ || !queue_.empty(); });
    --idle_;
    if (queue_.empty()) return;  // closing, nothing left
    const FetchId id = queue_.front();
    queue_.pop_front();
    auto it = tasks_.find(id);
    if (it == tasks_.end()) continue;
    current = it->second;
    if (!current->cancelled) {
      lock.unlock();
      FetchResult result;
      try {
        result = current->job(*http);
      } catch (...) {
        result.ok = false;
        result.error = std::current_exception();
      }
      lock.lock();
      current->result = std::move(result);
    }
    current->ended = true;
    current->job = nullptr;
    current.reset();
    ++endings_;
    ended_.notify_all();
  }
}

FetchResult FetchWithHttp(THttpClient& http, const std::string& url, const std::string& fileName) {
  if (!fileName.empty()) return FileFetchResult(HttpGetToFile(url, fileName, http));
  std::optional<std::string> text = HttpTryGetText(url, http);
  return text ? TextFetchResult(std::move(*text)) : FetchResult{};
}

}  // namespace lorvex
