// Parts of a mail archive named by "cid:" addresses in a page's markup and style text: the
// map from an address to the part's local name, and the rewriting of style text (style
// sheets, <style> elements and style attributes) that points each known address at its part.
// Below both the page rewriting and the archive import, which compose it.
#pragma once

#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace lorvex {

// The local names of the parts of an archive that are known by Content-ID: "cid:" followed by
// the id (letter case kept) maps to the text that takes the place of such a reference.
using CidNames = std::unordered_map<std::string, std::string>;

// The entry that a "cid:" value (its scheme in any letter case) names: the value as written,
// else with its Content-ID percent-decoded; end() when there is none.
CidNames::const_iterator FindCidName(const CidNames& cidNames, std::string_view value);

// The style sheet with each url() or @import whose value is a cid: address in names pointed
// at its local name; the keys so named are added to `named` when it is given.
std::string RewriteSheetCids(std::string_view css, const CidNames& names,
                             std::vector<std::string>* named = nullptr);

// The page with every cid: reference of its <style> elements and style attributes that names a
// part in cids pointed at that part's local name; every other byte as it stands.
std::string RewriteStyleCids(std::string_view html, const CidNames& cids);

}  // namespace lorvex
