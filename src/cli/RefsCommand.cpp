// lorvex refs: the references of a page as the page import sees them, with their local names.
#include <cstdio>
#include <stdexcept>

#include "cli/Commands.h"
#include "links/PageLinks.h"
#include "util/FileOperation.h"
#include "util/UrlPath.h"

namespace lorvex::cli {

namespace {

constexpr const char* kRefsUsage = "usage: lorvex refs FILE --base URL [--all]";

// "F.files" for a file F.ext, whatever its folder.
std::string ResourceFolderFor(std::string_view file) {
  size_t slash = file.find_last_of("/\\");
  std::string_view name = slash == std::string_view::npos ? file : file.substr(slash + 1);
  return std::string(name.substr(0, name.rfind('.'))) + ".files";
}

void WriteOut(std::string_view bytes) {
  if (std::fwrite(bytes.data(), 1, bytes.size(), stdout) != bytes.size())
    throw std::runtime_error("cannot write the output");
}

}  // namespace

int RefsCommand(const Args& args) {
  std::string file, base;
  bool all = false, haveBase = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--all") {
      all = true;
    } else if (arg == "--base" && i + 1 < args.size()) {
      base = args[++i];
      haveBase = true;
    } else if (file.empty() && arg.rfind("--", 0) != 0) {
      file = arg;
    } else {
      throw std::invalid_argument(std::string("unexpected argument ") + arg + "\n" + kRefsUsage);
    }
  }
  if (file.empty() || !haveBase) throw std::invalid_argument(kRefsUsage);

  const std::string html = LoadTextFile(file);
  const std::string pageUrl = ResolveUrl(base, base);
  std::string out;
  if (all) {
    for (const std::string& ref : CollectTagReferences(html, pageUrl, false))
      out.append(ref).append("\n");
  } else {
    StringList refs = FetchReferenceList(html, pageUrl);
    StringList locals = MakeLocalNames(refs, ResourceFolderFor(file));
    for (size_t i = 0; i < refs.size(); ++i)
      out.append(refs[i]).append("\t").append(locals[i]).append("\n");
  }
  WriteOut(out);
  if (std::fflush(stdout) != 0) throw std::runtime_error("cannot write the output");
  return 0;
}

}  // namespace lorvex::cli
