#include "snapshot/WebSocketChannel.h"

#include <algorithm>
#include <random>

#include "platform/Socket.h"

namespace lorvex::snapshot {

namespace {

using platform::ChannelClosed;
using platform::Socket;
using platform::SocketWait;

constexpr size_t kMaxHandshakeBytes = 16 * 1024;
constexpr size_t kReadPiece = 64 * 1024;
// A peer that takes nothing for this long is taken to be gone.
constexpr int kSendWaitMs = 30000;
constexpr int kWaitSliceMs = 100;

enum Opcode : uint8_t {
  kContinuation = 0x0,
  kText = 0x1,
  kBinary = 0x2,
  kClose = 0x8,
  kPing = 0x9,
  kPong = 0xA,
};
constexpr uint8_t kFinal = 0x80;
constexpr uint8_t kMasked = 0x80;

int MillisecondsUntil(Clock::time_point until) {
  const auto left =
      std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()).count();
  return int(std::clamp<long long>(left, 0, kWaitSliceMs));
}

// 16 random bytes in base64, as the handshake asks.
std::string HandshakeKey(std::mt19937& random) {
  static constexpr char kDigits[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string key;
  // 16 bytes are 21 whole digits and 4 bits, padded: 22 digits and "==".
  for (int i = 0; i < 21; ++i) key += kDigits[random() % 64];
  key += kDigits[(random() % 4) * 16];
  return key + "==";
}

class WebSocketChannel final : public platform::MessageChannel {
 public:
  explicit WebSocketChannel(Socket socket, std::string pending, std::mt19937 random)
      : socket_(std::move(socket)), buffer_(std::move(pending)), random_(random) {}

  void Send(std::string_view message) override { SendFrame(kText, message); }

  std::optional<std::string> Receive(int timeoutMs) override {
    const Clock::time_point until = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
      std::optional<std::string> message;
      while (!message && TakeFrame(message)) {
      }
      if (message) return message;
      if (closed_) throw ChannelClosed("the browser closed the connection");
      const SocketWait wait = socket_.WaitReadable(MillisecondsUntil(until));
      if (wait == SocketWait::Failed) throw ChannelClosed("the connection to the browser failed");
      if (wait == SocketWait::Ready)
        ReadSome();
      else if (Clock::now() >= until)
        return std::nullopt;
    }
  }

 private:
  void SendAll(std::string_view bytes) {
    size_t sent = 0;
    while (sent < bytes.size()) {
      long n = socket_.Send(bytes.data() + sent, bytes.size() - sent);
      if (n > 0) {
        sent += size_t(n);
      } else if (n == platform::kSocketWouldBlock) {
        if (socket_.WaitWritable(kSendWaitMs) != SocketWait::Ready)
          throw ChannelClosed("the browser takes no more from the connection");
      } else {
        throw ChannelClosed("the connection to the browser failed");
      }
    }
  }

  void SendFrame(uint8_t opcode, std::string_view payload) {
    std::string frame;
    frame += char(kFinal | opcode);
    const size_t size = payload.size();
    if (size < 126) {
      frame += char(kMasked | size);
    } else if (size <= 0xFFFF) {
      frame += char(kMasked | 126);
      frame += char(size >> 8);
      frame += char(size & 0xFF);
    } else {
      frame += char(kMasked | 127);
      for (int shift = 56; shift >= 0; shift -= 8) frame += char((uint64_t(size) >> shift) & 0xFF);
    }
    const uint32_t mask = random_();
    const char maskBytes[4] = {char(mask >> 24), char(mask >> 16), char(mask >> 8), char(mask)};
    frame.append(maskBytes, 4);
    const size_t start = frame.size();
    frame.append(payload);
    for (size_t i = start; i < frame.size(); ++i) frame[i] ^= maskBytes[(i - start) % 4];
    SendAll(frame);
  }

  void ReadSome() {
    char piece[kReadPiece];
    long n = socket_.Receive(piece, sizeof piece);
    if (n > 0) {
      buffer_.append(piece, size_t(n));
    } else if (n == 0 || n == platform::kSocketFailed) {
      closed_ = true;
    }
  }

  // Takes one frame if it has arrived whole (false when not); a message it finishes goes
  // into finished.
  bool TakeFrame(std::optional<std::string>& finished) {
    const auto byte = [&](size_t i) { return uint8_t(buffer_[i]); };
    if (buffer_.size() < 2) return false;
    const bool final = byte(0) & kFinal;
    const uint8_t opcode = byte(0) & 0x0F;
    const bool masked = byte(1) & kMasked;
    uint64_t length = byte(1) & 0x7F;
    size_t header = 2;
    if (length == 126) {
      if (buffer_.size() < 4) return false;
      length = (uint64_t(byte(2)) << 8) | byte(3);
      header = 4;
    } else if (length == 127) {
      if (buffer_.size() < 10) return false;
      length = 0;
      for (size_t i = 2; i < 10; ++i) length = (length << 8) | byte(i);
      header = 10;
    }
    if (length > kMaxWebSocketMessage || message_.size() + length > kMaxWebSocketMessage)
      throw std::runtime_error("the browser sent a message beyond the size limit");
    if (masked) header += 4;
    if (buffer_.size() < header || buffer_.size() - header < length) return false;
    std::string payload = buffer_.substr(header, size_t(length));
    if (masked)
      for (size_t i = 0; i < payload.size(); ++i) payload[i] ^= buffer_[header - 4 + i % 4];
    buffer_.erase(0, header + size_t(length));

    switch (opcode) {
      case kText:
      case kBinary:
        if (inMessage_) throw std::runtime_error("the browser began a message inside another");
        message_ = std::move(payload);
        break;
      case kContinuation:
        if (!inMessage_) throw std::runtime_error("the browser continued no message");
        message_ += payload;
        break;
      case kPing:
        SendFrame(kPong, payload);
        return true;
      case kPong:
        return true;
      case kClose:
        closed_ = true;
        buffer_.clear();
        return false;
      default:
        throw std::runtime_error("the browser sent a frame of an unknown kind");
    }
    inMessage_ = !final;
    if (final) finished = std::exchange(message_, std::string());
    return true;
  }

  Socket socket_;
  std::string buffer_;   // bytes received, not yet taken as frames
  std::string message_;  // the fragments of the message being received
  bool inMessage_ = false;
  bool closed_ = false;
  std::mt19937 random_;
};

}  // namespace

