// lorvex refs: the references of a page as the page import sees them, with their local names.
#include <cstdio>
#include <stdexcept>

#include "cli/CommandLine.h"
#include "cli/Commands.h"
#include "links/PageLinks.h"
#include "util/FileOperation.h"
#include "util/UrlPath.h"

namespace lorvex::cli {

namespace {

struct RefsArgs {
  std::string file, base;
  bool all = false;
};

CommandLine RefsLine(RefsArgs& parsed) {
  CommandLine line("refs", "FILE", &parsed.file, {.missingValueUnexpected = true});
  line.Value("--base", "URL", &parsed.base, CommandLine::Need::Required).Flag("--all", &parsed.all);
  return line;
}

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

std::string RefsUsage() {
  RefsArgs unused;
  return RefsLine(unused).Usage();
}

int RefsCommand(const Args& args) {
  RefsArgs parsed;
  CommandLine line = RefsLine(parsed);
  if (line.Parse(args) == CommandLine::Outcome::HelpShown) return 0;
  if (line.MissingRequired()) throw UsageError(line.UsageLine());

  const std::string html = LoadTextFile(parsed.file);
  const std::string pageUrl = ResolveUrl(parsed.base, parsed.base);
  std::string out;
  if (parsed.all) {
    for (const std::string& ref : CollectTagReferences(html, pageUrl, false))
      out.append(ref).append("\n");
  } else {
    StringList refs = FetchReferenceList(html, pageUrl);
    StringList locals = MakeLocalNames(refs, ResourceFolderFor(parsed.file));
    for (size_t i = 0; i < refs.size(); ++i)
      out.append(refs[i]).append("\t").append(locals[i]).append("\n");
  }
  WriteOut(out);
  if (std::fflush(stdout) != 0) throw std::runtime_error("cannot write the output");
  return 0;
}

}  // namespace lorvex::cli
