// The HTML tokenizer on any bytes: every token lies inside the text, in order and without
// overlap; a tag runs from "<" to ">"; attribute values lie inside their tag; the decoding maps
// never go down and end at the raw value's length.
#include "FuzzCheck.h"
#include "html/HtmlTokenizer.h"

using namespace lorvex;

namespace {

void CheckDecoded(const DecodedHtmlText& decoded, size_t rawSize) {
  fuzz::Expect(decoded.rawOffset.size() == decoded.text.size() + 1, "one offset per byte and one");
  fuzz::Expect(decoded.rawOffset.back() == rawSize, "the map ends at the raw length");
  for (size_t i = 1; i < decoded.rawOffset.size(); ++i) {
    fuzz::Expect(decoded.rawOffset[i - 1] <= decoded.rawOffset[i], "the map never goes down");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text = fuzz::AsText(data, size);
  size_t previousEnd = 0;
  for (const HtmlToken& token : TokenizeHtml(text)) {
    fuzz::Expect(previousEnd <= token.begin && token.begin < token.end && token.end <= size,
                 "tokens lie in the text, in order, without overlap, never empty");
    fuzz::Expect(token.begin <= token.contentBegin && token.contentBegin <= token.contentEnd &&
                     token.contentEnd <= token.end,
                 "contents lie inside their token");
    previousEnd = token.end;
    if (token.kind != HtmlTokenKind::StartTag && token.kind != HtmlTokenKind::EndTag) continue;
    fuzz::Expect(text[token.begin] == '<' && text[token.end - 1] == '>', "a tag is <...>");
    fuzz::Expect(!token.name.empty(), "a tag has a name");
    for (const HtmlTagAttribute& a : token.attributes) {
      fuzz::Expect(token.begin < a.nameOffset && a.nameOffset <= a.valueOffset &&
                       a.valueOffset + a.rawValue.size() < token.end,
                   "an attribute lies inside its tag");
      fuzz::Expect(a.rawValue.data() == text.data() + a.valueOffset, "the raw value is a slice");
      CheckDecoded(a.value, a.rawValue.size());
    }
  }
  CheckDecoded(DecodeHtmlText(text, size % 2 == 0), size);
  return 0;
}
