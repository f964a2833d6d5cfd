// The local names of fetched references: the file each kind-prefixed reference is saved as
// in the resource folder, with clash numbers telling apart different files of one name.
#pragma once

#include <string>
#include <string_view>

#include "util/Strings.h"

namespace lorvex {

// One entry per line of refs, in order.
// The file name of each reference, query cut off; frames without extension get ".htm".
StringList ReferenceFileNames(const StringList& refs);
// A number text per line telling apart different files that would get the same name.
StringList NumberNameClashes(const StringList& refs);
// folder + file name, with "[n]" before the extension when the clash number n is not 1.
StringList MakeLocalNames(const StringList& refs, std::string_view folder);

// The folder as local names begin with it: trimmed, "/" for every "\", and a "/" at its end
// unless it is empty.
void NormalizeFolderText(std::string& folder);

}  // namespace lorvex
