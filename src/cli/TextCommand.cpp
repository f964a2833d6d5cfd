// lorvex text: the file converted as the "Convert HTML to Text" extension packs it.
#include <cstdio>
#include <stdexcept>

#include "cli/CommandLine.h"
#include "cli/Commands.h"
#include "text/HTMLtoText.h"
#include "util/FileOperation.h"

namespace lorvex::cli {

namespace {

struct TextArgs {
  std::string file;
  bool showLinks = false, keepTitle = false;
};

CommandLine TextLine(TextArgs& parsed) {
  CommandLine line("text", "FILE", &parsed.file, {.usageAfterUnexpected = false});
  line.Flag("--show-links", &parsed.showLinks).Flag("--keep-title", &parsed.keepTitle);
  return line;
}

}  // namespace

std::string TextUsage() {
  TextArgs unused;
  return TextLine(unused).Usage();
}

int TextCommand(const Args& args) {
  TextArgs parsed;
  CommandLine line = TextLine(parsed);
  if (line.Parse(args) == CommandLine::Outcome::HelpShown) return 0;
  if (line.MissingRequired()) throw UsageError(line.UsageLine());

  std::string text;
  {
    std::string html = LoadTextFile(parsed.file);
    text = ConvertHTMLToText(html, parsed.showLinks, parsed.keepTitle);
  }
  // The packed document holds the converted text as lines, CR LF after every line. It is
  // normalised block by block on the way out, so the text is not held twice.
  constexpr size_t kBlock = 1 << 20;
  std::string block;
  LineBreakNormalizer normalizer(block);
  auto flush = [&] {
    if (std::fwrite(block.data(), 1, block.size(), stdout) != block.size())
      throw std::runtime_error("cannot write the output");
    block.clear();
  };
  for (size_t pos = 0; pos < text.size(); pos += kBlock) {
    normalizer.Append(std::string_view(text).substr(pos, kBlock));
    flush();
  }
  normalizer.Finish();
  flush();
  if (std::fflush(stdout) != 0) throw std::runtime_error("cannot write the output");
  return 0;
}

}  // namespace lorvex::cli
