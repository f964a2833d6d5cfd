#include "links/CidReferences.h"

#include <optional>

#include "html/HtmlTokenizer.h"
#include "links/CssReferences.h"
#include "links/TagAttributes.h"
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
  const std::vector<HtmlToken> tokens = TokenizeHtml(html);
  for (size_t t = 0; t < tokens.size(); ++t) {
    const HtmlToken& token = tokens[t];
    if (token.kind == HtmlTokenKind::StartTag) {
      const HtmlTagAttribute* style = FindHtmlAttribute(token, "style");
      if (!style || !namesCid(style->value.text)) continue;
      const std::string rewritten = RewriteSheetCids(style->value.text, cids);
      if (rewritten == style->value.text) continue;
      // A value that held character references is written with them again.
      const size_t from = style->valueOffset;
      splice(from, from + style->rawValue.size(),
             style->rawValue.find('&') == std::string_view::npos ? rewritten
                                                                 : EscapeAttributeText(rewritten));
    } else if (token.kind == HtmlTokenKind::RawText && t > 0 && tokens[t - 1].name == "style") {
      const std::string_view css =
          html.substr(token.contentBegin, token.contentEnd - token.contentBegin);
      if (!namesCid(css)) continue;
      const std::string rewritten = RewriteSheetCids(css, cids);
      if (rewritten != css) splice(token.contentBegin, token.contentEnd, rewritten);
    }
  }
  out.append(html.substr(copied));
  return out;
}

}  // namespace lorvex
