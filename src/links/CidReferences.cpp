#include "links/CidReferences.h"

#include <optional>

#include "links/CssReferences.h"
#include "links/TagAttributes.h"
#include "links/TagFinder.h"
#include "util/Strings.h"
#include "util/UrlPath.h"

namespace lorvex {

CidNames::const_iterator FindCidName(const CidNames& cidNames, std::string_view value) {
  constexpr std::string_view kCid = "cid:";
  if (!StartsWithIgnoreCase(value, kCid)) return cidNames.end();
  std::string key(kCid);
  key.append(value.substr(kCid.size()));
  auto at = cidNames.find(key);
  if (at == cidNames.end()) {
    // A cid URL may carry its Content-ID percent-encoded.
    key.resize(kCid.size());
    key.append(UrlDecode(value.substr(kCid.size())));
    at = cidNames.find(key);
  }
  return at;
}

std::string RewriteSheetCids(std::string_view css, const CidNames& names,
                             std::vector<std::string>* named) {
  return RewriteCssReferences(css, [&](const CssReference& ref) -> std::optional<std::string> {
    // A URL's surrounding blanks are no part of it: url(" cid:x ") names cid:x.
    auto at = FindCidName(names, Trim(ref.value));
    if (at == names.end()) return std::nullopt;
    if (named) named->push_back(at->first);
    return at->second;
  });
}

std::string RewriteStyleCids(std::string_view html, const CidNames& cids) {
  const auto namesCid = [](std::string_view text) {
    for (size_t at = 0; at + 4 <= text.size(); ++at)
      if (StartsWithIgnoreCase(text.substr(at), "cid:")) return true;
    return false;
  };
  std::string out;
  size_t copied = 0;
  const auto splice = [&](size_t from, size_t to, std::string_view text) {
    out.append(html.substr(copied, from - copied)).append(text);
    copied = to;
  };
  ForEachTag(html, [&](size_t start, size_t end) {
    const std::string_view tag = html.substr(start, end - start + 1);
    for (const HtmlAttribute& attribute : ReadTagAttributes(tag)) {
      if (!EqualsIgnoreCase(attribute.name, "style") || !namesCid(attribute.value)) continue;
      const DecodedText decoded = DecodeCharacterReferences(attribute.value);
      const std::string rewritten = RewriteSheetCids(decoded.text, cids);
      if (rewritten == decoded.text) continue;
      const size_t from = start + attribute.valueOffset;
      // A value that held character references is written with them again.
      splice(from, from + attribute.value.size(),
             attribute.value.find('&') == std::string_view::npos ? rewritten
                                                                 : EscapeAttributeText(rewritten));
    }
    if (!EqualsIgnoreCase(TagName(tag), "style")) return end + 1;
    const size_t close = StyleElementEnd(html, end + 1);
    const std::string_view css = html.substr(end + 1, close - end - 1);
    if (namesCid(css)) {
      const std::string rewritten = RewriteSheetCids(css, cids);
      if (rewritten != css) splice(end + 1, close, rewritten);
    }
    return close;
  });
  out.append(html.substr(copied));
  return out;
}

}  // namespace lorvex
