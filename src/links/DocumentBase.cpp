#include "links/DocumentBase.h"

#include <algorithm>

#include "platform/Charset.h"
#include "util/Ascii.h"
#include "util/Strings.h"
#include "util/UrlPath.h"

namespace lorvex {

namespace {

// The charset a page's declared one is read in, as browsers read the labels; empty when its
// bytes are taken as they stand (UTF-8, a UTF-16 label that an 8-bit page cannot mean, or no
// declaration).
std::string ConversionCharset(std::string_view declared) {
  const std::string label = AsciiLowerCase(Trim(declared));
  if (label.empty() || label == "utf-8" || label == "utf8" || label == "unicode-1-1-utf-8" ||
      StartsWithIgnoreCase(label, "utf-16"))
    return std::string();
  for (std::string_view gbk : {"gb2312", "gbk", "x-gbk", "cp936", "euc-cn"})
    if (label == gbk) return "gbk";
  for (std::string_view latin : {"iso-8859-1", "latin1", "us-ascii", "ascii"})
    if (label == latin) return "windows-1252";
  return label;
}

bool HasHighByte(std::string_view text) {
  for (char c : text)
    if (static_cast<unsigned char>(c) >= 0x80) return true;
  return false;
}

// A scheme of its own that the URL parser does not read: "mailto:", "file:", and a drive
// letter ("c:"), as the parser reads a scheme.
bool HasOtherScheme(std::string_view value) {
  value = Trim(value);
  if (value.empty() || !IsAsciiAlpha(value.front())) return false;
  size_t colon = 1;
  while (colon < value.size() && (IsAsciiAlnum(value[colon]) || value[colon] == '+' ||
                                  value[colon] == '-' || value[colon] == '.'))
    ++colon;
  return colon < value.size() && value[colon] == ':' &&
         !IsWebUrlScheme(AsciiLowerCase(value.substr(0, colon)));
}

// Resolution as the default mode's tags get it: against the base in force, decoded as a list
// line, then against the page.
std::string DecodedLine(std::string text) {
  StringList line{std::move(text)};
  UrlDecodeList(line);
  return std::move(line.front());
}

}  // namespace

DocumentBase::DocumentBase(std::string_view location, std::string_view charset)
    : charset_(ConversionCharset(charset)) {
  location = Trim(location);
  fromWeb_ = IsWebUrl(location);
  pageBase_ = ResolveUrl(location, location);
  base_ = pageBase_;
  if (HasWebScheme(location)) web_ = ParseWebUrl(location);
}

void DocumentBase::DeclareCharset(std::string_view charset) {
  charset_ = ConversionCharset(charset);
}

std::string DocumentBase::ForParser(std::string_view value) const {
  if (charset_.empty() || !HasHighByte(value)) return std::string(value);
  // The query keeps the page's bytes; the path and the fragment become UTF-8.
  const size_t hash = std::min(value.find('#'), value.size());
  const size_t query = std::min(value.substr(0, hash).find('?'), hash);
  std::string out;
  auto appendUtf8 = [&](std::string_view part) {
    std::string utf8;
    if (HasHighByte(part) && platform::ConvertToUtf8(charset_, part, utf8))
      out += utf8;
    else
      out += part;
  };
  appendUtf8(value.substr(0, query));
  out += value.substr(query, hash - query);
  appendUtf8(value.substr(hash));
  return out;
}

std::optional<std::string> DocumentBase::Parse(std::string_view value) const {
  return WebUrlHref(ForParser(value), web_ ? &*web_ : nullptr);
}

bool DocumentBase::SetBase(std::string_view href) {
  href = Trim(href);
  if (HasWebScheme(href) || (web_ && !HasOtherScheme(href))) {
    std::optional<WebUrl> parsed = ParseWebUrl(ForParser(href), web_ ? &*web_ : nullptr);
    if (!parsed) return false;
    base_ = parsed->Href();
    web_ = std::move(parsed);
    return true;
  }
  if (web_) return false;  // another scheme under a base on the web
  const std::string resolved = href.empty() ? base_ : ResolveUrl(base_, href);
  if (resolved.empty() || (fromWeb_ && !IsWebUrl(resolved))) return false;
  base_ = resolved;
  return true;
}

std::string DocumentBase::FetchUrl(std::string_view path) const {
  if (HasWebScheme(path) || (web_ && !HasOtherScheme(path))) return Parse(path).value_or("");
  // On disk, and what names another scheme (listed, or left as written, by the import).
  return ResolveUrl(pageBase_, DecodedLine(ResolveUrl(base_, path)));
}

std::optional<std::string> DocumentBase::Address(std::string_view value) const {
  if (HasWebScheme(value) || (web_ && !HasOtherScheme(value))) return Parse(value);
  if (web_) return std::nullopt;
  return DecodedLine(ResolveUrl(pageBase_, ResolveUrl(base_, value)));
}

}  // namespace lorvex
