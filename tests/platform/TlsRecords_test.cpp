// The ciphertext side that both TLS adapters share, over an inner stream that takes a few
// bytes at a time, blocks every other call and logs what it was waited for.
#include "platform/TlsRecords.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>

namespace lorvex::platform {
namespace {

struct ChokedStream : ByteStream {
  std::string sent, incoming, waits;
  bool ended = false, broken = false;
  int sends = 0;

  long Receive(char* buffer, std::size_t size) override {
    if (incoming.empty()) return ended ? 0 : kSocketWouldBlock;
    std::size_t n = std::min(size, incoming.size());
    incoming.copy(buffer, n);
    incoming.erase(0, n);
    return long(n);
  }
  long Send(const char* data, std::size_t size) override {
    if (broken) return kSocketFailed;
    if (++sends % 2 == 0) return kSocketWouldBlock;
    std::size_t n = std::min<std::size_t>(size, 5);
    sent.append(data, n);
    return long(n);
  }
  SocketWait WaitReadable(int) override {
    waits += 'r';
    return SocketWait::Ready;
  }
  SocketWait WaitWritable(int) override {
    waits += 'w';
    return SocketWait::Ready;
  }
  std::string ErrorText() const override { return "choked"; }
};

TEST(TlsRecords, UnsentRecordsLeaveInOrderAndAreWaitedForFirst) {
  auto owned = std::make_unique<ChokedStream>();
  ChokedStream& inner = *owned;
  TlsRecordBuffer records(std::move(owned));
  const std::string first = "client hello, longer than one send;", second = "finished";
  records.Queue(first.data(), first.size());
  EXPECT_EQ(records.Flush(), kSocketWouldBlock);  // took 5 bytes, then blocked
  // Records queued meanwhile go after those still unsent.
  records.Queue(second.data(), second.size());
  EXPECT_EQ(records.WaitReadable(0), SocketWait::Ready);
  EXPECT_EQ(inner.waits, "w");  // the peer answers only what it has received
  int blocked = 0;
  for (long result; (result = records.Flush()) != 1; ++blocked)
    ASSERT_EQ(result, kSocketWouldBlock);
  EXPECT_GT(blocked, 3);
  EXPECT_EQ(inner.sent, first + second);
  records.WaitReadable(0);
  EXPECT_EQ(inner.waits, "wr");
  EXPECT_EQ(records.Flush(), 1);  // nothing left: no call of the inner stream
  EXPECT_EQ(inner.sent, first + second);

  records.Queue("x", 1);
  inner.broken = true;
  EXPECT_EQ(records.Flush(), kSocketFailed);
  EXPECT_EQ(records.ErrorText(), "choked");
  EXPECT_EQ(records.StreamFailure().Kind(), TlsFailure::Stream);
  EXPECT_EQ(records.Fail("bad record mac"), kSocketFailed);
  EXPECT_EQ(records.ErrorText(), "bad record mac");
}

TEST(TlsRecords, ReadsAppendAChunkAtATimeAndRememberTheEnd) {
  auto owned = std::make_unique<ChokedStream>();
  ChokedStream& inner = *owned;
  TlsRecordBuffer records(std::move(owned));
  std::string cipher = "kept";
  EXPECT_EQ(records.Read(cipher), kSocketWouldBlock);
  EXPECT_EQ(cipher, "kept");
  const std::string big(kCipherChunk + 10, 'c');
  inner.incoming = big;
  EXPECT_EQ(records.Read(cipher), long(kCipherChunk));
  EXPECT_EQ(records.Read(cipher), 10);
  EXPECT_EQ(cipher, "kept" + big);
  EXPECT_FALSE(records.Ended());
  inner.ended = true;
  EXPECT_EQ(records.Read(cipher), 0);
  EXPECT_TRUE(records.Ended());
  EXPECT_EQ(cipher, "kept" + big);
  // After the end a read wait returns at once, so the session reports the end.
  inner.waits.clear();
  EXPECT_EQ(records.WaitReadable(1000), SocketWait::Ready);
  EXPECT_EQ(inner.waits, "");
}

}  // namespace
}  // namespace lorvex::platform
