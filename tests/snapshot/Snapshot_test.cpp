// The rendered page from the real browser on this machine (a test is skipped where there is
// none), of pages served by the test on 127.0.0.1: what the page's scripts made comes out in
// the markup, the address is the one the browser ended on, and the markup of a page without
// scripts is the browser's own serialization of it.
#include "snapshot/Snapshot.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "support/TestHttpServer.h"

namespace lorvex::snapshot {
namespace {

constexpr char kHtml[] = "Content-Type: text/html\r\n";
constexpr int kTimeoutMs = 30000;

bool HaveBrowser() {
  try {
    FindBrowser("");
    return true;
  } catch (const BrowserNotFound&) {
    return false;
  }
}

RenderedPage Render(const std::string& url,
                    platform::ProtocolWay way = platform::ProtocolWay::Pipe) {
  SnapshotSettings settings;
  settings.timeoutMs = kTimeoutMs;
  settings.way = way;
  return TakeSnapshot(url, settings);
}

// What scripts make: a web component's shadow root (with a sheet of its own), rules added to
// style sheets through the CSS object model, form state, content that appears when scrolled
// to, data fetched after the load.
constexpr char kScriptedPage[] = R"(<!DOCTYPE html>
<html><head><meta charset="utf-8"><title>scripted</title>
<style id="empty"></style>
<style id="filled">.b { color: red; }</style>
<style id="plain">.d{color:red}</style>
</head><body>
<x-card><span>light</span></x-card>
<input id="text" value="markup"><input id="box" type="checkbox"><input id="off" type="checkbox" checked>
<input id="secret" type="password">
<select id="pick"><option>one</option><option>two</option></select>
<textarea id="area">old</textarea>
<div id="data"></div>
<div style="height: 5000px"></div>
<div id="far"></div>
<script>
customElements.define("x-card", class extends HTMLElement {
  constructor() {
    super();
    const root = this.attachShadow({mode: "open", delegatesFocus: true});
    root.innerHTML = "<p part=\"x\">inside &amp; out</p><slot></slot>";
    const sheet = new CSSStyleSheet();
    sheet.replaceSync("p { color: blue; }");
    root.adoptedStyleSheets = [sheet];
  }
});
document.getElementById("empty").sheet.insertRule(".a { color: green; }");
document.getElementById("filled").sheet.insertRule(".c { margin: 0px; }", 1);
document.getElementById("text").value = "typed <in>";
document.getElementById("box").checked = true;
document.getElementById("off").checked = false;
document.getElementById("secret").value = "hunter2";
document.getElementById("pick").selectedIndex = 1;
document.getElementById("area").value = "new & text";
fetch("/data.json").then((r) => r.json()).then((d) => {
  document.getElementById("data").textContent = d.text;
});
new IntersectionObserver((entries) => {
  if (entries[0].isIntersecting) document.getElementById("far").textContent = "seen when scrolled to";
}).observe(document.getElementById("far"));
</script></body></html>)";

class RenderedScripts : public ::testing::TestWithParam<platform::ProtocolWay> {};

TEST_P(RenderedScripts, KeepWhatScriptsMade) {
  if (!HaveBrowser()) GTEST_SKIP() << "no browser of the Chromium family here";
  test::TestHttpServer server;
  server.Respond("/page.htm", 200, kScriptedPage, kHtml);
  server.Handle("/data.json", [](const test::TestRequest&, test::TestConnection& c) {
    c.Stall(2000);  // well after the load
    c.Send(
        "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: 24\r\n\r\n"
        "{\"text\":\"fetched later\"}");
  });
  const RenderedPage page = Render(server.Url("/page.htm"), GetParam());
  EXPECT_TRUE(page.settled);
  EXPECT_EQ(page.url, server.Url("/page.htm"));
  const std::string expected[] = {
      "<x-card><template shadowrootmode=\"open\" shadowrootdelegatesfocus=\"\">"
      "<p part=\"x\">inside &amp; out</p><slot></slot><style>p { color: blue; }</style>"
      "</template><span>light</span></x-card>",
      "<style id=\"empty\">.a { color: green; }</style>",
      "<style id=\"filled\">.b { color: red; }\n.c { margin: 0px; }</style>",
      "<style id=\"plain\">.d{color:red}</style>",
      "<input id=\"text\" value=\"typed &lt;in&gt;\">",
      "<input id=\"box\" type=\"checkbox\" checked=\"\">",
      "<input id=\"off\" type=\"checkbox\">",
      "<input id=\"secret\" type=\"password\">",
      "<select id=\"pick\"><option>one</option><option selected=\"\">two</option></select>",
      "<textarea id=\"area\">new &amp; text</textarea>",
      "<div id=\"data\">fetched later</div>",
      "<div id=\"far\">seen when scrolled to</div>",
      "<!DOCTYPE html><html><head><meta charset=\"utf-8\">",
  };
  for (const std::string& part : expected)
    EXPECT_NE(page.html.find(part), std::string::npos) << part << "\n" << page.html;
}

INSTANTIATE_TEST_SUITE_P(Ways, RenderedScripts,
                         ::testing::Values(platform::ProtocolWay::Pipe,
                                           platform::ProtocolWay::Port),
                         [](const auto& info) {
                           return info.param == platform::ProtocolWay::Pipe ? "Pipe" : "Port";
                         });

// The address after redirects and after the page moved on by itself; the text in UTF-8 and
// declared so, whatever the page was sent in.
TEST(Snapshot, EndsWhereTheBrowserEnded) {
  if (!HaveBrowser()) GTEST_SKIP() << "no browser of the Chromium family here";
  test::TestHttpServer server;
  server.Canned("/old", "HTTP/1.1 302 Found\r\nLocation: /moving.htm\r\nContent-Length: 0\r\n\r\n");
  server.Respond("/moving.htm", 200,
                 "<html><head><title>moving</title></head><body onload=\"location.replace('/"
                 "latin.htm#part')\">here for a moment</body></html>",
                 kHtml);
  server.Respond("/latin.htm", 200,
                 "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; "
                 "charset=iso-8859-1\"></head><body>caf\xE9</body></html>",
                 "Content-Type: text/html; charset=iso-8859-1\r\n");
  server.Respond("/plain.htm", 200, "<p>caf\xC3\xA9 without a declaration</p>",
                 "Content-Type: text/html; charset=utf-8\r\n");

  RenderedPage page = Render(server.Url("/old"));
  EXPECT_EQ(page.url, server.Url("/latin.htm#part"));
  EXPECT_NE(
      page.html.find("<meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\">"),
      std::string::npos)
      << page.html;
  EXPECT_NE(page.html.find("caf\xC3\xA9"), std::string::npos) << page.html;

  page = Render(server.Url("/plain.htm"));
  EXPECT_EQ(page.html,
            "<html><head><meta charset=\"utf-8\"></head><body><p>caf\xC3\xA9 without a "
            "declaration</p></body></html>");
}

// Markup without scripts comes out as the browser itself serializes it (--dump-dom writes the
// doctype, a line break and the root element).
TEST(Snapshot, WritesMarkupAsTheBrowserDoes) {
  if (!HaveBrowser()) GTEST_SKIP() << "no browser of the Chromium family here";
  const std::string awkward =
      R"(<!DOCTYPE html PUBLIC "-//W3C//DTD HTML 4.01//EN" "http://www.w3.org/TR/html4/strict.dtd">
<html lang=en><head><meta charset="utf-8"><title>a &amp; b &lt; c</title>
<style>a > b { content: "<&>"; }</style>
<script type="application/json">{"a": "</p>"}</script>
<noscript><p>no &amp; script</p></noscript>
</head><body class='x"y' data-v="1 &lt; 2 &gt; 0 &amp; &nbsp;">
<!-- a comment -->
<p>text&nbsp;with nbsp, &lt;tags&gt;, &amp;, "quotes"<br>line<wbr>break
<table><tr><td>cell<td>cell 2</table>
<svg viewBox="0 0 10 10" xmlns:xlink="http://www.w3.org/1999/xlink"><use xlink:href="#a"/><foreignObject><div>html in svg</div></foreignObject><linearGradient id="g"/></svg>
<math><mi>x</mi></math>
<template><li>in a template</li></template>
<textarea>area &lt;text&gt;</textarea>
<xmp>raw <b>text</b></xmp>
<iframe>not &amp; parsed</iframe>
<custom-element some-attr="v">custom</custom-element>
<img src="a.png" alt="">
<input value="x &amp; y">
<select><option selected>one<option>two</select>
<ul><li>one<li>two</ul>
</body></html>)";
  test::TestHttpServer server;
  server.Respond("/awkward.htm", 200, awkward, kHtml);

  const RenderedPage page = Render(server.Url("/awkward.htm"));
  const std::string command = "\"" + FindBrowser("") +
                              "\" --headless --no-sandbox --disable-gpu --dump-dom \"" +
                              server.Url("/awkward.htm") + "\" 2>/dev/null";
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
  ASSERT_TRUE(pipe);
  std::string dumped;
  char buffer[4096];
  while (size_t n = fread(buffer, 1, sizeof buffer, pipe.get())) dumped.append(buffer, n);
  while (!dumped.empty() && dumped.back() == '\n') dumped.pop_back();
  const size_t doctypeEnd = dumped.find(">\n<html");
  ASSERT_NE(doctypeEnd, std::string::npos) << dumped;
  dumped.erase(doctypeEnd + 1, 1);
  EXPECT_EQ(page.html, dumped);
}

}  // namespace
}  // namespace lorvex::snapshot
