// The native tool `lorvex`: one small front over the portable core. Each command takes the
// arguments after its name and returns the exit status.
#pragma once

#include <string>
#include <vector>

namespace lorvex::cli {

using Args = std::vector<std::string>;

// lorvex text FILE [--show-links] [--keep-title]
int TextCommand(const Args& args);
// lorvex mht ARCHIVE --work DIR --doc ID
int MhtCommand(const Args& args);

}  // namespace lorvex::cli
