// A TLS client session layered on another byte stream, through the platform's own TLS
// (OpenSSL on Linux, Schannel on Windows). The server's certificate must verify against the
// system's trust store and name the host asked for, which is also sent as the server name.
//
// Nothing here blocks or waits: Handshake says what the session waits for, and the
// connection above does the waiting, so the read time-out, the idle hook and Disconnect
// work during the handshake as during any read.
//
// Layering: the HTTP client (src/http) uses this; this never uses the client. The platform
// knows sockets and the system's TLS, not HTTP, so its failures are TlsError, which the
// client's StartTls turns into its own HttpError. The platform folder thus builds and is
// tested below the client, and the client's failure kinds stay in one place.
#pragma once

#include <memory>
#include <stdexcept>
#include <string>

#include "platform/ByteStream.h"

namespace lorvex::platform {

enum class TlsFailure {
  Channel,  // no secure channel: set-up, handshake or certificate check failed
  Stream,   // the inner stream failed
};

class TlsError : public std::runtime_error {
 public:
  TlsError(TlsFailure kind, const std::string& message)
      : std::runtime_error(message), kind_(kind) {}
  TlsFailure Kind() const noexcept { return kind_; }

 private:
  TlsFailure kind_;
};

class TlsStream : public ByteStream {
 public:
  enum class Step { Done, WantRead, WantWrite };
  // Advances the handshake as far as the inner stream allows. Throws TlsError: Channel when the
  // server's certificate does not verify or the handshake fails, Stream when the inner
  // stream fails.
  virtual Step Handshake() = 0;
};

// A session for host over inner, before its handshake. Throws TlsError (Channel) when the
// platform's TLS cannot be set up.
std::unique_ptr<TlsStream> CreateTlsStream(std::unique_ptr<ByteStream> inner,
                                           const std::string& host);

}  // namespace lorvex::platform
