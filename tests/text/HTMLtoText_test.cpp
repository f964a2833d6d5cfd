#include "text/HTMLtoText.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace lorvex {
namespace {

std::string Text(std::string_view html) { return ConvertHTMLToText(html, false, false); }
std::string WithLinks(std::string_view html) { return ConvertHTMLToText(html, true, false); }
std::string WithTitle(std::string_view html) { return ConvertHTMLToText(html, false, true); }

const std::string kDot = "\xA1\xA4";

TEST(Tokens, EntityStopsAtSpaceCrAmpersandOrTagAndTakesSemicolon) {
  EXPECT_EQ(NextHtmlToken("&amp;x", 0), "&amp;");
  EXPECT_EQ(NextHtmlToken("&ab cd", 0), "&ab");
  EXPECT_EQ(NextHtmlToken("&ab\rcd", 0), "&ab");
  EXPECT_EQ(NextHtmlToken("&ab&cd", 0), "&ab");
  EXPECT_EQ(NextHtmlToken("&ab<cd", 0), "&ab");
  EXPECT_EQ(NextHtmlToken("&a\nb\tc", 0), "&a\nb\tc");  // LF and TAB do not stop it
  EXPECT_EQ(NextHtmlToken("&", 0), "&");
}

TEST(Tokens, TagRunsToFirstGreaterThanOrTheEnd) {
  EXPECT_EQ(NextHtmlToken("<a href=x>text", 0), "<a href=x>");
  EXPECT_EQ(NextHtmlToken("<a href=foo /", 0), "<a href=foo /");
  EXPECT_EQ(NextHtmlToken("x<b>", 1), "<b>");
}

TEST(Tokens, TextRunsToNextAmpersandOrTag) {
  EXPECT_EQ(NextHtmlToken("abc>def&x", 0), "abc>def");
  EXPECT_EQ(NextHtmlToken("abc<x", 0), "abc");
  EXPECT_EQ(NextHtmlToken("tail", 0), "tail");
}

TEST(Entities, KnownOnesBecomeCharacters) {
  EXPECT_EQ(Text("&nbsp;&NBSP;"), "  ");
  EXPECT_EQ(Text("&quot;&gt;&lt;&amp;"), "\"><&");
  EXPECT_EQ(Text("&middot;"), kDot);
  EXPECT_EQ(Text("&trade;&copy;"), " TM (c)");
  EXPECT_EQ(Text("&amp x"), "& x");
}

TEST(Entities, UnknownOnesAndBareAmpersandsVanish) {
  EXPECT_EQ(Text("&eacute;&#169;&#160;"), "");
  EXPECT_EQ(Text("AT&T"), "AT");
  EXPECT_EQ(Text("a & b"), "a  b");
  EXPECT_EQ(Text("&nbsp"), "");  // no semicolon
  EXPECT_EQ(Text("x&"), "x");    // text ends inside an entity
}

TEST(Tags, LineBreaksParagraphsAndRules) {
  EXPECT_EQ(Text("a<br>b"), "a\r\nb");
  EXPECT_EQ(Text("a<BR>b"), "a\r\nb");
  EXPECT_EQ(Text("a<br/>b<br />c"), "abc");
  EXPECT_EQ(Text("<p>Hello</p>"), "\r\n\r\nHello");
  EXPECT_EQ(Text("<P class=x>"), "\r\n\r\n");
  EXPECT_EQ(Text("<param name=x>"), "\r\n\r\n");  // any tag starting "<p"
  EXPECT_EQ(Text("<hr>"), "\r\n" + std::string(40, '-') + "\r\n");
  EXPECT_EQ(Text("<hr size=1>"), Text("<hr>"));
}

TEST(Tags, ListsAndTables) {
  EXPECT_EQ(Text("<ul><li>one</li><li>two</li></ul>"),
            "\r\n" + kDot + "one\r\n" + kDot + "two\r\n");
  EXPECT_EQ(Text("<ol></ol>"), "\r\n");
  EXPECT_EQ(Text("<link rel=x>"), kDot);
  EXPECT_EQ(Text("<tr><td>a</td><td>b</td></tr>"), "a\tb\t\r\n");
  EXPECT_EQ(Text("<TD>a</TD >b</th>"), "ab");  // a tab only for exactly "</td>"
  EXPECT_EQ(Text("<table border=1>"), "\r\n");
}

TEST(Tags, EverythingElseIsDropped) {
  EXPECT_EQ(Text("<h1>T</h1><div>x</div></p></ol></table><tr><td></th>"), "Tx");
  EXPECT_EQ(Text("<!-- a > b -->x"), " b -->x");  // a comment is a tag only up to its first ">"
  EXPECT_EQ(Text("<"), "");
}

TEST(Text, LineBreaksVanishOutsidePreformatted) {
  EXPECT_EQ(Text("line1\r\nline2"), "line1line2");
  EXPECT_EQ(Text("a\rb\nc"), "a\rb\nc");    // lone CR or LF stays
  EXPECT_EQ(Text("a\r\r\n\nb"), "a\r\nb");  // pairs removed once, left to right
  EXPECT_EQ(Text("a \t  b"), "a \t  b");
}

TEST(Text, PreformattedKeepsLineBreaks) {
  EXPECT_EQ(Text("<pre>line1\r\nline2</pre>x\r\ny"), "\r\nline1\r\nline2xy");
  EXPECT_EQ(Text("<PRE class=c>a\r\nb</PRE>"), "\r\na\r\nb");
  EXPECT_EQ(Text("<pre>a\r\n</pre >b\r\nc"), "\r\na\r\nb\r\nc");  // only exactly </pre> ends it
}

TEST(Text, DoubleByteCharactersPassWhole) {
  const std::string chinese = "\xD6\xD0\xCE\xC4\xB5\x5C\xB1\x40";  // second bytes >= 0x40
  EXPECT_EQ(Text("<p>" + chinese + "<br>"), "\r\n\r\n" + chinese + "\r\n");
  EXPECT_EQ(Text("\xFF\x80\x01"), "\xFF\x80\x01");
}

TEST(Style, BlockIsDropped) {
  EXPECT_EQ(Text("<style>p{}</style>Text"), "Text");
  EXPECT_EQ(Text("<STYLE type=x>p{}</STYLE>Text"), "Text");
  EXPECT_EQ(Text("a<style>p{}"), "a");  // unterminated
  EXPECT_EQ(Text("a<style"), "a");
  EXPECT_EQ(Text("a<style>p{}</style>"), "a");                 // ends exactly at the end
  EXPECT_EQ(Text("<style></style><script>x</script>y"), "y");  // next token still tested
}

TEST(Title, RemovedUnlessKept) {
  EXPECT_EQ(Text("<title>T</title>Body"), "Body");
  EXPECT_EQ(WithTitle("<title>T</title>Body"), "<<T>>\r\n\r\nBody");
  EXPECT_EQ(Text("<title id=1>T</title>Body"), "T>>\r\n\r\nBody");  // attributes: not skipped
  EXPECT_EQ(Text("a<title>T"), "a");
  EXPECT_EQ(Text("<style>s</style><title>T</title>B"), "B");
  // Each skip looks once per token: a style block right after a title is not skipped.
  EXPECT_EQ(Text("<title>T</title><style>s</style>B"), "sB");
}

TEST(Script, SkippedUpToClosingTag) {
  EXPECT_EQ(Text("a<script>var x=1;</script>b"), "ab");
  EXPECT_EQ(Text("a<SCRIPT language=js>x</SCRIPT>b"), "ab");
  EXPECT_EQ(Text("<script>x = \"</script>\";</script>"), "\";");
  EXPECT_EQ(Text("<script>s=\"<!--\";</script>b"), "b");
  EXPECT_EQ(Text("<script><!-- </script> --></script>b"), "b");
  EXPECT_EQ(Text("<script>'<!--'</script>b"), "");  // single quotes are not tracked
}

TEST(Script, UnterminatedEndsTheConversion) {
  EXPECT_EQ(Text("a<script>x"), "a");
  EXPECT_EQ(Text("a<script>"), "a");
  EXPECT_EQ(Text("a<script"), "a");
  EXPECT_EQ(Text("a<script><!-- x </script>"), "a");
  EXPECT_EQ(Text("a<script><!-- x -->"), "a");
}

TEST(Script, ByteAfterCommentIsOnlyTestedForClosingTag) {
  // The quote right after "-->" does not open a string, so the next "<!--" is a comment.
  EXPECT_EQ(Text("<script><!-- -->\"<!-- </script> --></script>b"), "b");
  EXPECT_EQ(Text("<script><!-- --></script>b"), "b");
}

TEST(Links, ShownAfterAnchorText) {
  EXPECT_EQ(WithLinks("<a href=\"a.htm\">Go</a>"), "[Go a.htm ]");
  EXPECT_EQ(WithLinks("<A HREF=\"B.htm\">Go</A>"), "[Go B.htm ]");
  EXPECT_EQ(Text("<a href=\"a.htm\">Go</a>"), "Go");
}

TEST(Links, SomeAnchorsShowOnlyTheirText) {
  EXPECT_EQ(WithLinks("<a href=\"#top\">Go</a>"), "Go");
  EXPECT_EQ(WithLinks("<a href=\"javascript:f()\">Go</a>"), "Go");
  EXPECT_EQ(WithLinks("<a href='a.htm'>Go</a>"), "Go");
  EXPECT_EQ(WithLinks("<a href=a.htm>Go</a>"), "Go");
  EXPECT_EQ(WithLinks("<a class=\"c\" href=\"a.htm\">Go</a>"), "Go");
}

TEST(Links, CurrentLinkSurvivesUntilTheNextATag) {
  EXPECT_EQ(WithLinks("<a href=\"x\">1</a>2</a>"), "[1 x ]2 x ]");
  EXPECT_EQ(WithLinks("<a href=\"x\">1</a><abbr>2</a>"), "[1 x ]2");
}

TEST(AnchorHref, ExtractsTheFirstQuotedValueAfterHref) {
  EXPECT_EQ(ExtractAnchorHref("<a href=\"u\">"), "u");
  EXPECT_EQ(ExtractAnchorHref("x< a href=\"u\" >"), "u");
  EXPECT_EQ(ExtractAnchorHref("<a href=\"unclosed>"), "unclosed");
  EXPECT_EQ(ExtractAnchorHref("<a href=\"u\""), "");  // no ">"
  EXPECT_EQ(ExtractAnchorHref("<area href=\"u\">"), "");
  EXPECT_EQ(ExtractAnchorHref("<a name=x>"), "");
  EXPECT_EQ(ExtractAnchorHref("no tag"), "");
}

TEST(Robustness, EmptyAndCutOffInputs) {
  EXPECT_EQ(Text(""), "");
  for (std::string_view cut :
       {"<", "&", "<a href=foo /", "<script", "<style", "<title>", "&amp", "<pre", "</"})
    EXPECT_NO_THROW(ConvertHTMLToText(cut, true, false)) << cut;
}

// Random pages built from the constructs the converter cares about: under the sanitizers any
// read past the end or other undefined behaviour fails the test.
TEST(Robustness, RandomInputsNeverReadPastTheEnd) {
  const std::string_view pieces[] = {
      "<",        ">",        "&",        ";",         "\"",     "\r",          "\n",
      "\r\n",     " ",        "<script>", "</script>", "<!--",   "-->",         "<style>",
      "</style>", "<title>",  "</title>", "<pre>",     "</pre>", "<a href=\"",  "</a>",
      "&amp",     "&nbsp;",   "<br>",     "<li>",      "</td>",  "javascript:", "#",
      "x",        "\xA1\xA4", "\xFF"};
  std::mt19937 random(12345);
  for (int round = 0; round < 3000; ++round) {
    std::string page;
    int length = random() % 40;
    for (int i = 0; i < length; ++i) page += pieces[random() % std::size(pieces)];
    // Convert a heap copy of exactly the page's size, so an overread is caught.
    std::string exact(page);
    exact.shrink_to_fit();
    for (int options = 0; options < 4; ++options)
      ConvertHTMLToText(std::string_view(exact.data(), exact.size()), options & 1, options & 2);
  }
}

}  // namespace
}  // namespace lorvex
