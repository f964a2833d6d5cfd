#include "util/Json.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace lorvex {
namespace {

// Each text read and written again: what the writer makes of what the reader understood.
TEST(Json, ReadsAndWritesAgain) {
  const struct {
    std::string text, written;
  } cases[] = {
      {" {\"a\" : [1, -2.5, 1e3, 0.1, true, false, null] } ",
       R"({"a":[1,-2.5,1000,0.1,true,false,null]})"},
      {R"("\"\\\/\b\f\n\r\t")", R"("\"\\/\u0008\u000c\n\r\t")"},
      // Escapes to UTF-8: a character of each length, a surrogate pair as one character.
      {R"("\u0041\u00e9\u20ac\ud83d\ude00")", "\"A\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\""},
      // Lone surrogates, and a high one followed by an escape that is no low one.
      {R"("\udc00x\ud800")", "\"\xEF\xBF\xBDx\xEF\xBF\xBD\""},
      {R"("\ud800\u0041")",
       "\"\xEF\xBF\xBD"
       "A\""},
      // Raw UTF-8 passes, other bytes become U+FFFD; control characters come out escaped.
      {"\"\xE2\x82\xAC\"", "\"\xE2\x82\xAC\""},
      {"\"a\xFF\xE2\x82\"", "\"a\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\""},
      {R"("\u0001\u001f")", R"("\u0001\u001f")"},
      // Repeated names are kept in order.
      {R"({"k":1,"k":2})", R"({"k":1,"k":2})"},
      {"[]", "[]"},
      {"{}", "{}"},
      {"-0", "0"},
      {"9007199254740993", "9007199254740992"},
      {"1E300", "1e+300"},
      {"-2.5e-7", "-2.5e-07"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    JsonValue value = ParseJson(c.text);
    EXPECT_EQ(WriteJson(value), c.written);
    EXPECT_EQ(ParseJson(WriteJson(value)), value);
  }
}

TEST(Json, RefusesWhatIsNotOneValue) {
  const std::string bad[] = {
      "",      " ",     "{",       "[1,]",      "{\"a\"}",     "{\"a\":}", "{a:1}",  "[1 2]",
      "01",    "1.",    ".5",      "1e",        "+1",          "-",        "1e999",  "tru",
      "nul",   "\"abc", "\"\\x\"", "\"\\u12\"", "\"\\u12G4\"", "\"a\nb\"", "\"\t\"", "[1]x",
      "{} {}", "'a'",   "NaN",     "[\"a\",]",  "{\"a\":1,}",  "\"\\",
  };
  for (const std::string& text : bad) EXPECT_THROW(ParseJson(text), JsonError) << text;
}

TEST(Json, BoundsNesting) {
  const std::string deepest = std::string(kMaxJsonDepth, '[') + std::string(kMaxJsonDepth, ']');
  EXPECT_NO_THROW(ParseJson(deepest));
  EXPECT_THROW(ParseJson("[" + deepest + "]"), JsonError);
  std::string nested;
  for (int i = 0; i <= kMaxJsonDepth; ++i) nested += "{\"a\":";
  EXPECT_THROW(ParseJson(nested + "1" + std::string(kMaxJsonDepth + 1, '}')), JsonError);
}

// Whatever bytes a text holds, the writer makes valid JSON of it: a sequence that is not
// UTF-8 becomes U+FFFD, and the reader gets the rest back.
TEST(Json, WritesValidJsonFromAnyBytes) {
  const std::string replacement = "\xEF\xBF\xBD";
  const struct {
    std::string bytes, read;
  } cases[] = {
      {"a\x80z", "a" + replacement + "z"},
      {"\xC0\xAF", replacement + replacement},                    // an overlong "/"
      {"\xED\xA0\x80", replacement + replacement + replacement},  // an encoded surrogate
      {"\xF4\x90\x80\x80", replacement + replacement + replacement + replacement},  // > U+10FFFF
      {"\xE2\x82", replacement + replacement},                                      // cut short
      {"\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80"},
      {std::string("a\0b", 3), std::string("a\0b", 3)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.bytes);
    const std::string written = WriteJson(JsonValue(c.bytes));
    EXPECT_EQ(*ParseJson(written).AsString(), c.read);
  }
  EXPECT_EQ(WriteJson(JsonValue(std::nan(""))), "null");
}

TEST(Json, FindsMembersOfTheirKind) {
  JsonValue value = ParseJson(R"({"s":"x","n":2,"t":true,"f":false,"o":{"s":"inner"},"s":"y"})");
  EXPECT_EQ(value.StringAt("s"), "x");
  EXPECT_EQ(value.StringAt("n", "none"), "none");
  EXPECT_EQ(value.NumberAt("n", 0), 2);
  EXPECT_EQ(value.NumberAt("s", -1), -1);
  EXPECT_TRUE(value.TrueAt("t"));
  EXPECT_FALSE(value.TrueAt("f"));
  EXPECT_FALSE(value.TrueAt("missing"));
  EXPECT_EQ(value.Find("o")->StringAt("s"), "inner");
  EXPECT_EQ(JsonValue(1).Find("s"), nullptr);
}

}  // namespace
}  // namespace lorvex
