// The native tool `lorvex`: one small front over the portable core. Each command takes the
// arguments after its name and returns the exit status.
#pragma once

#include <string>
#include <vector>

namespace lorvex::cli {

using Args = std::vector<std::string>;

// lorvex text FILE [--show-links] [--keep-title]
int TextCommand(const Args& args);
int RefsCommand(const Args& args);     // lorvex refs FILE --base URL [--all]
int RewriteCommand(const Args& args);  // lorvex rewrite FILE --local-folder DIR --page-url URL
int MhtCommand(const Args& args);      // lorvex mht ARCHIVE --work DIR --doc ID
int GetCommand(const Args& args);      // lorvex get URL [--out FILE] [--proxy HOST:PORT] ...
int ImportCommand(const Args& args);   // lorvex import FILE|URL --work DIR --doc ID ...

}  // namespace lorvex::cli
