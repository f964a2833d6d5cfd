// The tag scanner and the collecting pass against the literal model, with a base address and
// the duplicate rule taken from the input.
#include <fuzzer/FuzzedDataProvider.h>

#include "FuzzCheck.h"
#include "support/LinkModels.h"

using namespace lorvex;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  const bool removeDuplicates = input.ConsumeBool();
  const std::string base = input.ConsumeRandomLengthString(80);
  const std::string attribute = input.ConsumeRandomLengthString(12);
  const std::string html = input.ConsumeRemainingBytesAsString();

  StringList expected = model::LiteralCollect(html, base);
  if (removeDuplicates) RemoveDuplicateLines(expected);
  fuzz::ExpectSame(CollectTagReferences(html, base, removeDuplicates), expected,
                   "CollectTagReferences");

  // The attribute reader on the page as one attribute text, with a name from the input.
  const TagAttribute found = GetTagAttribute(html, attribute);
  fuzz::Expect(found.pos == kNoPosition || (found.pos >= 1 && size_t(found.pos) <= html.size() + 1),
               "GetTagAttribute gives no position or one inside the text");
  SrcAttribute(html), ValueAttribute(html), HrefAttribute(html), CharsetAttribute(html);
  return 0;
}
