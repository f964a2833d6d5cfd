// The ciphertext side of a TLS session, the same under each platform's adapter: records for
// the peer wait here until the inner stream takes them (a non-blocking stream may take only
// part), records from the peer are read from the inner stream in chunks, and the end of the
// inner stream is remembered. While records are still unsent, waiting to read means waiting
// to write first: the peer answers only what it has received.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "platform/ByteStream.h"
#include "platform/TlsStream.h"

namespace lorvex::platform {

// Ciphertext moves in pieces of up to this size: one TLS record's worth.
constexpr std::size_t kCipherChunk = 16 * 1024;

class TlsRecordBuffer {
 public:
  explicit TlsRecordBuffer(std::unique_ptr<ByteStream> inner) : inner_(std::move(inner)) {}

  // Keeps records for the peer, after those not yet sent.
  void Queue(const char* data, std::size_t size) { unsent_.append(data, size); }
  // Sends what is kept: 1 when all of it went, else kSocketWouldBlock (the rest is kept) or
  // kSocketFailed.
  long Flush();
  // Appends up to kCipherChunk bytes from the inner stream to into: bytes read, 0 at its
  // end, kSocketWouldBlock or kSocketFailed.
  long Read(std::string& into);
  bool Ended() const { return ended_; }

  // The waits of a session that holds nothing readable itself.
  SocketWait WaitReadable(int timeoutMs);
  SocketWait WaitWritable(int timeoutMs) { return inner_->WaitWritable(timeoutMs); }

  // Records why the session failed; returns kSocketFailed.
  long Fail(std::string why);
  // That reason, else the inner stream's last failure.
  std::string ErrorText() const { return error_.empty() ? inner_->ErrorText() : error_; }
  // The failure of the inner stream during the handshake, and its end there.
  TlsError StreamFailure() const;
  static TlsError ClosedDuringHandshake(const std::string& host);

 private:
  std::unique_ptr<ByteStream> inner_;
  std::string unsent_;
  std::size_t unsentAt_ = 0;
  bool ended_ = false;
  std::string error_;
};

}  // namespace lorvex::platform
