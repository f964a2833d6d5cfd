#include "util/Strings.h"

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

// Every way of cutting a text into pieces gives the bytes of the one-piece normalisation.
TEST(LineSplitting, PiecewiseNormalizationMatchesWhole) {
  const std::string text = "a\r\nb\rc\n\r\r\n\nd\r";
  const std::string whole = NormalizeLineBreaks(text);
  EXPECT_EQ(whole, "a\r\nb\r\nc\r\n\r\n\r\n\r\nd\r\n");
  for (size_t cut1 = 0; cut1 <= text.size(); ++cut1)
    for (size_t cut2 = cut1; cut2 <= text.size(); ++cut2) {
      std::string out;
      LineBreakNormalizer normalizer(out);
      normalizer.Append(std::string_view(text).substr(0, cut1));
      normalizer.Append(std::string_view(text).substr(cut1, cut2 - cut1));
      normalizer.Append(std::string_view(text).substr(cut2));
      normalizer.Finish();
      EXPECT_EQ(out, whole) << cut1 << "," << cut2;
    }
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

namespace lorvex {
namespace {

TEST(ReplaceAll, ReplacesEveryOccurrenceKeepingLength) {
  EXPECT_EQ(ReplaceAllText("a/b/c", "/", "\\"), "a\\b\\c");
  EXPECT_EQ(ReplaceAllText("x\\\"y\\\"", "\\\"", "  "), "x  y  ");
  EXPECT_EQ(ReplaceAllText("none", "/", "\\"), "none");
  EXPECT_EQ(ReplaceAllText("abc", "", "x"), "abc");
}

TEST(ReplaceAll, RestartFindsOccurrencesCompletedByAReplacement) {
  // Searching again from the start sees "ab" formed by the "a" before and the new "b".
  EXPECT_EQ(ReplaceAllText("aabb", "ab", "b"), "bb");
  EXPECT_EQ(ReplaceAllText("aaab", "ab", "bb"), "bbbb");
  // A replacement containing the searched text is applied once per occurrence, no endless loop.
  EXPECT_EQ(ReplaceAllText("a-a", "a", "aa"), "aa-aa");
}

TEST(FirstNonSpaceTest, CountsOnlyCode32AsSpace) {
  EXPECT_EQ(FirstNonSpace(""), -1);
  EXPECT_EQ(FirstNonSpace("   "), -1);
  EXPECT_EQ(FirstNonSpace("  x"), 3);
  EXPECT_EQ(FirstNonSpace("\tx"), 1);
}

TEST(LineSplitting, EveryBreakStyleOnLongTexts) {
  // Only CR, only LF and mixed breaks, long enough that the searches for the next break of
  // each kind are reused over many lines.
  for (const char* brk : {"\r", "\n", "\r\n", "\n\r"}) {
    std::string text;
    StringList expected;
    for (int i = 0; i < 3000; ++i) {
      expected.push_back(std::string(i % 7, 'x') + std::to_string(i));
      text += expected.back() + brk;
      if (std::string(brk) == "\n\r") expected.push_back("");
    }
    EXPECT_EQ(SplitLines(text), expected) << int(brk[0]);
  }
}

TEST(ListRoutines, TrimAndRemoveDuplicatesKeepFirstOccurrence) {
  StringList lines{" a ", "b\t", "a", "A", "\x01"};
  TrimLines(lines);
  EXPECT_EQ(lines, (StringList{"a", "b", "a", "A", ""}));
  RemoveDuplicateLines(lines);
  EXPECT_EQ(lines, (StringList{"a", "b", "A", ""}));

  StringList many;
  for (int i = 0; i < 50000; ++i) many.push_back(std::to_string(i % 1000));
  RemoveDuplicateLines(many);
  ASSERT_EQ(many.size(), 1000u);
  EXPECT_EQ(many.front(), "0");
  EXPECT_EQ(many.back(), "999");
}

}  // namespace
}  // namespace lorvex
