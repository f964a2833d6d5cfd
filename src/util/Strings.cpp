#include "util/Strings.h"

#include <unordered_set>

#include "util/ByteScan.h"

namespace lorvex {

std::string AsciiLowerCase(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = AsciiLower(c);
  return out;
}

std::string AsciiUpperCase(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = AsciiUpper(c);
  return out;
}

std::string_view Trim(std::string_view text) {
  size_t begin = 0, end = text.size();
  while (begin < end && static_cast<unsigned char>(text[begin]) <= 32) ++begin;
  while (end > begin && static_cast<unsigned char>(text[end - 1]) <= 32) --end;
  return text.substr(begin, end - begin);
}

namespace {
// Calls line(view) for every line of text, split at CR, LF or CR LF.
// Each line break is found with FindEitherByte, which looks for CR and LF together eight
// bytes at a time, so every byte is examined once whatever the line-break style.
template <typename OnLine>
void ForEachLine(std::string_view text, OnLine line) {
  const size_t n = text.size();
  size_t start = 0;
  while (start < n) {
    size_t pos = FindEitherByte(text.data(), start, n, '\r', '\n');
    line(text.substr(start, pos - start));
    if (pos < n) pos += (text[pos] == '\r' && pos + 1 < n && text[pos + 1] == '\n') ? 2 : 1;
    start = pos;
  }
}
}  // namespace

StringList SplitLines(std::string_view text) {
  StringList lines;
  ForEachLine(text, [&](std::string_view line) { lines.emplace_back(line); });
  return lines;
}

std::string JoinLines(const StringList& lines) {
  size_t total = 0;
  for (const auto& line : lines) total += line.size() + 2;
  std::string text;
  text.reserve(total);
  for (const auto& line : lines) {
    text += line;
    text += "\r\n";
  }
  return text;
}

void LineBreakNormalizer::Append(std::string_view piece) {
  if (piece.empty()) return;
  if (skipLineFeed_ && piece.front() == '\n') piece.remove_prefix(1);
  skipLineFeed_ = false;
  // Runs that already use CR LF are copied whole; only lone CR or LF breaks are rewritten.
  const size_t n = piece.size();
  size_t runStart = 0, pos = 0;
  for (;;) {
    pos = FindEitherByte(piece.data(), pos, n, '\r', '\n');
    if (pos == n) break;
    if (piece[pos] == '\r' && pos + 1 < n && piece[pos + 1] == '\n') {
      pos += 2;
      continue;
    }
    out_.append(piece.substr(runStart, pos - runStart));
    out_.append("\r\n", 2);
    skipLineFeed_ = piece[pos] == '\r' && pos + 1 == n;
    runStart = ++pos;
  }
  out_.append(piece.substr(runStart));
  if (runStart < n)
    openLine_ = piece.back() != '\n';
  else
    openLine_ = false;
}

void LineBreakNormalizer::Finish() {
  if (openLine_) out_.append("\r\n", 2);
  openLine_ = skipLineFeed_ = false;
}

std::string NormalizeLineBreaks(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 2);
  LineBreakNormalizer normalizer(out);
  normalizer.Append(text);
  normalizer.Finish();
  return out;
}

}  // namespace lorvex

namespace lorvex {

std::string ReplaceAllText(std::string_view text, std::string_view find,
                           std::string_view replacement) {
  std::string out(text);
  if (find.empty()) return out;
  const bool selfContaining = replacement.find(find) != std::string_view::npos;
  size_t from = 0;
  for (;;) {
    size_t at = out.find(find, from);
    if (at == std::string::npos) return out;
    out.replace(at, find.size(), replacement);
    // Nothing before `at` matched; only an occurrence reaching into the replacement is new.
    from = selfContaining ? at + replacement.size()
                          : (at >= find.size() - 1 ? at - (find.size() - 1) : 0);
  }
}

int FirstNonSpace(std::string_view text) {
  for (size_t i = 0; i < text.size(); ++i)
    if (text[i] != ' ') return static_cast<int>(i + 1);
  return -1;
}

void TrimLines(StringList& lines) {
  for (std::string& line : lines) {
    std::string_view trimmed = Trim(line);
    if (trimmed.size() != line.size()) line = std::string(trimmed);
  }
}

void RemoveDuplicateLines(StringList& lines) {
  std::vector<bool> keep(lines.size());
  {
    std::unordered_set<std::string_view> seen;
    seen.reserve(lines.size());
    for (size_t i = 0; i < lines.size(); ++i) keep[i] = seen.insert(lines[i]).second;
  }
  size_t out = 0;
  for (size_t i = 0; i < lines.size(); ++i)
    if (keep[i]) {
      if (out != i) lines[out] = std::move(lines[i]);
      ++out;
    }
  lines.resize(out);
}

}  // namespace lorvex
