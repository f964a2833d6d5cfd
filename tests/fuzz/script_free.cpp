// The script-free copy on any bytes: a second pass over the copy changes nothing, so nothing
// that runs is left in it, however the cuts join what was around them; and the copy stays
// within a bound of the page (a rewritten tag grows by a few bytes at most, an svg script's
// start tag by its new type, a "<" before a cut to "&lt;").
#include "FuzzCheck.h"
#include "links/ScriptFreePage.h"

using namespace lorvex;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view page = fuzz::AsText(data, size);
  const std::string copy = ScriptFreePage(page);
  fuzz::ExpectSame(ScriptFreePage(copy), copy, "a second pass over the copy");
  fuzz::Expect(copy.size() <= 4 * size + 8, "the copy stays within a bound of the page");
  return 0;
}
