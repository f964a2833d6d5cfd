// Conventions of this scanner:
// - Input and output are 8-bit bytes. Every byte at which the text is cut is ASCII below
//   0x40, so a double-byte character (second byte >= 0x40) is never split.
// - Tokens are string_views into the input; nothing is copied until it reaches the output.
// - Case is folded for the ASCII letters only and only to compare.
// - The text is walked once: every token advances the position by its length, and a script
//   is skipped byte by byte without rescanning, so the work is linear in the input.
#include "text/HTMLtoText.h"

#include <algorithm>
#include <cstring>

#include "platform/Platform.h"
#include "util/ByteScan.h"
#include "util/Strings.h"

namespace lorvex {

namespace {

constexpr std::string_view kMiddleDot = "\xA1\xA4";  // "·" in code page 936
constexpr size_t kHorizontalRuleWidth = 40;

size_t FindByte(std::string_view text, size_t from, char byte) {
  if (from >= text.size()) return text.size();
  const void* hit = std::memchr(text.data() + from, byte, text.size() - from);
  return hit ? size_t(static_cast<const char*>(hit) - text.data()) : text.size();
}

// An entity runs until CR, space, "&" or "<" (not taken), a ";" (taken) or the end.
size_t EntityLength(std::string_view text, size_t pos) {
  size_t end = pos + 1;
  while (end < text.size()) {
    char c = text[end];
    if (c == '\r' || c == ' ' || c == '&' || c == '<') break;
    ++end;
    if (c == ';') break;
  }
  return end - pos;
}

// Plain text runs until the next "&" or "<".
size_t TextLength(std::string_view text, size_t pos) {
  return FindEitherByte(text.data(), pos, text.size(), '&', '<') - pos;
}

void AppendEntity(std::string_view token, std::string& out) {
  char buffer[8];
  if (token.size() > sizeof buffer) return;  // longer than every known entity
  for (size_t i = 0; i < token.size(); ++i) buffer[i] = AsciiLower(token[i]);
  const std::string_view lower(buffer, token.size());
  if (lower == "&nbsp;")
    out += ' ';
  else if (lower == "&quot;")
    out += '"';
  else if (lower == "&gt;")
    out += '>';
  else if (lower == "&lt;")
    out += '<';
  else if (lower == "&middot;")
    out += kMiddleDot;
  else if (lower == "&trade;")
    out += " TM ";
  else if (lower == "&copy;")
    out += "(c)";
  else if (lower == "&amp;" || lower == "&amp")
    out += '&';
}

// Text outside preformatted sections loses every CR LF pair; lone CR or LF stays.
void AppendText(std::string_view token, bool preformatted, std::string& out) {
  if (preformatted) {
    out.append(token);
    return;
  }
  size_t start = 0;
  for (;;) {
    size_t cr = FindByte(token, start, '\r');
    if (cr + 1 >= token.size()) {
      out.append(token.substr(start));
      return;
    }
    if (token[cr + 1] == '\n') {
      out.append(token.substr(start, cr - start));
      start = cr + 2;
    } else {
      out.append(token.substr(start, cr + 1 - start));
      start = cr + 1;
    }
  }
}

// The state of one conversion.
struct Converter {
  bool showLinks = false;
  bool keepTitle = false;
  bool inPreformatted = false;
  std::string currentLink;
  std::string out;

  // The tag rules, tried in order; dispatching on the second byte keeps that order, since
  // rules with different second bytes never match the same tag.
  void AppendTag(std::string_view tag) {
    if (tag.size() < 2) return;
    auto is = [&](std::string_view s) { return EqualsIgnoreCase(tag, s); };
    auto begins = [&](std::string_view s) { return StartsWithIgnoreCase(tag, s); };
    switch (AsciiLower(tag[1])) {
      case 'b':
        if (is("<br>")) out += "\r\n";
        break;
      case 'p':
        if (begins("<pre"))
          inPreformatted = true, out += "\r\n";
        else
          out += "\r\n\r\n";
        break;
      case 'h':
        if (begins("<hr")) {
          out += "\r\n";
          out.append(kHorizontalRuleWidth, '-');
          out += "\r\n";
        }
        break;
      case 'o':
      case 'u':
        if (begins("<ol") || begins("<ul")) out += "\r\n";
        break;
      case 'l':
        if (begins("<li")) out += kMiddleDot;
        break;
      case 't':
        if (is("<title>"))
          out += "<<";
        else if (begins("<table"))
          out += "\r\n";
        break;
      case '/':
        if (begins("</li") || begins("</tr"))
          out += "\r\n";
        else if (is("</td>"))
          out += '\t';
        else if (is("</title>"))
          out += ">>\r\n\r\n";
        else if (is("</pre>"))
          inPreformatted = false;
        else if (showLinks && is("</a>") && !currentLink.empty()) {
          out += ' ';
          out += currentLink;
          out += " ]";
        }
        break;
      case 'a':
        if (showLinks) {
          currentLink = ExtractAnchorHref(tag);
          if (!currentLink.empty()) out += '[';
        }
        break;
    }
  }

