// TLS over OpenSSL: the session reads and writes memory buffers, which this stream moves to
// and from the inner stream through a TlsRecordBuffer, so that OpenSSL never touches a socket
// or blocks.
#include "platform/TlsStream.h"

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <algorithm>
#include <climits>

#include "platform/TlsRecords.h"

namespace lorvex::platform {

namespace {

// One context for the process: the system's trust store (SSL_CERT_FILE and SSL_CERT_DIR
// override it), peer verification on, TLS 1.2 at least.
SSL_CTX* SharedContext() {
  static SSL_CTX* context = [] {
    SSL_CTX* c = SSL_CTX_new(TLS_client_method());
    if (!c) return c;
    SSL_CTX_set_min_proto_version(c, TLS1_2_VERSION);
    SSL_CTX_set_default_verify_paths(c);
    SSL_CTX_set_verify(c, SSL_VERIFY_PEER, nullptr);
    SSL_CTX_set_mode(c, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
    return c;
  }();
  return context;
}

std::string LastOpenSslError() {
  unsigned long code = ERR_get_error();
  ERR_clear_error();
  if (code == 0) return "TLS failure";
  char text[256];
  ERR_error_string_n(code, text, sizeof text);
  return text;
}

bool IsIpLiteral(const std::string& host) {
  return host.find(':') != std::string::npos || std::all_of(host.begin(), host.end(), [](char c) {
           return (c >= '0' && c <= '9') || c == '.';
         });
}

class OpenSslStream : public TlsStream {
 public:
  OpenSslStream(std::unique_ptr<ByteStream> inner, const std::string& host)
      : records_(std::move(inner)), host_(host) {
    SSL_CTX* context = SharedContext();
    ssl_ = context ? SSL_new(context) : nullptr;
    if (!ssl_) throw TlsError(TlsFailure::Channel, "cannot start TLS: " + LastOpenSslError());
    in_ = BIO_new(BIO_s_mem());
    out_ = BIO_new(BIO_s_mem());
    if (!in_ || !out_) {
      BIO_free(in_);
      BIO_free(out_);
      SSL_free(ssl_);
      throw TlsError(TlsFailure::Channel, "cannot start TLS: out of memory");
    }
    BIO_set_mem_eof_return(in_, -1);  // an empty input buffer means "wait", not the end
    SSL_set_bio(ssl_, in_, out_);
    SSL_set_connect_state(ssl_);
    X509_VERIFY_PARAM* param = SSL_get0_param(ssl_);
    if (IsIpLiteral(host)) {
      X509_VERIFY_PARAM_set1_ip_asc(param, host.c_str());
    } else {
      SSL_set_tlsext_host_name(ssl_, host.c_str());
      X509_VERIFY_PARAM_set_hostflags(param, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
      X509_VERIFY_PARAM_set1_host(param, host.c_str(), host.size());
    }
  }
  ~OpenSslStream() override { SSL_free(ssl_); }  // frees both memory buffers too

  Step Handshake() override {
    for (;;) {
      int result = SSL_do_handshake(ssl_);
      long flushed = FlushOut();
      if (flushed == kSocketFailed) throw records_.StreamFailure();
      if (flushed == kSocketWouldBlock) return Step::WantWrite;
      if (result == 1) return Step::Done;
      int error = SSL_get_error(ssl_, result);
      if (error != SSL_ERROR_WANT_READ) throw HandshakeError();
      long fed = FeedIn();
      if (fed == kSocketWouldBlock) return Step::WantRead;
      if (fed == kSocketFailed) throw records_.StreamFailure();
      if (fed == 0) throw TlsRecordBuffer::ClosedDuringHandshake(host_);
    }
  }

  long Receive(char* buffer, std::size_t size) override {
    for (;;) {
      long flushed = FlushOut();  // what the session still owes the server comes first
      if (flushed < 0) return flushed;
      int n = SSL_read(ssl_, buffer, int(std::min<std::size_t>(size, INT_MAX)));
      if (n > 0) return n;
      int error = SSL_get_error(ssl_, n);
      if (error == SSL_ERROR_ZERO_RETURN) return 0;
      if (error != SSL_ERROR_WANT_READ) return records_.Fail(LastOpenSslError());
      long fed = FeedIn();
      // The end of the inner stream without TLS's own closing message is taken as the end:
      // servers commonly close so, and the HTTP framing above tells a cut body.
      if (fed <= 0) return fed;
    }
  }

  long Send(const char* data, std::size_t size) override {
    long flushed = FlushOut();
    if (flushed < 0) return flushed;
    int n = SSL_write(ssl_, data, int(std::min<std::size_t>(size, INT_MAX)));
    if (n <= 0) return records_.Fail(LastOpenSslError());
    if (FlushOut() == kSocketFailed) return kSocketFailed;
    return n;  // what the inner stream would not take yet goes out on the next call
  }

  SocketWait WaitReadable(int timeoutMs) override {
    if (SSL_pending(ssl_) > 0 || BIO_ctrl_pending(in_) > 0) return SocketWait::Ready;
    return records_.WaitReadable(timeoutMs);
  }
  SocketWait WaitWritable(int timeoutMs) override { return records_.WaitWritable(timeoutMs); }
  std::string ErrorText() const override { return records_.ErrorText(); }

 private:
  // Moves the ciphertext the session produced to the inner stream: 1 when all of it went,
  // else kSocketWouldBlock (the rest is kept) or kSocketFailed.
  long FlushOut() {
    char chunk[kCipherChunk];
    for (int n; (n = BIO_read(out_, chunk, int(sizeof chunk))) > 0;)
      records_.Queue(chunk, std::size_t(n));
    return records_.Flush();
  }
  // Reads ciphertext from the inner stream into the session: bytes read, 0 at its end,
  // kSocketWouldBlock or kSocketFailed.
  long FeedIn() {
    received_.clear();
    long n = records_.Read(received_);
    if (n > 0) BIO_write(in_, received_.data(), int(n));
    return n;
  }
  TlsError HandshakeError() {
    long verify = SSL_get_verify_result(ssl_);
    std::string why = verify != X509_V_OK ? std::string("certificate verification failed: ") +
                                                X509_verify_cert_error_string(verify)
                                          : "TLS handshake failed: " + LastOpenSslError();
    ERR_clear_error();
    return TlsError(TlsFailure::Channel, why + " (" + host_ + ")");
  }

  TlsRecordBuffer records_;
  std::string host_;
  SSL* ssl_ = nullptr;
  BIO* in_ = nullptr;     // ciphertext from the server, owned by ssl_
  BIO* out_ = nullptr;    // ciphertext for the server, owned by ssl_
  std::string received_;  // ciphertext on its way from the inner stream to in_
};

}  // namespace

std::unique_ptr<TlsStream> CreateTlsStream(std::unique_ptr<ByteStream> inner,
                                           const std::string& host) {
  return std::make_unique<OpenSslStream>(std::move(inner), host);
}

}  // namespace lorvex::platform
