// URL and path routines shared by the imports. Paths and URLs are treated with one
// vocabulary: "\" and "/" both separate folders wherever a delimiter is looked for.
#pragma once

#include <string>
#include <string_view>

namespace lorvex {

// Empty stays empty; a text ending in "\" or "/" stays; anything else gets "\".
std::string AddBackslash(std::string_view text);
// A text ending in "/" or "\" stays; anything else gets "/".
std::string AddSlash(std::string_view text);
// Removes exactly one trailing "\" or "/".
std::string RemoveTrailingDelimiter(std::string_view text);

constexpr bool IsPathDelimiter(char c) { return c == '\\' || c == '/'; }

}  // namespace lorvex
