// One connection of the HTTP client over a byte stream, with a read buffer, and the waiting
// rules of a transfer: waits are cut into short slices; after each slice (and at least that often
// while data flows) the owner's idle hook runs and a requested abort takes effect; a read
// that sees no data for the read time-out fails.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ByteStream.h"

namespace lorvex {

// How often the idle hook runs while a transfer waits or reads.
constexpr int kIdleIntervalMs = 50;
// Size of a connection's read buffer; body reads of this size or more bypass it.
constexpr std::size_t kConnectionBufferSize = 64 * 1024;

// The state that a transfer's waits consult; owned by the client, shared by its connections.
struct HttpTransferControl {
  int readTimeoutMs = 0;         // without data; 0 for no limit
  int connectTimeoutMs = 0;      // per address tried
  std::function<void()> onIdle;  // the owner's idle hook, may be empty
  std::atomic<bool> abortRequested{false};
  std::chrono::steady_clock::time_point lastIdle{};

  // Runs the idle hook when it is due (or now when forced), then throws HttpError (Aborted)
  // when an abort was requested.
  void Checkpoint(bool force);
};

// Connects to host and port over TCP, trying each address in turn within the control's
// connect time-out; throws HttpError (Connect).
std::unique_ptr<platform::ByteStream> ConnectTcp(const std::string& host, int port,
                                                 HttpTransferControl& control);

// Runs the TLS handshake for host over inner, waiting as reads do (read time-out, idle hook,
// abort); the secured stream on success. Throws HttpError (Tls, Timeout, Network, Aborted).
std::unique_ptr<platform::ByteStream> StartTls(std::unique_ptr<platform::ByteStream> inner,
                                               const std::string& host,
                                               HttpTransferControl& control);

class HttpConnection {
 public:
  HttpConnection(HttpTransferControl& control, std::unique_ptr<platform::ByteStream> stream);

  void WriteAll(std::string_view data);
  // Reads one line ending in LF (a CR before it is removed too). False when the stream
  // ended before the line's first byte; throws HttpError (Incomplete) when it ended inside
  // the line, (Protocol) when the line is longer than maxLength.
  bool ReadLine(std::string& line, std::size_t maxLength);
  // Up to size bytes, at least one; 0 at the end of the stream.
  std::size_t Read(char* buffer, std::size_t size);
  // True when an idle connection is still open and has sent nothing unasked for.
  bool IsReusable();
  // Hands the stream on (a proxy's tunnel becomes a TLS session's inner stream); throws
  // HttpError (Protocol) when bytes were read ahead of it.
  std::unique_ptr<platform::ByteStream> ReleaseStream();

  // Where the connection goes ("host:port"), to find it again for the next request.
  std::string endpoint;
  // Set when the connection served an answer, so a failure on reuse can be retried.
  bool reused = false;

 private:
  // Waits until the stream is readable; throws on time-out, failure and abort.
  void WaitReadable();
  // Fills the buffer; false at the end of the stream.
  bool Fill();

  HttpTransferControl& control_;
  std::unique_ptr<platform::ByteStream> stream_;
  std::vector<char> buffer_;
  std::size_t begin_ = 0, end_ = 0;
};

}  // namespace lorvex
