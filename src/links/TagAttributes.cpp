#include "links/TagAttributes.h"

#include "util/Ascii.h"
#include "util/Strings.h"

namespace lorvex {

namespace {

constexpr bool IsHtmlSpace(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f';
}

// UTF-8 for a code point from a numeric reference; the text's own bytes are never re-encoded,
// but a reference has no byte form of its own.
void AppendCodePoint(std::string& out, unsigned long cp) {
  if (cp == 0 || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = 0xFFFD;
  if (cp < 0x80) {
    out.push_back(char(cp));
  } else if (cp < 0x800) {
    out.push_back(char(0xC0 | (cp >> 6)));
    out.push_back(char(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(char(0xE0 | (cp >> 12)));
    out.push_back(char(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(char(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(char(0xF0 | (cp >> 18)));
    out.push_back(char(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(char(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(char(0x80 | (cp & 0x3F)));
  }
}

// The length of the reference at text[0] ("&...;") and its decoded bytes; 0 when there is none.
size_t ReadReference(std::string_view text, std::string& decoded) {
  if (text.size() < 3 || text[0] != '&') return 0;
  const size_t semicolon = text.find(';', 1);
  constexpr size_t kLongestReference = 12;
  if (semicolon == std::string_view::npos || semicolon > kLongestReference) return 0;
  std::string_view body = text.substr(1, semicolon - 1);
  if (body.size() >= 2 && body[0] == '#') {
    const bool hex = body[1] == 'x' || body[1] == 'X';
    std::string_view digits = body.substr(hex ? 2 : 1);
    if (digits.empty()) return 0;
    unsigned long cp = 0;
    for (char c : digits) {
      const int value = hex ? AsciiHexValue(c) : (IsAsciiDigit(c) ? c - '0' : -1);
      if (value < 0) return 0;
      cp = cp * (hex ? 16 : 10) + unsigned(value);
      if (cp > 0x10FFFF) cp = 0x110000;  // stays out of range without overflowing
    }
    AppendCodePoint(decoded, cp);
    return semicolon + 1;
  }
  static constexpr std::pair<std::string_view, char> kNamed[] = {
      {"amp", '&'}, {"quot", '"'}, {"apos", '\''}, {"lt", '<'}, {"gt", '>'}};
  for (const auto& [name, c] : kNamed)
    if (body == name) {
      decoded.push_back(c);
      return semicolon + 1;
    }
  return 0;
}

}  // namespace

std::vector<HtmlAttribute> ReadTagAttributes(std::string_view tag) {
  std::vector<HtmlAttribute> attributes;
  size_t i = 1;  // after "<"
  while (i < tag.size() && !IsHtmlSpace(tag[i]) && tag[i] != '/' && tag[i] != '>') ++i;
  const size_t end = tag.size() && tag.back() == '>' ? tag.size() - 1 : tag.size();
  while (i < end) {
    while (i < end && (IsHtmlSpace(tag[i]) || tag[i] == '/')) ++i;
    if (i >= end) break;
    HtmlAttribute attribute;
    const size_t nameStart = i;
    ++i;  // a name's first character may be "="
    while (i < end && !IsHtmlSpace(tag[i]) && tag[i] != '/' && tag[i] != '=') ++i;
    attribute.name = tag.substr(nameStart, i - nameStart);
    size_t j = i;
    while (j < end && IsHtmlSpace(tag[j])) ++j;
    if (j < end && tag[j] == '=') {
      ++j;
      while (j < end && IsHtmlSpace(tag[j])) ++j;
      if (j < end && (tag[j] == '"' || tag[j] == '\'')) {
        attribute.quote = tag[j];
        const size_t close = tag.find(attribute.quote, j + 1);
        const size_t valueEnd = close == std::string_view::npos || close > end ? end : close;
        attribute.valueOffset = j + 1;
        attribute.value = tag.substr(j + 1, valueEnd - j - 1);
        i = valueEnd + 1;
      } else {
        size_t valueEnd = j;
        while (valueEnd < end && !IsHtmlSpace(tag[valueEnd])) ++valueEnd;
        attribute.valueOffset = j;
        attribute.value = tag.substr(j, valueEnd - j);
        i = valueEnd;
      }
    } else {
      attribute.valueOffset = i;
    }
    attributes.push_back(attribute);
  }
  return attributes;
}

const HtmlAttribute* FindAttribute(const std::vector<HtmlAttribute>& attributes,
                                   std::string_view name) {
  for (const HtmlAttribute& attribute : attributes)
    if (EqualsIgnoreCase(attribute.name, name)) return &attribute;
  return nullptr;
}

DecodedText DecodeCharacterReferences(std::string_view raw) {
  DecodedText out;
  out.text.reserve(raw.size());
  out.rawOffset.reserve(raw.size() + 1);
  for (size_t i = 0; i < raw.size();) {
    std::string decoded;
    const size_t length = raw[i] == '&' ? ReadReference(raw.substr(i), decoded) : 0;
    if (length == 0) {
      out.text.push_back(raw[i]);
      out.rawOffset.push_back(i);
      ++i;
      continue;
    }
    for (char c : decoded) {
      out.text.push_back(c);
      out.rawOffset.push_back(i);
    }
    i += length;
  }
  out.rawOffset.push_back(raw.size());
  return out;
}

std::string EscapeAttributeText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&#39;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      default:
        out.push_back(c);
    }
  }
  return out;
}

std::vector<SrcsetCandidate> SplitSrcset(std::string_view srcset) {
  std::vector<SrcsetCandidate> candidates;
  size_t i = 0;
  while (i < srcset.size()) {
    while (i < srcset.size() && (IsHtmlSpace(srcset[i]) || srcset[i] == ',')) ++i;
    if (i >= srcset.size()) break;
    const size_t start = i;
    while (i < srcset.size() && !IsHtmlSpace(srcset[i])) ++i;
    size_t end = i;
    if (srcset[end - 1] == ',') {
      // Commas at the end of the URL separate it from the next candidate.
      while (end > start && srcset[end - 1] == ',') --end;
    } else {
      // Descriptors up to the next comma outside parentheses.
      int depth = 0;
      while (i < srcset.size() && (depth > 0 || srcset[i] != ',')) {
        if (srcset[i] == '(') ++depth;
        if (srcset[i] == ')' && depth > 0) --depth;
        ++i;
      }
    }
    if (end > start) candidates.push_back({start, end - start});
  }
  return candidates;
}

}  // namespace lorvex
