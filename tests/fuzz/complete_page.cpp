// The complete-page mode's scan of a page on any bytes: every value lies inside the page, in
// order and apart from the others; a rewrite that names nothing changes only removed tags and
// values pointed at the web; a rewrite that names everything reads back to the same places.
#include <fuzzer/FuzzedDataProvider.h>

#include "FuzzCheck.h"
#include "links/CompletePageLinks.h"

using namespace lorvex;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  const bool script = input.ConsumeBool();
  const std::string page = input.ConsumeRandomLengthString(60);
  const std::string html = input.ConsumeRemainingBytesAsString();
  const std::vector<PageReference> refs = ScanCompletePage(html, page, script);
  size_t end = 0;
  bool changes = false;
  for (const PageReference& ref : refs) {
    fuzz::Expect(ref.offset >= end && ref.offset + ref.length <= html.size(),
                 "values in order, apart, inside the page");
    end = ref.offset + ref.length;
    changes |= ref.form == PageReference::Form::RemoveTag ||
               ref.form == PageReference::Form::Srcdoc || ref.absolute.has_value();
  }
  const std::string kept =
      RewriteCompletePage(html, refs, [](const PageReference&) { return std::nullopt; });
  if (!changes) fuzz::ExpectSame(kept, html, "a rewrite that names nothing");
  const std::string named = RewriteCompletePage(
      html, refs, [](const PageReference&) { return std::optional<std::string>("n.files/x.gif"); });
  // A reference in a srcdoc document is written escaped for the value (at most six bytes a
  // byte); the rest of the value stays as it stood.
  fuzz::Expect(named.size() <= 4 * html.size() + refs.size() * 64 + 4096, "rewritten size bounded");
  return 0;
}
