// A page as a copy that runs no script: for a page saved as a browser rendered it, whose
// scripts already did their work and would undo or repeat it when the copy is opened.
//
// The page is read once by the HTML tokenizer (html/HtmlTokenizer.h), as the complete mode
// reads it, and written again by splicing its own bytes: what goes is cut out, every other byte
// is copied as it stands.
//
// What goes:
// - <script> elements that a browser runs or acts on: classic scripts (a JavaScript MIME type,
//   or no type at all), module scripts, import maps and speculation rules (which make the
//   browser fetch pages). Data blocks (any other type, such as application/ld+json or
//   text/template) stay. A script in svg content holds markup, and cutting it out would change
//   how what follows is read: it stays as a data block of text (type="text/plain", without its
//   type, language and source attributes).
// - event handler attributes (on...) on every element;
// - <link rel="modulepreload"> and <link rel="preload" as="script">.
// A javascript: URL in an address attribute (href, src, action, formaction, data) becomes "#",
// so the link keeps its look and runs nothing. <noscript> stays as it is: a browser with
// scripting on reads it as text whether scripts are there or not. An <iframe srcdoc> document
// is not rendered with its page, so it keeps its scripts, as a frame's own page does.
//
// A start tag that loses an attribute or gets a new value is written from the attributes the
// browser reads, each with its own bytes: a name written twice counts only the first time for
// a browser, so the later ones go with it (or a removed handler would come back).
#pragma once

#include <string>
#include <string_view>

namespace lorvex {

std::string ScriptFreePage(std::string_view html);

}  // namespace lorvex
