// 8-bit text in the system's ANSI code page and UTF-16, the form that window captions, fonts
// and urlmon take. Both directions throw when the system cannot convert the text (more than
// INT_MAX characters, or a conversion the system refuses).
#pragma once

#include <string>
#include <string_view>

namespace lorvex::win32 {

std::wstring AnsiToWide(std::string_view text);
std::string WideToAnsi(std::wstring_view text);

}  // namespace lorvex::win32
