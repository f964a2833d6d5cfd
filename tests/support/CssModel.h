// A slow, literal model of the CSS reference reader (links/CssReferences), shared by its
// differential test and its fuzz target. It does not call the reader.
//
// It works the way the tokenizer rules are written: the text is first preprocessed into a list
// of code points (CR LF, CR and FF become one LF; NUL stands for U+FFFD), each remembering
// which bytes it came from; a tokenizer with "consume", "reconsume" and "peek" turns that list
// into a list of tokens; and a second pass over the tokens picks the references: url tokens,
// the string after a url( function, the string or url after an @import at-keyword (whitespace
// tokens between), and strings directly inside image-set( or -webkit-image-set(.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "links/CssReferences.h"

namespace lorvex::model {

constexpr int kCssEof = -1;

// A code point of the preprocessed text and the bytes it came from. Bytes from 0x80 up stand
// for some non-ASCII code point; NUL stands for U+FFFD; CR LF, CR and FF for one LF.
struct CssCodePoint {
  int cp;
  size_t offset, length;
};

inline std::vector<CssCodePoint> PreprocessCss(std::string_view css) {
  std::vector<CssCodePoint> out;
  for (size_t i = 0; i < css.size(); ++i) {
    const int byte = static_cast<unsigned char>(css[i]);
    const bool crlf = byte == '\r' && i + 1 < css.size() && css[i + 1] == '\n';
    const int cp = byte == '\r' || byte == '\f' ? '\n' : byte == 0 ? 0xFFFD : byte;
    out.push_back({cp, i, crlf ? size_t(2) : size_t(1)});
    i += crlf;
  }
  return out;
}

// Tokens that no reference rule looks at are Other.
enum class CssTokenType {
  Whitespace,
  String,
  BadString,
  Url,
  BadUrl,
  Function,
  AtKeyword,
  Open,
  Close,
  Other,
  End
};

struct CssToken {
  CssTokenType type;
  std::string value = {};  // names, string and url values, decoded
  size_t valueBegin = 0, valueEnd = 0;
  char quote = 0;
};

inline std::string ModelUtf8(unsigned long cp) {
  if (cp < 0x80) return std::string(1, char(cp));
  const int extra = cp < 0x800 ? 1 : cp < 0x10000 ? 2 : 3;
  const unsigned char leads[] = {0, 0xC0, 0xE0, 0xF0};
  std::string out(1, char(leads[extra] | (cp >> (6 * extra))));
  for (int k = extra - 1; k >= 0; --k) out += char(0x80 | ((cp >> (6 * k)) & 0x3F));
  return out;
}

inline bool ModelDigit(int c) { return c >= '0' && c <= '9'; }
inline bool ModelHex(int c) {
  return ModelDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}
inline int ModelHexValue(int c) { return ModelDigit(c) ? c - '0' : (c | 0x20) - 'a' + 10; }
inline bool ModelNewline(int c) { return c == '\n'; }  // after preprocessing
inline bool ModelWhitespace(int c) { return c == '\n' || c == '\t' || c == ' '; }
inline bool ModelIdentStart(int c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c >= 0x80 || c == '_';
}
inline bool ModelIdentChar(int c) { return ModelIdentStart(c) || ModelDigit(c) || c == '-'; }
inline bool ModelNonPrintable(int c) {
  return (c >= 0 && c <= 8) || c == 0x0B || (c >= 0x0E && c <= 0x1F) || c == 0x7F;
}
inline bool ModelValidEscape(int first, int second) {
  return first == '\\' && !ModelNewline(second);
}
inline bool ModelStartsIdent(int first, int second, int third) {
  if (first == '-')
    return ModelIdentStart(second) || second == '-' || ModelValidEscape(second, third);
  return ModelIdentStart(first) || ModelValidEscape(first, second);
}
inline bool ModelStartsNumber(int first, int second, int third) {
  if (first == '+' || first == '-')
    return ModelDigit(second) || (second == '.' && ModelDigit(third));
  return first == '.' ? ModelDigit(second) : ModelDigit(first);
}
inline std::string ModelLower(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = char(c + 32);
  return text;
}

class LiteralCssTokenizer {
 public:
  explicit LiteralCssTokenizer(std::string_view css) : css_(css), in_(PreprocessCss(css)) {}

  std::vector<CssToken> Tokens() {
    std::vector<CssToken> tokens{ConsumeToken()};
    while (tokens.back().type != CssTokenType::End) tokens.push_back(ConsumeToken());
    return tokens;
  }

 private:
  int Peek(size_t k) const { return next_ + k < in_.size() ? in_[next_ + k].cp : kCssEof; }
  int Consume() {
    const int c = Peek(0);
    ++next_;
    return c;
  }
  void Reconsume() { --next_; }
  // The byte offset of code point i; the text's end past the last one.
  size_t Offset(size_t i) const { return i < in_.size() ? in_[i].offset : css_.size(); }
  // The current code point as the text has it (NUL stays NUL).
  std::string CurrentBytes() const {
    const CssCodePoint& p = in_[next_ - 1];
    return std::string(css_.substr(p.offset, p.length));
  }

