// The complete-page mode's reading of a page: which values name files, what they resolve
// to, and the page rewritten around them; with the attribute helpers it rests on.
#include "links/CompletePageLinks.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "links/TagAttributes.h"
#include "util/UrlPath.h"

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
      {"<a href=\"n%20x.htm\">", {"=" + d + "n%20x.htm"}},
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
      {"<img data-src=\"x src=q.png\">", {d + "x%20src=q.png"}},
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
  EXPECT_EQ(Found("document.write(`<link rel=\"stylesheet\" href=\"${root}theme.css\">`);", true),
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
    return std::optional<std::string>("5.files/" + (name == "c.png" ? "it's.png" : name));
  });
  EXPECT_EQ(rewritten,
            std::string("<base><img srcset=\"5.files/a b.png 1x, 5.files/it%27s.png 2x\" "
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

// Pages as the complete mode writes them, each resource named by the decoded last segment of
// its URL under 5.files (a URL's query becomes part of the name, as a file name can hold it).
TEST(CompletePageRewrite, ReadAsABrowserReads) {
  struct Case {
    const char* page;
    const char* url;
    std::vector<std::string> saved;  // the URLs that are saved, in order
    const char* rewritten;
  };
  const std::string w = "http://h.example/d/";
  const Case cases[] = {
      // Character references decode in the tag's own value too; a value that names the same URL
      // as a srcset candidate is one file.
      {"<img src=\"a.jpg?w=3&amp;h=2\" srcset=\"a.jpg?w=3&amp;h=2 2x\">",
       kPage,
       {w + "a.jpg?w=3&h=2", w + "a.jpg?w=3&h=2"},
       "<img src=\"5.files/a.jpg%3Fw=3&amp;h=2\" srcset=\"5.files/a.jpg%3Fw=3&amp;h=2 2x\">"},
      {"<img src=\"x&#X2F;y.png\">", kPage, {w + "x/y.png"}, "<img src=\"5.files/y.png\">"},
      // The first base counts for every reference, before and after it, resolved as a browser
      // resolves it; every base loses its href.
      {"<img src=a.png><base href=\"http://o.example/b/index.html\"><base href=\"http://z/\">"
       "<img src=c.png><a href=n.htm>",
       kPage,
       {"http://o.example/b/a.png", "http://o.example/b/c.png"},
       "<img src=5.files/a.png><base><base><img src=5.files/c.png>"
       "<a href=http://o.example/b/n.htm>"},
      {"<base href=\"/\"><img src=\"app/i.png\">",
       "http://h.example/spa/index.html",
       {"http://h.example/app/i.png"},
       "<base><img src=\"5.files/i.png\">"},
      {"<base href=\"mhtml:file://C:/x.mht!\"><img src=i.png>",
       kPage,
       {w + "i.png"},
       "<base><img src=5.files/i.png>"},
      // integrity and crossorigin go where the reference is saved; a policy goes with the page.
      {"<link rel=\"preload stylesheet\" as=style href=\"s.css\" integrity=\"sha256-x\" "
       "crossorigin=\"anonymous\"><script src=\"j.js\"\tintegrity=sha384-y crossorigin></script>"
       "<img src=\"show.cgi\" crossorigin>",
       kPage,
       {w + "s.css", w + "j.js"},
       "<link rel=\"preload stylesheet\" as=style href=\"5.files/s.css\">"
       "<script src=\"5.files/j.js\"></script><img src=\"http://h.example/d/show.cgi\" "
       "crossorigin>"},
      {"<meta http-equiv=\"Content-Security-Policy\" content=\"img-src https:\"><p>",
       kPage,
       {},
       "<p>"},
      {"<meta http-equiv=refresh content=\"5; URL=next.htm\">",
       kPage,
       {},
       "<meta http-equiv=refresh content=\"5; URL=http://h.example/d/next.htm\">"},
      // Names that cannot stand in a URL as they are.
      {"<img srcset=\"my%20pic.png 1x, a,b.png 2x\" style=\"background:url('(x).png')\">",
       kPage,
       {w + "my%20pic.png", w + "a,b.png", w + "(x).png"},
       "<img srcset=\"5.files/my%20pic.png 1x, 5.files/a%2Cb.png 2x\" "
       "style=\"background:url('5.files/%28x%29.png')\">"},
      {"<img src=\"\xE6\xB5\xB7.png\">",
       kPage,
       {w + "%E6%B5%B7.png"},
       "<img src=\"5.files/%E6%B5%B7.png\">"},
      // srcdoc is a page of its own, rewritten where its references stand; object data is
      // saved like embed src.
      {"<iframe srcdoc=\"<img src=&quot;in.png&quot;><p>a &amp; b\"></iframe>"
       "<object data=\"f.swf\"></object>",
       kPage,
       {w + "in.png", w + "f.swf"},
       "<iframe srcdoc=\"<img src=&quot;5.files/in.png&quot;><p>a &amp; b\"></iframe>"
       "<object data=\"5.files/f.swf\"></object>"},
      // Comments hide markup, raw text holds no tags; an inline script's strings are read as
      // script files are.
      {"<!-- <img src=c.png> --><textarea><img src=t.png></textarea>"
       "<script>w('<img src=\"s.png\">')</script>",
       kPage,
       {w + "s.png"},
       "<!-- <img src=c.png> --><textarea><img src=t.png></textarea>"
       "<script>w('<img src=\"5.files/s.png\">')</script>"},
      // The tags' own kinds: input, embed, td background, param value.
      {"<input type=image src=i.gif><embed src=e.swf><td background=t.gif>"
       "<param name=movie value=m.swf>",
       kPage,
       {w + "i.gif", w + "e.swf", w + "t.gif", w + "m.swf"},
       "<input type=image src=5.files/i.gif><embed src=5.files/e.swf>"
       "<td background=5.files/t.gif><param name=movie value=5.files/m.swf>"},
  };
  for (const Case& c : cases) {
    const auto refs = ScanCompletePage(c.page, c.url, false);
    std::vector<std::string> saved;
    const std::string rewritten = RewriteCompletePage(c.page, refs, [&](const PageReference& ref) {
      saved.push_back(ref.url);
      return std::optional<std::string>("5.files/" +
                                        UrlDecode(ref.url.substr(ref.url.rfind('/') + 1)));
    });
    EXPECT_EQ(saved, c.saved) << c.page;
    EXPECT_EQ(rewritten, c.rewritten) << c.page;
  }
}

// A document that holds an image and, down to level 5, an iframe whose srcdoc is the next
// level; name(k) is what level k's image is called.
std::string NestedSrcdoc(int level, const std::function<std::string(int)>& name) {
  std::string page = "<img src=\"" + name(level) + "\">";
  if (level == 5) return page;
  std::string inner;
  for (char c : NestedSrcdoc(level + 1, name)) {
    if (c == '&')
      inner += "&amp;";
    else if (c == '"')
      inner += "&quot;";
    else
      inner += c;
  }
  return page + "<iframe srcdoc=\"" + inner + "\"></iframe>";
}

// Where svg/math content ends, what a select or template holds, srcdoc values kept as the page
// wrote them but for their references, base tags without their href, and base tags in a
// script's code, with the URLs saved and the page written.
TEST(CompletePageRewrite, PagesAsTheBrowserBuildsThem) {
  struct Case {
    std::string page;
    std::vector<std::string> saved;
    std::string rewritten;
  };
  const std::string w = "http://h.example/d/";
  const auto level = [](int k) { return "l" + std::to_string(k) + ".png"; };
  const Case cases[] = {
      {"<div><svg><g></div><style>body{background:url(bg.png)}</style>",
       {w + "bg.png"},
       "<div><svg><g></div><style>body{background:url(5.files/bg.png)}</style>"},
      {"<p><svg><path></p><script>w('<img src=\"s.png\">')</script>",
       {w + "s.png"},
       "<p><svg><path></p><script>w('<img src=\"5.files/s.png\">')</script>"},
      // svg's own style is markup until its content ends.
      {"<svg><style>a{background:url(in.png)}</style><font "
       "color=red><style>a{b:url(f.png)}</style>",
       {w + "f.png"},
       "<svg><style>a{background:url(in.png)}</style><font color=red>"
       "<style>a{b:url(5.files/f.png)}</style>"},
      // A select's contents are read as anywhere: its xmp is raw text, its svg ends with it.
      {"<select><option>a<xmp><img src=x.png></xmp><svg><g></select><style>a{b:url(o.png)}</style>",
       {w + "o.png"},
       "<select><option>a<xmp><img src=x.png></xmp><svg><g></select>"
       "<style>a{b:url(5.files/o.png)}</style>"},
      {"<div><template><svg></div><style>a{b:url(t.png)}</style></template>", {}, ""},
      {"<template><svg><g></template><style>a{b:url(t.png)}</style>",
       {w + "t.png"},
       "<template><svg><g></template><style>a{b:url(5.files/t.png)}</style>"},
      // srcdoc in a windows-1252 page, and unquoted: only the references change.
      {"<iframe srcdoc=\"<p>&copy; Caf\xE9</p><img src=&quot;pic.png&quot;>\"></iframe>",
       {w + "pic.png"},
       "<iframe srcdoc=\"<p>&copy; Caf\xE9</p><img src=&quot;5.files/pic.png&quot;>\"></iframe>"},
      {"<iframe srcdoc=&lt;p&#32;id=x&gt;&lt;img&#32;src=a&amp;amp;b.png&gt;></iframe>",
       {w + "a&b.png"},
       "<iframe srcdoc=&lt;p&#32;id=x&gt;&lt;img&#32;src=5.files/a&amp;amp;b.png&gt;></iframe>"},
      {"<iframe srcdoc='<img src=\"it&#39;s.png\" alt=&quot;x&quot;>'>",
       {w + "it's.png"},
       "<iframe srcdoc='<img src=\"5.files/it%27s.png\" alt=&quot;x&quot;>'>"},
      // Four srcdoc documents deep are read; the fifth stays as written.
      {NestedSrcdoc(0, level),
       {w + "l0.png", w + "l1.png", w + "l2.png", w + "l3.png", w + "l4.png"},
       NestedSrcdoc(0, [&](int k) { return k < 5 ? "5.files/" + level(k) : level(k); })},
      // A base keeps its target; the href goes once applied.
      {"<base target=\"_blank\" href=\"http://o.example/b/\"><a href=n.htm><img src=i.png>",
       {"http://o.example/b/i.png"},
       "<base target=\"_blank\"><a href=http://o.example/b/n.htm><img src=5.files/i.png>"},
      {"<base target=_top><img src=i.png>",
       {w + "i.png"},
       "<base target=_top><img src=5.files/i.png>"},
      // A base in a script's code sets nothing and stays; an empty value names nothing.
      {"<script>w('<base href=\"http://x.example/\"><img src=\"b.png\"><a href=\"\">')</script>"
       "<img src=a.png>",
       {w + "b.png", w + "a.png"},
       "<script>w('<base href=\"http://x.example/\"><img src=\"5.files/b.png\"><a href=\"\">')"
       "</script><img src=5.files/a.png>"},
  };
  for (const Case& c : cases) {
    const auto refs = ScanCompletePage(c.page, kPage, false);
    std::vector<std::string> saved;
    const std::string rewritten = RewriteCompletePage(c.page, refs, [&](const PageReference& ref) {
      saved.push_back(ref.url);
      return std::optional<std::string>("5.files/" + ref.url.substr(ref.url.rfind('/') + 1));
    });
    EXPECT_EQ(saved, c.saved) << c.page;
    EXPECT_EQ(rewritten, c.rewritten.empty() ? c.page : c.rewritten) << c.page;
  }
  // An empty value in a script's string is no reference, whatever its tag.
  for (const char* script :
       {"<script>w('<a href=\"\">')</script>", "<script>w('<a href=>')</script>",
        "<script>w('<base href=\"\">')</script>"})
    EXPECT_TRUE(ScanCompletePage(script, kPage, false).empty()) << script;
}

TEST(TagAttributes, SrcsetCandidates) {
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
}

}  // namespace
}  // namespace lorvex