  void AppendToken(std::string_view token) {
    if (token[0] == '&')
      AppendEntity(token, out);
    else if (token[0] == '<')
      AppendTag(token);
    else
      AppendText(token, inPreformatted, out);
  }
};

inline std::string_view TokenAt(std::string_view text, size_t pos) {
  size_t length;
  switch (text[pos]) {
    case '&':
      length = EntityLength(text, pos);
      break;
    case '<': {
      // Most tags are short: look at the first bytes directly before calling memchr.
      const size_t end = text.size();
      size_t close = pos + 1;
      const size_t quickEnd = std::min(end, pos + 24);
      while (close < quickEnd && text[close] != '>') ++close;
      if (close == quickEnd) close = FindByte(text, close, '>');
      length = (close < end ? close + 1 : close) - pos;
      break;
    }
    default:
      length = TextLength(text, pos);
  }
  return text.substr(pos, length);
}

// True for tags that may open a style, title or script block ("<s..." or "<t...").
inline bool MayOpenSkippedBlock(std::string_view token) {
  if (token.size() < 6 || token[0] != '<') return false;
  const char second = AsciiLower(token[1]);
  return second == 's' || second == 't';
}

// Skips tokens from pos until one that equals closing (folded); pos is left on that token.
// False when the text ends first.
bool SkipToClosingTag(std::string_view text, size_t& pos, std::string_view closing) {
  while (pos < text.size()) {
    std::string_view token = TokenAt(text, pos);
    if (EqualsIgnoreCase(token, closing)) return true;
    pos += token.size();
  }
  return false;
}

// Skips a script whose start tag ends at the byte tagEnd - 1. Double quotes hide "<!--"
// inside strings; a comment is jumped over whole. On success pos is left on the "<" of the
// closing "</script>"; false when the script (or a comment in it) never ends.
bool SkipScript(std::string_view text, size_t tagEnd, size_t& pos) {
  const size_t len = text.size();
  size_t q = tagEnd - 1;
  bool inQuote = false;
  while (q + 1 < len) {
    // Only a quote or a "<" can change anything: jump to the next one.
    q = FindEitherByte(text.data(), q + 1, len, '"', '<');
    if (q == len) return false;
    if (text[q] == '"') {
      inQuote = !inQuote;
      continue;
    }
    if (!inQuote && text.compare(q, 4, "<!--") == 0) {
      size_t close = text.find("-->", q + 4);
      if (close == std::string_view::npos) return false;
      q = close + 3;
    }
    if (q + 9 <= len && EqualsIgnoreCase(text.substr(q, 9), "</script>")) {
      pos = q;
      return true;
    }
  }
  return false;
}

}  // namespace

std::string_view NextHtmlToken(std::string_view text, size_t pos) { return TokenAt(text, pos); }

std::string ConvertHTMLToText(std::string_view html, bool showLinks, bool keepTitle) {
  Converter converter;
  converter.showLinks = showLinks;
  converter.keepTitle = keepTitle;
  // Text is usually well under the page's size; room for three quarters of it avoids
  // regrowing (a copy into fresh memory) on most pages without reserving much address space.
  converter.out.reserve(html.size() / 2 + html.size() / 4);
  platform::HintLargeBuffer(converter.out.data(), converter.out.capacity());
  size_t pos = 0;
  while (pos < html.size()) {
    std::string_view token = TokenAt(html, pos);
    // Style, title and script are each tested once, in this order, on the token in hand.
    // Most tokens are ruled out by their first two bytes.
    if (!MayOpenSkippedBlock(token)) {
      pos += token.size();
      converter.AppendToken(token);
      continue;
    }
    if (StartsWithIgnoreCase(token, "<style")) {
      if (!SkipToClosingTag(html, pos, "</style>")) break;
      pos += std::strlen("</style>");
      if (pos >= html.size()) break;
      token = TokenAt(html, pos);
    }
    if (!keepTitle && StartsWithIgnoreCase(token, "<title>")) {
      if (!SkipToClosingTag(html, pos, "</title>")) break;
      pos += std::strlen("</title>");
      if (pos >= html.size()) break;
      token = TokenAt(html, pos);
    }
    if (StartsWithIgnoreCase(token, "<script")) {
      if (!SkipScript(html, pos + token.size(), pos)) break;
      token = TokenAt(html, pos);
    }
    pos += token.size();
    converter.AppendToken(token);
  }
  return std::move(converter.out);
}

std::string ExtractAnchorHref(std::string_view tag) {
  size_t open = tag.find('<');
  if (open == std::string_view::npos) return {};
  std::string_view rest = Trim(tag.substr(open + 1));
  size_t close = rest.find('>');
  if (close == std::string_view::npos) return {};
  std::string_view inside = rest.substr(0, close);
  if (inside.size() < 2 || AsciiUpper(inside[0]) != 'A' || inside[1] != ' ') return {};
  size_t href = AsciiUpperCase(inside).find("HREF");
  if (href == std::string::npos) return {};
  size_t quote1 = inside.find('"');
  if (quote1 == std::string_view::npos || quote1 < href) return {};
  size_t quote2 = inside.find('"', quote1 + 1);
  if (quote2 == std::string_view::npos) quote2 = inside.size();
  std::string_view value = inside.substr(quote1 + 1, quote2 - quote1 - 1);
  // A link inside the page or a script call is not worth showing. The "javascript:" test
  // looks at the 11 bytes after the quote, whatever the closing quote's position.
  if (quote1 + 1 < inside.size() && inside[quote1 + 1] == '#') return {};
  if (inside.compare(quote1 + 1, 11, "javascript:") == 0) return {};
  return std::string(value);
}

}  // namespace lorvex
