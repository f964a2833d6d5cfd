// The URL parser on any bytes, against a base that is itself parsed from the input: what it
// gives is a URL without blanks, controls, "<", ">" or bytes from 0x80 up (a '"' may stand in a
// host name, as the URL standard lets it; attribute writers escape it), that reads back as
// itself, and whose length follows from the input.
#include <fuzzer/FuzzedDataProvider.h>

#include "FuzzCheck.h"
#include "util/WebUrl.h"

using namespace lorvex;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  const std::string baseText = input.ConsumeRandomLengthString(200);
  const std::string text = input.ConsumeRemainingBytesAsString();
  const std::optional<WebUrl> base = ParseWebUrl(baseText);
  const std::optional<std::string> href = WebUrlHref(text, base ? &*base : nullptr);
  if (!href) return 0;
  for (char c : *href) {
    const auto byte = static_cast<unsigned char>(c);
    fuzz::Expect(byte > 0x20 && byte < 0x7F && c != '<' && c != '>',
                 "a URL holds no blank, control, angle bracket or byte outside ASCII");
  }
  fuzz::ExpectSame(WebUrlHref(*href).value_or("(refused)"), *href, "a URL reads back as itself");
  // Escaping triples a byte at most; a host's numbers and labels grow by a bounded amount.
  const size_t from = text.size() + (base ? base->Href().size() : 0);
  fuzz::Expect(href->size() <= 5 * from + 64, "a URL's length follows from the input");
  return 0;
}
