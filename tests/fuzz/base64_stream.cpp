// The base64 stream decoder over a source that hands out the text in reads of sizes taken from
// the input, and the in-place text decoder, against the byte-at-a-time model.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>

#include "FuzzCheck.h"
#include "archive/Base64.h"
#include "support/DecoderModels.h"

using namespace lorvex;

namespace {

// Reads of the given sizes in turn (0 stands for "as much as fits"), then whatever fits.
class SplitSource final : public ByteSource {
 public:
  SplitSource(std::string_view text, std::vector<uint16_t> sizes) : rest_(text), sizes_(sizes) {}
  size_t Read(char* buffer, size_t capacity) override {
    size_t n = std::min(capacity, rest_.size());
    if (next_ < sizes_.size() && sizes_[next_] != 0) n = std::min<size_t>(n, sizes_[next_]);
    ++next_;
    rest_.copy(buffer, n);
    rest_.remove_prefix(n);
    return n;
  }

 private:
  std::string_view rest_;
  std::vector<uint16_t> sizes_;
  size_t next_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  std::vector<uint16_t> sizes(input.ConsumeIntegralInRange<size_t>(0, 16));
  for (uint16_t& n : sizes) n = input.ConsumeIntegralInRange<uint16_t>(0, 3000);
  const std::string text = input.ConsumeRemainingBytesAsString();
  const std::string expected = model::ReferenceDecode(text);

  SplitSource source(text, sizes);
  StringSink streamed;
  Base64DecodeStream(source, streamed);
  fuzz::ExpectSame(streamed.Text(), expected, "Base64DecodeStream");
  StringSink inPlace;
  Base64DecodeText(text, inPlace);
  fuzz::ExpectSame(inPlace.Text(), expected, "Base64DecodeText");
  return 0;
}
