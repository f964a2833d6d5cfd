// The one-pass quoted-printable decoder against the in-place model.
#include "FuzzCheck.h"
#include "archive/QuotedPrintable.h"
#include "support/DecoderModels.h"

using namespace lorvex;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text = fuzz::AsText(data, size);
  fuzz::ExpectSame(DecodeQuotedPrintable(text), model::ReferenceQuotedPrintable(std::string(text)),
                   "DecodeQuotedPrintable");
  return 0;
}
