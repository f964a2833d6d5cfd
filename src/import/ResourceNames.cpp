#include "import/ResourceNames.h"

#include "util/Strings.h"
#include "util/UrlPath.h"

namespace lorvex {

const std::string& ResourceNames::NameOf(const std::string& url, const std::string& wanted) {
  auto known = names_.find(url);
  if (known != names_.end()) return known->second;
  std::string name = wanted;
  if (!Trim(name).empty()) {
    for (size_t k = 2; !taken_.insert(AsciiLowerCase(name)).second; ++k)
      name = TagFileName(wanted, std::to_string(k));
  }
  return names_.emplace(url, std::move(name)).first->second;
}

std::string ResourceNames::PeekName(const std::string& url, const std::string& wanted) const {
  auto known = names_.find(url);
  if (known != names_.end()) return known->second;
  std::string name = wanted;
  if (!Trim(name).empty()) {
    for (size_t k = 2; taken_.count(AsciiLowerCase(name)) != 0; ++k)
      name = TagFileName(wanted, std::to_string(k));
  }
  return name;
}

std::string WantedFileName(const std::string& url, bool frame) {
  std::string name = ExtractUrlFileName(WithoutQueryOrFragment(url));
  if (frame && !Trim(name).empty() && ExtractUrlFileExt(name).empty()) name += ".htm";
  return name;
}

}  // namespace lorvex
