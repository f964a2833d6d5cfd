// The HTTP client's answer parsing (status line, headers, chunked framing, counted and
// to-close bodies, cookies, redirects, keep-alive reuse) through the real connection code, from
// a peer in memory whose two answers, and the sizes of the pieces it hands them out in, come
// from the input. Every failure must be an HttpError; a body that was accepted must hold no
// more bytes than the peer sent.
#include <fuzzer/FuzzedDataProvider.h>

#include "FuzzCheck.h"
#include "http/HttpClient.h"
#include "support/InMemoryStream.h"

using namespace lorvex;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  std::vector<std::size_t> pieces(input.ConsumeIntegralInRange<size_t>(0, 3));
  for (std::size_t& piece : pieces) piece = input.ConsumeIntegralInRange<size_t>(0, 64);
  const bool followRedirects = input.ConsumeBool();
  std::vector<std::string> answers = {input.ConsumeRandomLengthString(size)};
  answers.push_back(input.ConsumeRemainingBytesAsString());

  THttpClient http;
  http.HandleRedirects = followRedirects;
  http.RedirectMaximum = 3;
  http.OpenStream = [&](const std::string&, int) {
    return std::make_unique<test::InMemoryStream>(answers, pieces);
  };
  // The first GET, then a second one that reuses the kept connection when the first was framed.
  for (const char* url : {"http://example.test:8080/a", "http://example.test:8080/b"}) {
    try {
      const std::string body = http.Get(url);
      fuzz::Expect(body.size() <= answers[0].size() + answers[1].size(),
                   "a body holds no more than the peer sent");
    } catch (const HttpError&) {
      // A malformed, failed or cut-short answer: the defined outcome for bad input.
    }
  }
  return 0;
}
