// Finding tags in a page: the one tag finder of the link passes.
#pragma once

#include <cstddef>
#include <string_view>

namespace lorvex {

// Finding tags, shared by both passes. A position P runs over every character but the last;
// at a "<" the characters after it are examined up to `margin` characters before the end: the
// first ">" ends the tag; a "<" before any ">" means no tag, and scanning resumes after that
// second "<" (which is never a tag start itself). With neither in range there is no tag at P.
//
// onTag(start, end) gets the 0-based positions of "<" and ">" and returns where to resume.
// The rewriting pass edits only text before its scan point, which moves the end of the text
// and the scan point alike; so "margin characters before the current end" is always the same
// place in the original text, and the margin can be applied to the original.
template <typename OnTag>
void ForEachTag(std::string_view text, size_t margin, OnTag onTag) {
  const size_t length = text.size();
  if (length < 2) return;
  const size_t limit = length > margin ? length - margin : 0;  // first position not examined
  size_t p = 0;
  while (p + 1 < length) {
    p = text.find('<', p);
    if (p == std::string_view::npos || p + 1 >= length) return;
    size_t q = p + 1;
    while (q < limit && text[q] != '<' && text[q] != '>') ++q;
    if (q >= limit) {
      ++p;
    } else if (text[q] == '<') {
      p = q + 1;
    } else {
      p = onTag(p, q);
    }
  }
}

}  // namespace lorvex
