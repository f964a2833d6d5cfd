#include "links/CssReferences.h"

#include <gtest/gtest.h>

namespace lorvex {
namespace {

using namespace std::string_literals;

constexpr bool kImport = true;

struct Expected {
  std::string raw;  // the text at the reference's offset and length
  std::string value;
  char quote = 0;
  bool fromImport = false;
};

struct FindCase {
  std::string css;
  std::vector<Expected> refs;
};

TEST(CssReferences, FindsWhatTheTokenizerReadsAsReferences) {
  const FindCase cases[] = {
      // Comments hide references; inside an unquoted url "/*" is just part of the value.
      {"/* url(x.png) */a{background:url( \"b.png\" )/**/}", {{"b.png", "b.png", '"'}}},
      {"a{b:url(/*x*/c.png)}", {{"/*x*/c.png", "/*x*/c.png"}}},
      {"/* url(never.png)", {}},
      // Escapes in unquoted and quoted values; a hex escape ends at one whitespace.
      {"url(a\\29 b\\).png)", {{"a\\29 b\\).png", "a)b).png"}}},
      {"url('q\\'uo\\\nte\\41  x')", {{"q\\'uo\\\nte\\41  x", "q'uoteA x", '\''}}},
      {"url(\"a\\41\r\nb\\\r\nc\")", {{"a\\41\r\nb\\\r\nc", "aAbc", '"'}}},
      {"url(\\E9t\\E9.png) url(\\0) url(a\\110000 ) url(\\D800)",
       {{"\\E9t\\E9.png", "\xC3\xA9t\xC3\xA9.png"},
        {"\\0", "\xEF\xBF\xBD"},
        {"a\\110000 ", "a\xEF\xBF\xBD"},
        {"\\D800", "\xEF\xBF\xBD"}}},
      {"url(caf\xE9.png)", {{"caf\xE9.png", "caf\xE9.png"}}},
      // The function name in any case, or written with escapes; longer names are no url.
      {"URL(A.PNG) Url('b') u\\72l(c) .url(d)",
       {{"A.PNG", "A.PNG"}, {"b", "b", '\''}, {"c", "c"}, {"d", "d"}}},
      {"myurl(a) --url(b) -url(c) #url(d) 1url(e) _url(f) url (g) 2e3url(h)", {}},
      {"<!--url(x)-->", {{"x", "x"}}},
      // @import with a string or a url, whatever follows; other at-keywords do not count.
      {"@IMPORT \"x.css\";@import url(\"y.css\") screen;@import /* c */ url( z.css ) print;",
       {{"x.css", "x.css", '"', kImport},
        {"y.css", "y.css", '"', kImport},
        {"z.css", "z.css", 0, kImport}}},
      {"@im\\70ort 'w.css'; @imports \"n\"; @import foo \"n\"; @charset \"n\";",
       {{"w.css", "w.css", '\'', kImport}}},
      // Values reported as they are written.
      {"a{b:url(data:image/png;base64,iVBO+/=)}",
       {{"data:image/png;base64,iVBO+/=", "data:image/png;base64,iVBO+/="}}},
      {"url(\"data:image/svg+xml,<svg xmlns='http://w/'>(x)</svg>\")",
       {{"data:image/svg+xml,<svg xmlns='http://w/'>(x)</svg>",
         "data:image/svg+xml,<svg xmlns='http://w/'>(x)</svg>", '"'}}},
      // Cut off by the end of the text.
      {"a{b:url(\"c.png", {{"c.png", "c.png", '"'}}},
      {"a{b:url(  d.png  ", {{"d.png", "d.png"}}},
      {"url(e\\", {{"e\\", "e\xEF\xBF\xBD"}}},
      {"url('f\\", {{"f\\", "f", '\''}}},
      // Bad urls are skipped up to their ")" (not an escaped one); reading resumes after it.
      {"url(a\"b) url(a b) url(a(b) url(a\\\nb) url(a\x01) url(ok.png)", {{"ok.png", "ok.png"}}},
      {"url(a b\\) url(hidden.png) ) url(after.png)", {{"after.png", "after.png"}}},
      // A bad string ends at its line break; "url(" inside a string is no reference.
      {"x{content:\"cut\n} y{background:url(ok.png)}", {{"ok.png", "ok.png"}}},
      {"a{content:\"url(x.png)\"} b{content:'url(\"y\")'}", {}},
      {"url(\"cut\nb.png\")", {}},
      // Empty values.
      {"url() url(\"\") url(  )", {{"", ""}, {"", "", '"'}, {"", ""}}},
      // Font sources: format() strings are not references.
      {"src:url(a.woff2) format(\"woff2\"),url('a.woff') format('woff')",
       {{"a.woff2", "a.woff2"}, {"a.woff", "a.woff", '\''}}},
      // image-set: url() and the bare strings directly inside, not those of type().
      {"b:image-set(\"a.png\" 1x, url(b.png) 2x, \"c.avif\" type(\"image/avif\")) \"no\"",
       {{"a.png", "a.png", '"'}, {"b.png", "b.png"}, {"c.avif", "c.avif", '"'}}},
      {"b:-WEBKIT-image-set(url(a.png) 1x,'b.png' 2x)",
       {{"a.png", "a.png"}, {"b.png", "b.png", '\''}}},
  };
  for (const FindCase& c : cases) {
    SCOPED_TRACE(c.css);
    const std::vector<CssReference> refs = FindCssReferences(c.css);
    ASSERT_EQ(refs.size(), c.refs.size());
    for (size_t i = 0; i < refs.size(); ++i) {
      ASSERT_LE(refs[i].offset + refs[i].length, c.css.size());
      EXPECT_EQ(c.css.substr(refs[i].offset, refs[i].length), c.refs[i].raw) << "ref " << i;
      EXPECT_EQ(refs[i].value, c.refs[i].value) << "ref " << i;
      EXPECT_EQ(refs[i].quote, c.refs[i].quote) << "ref " << i;
      EXPECT_EQ(refs[i].fromImport, c.refs[i].fromImport) << "ref " << i;
    }
  }
}

struct RewriteCase {
  std::string css;
  std::string replacement;  // for every reference whose value is not "keep"
  std::string expected;
};

TEST(CssReferences, RewritesValuesEscapedForTheirFormAndReadsThemBack) {
  const RewriteCase cases[] = {
      {"a{b:url(x.png)}", "5.files/x.png", "a{b:url(5.files/x.png)}"},
      {"a{b:url(  x.png  )}", "y", "a{b:url(  y  )}"},
      {"url(x)", "a b(c)'d\"e\\f\t\n\x7F\xE9\0g"s,
       "url(a\\20 b\\28 c\\29 \\27 d\\22 e\\5C f\\9 \\A \\7F \xE9\0g)"s},
      {"url(\"x\")", "say \"hi\"\\\n'", "url(\"say \\22 hi\\22 \\\\\\A '\")"},
      {"@import 'x' screen;", "it's \"q\"\r\f", "@import 'it\\27 s \"q\"\\D \\C ' screen;"},
      {"url(\"cut", "a\"b", "url(\"a\\22 b"},
      {"url(x", "a)b", "url(a\\29 b"},
      {"url(x) url(keep) url(a b) url('z')", "", "url() url(keep) url(a b) url('')"},
      {"image-set(\"1x.png\" 1x) /* url(c) */ \"s\"", "n",
       "image-set(\"n\" 1x) /* url(c) */ \"s\""},
  };
  for (const RewriteCase& c : cases) {
    SCOPED_TRACE(c.css);
    const auto replace = [&](const CssReference& ref) -> std::optional<std::string> {
      if (ref.value == "keep") return std::nullopt;
      return c.replacement;
    };
    const std::string out = RewriteCssReferences(c.css, replace);
    EXPECT_EQ(out, c.expected);
    // Read back, every replaced reference gives the replacement.
    const std::vector<CssReference> before = FindCssReferences(c.css);
    const std::vector<CssReference> after = FindCssReferences(out);
    ASSERT_EQ(after.size(), before.size());
    for (size_t i = 0; i < after.size(); ++i) {
      EXPECT_EQ(after[i].value, before[i].value == "keep" ? "keep" : c.replacement);
      EXPECT_EQ(after[i].quote, before[i].quote);
    }
  }
}

}  // namespace
}  // namespace lorvex
