// The script-free copy of a page: a table of pages and the bytes they become, each also
// checked to come out unchanged from a second pass (nothing that runs is left behind, however
// the cuts join what was around them).
#include "links/ScriptFreePage.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace lorvex {
namespace {

struct Case {
  std::string_view page;
  std::string_view copy;
};

template <size_t N>
void ExpectCopies(const Case (&cases)[N]) {
  for (const Case& c : cases) {
    const std::string copy = ScriptFreePage(c.page);
    EXPECT_EQ(copy, c.copy) << c.page;
    EXPECT_EQ(ScriptFreePage(copy), copy) << "second pass of " << c.page;
  }
}

TEST(ScriptFreePage, ScriptsThatRunGoDataBlocksStay) {
  const Case cases[] = {
      {"a<script>go()</script>b", "ab"},
      {"<head><script src=\"app.js\"></script><title>t</title>", "<head><title>t</title>"},
      {"<script type=\"text/javascript\">1</script>", ""},
      {"<script type=\" TEXT/JavaScript \">1</script>", ""},
      {"<script type=application/x-javascript>1</script>", ""},
      {"<script type=text/livescript>1</script>", ""},
      {"<script type=\"module\" src=\"/assets/index-4f2a.js\"></script>", ""},
      {"<script type=MODULE>import './a.js'</script>", ""},
      {"<script type=\"importmap\">{\"imports\":{}}</script>", ""},
      {"<script type=\"speculationrules\">{\"prefetch\":[]}</script>", ""},
      {"<script type=\"\">1</script>", ""},
      {"<script language=\"JavaScript1.2\">1</script>", ""},
      {"<script language=\"\">1</script>", ""},
      {"<script type=\"\" language=\"vbscript\">1</script>", ""},
      // data blocks: any other type, a type with parameters, a blank type
      {"<script type=\"application/ld+json\">{\"@type\":\"Article\"}</script>",
       "<script type=\"application/ld+json\">{\"@type\":\"Article\"}</script>"},
      {"<script type=\"text/template\"><p onclick=x>{{a}}</p></script>",
       "<script type=\"text/template\"><p onclick=x>{{a}}</p></script>"},
      {"<script type=\"text/javascript;charset=utf-8\">1</script>",
       "<script type=\"text/javascript;charset=utf-8\">1</script>"},
      {"<script type=\" \">1</script>", "<script type=\" \">1</script>"},
      {"<script language=vbscript>1</script>", "<script language=vbscript>1</script>"},
      {"<script type=application/json id=__NEXT_DATA__>{}</script><script>x</script>",
       "<script type=application/json id=__NEXT_DATA__>{}</script>"},
      // the script's text is script data: its escapes and "</script" inside strings
      {"<script><!--<script>a</script>b--></script>c", "c"},
      {"<script>s='</scripts>'</script >c", "c"},
      // cut off: an unclosed script holds the rest of the page, as a browser reads it
      {"<p>a<script>go()", "<p>a"},
      {"<p>a<script>go()</script", "<p>a"},
      // svg scripts stay where they are, as text that runs nothing
      {"<svg><script>go()</script><rect/></svg>",
       "<svg><script type=\"text/plain\">go()</script><rect/></svg>"},
      {"<svg><script href=\"a.js\" xlink:href=a.js id=\"s\"/><g/></svg>",
       "<svg><script type=\"text/plain\" id=\"s\" /><g/></svg>"},
      {"<svg><script type=\"text/ecmascript\"><![CDATA[go()]]></script></svg>",
       "<svg><script type=\"text/plain\"><![CDATA[go()]]></script></svg>"},
      {"<svg><script type=text/plain>x</script></svg>",
       "<svg><script type=text/plain>x</script></svg>"},
      {"<math><script><mi><style>a<script>b()</script></style></mi></script></math>",
       "<math><script "
       "type=\"text/plain\"><mi><style>a<script>b()</script></style></mi></script></math>"},
      // markup that only looks like a script
      {"<!-- <script>x</script> --><textarea><script>x</script></textarea>",
       "<!-- <script>x</script> --><textarea><script>x</script></textarea>"},
      {"<style>/*<script>x</script>*/</style><xmp><script></xmp>",
       "<style>/*<script>x</script>*/</style><xmp><script></xmp>"},
      // a "<" just before a cut cannot open a tag with what follows it
      {"<<script></script>img src=x onerror=go()>", "&lt;img src=x onerror=go()>"},
      {"a <<link rel=modulepreload href=m.js>/p>", "a &lt;/p>"},
  };
  ExpectCopies(cases);
}

TEST(ScriptFreePage, HandlersGoJavaScriptUrlsBecomeFragments) {
  const Case cases[] = {
      {"<body onload=\"init()\" class=\"x\">", "<body class=\"x\">"},
      {"<a onclick='go()'href=y>", "<a href=y>"},
      {"<IMG SRC=a.png ONERROR=\"x\"/>", "<IMG SRC=a.png />"},
      {"<img src=a.png onerror=x/>", "<img src=a.png>"},
      {"<svg><g onmouseover=\"x\"/></svg>", "<svg><g /></svg>"},
      // a name written again counts for a browser once the first is gone: both go
      {"<a onclick=1 href=# onclick=2 title=t>", "<a href=# title=t>"},
      {"<p on=\"x\" one>", "<p on=\"x\">"},
      {"<a href=\"javascript:void(0)\">x</a>", "<a href=\"#\">x</a>"},
      {"<a href='  JaVa&#x09;Script:go()'>", "<a href='#'>"},
      {"<a href=\"java\nscript:go()\">", "<a href=\"#\">"},
      {"<form action=javascript:send()><button formaction='javascript:x'>",
       "<form action=#><button formaction='#'>"},
      {"<iframe src=\"javascript:''\"></iframe>", "<iframe src=\"#\"></iframe>"},
      {"<object data=\"javascript:x\"></object>", "<object data=\"#\"></object>"},
      {"<svg><a xlink:href=\"javascript:x\"><text>t</text></a></svg>",
       "<svg><a xlink:href=\"#\"><text>t</text></a></svg>"},
      {"<a title=\"t\" href = \"javascript:x\" onclick=y>", "<a title=\"t\" href = \"#\">"},
      // what is no javascript: URL, or no address
      {"<a href=\"javascripts/app.html\">", "<a href=\"javascripts/app.html\">"},
      {"<a href=\"/javascript:x\">", "<a href=\"/javascript:x\">"},
      {"<img alt=\"javascript:x\" title='javascript:'>",
       "<img alt=\"javascript:x\" title='javascript:'>"},
      // a name after a bare one is kept apart from it
      {"<a href/=\"javascript:x\" onclick=y>", "<a href /=\"javascript:x\">"},
      // a name holding a NUL (read as U+FFFD, three bytes) is written as it stands
      {std::string_view("<a x\0y onclick=z>t", 18), std::string_view("<a x\0y>t", 8)},
      // a tag cut off by the end of the page stays as it is (a browser drops it)
      {"<p>x<a onclick=y", "<p>x<a onclick=y"},
  };
  ExpectCopies(cases);
}

TEST(ScriptFreePage, ScriptPreloadsGoNoscriptAndFramesStay) {
  const Case cases[] = {
      {"<link rel=\"modulepreload\" href=\"/assets/vendor.js\"><link rel=stylesheet href=a.css>",
       "<link rel=stylesheet href=a.css>"},
      {"<link rel=\"preload\" as=\"script\" href=\"a.js\"><link rel=preload as=style href=a.css>",
       "<link rel=preload as=style href=a.css>"},
      {"<link rel=\" Preload  prefetch\" as=\" SCRIPT \" href=a.js>x", "x"},
      {"<link rel=ModulePreload href=a.js>x", "x"},
      {"<link rel=preload href=a.js>", "<link rel=preload href=a.js>"},
      {"<noscript><img src=a.png onload=x><script>y</script></noscript>",
       "<noscript><img src=a.png onload=x><script>y</script></noscript>"},
      {"<iframe srcdoc=\"<script>go()</script>\"></iframe>",
       "<iframe srcdoc=\"<script>go()</script>\"></iframe>"},
      {"<template><script>go()</script><b onclick=x>b</b></template>",
       "<template><b>b</b></template>"},
  };
  ExpectCopies(cases);
}

// Pages stitched from pieces that run scripts, in every order and with odd joints: a second
// pass finds nothing more to take away, and what runs nothing is kept byte for byte.
TEST(ScriptFreePage, NothingThatRunsSurvivesAnyMixOfPieces) {
  const std::string_view pieces[] = {
      "<",
      "</",
      "<!",
      "-->",
      ">",
      "<script>a()</script>",
      "<script type=module src=m.js>",
      "</script>",
      "<svg><script>b()",
      "</svg>",
      "<a href=javascript:c() onclick=d>",
      "<link rel=modulepreload href=e.js>",
      "<p onclick=f onclick=g>",
      "<script type=text/plain>kept</script>",
      "<noscript><script>h()</script></noscript>",
      "&",
      "img src=x onerror=i()>",
      "lt;",
      " ",
      "\"",
      "'",
      "=",
  };
  std::mt19937 random(33);
  for (int round = 0; round < 4000; ++round) {
    std::string page;
    const int count = 1 + int(random() % 8);
    for (int i = 0; i < count; ++i) page += pieces[random() % std::size(pieces)];
    const std::string copy = ScriptFreePage(page);
    ASSERT_EQ(ScriptFreePage(copy), copy) << page;
  }
  const std::string quiet = "<p class=a>x &amp; <b>y</b></p><img src=a.png><!-- c -->";
  EXPECT_EQ(ScriptFreePage(quiet), quiet);
}

}  // namespace
}  // namespace lorvex
