// lorvex rewrite: the page with its references pointed at local copies, as it is saved.
#include <climits>
#include <cstdio>
#include <stdexcept>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include "cli/CommandLine.h"
#include "cli/Commands.h"
#include "links/PageLinks.h"
#include "util/FileOperation.h"

namespace lorvex::cli {

namespace {

// The file's bytes, the page as lines and the rewritten page are each as large as the page.
// Kept on the heap rather than in fresh mappings, a freed buffer is reused for the next one
// instead of the kernel handing out (and zeroing) new pages for every buffer.
void KeepLargeBuffersOnTheHeap() {
#if defined(__GLIBC__)
  mallopt(M_MMAP_MAX, 0);
  mallopt(M_TRIM_THRESHOLD, INT_MAX);
#endif
}

struct RewriteArgs {
  std::string file, folder, pageUrl;
};

CommandLine RewriteLine(RewriteArgs& parsed) {
  CommandLine line("rewrite", "FILE", &parsed.file, {.missingValueUnexpected = true});
  line.Value("--local-folder", "DIR", &parsed.folder, CommandLine::Need::Required)
      .Value("--page-url", "URL", &parsed.pageUrl, CommandLine::Need::Required);
  return line;
}

}  // namespace

std::string RewriteUsage() {
  RewriteArgs unused;
  return RewriteLine(unused).Usage();
}

int RewriteCommand(const Args& args) {
  RewriteArgs parsed;
  CommandLine line = RewriteLine(parsed);
  if (line.Parse(args) == CommandLine::Outcome::HelpShown) return 0;
  if (line.MissingRequired()) throw UsageError(line.UsageLine());

  KeepLargeBuffersOnTheHeap();
  std::string page;
  {
    std::string html = LoadTextFile(parsed.file);
    page = RewritePageLinks(html, parsed.folder, parsed.pageUrl);
  }
  if (std::fwrite(page.data(), 1, page.size(), stdout) != page.size() || std::fflush(stdout) != 0)
    throw std::runtime_error("cannot write the output");
  return 0;
}

}  // namespace lorvex::cli
