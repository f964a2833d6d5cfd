// html-tokens FILE...: the start tags that the HTML tokenizer reads in each FILE and the raw text
// it reads after them, one line each, and a line "." after each file's lines, for the comparison
// with html5lib and Chromium (tests/cli/test_html_tokens.py). A tag line is the tag's name and
// then, per attribute, a tab and name=value with the value decoded. A raw-text line is "~", a
// letter (R raw text, C RCDATA, P plaintext), a tab and the text as the tree gets it: line
// breaks as LF, a NUL as U+FFFD, references of RCDATA decoded. Bytes outside " " to "~", and "\"
// and "=", are written as \xHH, so a line holds one token whatever its text.
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

// Raw text as the tree gets it: CR LF and CR as LF, NUL as U+FFFD.
std::string RawAsRead(std::string_view raw) {
  std::string out;
  for (size_t i = 0; i < raw.size(); ++i) {
    if (raw[i] == '\r') {
      out += '\n';
      if (i + 1 < raw.size() && raw[i + 1] == '\n') ++i;
    } else if (raw[i] == '\0') {
      out += "\xEF\xBF\xBD";
    } else {
      out += raw[i];
    }
  }
  return out;
}

std::string TokenLines(std::string_view text) {
  std::string out;
  for (const lorvex::HtmlToken& token : lorvex::TokenizeHtml(text)) {
    if (token.kind == lorvex::HtmlTokenKind::RawText) {
      const std::string_view raw =
          text.substr(token.contentBegin, token.contentEnd - token.contentBegin);
      switch (token.rawKind) {
        case lorvex::HtmlContent::RcData:
          out += "~C\t";
          PutEscaped(out, lorvex::DecodeHtmlText(raw, false).text);
          break;
        case lorvex::HtmlContent::PlainText:
          out += "~P\t";
          PutEscaped(out, RawAsRead(raw));
          break;
        default:
          out += "~R\t";
          PutEscaped(out, RawAsRead(raw));
          break;
      }
      out += '\n';
      continue;
    }
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
    std::string out = TokenLines(text);
    out += ".\n";
    std::fwrite(out.data(), 1, out.size(), stdout);
  }
  return 0;
}
