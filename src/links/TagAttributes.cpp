#include "links/TagAttributes.h"

#include "util/Ascii.h"
#include "util/Strings.h"

namespace lorvex {

namespace {

constexpr bool IsHtmlSpace(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f';
}

}  // namespace

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
