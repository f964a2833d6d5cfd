#include "archive/PartHeaders.h"

#include <map>

#include "util/Ascii.h"
#include "util/Strings.h"

namespace lorvex {

namespace {

constexpr std::string_view kCid = "cid:";
// Section numbers of an extended parameter have at most this many digits; real names take
// a handful of sections, and the number is never read beyond what an int holds.
constexpr size_t kMaxSectionDigits = 3;

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

// Calls use(attribute, value text after "=") for every "attribute=value" parameter of a
// field value, in order, until use returns true.
template <typename Use>
void ForEachParameter(std::string_view fieldValue, Use&& use) {
  for (size_t pos = ParameterEnd(fieldValue, 0); pos < fieldValue.size();) {
    const size_t start = SkipBlanks(fieldValue, pos + 1);
    const size_t end = ParameterEnd(fieldValue, start);
    const std::string_view parameter = fieldValue.substr(start, end - start);
    pos = end;
    const size_t equals = parameter.find('=');
    if (equals == std::string_view::npos) continue;
    if (use(Trim(parameter.substr(0, equals)), parameter.substr(equals + 1))) return;
  }
}

// "%" and two hexadecimal digits become that byte; any other "%" stays, as mail readers keep
// it (UrlDecode drops it, as the page import's references require).
std::string PercentDecode(std::string_view text) {
  std::string bytes;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size()) {
      const int high = AsciiHexValue(text[i + 1]), low = AsciiHexValue(text[i + 2]);
      if (high >= 0 && low >= 0) {
        bytes += static_cast<char>(high * 16 + low);
        i += 2;
        continue;
      }
    }
    bytes += text[i];
  }
  return bytes;
}

struct Section {
  std::string value;
  bool encoded = false;
};

// The section that an extended attribute name stands for: "attribute*" is section 0 in the
// percent form, "attribute*<n>" section n, "attribute*<n>*" section n in the percent form.
bool SectionOf(std::string_view name, std::string_view attribute, int& number, bool& encoded) {
  if (name.size() <= attribute.size() || name[attribute.size()] != '*' ||
      !EqualsIgnoreCase(name.substr(0, attribute.size()), attribute))
    return false;
  std::string_view rest = name.substr(attribute.size() + 1);
  encoded = rest.empty() || rest.back() == '*';
  if (rest.empty()) {
    number = 0;
    return true;
  }
  if (encoded) rest.remove_suffix(1);
  if (rest.empty() || rest.size() > kMaxSectionDigits || (rest.size() > 1 && rest[0] == '0'))
    return false;
  number = 0;
  for (char c : rest) {
    if (!IsAsciiDigit(c)) return false;
    number = number * 10 + (c - '0');
  }
  return true;
}

enum class Extended { None, Converted, Unconvertible };

// The attribute's extended value in a field value, joined and converted (see the top).
Extended ExtendedParameter(std::string_view fieldValue, std::string_view attribute,
                           const TCharsetConversion& convert, std::string& value) {
  std::map<int, Section> sections;
  ForEachParameter(fieldValue, [&](std::string_view name, std::string_view text) {
    int number;
    bool encoded;
    if (SectionOf(name, attribute, number, encoded))
      sections.try_emplace(number, Section{ParameterValue(text), encoded});
    return false;
  });
  if (sections.empty()) return Extended::None;
  std::string charset, bytes;
  for (auto& [number, section] : sections) {
    std::string_view text = section.value;
    if (number == 0 && section.encoded) {
      // charset'language'text; without both apostrophes the whole value is text.
      const size_t first = text.find('\'');
      const size_t second = first == std::string_view::npos ? first : text.find('\'', first + 1);
      if (second != std::string_view::npos) {
        charset = Trim(text.substr(0, first));
        text.remove_prefix(second + 1);
      }
    }
    bytes += section.encoded ? PercentDecode(text) : std::string(text);
  }
  std::string probe;
  if (charset.empty() || !convert(charset, "", probe)) {
    value = std::move(bytes);
    return Extended::Converted;
  }
  return convert(charset, bytes, value) ? Extended::Converted : Extended::Unconvertible;
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
  bool found = false;
  ForEachParameter(fieldValue, [&](std::string_view name, std::string_view text) {
    if (!EqualsIgnoreCase(name, attribute)) return false;
    value = ParameterValue(text);
    return found = true;
  });
  return found;
}

bool DeclaredFileName(const TMhtPart& part, const TCharsetConversion& convert, std::string& name) {
  name.clear();
  const std::pair<std::string_view, std::string_view> sources[] = {
      {part.ContentDisposition, "filename"}, {part.ContentType, "name"}};
  for (const auto& [field, attribute] : sources) {
    switch (ExtendedParameter(field, attribute, convert, name)) {
      case Extended::Unconvertible:
        name.clear();
        return false;
      case Extended::Converted:
        name = std::string(Trim(name));
        if (!name.empty()) return true;
        break;
      case Extended::None:
        break;
    }
    std::string raw;
    if (!HeaderParameter(field, attribute, raw) || Trim(raw).empty()) continue;
    if (!DecodeEncodedWords(Trim(raw), convert, name)) {
      name.clear();
      return false;
    }
    name = std::string(Trim(name));
    return !name.empty();
  }
  return false;
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
