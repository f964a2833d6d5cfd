#include "archive/Base64.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "support/DecoderModels.h"
#include "support/SplitSource.h"

namespace lorvex {
namespace {

using model::ReferenceDecode;
using support::SplitSource;

std::string Decode(std::string_view text) {
  StringSource source(text);
  StringSink sink;
  Base64DecodeStream(source, sink);
  return sink.Text();
}

TEST(Base64Table, MapsTheAlphabetAndSkipsEverythingElse) {
  const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  int skipped = 0;
  for (int b = 0; b < 256; ++b) {
    size_t at = alphabet.find(char(b));
    if (at == std::string::npos) {
      EXPECT_EQ(Base64DecodeTable[b], kBase64Skip) << b;
      ++skipped;
    } else {
      EXPECT_EQ(Base64DecodeTable[b], at) << b;
    }
  }
  EXPECT_EQ(skipped, 192);
}

TEST(Base64Decode, Vectors) {
  struct Case {
    const char* in;
    std::string out;
  } cases[] = {
      {"TWFu", "Man"},
      {"TWE=", "Ma"},
      {"TQ==", "M"},
      {"TWE", "Ma"},
      {"TWFuT", "Man"},  // a single character left over is dropped
      {"T", ""},
      {"", ""},
      {"====", ""},
      {"T\r\nW\tF u", "Man"},                            // skipped bytes inside a quantum
      {"TQ==TWFu", std::string("\x4D\x04\xD6\x16", 4)},  // padding does not end the run
      {"\xff\x80TW!Fu", "Man"},
      {"////", "\xff\xff\xff"},
      {"+++/", "\xfb\xef\xbf"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Decode(c.in), c.out) << c.in;
    EXPECT_EQ(ReferenceDecode(c.in), c.out) << c.in;
  }
}

// The usual vectors ("f" to "foobar") and bytes at both ends of the alphabet, each read back.
TEST(Base64Encode, VectorsRoundTripThroughTheDecoder) {
  struct Case {
    std::string in;
    const char* out;
  } cases[] = {
      {"", ""},
      {"f", "Zg=="},
      {"fo", "Zm8="},
      {"foo", "Zm9v"},
      {"foob", "Zm9vYg=="},
      {"fooba", "Zm9vYmE="},
      {"foobar", "Zm9vYmFy"},
      {"user:pa ss", "dXNlcjpwYSBzcw=="},
      {std::string("\0\0\0", 3), "AAAA"},
      {"\xff\xff\xff", "////"},
      {"\xfb\xef\xbf", "+++/"},
      {"\xff", "/w=="},
      {std::string("\x80\0", 2), "gAA="},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Base64Encode(c.in), c.out) << c.out;
    EXPECT_EQ(Decode(Base64Encode(c.in)), c.in) << c.out;
  }
}

TEST(Base64Decode, ChunkCarriesTheQuantumAndFinishHandlesTheTail) {
  uint8_t out[8];
  int remaining = 4;
  uint32_t accumulator = 0;
  EXPECT_EQ(
      Base64DecodeChunk(reinterpret_cast<const uint8_t*>("TW"), 2, out, remaining, accumulator),
      0u);
  EXPECT_EQ(remaining, 2);
  EXPECT_EQ(Base64DecodeChunk(reinterpret_cast<const uint8_t*>(""), 0, out, remaining, accumulator),
            0u);
  EXPECT_EQ(remaining, 2);
  EXPECT_EQ(
      Base64DecodeChunk(reinterpret_cast<const uint8_t*>("\nFuTW"), 5, out, remaining, accumulator),
      3u);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(out), 3), "Man");
  EXPECT_EQ(remaining, 2);
  EXPECT_EQ(Base64DecodeFinish(out, accumulator, remaining), 1u);
  EXPECT_EQ(out[0], 'M');
  EXPECT_EQ(Base64DecodeFinish(out, 0, 4), 0u);
  EXPECT_EQ(Base64DecodeFinish(out, 0x3F, 3), 0u);
}

TEST(Base64Decode, ResultDoesNotDependOnHowTheInputIsRead) {
  std::mt19937 random(7);
  const std::string symbols =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/=\r\n \t-";
  for (int round = 0; round < 200; ++round) {
    size_t length = round == 0 ? kBase64InputBufferSize : random() % 9000;
    std::string text;
    for (size_t i = 0; i < length; ++i) {
      // Mostly clean base64 so that the whole-quantum path runs, with junk in between.
      text += random() % 8 ? symbols[random() % 64] : symbols[random() % symbols.size()];
    }
    std::string expected = ReferenceDecode(text);
    ASSERT_EQ(Decode(text), expected) << round;
    std::vector<size_t> sizes{1 + random() % 7, 1 + random() % 4000, kBase64InputBufferSize};
    SplitSource source(text, sizes);
    StringSink sink;
    Base64DecodeStream(source, sink);
    ASSERT_EQ(sink.Text(), expected) << round;
  }
}

TEST(Base64Decode, TextDecodesLikeItsStream) {
  std::mt19937 random(9);
  const std::string symbols =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/=\r\n \t-";
  for (int round = 0; round < 100; ++round) {
    size_t length = round < 4 ? kBase64InputBufferSize * round + (round % 2) : random() % 20000;
    std::string text;
    for (size_t k = 0; k < length; ++k)
      text += random() % 16 ? symbols[random() % 64] : symbols[random() % symbols.size()];
    StringSource source(text);
    StringSink expected, actual;
    Base64DecodeStream(source, expected);
    Base64DecodeText(text, actual);
    ASSERT_EQ(actual.Text(), expected.Text()) << round;
    ASSERT_EQ(actual.Text(), ReferenceDecode(text)) << round;
  }
}

TEST(Base64Decode, FullBufferFitsTheOutputBuffer) {
  // A full input buffer of alphabet characters after three carried-over characters makes
  // the most output that one chunk can give.
  std::string text(3 + kBase64InputBufferSize, 'A');
  uint8_t out[kBase64OutputBufferSize];
  int remaining = 4;
  uint32_t accumulator = 0;
  Base64DecodeChunk(reinterpret_cast<const uint8_t*>(text.data()), 3, out, remaining, accumulator);
  EXPECT_EQ(Base64DecodeChunk(reinterpret_cast<const uint8_t*>(text.data()) + 3,
                              kBase64InputBufferSize, out, remaining, accumulator),
            kBase64OutputBufferSize);
}

}  // namespace
}  // namespace lorvex
