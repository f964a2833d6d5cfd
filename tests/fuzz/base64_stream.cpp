// The base64 stream decoder over a source that hands out the text in reads of sizes taken from
// the input, and the in-place text decoder, against the byte-at-a-time model.
#include <fuzzer/FuzzedDataProvider.h>

#include "FuzzCheck.h"
#include "archive/Base64.h"
#include "support/DecoderModels.h"
#include "support/SplitSource.h"

using namespace lorvex;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  // Read sizes in turn, 0 for "as much as fits".
  std::vector<size_t> sizes(input.ConsumeIntegralInRange<size_t>(0, 16));
  for (size_t& n : sizes) n = input.ConsumeIntegralInRange<size_t>(0, 3000);
  const std::string text = input.ConsumeRemainingBytesAsString();
  const std::string expected = model::ReferenceDecode(text);

  support::SplitSource source(text, sizes);
  StringSink streamed;
  Base64DecodeStream(source, streamed);
  fuzz::ExpectSame(streamed.Text(), expected, "Base64DecodeStream");
  StringSink inPlace;
  Base64DecodeText(text, inPlace);
  fuzz::ExpectSame(inPlace.Text(), expected, "Base64DecodeText");
  return 0;
}
