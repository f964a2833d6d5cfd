// What a part's header fields say about the part beyond its kind: the parameters of a field
// value (Content-Type's name, Content-Disposition's filename), the file name the part
// declares, the addresses a page knows it by ("cid:" URLs) and a file extension for its type.
//
// Grammar read for parameters (RFC 2045): the value up to the first ";" is the field's main
// value; after it come "attribute=value" pairs separated by ";", blanks allowed around "="
// and ";". A value is a quoted string (a backslash takes the next character as it is) or a
// token up to the next ";" or blank. Attributes compare in any letter case. A value cut off
// inside its quotes is taken up to the end.
//
// The names a part declares also come in the extended form (RFC 2231): "filename*" with a
// value "charset'language'text" whose "%" and two hexadecimal digits stand for a byte, or
// numbered sections "filename*0", "filename*1*", ... (a "*" after the number marks a section
// in that percent form; the charset stands at the start of section 0). The sections are
// joined in their numbers' order, gaps passed over (the first of two with one number counts),
// as bytes, and the bytes converted once, so that a character split between sections
// survives. An extended value wins over the plain one of the same attribute. An empty or
// unknown charset leaves the bytes as they are. Left alone: RFC 2231 values of other
// attributes, and encoded words inside an extended value.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "archive/EncodedWords.h"
#include "archive/MhtReader.h"

namespace lorvex {

// The value of the parameter attribute in a field value; false when it has none.
bool HeaderParameter(std::string_view fieldValue, std::string_view attribute, std::string& value);

// The file name that the part's headers give it: Content-Disposition's filename, else
// Content-Type's name, each in its extended form when it has one, else the plain value with
// its encoded words decoded; converted either way. False when neither gives a non-blank
// name, or when the one taken cannot be converted.
bool DeclaredFileName(const TMhtPart& part, const TCharsetConversion& convert, std::string& name);

// The "cid:" addresses the part is known by: "cid:" and its Content-ID (the angle brackets
// off, letter case kept), and its location when that is itself a cid: URL.
std::vector<std::string> CidAddresses(const TMhtPart& part);

// A file extension for a Content-Type value: ".png" for image/png, ".css" for text/css,
// ".htm" for text/html and a few more; ".bin" for any other.
std::string_view ExtensionForType(std::string_view contentType);

}  // namespace lorvex
