// The JSON reader and writer: whatever the reader accepts, the writer writes as valid JSON
// that reads back to the same value and writes to the same text again; what it refuses it
// refuses with JsonError only.
#include "FuzzCheck.h"
#include "util/Json.h"

using namespace lorvex;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text = fuzz::AsText(data, size);
  JsonValue value;
  try {
    value = ParseJson(text);
  } catch (const JsonError&) {
    // A string of the input's bytes is still written as valid JSON.
    const std::string written = WriteJson(JsonValue(text));
    fuzz::Expect(ParseJson(written).IsString(), "any bytes written as a string read back");
    return 0;
  }
  const std::string written = WriteJson(value);
  const JsonValue again = ParseJson(written);
  fuzz::Expect(again == value, "written value reads back the same");
  fuzz::ExpectSame(WriteJson(again), written, "written text is stable");
  return 0;
}
