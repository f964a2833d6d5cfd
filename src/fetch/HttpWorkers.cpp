#include "fetch/HttpWorkers.h"

#include <algorithm>
#include <chrono>
#include <stdexcept>

#include "http/HttpFetch.h"

namespace lorvex {

HttpWorkers::HttpWorkers(int workers, ClientMaker makeClient)
    : maxWorkers_(size_t(std::max(workers, 1))), makeClient_(std::move(makeClient)) {}

HttpWorkers::~HttpWorkers() {
  {
    std::lock_guard lock(mutex_);
    closing_ = true;
    EndAllQueued();
    for (auto& [id, task] : tasks_) task->cancelled = true;
  }
  work_.notify_all();
  for (std::thread& thread : threads_) thread.join();
}

FetchId HttpWorkers::Submit(Job job) {
  std::lock_guard lock(mutex_);
  const FetchId id = ++lastId_;
  if (!job || cancelAll_ || closing_) {
    ++endings_;  // never recorded: it reads as ended failed
    ended_.notify_all();
    return id;
  }
  try {
    auto task = std::make_shared<Task>();
    task->job = std::move(job);
    Task& queued = *tasks_.emplace(id, std::move(task)).first->second;
    try {
      queue_.push_back(id);
    } catch (...) {
      tasks_.erase(id);
      throw;
    }
    queued.queued = true;
  } catch (...) {
    ++endings_;
    ended_.notify_all();
    return id;
  }
  StartWorkerIfNeeded();
  work_.notify_one();
  return id;
}

void HttpWorkers::StartWorkerIfNeeded() {
  // Each waiting worker takes one queued job; a job beyond them needs a thread of its own.
  if (queue_.size() <= idle_ || live_ - stuck_ >= maxWorkers_) return;
  try {
    threads_.emplace_back([this] { Work(); });
    ++idle_;  // the new worker takes a job before it ever waits
    ++live_;
  } catch (...) {
    // Jobs left for workers that run are taken in time; with none, nothing would take them.
    if (live_ == 0) EndAllQueued();
  }
}

void HttpWorkers::MarkStuck(Task& task) {
  if (task.queued || task.ended || task.stuck) return;
  task.stuck = true;
  ++stuck_;
}

bool HttpWorkers::Idle() {
  std::lock_guard lock(mutex_);
  return busy_ == 0;
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
  if (it->second->queued) queue_.erase(std::find(queue_.begin(), queue_.end(), id));
  tasks_.erase(it);
  return result;
}

void HttpWorkers::Cancel(FetchId id) {
  std::lock_guard lock(mutex_);
  auto it = tasks_.find(id);
  if (it == tasks_.end()) return;
  it->second->cancelled = true;
  if (it->second->queued) {
    EndQueued(id, *it->second);
    return;
  }
  MarkStuck(*it->second);
  StartWorkerIfNeeded();  // a job queued behind it takes the place it leaves
}

void HttpWorkers::CancelAll() {
  std::lock_guard lock(mutex_);
  cancelAll_ = true;
  EndAllQueued();
  for (auto& [id, task] : tasks_) {
    task->cancelled = true;
    MarkStuck(*task);
  }
}

void HttpWorkers::WaitForAny(int ms) {
  std::unique_lock lock(mutex_);
  const uint64_t seen = endings_;
  ended_.wait_for(lock, std::chrono::milliseconds(ms), [&] { return endings_ != seen; });
}

void HttpWorkers::EndTask(Task& task, FetchResult result) {
  task.result = std::move(result);
  task.ended = true;
  task.job = nullptr;
  ++endings_;
  ended_.notify_all();
}

void HttpWorkers::EndQueued(FetchId id, Task& task) {
  queue_.erase(std::find(queue_.begin(), queue_.end(), id));
  task.queued = false;
  EndTask(task, FetchResult{});
}

void HttpWorkers::EndAllQueued() {
  for (FetchId id : queue_) {
    auto it = tasks_.find(id);
    it->second->queued = false;
    EndTask(*it->second, FetchResult{});
  }
  queue_.clear();
}

void HttpWorkers::Work() {
  std::shared_ptr<Task> current;
  std::unique_ptr<THttpClient> http;  // made for the first job; destroyed before current
  std::unique_lock lock(mutex_);
  for (;;) {  // idle_ counts this worker here
    work_.wait(lock, [&] { return closing_ || !queue_.empty(); });
    if (queue_.empty()) {  // closing, nothing left
      --idle_;
      --live_;
      return;
    }
    --idle_;
    const FetchId id = queue_.front();
    queue_.pop_front();
    current = tasks_.at(id);
    current->queued = false;
    ++busy_;
    lock.unlock();
    FetchResult result = Run(*current, http, current);
    lock.lock();
    --busy_;
    if (current->stuck) --stuck_;
    EndTask(*current, std::move(result));
    current.reset();
    // A worker that stood in for a stuck one is one too many once that one is free again.
    if (live_ - stuck_ > maxWorkers_) {
      --live_;
      lock.unlock();
      http.reset();
      return;
    }
    ++idle_;
  }
}

std::unique_ptr<THttpClient> HttpWorkers::MakeClient(const std::shared_ptr<Task>& current) {
  std::unique_ptr<THttpClient> http = makeClient_();
  if (!http) throw std::runtime_error("no HTTP client");
  // The worker's own thread breaks off its transfer when its job is cancelled.
  THttpClient* self = http.get();
  http->OnIdle = [this, self, &current, ownHook = std::move(http->OnIdle)] {
    if (ownHook) ownHook();
    bool cancelled;
    {
      std::lock_guard lock(mutex_);
      cancelled = current && current->cancelled;
    }
    if (cancelled) self->Disconnect();
  };
  return http;
}

FetchResult HttpWorkers::Run(Task& task, std::unique_ptr<THttpClient>& http,
                             const std::shared_ptr<Task>& current) {
  if (!http) {
    try {
      http = MakeClient(current);
    } catch (...) {
      return FetchResult{};  // this transfer fails as any other; the next job asks again
    }
  }
  try {
    return task.job(*http);
  } catch (...) {
    FetchResult failed;
    failed.error = std::current_exception();
    return failed;
  }
}

FetchResult FetchWithHttp(THttpClient& http, const std::string& url, const std::string& fileName) {
  if (!fileName.empty()) return FileFetchResult(HttpGetToFile(url, fileName, http));
  std::optional<std::string> text = HttpTryGetText(url, http);
  return text ? TextFetchResult(std::move(*text)) : FetchResult{};
}

}  // namespace lorvex
