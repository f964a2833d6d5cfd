// URL resolution against the step-by-step model, its two-step form, URL decoding of texts and
// lists, and the other address routines on any bytes.
#include <fuzzer/FuzzedDataProvider.h>

#include "FuzzCheck.h"
#include "support/LinkModels.h"

using namespace lorvex;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  const std::string base = input.ConsumeRandomLengthString(100);
  const std::string ref = input.ConsumeRemainingBytesAsString();

  const std::string resolved = ResolveUrl(base, ref);
  fuzz::ExpectSame(resolved, model::LiteralResolve(base, ref), "ResolveUrl");
  fuzz::ExpectSame(CombineUrl(base, ref), model::LiteralCombine(base, ref), "CombineUrl");
  const std::string folder = ResolveBaseFolder(base);
  fuzz::ExpectSame(ResolveUrlInFolder(folder, ref), resolved, "ResolveUrlInFolder");
  std::string appended = "x";
  AppendResolvedUrl(appended, folder, ref);
  fuzz::ExpectSame(appended, "x" + resolved, "AppendResolvedUrl");

  // Each line of a list decodes as if a line break followed it, and stays one line.
  StringList lines = SplitLines(ref);
  const StringList original = lines;
  UrlDecodeList(lines);
  fuzz::Expect(lines.size() == original.size(), "UrlDecodeList keeps one line per entry");
  for (size_t i = 0; i < lines.size(); ++i) {
    const std::string whole = UrlDecode(original[i] + "\r\n");
    fuzz::ExpectSame(lines[i], whole.substr(0, whole.size() - 2), "UrlDecodeList line");
  }

  for (const std::string& text : {base, ref}) {
    IsLocalPath(text), IsRelativeUrl(text), StripUrlQuery(text), FileNameOnly(text);
    IsResourceFile(text), IsPageFile(text), IsScriptFile(text), IsAspFile(text);
    LastUrlFolderName(ParentUrlFolder(ExtractUrlFolder(text)));
    ExtractUrlRoot(text), TagFileName(ExtractUrlFileName(text), "2"), FileUrlToPath(text);
  }
  return 0;
}
