// The archive reader against its literal model on archives in the saved-page layout, built
// from choices that the input makes (one input byte per choice).
#include <fuzzer/FuzzedDataProvider.h>

#include "FuzzCheck.h"
#include "support/ArchiveModel.h"

using namespace lorvex;

namespace {

class ByteChoices {
 public:
  ByteChoices(const uint8_t* data, size_t size) : input_(data, size) {}
  uint32_t operator()() { return input_.ConsumeIntegral<uint8_t>(); }

 private:
  FuzzedDataProvider input_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ByteChoices choices(data, size);
  const std::string text = model::SavedPageLayoutArchive(choices);
  const model::Walk actual = model::WalkText(text), expected = model::ReferenceReader(text).Run();
  if (actual.walked == expected.walked && actual.parts == expected.parts) return 0;
  fuzz::Print("archive", text);
  for (const model::Walk* walk : {&actual, &expected}) {
    std::fprintf(stderr, "%s: walked %d\n", walk == &actual ? "library" : "model", walk->walked);
    for (const model::Handed& part : walk->parts) {
      std::fprintf(stderr, "  page %d encoding %d\n", part.page, int(part.encoding));
      fuzz::Print("  location", part.location);
      fuzz::Print("  body", part.body);
    }
  }
  __builtin_trap();
}
