// Byte-string helpers shared by every unit.
//
// Text is bytes in the system's 8-bit code page and is never re-encoded. Case folding
// touches the ASCII letters only, and nothing here consults the C locale. A "string list"
// is a vector of lines; turning text into lines splits at CR, LF or CR LF, and turning lines
// into text puts CR LF after every line, the last one included.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "util/Ascii.h"

namespace lorvex {

using StringList = std::vector<std::string>;

std::string AsciiLowerCase(std::string_view text);
std::string AsciiUpperCase(std::string_view text);

// Whole-text comparison with the ASCII letters folded.
constexpr bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  return true;
}

// True when text begins with prefix, ASCII letters folded; false when text is shorter.
constexpr bool StartsWithIgnoreCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && EqualsIgnoreCase(text.substr(0, prefix.size()), prefix);
}

// Removes every byte of value 32 or less from both ends.
std::string_view Trim(std::string_view text);

// Splits a text into lines at CR, LF or CR LF. A break at the very end adds no empty line.
StringList SplitLines(std::string_view text);
// Every line followed by CR LF, the last one included.
std::string JoinLines(const StringList& lines);
// The same bytes as JoinLines(SplitLines(text)), in one pass and one allocation.
std::string NormalizeLineBreaks(std::string_view text);

// NormalizeLineBreaks for a text that arrives in pieces (a file read in blocks, an output
// written in blocks): appends to out, turning every CR, LF or CR LF into CR LF, and on
// Finish adds the CR LF that ends a last line without a break.
class LineBreakNormalizer {
 public:
  explicit LineBreakNormalizer(std::string& out) : out_(out) {}
  void Append(std::string_view piece);
  void Finish();

 private:
  std::string& out_;
  bool skipLineFeed_ = false;  // the previous piece ended in CR: a leading LF belongs to it
  bool openLine_ = false;      // bytes since the last break
};

// Replaces every occurrence of find by replacement. The result is the same as searching again
// from the beginning after each replacement (a replacement may complete a new occurrence with
// the text before it); the search resumes just far enough back to see such an occurrence.
// A replacement that contains find is applied in one left-to-right pass instead of looping.
std::string ReplaceAllText(std::string_view text, std::string_view find,
                           std::string_view replacement);

// 1-based position of the first byte that is not a space (code 32 only); -1 when there is none.
int FirstNonSpace(std::string_view text);

// Trims every line in place (see Trim).
void TrimLines(StringList& lines);
// Deletes every line that is byte-for-byte equal to an earlier one; the first occurrence stays
// and the kept lines keep their order.
void RemoveDuplicateLines(StringList& lines);

}  // namespace lorvex
