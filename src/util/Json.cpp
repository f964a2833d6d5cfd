#include "util/Json.h"

#include <charconv>
#include <cmath>
#include <cstdio>

#include "util/Ascii.h"

namespace lorvex {

namespace {

constexpr uint32_t kReplacementCharacter = 0xFFFD;
// Doubles hold every whole number up to 2^53 exactly; those are written without a fraction.
constexpr double kLargestExactWhole = 9007199254740992.0;

void AppendUtf8(std::string& out, uint32_t code) {
  if (code < 0x80) {
    out += char(code);
  } else if (code < 0x800) {
    out += char(0xC0 | (code >> 6));
    out += char(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += char(0xE0 | (code >> 12));
    out += char(0x80 | ((code >> 6) & 0x3F));
    out += char(0x80 | (code & 0x3F));
  } else {
    out += char(0xF0 | (code >> 18));
    out += char(0x80 | ((code >> 12) & 0x3F));
    out += char(0x80 | ((code >> 6) & 0x3F));
    out += char(0x80 | (code & 0x3F));
  }
}

// The length of the well-formed UTF-8 sequence at text[i] (RFC 3629: no overlong forms, no
// surrogates, nothing above U+10FFFF), or 0 when the bytes there are not one.
size_t Utf8SequenceLength(std::string_view text, size_t i) {
  const auto byte = [&](size_t k) { return uint8_t(text[k]); };
  const uint8_t lead = byte(i);
  if (lead < 0x80) return 1;
  size_t length;
  uint8_t low = 0x80, high = 0xBF;  // the allowed range of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (text.size() - i < length) return 0;
  if (byte(i + 1) < low || byte(i + 1) > high) return 0;
  for (size_t k = 2; k < length; ++k)
    if (byte(i + k) < 0x80 || byte(i + k) > 0xBF) return 0;
  return length;
}

class Reader {
 public:
  explicit Reader(std::string_view text) : text_(text) {}

  JsonValue Document() {
    JsonValue value = Value(0);
    SkipBlanks();
    if (pos_ != text_.size()) Fail("text after the value");
    return value;
  }

 private:
  [[noreturn]] void Fail(const char* what) const {
    throw JsonError("JSON: " + std::string(what) + " at offset " + std::to_string(pos_));
  }

  void SkipBlanks() {
    while (pos_ < text_.size() && (text_[pos_] == ' ' || text_[pos_] == '\t' ||
                                   text_[pos_] == '\r' || text_[pos_] == '\n'))
      ++pos_;
  }

  bool Take(char c) {
    if (pos_ < text_.size() && text_[pos_] == c) {
      ++pos_;
      return true;
    }
    return false;
  }

  void Expect(std::string_view word) {
    if (text_.substr(pos_, word.size()) != word) Fail("unknown token");
    pos_ += word.size();
  }

  JsonValue Value(int depth) {
    SkipBlanks();
    if (pos_ >= text_.size()) Fail("missing value");
    switch (text_[pos_]) {
      case '{':
        return ObjectValue(depth + 1);
      case '[':
        return ArrayValue(depth + 1);
      case '"':
        return JsonValue(StringValue());
      case 't':
        Expect("true");
        return JsonValue(true);
      case 'f':
        Expect("false");
        return JsonValue(false);
      case 'n':
        Expect("null");
        return JsonValue();
      default:
        return JsonValue(NumberValue());
    }
  }

  JsonValue ObjectValue(int depth) {
    if (depth > kMaxJsonDepth) Fail("nesting too deep");
    ++pos_;  // '{'
    JsonValue::Object members;
    SkipBlanks();
    if (Take('}')) return JsonValue(std::move(members));
    for (;;) {
      SkipBlanks();
      if (pos_ >= text_.size() || text_[pos_] != '"') Fail("expected a member name");
      std::string name = StringValue();
      SkipBlanks();
      if (!Take(':')) Fail("expected ':'");
      JsonValue value = Value(depth);
      members.emplace_back(std::move(name), std::move(value));
      SkipBlanks();
      if (Take('}')) return JsonValue(std::move(members));
      if (!Take(',')) Fail("expected ',' or '}'");
    }
  }

  JsonValue ArrayValue(int depth) {
    if (depth > kMaxJsonDepth) Fail("nesting too deep");
    ++pos_;  // '['
    JsonValue::Array items;
    SkipBlanks();
    if (Take(']')) return JsonValue(std::move(items));
    for (;;) {
      items.push_back(Value(depth));
      SkipBlanks();
      if (Take(']')) return JsonValue(std::move(items));
      if (!Take(',')) Fail("expected ',' or ']'");
    }
  }

  // Four hexadecimal digits after "\u".
  uint32_t HexQuad() {
    if (text_.size() - pos_ < 4) Fail("short \\u escape");
    uint32_t code = 0;
    for (int k = 0; k < 4; ++k) {
      int digit = AsciiHexValue(text_[pos_++]);
      if (digit < 0) Fail("bad \\u escape");
      code = code * 16 + uint32_t(digit);
    }
    return code;
  }

  // After "\u": one character, a surrogate pair read as one.
  uint32_t EscapedCharacter() {
    uint32_t code = HexQuad();
    if (code >= 0xDC00 && code <= 0xDFFF) return kReplacementCharacter;
    if (code < 0xD800 || code > 0xDBFF) return code;
    // A high surrogate counts only with the low one that follows it.
    if (text_.substr(pos_, 2) != "\\u") return kReplacementCharacter;
    const size_t afterHigh = pos_;
    pos_ += 2;
    uint32_t low = HexQuad();
    if (low < 0xDC00 || low > 0xDFFF) {
      pos_ = afterHigh;  // the next escape is read on its own
      return kReplacementCharacter;
    }
    return 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
  }

  std::string StringValue() {
    ++pos_;  // '"'
    std::string out;
    for (;;) {
      size_t run = pos_;
      for (;;) {
        if (run >= text_.size()) break;
        const uint8_t b = uint8_t(text_[run]);
        if (b == '"' || b == '\\' || b < 0x20) break;
        if (b < 0x80) {
          ++run;
          continue;
        }
        const size_t length = Utf8SequenceLength(text_, run);
        if (length) {
          run += length;
          continue;
        }
        out.append(text_.substr(pos_, run - pos_));
        AppendUtf8(out, kReplacementCharacter);
        pos_ = ++run;
      }
      out.append(text_.substr(pos_, run - pos_));
      pos_ = run;
      if (pos_ >= text_.size()) Fail("unterminated string");
      const char c = text_[pos_++];
      if (c == '"') return out;
      if (c != '\\') Fail("control character in a string");
      if (pos_ >= text_.size()) Fail("unterminated string");
      switch (text_[pos_++]) {
        case '"':
          out += '"';
          break;
        case '\\':
          out += '\\';
          break;
        case '/':
          out += '/';
          break;
        case 'b':
          out += '\b';
          break;
        case 'f':
          out += '\f';
          break;
        case 'n':
          out += '\n';
          break;
        case 'r':
          out += '\r';
          break;
        case 't':
          out += '\t';
          break;
        case 'u':
          AppendUtf8(out, EscapedCharacter());
          break;
        default:
          Fail("bad escape");
      }
    }
  }

  double NumberValue() {
    const size_t start = pos_;
    Take('-');
    if (Take('0')) {
      // no further digits after a leading zero
    } else if (pos_ < text_.size() && IsAsciiDigit(text_[pos_])) {
      while (pos_ < text_.size() && IsAsciiDigit(text_[pos_])) ++pos_;
    } else {
      Fail("bad value");
    }
    if (Take('.')) Digits();
    if (Take('e') || Take('E')) {
      if (!Take('+')) Take('-');
      Digits();
    }
    double value = 0;
    auto [end, error] = std::from_chars(text_.data() + start, text_.data() + pos_, value);
    if (error != std::errc() || end != text_.data() + pos_) Fail("number out of range");
    return value;
  }

  void Digits() {
    if (pos_ >= text_.size() || !IsAsciiDigit(text_[pos_])) Fail("bad number");
    while (pos_ < text_.size() && IsAsciiDigit(text_[pos_])) ++pos_;
  }

  std::string_view text_;
  size_t pos_ = 0;
};

void AppendNumber(std::string& out, double value) {
  if (!std::isfinite(value)) {
    out += "null";
    return;
  }
  char buffer[32];
  if (value == std::floor(value) && std::fabs(value) <= kLargestExactWhole) {
    std::snprintf(buffer, sizeof buffer, "%lld", static_cast<long long>(value));
  } else {
    auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer - 1, value);
    *end = '\0';
    (void)error;  // the shortest form of a double always fits 32 bytes
  }
  out += buffer;
}

void AppendValue(std::string& out, const JsonValue& value) {
  if (const bool* b = value.AsBool()) {
    out += *b ? "true" : "false";
  } else if (const double* number = value.AsNumber()) {
    AppendNumber(out, *number);
  } else if (const std::string* text = value.AsString()) {
    AppendJsonString(out, *text);
  } else if (const JsonValue::Array* items = value.AsArray()) {
    out += '[';
    for (size_t i = 0; i < items->size(); ++i) {
      if (i) out += ',';
      AppendValue(out, (*items)[i]);
    }
    out += ']';
  } else if (const JsonValue::Object* members = value.AsObject()) {
    out += '{';
    for (size_t i = 0; i < members->size(); ++i) {
      if (i) out += ',';
      AppendJsonString(out, (*members)[i].first);
      out += ':';
      AppendValue(out, (*members)[i].second);
    }
    out += '}';
  } else {
    out += "null";
  }
}

}  // namespace

const JsonValue* JsonValue::Find(std::string_view name) const {
  if (const Object* members = AsObject())
    for (const Member& member : *members)
      if (member.first == name) return &member.second;
  return nullptr;
}

std::string JsonValue::StringAt(std::string_view name, std::string_view fallback) const {
  const JsonValue* member = Find(name);
  const std::string* text = member ? member->AsString() : nullptr;
  return text ? *text : std::string(fallback);
}

double JsonValue::NumberAt(std::string_view name, double fallback) const {
  const JsonValue* member = Find(name);
  const double* number = member ? member->AsNumber() : nullptr;
  return number ? *number : fallback;
}

bool JsonValue::TrueAt(std::string_view name) const {
  const JsonValue* member = Find(name);
  const bool* b = member ? member->AsBool() : nullptr;
  return b && *b;
}

void JsonValue::Add(std::string name, JsonValue value) {
  if (IsNull()) value_ = Object();
  std::get<Object>(value_).emplace_back(std::move(name), std::move(value));
}

JsonValue ParseJson(std::string_view text) { return Reader(text).Document(); }

std::string WriteJson(const JsonValue& value) {
  std::string out;
  AppendValue(out, value);
  return out;
}

void AppendJsonString(std::string& out, std::string_view text) {
  static constexpr char kHex[] = "0123456789abcdef";
  out += '"';
  size_t i = 0;
  while (i < text.size()) {
    const uint8_t c = uint8_t(text[i]);
    if (c >= 0x80) {
      const size_t length = Utf8SequenceLength(text, i);
      if (length == 0) {
        AppendUtf8(out, kReplacementCharacter);
        ++i;
      } else {
        out.append(text.substr(i, length));
        i += length;
      }
      continue;
    }
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (c < 0x20) {
          out += "\\u00";
          out += kHex[c >> 4];
          out += kHex[c & 0xF];
        } else {
          out += char(c);
        }
    }
    ++i;
  }
  out += '"';
}

}  // namespace lorvex
