// The texts of attribute values in a page of the complete-page mode: escaping a text to put
// inside a value, and the image candidates of a srcset.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace lorvex {

// A text to put inside an attribute value: "&", quotes and "<" ">" written as references.
std::string EscapeAttributeText(std::string_view text);

// One image candidate of a srcset: its URL's position and length in the srcset text; the
// descriptors after it stay where they are.
struct SrcsetCandidate {
  size_t offset = 0;
  size_t length = 0;
};
// The candidates of a srcset value, in order, as a browser splits them: a URL is a run of
// non-whitespace (commas at its end are separators), its descriptors run to the next comma
// outside parentheses.
std::vector<SrcsetCandidate> SplitSrcset(std::string_view srcset);

}  // namespace lorvex
