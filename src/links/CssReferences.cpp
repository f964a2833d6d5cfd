#include "links/CssReferences.h"

#include "util/Ascii.h"
#include "util/ByteScan.h"
#include "util/Strings.h"

namespace lorvex {
namespace {

// Reading conventions: positions are byte offsets into the text; At() gives the byte there as
// 0-255, or kEnd past the end, so that every class test below also answers for the end.
// A function that consumes something takes the position where it starts and returns the one
// after it; where it decodes, it appends to out unless out is null (the value is not needed).
constexpr int kEnd = -1;
constexpr char32_t kReplacementCharacter = 0xFFFD;
constexpr char32_t kMaxCodePoint = 0x10FFFF;
constexpr char32_t kSurrogateFirst = 0xD800;
constexpr char32_t kSurrogateLast = 0xDFFF;
constexpr int kMaxHexDigits = 6;
constexpr int kFirstNonAscii = 0x80;
constexpr int kDelete = 0x7F;

constexpr std::string_view kUrlFunction = "url";
constexpr std::string_view kImportKeyword = "import";
constexpr std::string_view kImageSetFunctions[] = {"image-set", "-webkit-image-set"};
constexpr std::string_view kCommentOpen = "/*";
constexpr std::string_view kMarkupOpen = "<!--";
constexpr std::string_view kMarkupClose = "-->";

constexpr bool IsNewline(int c) { return c == '\n' || c == '\r' || c == '\f'; }
constexpr bool IsWhitespace(int c) { return IsNewline(c) || c == ' ' || c == '\t'; }
constexpr bool IsDigit(int c) { return c >= 0 && IsAsciiDigit(char(c)); }
constexpr bool IsHexDigit(int c) { return c >= 0 && AsciiHexValue(char(c)) >= 0; }
// Non-ASCII bytes and NUL (which the tokenizer reads as U+FFFD) start names too.
constexpr bool IsNameStart(int c) {
  return c >= kFirstNonAscii || c == 0 || c == '_' || (c > 0 && IsAsciiAlpha(char(c)));
}
constexpr bool IsNameChar(int c) { return IsNameStart(c) || IsDigit(c) || c == '-'; }
// NUL is not among them: the tokenizer has made it U+FFFD by then.
constexpr bool IsNonPrintable(int c) {
  return (c >= 0x01 && c <= 0x08) || c == 0x0B || (c >= 0x0E && c <= 0x1F) || c == kDelete;
}

void AppendCodePoint(std::string* out, char32_t cp) {
  if (!out) return;
  if (cp < 0x80) {
    *out += char(cp);
  } else if (cp < 0x800) {
    *out += char(0xC0 | (cp >> 6));
    *out += char(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    *out += char(0xE0 | (cp >> 12));
    *out += char(0x80 | ((cp >> 6) & 0x3F));
    *out += char(0x80 | (cp & 0x3F));
  } else {
    *out += char(0xF0 | (cp >> 18));
    *out += char(0x80 | ((cp >> 12) & 0x3F));
    *out += char(0x80 | ((cp >> 6) & 0x3F));
    *out += char(0x80 | (cp & 0x3F));
  }
}

bool IsImageSetFunction(std::string_view name) {
  for (std::string_view function : kImageSetFunctions)
    if (EqualsIgnoreCase(name, function)) return true;
  return false;
}

struct StringEnd {
  size_t valueEnd;  // the closing quote, or where the string was cut off
  size_t end;       // after the closing quote, or at the cut
  bool good;        // false when a line break cut it
};

struct UrlEnd {
  size_t valueBegin;
  size_t valueEnd;
  size_t end;
  bool good;  // false for a bad url
};

// The tokenizer's reading of one text, one token per Step, with the little context that
// references need: whether an @import came just before, and how deep in brackets we are.
class CssScanner {
 public:
  explicit CssScanner(std::string_view css) : css_(css) {}

  // The next reference, if any is left.
  bool Next(CssReference& ref) {
    while (pos_ < css_.size())
      if (Step(ref)) return true;
    return false;
  }

 private:
  int At(size_t p) const { return p < css_.size() ? static_cast<unsigned char>(css_[p]) : kEnd; }
  size_t NewlineLength(size_t p) const { return At(p) == '\r' && At(p + 1) == '\n' ? 2 : 1; }
  bool ValidEscape(size_t p) const { return At(p) == '\\' && !IsNewline(At(p + 1)); }
  bool StartsName(size_t p) const {
    if (At(p) == '-') return IsNameStart(At(p + 1)) || At(p + 1) == '-' || ValidEscape(p + 1);
    return IsNameStart(At(p)) || ValidEscape(p);
  }
  bool StartsNumber(size_t p) const {
    if (At(p) == '+' || At(p) == '-') ++p;
    if (At(p) == '.') return IsDigit(At(p + 1));
    return IsDigit(At(p));
  }
  bool AtImageSetLevel() const { return !imageSets_.empty() && imageSets_.back() == depth_; }

  // p is after the backslash.
  size_t ConsumeEscape(size_t p, std::string* out) const {
    if (At(p) == kEnd) {
      AppendCodePoint(out, kReplacementCharacter);
      return p;
    }
    if (!IsHexDigit(At(p))) {
      if (out) *out += css_[p];
      return p + 1;
    }
    char32_t cp = 0;
    for (int digits = 0; digits < kMaxHexDigits && IsHexDigit(At(p)); ++digits, ++p)
      cp = cp * 16 + char32_t(AsciiHexValue(css_[p]));
    if (IsWhitespace(At(p))) p += NewlineLength(p);
    const bool invalid =
        cp == 0 || (cp >= kSurrogateFirst && cp <= kSurrogateLast) || cp > kMaxCodePoint;
    AppendCodePoint(out, invalid ? kReplacementCharacter : cp);
    return p;
  }

  size_t ConsumeName(size_t p, std::string* out) const {
    for (;;) {
      if (IsNameChar(At(p))) {
        if (out) *out += css_[p];
        ++p;
      } else if (ValidEscape(p)) {
        p = ConsumeEscape(p + 1, out);
      } else {
        return p;
      }
    }
  }

  size_t ConsumeNumber(size_t p) const {
    if (At(p) == '+' || At(p) == '-') ++p;
    while (IsDigit(At(p))) ++p;
    if (At(p) == '.' && IsDigit(At(p + 1)))
      for (++p; IsDigit(At(p));) ++p;
    if (At(p) == 'e' || At(p) == 'E') {
      size_t q = p + 1;
      if (At(q) == '+' || At(q) == '-') ++q;
      if (IsDigit(At(q)))
        for (p = q; IsDigit(At(p));) ++p;
    }
    return p;
  }

  // A number with its unit or "%": "1url(" is a dimension, not a url.
  size_t ConsumeNumeric(size_t p) const {
    p = ConsumeNumber(p);
    if (StartsName(p)) return ConsumeName(p, nullptr);
    return At(p) == '%' ? p + 1 : p;
  }

  // p is after "/*"; an unclosed comment runs to the end.
  size_t CommentEnd(size_t p) const {
    for (;;) {
      p = FindEitherByte(css_.data(), p, css_.size(), '*', '*');
      if (p >= css_.size()) return css_.size();
      if (At(p + 1) == '/') return p + 2;
      ++p;
    }
  }

  // p is after the opening quote.
  StringEnd ConsumeString(size_t p, int quote, std::string* out) const {
    for (;;) {
      const int c = At(p);
      if (c == quote) return {p, p + 1, true};
      if (c == kEnd) return {p, p, true};
      if (IsNewline(c)) return {p, p, false};  // the line break is not part of the string
      if (c != '\\') {
        if (out) *out += css_[p];
        ++p;
      } else if (At(p + 1) == kEnd) {
        ++p;
      } else if (IsNewline(At(p + 1))) {
        p += 1 + NewlineLength(p + 1);
      } else {
        p = ConsumeEscape(p + 1, out);
      }
    }
  }

  // Skips to after the ")" that ends a bad url (an escaped ")" does not), or to the end.
  size_t BadUrlEnd(size_t p) const {
    for (;;) {
      if (At(p) == kEnd) return p;
      if (At(p) == ')') return p + 1;
      p = ValidEscape(p) ? ConsumeEscape(p + 1, nullptr) : p + 1;
    }
  }

  // p is after "url(" and the whitespace that the function check consumed.
  UrlEnd ConsumeUrl(size_t p, std::string* out) const {
    while (IsWhitespace(At(p))) ++p;
    const size_t begin = p;
    for (;;) {
      const int c = At(p);
      if (c == ')') return {begin, p, p + 1, true};
      if (c == kEnd) return {begin, p, p, true};
      if (IsWhitespace(c)) {
        size_t q = p;
        while (IsWhitespace(At(q))) ++q;
        if (At(q) == ')') return {begin, p, q + 1, true};
        if (At(q) == kEnd) return {begin, p, q, true};
        return {begin, p, BadUrlEnd(q), false};
      }
      if (c == '"' || c == '\'' || c == '(' || IsNonPrintable(c) || (c == '\\' && !ValidEscape(p)))
        return {begin, p, BadUrlEnd(p + 1), false};
      if (c == '\\') {
        p = ConsumeEscape(p + 1, out);
      } else {
        if (out) *out += css_[p];
        ++p;
      }
    }
  }

  void Open() { ++depth_; }
  void Close() {
    if (depth_ > 0) --depth_;
    while (!imageSets_.empty() && imageSets_.back() > depth_) imageSets_.pop_back();
  }

  // pos_ is at the opening quote.
  bool String(bool isReference, bool fromImport, CssReference& ref) {
    const int quote = At(pos_);
    const size_t begin = pos_ + 1;
    std::string value;
    const StringEnd s = ConsumeString(begin, quote, isReference ? &value : nullptr);
    pos_ = s.end;
    if (!s.good || !isReference) return false;
    ref = {begin, s.valueEnd - begin, char(quote), std::move(value), fromImport};
    return true;
  }

  // pos_ is after "url(": either a function whose string follows, or a url token.
  bool Url(bool fromImport, CssReference& ref) {
    size_t p = pos_;
    while (IsWhitespace(At(p)) && IsWhitespace(At(p + 1))) ++p;
    const size_t quote = IsWhitespace(At(p)) ? p + 1 : p;
    if (At(quote) == '"' || At(quote) == '\'') {
      Open();
      pos_ = quote;
      return String(true, fromImport, ref);
    }
    std::string value;
    const UrlEnd u = ConsumeUrl(p, &value);
    pos_ = u.end;
    if (!u.good) return false;
    ref = {u.valueBegin, u.valueEnd - u.valueBegin, 0, std::move(value), fromImport};
    return true;
  }

  // pos_ starts a name: an ident, a function, or a url.
  bool IdentLike(bool afterImport, CssReference& ref) {
    name_.clear();
    const size_t end = ConsumeName(pos_, &name_);
    if (At(end) != '(') {
      pos_ = end;
      return false;
    }
    pos_ = end + 1;
    if (EqualsIgnoreCase(name_, kUrlFunction)) return Url(afterImport, ref);
    Open();
    if (IsImageSetFunction(name_)) imageSets_.push_back(depth_);
    return false;
  }

  void AtKeyword() {
    name_.clear();
    pos_ = ConsumeName(pos_ + 1, &name_);
    pendingImport_ = EqualsIgnoreCase(name_, kImportKeyword);
  }

  // Consumes one token (a comment counts as one); true when it is a reference.
  bool Step(CssReference& ref) {
    const bool afterImport = pendingImport_;
    pendingImport_ = false;
    const int c = At(pos_);
    if (IsWhitespace(c) || css_.substr(pos_).starts_with(kCommentOpen)) {
      pos_ = IsWhitespace(c) ? pos_ + 1 : CommentEnd(pos_ + kCommentOpen.size());
      pendingImport_ = afterImport;
      return false;
    }
    if (c == '"' || c == '\'') return String(afterImport || AtImageSetLevel(), afterImport, ref);
    if (c == '(' || c == '[' || c == '{') {
      Open();
      ++pos_;
    } else if (c == ')' || c == ']' || c == '}') {
      Close();
      ++pos_;
    } else if (c == '#' && (IsNameChar(At(pos_ + 1)) || ValidEscape(pos_ + 1))) {
      pos_ = ConsumeName(pos_ + 1, nullptr);
    } else if (c == '@' && StartsName(pos_ + 1)) {
      AtKeyword();
    } else if (css_.substr(pos_).starts_with(kMarkupOpen)) {
      pos_ += kMarkupOpen.size();
    } else if (StartsNumber(pos_)) {
      pos_ = ConsumeNumeric(pos_);
    } else if (css_.substr(pos_).starts_with(kMarkupClose)) {
      pos_ += kMarkupClose.size();
    } else if (StartsName(pos_)) {
      return IdentLike(afterImport, ref);
    } else {
      ++pos_;  // a delimiter
    }
    return false;
  }

  std::string_view css_;
  size_t pos_ = 0;
  size_t depth_ = 0;
  std::vector<size_t> imageSets_;  // the depths just inside each open image-set function
  bool pendingImport_ = false;     // an @import came last, apart from whitespace and comments
  std::string name_;               // the last name read, decoded
};

void AppendHexEscape(std::string& out, char c) {
  constexpr char kHex[] = "0123456789ABCDEF";
  const auto byte = static_cast<unsigned char>(c);
  out += '\\';
  if (byte >= 16) out += kHex[byte >> 4];
  out += kHex[byte & 15];
  out += ' ';  // ends the escape even when a hex digit or whitespace follows
}

// A NUL byte stays as it is: "\0" would read back as U+FFFD.
bool NeedsUnquotedEscape(char c) {
  const int byte = static_cast<unsigned char>(c);
  return (byte > 0 && byte <= ' ') || byte == kDelete || c == '"' || c == '\'' || c == '(' ||
         c == ')' || c == '\\';
}

void AppendEscaped(std::string& out, std::string_view text, char quote) {
  for (char c : text) {
    if (quote && c == '\\')
      out += "\\\\";
    else if (quote ? (c == quote || IsNewline(c)) : NeedsUnquotedEscape(c))
      AppendHexEscape(out, c);
    else
      out += c;
  }
}

}  // namespace

std::string EscapeCssValue(std::string_view text, char quote) {
  std::string out;
  out.reserve(text.size());
  AppendEscaped(out, text, quote);
  return out;
}

std::vector<CssReference> FindCssReferences(std::string_view css) {
  std::vector<CssReference> refs;
  CssScanner scanner(css);
  CssReference ref;
  while (scanner.Next(ref)) refs.push_back(std::move(ref));
  return refs;
}

std::string RewriteCssReferences(
    std::string_view css,
    const std::function<std::optional<std::string>(const CssReference&)>& replace) {
  std::string out;
  out.reserve(css.size());
  size_t copied = 0;
  CssScanner scanner(css);
  CssReference ref;
  while (scanner.Next(ref)) {
    const std::optional<std::string> text = replace(ref);
    if (!text) continue;
    out.append(css, copied, ref.offset - copied);
    AppendEscaped(out, *text, ref.quote);
    copied = ref.offset + ref.length;
  }
  out.append(css, copied);
  return out;
}

}  // namespace lorvex
