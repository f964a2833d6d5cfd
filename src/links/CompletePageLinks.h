// The references of a page as the complete-page mode reads them: the tags' own references
// (with the extension tests of modern kinds) and what modern pages add: srcset candidates,
// <source>, <video>, <audio> and <track> sources, video posters, svg <use> and <image>
// references (icon sprites), <object data>, lazy-loading attributes, style attributes, <style>
// elements, inline scripts and <iframe srcdoc> documents.
//
// A page is read once by the HTML tokenizer (HtmlTokenizer.h), as a browser reads it: values
// with their character references decoded, the first <base href> for every reference, and the
// URL of each value formed as a browser forms it (DocumentBase.h): escapes kept, dot segments
// resolved, what a URL cannot hold percent-encoded. The
// text of a script (a script file, or an inline <script> element's) is code: in it only the
// tags' own kinds are read, by the tag search of the link passes (TagFinder.h).
//
// One scan gives every place in the page text that names another file, in order. Rewriting
// splices a replacement into each place; every other byte of the page is copied as it stands.
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
    Tag,             // a value of the tags' own kinds in a script's text, replaced as it stands
    Attribute,       // an attribute value, or a srcset candidate (character references decoded)
    Style,           // a url() or @import in a <style> element
    StyleAttribute,  // a url() in a style attribute (character references decoded)
    // removed: a base's href, a charset declaration of UTF-8 or a content security policy
    RemoveTag,
    // integrity or crossorigin (with the blanks before it): removed when a reference of the
    // same tag is saved, since a copy on disk can pass neither check
    RemoveAttribute,
    // an <iframe srcdoc> document: `inner`, whose places are offsets into the decoded value,
    // rewritten where they stand in the value as written
    Srcdoc,
  };
  Form form = Form::Tag;
  size_t offset = 0, length = 0;  // the raw text in the page that is replaced
  size_t tag = 0;                 // where the tag that holds it starts
  int kind = -1;                  // the reference kind of a tag's own value, else -1
  bool srcset = false;            // a srcset candidate, where "," separates
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
  // Form::Srcdoc: the references of the decoded document, where each byte i of that document
  // comes from byte documentRaw[i] of the value (DecodedHtmlText::rawOffset), and the value's
  // quote ('"', '\'' or 0).
  std::vector<PageReference> inner;
  std::vector<size_t> documentRaw;
  char quote = 0;
};

// Every reference of the page, as listed at the top of this file. pageUrl is the page's location;
// script is set for a script's text, of which only the tags' own kinds are read (style text and
// lazy attributes in a script's strings are code, not markup).
std::vector<PageReference> ScanCompletePage(std::string_view html, std::string_view pageUrl,
                                            bool script);

// The URL a value of a style sheet (or style element) at sheetUrl names, fragment off; empty
// for values that are not fetched (data:, cid:, javascript:, fragments, empty ones).
std::string StyleReferenceUrl(std::string_view sheetUrl, std::string_view value,
                              std::string* fragment);

// The page with each reference for which localName gives a local file written as that file
// (its path as UTF-8, "/" separated), percent-encoded where a URL could not hold it and escaped
// for its place, the reference's fragment after it; removed tags removed, and the absolute
// form of unsaved values put in.
std::string RewriteCompletePage(
    std::string_view html, const std::vector<PageReference>& refs,
    const std::function<std::optional<std::string>(const PageReference&)>& localName);

}  // namespace lorvex
