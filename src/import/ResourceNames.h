// The names of the files in one resource folder of a complete-page import: a URL gets its name
// the first time the import meets it, the same URL always the same name, and a different URL
// whose name is taken the next free "name[k].ext" (k from 2; names compared with the ASCII
// letters folded, as the file system compares them). Each URL is fetched once per folder.
//
// The search for a free name starts, per folded wanted name, at the number after the last one
// it gave: every number below it is taken, and a taken name stays taken. A name the page
// itself uses ("img[3].php") is still skipped, so thousands of URLs of one name are named in
// time linear in their number, with the names the search from 2 would give.
#pragma once

#include <cstddef>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>

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
  // How many names the free-name search has looked up among the taken ones: its cost.
  std::size_t Probes() const { return probes_; }

 private:
  // The first free name for wanted (folded: its lower-cased form) and its number, 0 when
  // wanted itself is free.
  std::pair<std::string, std::size_t> FreeName(const std::string& wanted,
                                               const std::string& folded) const;

  std::unordered_map<std::string, std::string> names_;
  std::unordered_set<std::string> taken_;  // lower-cased
  // Per folded wanted name, the number its search goes on from: those below are taken.
  std::unordered_map<std::string, std::size_t> nextNumber_;
  std::unordered_set<std::string> fetched_;
  mutable std::size_t probes_ = 0;
};

// The name a complete-page import wants for url: the file name of its path without query and
// fragment (decoded for a URL of the web), with ".htm" added for a frame's page without
// extension.
std::string WantedFileName(const std::string& url, bool frame);

}  // namespace lorvex
