// A fetcher whose transfers are done when they start, for fakes written as plain calls; it is
// its own observer.
#pragma once

#include <map>
#include <optional>
#include <string>

#include "fetch/Fetching.h"

namespace lorvex::support {

class SyncFetcher : public ResourceFetcher, public ImportObserver {
 public:
  virtual bool FetchToFile(const std::string& url, const std::string& fileName) = 0;
  virtual std::optional<std::string> FetchText(const std::string& url) = 0;

  FetchId Start(const std::string& url, const std::string& fileName) override {
    FetchResult result;
    try {
      if (fileName.empty()) {
        std::optional<std::string> text = FetchText(url);
        result.ok = text.has_value();
        if (text) result.text = std::move(*text);
      } else {
        result.ok = FetchToFile(url, fileName);
      }
    } catch (...) {
      result.error = std::current_exception();
    }
    results_[++lastId_] = std::move(result);
    return lastId_;
  }
  bool Ended(FetchId) override { return true; }
  void WaitForAny(int) override {}
  FetchResult Take(FetchId id) override {
    FetchResult result = std::move(results_[id]);
    results_.erase(id);
    return result;
  }
  void Skip(FetchId) override {}
  void Abandon(FetchId) override {}
  void AbandonAll() override {}

 private:
  std::map<FetchId, FetchResult> results_;
  FetchId lastId_ = 0;
};

}  // namespace lorvex::support
