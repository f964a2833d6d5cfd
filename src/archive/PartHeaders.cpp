#include "archive/PartHeaders.h"

#include "util/Strings.h"

namespace lorvex {

namespace {

constexpr std::string_view kCid = "cid:";

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

size_t SkipBlanks(std::string_view text, size_t pos) {
  while (pos < text.size() && IsBlank(text[pos])) ++pos;
  return pos;
}

// The end of the parameter that begins at pos: the next ";" outside quotes, or the end.
size_t ParameterEnd(std::string_view text, size_t pos) {
  bool quoted = false;
  for (; pos < text.size(); ++pos) {
    if (quoted && text[pos] == '\\') {
      ++pos;
    } else if (text[pos] == '"') {
      quoted = !quoted;
    } else if (!quoted && text[pos] == ';') {
      return pos;
    }
  }
  return text.size();
}

// The value of one "attribute=value" text after its "=".
std::string ParameterValue(std::string_view text) {
  text = Trim(text);
  std::string value;
  if (text.empty() || text[0] != '"') {
    size_t end = 0;
    while (end < text.size() && !IsBlank(text[end])) ++end;
    return std::string(text.substr(0, end));
  }
  for (size_t i = 1; i < text.size() && text[i] != '"'; ++i) {
    if (text[i] == '\\' && i + 1 < text.size()) ++i;
    value += text[i];
  }
  return value;
}

struct TypeExtension {
  std::string_view type;
  std::string_view extension;
};

constexpr TypeExtension kExtensions[] = {
    {"image/png", ".png"},   {"image/gif", ".gif"},      {"image/jpeg", ".jpg"},
    {"image/jpg", ".jpg"},   {"image/pjpeg", ".jpg"},    {"image/bmp", ".bmp"},
    {"image/webp", ".webp"}, {"image/svg+xml", ".svg"},  {"image/x-icon", ".ico"},
    {"image/tiff", ".tif"},  {"text/css", ".css"},       {"text/html", ".htm"},
    {"text/plain", ".txt"},  {"text/javascript", ".js"}, {"application/javascript", ".js"},
};

}  // namespace

bool HeaderParameter(std::string_view fieldValue, std::string_view attribute, std::string& value) {
  value.clear();
  for (size_t pos = ParameterEnd(fieldValue, 0); pos < fieldValue.size();) {
    const size_t start = SkipBlanks(fieldValue, pos + 1);
    const size_t end = ParameterEnd(fieldValue, start);
    const std::string_view parameter = fieldValue.substr(start, end - start);
    pos = end;
    const size_t equals = parameter.find('=');
    if (equals == std::string_view::npos) continue;
    if (!EqualsIgnoreCase(Trim(parameter.substr(0, equals)), attribute)) continue;
    value = ParameterValue(parameter.substr(equals + 1));
    return true;
  }
  return false;
}

bool DeclaredFileName(const TMhtPart& part, const TCharsetConversion& convert, std::string& name) {
  name.clear();
  std::string raw;
  if (!(HeaderParameter(part.ContentDisposition, "filename", raw) && !Trim(raw).empty()) &&
      !(HeaderParameter(part.ContentType, "name", raw) && !Trim(raw).empty()))
    return false;
  if (!DecodeEncodedWords(Trim(raw), convert, name)) return false;
  name = std::string(Trim(name));
  return !name.empty();
}

std::vector<std::string> CidAddresses(const TMhtPart& part) {
  std::vector<std::string> addresses;
  if (!part.ContentId.empty()) addresses.push_back(std::string(kCid) + part.ContentId);
  std::string_view location = Trim(part.Location);
  if (StartsWithIgnoreCase(location, kCid) && location.size() > kCid.size())
    addresses.push_back(std::string(kCid) + std::string(location.substr(kCid.size())));
  return addresses;
}

std::string_view ExtensionForType(std::string_view contentType) {
  std::string_view type = Trim(contentType.substr(0, contentType.find(';')));
  for (const TypeExtension& entry : kExtensions)
    if (EqualsIgnoreCase(type, entry.type)) return entry.extension;
  return ".bin";
}

}  // namespace lorvex
