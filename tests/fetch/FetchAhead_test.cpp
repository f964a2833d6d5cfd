// Fetching ahead changes nothing but the time: random sites imported with one connection and
// with six (over a fake web whose transfers end out of order, some slowly, some stalled until
// skipped) give the same files, failure lists, counters and progress, never more transfers
// at once than allowed, and, unless stopped, the same transfers: nothing runs ahead that the
// import does not use.
#include "fetch/FetchAhead.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "import/PageImport.h"
#include "platform/Platform.h"
#include "support/TempFolder.h"
#include "util/FileOperation.h"

namespace lorvex {
namespace {

namespace fs = std::filesystem;

// A resource of the fake web: its body, or none when it fails; the steps (WaitForAny calls)
// it takes; a stalled one ends only when skipped or abandoned, and one that lingers takes
// that many more steps to end after that (an engine that does not let go at once).
struct Resource {
  std::optional<std::string> body;
  int steps = 0;
  bool stalls = false;
  int lingers = 0;
};

class FakeWeb final : public ResourceFetcher, public ImportObserver {
 public:
  std::map<std::string, Resource> site;
  int stopAtStep = 0;  // StopAll from this progress step on (0: never)
  int skipAtWait = 0;  // Skip pressed at this wait slice (0: never)
  int stopAtWait = 0;  // StopAll from this wait slice on (0: never): a hang ends as a failure
  // What the import showed, and how the transfers ran.
  std::vector<int> progress;
  int most = 0;
  std::map<std::string, int> mostPerServer;
  StringList requested;

  FetchId Start(const std::string& url, const std::string& fileName) override {
    requested.push_back(url);
    Transfer& transfer = transfers_[++lastId_];
    transfer.url = url;
    transfer.file = fileName;
    auto it = site.find(url);
    transfer.resource = it == site.end() ? Resource{} : it->second;
    transfer.left = transfer.resource.steps;
    if (closed_) transfer.left = 0, transfer.resource.body.reset();
    ++running_;
    most = std::max(most, running_);
    const std::string server = ServerOf(url);
    int& perServer = runningPerServer_[server];
    ++perServer;
    mostPerServer[server] = std::max(mostPerServer[server], perServer);
    return lastId_;
  }
  bool Ended(FetchId id) override {
    Transfer& transfer = transfers_.at(id);
    if (!transfer.ended && transfer.left <= 0 && !(transfer.resource.stalls && !transfer.broken))
      End(transfer);
    return transfer.ended;
  }
  // Transfers started and not ended, those broken off included.
  int Unended() const {
    return int(std::count_if(transfers_.begin(), transfers_.end(),
                             [](const auto& t) { return !t.second.ended; }));
  }
  void WaitForAny(int) override {
    ++waits_;
    for (auto& [id, transfer] : transfers_) --transfer.left;
  }
  FetchResult Take(FetchId id) override {
    FetchResult result = transfers_.at(id).result;
    transfers_.erase(id);
    return result;
  }
  void Skip(FetchId id) override { Break(transfers_.at(id)); }
  void Abandon(FetchId id) override { Break(transfers_.at(id)); }
  void AbandonAll() override {
    closed_ = true;
    for (auto& [id, transfer] : transfers_) Break(transfer);
  }

  void ProcessMessages() override {}
  bool HasProgressBar() const override { return true; }
  void SetProgress(int position) override { progress.push_back(position); }
  bool StopAll() const override {
    return (stopAtStep && int(progress.size()) >= stopAtStep) ||
           (stopAtWait && waits_ >= stopAtWait);
  }
  bool TakeSkip() override {
    if (!skipAtWait || waits_ != skipAtWait || skipTaken_) return false;
    return skipTaken_ = true;
  }

