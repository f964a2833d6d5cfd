// A literal model of the names in one resource folder, shared by the naming tests and the
// naming benchmark: every new URL of a taken name searches for a free "name[k].ext" from
// k = 2 up, comparing names with the ASCII letters folded. It is quadratic in the number of
// URLs of one name (the benchmark's "before"), and it counts its look-ups as the library
// counts its own.
#pragma once

#include <cstddef>
#include <string>
#include <unordered_map>
#include <unordered_set>

#include "util/Strings.h"
#include "util/UrlPath.h"

namespace lorvex::model {

class ResourceNamesModel {
 public:
  std::string NameOf(const std::string& url, const std::string& wanted) {
    auto known = names_.find(url);
    if (known != names_.end()) return known->second;
    std::string name = PeekName(url, wanted);
    if (!Trim(name).empty()) taken_.insert(AsciiLowerCase(name));
    return names_[url] = name;
  }

  std::string PeekName(const std::string& url, const std::string& wanted) const {
    auto known = names_.find(url);
    if (known != names_.end()) return known->second;
    std::string name = wanted;
    if (Trim(name).empty()) return name;
    for (std::size_t k = 2; ++probes_, taken_.count(AsciiLowerCase(name)) != 0; ++k)
      name = TagFileName(wanted, std::to_string(k));
    return name;
  }

  std::size_t Probes() const { return probes_; }

 private:
  std::unordered_map<std::string, std::string> names_;
  std::unordered_set<std::string> taken_;
  mutable std::size_t probes_ = 0;
};

}  // namespace lorvex::model
