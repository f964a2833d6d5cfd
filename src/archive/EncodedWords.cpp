#include "archive/EncodedWords.h"

#include "archive/Base64.h"
#include "util/Ascii.h"
#include "util/ByteSink.h"
#include "util/Strings.h"

namespace lorvex {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsWordText(char c) { return c > ' ' && c < 127 && c != '?'; }

struct EncodedWord {
  std::string_view charset;  // the language suffix taken off
  std::string bytes;         // decoded
  size_t end = 0;            // the position after "?="
};

bool DecodeQ(std::string_view text, std::string& bytes) {
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '_') {
      bytes += ' ';
    } else if (text[i] == '=') {
      if (i + 2 >= text.size()) return false;
      const int high = AsciiHexValue(text[i + 1]), low = AsciiHexValue(text[i + 2]);
      if (high < 0 || low < 0) return false;
      bytes += static_cast<char>(high * 16 + low);
      i += 2;
    } else {
      bytes += text[i];
    }
  }
  return true;
}

bool DecodeB(std::string_view text, std::string& bytes) {
  size_t data = text.size();
  while (data > 0 && text[data - 1] == '=') --data;
  // At most two padding characters, and only where they complete the last quantum.
  if (text.size() - data > 2 || (text.size() != data && text.size() % 4 != 0) || data % 4 == 1)
    return false;
  for (char c : text.substr(0, data))
    if (Base64DecodeTable[static_cast<unsigned char>(c)] == kBase64Skip) return false;
  StringSink sink;
  Base64DecodeText(text.substr(0, data), sink);
  bytes = sink.Text();
  return true;
}

// The encoded word that begins at pos ("=?"), or false when the text there is none.
bool ParseWord(std::string_view text, size_t pos, EncodedWord& word) {
  size_t q1 = text.find('?', pos + 2);
  if (q1 == std::string_view::npos || q1 == pos + 2) return false;
  std::string_view charset = text.substr(pos + 2, q1 - pos - 2);
  for (char c : charset)
    if (!IsWordText(c)) return false;
  charset = charset.substr(0, charset.find('*'));
  if (charset.empty() || q1 + 2 >= text.size() || text[q1 + 2] != '?') return false;
  const char encoding = AsciiUpper(text[q1 + 1]);
  const size_t start = q1 + 3;
  size_t close = start;
  while (close < text.size() && IsWordText(text[close])) ++close;
  if (close + 1 >= text.size() || text[close] != '?' || text[close + 1] != '=') return false;
  const std::string_view encoded = text.substr(start, close - start);
  word.charset = charset;
  word.bytes.clear();
  word.end = close + 2;
  if (encoding == 'Q') return DecodeQ(encoded, word.bytes);
  if (encoding == 'B') return DecodeB(encoded, word.bytes);
  return false;
}

}  // namespace

bool DecodeEncodedWords(std::string_view text, const TCharsetConversion& convert,
                        std::string& out) {
  out.clear();
  // The run of adjacent words not yet converted, all in one character set, and the blanks
  // seen after it, which are dropped when another word follows.
  std::string_view runCharset;
  std::string run, blanks, converted;
  bool inRun = false;
  auto flush = [&] {
    if (!inRun) return true;
    inRun = false;
    if (!convert(runCharset, run, converted)) return false;
    out += converted;
    run.clear();
    return true;
  };
  EncodedWord word;
  for (size_t pos = 0; pos < text.size();) {
    if (text.compare(pos, 2, "=?") == 0 && ParseWord(text, pos, word)) {
      if (inRun && !EqualsIgnoreCase(runCharset, word.charset) && !flush()) return false;
      blanks.clear();
      if (!inRun) {
        inRun = true;
        runCharset = word.charset;
      }
      run += word.bytes;
      pos = word.end;
      continue;
    }
    if (inRun && IsBlank(text[pos])) {
      blanks += text[pos++];
      continue;
    }
    if (!flush()) return false;
    out += blanks;
    blanks.clear();
    out += text[pos++];
  }
  if (!flush()) return false;
  out += blanks;
  return true;
}

}  // namespace lorvex
