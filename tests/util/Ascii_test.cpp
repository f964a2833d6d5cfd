#include "util/Ascii.h"

#include <gtest/gtest.h>

#include <cctype>
#include <string>

namespace lorvex {
namespace {

// Every byte against the C library in the "C" locale (the test never sets another): the
// classes are exactly those of ASCII, and bytes from 0x80 up belong to none and keep their case.
TEST(Ascii, ClassesAndCaseMatchTheCLocaleForEveryByte) {
  for (int byte = 0; byte < 256; ++byte) {
    const char c = static_cast<char>(byte);
    const bool ascii = byte < 128;
    EXPECT_EQ(IsAsciiDigit(c), ascii && std::isdigit(byte) != 0) << byte;
    EXPECT_EQ(IsAsciiAlpha(c), ascii && std::isalpha(byte) != 0) << byte;
    EXPECT_EQ(IsAsciiAlnum(c), ascii && std::isalnum(byte) != 0) << byte;
    EXPECT_EQ(IsAsciiUpper(c), ascii && std::isupper(byte) != 0) << byte;
    EXPECT_EQ(IsAsciiLower(c), ascii && std::islower(byte) != 0) << byte;
    EXPECT_EQ(AsciiLower(c), ascii ? static_cast<char>(std::tolower(byte)) : c) << byte;
    EXPECT_EQ(AsciiUpper(c), ascii ? static_cast<char>(std::toupper(byte)) : c) << byte;
    const int hex = ascii && std::isxdigit(byte) ? std::stoi(std::string(1, c), nullptr, 16) : -1;
    EXPECT_EQ(AsciiHexValue(c), hex) << byte;
  }
}

}  // namespace
}  // namespace lorvex