 private:
  struct Transfer {
    std::string url, file;
    Resource resource;
    int left = 0;
    bool broken = false, ended = false;
    FetchResult result;
  };
  // A transfer broken off no longer counts as running, though it may linger.
  void Break(Transfer& transfer) {
    if (!transfer.broken && !transfer.ended) Uncount(transfer);
    transfer.broken = true;
    transfer.left = transfer.resource.lingers;
    transfer.resource.body.reset();
  }
  void Uncount(const Transfer& transfer) {
    --running_;
    --runningPerServer_[ServerOf(transfer.url)];
  }
  void End(Transfer& transfer) {
    transfer.ended = true;
    if (!transfer.broken) Uncount(transfer);
    if (!transfer.resource.body) return;
    transfer.result.ok = true;
    if (transfer.file.empty()) {
      transfer.result.text = *transfer.resource.body;
      return;
    }
    try {
      WriteFileBytes(transfer.file, *transfer.resource.body);
    } catch (const FileError&) {
      transfer.result.ok = false;
    }
  }

  std::map<FetchId, Transfer> transfers_;
  std::map<std::string, int> runningPerServer_;
  FetchId lastId_ = 0;
  int running_ = 0, waits_ = 0;
  bool closed_ = false, skipTaken_ = false;
};

// A random site on three servers: pages with pictures (some missing, some slow, some stalled,
// some with the same file name in other folders), style sheets with their own references
// (sheets that import sheets, in chains and loops deeper than the sheets read), frames and
// scripts with references of their own.
std::map<std::string, Resource> RandomSite(std::mt19937& random, std::string& top) {
  auto pick = [&](int n) { return int(random() % unsigned(n)); };
  const std::vector<std::string> servers = {"http://a.test/", "http://b.test/", "http://c.test/"};
  std::map<std::string, Resource> site;
  auto resource = [&](const std::string& url, std::string body) {
    Resource r;
    r.steps = pick(6);
    const int fate = pick(12);
    if (fate > 0) r.body = std::move(body);  // else it fails
    if (fate == 1) r.steps = 40;             // a slow one
    site[url] = r;
  };
  auto page = [&](int depth) {
    std::string html = "<html><body>\n";
    const int count = 1 + pick(12);
    for (int i = 0; i < count; ++i) {
      const std::string url = servers[pick(3)] + "d" + std::to_string(pick(3)) + "/p" +
                              std::to_string(pick(8)) + (pick(4) ? ".gif" : ".css");
      const int kind = pick(10);
      if (kind < 6) {
        html += "<img src=\"" + url + "\">\n";
      } else if (kind == 6) {
        html += "<link rel=\"stylesheet\" href=\"" + url + "\">\n";
      } else if (kind == 7 && depth == 1) {
        const std::string frame = servers[pick(3)] + "f" + std::to_string(pick(4)) + ".htm";
        html += "<iframe src=\"" + frame + "\"></iframe>\n";
      } else if (kind == 8) {
        const std::string script = servers[pick(3)] + "s" + std::to_string(pick(3)) + ".js";
        html += "<script src=\"" + script + "\"></script>\n";
        resource(script, "document.write('<img src=\"" + url + "\">');\n");
      } else {
        html += "<div style=\"background: url(" + url + ")\"></div>\n";
      }
      const std::string background =
          "body { background: url(x" + std::to_string(pick(3)) + ".png) }";
      const int body = pick(3);
      resource(url, body == 0 ? "bytes of " + url
                    : body == 1
                        ? background
                        : "@import \"p" + std::to_string(pick(8)) + ".css\";\n" + background);
      for (int x = 0; x < 3; ++x)
        for (const std::string& server : servers)
          for (int d = 0; d < 3; ++d)
            resource(server + "d" + std::to_string(d) + "/x" + std::to_string(x) + ".png",
                     "png " + std::to_string(x));
    }
    return html + "</body></html>\n";
  };
  for (const std::string& server : servers)
    for (int f = 0; f < 4; ++f) resource(server + "f" + std::to_string(f) + ".htm", page(2));
  top = page(1);
  return site;
}

// Every file below root with its bytes.
std::map<std::string, std::string> Files(const std::string& root) {
  std::map<std::string, std::string> files;
  if (!fs::exists(root)) return files;
  for (const auto& entry : fs::recursive_directory_iterator(root))
    files[entry.path().lexically_relative(root).generic_string()] =
        entry.is_directory() ? "<folder>" : ReadFileBytes(entry.path().string());
  return files;
}

struct Outcome {
  bool result = false;
  std::map<std::string, std::string> files;
  StringList failedUrls, failedTargets;
  int32_t fetched = 0, total = 0;
  std::vector<int> progress;
  int most = 0, mostPerServer = 0;
  std::map<std::string, int> transfers;  // by URL
};

// The transfers of URLs that many started more often than one, as "url +n".
StringList ExtraTransfers(const Outcome& many, const Outcome& one) {
  StringList extra;
  for (const auto& [url, count] : many.transfers) {
    const auto it = one.transfers.find(url);
    const int more = count - (it == one.transfers.end() ? 0 : it->second);
    if (more > 0) extra.push_back(url + " +" + std::to_string(more));
  }
  return extra;
}

Outcome Import(const std::string& html, const std::map<std::string, Resource>& site,
               int connections, bool complete, int stopAtStep, int skipAtWait) {
  support::TempFolder work;
  FakeWeb web;
  web.site = site;
  web.stopAtStep = stopAtStep;
  web.skipAtWait = skipAtWait;
  PageImportState state;
  Outcome outcome;
  outcome.result =
      RunPageImport(html, "http://a.test/index.htm", 5, platform::CorePath(work.path()), web, web,
                    state, PageImportOptions{complete, connections});
  outcome.files = Files(work.path());
  outcome.failedUrls = state.FailedUrls;
  // The targets below the work folder, which differs from run to run.
  auto slashed = [](std::string path) {
    std::replace(path.begin(), path.end(), '\\', '/');
    return path;
  };
  const std::string folder = slashed(platform::CorePath(work.path()));
  for (const std::string& target : state.FailedTargets) {
    const std::string path = slashed(target);
    outcome.failedTargets.push_back(path.rfind(folder, 0) == 0 ? path.substr(folder.size()) : path);
  }
  outcome.fetched = state.FetchedCount;
  outcome.total = state.ReferenceTotal;
  outcome.progress = web.progress;
  outcome.most = web.most;
  for (const std::string& url : web.requested) ++outcome.transfers[url];
  for (const auto& [server, most] : web.mostPerServer)
    outcome.mostPerServer = std::max(outcome.mostPerServer, most);
  return outcome;
}

TEST(FetchAhead, RandomSitesGiveWhatOneConnectionGives) {
  std::mt19937 random(20261208);
  int ranAhead = 0, unusedAfterStop = 0;
  for (int round = 0; round < 120; ++round) {
    std::string html;
    const auto site = RandomSite(random, html);
    const bool complete = round % 2 == 1;
    const int stopAtStep = round % 5 == 4 ? 1 + int(random() % 20) : 0;
    SCOPED_TRACE("round " + std::to_string(round) + (complete ? " complete" : "") +
                 (stopAtStep ? " stopped at " + std::to_string(stopAtStep) : ""));
    const Outcome one = Import(html, site, 1, complete, stopAtStep, 0);
    EXPECT_LE(one.most, 1);
    for (int connections : {2, 6}) {
      const Outcome many = Import(html, site, connections, complete, stopAtStep, 0);
      EXPECT_EQ(many.result, one.result);
      EXPECT_EQ(many.files, one.files);
      EXPECT_EQ(many.failedUrls, one.failedUrls);
      EXPECT_EQ(many.failedTargets, one.failedTargets);
      EXPECT_EQ(many.fetched, one.fetched);
      EXPECT_EQ(many.total, one.total);
      EXPECT_EQ(many.progress, one.progress);
      EXPECT_LE(many.most, connections);
      EXPECT_LE(many.mostPerServer, kMaxPerHost);
      ranAhead += many.most > 1;
      // Each fetch the import asks for is one transfer, whether it ran ahead or not; a
      // transfer started ahead and not used is one more. Only a Stop leaves some unused: those
      // running ahead when it came.
      const StringList extra = ExtraTransfers(many, one);
      if (stopAtStep) {
        unusedAfterStop += int(extra.size());
      } else {
        EXPECT_EQ(many.transfers, one.transfers) << connections << " connections, unused:\n"
                                                 << JoinLines(extra);
      }
    }
  }
  EXPECT_GT(ranAhead, 100);  // the sites did keep several transfers busy
  RecordProperty("UnusedAfterStop", unusedAfterStop);
}

// A stalled transfer in the middle of healthy ones: the one waited for is skipped, and every
// other resource is saved as without the stall.
TEST(FetchAhead, SkipEndsOnlyTheTransferWaitedFor) {
  std::map<std::string, Resource> site;
  std::string html = "<html><body>";
  for (int i = 0; i < 12; ++i) {
    const std::string url = "http://a.test/p" + std::to_string(i) + ".gif";
    site[url] = Resource{"gif " + std::to_string(i), 3 + i % 4, false};
    html += "<img src=\"" + url + "\">";
  }
  site["http://a.test/p0.gif"].stalls = true;
  html += "</body></html>";
  for (int connections : {1, 6}) {
    SCOPED_TRACE(connections);
    const Outcome outcome = Import(html, site, connections, false, 0, 2);
    EXPECT_EQ(outcome.failedUrls, StringList{"http://a.test/p0.gif"});
    EXPECT_EQ(outcome.files.count("5.files/p0.gif"), 0u);
    for (int i = 1; i < 12; ++i) {
      const auto file = outcome.files.find("5.files/p" + std::to_string(i) + ".gif");
      ASSERT_NE(file, outcome.files.end()) << i;
      EXPECT_EQ(file->second, "gif " + std::to_string(i));
    }
    for (const auto& [path, content] : outcome.files)
      EXPECT_NE(path.rfind("5.fetching", 0), 0u) << path;  // the fetch-ahead folder is gone
  }
}

// Texts announced ahead on a server that accepts and never answers (frames and scripts
// announced before a style sheet's references are known) take only the connections that may
// run ahead: the fetch waited for starts at once on the one kept for it, on the same server
// or another. Once the import abandons them they no longer count, even while they linger.
TEST(FetchAhead, TheFetchWaitedForAlwaysRuns) {
  for (int connections : {1, 2, 6, 12}) {
    SCOPED_TRACE(connections);
    const int ahead = std::min(connections - 1, kMaxPerHost - 1);
    FakeWeb web;
    web.stopAtWait = 2000;  // a hang ends as a Stop, which fails the fetches below
    for (int i = 0; i < 20; ++i) {
      web.site["http://a.test/s" + std::to_string(i) + ".htm"] = Resource{"s", 1, true, 30};
      web.site["http://a.test/n" + std::to_string(i) + ".gif"] = Resource{"n", 4, false, 0};
    }
    web.site["http://a.test/late.gif"] = Resource{"late", 3, false, 0};
    web.site["http://b.test/late.gif"] = Resource{"other", 3, false, 0};
    {
      FetchAhead fetches(web, web, connections, std::string());
      int stalled = 0, next = 0;
      for (int i = 0; i < 20; ++i)
        fetches.Plan("http://a.test/s" + std::to_string(i) + ".htm", "", &stalled);
      EXPECT_EQ(int(web.requested.size()), ahead);
      EXPECT_EQ(fetches.FetchText("http://a.test/late.gif"), "late");
      EXPECT_EQ(fetches.FetchText("http://b.test/late.gif"), "other");
      EXPECT_LE(web.mostPerServer["a.test"], std::min(connections, kMaxPerHost));

      // Abandoned, the stalled ones linger; what is announced next runs ahead all the same.
      fetches.DropPlans(&stalled);
      const size_t before = web.requested.size();
      for (int i = 0; i < 20; ++i)
        fetches.Plan("http://a.test/n" + std::to_string(i) + ".gif", "", &next);
      EXPECT_EQ(int(web.requested.size() - before), ahead);
      if (connections > 1) {
        EXPECT_GT(web.Unended(), ahead);  // the abandoned ones linger
      }
      for (int i = 0; i < 20; ++i)
        EXPECT_EQ(fetches.FetchText("http://a.test/n" + std::to_string(i) + ".gif"), "n") << i;
    }
    EXPECT_EQ(web.Unended(), 0);  // the end waited for the lingering ones
    EXPECT_LE(web.most, connections);
  }
}

}  // namespace
}  // namespace lorvex
