// lorvex rewrite: the page with its references pointed at local copies, as it is saved.
#include <climits>
#include <cstdio>
#include <stdexcept>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

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

}  // namespace

int RewriteCommand(const Args& args) {
  constexpr const char* kUsage = "usage: lorvex rewrite FILE --local-folder DIR --page-url URL";
  std::string file, folder, pageUrl;
  bool haveFolder = false, haveUrl = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--local-folder" && i + 1 < args.size()) {
      folder = args[++i];
      haveFolder = true;
    } else if (arg == "--page-url" && i + 1 < args.size()) {
      pageUrl = args[++i];
      haveUrl = true;
    } else if (file.empty() && arg.rfind("--", 0) != 0) {
      file = arg;
    } else {
      throw std::invalid_argument(std::string("unexpected argument ") + arg + "\n" + kUsage);
    }
  }
  if (file.empty() || !haveFolder || !haveUrl) throw std::invalid_argument(kUsage);

  KeepLargeBuffersOnTheHeap();
  std::string page;
  {
    std::string html = LoadTextFile(file);
    page = RewritePageLinks(html, folder, pageUrl);
  }
  if (std::fwrite(page.data(), 1, page.size(), stdout) != page.size() || std::fflush(stdout) != 0)
    throw std::runtime_error("cannot write the output");
  return 0;
}

}  // namespace lorvex::cli