std::unique_ptr<platform::MessageChannel> ConnectWebSocket(int port, const std::string& path,
                                                           Clock::time_point until) {
  std::string error;
  std::vector<platform::SocketAddress> addresses = platform::ResolveHost("127.0.0.1", port, error);
  if (addresses.empty()) throw SnapshotError("no loopback address: " + error);
  Socket socket = Socket::StartConnect(addresses.front(), error);
  if (!socket) throw SnapshotError("cannot connect to the browser: " + error);
  while (socket.WaitWritable(MillisecondsUntil(until)) == SocketWait::Timeout)
    if (Clock::now() >= until) throw SnapshotError("the browser did not take the connection");
  if (!socket.FinishConnect(error)) throw SnapshotError("cannot connect to the browser: " + error);

  std::mt19937 random(std::random_device{}());
  const std::string request = "GET " + path +
                              " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) +
                              "\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
                              "Sec-WebSocket-Key: " +
                              HandshakeKey(random) + "\r\nSec-WebSocket-Version: 13\r\n\r\n";
  for (size_t sent = 0; sent < request.size();) {
    long n = socket.Send(request.data() + sent, request.size() - sent);
    if (n > 0) {
      sent += size_t(n);
    } else if (n == platform::kSocketFailed || Clock::now() >= until) {
      throw SnapshotError("the browser took no handshake");
    } else {
      socket.WaitWritable(MillisecondsUntil(until));
    }
  }

  std::string answer;
  size_t end;
  while ((end = answer.find("\r\n\r\n")) == std::string::npos) {
    if (answer.size() > kMaxHandshakeBytes)
      throw SnapshotError("the browser's handshake is too long");
    if (Clock::now() >= until) throw SnapshotError("the browser did not answer the handshake");
    if (socket.WaitReadable(MillisecondsUntil(until)) != SocketWait::Ready) continue;
    char piece[4096];
    long n = socket.Receive(piece, sizeof piece);
    if (n == 0 || n == platform::kSocketFailed)
      throw SnapshotError("the browser closed the connection in the handshake");
    if (n > 0) answer.append(piece, size_t(n));
  }
  const std::string statusLine = answer.substr(0, answer.find("\r\n"));
  if (statusLine.rfind("HTTP/1.1 101", 0) != 0)
    throw SnapshotError("the browser refused the connection: " + statusLine);
  return std::make_unique<WebSocketChannel>(std::move(socket), answer.substr(end + 4), random);
}

}  // namespace lorvex::snapshot
