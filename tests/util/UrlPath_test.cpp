#include "util/UrlPath.h"

#include <gtest/gtest.h>

#include <random>

#include "support/LinkModels.h"

namespace lorvex {
namespace {

TEST(Delimiters, AddAndRemove) {
  EXPECT_EQ(AddBackslash(""), "");
  EXPECT_EQ(AddBackslash("c:\\a"), "c:\\a\\");
  EXPECT_EQ(AddBackslash("http://h/"), "http://h/");
  EXPECT_EQ(AddSlash("x\\"), "x\\");
  EXPECT_EQ(AddSlash("http://x/y"), "http://x/y/");
  EXPECT_EQ(RemoveTrailingDelimiter("a//"), "a/");
  EXPECT_EQ(RemoveTrailingDelimiter(""), "");
}

TEST(UrlDecoding, HexPairsBadPairsAndEnds) {
  EXPECT_EQ(UrlDecode("a%20b"), "a b");
  EXPECT_EQ(UrlDecode("100%zz"), "100zz");
  EXPECT_EQ(UrlDecode("50%"), "50");
  EXPECT_EQ(UrlDecode("%41%42"), "AB");
  EXPECT_EQ(UrlDecode("%2541"), "%41");
  EXPECT_EQ(UrlDecode("%4"), std::string("\x04", 1));
  EXPECT_EQ(UrlDecode("%4z"), "4z");
  EXPECT_EQ(UrlDecode("%%41"), "%41");  // the second "%" is copied after the failed pair
  EXPECT_EQ(UrlDecode("a+b%2b"), "a+b+");
  EXPECT_EQ(UrlDecode("%00x"), std::string("\0x", 2));
}

TEST(UrlDecoding, ListLinesDecodeAsInTheJoinedTextButNeverSplit) {
  // Each line decodes as though a line break followed it: a lone digit after a final "%" is
  // not read as a number there, exactly as in the list's text.
  StringList lines{"0a%20b", "0x%4", "0y%", "0http://h/a%0Db.gif", "0c%0Ad%0D%0A.gif"};
  UrlDecodeList(lines);
  EXPECT_EQ(lines, (StringList{"0a b", "0x4", "0y", "0http://h/a\rb.gif", "0c\nd\r\n.gif"}));
}

TEST(Classification, LocalAndRelative) {
  EXPECT_TRUE(IsLocalPath("HTTP://a/x"));
  EXPECT_TRUE(IsLocalPath("ftp://"));
  EXPECT_TRUE(IsLocalPath("c:\\a.htm"));
  EXPECT_TRUE(IsLocalPath("file:///c:/a.htm"));
  EXPECT_FALSE(IsLocalPath("  http://a  "));
  EXPECT_FALSE(IsLocalPath("https://a/b"));
  EXPECT_FALSE(IsLocalPath("ftp://a"));

  EXPECT_TRUE(IsRelativeUrl("a/b.gif"));
  EXPECT_TRUE(IsRelativeUrl("../a:b"));
  EXPECT_TRUE(IsRelativeUrl(".\\a:b"));
  EXPECT_TRUE(IsRelativeUrl("/a:b"));
  EXPECT_TRUE(IsRelativeUrl(""));
  EXPECT_FALSE(IsRelativeUrl("page.php?t=1:2"));
  EXPECT_FALSE(IsRelativeUrl("c:\\x"));
  EXPECT_FALSE(IsRelativeUrl("http://h/"));
}

TEST(NamesAndExtensions, CutAtLastDelimiter) {
  EXPECT_EQ(ExtractUrlFileName(" dir/a.php?x=1 "), "a.php?x=1");
  EXPECT_EQ(ExtractUrlFileName("http://host:8080"), "8080");
  EXPECT_EQ(ExtractUrlFileName("http://h/d/"), "");
  EXPECT_EQ(ExtractUrlFileName("c:\\x\\y.GIF"), "y.GIF");
  EXPECT_EQ(StripUrlQuery("a.php?x=1?y"), "a.php");
  EXPECT_EQ(StripUrlQuery("a.gif"), "a.gif");
  EXPECT_EQ(ExtractUrlFileExt("http://h/a.b/c"), "");
  EXPECT_EQ(ExtractUrlFileExt("http://h/c.tar.GZ"), ".GZ");
  EXPECT_EQ(ExtractUrlFileExt("a.php?v=1.5"), ".5");
  EXPECT_EQ(FileNameOnly("c:\\d\\page.html"), "page");
  EXPECT_EQ(FileNameOnly("c:page"), "page");
  EXPECT_EQ(FileNameOnly("a/b.c/d"), "a/b");  // "/" is not a delimiter here
  EXPECT_EQ(TagFileName("logo.gif", "2"), "logo[2].gif");
  EXPECT_EQ(TagFileName("readme", "3"), "readme[3]");
  EXPECT_EQ(TagFileName("a.b/c", "4"), "a.b/c[4]");
}

TEST(NamesAndExtensions, KnownFileKinds) {
  for (const char* name :
       {"a.htm", "a.HTML", "x.php", "p.gif", "p.JPG",  "p.jpeg", "p.jff", "p.jtf",
        "p.png", "p.bmp",  "p.ico", "p.tif", "p.tiff", "p.wmf",  "p.ras", "p.eps",
        "p.pcx", "p.pcd",  "p.tga", "f.swf", "s.js",   "s.jsp",  "s.css"})
    EXPECT_TRUE(IsResourceFile(name)) << name;
  for (const char* name : {"x.asp", "x.cgi", "x", "x.gif?v=1", "x.gif/", ""})
    EXPECT_FALSE(IsResourceFile(name)) << name;
  EXPECT_TRUE(IsPageFile("a.ASP"));
  EXPECT_FALSE(IsPageFile("a.js"));
  EXPECT_TRUE(IsScriptFile("http://h/a.Js"));
  EXPECT_TRUE(IsAspFile("x.asp"));
  EXPECT_FALSE(IsAspFile("x.aspx"));
}

TEST(Folders, LocalAndRemote) {
  EXPECT_EQ(ExtractUrlFolder("c:\\site\\index.htm"), "c:\\site\\");
  EXPECT_EQ(ExtractUrlFolder("c:index.htm"), "c:");
  EXPECT_EQ(ExtractUrlFolder("/home/u/p.htm"), "");  // "/" does not count for local paths
  EXPECT_EQ(ExtractUrlFolder("http://h/a/b.htm"), "http://h/a/");
  EXPECT_EQ(ExtractUrlFolder(" http://h/a/ "), "http://h/a/");
  EXPECT_EQ(ParentUrlFolder("http://h/a/b/"), "http://h/a");
  EXPECT_EQ(ParentUrlFolder("abc"), "");
  EXPECT_EQ(LastUrlFolderName("c:\\w\\7.files\\"), "7.files");
  EXPECT_EQ(LastUrlFolderName("abc"), "");
  EXPECT_EQ(ExtractUrlRoot("c:\\a\\b"), "c:\\");
  EXPECT_EQ(ExtractUrlRoot("http://host/x/y"), "http://host/");
  EXPECT_EQ(ExtractUrlRoot("http://a/bc"), "");
  EXPECT_EQ(ExtractUrlRoot("http://h/a/b"), "http://h/a/");
  EXPECT_EQ(ExtractUrlRoot("abc"), "");
}

TEST(Folders, FileUrlsBecomeDrivePaths) {
  EXPECT_EQ(FileUrlToPath("file:///c:/s/p.htm"), "c:\\s\\p.htm");
  EXPECT_EQ(FileUrlToPath("FILE:\\\\c:\\x"), "c:\\x");
  EXPECT_EQ(FileUrlToPath("file:///"), "\\");
  EXPECT_EQ(FileUrlToPath("file:"), "");
  EXPECT_EQ(FileUrlToPath("file"), "file");
  EXPECT_EQ(FileUrlToPath("http://a/b"), "http://a/b");
  EXPECT_EQ(GetLongPath("c:\\no\\such\\file.htm"), "c:\\no\\such\\file.htm");
}

TEST(Resolution, DrivePaths) {
  EXPECT_EQ(ResolveUrl("c:\\site\\index.htm", "img/logo.gif"), "c:\\site\\img\\logo.gif");
  EXPECT_EQ(ResolveUrl("c:\\site\\sub\\index.htm", "..\\x.gif"), "c:\\site\\x.gif");
  EXPECT_EQ(ResolveUrl("c:\\site\\sub\\index.htm", "/x.gif"), "c:\\x.gif");
  EXPECT_EQ(ResolveUrl("c:\\site\\index.htm", "./a%20b.gif"), "c:\\site\\a b.gif");
  EXPECT_EQ(ResolveUrl("c:\\site\\index.htm", "d:/other/x.gif"), "d:\\other\\x.gif");
  EXPECT_EQ(ResolveUrl("c:\\site\\index.htm", "c:\\site\\index.htm"), "c:\\site\\index.htm");
}

TEST(Resolution, FileUrls) {
  EXPECT_EQ(ResolveUrl("file:///c:/s/p.htm", "q.gif"), "c:\\s\\q.gif");
  EXPECT_EQ(ResolveUrl("file:///c:/s/p.htm", "file:///c:/s/p.htm"), "c:\\s\\p.htm");
  EXPECT_EQ(ResolveUrl("http://h/d/p.htm", "file:///d:/x.gif"), "d:\\x.gif");
}

TEST(Resolution, Urls) {
  EXPECT_EQ(ResolveUrl("http://site/a/b.htm", "../c/d.gif"), "http://site/c/d.gif");
  EXPECT_EQ(ResolveUrl("http://site/a/b.htm", "/x.css"), "http://site/x.css");
  EXPECT_EQ(ResolveUrl("http://h/a/b.htm", "/x.css"), "http://h/a/x.css");  // one-letter host
  EXPECT_EQ(ResolveUrl("http://a/bc", "/x.gif"), "/x.gif");
  EXPECT_EQ(ResolveUrl("http://h/d/p.htm", "p.php?a=1:2"), "p.php?a=1:2");
  EXPECT_EQ(ResolveUrl("http://h/d/p.htm", "sub\\x.gif"), "http://h/d/sub/x.gif");
  EXPECT_EQ(ResolveUrl("http://h/d/p.htm", "http://o/x.gif"), "http://o/x.gif");
  EXPECT_EQ(ResolveUrl("http://h/d/p.htm", "  "), "");
  EXPECT_EQ(ResolveUrl("http://h/d/p.htm", "http://h/d/p.htm"), "http://h/d/p.htm");
  // On the web "." and ".." segments resolve as in a browser, never above the root.
  EXPECT_EQ(ResolveUrl("http://h/", "../x.gif"), "http://h/x.gif");
  EXPECT_EQ(ResolveUrl("http://h/d/up.htm", "d/../../../root.png"), "http://h/root.png");
  EXPECT_EQ(ResolveUrl("http://h/d/up.htm", "../../x/../root2.png"), "http://h/root2.png");
  EXPECT_EQ(ResolveUrl("http://h/d/up.htm", "a/./b/..?x=/../y"), "http://h/d/a/?x=/../y");
  EXPECT_EQ(ResolveUrl("http://h/d/", "%2E%2E/x.gif"), "http://h/x.gif");
  // Decoded once on the way in and once more when joined to the folder.
  EXPECT_EQ(ResolveUrl("http://h/d/p.htm", "a%2541.gif"), "http://h/d/aA.gif");
  EXPECT_EQ(ResolveUrl("http://h/d%2541/p.htm", "a.gif"), "http://h/dA/a.gif");
  EXPECT_EQ(ResolveUrl("http://h/d/p.htm", "http://o/a%2541.gif"), "http://o/a%41.gif");
  EXPECT_EQ(ResolveUrl("", "x"), "");  // one character is no result
  // A scheme-relative reference takes the scheme of a base on the web and nothing else.
  EXPECT_EQ(ResolveUrl("http://site/a/page.htm", "//cdn.example/x.png"),
            "http://cdn.example/x.png");
  EXPECT_EQ(ResolveUrl("https://site/a/", "//cdn.example/x.png"), "https://cdn.example/x.png");
  EXPECT_EQ(ResolveUrl("http://site/a/", "%2F%2Fcdn/y.gif"), "http://cdn/y.gif");
  EXPECT_EQ(ResolveUrl("c:\\site\\p.htm", "//cdn.example/x.png"), "c:\\\\cdn.example\\x.png");
  EXPECT_EQ(ResolveUrl("http://site/a/", "\\\\cdn\\x.png"), "http://site//cdn/x.png");
}

TEST(Resolution, CombineKeepsRootRelativeTextAsPassed) {
  EXPECT_EQ(CombineUrl("http://site/a/", "/x%20y.css"), "http://site/x%20y.css");
  EXPECT_EQ(CombineUrl("http://site/a/", "x%20y.css"), "http://site/a/x y.css");
  EXPECT_EQ(CombineUrl("http://site/a/", ""), "http://site/a/");
  EXPECT_EQ(CombineUrl("http://site/a/", "./"), "http://site/a/");
  EXPECT_EQ(CombineUrl("http://site/a/", "http://o/"), "http://o/");
  EXPECT_EQ(CombineUrl("c:\\a\\b\\", "../../x"), "c:\\x");
  EXPECT_EQ(CombineUrl("c:\\a\\b\\", "../../../x"), "x");
  // Decoding again in every round: "%252E%252E/" turns into "../" on the second round.
  EXPECT_EQ(CombineUrl("http://site/a/b/", "./%252E%252E/x"), "http://site/a\\x");
}

TEST(Resolution, LongRunsOfParentStepsStayCheap) {
  std::string ref;
  for (int i = 0; i < 200000; ++i) ref += "../";
  EXPECT_EQ(ResolveUrl("http://site/a/b/c.htm", ref + "x.gif"), "http://site/x.gif");
  EXPECT_EQ(ResolveUrl("http://site/a/b/c.htm", "d/" + ref + "x.gif"), "http://site/x.gif");
  // Encoded again and again, the tail would keep a "%" through every round: decoding stops
  // after a fixed number of rounds instead of going over the whole reference each time.
  std::string tail = "%";
  for (int i = 0; i < 200000; ++i) tail += "25";
  std::string resolved = ResolveUrl("http://site/a/b/c.htm", ref + tail + "41.gif");
  EXPECT_EQ(resolved.substr(resolved.size() - 10), "252541.gif");
  EXPECT_LT(resolved.size(), tail.size());
}

}  // namespace
}  // namespace lorvex