  void ConsumeComments() {
    while (Peek(0) == '/' && Peek(1) == '*') {
      next_ += 2;
      while (Peek(0) != kCssEof && !(Peek(0) == '*' && Peek(1) == '/')) Consume();
      if (Peek(0) != kCssEof) next_ += 2;
    }
  }

  std::string ConsumeEscaped() {
    const int c = Consume();
    if (c == kCssEof) return ModelUtf8(0xFFFD);
    if (!ModelHex(c)) return CurrentBytes();
    unsigned long value = ModelHexValue(c);
    for (int k = 0; k < 5 && ModelHex(Peek(0)); ++k) value = value * 16 + ModelHexValue(Consume());
    if (ModelWhitespace(Peek(0))) Consume();
    if (value == 0 || (value >= 0xD800 && value <= 0xDFFF) || value > 0x10FFFF) value = 0xFFFD;
    return ModelUtf8(value);
  }

  std::string ConsumeIdentSequence() {
    std::string result;
    for (;;) {
      const int c = Consume();
      if (ModelIdentChar(c)) {
        result += CurrentBytes();
      } else if (ModelValidEscape(c, Peek(0))) {
        result += ConsumeEscaped();
      } else {
        Reconsume();
        return result;
      }
    }
  }

  // A number and its unit or "%"; only where it ends matters.
  void ConsumeNumeric() {
    if (Peek(0) == '+' || Peek(0) == '-') Consume();
    while (ModelDigit(Peek(0))) Consume();
    if (Peek(0) == '.' && ModelDigit(Peek(1)))
      for (next_ += 2; ModelDigit(Peek(0));) Consume();
    const bool sign = Peek(1) == '+' || Peek(1) == '-';
    if ((Peek(0) == 'E' || Peek(0) == 'e') &&
        (ModelDigit(Peek(1)) || (sign && ModelDigit(Peek(2)))))
      for (next_ += sign ? 3 : 2; ModelDigit(Peek(0));) Consume();
    if (ModelStartsIdent(Peek(0), Peek(1), Peek(2)))
      ConsumeIdentSequence();
    else if (Peek(0) == '%')
      Consume();
  }

  CssToken ConsumeString(int ending) {
    CssToken token{CssTokenType::String};
    token.quote = char(ending);
    token.valueBegin = Offset(next_);
    for (;;) {
      const int c = Consume();
      if (c == ending || c == kCssEof) {
        token.valueEnd = Offset(next_ - 1);
        return token;
      }
      if (ModelNewline(c)) {
        Reconsume();
        return {CssTokenType::BadString};
      }
      if (c != '\\')
        token.value += CurrentBytes();
      else if (ModelNewline(Peek(0)))
        Consume();
      else if (Peek(0) != kCssEof)
        token.value += ConsumeEscaped();
    }
  }

  CssToken ConsumeBadUrlRemnants() {
    for (;;) {
      const int c = Consume();
      if (c == ')' || c == kCssEof) return {CssTokenType::BadUrl};
      if (ModelValidEscape(c, Peek(0))) ConsumeEscaped();
    }
  }

  CssToken ConsumeUrl() {
    CssToken token{CssTokenType::Url};
    while (ModelWhitespace(Peek(0))) Consume();
    token.valueBegin = Offset(next_);
    for (;;) {
      const int c = Consume();
      token.valueEnd = Offset(next_ - 1);
      if (c == ')' || c == kCssEof) return token;
      if (ModelWhitespace(c)) {
        while (ModelWhitespace(Peek(0))) Consume();
        if (Peek(0) != ')' && Peek(0) != kCssEof) return ConsumeBadUrlRemnants();
        Consume();
        return token;
      }
      if (c == '"' || c == '\'' || c == '(' || ModelNonPrintable(c)) return ConsumeBadUrlRemnants();
      if (c == '\\' && !ModelValidEscape(c, Peek(0))) return ConsumeBadUrlRemnants();
      token.value += c == '\\' ? ConsumeEscaped() : CurrentBytes();
    }
  }

  CssToken ConsumeIdentLike() {
    std::string name = ConsumeIdentSequence();
    const auto quote = [](int c) { return c == '"' || c == '\''; };
    if (ModelLower(name) == "url" && Peek(0) == '(') {
      Consume();
      while (ModelWhitespace(Peek(0)) && ModelWhitespace(Peek(1))) Consume();
      if (quote(Peek(0)) || (ModelWhitespace(Peek(0)) && quote(Peek(1))))
        return {CssTokenType::Function, name};
      return ConsumeUrl();
    }
    if (Peek(0) != '(') return {CssTokenType::Other};  // an ident
    Consume();
    return {CssTokenType::Function, name};
  }

