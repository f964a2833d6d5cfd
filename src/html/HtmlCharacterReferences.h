// Character references in HTML text ("&amp;", "&copy", "&#233;", "&#X2F;"), decoded as a
// browser decodes them, with a map from the decoded bytes back to the raw text.
//
// The raw text is bytes of any 8-bit charset and its own bytes are copied unchanged; only a
// reference's characters are written, as UTF-8. As a browser's input stream has them, a NUL
// becomes U+FFFD and a CR or CR LF becomes LF.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace lorvex {

// Byte i of text comes from raw[rawOffset[i]] (every byte of a reference's characters points
// at its "&"), and rawOffset[text.size()] is the raw length. The map never goes down, so a
// decoded range [a, b) comes from the raw range [rawOffset[a], rawOffset[b]).
struct DecodedHtmlText {
  std::string text;
  std::vector<size_t> rawOffset;
};

// Decodes every reference of raw: the named ones (the legacy names also without their ";"),
// decimal and hexadecimal ones ("&#x" or "&#X"). A number that names no character (0, a
// surrogate, above U+10FFFF) gives U+FFFD; 0x80-0x9F give the windows-1252 characters. In an
// attribute value (inAttribute) a name without ";" followed by "=" or a letter or digit stays
// as written ("&not=1"). Anything that is not a reference stays as written.
DecodedHtmlText DecodeHtmlText(std::string_view raw, bool inAttribute);

}  // namespace lorvex
