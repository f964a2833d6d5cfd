#include "archive/QuotedPrintable.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "support/DecoderModels.h"

namespace lorvex {
namespace {

TEST(QuotedPrintable, Vectors) {
  struct Case {
    std::string in, out;
  } cases[] = {
      // escapes: two digits of either case, at the end of the text too
      {"a=3Db", "a=b"},
      {"=4a=4A", "JJ"},
      {"=E9t=e9", "\xE9t\xE9"},
      {"ab=41", "abA"},
      // soft breaks: blanks up to one line break of any kind go with the "="
      {"a=\r\nb", "ab"},
      {"a= \t\r\nb", "ab"},
      {"a=\nb", "ab"},
      {"a=\rb", "ab"},
      {"a=\r\n\r\nb", "a\r\nb"},
      {"x=\r\n", "x"},
      // anything else stays as it stands
      {"=\"", "=\""},
      {"==41", "=A"},
      {"=4\r\n", "=4\r\n"},
      {"=0g", "=0g"},
      {"a= b", "a= b"},
      {"ab=", "ab="},
      {"a=4", "a=4"},
      {"=", "="},
      {"= ", "= "},
      {"", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(DecodeQuotedPrintable(c.in), c.out) << c.in;
    EXPECT_EQ(model::ReferenceQuotedPrintable(c.in), c.out) << c.in;
  }
}

TEST(QuotedPrintable, OnePassEqualsTheExpressionOnRandomText) {
  std::mt19937 random(11);
  const std::string symbols = "==\r\n0aAfFz9 \t\xff\x80";
  for (int round = 0; round < 3000; ++round) {
    std::string text;
    size_t length = random() % 40;
    for (size_t i = 0; i < length; ++i) text += symbols[random() % symbols.size()];
    ASSERT_EQ(DecodeQuotedPrintable(text), model::ReferenceQuotedPrintable(text)) << text;
  }
}

}  // namespace
}  // namespace lorvex
