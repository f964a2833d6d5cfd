// Conventions of this file: tokens are the tokenizer's, positions are offsets into the page;
// `copied` is how far the page has been written or cut, so each cut or rewritten tag first
// writes the bytes before it. Names are compared in the tokenizer's lower case; types and
// link relations fold A-Z only.
#include "links/ScriptFreePage.h"

#include <algorithm>
#include <vector>

#include "html/HtmlTokenizer.h"
#include "util/Strings.h"

namespace lorvex {

namespace {

constexpr bool IsHtmlSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r';
}

std::string_view TrimHtmlSpace(std::string_view text) {
  while (!text.empty() && IsHtmlSpace(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsHtmlSpace(text.back())) text.remove_suffix(1);
  return text;
}

// True when the space-separated list holds token, letters folded.
bool HasToken(std::string_view list, std::string_view token) {
  size_t i = 0;
  while (i < list.size()) {
    while (i < list.size() && IsHtmlSpace(list[i])) ++i;
    size_t end = i;
    while (end < list.size() && !IsHtmlSpace(list[end])) ++end;
    if (end > i && EqualsIgnoreCase(list.substr(i, end - i), token)) return true;
    i = end;
  }
  return false;
}

// The types a browser runs as a classic script: the JavaScript MIME types, whole (a type with
// parameters, "text/javascript;charset=utf-8", is a data block).
constexpr std::string_view kJavaScriptTypes[] = {"application/ecmascript",
                                                 "application/javascript",
                                                 "application/x-ecmascript",
                                                 "application/x-javascript",
                                                 "text/ecmascript",
                                                 "text/javascript",
                                                 "text/javascript1.0",
                                                 "text/javascript1.1",
                                                 "text/javascript1.2",
                                                 "text/javascript1.3",
                                                 "text/javascript1.4",
                                                 "text/javascript1.5",
                                                 "text/jscript",
                                                 "text/livescript",
                                                 "text/x-ecmascript",
                                                 "text/x-javascript"};

// The other types whose text a browser acts on: modules, the import maps that modules read,
// and speculation rules, which fetch pages ahead.
constexpr std::string_view kActedOnTypes[] = {"module", "importmap", "speculationrules"};

// True when a browser runs the script element or acts on its text. Its type comes from the
// type attribute; without one, from a language attribute ("text/" and its value); an empty
// one of either, or neither, means JavaScript.
bool RunsInBrowser(const HtmlToken& script) {
  const HtmlTagAttribute* type = FindHtmlAttribute(script, "type");
  const HtmlTagAttribute* language = FindHtmlAttribute(script, "language");
  std::string typeText;
  if (type && !type->value.text.empty())
    typeText = type->value.text;
  else if (!type && language && !language->value.text.empty())
    typeText = "text/" + language->value.text;
  else
    return true;
  const std::string_view essence = TrimHtmlSpace(typeText);
  const auto matches = [&](std::string_view known) { return EqualsIgnoreCase(essence, known); };
  return std::any_of(std::begin(kJavaScriptTypes), std::end(kJavaScriptTypes), matches) ||
         std::any_of(std::begin(kActedOnTypes), std::end(kActedOnTypes), matches);
}

// <link rel="modulepreload"> and <link rel="preload" as="script">: the browser fetches a
// script for later.
bool PreloadsScript(const HtmlToken& link) {
  const HtmlTagAttribute* rel = FindHtmlAttribute(link, "rel");
  if (!rel) return false;
  if (HasToken(rel->value.text, "modulepreload")) return true;
  const HtmlTagAttribute* as = FindHtmlAttribute(link, "as");
  return as && HasToken(rel->value.text, "preload") &&
         EqualsIgnoreCase(TrimHtmlSpace(as->value.text), "script");
}

bool IsEventHandler(const HtmlTagAttribute& attribute) {
  return attribute.name.size() > 2 && attribute.name.compare(0, 2, "on") == 0;
}

// The attributes whose value a browser follows as an address, where a javascript: URL runs.
bool IsAddressAttribute(std::string_view name) {
  static constexpr std::string_view kNames[] = {"href",       "src",  "action",
                                                "formaction", "data", "xlink:href"};
  return std::find(std::begin(kNames), std::end(kNames), name) != std::end(kNames);
}

// A URL with the javascript: scheme, read as a browser's URL parser reads it: C0 controls and
// spaces around it and tabs and line breaks inside it do not count.
bool IsJavaScriptUrl(std::string_view value) {
  constexpr std::string_view kScheme = "javascript:";
  size_t matched = 0;
  for (const char c : Trim(value)) {
    if (c == '\t' || c == '\n' || c == '\r') continue;
    if (AsciiLower(c) != kScheme[matched]) return false;
    if (++matched == kScheme.size()) return true;
  }
  return false;
}

bool RunsJavaScriptUrl(const HtmlTagAttribute& attribute) {
  return attribute.hasValue && IsAddressAttribute(attribute.name) &&
         IsJavaScriptUrl(attribute.value.text);
}

bool NeedsRewrite(const HtmlToken& tag) {
  return std::any_of(tag.attributes.begin(), tag.attributes.end(),
                     [](const auto& a) { return IsEventHandler(a) || RunsJavaScriptUrl(a); });
}

// Where an attribute ends in the page: after its value's closing quote, or its name as written
// (where a value would start; the folded name is longer where a NUL became U+FFFD).
size_t AttributeEnd(const HtmlTagAttribute& attribute) {
  if (!attribute.hasValue) return attribute.valueOffset;
  return attribute.valueOffset + attribute.rawValue.size() + (attribute.quote ? 1 : 0);
}

// The attributes that make an svg script run, or name what it runs.
bool IsScriptTypeOrSource(const HtmlTagAttribute& attribute) {
  static constexpr std::string_view kNames[] = {"type", "language", "href", "xlink:href", "src"};
  return std::find(std::begin(kNames), std::end(kNames), attribute.name) != std::end(kNames);
}

// The type that an svg script is given so that it runs nothing: a data block of text.
constexpr std::string_view kInertScriptType = " type=\"text/plain\"";

// The start tag without its event handlers and with "#" for its javascript: URLs, from the
// attributes a browser reads, each written with its own bytes. An inert script tag also loses
// its type and source, and is a data block instead.
void WriteScriptFreeTag(std::string_view html, const HtmlToken& tag, bool inertScript,
                        std::string& out) {
  size_t nameEnd = tag.begin + 1;
  while (nameEnd < tag.end && !IsHtmlSpace(html[nameEnd]) && html[nameEnd] != '/' &&
         html[nameEnd] != '>')
    ++nameEnd;
  out.append(html.substr(tag.begin, nameEnd - tag.begin));
  if (inertScript) out += kInertScriptType;
  for (const HtmlTagAttribute& attribute : tag.attributes) {
    if (IsEventHandler(attribute) || (inertScript && IsScriptTypeOrSource(attribute))) continue;
    // A name that begins with "=" would become the value of an attribute written without
    // one before it; a "/" between them keeps them apart, as it did in the page.
    out += html[attribute.nameOffset] == '=' ? " /" : " ";
    if (RunsJavaScriptUrl(attribute)) {
      out.append(html.substr(attribute.nameOffset, attribute.valueOffset - attribute.nameOffset));
      out += '#';
      if (attribute.quote) out += attribute.quote;
    } else {
      out.append(html.substr(attribute.nameOffset, AttributeEnd(attribute) - attribute.nameOffset));
    }
  }
  // A blank first, so that an unquoted value before it does not take the "/".
  if (tag.selfClosing) out += " /";
  out += '>';
}

// Where the HTML script element whose start tag is tokens[i] ends: its raw text runs to its
// end tag, or to the end of the page; `last` is the index of its last token.
size_t ScriptElementEnd(const std::vector<HtmlToken>& tokens, size_t i, size_t pageEnd,
                        size_t& last) {
  last = i;
  if (i + 1 < tokens.size() && tokens[i + 1].kind == HtmlTokenKind::RawText) ++last;
  if (last + 1 < tokens.size() && tokens[last + 1].kind == HtmlTokenKind::EndTag)
    return tokens[++last].end;
  return pageEnd;
}

}  // namespace

std::string ScriptFreePage(std::string_view html) {
  const std::vector<HtmlToken> tokens = TokenizeHtml(html);
  std::string out;
  out.reserve(html.size());
  size_t copied = 0;
  const auto copyTo = [&](size_t position) {
    out.append(html.substr(copied, position - copied));
    copied = position;
  };
  // Cuts the page from `copied` to end. A "<" of the text just before the cut would open a tag
  // with the text after it ("<<script></script>img onerror=...>"): it is written as a
  // reference, which shows the same character.
  const auto cutTo = [&](size_t end) {
    if (!out.empty() && out.back() == '<') {
      out.pop_back();
      out += "&lt;";
    }
    copied = end;
  };
  for (size_t i = 0; i < tokens.size(); ++i) {
    const HtmlToken& tag = tokens[i];
    if (tag.kind != HtmlTokenKind::StartTag) continue;
    if (tag.name == "script" && RunsInBrowser(tag) && tag.foreign) {
      // An svg script holds markup: cut out, it would change how what follows it is read.
      // It stays, as a data block.
      copyTo(tag.begin);
      WriteScriptFreeTag(html, tag, true, out);
      copied = tag.end;
    } else if (tag.name == "script" && RunsInBrowser(tag)) {
      copyTo(tag.begin);
      cutTo(ScriptElementEnd(tokens, i, html.size(), i));
    } else if (tag.name == "link" && !tag.foreign && PreloadsScript(tag)) {
      copyTo(tag.begin);
      cutTo(tag.end);
    } else if (NeedsRewrite(tag)) {
      copyTo(tag.begin);
      WriteScriptFreeTag(html, tag, false, out);
      copied = tag.end;
    }
  }
  copyTo(html.size());
  return out;
}

}  // namespace lorvex