namespace lorvex {
namespace {

TEST(Resolution, EqualsTheStepByStepModelOnRandomInputs) {
  static const char* const kBases[] = {"http://h/d/p.htm",
                                       "http://site/a/b/",
                                       " c:\\s\\p.htm ",
                                       "file:///c:/s/p.htm",
                                       "http://h/d%2541/",
                                       "",
                                       "x",
                                       "http://a/bc",
                                       "c:",
                                       "http://h/a%2Fb/c.htm",
                                       "HTTPS://cdn.site/s/",
                                       "\\\\server\\share\\p.htm"};
  static const char* const kTokens[] = {"a",       ".gif",  "/",   "\\",     "..", ".",  "%",
                                        "%25",     "%2E",   "%2F", "%41",    ":",  " ",  "\t",
                                        "http://", "file:", "c:",  "?q=1:2", "x",  "//", "//"};
  std::mt19937 random(5);
  for (int round = 0; round < 30000; ++round) {
    std::string ref;
    const int count = static_cast<int>(random() % 8);
    for (int i = 0; i < count; ++i) ref += kTokens[random() % std::size(kTokens)];
    const char* base = kBases[random() % std::size(kBases)];
    ASSERT_EQ(ResolveUrl(base, ref), model::LiteralResolve(base, ref))
        << "base [" << base << "] ref [" << ref << "]";
    ASSERT_EQ(CombineUrl(base, ref), model::LiteralCombine(base, ref))
        << "base [" << base << "] ref [" << ref << "]";
  }
}

}  // namespace
}  // namespace lorvex
