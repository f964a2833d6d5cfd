#include "util/ByteScan.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>

#include "util/Strings.h"

namespace lorvex {
namespace {

TEST(ByteScan, FindEitherByteAgreesWithAByteLoop) {
  std::mt19937 random(7);
  // Few distinct bytes, so that hits fall in every lane of a word and in the tail; 0x80 and
  // 0xFF next to the searched bytes catch a borrow that leaks into the next lane.
  const std::string symbols = "ab\r\n\x80\xff\x01";
  for (int round = 0; round < 4000; ++round) {
    std::string text;
    const size_t length = random() % 40;
    for (size_t i = 0; i < length; ++i) text += symbols[random() % symbols.size()];
    const size_t from = length ? random() % (length + 1) : 0;
    const char a = symbols[random() % symbols.size()], b = symbols[random() % symbols.size()];
    size_t expected = from;
    while (expected < length && text[expected] != a && text[expected] != b) ++expected;
    ASSERT_EQ(FindEitherByte(text.data(), from, length, a, b), expected)
        << "from " << from << " in [" << text << "]";
  }
}

TEST(ByteScan, AsciiLowerWordFoldsEveryLaneLikeAsciiLower) {
  std::mt19937 random(3);
  for (int byte = 0; byte < 256; ++byte) {
    for (int lane = 0; lane < 8; ++lane) {
      unsigned char bytes[8];
      for (unsigned char& b : bytes) b = static_cast<unsigned char>(random());
      bytes[lane] = static_cast<unsigned char>(byte);
      uint64_t word;
      std::memcpy(&word, bytes, 8);
      const uint64_t folded = AsciiLowerWord(word);
      unsigned char out[8];
      std::memcpy(out, &folded, 8);
      for (int k = 0; k < 8; ++k)
        ASSERT_EQ(out[k], static_cast<unsigned char>(AsciiLower(static_cast<char>(bytes[k]))))
            << "byte " << int(bytes[k]) << " in lane " << k;
    }
  }
}

}  // namespace
}  // namespace lorvex
