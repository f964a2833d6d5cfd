// Names URLS URLs of one file name ("img.php?id=N", as a gallery page has them) in one
// resource folder, with the library's ResourceNames and with the literal search from 2 that
// it replaced (tests/support/ResourceNamesModel.h), and prints for each the time and the
// number of names looked up among the taken ones. The model is skipped above MODEL_LIMIT URLs.
//
// usage: naming [URLS...] (default 5000 10000 20000 200000)
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "import/ResourceNames.h"
#include "support/ResourceNamesModel.h"

namespace {

constexpr std::size_t kModelLimit = 20000;  // the model's 20,000 take tens of seconds

template <class Names>
void Run(const char* what, std::size_t urls) {
  Names names;
  const auto start = std::chrono::steady_clock::now();
  std::size_t length = 0;  // used, so that the calls are not optimised away
  for (std::size_t i = 0; i < urls; ++i)
    length += names.NameOf("http://s/img.php?id=" + std::to_string(i), "img.php").size();
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("| %-13s | %7zu | %10.4f | %12zu | %5.1f | %zu |\n", what, urls, seconds,
              names.Probes(), double(names.Probes()) / double(urls), length);
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::size_t> sizes;
  for (int i = 1; i < argc; ++i) sizes.push_back(std::strtoull(argv[i], nullptr, 10));
  if (sizes.empty()) sizes = {5000, 10000, 20000, 200000};
  std::printf("| names | URLs | seconds | probes | probes/URL | name bytes |\n");
  std::printf("|---|---|---|---|---|---|\n");
  for (std::size_t urls : sizes) {
    Run<lorvex::ResourceNames>("ResourceNames", urls);
    if (urls <= kModelLimit) Run<lorvex::model::ResourceNamesModel>("search from 2", urls);
  }
}
