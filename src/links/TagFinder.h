// Finding tags in a page: the one tag finder of the link passes.
#pragma once

#include <cstddef>
#include <string_view>

#include "util/Ascii.h"

namespace lorvex {

// A byte that ends a tag name or an unquoted attribute value of the tags' own reader.
constexpr bool IsNameEnd(char c) {
  return c == '\r' || c == '\n' || c == ' ' || c == '"' || c == '\'' || c == '<' || c == '>';
}

// The name of a tag text ("<name ...>"): from its second byte up to the first byte that ends
// a name. A tab does not end it ("<img\tsrc=..." is named "img\tsrc=...").
inline std::string_view TagName(std::string_view tag) {
  size_t end = 1;
  while (end < tag.size() && !IsNameEnd(tag[end])) ++end;
  return tag.substr(1, end - 1);
}

// A byte that may stand between an "=" and the quote that opens its value.
constexpr bool IsValueLeadSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// Steps through a start tag's text as the tag finder reads it. Next(i) is the position after
// byte i: past the closing quote when i is an "=" that opens a quoted value (spaces, tabs, CR
// and LF may stand between them), or npos when that quote never closes. An "=" inside an
// unquoted value (which runs to the next space, tab, CR or LF) opens nothing.
class StartTagWalk {
 public:
  explicit StartTagWalk(std::string_view text) : text_(text) {}

  size_t Next(size_t i) {
    const char c = text_[i];
    if (c == '=' && !unquoted_) {
      size_t v = i + 1;
      while (v < text_.size() && IsValueLeadSpace(text_[v])) ++v;
      if (v < text_.size() && (text_[v] == '"' || text_[v] == '\'')) {
        const size_t close = text_.find(text_[v], v + 1);
        return close == std::string_view::npos ? close : close + 1;
      }
      unquoted_ = true;
      unquotedStart_ = v;
    } else if (unquoted_ && i >= unquotedStart_ && IsValueLeadSpace(c)) {
      unquoted_ = false;
    }
    return i + 1;
  }

 private:
  std::string_view text_;
  bool unquoted_ = false;
  size_t unquotedStart_ = 0;
};

// Finding tags, shared by both passes. A position P runs over every character but the last;
// at a "<" the characters after it are examined to the end of the text: the first ">" ends
// the tag; a "<" before any ">" means no tag, and scanning resumes after that second "<"
// (which is never a tag start itself). With neither there is no tag at P.
//
// In a start tag ("<" and an ASCII letter), a value that opens with a quote after "=" runs to
// the same quote: a "<" or ">" inside it belongs to the value. An "=" inside an unquoted value
// (up to the next space, tab, CR or LF) opens nothing. A quote that never closes means no tag.
//
// onTag(start, end) gets the 0-based positions of "<" and ">" and returns where to resume.
template <typename OnTag>
void ForEachTag(std::string_view text, OnTag onTag) {
  const size_t length = text.size();
  size_t p = 0;
  while (p + 1 < length) {
    p = text.find('<', p);
    if (p == std::string_view::npos || p + 1 >= length) return;
    // In a start tag ("<" and an ASCII letter) quoted values are stepped over whole.
    const bool startTag = IsAsciiAlpha(text[p + 1]);
    StartTagWalk walk(text.substr(p));
    size_t q = p + 1;
    while (q < length && text[q] != '<' && text[q] != '>') {
      if (!startTag) {
        ++q;
        continue;
      }
      const size_t next = walk.Next(q - p);
      q = next == std::string_view::npos ? length : p + next;
    }
    if (q >= length) {
      ++p;
    } else if (text[q] == '<') {
      p = q + 1;
    } else {
      p = onTag(p, q);
    }
  }
}

}  // namespace lorvex
