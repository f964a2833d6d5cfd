// The HTML tokenizer's positions and decoding, and the cut-off and odd forms a page can hold.
// Which start tags and attributes it reads is checked against html5lib in
// tests/cli/test_html_tokens.py; this table checks what that comparison cannot see.
#include "html/HtmlTokenizer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace lorvex {
namespace {

// One line per token: kind, extent and name or contents ("S a 1-8", "R 7-12 a</b>").
std::vector<std::string> Describe(std::string_view text) {
  std::vector<std::string> lines;
  for (const HtmlToken& t : TokenizeHtml(text)) {
    const std::string extent = std::to_string(t.begin) + "-" + std::to_string(t.end);
    const std::string content(text.substr(t.contentBegin, t.contentEnd - t.contentBegin));
    switch (t.kind) {
      case HtmlTokenKind::StartTag:
        lines.push_back("S " + t.name + (t.foreign ? "(f)" : "") + " " + extent);
        break;
      case HtmlTokenKind::EndTag:
        lines.push_back("E " + t.name + " " + extent);
        break;
      case HtmlTokenKind::Text:
        lines.push_back("T " + extent + " " + content);
        break;
      case HtmlTokenKind::RawText:
        lines.push_back("R " + extent + " " + content);
        break;
      case HtmlTokenKind::Comment:
        lines.push_back("C " + extent + " " + content);
        break;
      case HtmlTokenKind::Doctype:
        lines.push_back("D " + extent + " " + content);
        break;
    }
  }
  return lines;
}

struct TokensCase {
  std::string_view text;
  std::vector<std::string> tokens;
};

TEST(HtmlTokenizerTest, TokensAndTheirExtents) {
  const TokensCase cases[] = {
      // cut off by the end of the text: the tag and the rest are dropped
      {"x<a href=foo /", {"T 0-1 x"}},
      {"x<a href='y>z", {"T 0-1 x"}},
      {"x<a", {"T 0-1 x"}},
      {"x</b", {"T 0-1 x"}},
      {"<a href=foo />", {"S a 0-14"}},
      {"<A HREF=\"x>y\">", {"S a 0-14"}},
      {"a<3 <", {"T 0-5 a<3 <"}},
      {"<b></>c</ x>", {"S b 0-3", "T 6-7 c", "C 7-12  x"}},
      // raw text ends at its own end tag followed by space, "/" or ">"
      {"<style>a</b></stylex></STYLE >c",
       {"S style 0-7", "R 7-21 a</b></stylex>", "E style 21-30", "T 30-31 c"}},
      {"<title>&amp;<b></title>", {"S title 0-7", "R 7-15 &amp;<b>", "E title 15-23"}},
      {"<xmp></xmp", {"S xmp 0-5", "R 5-10 </xmp"}},
      {"<script><!--<script></script>x--></script>",
       {"S script 0-8", "R 8-33 <!--<script></script>x-->", "E script 33-42"}},
      {"<script><!--</script>x", {"S script 0-8", "R 8-12 <!--", "E script 12-21", "T 21-22 x"}},
      {"<plaintext></plaintext><b>", {"S plaintext 0-11", "R 11-26 </plaintext><b>"}},
      // comments, bogus comments, doctypes
      {"<!--><!---><!-- a --!>b", {"C 0-5 ", "C 5-11 ", "C 11-22  a ", "T 22-23 b"}},
      {"<!-- open", {"C 0-9  open"}},
      {"<?xml v?><!DOCTYPE html><![CDATA[x]]>",
       {"C 0-9 ?xml v?", "D 9-24  html", "C 24-37 [CDATA[x]]"}},
      // svg/math: style is an ordinary element, CDATA is text, a p leaves
      {"<svg><style><g></style><![CDATA[<i>]]></svg><style><b>",
       {"S svg(f) 0-5", "S style(f) 5-12", "S g(f) 12-15", "E style 15-23", "T 23-38 <i>",
        "E svg 38-44", "S style 44-51", "R 51-54 <b>"}},
      {"<math><p><style><b>", {"S math(f) 0-6", "S p 6-9", "S style 9-16", "R 16-19 <b>"}},
      {"<svg><foreignObject><style><b>",
       {"S svg(f) 0-5", "S foreignobject(f) 5-20", "S style 20-27", "R 27-30 <b>"}},
      {"<svg><path/><style/><b>",
       {"S svg(f) 0-5", "S path(f) 5-12", "S style(f) 12-20", "S b 20-23"}},
      {"<svg/><style><b>", {"S svg(f) 0-6", "S style 6-13", "R 13-16 <b>"}},
  };
  for (const TokensCase& c : cases) {
    EXPECT_EQ(Describe(c.text), c.tokens) << c.text;
  }
}

// Whether the style element after each page is read as CSS (raw text) or as svg/math markup:
// where foreign content ends is where the tree builder closes it.
TEST(HtmlTokenizerTest, ForeignContentEndsWhereTheTreeEndsIt) {
  struct Case {
    std::string_view page;
    bool css;
  };
  const Case cases[] = {
      {"<div><svg><g></div>", true},             // an end tag of an element open outside
      {"<p><svg><g></P>", true},                 // "</p>" from inside
      {"<table><tr><td><svg><g></div>", false},  // the cell bounds the div's scope
      {"<div><table><svg></div>", false},        // so does the table
      {"<table><svg><g></table>", true},
      {"<b><div><svg><g></b>", true},    // adoption closes what the div holds
      {"<p><b></p><svg><g></b>", true},  // the b reopened by the svg
      {"<i><svg></i>", true},
      {"<svg><b>", true},  // breakout start tags
      {"<svg><font color=red>", true},
      {"<svg><font id=x>", false},
      {"<math><mi><svg><g></math>", true},
      {"<svg><desc><svg></desc>", false},               // closes the inner svg's parent only
      {"<div><svg><foreignObject><svg></div>", false},  // an integration point bounds it
      {"<select><svg><g></select>", true},
      {"<li><select><math></li>", false},  // a select bounds the li's scope
      {"<template><svg><g></template>", true},
      {"<div><template><svg></div>", false},
      {"<template><td><svg></td>", true},  // template contents read as a row
      {"<form><svg></form>", false},       // the form goes, the svg stays
      {"<svg><g></g></svg>", true},
      {"<svg><g></x></y>", false},
  };
  for (const Case& c : cases) {
    const std::string page = std::string(c.page) + "<style>a</style>";
    const std::vector<HtmlToken> tokens = TokenizeHtml(page);
    const bool css = tokens.size() >= 3 && tokens[tokens.size() - 2].kind == HtmlTokenKind::RawText;
    EXPECT_EQ(css, c.css) << c.page;
  }
  // The text after a select's xmp is raw text too: browsers read a select's contents as any.
  EXPECT_EQ(Describe("<select><xmp><b>"),
            (std::vector<std::string>{"S select 0-8", "S xmp 8-13", "R 13-16 <b>"}));
}

TEST(HtmlTokenizerTest, AttributesWithPositionsAndFirstOfAName) {
  const std::string_view text = "x<IMG Src = 'a&amp;b' ALT=\"q\" src=no ismap\nid=c&#X2F;d>";
  const std::vector<HtmlToken> tokens = TokenizeHtml(text);
  ASSERT_EQ(tokens.size(), 2u);
  const HtmlToken& tag = tokens[1];
  EXPECT_EQ(tag.name, "img");
  EXPECT_EQ(tag.begin, 1u);
  EXPECT_EQ(tag.end, text.size());
  ASSERT_EQ(tag.attributes.size(), 4u);  // the second src is left out

  const HtmlTagAttribute& src = tag.attributes[0];
  EXPECT_EQ(src.name, "src");
  EXPECT_EQ(src.nameOffset, 6u);
  EXPECT_EQ(src.quote, '\'');
  EXPECT_EQ(src.rawValue, "a&amp;b");
  EXPECT_EQ(text.substr(src.valueOffset, src.rawValue.size()), "a&amp;b");
  EXPECT_EQ(src.value.text, "a&b");
  EXPECT_EQ(src.value.rawOffset, (std::vector<size_t>{0, 1, 6, 7}));

  const HtmlTagAttribute& ismap = tag.attributes[2];
  EXPECT_EQ(ismap.name, "ismap");
  EXPECT_FALSE(ismap.hasValue);

  const HtmlTagAttribute& id = tag.attributes[3];
  EXPECT_EQ(id.quote, 0);
  EXPECT_EQ(id.value.text, "c/d");  // a capital X reads hexadecimal
  EXPECT_EQ(text.substr(id.valueOffset, id.rawValue.size()), "c&#X2F;d");
  EXPECT_EQ(FindHtmlAttribute(tag, "alt")->value.text, "q");
}

// A decoded sub-range (a srcset candidate) found in the raw text through the map.
TEST(HtmlTokenizerTest, DecodedRangeMapsBackToTheRawText) {
  const std::string_view text = "<img srcset=\"a&amp;b.png 1x, &#99;&amp;d.png 2x\">";
  const std::vector<HtmlToken> tokens = TokenizeHtml(text);
  const HtmlTagAttribute& srcset = tokens[0].attributes[0];
  const size_t a = srcset.value.text.find("c&d.png");
  ASSERT_NE(a, std::string::npos);
  const size_t b = a + 7;
  const size_t rawBegin = srcset.valueOffset + srcset.value.rawOffset[a];
  const size_t rawEnd = srcset.valueOffset + srcset.value.rawOffset[b];
  EXPECT_EQ(text.substr(rawBegin, rawEnd - rawBegin), "&#99;&amp;d.png");
}

struct DecodeCase {
  std::string_view raw;
  bool inAttribute;
  std::string_view text;
};

TEST(HtmlTokenizerTest, CharacterReferences) {
  const DecodeCase cases[] = {
      {"&#X2F;&#x2f&#47;", true, "///"},
      {"&amp&AMP;&copy", false, "&&\xC2\xA9"},
      {"&not=1&notx&not;", true, "&not=1&notx\xC2\xAC"},
      {"&not=1&notx", false, "\xC2\xAC=1\xC2\xACx"},
      {"&notin;&notit;", false, "\xE2\x88\x89\xC2\xACit;"},
      {"&notit;", true, "&notit;"},
      {"&NotNestedLessLess;", true, "\xE2\xAA\xA1\xCC\xB8"},
      {"&#128;&#x9D;&#x81;", true, "\xE2\x82\xAC\xC2\x9D\xC2\x81"},
      {"&#130;&#158;&#159;&#160;", true, "\xE2\x80\x9A\xC5\xBE\xC5\xB8\xC2\xA0"},
      {"&#0;&#xD800;&#x110000;&#99999999999;", true,
       "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
      {"&#;&#x;&#xg;&zz;&;& &", true, "&#;&#x;&#xg;&zz;&;& &"},
      {std::string_view("a\r\nb\rc\0", 7), true, "a\nb\nc\xEF\xBF\xBD"},
      {"\xE9&eacute;", true, "\xE9\xC3\xA9"},  // the text's own bytes are never re-encoded
  };
  for (const DecodeCase& c : cases) {
    const DecodedHtmlText decoded = DecodeHtmlText(c.raw, c.inAttribute);
    EXPECT_EQ(decoded.text, c.text) << c.raw;
    ASSERT_EQ(decoded.rawOffset.size(), decoded.text.size() + 1) << c.raw;
    EXPECT_EQ(decoded.rawOffset.back(), c.raw.size()) << c.raw;
  }
  EXPECT_EQ(DecodeHtmlText("a&amp;b&#x41;\r\n", true).rawOffset,
            (std::vector<size_t>{0, 1, 6, 7, 13, 15}));
}

}  // namespace
}  // namespace lorvex
