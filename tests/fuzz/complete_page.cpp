// The complete-page mode's scan of a page on any bytes: every value lies inside the page, in
// order and apart from the others; a rewrite that names nothing changes only removed tags and
// values pointed at the web; a rewrite that names everything reads back to the same places.
#include <fuzzer/FuzzedDataProvider.h>

#include "FuzzCheck.h"
#include "links/CompletePageLinks.h"

using namespace lorvex;

namespace {

// How much a rewrite may write in place of refs at most, from the input: a value becomes an
// address made of the base in force (the page's address joined with a base tag's value, which
// lies in a tag or attribute that the rewrite removes) and the value itself, percent-encoded (at
// most three bytes a byte) and hosts written in full, then escaped for the attribute (at most five
// bytes a byte: "&amp;"); a local name with the value's fragment likewise. A srcdoc document's
// references are rewritten where they stand in the value, each escaped for it (at most six bytes
// a byte).
size_t Written(const std::vector<PageReference>& refs, size_t base) {
  for (const PageReference& ref : refs)
    if (ref.form == PageReference::Form::RemoveTag ||
        ref.form == PageReference::Form::RemoveAttribute)
      base += ref.length;
  size_t total = 0;
  for (const PageReference& ref : refs) {
    if (ref.form == PageReference::Form::Srcdoc)
      total += 6 * Written(ref.inner, base);
    else
      total += 25 * (base + ref.length) + 256;
  }
  return total;
}

}  // namespace

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
  fuzz::Expect(named.size() <= html.size() + Written(refs, page.size()),
               "rewritten size follows from the input");
  fuzz::Expect(kept.size() <= html.size() + Written(refs, page.size()),
               "rewritten size follows from the input");
  return 0;
}
