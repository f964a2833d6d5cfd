// The two passes, the fetch list and the local names against their slow, literal models
// (support/LinkModels.h) on random pages.
#include <gtest/gtest.h>

#include <random>

#include "links/PageLinks.h"
#include "support/LinkModels.h"
#include "util/UrlPath.h"

namespace lorvex {
namespace {

using model::LiteralCollect;
using model::LiteralFetchLists;
using model::LiteralLocalNames;
using model::LiteralRewrite;

// Parts of an archive known by Content-ID, for the pages that name them.
const CidNames kCids = {{"cid:pic@x", "5.files/pic.png"}, {"cid:a b", "5.files/part2.bin"}};

// Pieces that make the passes take every branch: tags of each kind in mixed case, every way
// of quoting, values that are and are not resource files, encoded bytes, base and meta tags
// next to each other, stray angle brackets and line breaks.
std::string RandomPage(std::mt19937& random) {
  static const char* const kNames[] = {
      "img",    "IMG",   "Img",   "a",  "A",    "link",  "base",  "meta", "frame", "iframe",
      "script", "embed", "param", "td", "body", "table", "input", "p",    "span"};
  static const char* const kAttributes[] = {
      "src",     "SRC",    "background", "href",  "HREF",     "value",
      "charset", "srcset", "content",    "width", "hreflang", "srcdoc",
      "src-x",   "src:y",  "src.z",      "src_w", "valuetype"};
  static const char* const kValues[] = {"a.gif",
                                        "A.GIF",
                                        "sub/b.png",
                                        "../c.jpg",
                                        "/d.css",
                                        "./e.js",
                                        "http://o/logo.gif",
                                        "http://p/logo.gif",
                                        "x.cgi",
                                        "",
                                        " ",
                                        " f.htm ",
                                        "\tg.gif",
                                        "\r\nh.swf",
                                        "page.php?v=1",
                                        "frame",
                                        "%3Cimg src=q.gif%3E",
                                        "a%0Db.gif",
                                        "c%0A.png",
                                        "utf-8",
                                        "UTF-8",
                                        "gb2312",
                                        "text/html; charset=utf-8",
                                        "http://x/y",
                                        "n.htm",
                                        "a\\\"b.gif",
                                        "%41.gif",
                                        "%2525252541.gif",
                                        "a%20b/../../%2e%2E/..%5Cc.png",
                                        "HTTPS://X/a/./b/../c%20d\\e.htm?p=../q",
                                        "file:///c:/s/t.gif",
                                        "C:\\w\\u.bmp",
                                        "v.gif>",
                                        "w'.gif",
                                        "#top",
                                        "#",
                                        "//cdn.example/x.png",
                                        "//cdn.example/../y.gif",
                                        "//cdn.example?q",
                                        "a.webp",
                                        "logo.png?v=2",
                                        "app.js?ver=3",
                                        "img.php?id=7#frag",
                                        "../../up/z.svg",
                                        "./d/./e/../f.avif",
                                        "/root/r.svg",
                                        "?only=query",
                                        "data:image/png;base64,AAAA",
                                        "javascript:void(0)",
                                        "mailto:a@b",
                                        "cid:pic@x",
                                        "CID:pic@x",
                                        "cid:a%20b",
                                        "cid:unknown",
                                        "a b.svg",
                                        "%2E%2E/enc.svg",
                                        "http://x/y/",
                                        "(width < 800px)",
                                        "5 > 3",
                                        "x src=a.gif",
                                        "<!doctype html><p>",
                                        "a=\"b>\""};
  static const char* const kText[] = {"text", " ",    "\r\n", "<", ">",    "<<",   "<!-- ",
                                      " -->", "x\ty", "\"",   "'", "</a>", "<br>", "&amp;"};
  std::uniform_int_distribution<int> pieces(0, 30);
  std::string page;
  const int count = pieces(random);
  for (int i = 0; i < count; ++i) {
    if (random() % 3 == 0) {
      page += kText[random() % std::size(kText)];
      continue;
    }
    page += '<';
    page += kNames[random() % std::size(kNames)];
    const int attributes = random() % 3;
    for (int a = 0; a < attributes; ++a) {
      page += " \r\n"[random() % 3];
      page += kAttributes[random() % std::size(kAttributes)];
      if (random() % 8 == 0) continue;  // a name without "="
      page += random() % 4 == 0 ? (random() % 2 ? " = " : " =\t\r\n") : "=";
      std::string value = kValues[random() % std::size(kValues)];
      switch (random() % 3) {
        case 0:
          page += '"' + value + '"';
          break;
        case 1:
          page += '\'' + value + '\'';
          break;
        default:
          page += value;
          break;
      }
    }
    if (random() % 10 != 0) page += '>';
  }
  // Some pages end right after a tag.
  const int tail = random() % 14;
  page.append(static_cast<size_t>(tail), random() % 2 ? ' ' : '.');
  return page;
}

TEST(RewriteOracle, PassesMatchTheirLiteralModelsOnRandomPages) {
  std::mt19937 random(20261207);
  const char* const folders[] = {"5.files", "c:\\w\\5.files\\", "/", ""};
  const char* const pages[] = {"http://h/d/p.htm",
                               "c:\\site\\index.htm",
                               "file:///c:/s/p.htm",
                               "http://h/",
                               "HTTPS://host.example/a b/p.php?x=1#f",
                               "http://h/d/p\"x.htm"};
  for (int round = 0; round < 6000; ++round) {
    std::string page = RandomPage(random);
    const char* folder = folders[round % std::size(folders)];
    const char* url = pages[(round / 4) % std::size(pages)];
    const CidNames* cids = round % 3 == 0 ? nullptr : &kCids;
    ASSERT_EQ(CollectTagReferences(page, url, false), LiteralCollect(page, url))
        << "round " << round;
    const std::string base = ResolveUrl(url, url);
    const StringList fetched = FetchReferenceList(page, base);
    ASSERT_EQ(fetched, LiteralFetchLists(page, base).resolved) << "round " << round;
    ASSERT_EQ(MakeLocalNames(fetched, folder), LiteralLocalNames(fetched, folder))
        << "round " << round;
    // An archive's page writes names outside ASCII as URLs; the model escapes them its own way.
    const LocalNameText escape = [](std::string_view name) {
      return EscapeLocalNameForUrl(name, false);
    };
    const LocalNameText literalEscape = [](std::string_view name) {
      return model::LiteralNameAsUrl(name);
    };
    const bool escaped = round % 2 == 0;
    ASSERT_EQ(RewritePageLinks(page, folder, url, cids, escaped ? escape : nullptr),
              LiteralRewrite(page, folder, url, cids, escaped ? literalEscape : nullptr))
        << "round " << round << " page [" << page << "]";
  }
}

TEST(RewriteOracle, PassesMatchTheirLiteralModelsOnByteSoup) {
  // Short texts over the bytes that matter to the scanners, so that cut-off tags, stray
  // quotes and brackets at every distance from the end come up.
  static const char* const kTokens[] = {
      "<",   ">",    "\"",   "'",     " ",       "=",     "\r",    "\n",  "\t",   "img",   "a",
      "src", "href", "base", "meta",  "charset", "utf-8", "x.gif", "%3C", "%0D",  "%",     "/",
      "\\",  "..",   ":",    "frame", "\xC1",    "#",     "//",    "set", "cid:", ".webp", "?"};
  std::mt19937 random(99);
  for (int round = 0; round < 20000; ++round) {
    std::string page;
    const int count = static_cast<int>(random() % 40);
    for (int i = 0; i < count; ++i) page += kTokens[random() % std::size(kTokens)];
    ASSERT_EQ(CollectTagReferences(page, "http://h/d/p.htm", false),
              LiteralCollect(page, "http://h/d/p.htm"));
    ASSERT_EQ(RewritePageLinks(page, "5.files", "http://h/d/p.htm"),
              LiteralRewrite(page, "5.files", "http://h/d/p.htm"))
        << "round " << round << " page [" << page << "]";
  }
}

TEST(RewriteOracle, LargePageWithManyChanges) {
  std::mt19937 random(7);
  std::string page;
  while (page.size() < 200000) page += RandomPage(random);
  EXPECT_EQ(RewritePageLinks(page, "9.files", "http://h/d/p.htm"),
            LiteralRewrite(page, "9.files", "http://h/d/p.htm"));
}

}  // namespace
}  // namespace lorvex
