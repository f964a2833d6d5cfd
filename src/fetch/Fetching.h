// Fetching the resources of an import, several at a time.
//
// A ResourceFetcher runs transfers: the Windows build's moniker downloader with its HTTP
// fallback, the native build's pool of HTTP clients, a test's fake. It knows nothing of
// windows or progress. An ImportObserver is what the import shows and asks between steps:
// the progress, the window messages, the Stop and Skip buttons.
#pragma once

#include <cstdint>
#include <exception>
#include <memory>
#include <string>
#include <vector>

namespace lorvex {

using FetchId = std::uint64_t;

struct FetchResult {
  bool ok = false;   // the resource is in the file, or in text
  std::string text;  // a text fetch's content
  // A text fetch that raised: the exception is let out where the text is used.
  std::exception_ptr error;
};

inline FetchResult FileFetchResult(bool ok) {
  FetchResult result;
  result.ok = ok;
  return result;
}
inline FetchResult TextFetchResult(std::string text) {
  FetchResult result;
  result.ok = true;
  result.text = std::move(text);
  return result;
}

class ResourceFetcher {
 public:
  virtual ~ResourceFetcher() = default;
  // Starts fetching url into fileName ("/" may separate its folders), or as text when
  // fileName is empty. Never throws; a transfer that cannot start ends failed.
  virtual FetchId Start(const std::string& url, const std::string& fileName) = 0;
  virtual bool Ended(FetchId id) = 0;
  // Waits up to sliceMs for some transfer to end, doing meanwhile what the platform needs
  // (on Windows, the thread's window messages, which carry the moniker's notifications).
  virtual void WaitForAny(int sliceMs) = 0;
  // The result of an ended transfer, which is then forgotten.
  virtual FetchResult Take(FetchId id) = 0;
  // Skip: the transfer gives up what it is doing now; an engine with a fallback goes on to it.
  virtual void Skip(FetchId id) = 0;
  // The transfer ends as soon as it can, failed, without a fallback.
  virtual void Abandon(FetchId id) = 0;
  // Stop: every transfer ends as Abandon ends one, and later ones fail at once.
  virtual void AbandonAll() = 0;
  // True when a failed fetch removes what was at its target before.
  virtual bool FailureClearsTarget() const { return false; }
  // True when no transfer, ended or not, still holds a file: an abandoned one may hold its
  // file open, or leave a partial file behind, until its engine lets go.
  virtual bool ReleasedEverything() { return true; }
  // Keeps what must outlive every transfer (the folder they write into) until the engines
  // are gone: this base is destroyed after the engines of the fetcher built on it.
  void KeepUntilReleased(std::shared_ptr<void> kept) { kept_.push_back(std::move(kept)); }

 private:
  std::vector<std::shared_ptr<void>> kept_;
};

class ImportObserver {
 public:
  virtual ~ImportObserver() = default;
  // Handles what is pending (window messages, buttons) between steps.
  virtual void ProcessMessages() = 0;
  virtual bool HasProgressBar() const = 0;
  // Called only when HasProgressBar(); the position may pass 100 (the bar stays full).
  virtual void SetProgress(int position) = 0;
  // The user asked to stop the whole import.
  virtual bool StopAll() const = 0;
  // True once for each press of Skip since the last call: the fetch waited for gives up.
  virtual bool TakeSkip() { return false; }
};

}  // namespace lorvex