  CssToken ConsumeToken() {
    ConsumeComments();
    const int c = Consume();
    switch (c) {
      case kCssEof:
        return {CssTokenType::End};
      case '\n':
      case '\t':
      case ' ':
        while (ModelWhitespace(Peek(0))) Consume();
        return {CssTokenType::Whitespace};
      case '"':
      case '\'':
        return ConsumeString(c);
      case '(':
      case '[':
      case '{':
        return {CssTokenType::Open};
      case ')':
      case ']':
      case '}':
        return {CssTokenType::Close};
      case '#':  // a hash token when a name follows
        if (ModelIdentChar(Peek(0)) || ModelValidEscape(Peek(0), Peek(1))) ConsumeIdentSequence();
        return {CssTokenType::Other};
      case '<':  // CDO
        if (Peek(0) == '!' && Peek(1) == '-' && Peek(2) == '-') next_ += 3;
        return {CssTokenType::Other};
      case '@':
        if (ModelStartsIdent(Peek(0), Peek(1), Peek(2)))
          return {CssTokenType::AtKeyword, ConsumeIdentSequence()};
        return {CssTokenType::Other};
    }
    if (ModelStartsNumber(c, Peek(0), Peek(1))) {  // for "+", "-", ".", digits
      Reconsume();
      ConsumeNumeric();
    } else if (c == '-' && Peek(0) == '-' && Peek(1) == '>') {  // CDC
      next_ += 2;
    } else if ((c == '-' || c == '\\' || ModelIdentStart(c)) &&
               ModelStartsIdent(c, Peek(0), Peek(1))) {
      Reconsume();
      return ConsumeIdentLike();
    }
    return {CssTokenType::Other};  // delimiters, colons, semicolons, commas
  }

  std::string_view css_;
  std::vector<CssCodePoint> in_;
  size_t next_ = 0;  // the next input code point; past the end once the end was consumed
};

inline CssReference ModelReference(const CssToken& token, bool fromImport) {
  return {token.valueBegin, token.valueEnd - token.valueBegin, token.quote, token.value,
          fromImport};
}

// The references among the tokens.
inline std::vector<CssReference> LiteralCssReferences(std::string_view css) {
  const std::vector<CssToken> tokens = LiteralCssTokenizer(css).Tokens();
  std::vector<CssReference> refs;
  std::vector<size_t> imageSets;  // the depth inside each open image-set
  size_t depth = 0;
  bool afterImport = false;  // the last token other than whitespace was @import
  for (size_t i = 0; i < tokens.size(); ++i) {
    const CssToken& t = tokens[i];
    if (t.type == CssTokenType::Whitespace) continue;
    const bool fromImport = afterImport;
    afterImport = t.type == CssTokenType::AtKeyword && ModelLower(t.value) == "import";
    const std::string name = ModelLower(t.value);
    if (t.type == CssTokenType::Url) {
      refs.push_back(ModelReference(t, fromImport));
    } else if (t.type == CssTokenType::String) {
      if (fromImport || (!imageSets.empty() && imageSets.back() == depth))
        refs.push_back(ModelReference(t, fromImport));
    } else if (t.type == CssTokenType::Open) {
      ++depth;
    } else if (t.type == CssTokenType::Close) {
      if (depth > 0) --depth;
      while (!imageSets.empty() && imageSets.back() > depth) imageSets.pop_back();
    } else if (t.type == CssTokenType::Function) {
      ++depth;
      if (name == "image-set" || name == "-webkit-image-set") imageSets.push_back(depth);
      if (name != "url") continue;
      // The tokenizer left at most one whitespace token before the string.
      size_t s = i + 1;
      if (tokens[s].type == CssTokenType::Whitespace) ++s;
      if (tokens[s].type == CssTokenType::String)
        refs.push_back(ModelReference(tokens[s], fromImport));
      i = s;  // a url( function is followed by a string or a bad string: it is read here
    }
  }
  return refs;
}

// The text between the references (before the first, between each two, after the last), for
// checking that a rewrite changes nothing else. An empty unquoted value has no place of its own
// in the whitespace around it ("url( )"), so the gaps on both sides of a reference marked in
// joined count as one.
inline std::vector<std::string> CssGaps(std::string_view css, const std::vector<CssReference>& refs,
                                        const std::vector<bool>& joined) {
  std::vector<std::string> gaps(1);
  size_t from = 0;
  for (size_t i = 0; i < refs.size(); ++i) {
    gaps.back() += css.substr(from, refs[i].offset - from);
    if (!joined[i]) gaps.emplace_back();
    from = refs[i].offset + refs[i].length;
  }
  gaps.back() += css.substr(from);
  return gaps;
}

// One line per reference, bytes outside the printable ASCII range in hex, for comparing and
// for failure messages.
inline std::string DescribeCssReferences(const std::vector<CssReference>& refs) {
  std::string out;
  for (const CssReference& r : refs) {
    char head[80];
    std::snprintf(head, sizeof head, "%zu+%zu %s%s [", r.offset, r.length,
                  r.quote == '"'    ? "dq"
                  : r.quote == '\'' ? "sq"
                                    : "bare",
                  r.fromImport ? " import" : "");
    out += head;
    for (unsigned char c : r.value) {
      if (c >= 0x20 && c < 0x7F && c != '\\') {
        out += char(c);
      } else {
        char hex[8];
        std::snprintf(hex, sizeof hex, "\\x%02X", c);
        out += hex;
      }
    }
    out += "]\n";
  }
  return out;
}

}  // namespace lorvex::model
