// Inflating bodies: every flavour fed in pieces of every size gives back the original bytes;
// cut, corrupt and over-long data fails; the coding names are read as a list.
#include "http/ContentDecoding.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdint>
#include <string>

namespace lorvex {
namespace {

constexpr int kGzip = 31, kZlib = 15, kRaw = -15;

std::string Compress(const std::string& data, int bits) {
  z_stream z{};
  EXPECT_EQ(deflateInit2(&z, 9, Z_DEFLATED, bits, 8, Z_DEFAULT_STRATEGY), Z_OK);
  std::string out(deflateBound(&z, uLong(data.size())) + 64, '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  z.avail_in = uInt(data.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = uInt(out.size());
  EXPECT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

// Feeds data in pieces whose sizes follow a fixed pseudo-random sequence up to maxPiece.
std::string Inflate(ContentCoding coding, const std::string& data, std::size_t maxPiece) {
  StringSink out;
  InflatingSink sink(coding, out);
  std::uint32_t state = 12345;
  for (std::size_t at = 0; at < data.size();) {
    state = state * 1103515245u + 12345u;
    std::size_t piece = std::min(data.size() - at, 1 + (state >> 8) % maxPiece);
    sink.Write(data.data() + at, piece);
    at += piece;
  }
  sink.Finish();
  return out.Text();
}

std::string SampleText() {
  std::string text;
  std::uint32_t state = 7;
  for (int i = 0; i < 200000; ++i) {
    state = state * 1103515245u + 12345u;
    // Half text that packs well, half noise that does not: both inner loops of inflate run.
    text += i % 2 ? char(state >> 24) : "abcabd\r\n"[i % 8];
  }
  return text;
}

TEST(ContentDecoding, EveryFlavourInPiecesOfAnySize) {
  const std::string sample = SampleText();
  struct Case {
    const char* name;
    ContentCoding coding;
    std::string encoded, decoded;
  } cases[] = {
      {"gzip", ContentCoding::Gzip, Compress(sample, kGzip), sample},
      {"zlib deflate", ContentCoding::Deflate, Compress(sample, kZlib), sample},
      {"raw deflate", ContentCoding::Deflate, Compress(sample, kRaw), sample},
      {"gzip, two members", ContentCoding::Gzip,
       Compress("first;", kGzip) + Compress("second", kGzip), "first;second"},
      {"gzip of nothing", ContentCoding::Gzip, Compress("", kGzip), ""},
      {"raw deflate of nothing", ContentCoding::Deflate, Compress("", kRaw), ""},
      {"no body at all", ContentCoding::Deflate, "", ""},
      {"zeros", ContentCoding::Gzip, Compress(std::string(5 << 20, '\0'), kGzip),
       std::string(5 << 20, '\0')},
  };
  for (const Case& c : cases)
    for (std::size_t maxPiece : {std::size_t(1), std::size_t(7), std::size_t(100000)}) {
      if (maxPiece == 1 && c.encoded.size() > 100000) continue;
      try {
        EXPECT_TRUE(Inflate(c.coding, c.encoded, maxPiece) == c.decoded)
            << c.name << " in pieces up to " << maxPiece;
      } catch (const HttpError& e) {
        ADD_FAILURE() << c.name << " in pieces up to " << maxPiece << ": " << e.what();
      }
    }
}

TEST(ContentDecoding, BrokenDataFails) {
  const std::string gzip = Compress("hello, world", kGzip);
  const std::string raw = Compress("hello, world", kRaw);
  const std::string zlib = Compress("hello, world", kZlib);
  struct Case {
    const char* name;
    ContentCoding coding;
    std::string encoded;
  } cases[] = {
      {"gzip cut short", ContentCoding::Gzip, gzip.substr(0, gzip.size() - 3)},
      {"gzip header only", ContentCoding::Gzip, gzip.substr(0, 10)},
      {"gzip with a bad checksum", ContentCoding::Gzip,
       gzip.substr(0, gzip.size() - 8) + "\x01\x02\x03\x04" + gzip.substr(gzip.size() - 4)},
      {"gzip then garbage", ContentCoding::Gzip, gzip + "garbage"},
      {"not gzip at all", ContentCoding::Gzip, "<html>plain</html>"},
      {"raw deflate cut short", ContentCoding::Deflate, raw.substr(0, raw.size() - 2)},
      {"raw deflate then more", ContentCoding::Deflate, raw + "x"},
      {"one byte", ContentCoding::Deflate, raw.substr(0, 1)},
      {"zlib with a bad checksum", ContentCoding::Deflate,
       zlib.substr(0, zlib.size() - 4) + std::string(4, '\xff')},
  };
  for (const Case& c : cases)
    for (std::size_t maxPiece : {std::size_t(1), std::size_t(1000)}) {
      try {
        Inflate(c.coding, c.encoded, maxPiece);
        ADD_FAILURE() << c.name << " inflated";
      } catch (const HttpError& e) {
        EXPECT_EQ(e.Kind(), HttpFailure::Protocol) << c.name;
      }
    }
}

TEST(ContentDecoding, CodingNames) {
  struct Case {
    const char* value;
    ContentCoding coding;
  } good[] = {
      {"", ContentCoding::Identity},
      {"identity", ContentCoding::Identity},
      {" , Identity ,", ContentCoding::Identity},
      {"gzip", ContentCoding::Gzip},
      {"X-GZIP", ContentCoding::Gzip},
      {" deflate ", ContentCoding::Deflate},
      {"identity, gzip", ContentCoding::Gzip},
  };
  for (const Case& c : good) EXPECT_EQ(ParseContentEncoding(c.value), c.coding) << c.value;
  for (const char* bad : {"br", "x-foo", "compress", "gzip, gzip", "deflate, gzip", "gzip;q=1"})
    EXPECT_THROW(ParseContentEncoding(bad), HttpError) << bad;
}

}  // namespace
}  // namespace lorvex
