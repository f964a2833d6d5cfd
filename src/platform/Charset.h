// Text in a named character set turned into the 8-bit text that the imports write file names
// in: UTF-8 on POSIX, the system's ANSI code page on Windows. Nothing here throws.
#pragma once

#include <string>
#include <string_view>

namespace lorvex::platform {

// The bytes, in the character set that charset names (a MIME name such as "utf-8", "gb2312"
// or "iso-8859-1", any letter case), as 8-bit file name text in out. False, out cleared,
// when the character set is unknown, the bytes are not valid in it, or a character has no
// form in the target (Windows would write a stand-in such as "?"). Empty bytes give true
// exactly when the character set is known.
bool ConvertToFileNameText(std::string_view charset, std::string_view bytes, std::string& out);

// The bytes, in the character set that charset names, as UTF-8 in out. False, out cleared,
// when the character set is unknown or the bytes are not valid in it.
bool ConvertToUtf8(std::string_view charset, std::string_view bytes, std::string& out);

// A file name in that 8-bit text as UTF-8, the form a URL names it in: the name itself on
// POSIX, converted from the ANSI code page on Windows. False, out cleared, when the name's
// bytes are not valid there.
bool FileNameTextToUtf8(std::string_view name, std::string& out);

}  // namespace lorvex::platform
