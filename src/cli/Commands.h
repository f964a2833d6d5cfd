// The native tool `lorvex`: one small front over the portable core. Each command takes the
// arguments after its name and returns the exit status.
#pragma once

#include <string>
#include <vector>

namespace lorvex::cli {

using Args = std::vector<std::string>;

// lorvex text FILE [--show-links] [--keep-title]
int TextCommand(const Args& args);
// lorvex get URL [--out FILE] [--proxy HOST:PORT] [--read-timeout MS] [--no-redirects] [--no-cookies]
int GetCommand(const Args& args);

}  // namespace lorvex::cli
