// The native tool `lorvex`: one small front over the portable core. Each command takes the
// arguments after its name and returns the exit status; its usage is the command line after
// "lorvex ", made from the options it declares (CommandLine.h).
#pragma once

#include <string>
#include <vector>

namespace lorvex::cli {

using Args = std::vector<std::string>;

// lorvex text FILE [--show-links] [--keep-title]
int TextCommand(const Args& args);
std::string TextUsage();
int RefsCommand(const Args& args);  // lorvex refs FILE --base URL [--all]
std::string RefsUsage();
int RewriteCommand(const Args& args);  // lorvex rewrite FILE --local-folder DIR --page-url URL
std::string RewriteUsage();
int MhtCommand(const Args& args);  // lorvex mht ARCHIVE --work DIR --doc ID
std::string MhtUsage();
int GetCommand(const Args& args);  // lorvex get URL [--out FILE] [--proxy HOST:PORT] ...
std::string GetUsage();
// lorvex import FILE|URL --work DIR --doc ID ...: 0 all saved, 3 the page saved with resources
// not fetched, 1 no page, 2 wrong arguments.
int ImportCommand(const Args& args);
std::string ImportUsage();

}  // namespace lorvex::cli
