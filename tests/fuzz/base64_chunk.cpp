// The base64 chunk decoder fed the text in pieces of sizes taken from the input, each into an
// output buffer of exactly the documented size, against the byte-at-a-time model.
#include <fuzzer/FuzzedDataProvider.h>

#include "FuzzCheck.h"
#include "archive/Base64.h"
#include "support/DecoderModels.h"

using namespace lorvex;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  const std::string text = input.ConsumeRandomLengthString(size);
  std::string decoded;
  int remaining = kBase64QuantumLength;
  uint32_t accumulator = 0;
  for (size_t pos = 0; pos < text.size();) {
    const size_t length = input.remaining_bytes()
                              ? input.ConsumeIntegralInRange<size_t>(0, text.size() - pos)
                              : text.size() - pos;
    // A buffer of the documented size on the heap, so that a byte written past it is caught.
    std::vector<uint8_t> output(3 * ((length + 3) / 4));
    const size_t written = Base64DecodeChunk(reinterpret_cast<const uint8_t*>(text.data()) + pos,
                                             length, output.data(), remaining, accumulator);
    fuzz::Expect(written <= output.size(), "Base64DecodeChunk stays inside its output");
    decoded.append(reinterpret_cast<const char*>(output.data()), written);
    pos += length;
  }
  std::vector<uint8_t> tail(2);
  const size_t written = Base64DecodeFinish(tail.data(), accumulator, remaining);
  fuzz::Expect(written <= tail.size(), "Base64DecodeFinish writes at most two bytes");
  decoded.append(reinterpret_cast<const char*>(tail.data()), written);
  fuzz::ExpectSame(decoded, model::ReferenceDecode(text), "Base64DecodeChunk");
  return 0;
}
