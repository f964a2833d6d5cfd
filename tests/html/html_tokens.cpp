// html-tokens FILE...: the start tags that the HTML tokenizer reads in each FILE, one line each,
// and a line "." after each file's tags (a tag line starts with a letter), for the comparison with
// html5lib (tests/cli/test_html_tokens.py). A line is the tag's name and then, per attribute, a tab
// and name=value with the value decoded. Bytes outside " " to "~", and "\" and "=", are written as
// \xHH, so a line holds one tag whatever its text.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "html/HtmlTokenizer.h"

namespace {

void PutEscaped(std::string& line, std::string_view bytes) {
  for (unsigned char c : bytes) {
    if (c < 0x20 || c > 0x7E || c == '\\' || c == '=') {
      char hex[5];
      std::snprintf(hex, sizeof hex, "\\x%02X", c);
      line += hex;
    } else {
      line.push_back(char(c));
    }
  }
}

std::string TagLines(std::string_view text) {
  std::string out;
  for (const lorvex::HtmlToken& token : lorvex::TokenizeHtml(text)) {
    if (token.kind != lorvex::HtmlTokenKind::StartTag) continue;
    PutEscaped(out, token.name);
    for (const lorvex::HtmlTagAttribute& attribute : token.attributes) {
      out += '\t';
      PutEscaped(out, attribute.name);
      out += '=';
      PutEscaped(out, attribute.value.text);
    }
    out += '\n';
  }
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fputs("usage: html-tokens FILE...\n", stderr);
    return 2;
  }
  for (int i = 1; i < argc; ++i) {
    std::ifstream file(argv[i], std::ios::binary);
    if (!file) {
      std::fprintf(stderr, "html-tokens: cannot read %s\n", argv[i]);
      return 1;
    }
    const std::string text{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    std::string out = TagLines(text);
    out += ".\n";
    std::fwrite(out.data(), 1, out.size(), stdout);
  }
  return 0;
}
