// The complete-page mode's reading of a page: which values name files, what they resolve
// to, and the page rewritten around them; with the attribute helpers it rests on.
#include "links/CompletePageLinks.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "links/TagAttributes.h"

namespace lorvex {
namespace {

constexpr const char* kPage = "http://h.example/d/p.htm";
constexpr const char* kTail = "\r\n</body></html>\r\n";

// What a scan found, as "url#fragment" per value that is saved, "=absolute" for one that is
// pointed at the web, "-" for a removed tag.
std::vector<std::string> Found(const std::string& html, bool script = false) {
  std::vector<std::string> out;
  for (const PageReference& ref : ScanCompletePage(html + kTail, kPage, script)) {
    if (ref.form == PageReference::Form::RemoveTag)
      out.push_back("-");
    else if (!ref.url.empty())
      out.push_back(ref.url + ref.fragment + (ref.styleSheet ? " (sheet)" : ""));
    else if (ref.absolute)
      out.push_back("=" + *ref.absolute);
  }
  return out;
}

TEST(CompletePageScan, ValuesThatNameFiles) {
  const std::string d = "http://h.example/d/";
  struct Case {
    std::string html;
    std::vector<std::string> found;
  };
  const Case cases[] = {
      // The tags' own kinds, with modern extensions and the query and fragment set aside.
      {"<img src=\"a.webp?v=2\">", {d + "a.webp?v=2"}},
      {"<img src=\"icons.svg#home\">", {d + "icons.svg#home"}},
      {"<img src=\"show.cgi?id=1\">", {"=" + d + "show.cgi?id=1"}},
      {"<link rel=\"Preload StyleSheet\" href=\"s.css?v=1\">", {d + "s.css?v=1 (sheet)"}},
      {"<a href=\"n%20x.htm\">", {"=" + d + "n x.htm"}},
      {"<a href=\"#top\">", {}},
      {"<base href=\"http://o.example/b/\"><img src=a.png>", {"-", "http://o.example/b/a.png"}},
      {"<meta charset=\"UTF-8\">", {"-"}},
      // Attributes in their order, srcset candidates with descriptors and references.
      {"<img srcset=\"s1.png 1x, s2.png?a=1&amp;b=2 2x\" src=\"a.png\" data-src=\"l.png\">",
       {d + "s1.png", d + "s2.png?a=1&b=2", d + "a.png", d + "l.png"}},
      {"<picture><source srcset=\"c.avif 600w,c2.avif 1200w\" type=image/avif>",
       {d + "c.avif", d + "c2.avif"}},
      {"<video poster=\"p.jpg\" src=\"//cdn.example/m.mp4\"><track src=\"t.vtt\">",
       {d + "p.jpg", "http://cdn.example/m.mp4", d + "t.vtt"}},
      {"<svg><use xlink:href=\"sprite.svg#i\"></use>", {d + "sprite.svg#i"}},
      // Lazy attributes name a file only when they look like one.
      {"<div data-bg=\"#fff\" data-src=\"not a file\" data-original=\"o.jpg\">", {d + "o.jpg"}},
      {"<img data-srcset=\"x.png 2x\" src=\"data:image/gif;base64,R0\">", {d + "x.png"}},
      // Style attributes (references decoded) and style elements, @import marked as a sheet.
      {"<div style=\"background:url(&quot;h.jpg&quot;) , url(data:x)\">", {d + "h.jpg"}},
      {"<style>@import 'i.css';\n.a{background:url(b.png)}</style><img src=after.png>",
       {d + "i.css (sheet)", d + "b.png", d + "after.png"}},
      // A src inside another attribute's quoted value is no attribute: the value is read whole.
      {"<img data-src=\"x src=q.png\">", {d + "x src=q.png"}},
      // Values that name nothing to fetch.
      {"<img srcset=\"data:image/png;base64,AA 1x\"><video src=\"blob:x\"><source src=\"\">", {}},
  };
  for (const Case& c : cases) EXPECT_EQ(Found(c.html), c.found) << c.html;
  // A script's text is code: only the tags' own kinds are read in its strings.
  EXPECT_EQ(Found("w('<img src=\"a.png\" srcset=\"b.png\" style=\"x:url(c.png)\">');", true),
            std::vector<std::string>{d + "a.png"});
  EXPECT_EQ(Found("w('<style>a{b:url(c.png)}</style>');", true), std::vector<std::string>{});
  // A value the code puts together is no address.
  EXPECT_EQ(Found("n.html('<img src=\"'+relpath+'sync_on.svg\" title=\"x\">');", true),
            std::vector<std::string>{});
}

TEST(CompletePageScan, RewriteSplicesEscapedNamesAndLeavesTheRest) {
  const std::string html =
      std::string(
          "<base href=\"http://h.example/d/\"><img srcset=\"a b.png 1x, c.png 2x\" "
          "src=\"x.cgi\"><div style=\"background:url(&quot;h.jpg&quot;)\">"
          "<style>.a{background:url('q.png#f')}</style><a href=\"#k\">") +
      kTail;
  const auto refs = ScanCompletePage(html, kPage, false);
  const std::string rewritten = RewriteCompletePage(html, refs, [](const PageReference& ref) {
    const std::string name = ref.url.substr(ref.url.rfind('/') + 1);
    return std::optional<std::string>("5.files/" + (name == "c.png" ? "it's.png" : name) +
                                      ref.fragment);
  });
  EXPECT_EQ(rewritten,
            std::string("<img srcset=\"5.files/a b.png 1x, 5.files/it&#39;s.png 2x\" "
                        "src=\"http://h.example/d/x.cgi\"><div "
                        "style=\"background:url(&quot;5.files/h.jpg&quot;)\">"
                        "<style>.a{background:url('5.files/q.png#f')}</style><a href=\"#k\">") +
                kTail);
  // Nothing named, nothing removed: the page stays byte for byte.
  const std::string plain = std::string("<img srcset=\"a.png 1x\"><p style=\"x\">") + kTail;
  EXPECT_EQ(RewriteCompletePage(plain, ScanCompletePage(plain, kPage, false),
                                [](const PageReference&) { return std::nullopt; }),
            plain);
}

TEST(TagAttributes, SrcsetCandidatesAndCharacterReferences) {
  struct Case {
    const char* srcset;
    std::vector<std::string> urls;
  };
  const Case cases[] = {
      {"a.png", {"a.png"}},
      {" a.png 1x,b.png 2x ", {"a.png", "b.png"}},
      {"a.png,b.png", {"a.png,b.png"}},  // a URL is everything up to whitespace
      {"a.png, b.png,, c.png,", {"a.png", "b.png", "c.png"}},
      {"a.png 100w (x, y), b.png", {"a.png", "b.png"}},
      {"data:image/png;base64,AA,BB 1x, c.png 2x", {"data:image/png;base64,AA,BB", "c.png"}},
      {"", {}},
      {" , ,", {}},
  };
  for (const Case& c : cases) {
    std::vector<std::string> urls;
    for (const SrcsetCandidate& candidate : SplitSrcset(c.srcset))
      urls.push_back(std::string(c.srcset).substr(candidate.offset, candidate.length));
    EXPECT_EQ(urls, c.urls) << c.srcset;
  }
  const DecodedText decoded = DecodeCharacterReferences("a&amp;b&#x2F;&#47;&bogus;&#;&quot");
  EXPECT_EQ(decoded.text, "a&b//&bogus;&#;&quot");
  EXPECT_EQ(decoded.rawOffset[1], 1u);  // "&" of "&amp;"
  EXPECT_EQ(decoded.rawOffset[2], 6u);  // "b"
  EXPECT_EQ(decoded.rawOffset.back(), std::string("a&amp;b&#x2F;&#47;&bogus;&#;&quot").size());
  EXPECT_EQ(DecodeCharacterReferences("&#x10FFFF;&#x110000;&#0;").text,
            "\xF4\x8F\xBF\xBF\xEF\xBF\xBD\xEF\xBF\xBD");

  const auto attributes = ReadTagAttributes("<img a=1 B = \"two\" c='3'/d e=f>");
  ASSERT_EQ(attributes.size(), 5u);
  EXPECT_EQ(attributes[1].name, "B");
  EXPECT_EQ(attributes[1].value, "two");
  EXPECT_EQ(attributes[2].value, "3");
  EXPECT_EQ(attributes[3].name, "d");
  EXPECT_EQ(attributes[3].value, "");
  EXPECT_EQ(attributes[4].value, "f");
  EXPECT_EQ(ReadTagAttributes("<img src=\"cut")[0].value, "cut");
}

}  // namespace
}  // namespace lorvex
