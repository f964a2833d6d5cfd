// Reading the attribute that carries a tag's reference, for the two link passes.
//
// This is not the browser-like reader of TagAttributes.h: the link passes find an attribute
// by scanning the tag text for its name after a space, CR or LF, and read its value up to
// the closing quote or, unquoted, up to a byte that ends a name. Positions are 1-based and
// -1 means "none", as in the rest of the page import.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <string>
#include <string_view>

#include "links/TagFinder.h"

namespace lorvex {

using TextPos = std::ptrdiff_t;
constexpr TextPos kNoPosition = -1;

struct TagAttribute {
  bool found = false;
  std::string value;
  TextPos pos = kNoPosition;  // where the value starts in the attribute text
};

// Where an attribute's name is looked for: outside the tag's quoted values (the references),
// or anywhere (a charset declaration is read from inside a meta tag's content value).
enum class NameSearch { OutsideQuotedValues, Anywhere };

// Looks for the first " name" (space, CR or LF before it, letters folded) that is a whole
// attribute name (not followed by a letter, digit, "-", "_", ":" or ".") and reads its value.
// A name not followed by "=" counts as absent; no later occurrence is tried. A quoted value
// runs to its closing quote, "<" and ">" included. The attribute text is tag[from...]; the
// tag is read from its "<" so that its quoted values are known; pos counts from `from`.
TagAttribute ReadTagAttribute(std::string_view tag, size_t from, std::string_view name,
                              NameSearch search);
// ReadTagAttribute over an attribute text of its own, outside quoted values.
TagAttribute GetTagAttribute(std::string_view attrText, std::string_view name);

struct AttributeValue {
  TextPos pos = kNoPosition;
  std::string value;
};
// The first of the names that is present in tag[from...]; its value must name a known
// resource file (IsResourceFile, or IsCompletePageResourceFile with completeKinds), or there is no
// value and `refused`, when given, receives it.
AttributeValue ResourceAttribute(std::string_view tag, size_t from,
                                 std::initializer_list<std::string_view> names,
                                 AttributeValue* refused = nullptr, bool completeKinds = false);
// The named attribute's value in tag[from...], whatever it names.
AttributeValue PlainAttribute(std::string_view tag, size_t from, std::string_view name,
                              NameSearch search = NameSearch::OutsideQuotedValues);

// src, else background; a value that is not a known resource file gives no position.
AttributeValue SrcAttribute(std::string_view attrText);
// value; must name a known resource file.
AttributeValue ValueAttribute(std::string_view attrText);
AttributeValue HrefAttribute(std::string_view attrText);
AttributeValue CharsetAttribute(std::string_view attrText);

}  // namespace lorvex
