#include "links/LinkAttributes.h"

#include "links/TagFinder.h"
#include "util/Ascii.h"
#include "util/Strings.h"
#include "util/UrlPath.h"

namespace lorvex {

namespace {

// Characters that continue an attribute name.
constexpr bool IsAttributeNameChar(char c) {
  return IsAsciiAlnum(c) || c == '-' || c == '_' || c == ':' || c == '.';
}

// The position (0-based) where a value that is trimmed to its text starts: the first byte
// above 32, so that replacing the trimmed value's length from there covers exactly the value
// even when it begins with a tab or a line break. A blank value has none.
size_t TrimmedStart(std::string_view raw) {
  for (size_t i = 0; i < raw.size(); ++i)
    if (static_cast<unsigned char>(raw[i]) > 32) return i;
  return std::string_view::npos;
}

}  // namespace

TagAttribute ReadTagAttribute(std::string_view tag, size_t from, std::string_view name,
                              NameSearch search) {
  TagAttribute result;
  const std::string_view attrText = tag.substr(from);
  const size_t length = attrText.size();
  if (name.empty() || length < 5) return result;
  // The name is looked for at positions 1 to length - 4, up to the first ">" outside quoted
  // values. An occurrence that goes on with a name character is the start of a longer name
  // ("src" in "srcset", "href" in "hreflang"), not the attribute: the search goes on past it.
  // The walk over the tag starts at its "<", so that it knows which values are quoted.
  StartTagWalk walk(tag);
  size_t after = std::string_view::npos;
  for (size_t t = 0; t != std::string_view::npos && t < from + length - 4;) {
    if (t < from) {
      t = search == NameSearch::OutsideQuotedValues ? walk.Next(t) : t + 1;
      continue;
    }
    const size_t s = t - from;
    const char c = attrText[s];
    if (c == '>') break;
    if ((c == ' ' || c == '\r' || c == '\n') && s + 1 + name.size() <= length &&
        EqualsIgnoreCase(attrText.substr(s + 1, name.size()), name)) {
      const size_t end = s + 1 + name.size();
      if (end >= length || !IsAttributeNameChar(attrText[end])) {
        after = end;
        break;
      }
    }
    t = search == NameSearch::OutsideQuotedValues ? walk.Next(t) : t + 1;
  }
  if (after == std::string_view::npos) return result;
  while (after < length && attrText[after] == ' ') ++after;
  if (after >= length || attrText[after] != '=') return result;
  result.found = true;
  size_t v = after + 1;
  // A quote may follow the "=" after spaces, tabs and line breaks; a value without one after
  // spaces only.
  size_t q = v;
  while (q < length && IsValueLeadSpace(attrText[q])) ++q;
  while (v < length && attrText[v] == ' ') ++v;
  if (q < length && (attrText[q] == '"' || attrText[q] == '\'')) v = q;
  if (v >= length) return result;
  std::string_view raw;
  size_t rawStart;
  char quote = attrText[v];
  if (quote == '"' || quote == '\'') {
    // A quoted value runs to its closing quote: "<" and ">" inside it are part of it.
    rawStart = v + 1;
    size_t end = attrText.find(quote, rawStart);
    if (end == std::string_view::npos) end = length;
    raw = attrText.substr(rawStart, end - rawStart);
    size_t start = TrimmedStart(raw);
    if (start != std::string_view::npos)
      result.pos = static_cast<TextPos>(rawStart + start) + 1;
    else  // blank: where the first non-space would be, as the position is counted from the quote
      result.pos = static_cast<TextPos>(v + 1) + FirstNonSpace(raw);
  } else {
    rawStart = v;
    size_t end = v;
    while (end < length && !IsNameEnd(attrText[end])) ++end;
    raw = attrText.substr(v, end - v);
    size_t start = TrimmedStart(raw);
    result.pos = static_cast<TextPos>(rawStart + (start == std::string_view::npos ? 0 : start)) + 1;
  }
  result.value = std::string(Trim(raw));
  if (result.value.find("\\\"") != std::string::npos)
    result.value = ReplaceAllText(result.value, "\\\"", "  ");
  return result;
}

TagAttribute GetTagAttribute(std::string_view attrText, std::string_view name) {
  return ReadTagAttribute(attrText, 0, name, NameSearch::OutsideQuotedValues);
}

AttributeValue ResourceAttribute(std::string_view tag, size_t from,
                                 std::initializer_list<std::string_view> names,
                                 AttributeValue* refused, bool completeKinds) {
  AttributeValue result;
  for (std::string_view name : names) {
    TagAttribute attribute = ReadTagAttribute(tag, from, name, NameSearch::OutsideQuotedValues);
    if (!attribute.found) continue;
    if (!(completeKinds ? IsCompletePageResourceFile(attribute.value)
                        : IsResourceFile(attribute.value))) {
      if (refused && attribute.pos != kNoPosition) {
        refused->pos = attribute.pos;
        refused->value = std::move(attribute.value);
      }
      return result;
    }
    result.pos = attribute.pos;
    result.value = std::move(attribute.value);
    return result;
  }
  return result;
}

AttributeValue PlainAttribute(std::string_view tag, size_t from, std::string_view name,
                              NameSearch search) {
  TagAttribute attribute = ReadTagAttribute(tag, from, name, search);
  AttributeValue result;
  if (!attribute.found) return result;
  result.pos = attribute.pos;
  result.value = std::move(attribute.value);
  return result;
}

AttributeValue SrcAttribute(std::string_view attrText) {
  return ResourceAttribute(attrText, 0, {"src", "background"});
}
AttributeValue ValueAttribute(std::string_view attrText) {
  return ResourceAttribute(attrText, 0, {"value"});
}
AttributeValue HrefAttribute(std::string_view attrText) {
  return PlainAttribute(attrText, 0, "href");
}
AttributeValue CharsetAttribute(std::string_view attrText) {
  return PlainAttribute(attrText, 0, "charset", NameSearch::Anywhere);
}

}  // namespace lorvex
