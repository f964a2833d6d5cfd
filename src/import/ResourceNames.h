// The names of the files in one resource folder of a complete-page import: a URL gets its name
// the first time the import meets it, the same URL always the same name, and a different URL
// whose name is taken the next free "name[k].ext" (k from 2; names compared with the ASCII
// letters folded, as the file system compares them). Each URL is fetched once per folder.
#pragma once

#include <string>
#include <unordered_map>
#include <unordered_set>

namespace lorvex {

class ResourceNames {
 public:
  // The name of url in this folder; `wanted` when it is free (or already url's). A blank
  // wanted name stays blank and takes nothing.
  const std::string& NameOf(const std::string& url, const std::string& wanted);
  // The name NameOf would give now, without giving it.
  std::string PeekName(const std::string& url, const std::string& wanted) const;
  // True the first time it is asked for url.
  bool FirstFetch(const std::string& url) { return fetched_.insert(url).second; }
  bool Fetched(const std::string& url) const { return fetched_.count(url) != 0; }

 private:
  std::unordered_map<std::string, std::string> names_;
  std::unordered_set<std::string> taken_;  // lower-cased
  std::unordered_set<std::string> fetched_;
};

// The name a complete-page import wants for url: the file name of its path without query and
// fragment, with ".htm" added for a frame's page without extension.
std::string WantedFileName(const std::string& url, bool frame);

}  // namespace lorvex
