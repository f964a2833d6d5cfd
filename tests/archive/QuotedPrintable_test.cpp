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
      {"a=3Db", "a=b"}, {"a=\r\nb", "ab"},   {"a=\r\n\r\nb", "ab"},
      {"==41", "A"},    {"=4\r\n", "4\r\n"}, {"x=4\r\n", "x4\r\n"},
      {"=0a", "\x2A"},  {"=0A", "\x0A"},     {"=E9t=E9", "\xE9t\xE9"},
      {"ab=", "ab="},   {"a=4", "a=4"},      {"=", "="},
      {"", ""},         {"=\n", "=\n"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(DecodeQuotedPrintable(c.in), c.out) << c.in;
    EXPECT_EQ(model::ReferenceQuotedPrintable(c.in), c.out) << c.in;
  }
}

TEST(QuotedPrintable, OnePassEqualsInPlaceRemovalOnRandomText) {
  std::mt19937 random(11);
  const std::string symbols = "==\r\n0aAfFz9 \xff\x80";
  for (int round = 0; round < 3000; ++round) {
    std::string text;
    size_t length = random() % 40;
    for (size_t i = 0; i < length; ++i) text += symbols[random() % symbols.size()];
    ASSERT_EQ(DecodeQuotedPrintable(text), model::ReferenceQuotedPrintable(text)) << text;
  }
}

}  // namespace
}  // namespace lorvex
