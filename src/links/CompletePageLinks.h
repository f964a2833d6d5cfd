// The references of a page as the complete-page mode reads them: the tags' own references
// (with the extension tests of modern kinds) and what modern pages add: srcset candidates,
// <source>, <video>, <audio> and <track> sources, video posters, svg <use> and <image>
// references (icon sprites), lazy-loading attributes, style attributes and <style> elements.
//
// One scan gives every place in the page text that names another file, in order: within one
// tag in the order of its attributes, a srcset's candidates in order, a style's url() values
// in order. Rewriting splices a replacement into each place; every other byte of the page is
// copied as it stands. The tag finder is the link passes' one.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "links/PageLinks.h"

namespace lorvex {

struct PageReference {
  enum class Form {
    Tag,             // a value of the tags' own kinds, replaced as it stands
    Attribute,       // a srcset candidate or an attribute of modern pages
    Style,           // a url() or @import in a <style> element
    StyleAttribute,  // a url() in a style attribute (character references decoded)
    RemoveTag,       // a base tag, or a charset declaration of UTF-8: the whole tag goes
  };
  Form form = Form::Tag;
  size_t offset = 0, length = 0;  // the raw text in the page that is replaced
  int kind = -1;                  // the tag's reference kind for Form::Tag, else -1
  char cssQuote = 0;              // the quote of a style reference ('"', '\'' or 0)
  std::string value;              // the value as the page means it (decoded where it is coded)
  // Where it is fetched from, fragment off; empty when the import does not save it.
  std::string url;
  std::string fragment;      // "#..." of the value, put back after the local name
  bool styleSheet = false;   // fetched for <link rel="stylesheet"> or @import
  bool inlineStyle = false;  // from a style attribute or a <style> element
  // The text that takes the place of a value that is not saved (anchors, and values of a page
  // from the web that name no known file); nothing when it stays as written.
  std::optional<std::string> absolute;
};

// Every reference of the page, as described above. pageUrl is the page's location; script
// is set for a script's text, of which only the tags' own kinds are read (style text and
// lazy attributes in a script's strings are code, not markup).
std::vector<PageReference> ScanCompletePage(std::string_view html, std::string_view pageUrl,
                                            bool script);

// The URL a value of a style sheet (or style element) at sheetUrl names, fragment off; empty
// for values that are not fetched (data:, cid:, javascript:, fragments, empty ones).
std::string StyleReferenceUrl(std::string_view sheetUrl, std::string_view value,
                              std::string* fragment);

// The page with each reference for which localName gives a text written as that text (escaped
// for its place), removed tags removed, and the absolute form of unsaved values put in.
std::string RewriteCompletePage(
    std::string_view html, const std::vector<PageReference>& refs,
    const std::function<std::optional<std::string>(const PageReference&)>& localName);

}  // namespace lorvex
