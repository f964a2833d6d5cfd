// The HTML-to-text converter under every option, and its tokenizer, on any bytes.
#include "FuzzCheck.h"
#include "text/HTMLtoText.h"

using namespace lorvex;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  // The first byte picks the options, so that every combination is reached.
  const bool showLinks = data[0] & 1, keepTitle = data[0] & 2;
  const std::string_view html = fuzz::AsText(data + 1, size - 1);
  ConvertHTMLToText(html, showLinks, keepTitle);
  // The tokens tile the text: each one starts where the last ended and none is empty.
  for (size_t pos = 0; pos < html.size();) {
    const std::string_view token = NextHtmlToken(html, pos);
    fuzz::Expect(
        token.data() == html.data() + pos && !token.empty() && token.size() <= html.size() - pos,
        "NextHtmlToken tiles the text");
    if (token.front() == '<') ExtractAnchorHref(token);
    pos += token.size();
  }
  return 0;
}
