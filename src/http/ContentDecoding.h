// Content codings of HTTP bodies. The client asks for identity, but servers send gzip or
// deflate all the same; such a body is inflated on its way to the sink, in bounded memory
// (zlib's window and one output buffer), however large it unpacks. "deflate" arrives both
// zlib-wrapped, as the protocol says, and as raw deflate data: the first two bytes tell
// which. A gzip body may hold several members one after another; they are joined.
#pragma once

#include <cstddef>
#include <memory>
#include <string_view>

#include "http/HttpError.h"
#include "util/ByteSink.h"

namespace lorvex {

enum class ContentCoding { Identity, Gzip, Deflate };

// The coding that a Content-Encoding value names. An empty value and "identity" (also as
// entries of the list) are Identity; "gzip", "x-gzip" and "deflate" are taken when they are
// the only other entry. Anything else (an unknown coding, or two codings stacked) throws
// HttpError (Protocol).
ContentCoding ParseContentEncoding(std::string_view value);

// Size of the buffer that inflated bytes pass through on their way to the sink.
constexpr std::size_t kInflateBufferSize = 64 * 1024;

// A sink that inflates what it receives into another sink. Finish must follow the last
// Write: it fails when the compressed data stopped short. Data that does not inflate, or
// that goes on after the end of a deflate stream, throws HttpError (Protocol) from Write.
class InflatingSink : public ByteSink {
 public:
  InflatingSink(ContentCoding coding, ByteSink& target);
  ~InflatingSink() override;
  InflatingSink(const InflatingSink&) = delete;
  InflatingSink& operator=(const InflatingSink&) = delete;

  void Write(const char* data, std::size_t size) override;
  void Finish();

 private:
  struct Stream;
  void Start(const unsigned char* head, std::size_t size);
  void Inflate(const unsigned char* data, std::size_t size);

  ContentCoding coding_;
  ByteSink& target_;
  std::unique_ptr<Stream> stream_;
};

}  // namespace lorvex
