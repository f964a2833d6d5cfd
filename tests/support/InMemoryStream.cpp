#include "support/InMemoryStream.h"

#include <algorithm>
#include <cstring>

namespace lorvex::test {

long InMemoryStream::Receive(char* buffer, std::size_t size) {
  std::size_t n = std::min(size, released_.size() - offset_);
  if (!pieces_.empty()) {
    // A piece of 0 stands for 1, so every call makes progress.
    n = std::min(n, std::max<std::size_t>(pieces_[nextPiece_], 1));
    nextPiece_ = (nextPiece_ + 1) % pieces_.size();
  }
  std::memcpy(buffer, released_.data() + offset_, n);
  offset_ += n;
  return long(n);
}

long InMemoryStream::Send(const char* data, std::size_t size) {
  std::size_t from = sent.size() >= 3 ? sent.size() - 3 : 0;
  sent.append(data, size);
  for (std::size_t end = sent.find("\r\n\r\n", from); end != std::string::npos;
       end = sent.find("\r\n\r\n", end + 4)) {
    if (nextAnswer_ < answers_.size()) released_ += answers_[nextAnswer_++];
  }
  return long(size);
}

platform::SocketWait InMemoryStream::WaitReadable(int) {
  bool idle = offset_ == released_.size() && nextAnswer_ < answers_.size();
  return idle ? platform::SocketWait::Timeout : platform::SocketWait::Ready;
}

}  // namespace lorvex::test
