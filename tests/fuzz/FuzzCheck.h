// What the fuzz targets share: the input as text, and a check that stops the run (libFuzzer
// then keeps the input) when the library's answer differs from the model's.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace lorvex::fuzz {

inline std::string_view AsText(const uint8_t* data, size_t size) {
  return {reinterpret_cast<const char*>(data), size};
}

inline void Print(const char* label, std::string_view text) {
  std::fprintf(stderr, "%s (%zu bytes): [", label, text.size());
  std::fwrite(text.data(), 1, text.size(), stderr);
  std::fputs("]\n", stderr);
}
inline void Print(const char* label, const std::vector<std::string>& lines) {
  std::fprintf(stderr, "%s: %zu lines\n", label, lines.size());
  for (const std::string& line : lines) Print("  line", line);
}

template <class T>
void ExpectSame(const T& actual, const T& expected, const char* what) {
  if (actual == expected) return;
  std::fprintf(stderr, "MISMATCH in %s\n", what);
  Print("library", actual);
  Print("model", expected);
  __builtin_trap();
}

inline void Expect(bool holds, const char* what) {
  if (holds) return;
  std::fprintf(stderr, "BROKEN: %s\n", what);
  __builtin_trap();
}

}  // namespace lorvex::fuzz
