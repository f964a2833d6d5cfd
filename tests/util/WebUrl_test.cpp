// URLs of the web as a browser parses them: a table of the cases pages meet, and random
// references compared with Node.js's URL class, an independent parser of the same standard.
#include "util/WebUrl.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "support/TempFolder.h"

namespace lorvex {
namespace {

struct Case {
  std::string input, base;
  const char* href;  // null: refused
};

TEST(WebUrl, ParsesAsABrowserDoes) {
  const Case cases[] = {
      // Escapes stay as written; what a URL cannot hold is encoded by the part it is in.
      {"a%2541.png", "http://h/d/p.htm", "http://h/d/a%2541.png"},
      {"search?q=a%26b&r=1", "http://h/d/p.htm", "http://h/d/search?q=a%26b&r=1"},
      {"my%20page.htm", "http://h/", "http://h/my%20page.htm"},
      {"my page.htm?a b#c d", "http://h/", "http://h/my%20page.htm?a%20b#c%20d"},
      {"a\"<>`{}^|.png", "http://h/", "http://h/a%22%3C%3E%60%7B%7D^|.png"},
      {"?'\"`{", "http://h/p", "http://h/p?%27%22`{"},
      {"#'\"`{", "http://h/p?q", "http://h/p?q#'%22%60{"},
      {"caf\xC3\xA9.png", "http://h/", "http://h/caf%C3%A9.png"},
      {"100%zz%4", "http://h/", "http://h/100%zz%4"},
      // Dot segments, also escaped, and ".." above the root staying there.
      {"d/../../../root.png", "http://h/d/up.htm", "http://h/root.png"},
      {"../../x/../root2.png", "http://h/d/up.htm", "http://h/root2.png"},
      {"%2e%2E/x/./.%2e/y", "http://h/a/b/c", "http://h/a/y"},
      {"..", "http://h/a/b", "http://h/"},
      {".", "http://h/a/b", "http://h/a/"},
      {"a/..%2f", "http://h/", "http://h/a/..%2f"},
      // Backslashes are slashes; tabs and line breaks vanish, blanks at the ends go.
      {"\\\\x\\y\\z.png", "http://h/", "http://x/y/z.png"},
      {"..\\img\\a.png", "http://h/d/e/p.htm", "http://h/d/img/a.png"},
      {" \t im\ng.p\rng \x01", "http://h/", "http://h/img.png"},
      // Relative forms.
      {"", "http://h/a?q#f", "http://h/a?q"},
      {"?x", "http://h/a?q#f", "http://h/a?x"},
      {"#x", "http://h/a?q", "http://h/a?q#x"},
      {"/r", "http://u:p@h:81/a/b", "http://u:p@h:81/r"},
      {"//other/x", "https://h/a", "https://other/x"},
      {"http:foo", "http://h/d/", "http://h/d/foo"},
      {"http:/foo", "http://h/d/", "http://h/foo"},
      {"https:foo", "http://h/d/", "https://foo/"},
      {"HTTP://H:80/", "", "http://h/"},
      {"ftp://h:21/a", "", "ftp://h/a"},
      {"http://h:0080/", "", "http://h/"},
      {"https://h:80/", "", "https://h:80/"},
      // Hosts: names folded and decoded, addresses in their one form.
      {"http://Ex%41mple.COM./", "", "http://example.com./"},
      {"http://0x7f.1/", "", "http://127.0.0.1/"},
      {"http://1.2.3.4.5/", "", nullptr},
      {"http://4294967295/", "", "http://255.255.255.255/"},
      {"http://4294967296/", "", nullptr},
      {"http://[0:0:0:0:0:0:0:1]/", "", "http://[::1]/"},
      {"http://[1:0:0:2:0:0:0:3]/", "", "http://[1:0:0:2::3]/"},
      {"http://[::ffff:1.2.3.4]/", "", "http://[::ffff:102:304]/"},
      {"http://[1::2::3]/", "", nullptr},
      {"http://\xC3\x89xample.com/", "", "http://xn--xample-9ua.com/"},
      {"http://\xE4\xB8\xAD\xE6\x96\x87.cn/", "", "http://xn--fiq228c.cn/"},
      {"http://a@b@h/", "", "http://a%40b@h/"},
      // Refused: no host, a forbidden byte, a bad port; other schemes are not this parser's.
      {"http://a b/", "", nullptr},
      {"http://a%20b/", "", nullptr},
      {"http://h:65536/", "", nullptr},
      {"http://h:8x/", "", nullptr},
      {"http:///", "", nullptr},
      {"http://u@/", "", nullptr},
      {"x.png", "", nullptr},
      {"mailto:a@b", "http://h/", nullptr},
      {"c:\\x.png", "http://h/", nullptr},
  };
  for (const Case& c : cases) {
    std::optional<WebUrl> base;
    if (!c.base.empty()) base = ParseWebUrl(c.base);
    const std::optional<std::string> href = WebUrlHref(c.input, base ? &*base : nullptr);
    if (c.href)
      EXPECT_EQ(href.value_or("(refused)"), c.href) << c.input << " on " << c.base;
    else
      EXPECT_FALSE(href) << c.input << " on " << c.base << " gave " << *href;
  }
}

TEST(WebUrl, QueryBytesStandAsTheDocumentWroteThem) {
  // A windows-1252 document's query keeps its own bytes, escaped; its path is UTF-8.
  const std::optional<WebUrl> base = ParseWebUrl("http://h/d/");
  EXPECT_EQ(WebUrlHref("caf\xC3\xA9?q=caf\xE9#caf\xC3\xA9", &*base),
            "http://h/d/caf%C3%A9?q=caf%E9#caf%C3%A9");
}

// ---- Random references against Node.js.

std::string RandomPiece(std::mt19937& random) {
  static const std::vector<std::string> pieces = {"a",       "B",        "/",
                                                  "\\",      ".",        "..",
                                                  "%2e",     "%2E%2e",   "%25",
                                                  "%41",     "%",        "%z",
                                                  "?",       "#",        "&",
                                                  "=",       " ",        "\t",
                                                  "\"",      "'",        "<",
                                                  ">",       "`",        "{",
                                                  "}",       "^",        "|",
                                                  ":",       "@",        "[",
                                                  "]",       "\xC3\xA9", "\xE4\xB8\xAD",
                                                  "x.png",   "../",      "./",
                                                  "//",      "http:",    "https:",
                                                  "HTTP://", "ftp://",   "//h2",
                                                  ":8080",   ":443",     ":0x",
                                                  "0x7f",    "1.2",      "[::1]",
                                                  "u:p@",    "\x01",     "\n",
                                                  "~",       ";",        ",",
                                                  "+",       "$",        "!",
                                                  "*",       "(",        ")",
                                                  "%2F",     "%5C",      "%00"};
  return pieces[random() % pieces.size()];
}

std::string Hex(std::string_view bytes) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out;
  for (unsigned char c : bytes) {
    out.push_back(kHex[c >> 4]);
    out.push_back(kHex[c & 15]);
  }
  return out.empty() ? "-" : out;
}

TEST(WebUrl, RandomReferencesAsNodeParsesThem) {
#ifdef _WIN32
  GTEST_SKIP() << "Node.js runs on the native build";
#else
  if (std::system("node --version >/dev/null 2>&1") != 0) GTEST_SKIP() << "no node";
  const std::vector<std::string> bases = {
      "http://h/",
      "http://h/d/e/page.htm?q=1#f",
      "https://user:pw@example.com:8443/a/b",
      "ftp://f/dir/",
      "http://[::1]/x/y",
      "http://1.2.3.4/",
  };
  std::mt19937 random(34);
  struct Row {
    std::string input, base;
  };
  std::vector<Row> rows;
  for (int i = 0; i < 4000; ++i) {
    std::string input;
    const int pieces = 1 + int(random() % 8);
    for (int k = 0; k < pieces; ++k) input += RandomPiece(random);
    rows.push_back({input, bases[random() % bases.size()]});
  }
  support::TempFolder folder;
  const std::string inputs = folder.path() + "/inputs", script = folder.path() + "/parse.js";
  {
    std::ofstream out(inputs, std::ios::binary);
    for (const Row& row : rows) out << Hex(row.input) << ' ' << Hex(row.base) << '\n';
    std::ofstream js(script);
    js << "const fs = require('fs');\n"
          "const unhex = h => h === '-' ? '' : Buffer.from(h, 'hex').toString('utf8');\n"
          "for (const line of fs.readFileSync(process.argv[2], 'utf8').split('\\n')) {\n"
          "  if (!line) continue;\n"
          "  const [i, b] = line.split(' ');\n"
          "  let out = '!';\n"
          "  try {\n"
          "    const u = new URL(unhex(i), unhex(b));\n"
          "    if (/^(https?|ftp|wss?):$/.test(u.protocol))\n"
          "      out = Buffer.from(u.href, 'utf8').toString('hex');\n"
          "  } catch (e) {}\n"
          "  console.log(out);\n"
          "}\n";
  }
  FILE* pipe = popen(("node '" + script + "' '" + inputs + "'").c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::string answers;
  char buffer[4096];
  for (size_t got; (got = fread(buffer, 1, sizeof buffer, pipe)) > 0;) answers.append(buffer, got);
  ASSERT_EQ(pclose(pipe), 0);
  std::istringstream lines(answers);
  std::string line;
  size_t i = 0, failures = 0;
  for (; std::getline(lines, line) && i < rows.size(); ++i) {
    const std::optional<WebUrl> base = ParseWebUrl(rows[i].base);
    ASSERT_TRUE(base) << rows[i].base;
    const std::optional<std::string> href = WebUrlHref(rows[i].input, &*base);
    const std::string ours = href ? Hex(*href) : "!";
    if (ours != line && ++failures <= 20)
      ADD_FAILURE() << "input " << rows[i].input << " on " << rows[i].base << ": ours "
                    << (href ? *href : "(refused)") << ", node's hex " << line;
  }
  EXPECT_EQ(i, rows.size());
  EXPECT_EQ(failures, 0u);
#endif
}

}  // namespace
}  // namespace lorvex
