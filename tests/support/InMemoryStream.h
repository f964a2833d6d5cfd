// A peer scripted in memory, under the HTTP client in tests and fuzzing. Its answers are
// released one per request the client completes (a request ends with an empty line) and
// handed out in pieces of the given sizes (cycled; as much as asked when none); after the last
// answer the stream ends. What the client sends is kept in `sent`. It never blocks: between
// answers it reads as idle (WaitReadable times out at once), and a read with nothing released
// is the end of the stream, so no transfer over it can wait.
#pragma once

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "platform/ByteStream.h"

namespace lorvex::test {

class InMemoryStream : public platform::ByteStream {
 public:
  explicit InMemoryStream(std::vector<std::string> answers, std::vector<std::size_t> pieces = {})
      : answers_(std::move(answers)), pieces_(std::move(pieces)) {}
  long Receive(char* buffer, std::size_t size) override;
  long Send(const char* data, std::size_t size) override;
  platform::SocketWait WaitReadable(int) override;
  platform::SocketWait WaitWritable(int) override { return platform::SocketWait::Ready; }
  std::string ErrorText() const override { return "in-memory stream"; }

  std::string sent;

 private:
  std::vector<std::string> answers_;
  std::vector<std::size_t> pieces_;
  std::string released_;  // bytes of the answers released so far
  std::size_t offset_ = 0, nextAnswer_ = 0, nextPiece_ = 0;
};

}  // namespace lorvex::test
