// The CSS reference reader against its slow, literal model (support/CssModel.h) on random
// style text, and the rewriter's round trip on the same texts.
#include <gtest/gtest.h>

#include <random>

#include "links/CssReferences.h"
#include "support/CssModel.h"

namespace lorvex {
namespace {

using namespace std::string_view_literals;
using model::CssGaps;
using model::DescribeCssReferences;
using model::LiteralCssReferences;

// Pieces that reach every rule the reader has: url and other functions in every spelling,
// quotes, brackets, comment marks, escapes of every kind (hex with and without their
// whitespace, before line breaks, at the end), every line break, at-keywords, numbers and
// units, markup comment marks, non-printable, NUL and non-ASCII bytes.
std::string RandomCss(std::mt19937& random) {
  // Kept out of the formatter, which puts each piece that ends in a line break on its own line.
  // clang-format off
  static const std::string_view kPieces[] = {
      "url(", "URL(", "uRl(", "u\\72l(", "url( ", "url(  ", "url(\"", "url('", "url( \"", "url(\t'",
      "url(\r\n\"", "myurl(", "-url(", "--url(", "_url(", "image-set(", "-webkit-Image-Set(",
      "type(", "format(", "\"", "'", "(", ")", "[", "]", "{", "}", "/*", "*/", "*", "/", "\\",
      "\\\n", "\\\r\n", "\\\r", "\\\f", "\\41", "\\41 ", "\\41\r\n", "\\e9", "\\0", "\\110000",
      "\\D800", "\\)", "\\\"", "\\'", " ", "\t", "\n", "\r", "\r\n", "\f", "@import", "@IMPORT",
      "@im\\70ort", "@imports", "@", "@-", "#", "#url(", "-", "--", "-->", "<!--", "<", "!", "1",
      "1e", "2e+3", "+.5", ".", "+", "%", "a.png", "x", "b c", ";", ":", ",", "\x01", "\x0B",
      "\x7F", "\0"sv, "\xE9", "\xFF", "data:a/b;base64,QQ==", "e", "u", "r", "l", "1x"};
  // Whole references, so that most texts hold some, and the bits around them disturb them.
  static const std::string_view kShapes[] = {
      "url(a.png)", "url( b.png )", "url(\"c.png\")", "url('d')", "@import url(e.css)",
      "@import \"f.css\"", "@import '", "@import url(", "@import /**/ ", "image-set(\"g\" 1x, ",
      "-webkit-image-set(url(h.png) 1x)", "src:url(i.woff) format(\"woff\")", "url(j\\)k)",
      "url(l\\20m)"};
  // clang-format on
  std::string css;
  const int count = static_cast<int>(random() % 40);
  for (int i = 0; i < count; ++i) {
    if (random() % 4 == 0)
      css += kShapes[random() % std::size(kShapes)];
    else
      css += kPieces[random() % std::size(kPieces)];
  }
  return css;
}

std::string RandomReplacement(std::mt19937& random) {
  static const std::string_view kPieces[] = {"a",    "5.files/x.png",
                                             " ",    "\t",
                                             "\n",   "\r",
                                             "\f",   "\"",
                                             "'",    "(",
                                             ")",    "\\",
                                             "f",    "0",
                                             "9 ",   "\x01",
                                             "\x7F", "\0"sv,
                                             "\xE9", "/*",
                                             "*/",   "url(",
                                             "é",    ""};
  std::string text;
  const int count = static_cast<int>(random() % 6);
  for (int i = 0; i < count; ++i) text += kPieces[random() % std::size(kPieces)];
  return text;
}

TEST(CssReferencesOracle, ReaderEqualsTheLiteralTokenizerOnRandomText) {
  std::mt19937 random(20260311);
  for (int round = 0; round < 20000; ++round) {
    const std::string css = RandomCss(random);
    ASSERT_EQ(DescribeCssReferences(FindCssReferences(css)),
              DescribeCssReferences(LiteralCssReferences(css)))
        << "round " << round << " css [" << css << "]";
  }
}

TEST(CssReferencesOracle, RewrittenReferencesReadBackAndNothingElseChanges) {
  std::mt19937 random(424242);
  for (int round = 0; round < 20000; ++round) {
    const std::string css = RandomCss(random);
    const std::vector<CssReference> refs = FindCssReferences(css);
    std::vector<std::string> replacements;
    const auto replace = [&](const CssReference&) -> std::optional<std::string> {
      return replacements.emplace_back(RandomReplacement(random));
    };
    const std::string out = RewriteCssReferences(css, replace);
    const std::vector<CssReference> back = FindCssReferences(out);
    ASSERT_EQ(back.size(), refs.size()) << "round " << round << " css [" << css << "]";
    for (size_t i = 0; i < back.size(); ++i) {
      ASSERT_EQ(back[i].value, replacements[i]) << "round " << round << " ref " << i;
      ASSERT_EQ(back[i].quote, refs[i].quote);
      ASSERT_EQ(back[i].fromImport, refs[i].fromImport);
    }
    std::vector<bool> joined;
    for (size_t i = 0; i < refs.size(); ++i)
      joined.push_back(refs[i].quote == 0 && replacements[i].empty());
    ASSERT_EQ(CssGaps(out, back, joined), CssGaps(css, refs, joined))
        << "round " << round << " css [" << css << "]";
    ASSERT_EQ(RewriteCssReferences(css, [](const CssReference&) { return std::nullopt; }), css);
  }
}

}  // namespace
}  // namespace lorvex
