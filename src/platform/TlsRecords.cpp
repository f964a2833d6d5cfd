#include "platform/TlsRecords.h"

namespace lorvex::platform {

long TlsRecordBuffer::Flush() {
  while (unsentAt_ < unsent_.size()) {
    long sent = inner_->Send(unsent_.data() + unsentAt_, unsent_.size() - unsentAt_);
    if (sent <= 0) return sent;
    unsentAt_ += std::size_t(sent);
  }
  unsent_.clear();
  unsentAt_ = 0;
  return 1;
}

long TlsRecordBuffer::Read(std::string& into) {
  std::size_t at = into.size();
  into.resize(at + kCipherChunk);
  long n = inner_->Receive(into.data() + at, kCipherChunk);
  into.resize(at + (n > 0 ? std::size_t(n) : 0));
  if (n == 0) ended_ = true;
  return n;
}

SocketWait TlsRecordBuffer::WaitReadable(int timeoutMs) {
  if (ended_) return SocketWait::Ready;
  if (unsentAt_ < unsent_.size()) return inner_->WaitWritable(timeoutMs);
  return inner_->WaitReadable(timeoutMs);
}

long TlsRecordBuffer::Fail(std::string why) {
  error_ = std::move(why);
  return kSocketFailed;
}

TlsError TlsRecordBuffer::StreamFailure() const {
  return TlsError(TlsFailure::Stream,
                  "connection failed during the TLS handshake: " + inner_->ErrorText());
}

TlsError TlsRecordBuffer::ClosedDuringHandshake(const std::string& host) {
  return TlsError(TlsFailure::Channel, "connection closed during the TLS handshake with " + host);
}

}  // namespace lorvex::platform
