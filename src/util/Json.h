// JSON values (RFC 8259), read and written: the messages of a browser's debugging protocol.
//
// The reader takes exactly one value, with blanks (space, tab, CR, LF) around it, and throws
// JsonError for anything else: a bad token, a control character inside a string, a number
// outside the grammar or beyond a double's range, text after the value, nesting deeper than
// kMaxJsonDepth. Strings come out as UTF-8: "\u" escapes are decoded (a surrogate pair as one
// character, a lone surrogate as U+FFFD), and a byte sequence that is not UTF-8 becomes
// U+FFFD. Numbers are doubles. An object keeps its members in order, repeated names included;
// Find answers the first.
//
// The writer always produces valid JSON: strings get the escapes JSON requires, and a byte
// sequence that is not UTF-8 is written as U+FFFD, so a peer that insists on UTF-8 never
// refuses a message. Numbers that are whole and exact in a double are written without a
// fraction; NaN and the infinities, which JSON cannot hold, are written as null.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

namespace lorvex {

class JsonError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Arrays and objects nested deeper than this are refused, so reading never recurses without
// bound.
constexpr int kMaxJsonDepth = 64;

class JsonValue {
 public:
  using Array = std::vector<JsonValue>;
  using Member = std::pair<std::string, JsonValue>;
  using Object = std::vector<Member>;

  JsonValue() = default;  // null
  JsonValue(std::nullptr_t) {}
  JsonValue(bool value) : value_(value) {}
  JsonValue(double value) : value_(value) {}
  JsonValue(int value) : value_(double(value)) {}
  JsonValue(int64_t value) : value_(double(value)) {}
  JsonValue(const char* value) : value_(std::string(value)) {}
  JsonValue(std::string_view value) : value_(std::string(value)) {}
  JsonValue(std::string value) : value_(std::move(value)) {}
  JsonValue(Array value) : value_(std::move(value)) {}
  JsonValue(Object value) : value_(std::move(value)) {}

  // {"name": value, ...} in the order given.
  static JsonValue MakeObject(std::initializer_list<Member> members) {
    return JsonValue(Object(members));
  }

  bool IsNull() const { return std::holds_alternative<std::monostate>(value_); }
  bool IsBool() const { return std::holds_alternative<bool>(value_); }
  bool IsNumber() const { return std::holds_alternative<double>(value_); }
  bool IsString() const { return std::holds_alternative<std::string>(value_); }
  bool IsArray() const { return std::holds_alternative<Array>(value_); }
  bool IsObject() const { return std::holds_alternative<Object>(value_); }

  // The value of each kind, or nothing when the value is of another kind.
  const bool* AsBool() const { return std::get_if<bool>(&value_); }
  const double* AsNumber() const { return std::get_if<double>(&value_); }
  const std::string* AsString() const { return std::get_if<std::string>(&value_); }
  const Array* AsArray() const { return std::get_if<Array>(&value_); }
  const Object* AsObject() const { return std::get_if<Object>(&value_); }

  // The first member of that name; null when this is not an object or has none.
  const JsonValue* Find(std::string_view name) const;
  // Shorthands for a member of one kind: its text, its number, whether it is true; the
  // fallback when it is missing or of another kind.
  std::string StringAt(std::string_view name, std::string_view fallback = {}) const;
  double NumberAt(std::string_view name, double fallback) const;
  bool TrueAt(std::string_view name) const;

  // Appends a member (this must be an object).
  void Add(std::string name, JsonValue value);

  bool operator==(const JsonValue& other) const = default;

 private:
  std::variant<std::monostate, bool, double, std::string, Array, Object> value_;
};

// The one value of text; throws JsonError.
JsonValue ParseJson(std::string_view text);
// The value as compact JSON text.
std::string WriteJson(const JsonValue& value);
// Appends text as a JSON string, quotes included.
void AppendJsonString(std::string& out, std::string_view text);

}  // namespace lorvex
