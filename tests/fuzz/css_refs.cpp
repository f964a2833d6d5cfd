// The CSS reference reader against its literal model, and the rewriter's properties: the
// identity rewrite gives the text back, and rewritten references read back as written with
// nothing else changed. The replacements are cut from the first part of the input.
#include <fuzzer/FuzzedDataProvider.h>

#include "FuzzCheck.h"
#include "links/CssReferences.h"
#include "support/CssModel.h"

using namespace lorvex;

namespace {

void CheckPositions(std::string_view css, const std::vector<CssReference>& refs) {
  size_t end = 0;
  for (const CssReference& ref : refs) {
    fuzz::Expect(ref.offset >= end, "references in order, not overlapping");
    fuzz::Expect(ref.length <= css.size() && ref.offset <= css.size() - ref.length,
                 "reference inside the text");
    end = ref.offset + ref.length;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  const std::string pool = input.ConsumeRandomLengthString(24);
  const std::string css = input.ConsumeRemainingBytesAsString();

  const std::vector<CssReference> refs = FindCssReferences(css);
  CheckPositions(css, refs);
  fuzz::ExpectSame(model::DescribeCssReferences(refs),
                   model::DescribeCssReferences(model::LiteralCssReferences(css)),
                   "FindCssReferences");
  fuzz::ExpectSame(RewriteCssReferences(css, [](const CssReference&) { return std::nullopt; }), css,
                   "identity rewrite");

  std::vector<std::string> replacements;
  const auto replace = [&](const CssReference&) -> std::optional<std::string> {
    const size_t from = replacements.size() % (pool.size() + 1);
    return replacements.emplace_back(pool.substr(from, 1 + replacements.size() % 7));
  };
  const std::string out = RewriteCssReferences(css, replace);
  const std::vector<CssReference> back = FindCssReferences(out);
  fuzz::Expect(back.size() == refs.size(), "as many references after the rewrite");
  std::vector<bool> joined;
  for (size_t i = 0; i < refs.size(); ++i) {
    fuzz::ExpectSame(back[i].value, replacements[i], "rewritten value read back");
    fuzz::Expect(back[i].quote == refs[i].quote && back[i].fromImport == refs[i].fromImport,
                 "rewritten reference keeps its form");
    joined.push_back(refs[i].quote == 0 && replacements[i].empty());
  }
  fuzz::ExpectSame(model::CssGaps(out, back, joined), model::CssGaps(css, refs, joined),
                   "text outside the references");
  return 0;
}
