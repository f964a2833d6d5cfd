// Encoded words and header parameters on any text: decoding never reads past its input, a
// text without "=?" comes back unchanged, a decoded text is never longer than its input plus
// what the conversion adds, and every parameter found is a part of the field value's text
// after its first ";" (unquoted, so never longer than it).
#include "FuzzCheck.h"
#include "archive/EncodedWords.h"
#include "archive/PartHeaders.h"

using namespace lorvex;

namespace {

// Passes the bytes of every set but "x-none" as they are.
bool Identity(std::string_view charset, std::string_view bytes, std::string& out) {
  out.assign(bytes);
  return charset != "x-none";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text = fuzz::AsText(data, size);
  std::string out;
  const bool ok = DecodeEncodedWords(text, Identity, out);
  if (text.find("=?") == std::string_view::npos) {
    fuzz::Expect(ok, "a text without encoded words converts");
    fuzz::ExpectSame(out, std::string(text), "a text without encoded words");
  }
  if (ok) fuzz::Expect(out.size() <= text.size(), "decoding never lengthens with identity sets");
  for (std::string_view attribute : {"name", "filename", "x"}) {
    std::string value;
    if (HeaderParameter(text, attribute, value))
      fuzz::Expect(value.size() < text.size(), "a parameter is shorter than its field");
  }
  TMhtPart part;
  part.ContentType = std::string(text);
  part.ContentDisposition = std::string(text.substr(size / 2));
  std::string name;
  DeclaredFileName(part, Identity, name);
  return 0;
}
