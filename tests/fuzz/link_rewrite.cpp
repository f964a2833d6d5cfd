// The rewriting pass against the literal model, with the local folder and the page address
// taken from the input.
#include <fuzzer/FuzzedDataProvider.h>

#include "FuzzCheck.h"
#include "support/LinkModels.h"

using namespace lorvex;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  const bool withCids = input.ConsumeBool();
  const std::string folder = input.ConsumeRandomLengthString(40);
  const std::string page = input.ConsumeRandomLengthString(80);
  const std::string cid = input.ConsumeRandomLengthString(16);
  const std::string html = input.ConsumeRemainingBytesAsString();
  const CidNames cids = {{"cid:" + cid, "part1.bin"}, {"cid:a@b", "pic.png"}};
  const CidNames* names = withCids ? &cids : nullptr;
  fuzz::ExpectSame(RewritePageLinks(html, folder, page, names),
                   model::LiteralRewrite(html, folder, page, names), "RewritePageLinks");
  return 0;
}
