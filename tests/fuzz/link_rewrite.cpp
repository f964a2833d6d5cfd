// The rewriting pass against the literal model, with the local folder and the page address
// taken from the input.
#include <fuzzer/FuzzedDataProvider.h>

#include "FuzzCheck.h"
#include "support/LinkModels.h"

using namespace lorvex;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  const std::string folder = input.ConsumeRandomLengthString(40);
  const std::string page = input.ConsumeRandomLengthString(80);
  const std::string html = input.ConsumeRemainingBytesAsString();
  fuzz::ExpectSame(RewritePageLinks(html, folder, page), model::LiteralRewrite(html, folder, page),
                   "RewritePageLinks");
  return 0;
}
