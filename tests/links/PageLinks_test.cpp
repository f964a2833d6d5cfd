#include "links/PageLinks.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "util/UrlPath.h"

namespace lorvex {
namespace {

constexpr const char* kPage = "http://h/d/p.htm";

// The references a page import fetches.
StringList ImportReferences(std::string_view html, std::string_view page = kPage) {
  return FetchReferenceList(html, ResolveUrl(page, page));
}

TEST(KindPrefix, PrefixStripAndKind) {
  EXPECT_EQ(PrefixKind(9, "x.htm"), "9x.htm");
  EXPECT_EQ(StripKind("9x.htm"), "x.htm");
  EXPECT_EQ(StripKind(""), "");
  EXPECT_EQ(ReferenceKindOf("8http://h/"), 8);
  EXPECT_THROW(ReferenceKindOf("http://h/"), std::invalid_argument);
  EXPECT_THROW(ReferenceKindOf(""), std::invalid_argument);
  EXPECT_EQ(ResolveKindReference("http://h/d/p.htm", "0../a.gif"), "0http://h/a.gif");
  EXPECT_EQ(ResolveKindReference("http://h/d/p.htm", "4"), "4");
}

TEST(AttributeScan, FirstWholeNameAfterSpaceOnly) {
  // A name counts only as a whole attribute name: "src" in "srcset" or "src-x" is passed
  // over and the search goes on; the first whole occurrence counts, and without "=" after it
  // the attribute is absent.
  struct Case {
    const char* attrText;
    const char* name;
    bool found;
    const char* value;
  };
  const Case cases[] = {
      {" srcset=\"a-2x.jpg 2x\" src=\"a.jpg\">", "src", true, "a.jpg"},
      {" srcdoc=\"&lt;p&gt;\" src=f.htm>", "src", true, "f.htm"},
      {" hreflang=en href=next.htm>", "href", true, "next.htm"},
      {" valuetype=ref value=m.swf>", "value", true, "m.swf"},
      {" src-x=1 src_y=2 src:z=3 src.w=4 src=a.gif>", "src", true, "a.gif"},
      {" srcset=\"a.gif\">", "src", false, ""},
      {" src src=a.gif>", "src", false, ""},  // the first whole name has no "="
      {" src =a.gif src=b.gif>", "src", true, "a.gif"},
      {" src/=a.gif>", "src", false, ""},  // "/" ends the name but is no "="
      {" width=10 src=pic.jpg>", "src", true, "pic.jpg"},
      {"\r\nSRC  =  'x.gif' >", "src", true, "x.gif"},
      {"\tsrc=x.gif>", "src", false, ""},    // only a space, CR or LF comes before
      {" a> src=x.gif>", "src", false, ""},  // scanning stops at the first ">"
      {" src", "src", false, ""},            // never in the last four characters
      {" src=", "src", true, ""},
      {" srcset", "src", false, ""},
  };
  for (const Case& c : cases) {
    TagAttribute a = GetTagAttribute(c.attrText, c.name);
    EXPECT_EQ(a.found, c.found) << c.attrText;
    EXPECT_EQ(a.value, c.value) << c.attrText;
  }
  EXPECT_EQ(GetTagAttribute(" width=10 src=pic.jpg>", "src").pos, 15);
}

TEST(AttributeScan, ValueShapesAndPositions) {
  TagAttribute quoted = GetTagAttribute(" src=\"  a b.gif \">", "src");
  EXPECT_EQ(quoted.value, "a b.gif");
  EXPECT_EQ(quoted.pos, 9);  // the a, after the quote and two spaces
  TagAttribute unclosed = GetTagAttribute(" href='x.htm", "href");
  EXPECT_EQ(unclosed.value, "x.htm");
  EXPECT_EQ(unclosed.pos, 8);
  TagAttribute cut = GetTagAttribute(" href=a.htm\"b>", "href");
  EXPECT_EQ(cut.value, "a.htm");
  // A blank quoted value sits one before its quote, with length 0.
  TagAttribute blank = GetTagAttribute(" href=\"\">", "href");
  EXPECT_TRUE(blank.found);
  EXPECT_EQ(blank.value, "");
  EXPECT_EQ(blank.pos, 6);
  // Only spaces after "=": found, but without value or position.
  TagAttribute nothing = GetTagAttribute(" href=   ", "href");
  EXPECT_TRUE(nothing.found);
  EXPECT_EQ(nothing.pos, -1);
  // An escaped quote becomes two spaces; the length is kept.
  EXPECT_EQ(GetTagAttribute(" value='a\\\"b.swf'>", "value").value, "a  b.swf");
}

TEST(AttributeScan, ValueStartingWithTabOrLineBreakIsFoundWhereItsTextStarts) {
  // The trimmed value is replaced from its position, so the position must be that of its
  // first kept character, not of a leading tab or line break.
  TagAttribute tab = GetTagAttribute(" src=\"\ta.gif\">", "src");
  EXPECT_EQ(tab.value, "a.gif");
  EXPECT_EQ(tab.pos, 8);
  TagAttribute lines = GetTagAttribute(" src=\"\r\n  img/a.gif\">", "src");
  EXPECT_EQ(lines.pos, 11);
  EXPECT_EQ(GetTagAttribute(" src=\ta.gif>", "src").pos, 7);
}

TEST(AttributeScan, ReadersTestResourceFilesWhereTheyShould) {
  EXPECT_EQ(SrcAttribute(" src=a.gif>").value, "a.gif");
  EXPECT_EQ(SrcAttribute(" background=bg.GIF>").pos, 13);
  EXPECT_EQ(SrcAttribute(" src=x.cgi background=bg.gif>").pos, -1);  // no fallback when src exists
  EXPECT_EQ(SrcAttribute(" src>").pos, -1);
  EXPECT_EQ(ValueAttribute(" name=movie value=m.swf>").value, "m.swf");
  EXPECT_EQ(ValueAttribute(" value=m.mov>").pos, -1);
  EXPECT_EQ(HrefAttribute(" href=style.php?v=2>").value, "style.php?v=2");
  EXPECT_EQ(CharsetAttribute(" content=\"text/html; charset=UTF-8\">").value, "UTF-8");
}

TEST(TagScan, KindsNamesAndPositions) {
  std::string base = kPage;
  TagScanResult img = ScanTag("<IMG SRC=Logo.GIF>", base);
  EXPECT_EQ(img.kind, rkImage);
  EXPECT_EQ(img.ref, "0http://h/d/Logo.GIF");
  EXPECT_EQ(img.valuePos, 10);
  EXPECT_EQ(img.valueLen, 8u);
  EXPECT_EQ(ScanTag("<td background=\"t.gif\">", base).ref, "0http://h/d/t.gif");
  EXPECT_EQ(ScanTag("<embed src=f.swf>", base).ref, "1http://h/d/f.swf");
  EXPECT_EQ(ScanTag("<param value=m.swf>", base).ref, "2http://h/d/m.swf");
  EXPECT_EQ(ScanTag("<script src=x.cgi>", base).valuePos, -1);
  EXPECT_EQ(ScanTag("<link href=style.php?v=2>", base).ref, "4http://h/d/style.php?v=2");
  EXPECT_EQ(ScanTag("<meta charset=' GB2312 '>", base).ref, "6GB2312");
  EXPECT_EQ(ScanTag("<a\nhref=next.htm>", base).ref, "8http://h/d/next.htm");
  EXPECT_EQ(ScanTag("<iframe src=in.html>", base).ref, "9http://h/d/in.html");
  EXPECT_EQ(ScanTag("<img\tsrc=a.gif>", base).valuePos, -1);  // the tab joins the name
  EXPECT_EQ(ScanTag("<span src=a.gif>", base).kind, -1);
  EXPECT_EQ(ScanTag("<>", base).kind, -1);
  EXPECT_EQ(base, kPage);
}

TEST(TagScan, BaseTagChangesTheBase) {
  std::string base = kPage;
  EXPECT_EQ(ScanTag("<base href=\"http://x/y\">", base).ref, "5http://x/y");
  EXPECT_EQ(base, "http://x/y/");
  EXPECT_EQ(ScanTag("<img src=a.gif>", base).ref, "0http://x/y/a.gif");
  ScanTag("<base href='http://z/'>", base);
  EXPECT_EQ(base, "http://z/");
}

// A page whose single img tag ends `fromEnd` characters before the end (0: the ">" is the
// last character).
std::string PageWithTagEnding(size_t fromEnd) {
  return "<p>text<img src=a.gif>" + std::string(fromEnd, 'x');
}

TEST(TagFinding, TagsAreFoundUpToTheLastByte) {
  for (size_t fromEnd = 0; fromEnd <= 12; ++fromEnd) {
    const std::string page = PageWithTagEnding(fromEnd);
    EXPECT_EQ(CollectTagReferences(page, kPage, false), StringList{"0http://h/d/a.gif"}) << fromEnd;
    EXPECT_EQ(RewritePageLinks(page, "5.files", kPage),
              "<p>text<img src=5.files/a.gif>" + std::string(fromEnd, 'x'))
        << fromEnd;
  }
  // A tag whose ">" never comes is no tag.
  EXPECT_EQ(CollectTagReferences("<p><img src=a.gif", kPage, false), StringList{});
}

// Tag forms with quoted "<" and ">", for both passes: what is collected, and the page as
// rewritten under 5.files.
TEST(TagFinding, QuotedValuesBelongToTheirTag) {
  struct Case {
    const char* page;
    StringList collected;
    const char* rewritten;
  };
  const Case cases[] = {
      // A quoted "<" or ">", in each quote kind, before and after the reference.
      {"<img alt=\"5 > 3\" src=c.gif>",
       {"0http://h/d/c.gif"},
       "<img alt=\"5 > 3\" src=5.files/c.gif>"},
      {"<img alt='a < b' src=c.gif>", {"0http://h/d/c.gif"}, "<img alt='a < b' src=5.files/c.gif>"},
      {"<img src=\"c.gif\" alt=\"<b>\">",
       {"0http://h/d/c.gif"},
       "<img src=\"5.files/c.gif\" alt=\"<b>\">"},
      {"<img sizes=\"(width <= 600px) 480px, 800px\" src=\"elva.jpg\">",
       {"0http://h/d/elva.jpg"},
       "<img sizes=\"(width <= 600px) 480px, 800px\" src=\"5.files/elva.jpg\">"},
      {"<iframe src=\"cid:f@x\" name=\"1;<!doctype html><p>\">",
       {},
       "<iframe src=\"5.files/cid_f@x.htm\" name=\"1;<!doctype html><p>\">"},
      {"<div data-config='{\"a\":\"<b>\"}'><img src=d.gif>",
       {"0http://h/d/d.gif"},
       "<div data-config='{\"a\":\"<b>\"}'><img src=5.files/d.gif>"},
      // "=" then spaces, a tab or a line break before the quote.
      {"<img alt =\t\"x>y\" src=c.gif>",
       {"0http://h/d/c.gif"},
       "<img alt =\t\"x>y\" src=5.files/c.gif>"},
      // An attribute name inside another's quoted value is not the attribute.
      {"<img alt=\"x src=a.gif\" src=b.gif>",
       {"0http://h/d/b.gif"},
       "<img alt=\"x src=a.gif\" src=5.files/b.gif>"},
      // A charset declaration inside a meta tag's content value still counts.
      {"<meta content=\"text/html; charset=UTF-8\"><img src=c.gif>",
       {"6UTF-8", "0http://h/d/c.gif"},
       "<img src=5.files/c.gif>"},
      // An unquoted value: a "<" cancels the tag, an "=" opens nothing.
      {"<img alt=a<b src=c.gif>", {}, "<img alt=a<b src=c.gif>"},
      {"<img title=a=\"<\" src=c.gif>", {}, "<img title=a=\"<\" src=c.gif>"},
      {"<a href=x?a=b title=\"<\">",
       {"8http://h/d/x?a=b"},
       "<a href=http://h/d/x?a=b title=\"<\">"},
      // A closing quote that never comes: no tag at that "<", the scan goes on after it.
      {"<img alt=\"x src=a.gif> <img src=b.gif>",
       {"0http://h/d/b.gif"},
       "<img alt=\"x src=a.gif> <img src=5.files/b.gif>"},
      {"<img alt=\"x <img src=b.gif>",
       {"0http://h/d/b.gif"},
       "<img alt=\"x <img src=5.files/b.gif>"},
      // Outside a start tag quotes mean nothing; a stray ">" is text.
      {"</p title=\">\"><img src=c.gif>",
       {"0http://h/d/c.gif"},
       "</p title=\">\"><img src=5.files/c.gif>"},
      {"a > b<img src=c.gif>", {"0http://h/d/c.gif"}, "a > b<img src=5.files/c.gif>"},
      {"<<img src=a.gif>", {}, "<<img src=a.gif>"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CollectTagReferences(c.page, kPage, false), c.collected) << c.page;
    CidNames cids{{"cid:f@x", "5.files/cid_f@x.htm"}};
    EXPECT_EQ(RewritePageLinks(c.page, "5.files", kPage, &cids), c.rewritten) << c.page;
  }
}

TEST(TagFinding, LessThanBeforeGreaterThanHidesTheNextTag) {
  // The "<" of the img tag ends the search at "<b", and is itself never a tag start.
  EXPECT_TRUE(CollectTagReferences("<b <img src=a.gif>", kPage, false).empty());
  EXPECT_EQ(CollectTagReferences("<b <i> <img src=a.gif>", kPage, false),
            StringList{"0http://h/d/a.gif"});
  // A lone "<" near the end finds nothing and the scan goes on.
  EXPECT_EQ(CollectTagReferences("<<img src=a.gif>..........", kPage, false), StringList{});
  EXPECT_EQ(CollectTagReferences("", kPage, false), StringList{});
  EXPECT_EQ(CollectTagReferences("<", kPage, false), StringList{});
}

TEST(Collecting, OrderDuplicatesAndBase) {
  std::string page =
      "<img src=a.gif><IMG SRC=A.GIF><img src=a.gif><a href=n.htm>"
      "<base href=http://x/y><img src=a.gif><meta charset=utf-8>..........";
  EXPECT_EQ(CollectTagReferences(page, kPage, false),
            (StringList{"0http://h/d/a.gif", "0http://h/d/A.GIF", "0http://h/d/a.gif",
                        "8http://h/d/n.htm", "5http://x/y", "0http://x/y/a.gif", "6utf-8"}));
  EXPECT_EQ(CollectTagReferences(page, kPage, true),
            (StringList{"0http://h/d/a.gif", "0http://h/d/A.GIF", "8http://h/d/n.htm",
                        "5http://x/y", "0http://x/y/a.gif", "6utf-8"}));
  // The page import keeps what it fetches: anchors, base and meta go.
  EXPECT_EQ(ImportReferences(page),
            (StringList{"0http://h/d/a.gif", "0http://h/d/A.GIF", "0http://x/y/a.gif"}));
}

TEST(Collecting, EncodedLineBreakKeepsOneLinePerReference) {
  // "%0D" and "%0A" decode to real line breaks; the list still has one line per reference,
  // so every later reference keeps its kind and its place.
  std::string page = "<img src=\"a%0Db.gif\"><img src='c%0A%0D.png'><script src=s.js></script>";
  StringList refs = ImportReferences(page);
  ASSERT_EQ(refs.size(), 3u);
  EXPECT_EQ(refs[0], "0http://h/d/a\rb.gif");
  EXPECT_EQ(refs[1], "0http://h/d/c\n\r.png");
  EXPECT_EQ(ReferenceKindOf(refs[2]), rkScript);
  StringList locals = MakeLocalNames(refs, "7.files");
  EXPECT_EQ(locals[2], "7.files/s.js");
}

TEST(ListRoutines, RemoveResolveStrip) {
  StringList refs{"5http://x/", "0a.gif", "6utf-8", "8n.htm", "4s.css", "9f.htm"};
  RemoveNonResourceReferences(refs);
  EXPECT_EQ(refs, (StringList{"0a.gif", "4s.css", "9f.htm"}));
  ResolveReferenceList("c:\\site\\p.htm", refs);
  EXPECT_EQ(refs, (StringList{"0c:\\site\\a.gif", "4c:\\site\\s.css", "9c:\\site\\f.htm"}));
  StripReferenceKinds(refs);
  EXPECT_EQ(refs, (StringList{"c:\\site\\a.gif", "c:\\site\\s.css", "c:\\site\\f.htm"}));
}

TEST(LocalNames, FileNamesFramesAndQueries) {
  EXPECT_EQ(ReferenceFileNames({"9http://h/frame", "0http://h/frame", "9http://h/f.php?x=1",
                                "4http://h/s.php?v=2", "9http://h/dir/", "9http://h/page?id=3"}),
            (StringList{"frame.htm", "frame", "f.php", "s.php", "", "page"}));
  EXPECT_EQ(MakeLocalNames({"0http://h/d/Logo.GIF"}, "5.files"), StringList{"5.files/Logo.GIF"});
  EXPECT_EQ(MakeLocalNames({"0a.gif"}, " c:\\w\\5.files\\ "), StringList{"c:/w/5.files/a.gif"});
  EXPECT_EQ(MakeLocalNames({"0a.gif"}, ""), StringList{"a.gif"});
  EXPECT_EQ(MakeLocalNames({"4http://h/"}, "5.files"), StringList{"5.files/"});
}

TEST(LocalNames, ClashNumbering) {
  StringList refs{"0http://a/logo.gif", "0http://b/logo.gif", "0http://a/logo.gif",
                  "0http://c/logo.gif", "0http://B/logo.gif", "4http://b/logo.gif",
                  "0http://d/x.gif"};
  // Numbers count every later different reference of the name, so 4 goes unused once
  // http://B/ takes the number of http://b/; the link of kind 4 is a line of its own.
  EXPECT_EQ(NumberNameClashes(refs), (StringList{"1", "2", "1", "3", "2", "5", "1"}));
  EXPECT_EQ(MakeLocalNames(refs, "5.files"),
            (StringList{"5.files/logo.gif", "5.files/logo[2].gif", "5.files/logo.gif",
                        "5.files/logo[3].gif", "5.files/logo[2].gif", "5.files/logo[5].gif",
                        "5.files/x.gif"}));
  // References equal ignoring case share the first one's number.
  EXPECT_EQ(NumberNameClashes({"0http://h/X/a.gif", "0http://h/x/a.gif"}), (StringList{"1", "1"}));
  // Letters fold, other bytes do not, wherever they stand in the text.
  EXPECT_EQ(NumberNameClashes({"0http://h/abcdefgh/\xC1.gif", "0HTTP://H/ABCDEFGH/\xC1.GIF",
                               "0http://h/abcdefgh/\xE1.gif", "0http://o/abcdefgh/\xE1.gif"}),
            (StringList{"1", "1", "1", "2"}));
  // Blank names never clash.
  EXPECT_EQ(NumberNameClashes({"4http://a/", "4http://b/"}), (StringList{"1", "1"}));
  // One URL under two kinds is one file: the kind digit takes no part in the comparison.
  EXPECT_EQ(NumberNameClashes({"0http://a/x.gif", "4http://a/x.gif", "0http://b/x.gif"}),
            (StringList{"1", "1", "2"}));
  // ... also when another reference of the name comes between: the frame shares the image's
  // file, and only the different reference is numbered.
  EXPECT_EQ(MakeLocalNames({"0http://a/x.gif", "0http://b/x.gif", "9http://a/x.gif"}, ""),
            (StringList{"x.gif", "x[2].gif", "x.gif"}));
}

TEST(LocalNames, NamesDifferingOnlyInCaseGetDifferentFiles) {
  // On the file system that receives them, Logo.gif and logo.gif would be one file: the
  // second resource would overwrite the first and both tags would show it.
  StringList refs{"0http://a/Logo.gif", "0http://b/logo.gif", "0http://c/LOGO.GIF",
                  "0http://a/Logo.gif"};
  EXPECT_EQ(MakeLocalNames(refs, "5.files"),
            (StringList{"5.files/Logo.gif", "5.files/logo[2].gif", "5.files/LOGO[3].GIF",
                        "5.files/Logo.gif"}));
  // References equal ignoring case are one resource and share one file.
  EXPECT_EQ(MakeLocalNames({"0http://b/logo.gif", "0http://B/LOGO.GIF"}, ""),
            (StringList{"logo.gif", "LOGO.GIF"}));
}

TEST(LocalNames, ManyClashesStayFast) {
  StringList refs;
  for (int i = 0; i < 100000; ++i)
    refs.push_back("0http://h/" + std::to_string(i % 50000) + "/logo.gif");
  StringList numbers = NumberNameClashes(refs);
  EXPECT_EQ(numbers[0], "1");
  EXPECT_EQ(numbers[49999], "50000");
  EXPECT_EQ(numbers[50000], "1");
  EXPECT_EQ(numbers[99999], "50000");
}

std::string Rewrite(std::string_view html, std::string_view folder = "5.files") {
  return RewritePageLinks(html, folder, kPage);
}

constexpr const char* kTail = "\r\n</body></html>\r\n";

TEST(Rewriting, ReferencesPointAtLocalNamesAndAnchorsAtUrls) {
  EXPECT_EQ(Rewrite(std::string("<IMG SRC=Logo.GIF width=3>") + kTail),
            std::string("<IMG SRC=5.files/Logo.GIF width=3>") + kTail);
  EXPECT_EQ(Rewrite(std::string("<a href=\"next.htm\">n</a>") + kTail),
            std::string("<a href=\"http://h/d/next.htm\">n</a>") + kTail);
  EXPECT_EQ(
      Rewrite(std::string("<img src=' a.gif '><frame src=f.php><link href=s.php?v=2>") + kTail),
      std::string("<img src=' 5.files/a.gif '><frame src=5.files/f.php><link href=5.files/s.php>") +
          kTail);
  EXPECT_EQ(
      Rewrite(
          std::string(
              "<img src=http://a/logo.gif><img src=http://b/logo.gif><img src=http://a/logo.gif>") +
          kTail),
      std::string(
          "<img src=5.files/logo.gif><img src=5.files/logo[2].gif><img src=5.files/logo.gif>") +
          kTail);
  // The src after a srcset is the picture's own.
  EXPECT_EQ(Rewrite(std::string("<img srcset=\"a-2x.gif 2x\" src=b.gif>") + kTail),
            std::string("<img srcset=\"a-2x.gif 2x\" src=5.files/b.gif>") + kTail);
}

TEST(Rewriting, UnsavedValuesOfAPageFromTheWebBecomeAbsolute) {
  // What the import does not save keeps pointing at the web: relative values are joined to
  // the base as a browser joins them, their escapes, query and fragment as written.
  struct Case {
    const char* tag;
    const char* rewritten;  // same as tag when nothing changes
  };
  const Case cases[] = {
      {"<img src=\"a.webp\">", "<img src=\"http://h/d/a.webp\">"},
      {"<img src='logo.png?v=2'>", "<img src='http://h/d/logo.png?v=2'>"},
      {"<script src=app.js?ver=3></script>", "<script src=http://h/d/app.js?ver=3></script>"},
      {"<embed src=\"../m/a%20b.svg#v\">", "<embed src=\"http://h/m/a%20b.svg#v\">"},
      {"<iframe src=\"/w/./x/../show.cgi?id=1\">", "<iframe src=\"http://h/w/show.cgi?id=1\">"},
      {"<td background=\"bg.svg\">", "<td background=\"http://h/d/bg.svg\">"},
      {"<img src=\"?size=2\">", "<img src=\"http://h/d/p.htm?size=2\">"},
      {"<img src=\"//cdn.example/a/../x.webp\">", "<img src=\"http://cdn.example/x.webp\">"},
      {"<img src=\"../../../../top.svg\">", "<img src=\"http://h/top.svg\">"},
      // Values that stay: empty, fragments, values with a scheme, param values.
      {"<img src=\"\">", "<img src=\"\">"},
      {"<img src=\"#map\">", "<img src=\"#map\">"},
      {"<img src=\"data:image/png;base64,AA==\">", "<img src=\"data:image/png;base64,AA==\">"},
      {"<img src=\"cid:pic@x\">", "<img src=\"cid:pic@x\">"},
      {"<iframe src=\"about:blank\">", "<iframe src=\"about:blank\">"},
      {"<script src=\"https://o.example/s.js?v=1\"></script>",
       "<script src=\"https://o.example/s.js?v=1\"></script>"},
      {"<param value=transparent>", "<param value=transparent>"},
      {"<a href=\"#usage\">", "<a href=\"#usage\">"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(Rewrite(std::string(c.tag) + kTail), std::string(c.rewritten) + kTail) << c.tag;
  // After a base tag, values are joined to it; a page not from the web keeps them as written.
  EXPECT_EQ(Rewrite(std::string("<base href=\"https://x.example/y\"><img src=a.webp>") + kTail),
            std::string("<img src=https://x.example/y/a.webp>") + kTail);
  const std::string local = std::string("<img src=a.webp><a href=\"#top\">") + kTail;
  EXPECT_EQ(RewritePageLinks(local, "5.files", "c:\\site\\p.htm"), local);
}

TEST(Rewriting, WebAddressesKeepTheirEscapesAndResolveDotsAsABrowserDoes) {
  // Anchors point at the web address a browser forms from the value as written; what is
  // fetched is resolved the same way, a "../" above the root staying at the root.
  struct Case {
    const char* tag;
    const char* rewritten;
    StringList fetched;
  };
  const Case cases[] = {
      {"<a href=\"search?q=a%26b&amp;r=1\">", "<a href=\"http://h/d/search?q=a%26b&amp;r=1\">", {}},
      {"<a href=my%20page.htm>", "<a href=http://h/d/my%20page.htm>", {}},
      {"<a href=\"a%2541.htm#x%20y\">", "<a href=\"http://h/d/a%2541.htm#x%20y\">", {}},
      {"<a href=\"d/../../../root.htm\">", "<a href=\"http://h/root.htm\">", {}},
      {"<a href=\"..\\..\\x.htm\">", "<a href=\"http://h/x.htm\">", {}},
      {"<a href=\"HTTPS://O/a/./b/../c%41.htm?p=../q\">",
       "<a href=\"HTTPS://O/a/c%41.htm?p=../q\">",
       {}},
      {"<img src=\"d/../../../root.png\">",
       "<img src=\"5.files/root.png\">",
       {"0http://h/root.png"}},
      {"<img src=\"../../x/../root2.png\">",
       "<img src=\"5.files/root2.png\">",
       {"0http://h/root2.png"}},
      {"<img src=\"%2e%2e/%2E%2E/a%20b/./c.png\">",
       "<img src=\"5.files/c.png\">",
       {"0http://h/a b/c.png"}},
      {"<img src=\"x\\..\\..\\..\\y.png\">", "<img src=\"5.files/y.png\">", {"0http://h/y.png"}},
  };
  for (const Case& c : cases) {
    const std::string page = std::string(c.tag) + kTail;
    EXPECT_EQ(Rewrite(page), std::string(c.rewritten) + kTail) << c.tag;
    EXPECT_EQ(FetchReferenceList(page, kPage), c.fetched) << c.tag;
  }
  // A page on disk: an anchor with a web scheme keeps its escapes, a relative one points at
  // its file.
  EXPECT_EQ(
      RewritePageLinks("<a href=\"http://o/a%20b.htm\"><a href=\"n%20x.htm\">" + std::string(kTail),
                       "5.files", "c:\\site\\p.htm"),
      "<a href=\"http://o/a%20b.htm\"><a href=\"c:\\site\\n x.htm\">" + std::string(kTail));
  // From the root, a "../" stays there.
  EXPECT_EQ(ResolveUrl("http://h/", "../x.gif"), "http://h/x.gif");
  EXPECT_EQ(ResolveUrl("https://host.example/a/", "../../../x.gif"), "https://host.example/x.gif");
}

TEST(Rewriting, ResourcesGetTheNamesOfTheFetchedFiles) {
  // A gallery: each thumbnail links to a picture of the same name. The anchors are not
  // fetched, so they take no part in the numbering: every src names the file the import
  // writes.
  const std::string page =
      "<a href=\"big/pic.gif\"><img src=\"pic.gif\"></a><a href=\"big/b.gif\"><img "
      "src=\"b.gif\"></a><img src=\"other/pic.gif\">" +
      std::string(kTail);
  const StringList fetched = MakeLocalNames(FetchReferenceList(page, kPage), "5.files");
  EXPECT_EQ(fetched, (StringList{"5.files/pic.gif", "5.files/b.gif", "5.files/pic[2].gif"}));
  EXPECT_EQ(Rewrite(page),
            "<a href=\"http://h/d/big/pic.gif\"><img src=\"5.files/pic.gif\"></a><a "
            "href=\"http://h/d/big/b.gif\"><img src=\"5.files/b.gif\"></a><img "
            "src=\"5.files/pic[2].gif\">" +
                std::string(kTail));
}

TEST(Rewriting, PartsKnownByContentIdTakeTheirLocalNames) {
  const CidNames cids = {{"cid:note@example.com", "c:/w/5.files/note.png"},
                         {"cid:frame 1@x", "c:/w/5.files/part3.htm"}};
  const std::string page =
      "<img src=\"cid:note@example.com\"><link rel=stylesheet href='cid:css@x'>"
      "<iframe src=\"CID:frame%201@x\"></iframe><a href=cid:note@example.com>" +
      std::string(kTail);
  EXPECT_EQ(RewritePageLinks(page, "c:/w/5.files/", "", &cids),
            "<img src=\"c:/w/5.files/note.png\"><link rel=stylesheet href='c:/w/5.files/css@x'>"
            "<iframe src=\"c:/w/5.files/part3.htm\"></iframe><a href=c:/w/5.files/note.png>" +
                std::string(kTail));
  // Backgrounds of style attributes and style elements, with character references kept.
  const std::string styled =
      "<td style=\"background:url(&quot;cid:note@example.com&quot;)\">"
      "<div style='background-image: url(cid:frame%201@x), url(cid:other)'>"
      "<style>.a{background:url( \"CID:note@example.com\" )} /* url(cid:note@example.com) */"
      "</style><p style=\"color:red\">" +
      std::string(kTail);
  EXPECT_EQ(RewritePageLinks(styled, "c:/w/5.files/", "", &cids),
            "<td style=\"background:url(&quot;c:/w/5.files/note.png&quot;)\">"
            "<div style='background-image: url(c:/w/5.files/part3.htm), url(cid:other)'>"
            "<style>.a{background:url( \"c:/w/5.files/note.png\" )} /* url(cid:note@example.com) */"
            "</style><p style=\"color:red\">" +
                std::string(kTail));
  EXPECT_EQ(RewritePageLinks(styled, "c:/w/5.files/", "", nullptr), styled);
}

TEST(Rewriting, LocalFolderForms) {
  std::string page = std::string("<img src=a.gif>") + kTail;
  EXPECT_EQ(Rewrite(page, " 5.files\\ "), std::string("<img src=5.files/a.gif>") + kTail);
  EXPECT_EQ(Rewrite(page, "c:\\w\\5.files"), std::string("<img src=c:/w/5.files/a.gif>") + kTail);
  EXPECT_EQ(Rewrite(page, "\\"), std::string("<img src=a.gif>") + kTail);
  EXPECT_EQ(Rewrite(page, ""), std::string("<img src=a.gif>") + kTail);
}

TEST(Rewriting, BaseAndUtf8CharsetTagsAreRemoved) {
  EXPECT_EQ(Rewrite(std::string("<base href=http://x/y><img src=a.gif>") + kTail),
            std::string("<img src=5.files/a.gif>") + kTail);
  EXPECT_EQ(
      Rewrite(
          std::string("<meta http-equiv=\"Content-Type\" content=\"text/html; charset=UTF-8\">x") +
          kTail),
      std::string("x") + kTail);
  std::string gb =
      std::string("<meta http-equiv=\"Content-Type\" content=\"text/html; charset=gb2312\">") +
      kTail;
  EXPECT_EQ(Rewrite(gb), gb);
}

TEST(Rewriting, TagsNextToDeletedOnesAreStillRewritten) {
  EXPECT_EQ(Rewrite(std::string("<meta charset=utf-8><link href=s.css>") + kTail),
            std::string("<link href=5.files/s.css>") + kTail);
  EXPECT_EQ(
      Rewrite(
          std::string(
              "<base href=http://x/><base href=http://y/><meta charset='UTF-8'><img src=a.gif>") +
          kTail),
      std::string("<img src=5.files/a.gif>") + kTail);
  EXPECT_EQ(
      Rewrite(std::string("<img src=a.gif><base href=http://x/><img src=http://x/a.gif>") + kTail),
      std::string("<img src=5.files/a.gif><img src=5.files/a[2].gif>") + kTail);
}

TEST(Rewriting, EncodedLineBreakDoesNotShiftLaterReferences) {
  std::string page = std::string("<img src=\"a%0D%0Ab.gif\"><img src=c.gif><a href=n.htm>") + kTail;
  EXPECT_EQ(Rewrite(page), std::string("<img src=\"5.files/a\r\nb.gif\"><img src=5.files/c.gif>"
                                       "<a href=http://h/d/n.htm>") +
                               kTail);
}

TEST(Rewriting, EncodedNulStaysInsideItsReference) {
  // A NUL ends the text of a list in some string-list implementations; here it is a byte
  // like any other and later references keep their names.
  std::string page = std::string("<img src=\"a%00b.gif\"><img src=c.gif>") + kTail;
  EXPECT_EQ(Rewrite(page),
            std::string("<img src=\"5.files/a\0b.gif\"><img src=5.files/c.gif>", 50) + kTail);
}

TEST(Rewriting, DecodedLessThanInAReferenceStartsNoTag) {
  // In a page on disk the anchor's decoded path holds "<img src=z.gif>"; scanning it as a tag
  // would pair every later tag with the previous tag's local name.
  std::string page =
      std::string("<a href=\"%3Cimg src=z.gif%3E\">x</a><img src=c.gif><img src=d.gif>") + kTail;
  EXPECT_EQ(RewritePageLinks(page, "5.files", "c:\\s\\p.htm"),
            std::string("<a href=\"c:\\s\\<img src=z.gif>\">x</a><img src=5.files/c.gif>"
                        "<img src=5.files/d.gif>") +
                kTail);
}

TEST(Rewriting, ValueAfterTabOrLineBreakIsReplacedWhole) {
  EXPECT_EQ(Rewrite(std::string("<img src=\"\n   img/a.gif\">") + kTail),
            std::string("<img src=\"\n   5.files/a.gif\">") + kTail);
}

TEST(Rewriting, CutOffInputIsLeftAlone) {
  for (std::string page :
       {"<img src=a.gif", "<a href=foo /", "<img src=\"a.gif", "<", "<base href=", ""})
    EXPECT_EQ(Rewrite(page + std::string(20, ' ')), page + std::string(20, ' ')) << page;
}

}  // namespace
}  // namespace lorvex
