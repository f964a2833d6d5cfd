#include "http/HttpConnection.h"

#include <algorithm>
#include <cstring>

#include "http/HttpError.h"
#include "platform/TlsStream.h"

namespace lorvex {

namespace {

using Clock = std::chrono::steady_clock;

long long MsSince(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

}  // namespace

void HttpTransferControl::Checkpoint(bool force) {
  if (onIdle && (force || MsSince(lastIdle) >= kIdleIntervalMs)) {
    lastIdle = Clock::now();
    onIdle();
  }
  if (abortRequested.load())
    throw HttpError(HttpFailure::Aborted, "transfer broken off by disconnect");
}

std::unique_ptr<platform::ByteStream> ConnectTcp(const std::string& host, int port,
                                                 HttpTransferControl& control) {
  std::string error;
  std::vector<platform::SocketAddress> addresses = platform::ResolveHost(host, port, error);
  control.Checkpoint(false);
  std::string where = host + ":" + std::to_string(port);
  for (const platform::SocketAddress& address : addresses) {
    platform::Socket socket = platform::Socket::StartConnect(address, error);
    if (!socket) continue;
    Clock::time_point start = Clock::now();
    bool timedOut = false;
    for (;;) {
      long long left = control.connectTimeoutMs - MsSince(start);
      if (control.connectTimeoutMs > 0 && left <= 0) {
        timedOut = true;
        break;
      }
      int slice = control.connectTimeoutMs > 0 ? int(std::min<long long>(left, kIdleIntervalMs))
                                               : kIdleIntervalMs;
      platform::SocketWait wait = socket.WaitWritable(slice);
      control.Checkpoint(wait == platform::SocketWait::Timeout);
      if (wait != platform::SocketWait::Timeout) break;
    }
    if (timedOut) {
      error = "connection timed out";
      continue;
    }
    if (socket.FinishConnect(error))
      return std::make_unique<platform::SocketStream>(std::move(socket));
  }
  throw HttpError(HttpFailure::Connect, "cannot connect to " + where + ": " + error);
}

std::unique_ptr<platform::ByteStream> StartTls(std::unique_ptr<platform::ByteStream> inner,
                                               const std::string& host,
                                               HttpTransferControl& control) {
  using platform::TlsStream;
  try {
    std::unique_ptr<TlsStream> tls = platform::CreateTlsStream(std::move(inner), host);
    Clock::time_point lastProgress = Clock::now();
    for (;;) {
      TlsStream::Step step = tls->Handshake();
      if (step == TlsStream::Step::Done) return tls;
      int slice = kIdleIntervalMs;
      if (control.readTimeoutMs > 0) {
        long long left = control.readTimeoutMs - MsSince(lastProgress);
        if (left <= 0)
          throw HttpError(HttpFailure::Timeout, "TLS handshake with " + host + " timed out after " +
                                                    std::to_string(control.readTimeoutMs) + " ms");
        slice = int(std::min<long long>(left, slice));
      }
      platform::SocketWait wait =
          step == TlsStream::Step::WantRead ? tls->WaitReadable(slice) : tls->WaitWritable(slice);
      control.Checkpoint(wait == platform::SocketWait::Timeout);
      if (wait == platform::SocketWait::Failed)
        throw HttpError(HttpFailure::Network, "connection failed: " + tls->ErrorText());
      if (wait == platform::SocketWait::Ready) lastProgress = Clock::now();
    }
  } catch (const platform::TlsError& e) {
    // The platform tells a failed inner stream from a failed secure channel; the client's
    // kinds for them are Network and Tls.
    throw HttpError(
        e.Kind() == platform::TlsFailure::Stream ? HttpFailure::Network : HttpFailure::Tls,
        e.what());
  }
}

HttpConnection::HttpConnection(HttpTransferControl& control,
                               std::unique_ptr<platform::ByteStream> stream)
    : control_(control), stream_(std::move(stream)), buffer_(kConnectionBufferSize) {}

void HttpConnection::WriteAll(std::string_view data) {
  Clock::time_point lastProgress = Clock::now();
  while (!data.empty()) {
    long n = stream_->Send(data.data(), data.size());
    if (n > 0) {
      data.remove_prefix(std::size_t(n));
      lastProgress = Clock::now();
      continue;
    }
    if (n != platform::kSocketWouldBlock)
      throw HttpError(HttpFailure::Network,
                      "connection lost while sending: " + stream_->ErrorText());
    if (control_.readTimeoutMs > 0 && MsSince(lastProgress) >= control_.readTimeoutMs)
      throw HttpError(HttpFailure::Timeout, "send timed out");
    platform::SocketWait wait = stream_->WaitWritable(kIdleIntervalMs);
    control_.Checkpoint(wait == platform::SocketWait::Timeout);
  }
}

void HttpConnection::WaitReadable() {
  Clock::time_point start = Clock::now();
  for (;;) {
    int slice = kIdleIntervalMs;
    if (control_.readTimeoutMs > 0) {
      long long left = control_.readTimeoutMs - MsSince(start);
      if (left <= 0)
        throw HttpError(HttpFailure::Timeout,
                        "read timed out after " + std::to_string(control_.readTimeoutMs) + " ms");
      slice = int(std::min<long long>(left, slice));
    }
    platform::SocketWait wait = stream_->WaitReadable(slice);
    control_.Checkpoint(wait == platform::SocketWait::Timeout);
    if (wait == platform::SocketWait::Ready) return;
    if (wait == platform::SocketWait::Failed)
      throw HttpError(HttpFailure::Network, "connection failed: " + stream_->ErrorText());
  }
}

bool HttpConnection::Fill() {
  begin_ = end_ = 0;
  std::size_t n = Read(buffer_.data(), buffer_.size());
  end_ = n;
  return n > 0;
}

std::size_t HttpConnection::Read(char* buffer, std::size_t size) {
  if (begin_ < end_) {
    std::size_t n = std::min(size, end_ - begin_);
    std::memcpy(buffer, buffer_.data() + begin_, n);
    begin_ += n;
    return n;
  }
  for (;;) {
    long n = stream_->Receive(buffer, size);
    if (n >= 0) {
      control_.Checkpoint(false);
      return std::size_t(n);
    }
    if (n == platform::kSocketFailed)
      throw HttpError(HttpFailure::Network, "connection lost: " + stream_->ErrorText());
    WaitReadable();
  }
}

bool HttpConnection::ReadLine(std::string& line, std::size_t maxLength) {
  line.clear();
  bool any = false;
  for (;;) {
    if (begin_ == end_ && !Fill()) {
      if (!any) return false;
      throw HttpError(HttpFailure::Incomplete, "connection closed inside a header line");
    }
    any = true;
    const char* start = buffer_.data() + begin_;
    const char* lf = static_cast<const char*>(std::memchr(start, '\n', end_ - begin_));
    std::size_t take = lf ? std::size_t(lf - start) : end_ - begin_;
    if (line.size() + take > maxLength + 1)  // + 1: the CR before the LF
      throw HttpError(HttpFailure::Protocol,
                      "header line longer than " + std::to_string(maxLength) + " bytes");
    line.append(start, take);
    begin_ += take;
    if (lf) {
      ++begin_;
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (line.size() > maxLength)
        throw HttpError(HttpFailure::Protocol,
                        "header line longer than " + std::to_string(maxLength) + " bytes");
      return true;
    }
  }
}

std::unique_ptr<platform::ByteStream> HttpConnection::ReleaseStream() {
  if (begin_ != end_)
    throw HttpError(HttpFailure::Protocol, "unexpected bytes after the proxy's answer");
  return std::move(stream_);
}

bool HttpConnection::IsReusable() {
  if (!stream_ || begin_ != end_) return false;
  // Readable now means the server closed the connection or sent something unasked for.
  return stream_->WaitReadable(0) == platform::SocketWait::Timeout;
}

}  // namespace lorvex
