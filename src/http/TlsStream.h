// A TLS client session layered on another byte stream, through the platform's own TLS
// (OpenSSL on Linux, Schannel on Windows). The server's certificate must verify against the
// system's trust store and name the host asked for, which is also sent as the server name.
//
// Nothing here blocks or waits: Handshake says what the session waits for, and the
// connection above does the waiting, so the read time-out, the idle hook and Disconnect
// work during the handshake as during any read.
#pragma once

#include <memory>
#include <string>

#include "http/ByteStream.h"

namespace lorvex {

class TlsStream : public ByteStream {
 public:
  enum class Step { Done, WantRead, WantWrite };
  // Advances the handshake as far as the inner stream allows. Throws HttpError: Tls when the
  // server's certificate does not verify or the handshake fails, Network when the inner
  // stream fails.
  virtual Step Handshake() = 0;
};

// A session for host over inner, before its handshake. Throws HttpError (Tls) when the
// platform's TLS cannot be set up.
std::unique_ptr<TlsStream> CreateTlsStream(std::unique_ptr<ByteStream> inner,
                                           const std::string& host);

}  // namespace lorvex
