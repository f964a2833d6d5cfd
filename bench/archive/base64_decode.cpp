// Decodes base64 from standard input to standard output with the import's stream decoder:
// the benchmark's counterpart of `base64 -d`.
#include <cstdio>
#include <exception>

#include "archive/Base64.h"

int main() {
  try {
    static char in[1 << 16], out[1 << 16];
    std::setvbuf(stdin, in, _IOFBF, sizeof in);
    std::setvbuf(stdout, out, _IOFBF, sizeof out);
    lorvex::FileSource source(stdin);
    lorvex::FileSink sink(stdout, "standard output");
    lorvex::Base64DecodeStream(source, sink);
    sink.Flush();
    return 0;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "base64_decode: %s\n", e.what());
    return 1;
  }
}
