#include "util/WebPublicFunc.h"

namespace lorvex {

std::string AddBackslash(std::string_view text) {
  if (text.empty() || IsPathDelimiter(text.back())) return std::string(text);
  return std::string(text) + '\\';
}

std::string AddSlash(std::string_view text) {
  if (!text.empty() && IsPathDelimiter(text.back())) return std::string(text);
  return std::string(text) + '/';
}

std::string RemoveTrailingDelimiter(std::string_view text) {
  if (!text.empty() && IsPathDelimiter(text.back())) text.remove_suffix(1);
  return std::string(text);
}

}  // namespace lorvex
