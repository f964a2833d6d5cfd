#include "util/StrFunction.h"

#include <gtest/gtest.h>

namespace lorvex {
namespace {

TEST(LineSplitting, BreaksAtCrLfAndCrLf) {
  EXPECT_EQ(SplitLines("a\r\nb\rc\nd"), (StringList{"a", "b", "c", "d"}));
  EXPECT_EQ(SplitLines("a\r\r\nb"), (StringList{"a", "", "b"}));
  EXPECT_EQ(SplitLines("a\n\rb"), (StringList{"a", "", "b"}));
}

TEST(LineSplitting, FinalBreakAddsNoEmptyLine) {
  EXPECT_EQ(SplitLines(""), StringList{});
  EXPECT_EQ(SplitLines("\r\n"), StringList{""});
  EXPECT_EQ(SplitLines("a\r"), StringList{"a"});
  EXPECT_EQ(SplitLines("a\r\n\r\n"), (StringList{"a", ""}));
}

TEST(LineSplitting, NormalizeEqualsSplitThenJoin) {
  const char* samples[] = {"", "x", "a\rb", "a\n\n", "\r\r\n\n", "tail\r"};
  for (const char* s : samples) EXPECT_EQ(NormalizeLineBreaks(s), JoinLines(SplitLines(s))) << s;
  std::string withNul("a\0b\nc", 5);
  EXPECT_EQ(NormalizeLineBreaks(withNul), std::string("a\0b\r\nc\r\n", 8));
}

TEST(CaseFolding, TouchesAsciiLettersOnly) {
  EXPECT_EQ(AsciiLowerCase("AbZ\xC1\xDA@["), "abz\xC1\xDA@[");
  EXPECT_EQ(AsciiUpperCase("abz\xE1`{"), "ABZ\xE1`{");
  EXPECT_TRUE(EqualsIgnoreCase("<BR>", "<br>"));
  EXPECT_FALSE(EqualsIgnoreCase("<br>", "<br"));
  EXPECT_TRUE(StartsWithIgnoreCase("<STYLE type=x>", "<style"));
  EXPECT_FALSE(StartsWithIgnoreCase("<sty", "<style"));
}

TEST(Trimming, RemovesControlBytesAndSpaces) {
  EXPECT_EQ(Trim(" \t\r\na b\x01 "), "a b");
  EXPECT_EQ(Trim("\x01\x02"), "");
  EXPECT_EQ(Trim("\xA1\xA4"), "\xA1\xA4");
}

}  // namespace
}  // namespace lorvex
