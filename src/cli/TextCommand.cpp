// lorvex text: the file converted as the "Convert HTML to Text" extension packs it.
#include <cstdio>
#include <stdexcept>

#include "cli/Commands.h"
#include "text/HTMLtoText.h"
#include "util/FileOperation.h"

namespace lorvex::cli {

int TextCommand(const Args& args) {
  std::string file;
  bool showLinks = false, keepTitle = false;
  for (const std::string& arg : args) {
    if (arg == "--show-links")
      showLinks = true;
    else if (arg == "--keep-title")
      keepTitle = true;
    else if (file.empty() && arg.rfind("--", 0) != 0)
      file = arg;
    else
      throw std::invalid_argument("unexpected argument " + arg);
  }
  if (file.empty())
    throw std::invalid_argument("usage: lorvex text FILE [--show-links] [--keep-title]");

  std::string text;
  {
    std::string html = LoadTextFile(file);
    text = ConvertHTMLToText(html, showLinks, keepTitle);
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
