#include "http/ContentDecoding.h"

#include <zlib.h>

#include <string>

#include "http/HttpError.h"
#include "util/Strings.h"

namespace lorvex {

namespace {

// zlib's window bits: 15 is the largest window; negative means raw deflate, +16 gzip.
constexpr int kWindowBits = 15;
constexpr int kRawDeflateBits = -kWindowBits;
constexpr int kGzipBits = 16 + kWindowBits;

[[noreturn]] void Undecodable(const std::string& what) {
  throw HttpError(HttpFailure::Protocol, "body does not decode: " + what);
}

// The two first bytes of a zlib stream: method 8 (deflate), a window of at most 32 KB, and a
// check value that makes them a multiple of 31. Raw deflate data rarely looks like that.
bool IsZlibHeader(unsigned char first, unsigned char second) {
  return (first & 0x0F) == 8 && (first >> 4) <= 7 && ((first << 8) | second) % 31 == 0;
}

}  // namespace

ContentCoding ParseContentEncoding(std::string_view value) {
  ContentCoding coding = ContentCoding::Identity;
  std::string_view list = value;
  while (true) {
    std::size_t comma = list.find(',');
    std::string_view item = Trim(list.substr(0, comma));
    if (!item.empty() && !EqualsIgnoreCase(item, "identity")) {
      ContentCoding named = EqualsIgnoreCase(item, "gzip") || EqualsIgnoreCase(item, "x-gzip")
                                ? ContentCoding::Gzip
                            : EqualsIgnoreCase(item, "deflate") ? ContentCoding::Deflate
                                                                : ContentCoding::Identity;
      if (named == ContentCoding::Identity || coding != ContentCoding::Identity)
        throw HttpError(HttpFailure::Protocol, "unsupported Content-Encoding \"" +
                                                   std::string(value.substr(0, 80)) + "\"");
      coding = named;
    }
    if (comma == std::string_view::npos) break;
    list.remove_prefix(comma + 1);
  }
  return coding;
}

struct InflatingSink::Stream {
  z_stream z{};
  bool started = false;
  bool ended = false;  // the current deflate stream or gzip member is complete
  unsigned char head[2] = {};
  std::size_t headSize = 0;  // bytes held back until the deflate flavour is known
  std::unique_ptr<unsigned char[]> out{new unsigned char[kInflateBufferSize]};

  ~Stream() {
    if (started) inflateEnd(&z);
  }
};

InflatingSink::InflatingSink(ContentCoding coding, ByteSink& target)
    : coding_(coding), target_(target), stream_(new Stream) {}

InflatingSink::~InflatingSink() = default;

void InflatingSink::Write(const char* data, std::size_t size) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(data);
  Stream& s = *stream_;
  if (!s.started) {
    // Deflate needs two bytes to tell its flavour; they may come one at a time.
    while (coding_ == ContentCoding::Deflate && s.headSize < 2 && size > 0) {
      s.head[s.headSize++] = *bytes++;
      --size;
    }
    if (coding_ == ContentCoding::Deflate && s.headSize < 2) return;
    Start(s.head, s.headSize);
  }
  Inflate(bytes, size);
}

void InflatingSink::Start(const unsigned char* head, std::size_t size) {
  Stream& s = *stream_;
  int bits = coding_ == ContentCoding::Gzip                ? kGzipBits
             : size == 2 && IsZlibHeader(head[0], head[1]) ? kWindowBits
                                                           : kRawDeflateBits;
  if (inflateInit2(&s.z, bits) != Z_OK) Undecodable("cannot start the decoder");
  s.started = true;
  Inflate(head, size);
}

void InflatingSink::Inflate(const unsigned char* data, std::size_t size) {
  Stream& s = *stream_;
  while (size > 0) {
    // zlib counts in unsigned int; feed it pieces that fit.
    uInt piece = size > 0x40000000 ? uInt(0x40000000) : uInt(size);
    s.z.next_in = const_cast<unsigned char*>(data);
    s.z.avail_in = piece;
    do {
      if (s.ended) {
        // Only a gzip body may go on after its end, with another member.
        if (coding_ != ContentCoding::Gzip) Undecodable("data after the end of the stream");
        if (inflateReset(&s.z) != Z_OK) Undecodable("cannot restart the decoder");
        s.ended = false;
      }
      s.z.next_out = s.out.get();
      s.z.avail_out = uInt(kInflateBufferSize);
      int result = inflate(&s.z, Z_NO_FLUSH);
      if (result == Z_STREAM_END)
        s.ended = true;
      else if (result != Z_OK && result != Z_BUF_ERROR)
        Undecodable(s.z.msg ? s.z.msg : "inflate error " + std::to_string(result));
      std::size_t produced = kInflateBufferSize - s.z.avail_out;
      if (produced > 0) target_.Write(reinterpret_cast<const char*>(s.out.get()), produced);
      // Z_BUF_ERROR with input left and room for output cannot happen; guard the loop anyway.
      if (result == Z_BUF_ERROR && produced == 0) break;
    } while (s.z.avail_in > 0 || (s.z.avail_out == 0 && !s.ended));
    data += piece;
    size -= piece;
  }
}

void InflatingSink::Finish() {
  Stream& s = *stream_;
  if (!s.started) {
    // An empty body is empty whatever its coding; one lone byte is no deflate stream.
    if (s.headSize == 0) return;
    Start(s.head, s.headSize);
  }
  if (!s.ended) Undecodable("compressed data ends early");
}

}  // namespace lorvex
