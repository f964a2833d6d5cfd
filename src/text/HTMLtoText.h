// HTML to plain text for the "Convert HTML to Text" extension.
#pragma once

#include <string>
#include <string_view>

namespace lorvex {

// Converts an HTML page into plain text in one left-to-right pass. Style blocks, scripts and
// (unless keepTitle) the title are dropped; a fixed set of tags becomes line breaks, tabs and
// bullets, a fixed set of entities becomes characters; every other tag and entity vanishes.
// With showLinks, each anchor's link follows its text as "[text link ]". Never throws on
// any input; unterminated constructs end the conversion quietly.
std::string ConvertHTMLToText(std::string_view html, bool showLinks, bool keepTitle);

// The token that begins at pos (0-based, pos < text.size()): an entity ("&..."), a tag
// ("<...>") or a run of plain text. Never empty.
std::string_view NextHtmlToken(std::string_view text, size_t pos);

// The link of an anchor start tag (the double-quoted value after HREF), or empty.
std::string ExtractAnchorHref(std::string_view tag);

}  // namespace lorvex
