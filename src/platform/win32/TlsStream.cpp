// TLS over Schannel (SSPI): tokens and records are exchanged through memory buffers, which this
// stream moves to and from the inner stream through a TlsRecordBuffer, so that nothing blocks.
// Schannel is asked not to judge the server's certificate itself; the chain is built and checked
// here against the system's trust store and the host name, the same way on Windows and under Wine.
#include "platform/TlsStream.h"

#include <winsock2.h>
// after winsock2.h, which must come first
#include <windows.h>
#define SECURITY_WIN32
#include <schannel.h>
#include <security.h>
#include <sspi.h>
#include <wincrypt.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <cstring>
#include <optional>
#include <vector>

#include "platform/TlsRecords.h"
#include "util/Strings.h"

namespace lorvex::platform {

namespace {

// The largest TLS record with its header and padding; more buffered input than this without a
// complete message is a broken peer.
constexpr std::size_t kMaxBufferedCipher = 128 * 1024;
constexpr ULONG kContextFlags = ISC_REQ_SEQUENCE_DETECT | ISC_REQ_REPLAY_DETECT |
                                ISC_REQ_CONFIDENTIALITY | ISC_REQ_ALLOCATE_MEMORY | ISC_REQ_STREAM |
                                ISC_REQ_MANUAL_CRED_VALIDATION;

std::string StatusText(const char* what, long status) {
  char text[64];
  std::snprintf(text, sizeof text, "%s failed (0x%08lX)", what, static_cast<unsigned long>(status));
  return text;
}

std::string CertificateErrorText(DWORD error, bool selfSigned) {
  switch (error) {
    case static_cast<DWORD>(CERT_E_EXPIRED):
      return "certificate has expired or is not yet valid";
    case static_cast<DWORD>(CERT_E_CN_NO_MATCH):
      return "host name mismatch";
    case static_cast<DWORD>(CERT_E_UNTRUSTEDROOT):
      return selfSigned ? "self-signed certificate" : "certificate from an untrusted authority";
    case static_cast<DWORD>(CERT_E_CHAINING):
      return "certificate chain could not be built to a trusted authority";
    case static_cast<DWORD>(CERT_E_WRONG_USAGE):
      return "certificate is not for a server";
    case static_cast<DWORD>(CRYPT_E_REVOKED):
      return "certificate has been revoked";
    default:
      return StatusText("certificate check", long(error));
  }
}

// The bytes of an IPv4 or IPv6 literal; nothing for a host name.
std::optional<std::vector<unsigned char>> AddressBytes(const std::string& host) {
  sockaddr_storage storage{};
  int length = sizeof storage;
  std::wstring wide(host.begin(), host.end());
  for (int family : {AF_INET, AF_INET6}) {
    length = sizeof storage;
    if (::WSAStringToAddressW(const_cast<wchar_t*>(wide.c_str()), family, nullptr,
                              reinterpret_cast<sockaddr*>(&storage), &length) != 0)
      continue;
    if (family == AF_INET) {
      auto* v4 = reinterpret_cast<const unsigned char*>(
          &reinterpret_cast<const sockaddr_in*>(&storage)->sin_addr);
      return std::vector<unsigned char>(v4, v4 + 4);
    }
    auto* v6 = reinterpret_cast<const unsigned char*>(
        &reinterpret_cast<const sockaddr_in6*>(&storage)->sin6_addr);
    return std::vector<unsigned char>(v6, v6 + 16);
  }
  return std::nullopt;
}

// True when the certificate's subject alternative names hold the address.
bool HasIpEntry(PCCERT_CONTEXT certificate, const std::vector<unsigned char>& address) {
  const CERT_INFO* info = certificate->pCertInfo;
  PCERT_EXTENSION extension =
      ::CertFindExtension(szOID_SUBJECT_ALT_NAME2, info->cExtension, info->rgExtension);
  if (!extension) return false;
  CERT_ALT_NAME_INFO* names = nullptr;
  DWORD size = 0;
  if (!::CryptDecodeObjectEx(X509_ASN_ENCODING, X509_ALTERNATE_NAME, extension->Value.pbData,
                             extension->Value.cbData, CRYPT_DECODE_ALLOC_FLAG, nullptr, &names,
                             &size))
    return false;
  bool found = false;
  for (DWORD i = 0; i < names->cAltEntry && !found; ++i) {
    const CERT_ALT_NAME_ENTRY& entry = names->rgAltEntry[i];
    found = entry.dwAltNameChoice == CERT_ALT_NAME_IP_ADDRESS &&
            entry.IPAddress.cbData == address.size() &&
            std::equal(address.begin(), address.end(), entry.IPAddress.pbData);
  }
  ::LocalFree(names);
  return found;
}

std::wstring Widen(const std::string& text) {
  return std::wstring(text.begin(), text.end());  // host names are ASCII
}

// Owners of the SSPI and certificate objects.
struct Credentials {
  CredHandle handle{};
  bool valid = false;
  ~Credentials() {
    if (valid) ::FreeCredentialsHandle(&handle);
  }
};
struct SecurityContext {
  CtxtHandle handle{};
  bool valid = false;
  ~SecurityContext() {
    if (valid) ::DeleteSecurityContext(&handle);
  }
};
struct ContextBuffer {
  void* data = nullptr;
  ~ContextBuffer() {
    if (data) ::FreeContextBuffer(data);
  }
};
struct CertificateContext {
  PCCERT_CONTEXT value = nullptr;
  ~CertificateContext() {
    if (value) ::CertFreeCertificateContext(value);
  }
};
struct CertificateChain {
  PCCERT_CHAIN_CONTEXT value = nullptr;
  ~CertificateChain() {
    if (value) ::CertFreeCertificateChain(value);
  }
};

class SchannelStream : public TlsStream {
 public:
  SchannelStream(std::unique_ptr<ByteStream> inner, const std::string& host)
      : records_(std::move(inner)), host_(host) {
    SCHANNEL_CRED settings{};
    settings.dwVersion = SCHANNEL_CRED_VERSION;
    settings.dwFlags = SCH_CRED_MANUAL_CRED_VALIDATION | SCH_CRED_NO_DEFAULT_CREDS;
    TimeStamp expiry;
    SECURITY_STATUS status = ::AcquireCredentialsHandleA(
        nullptr, const_cast<char*>(UNISP_NAME_A), SECPKG_CRED_OUTBOUND, nullptr, &settings, nullptr,
        nullptr, &credentials_.handle, &expiry);
    if (status != SEC_E_OK)
      throw TlsError(TlsFailure::Channel,
                     "cannot start TLS: " + StatusText("AcquireCredentialsHandle", status));
    credentials_.valid = true;
  }

  Step Handshake() override {
    for (;;) {
      long flushed = FlushOut();
      if (flushed == kSocketFailed) throw records_.StreamFailure();
      if (flushed == kSocketWouldBlock) return Step::WantWrite;
      if (established_) return Step::Done;
      if (started_ && (cipher_.empty() || needMore_)) {
        long fed = FeedIn();
        if (fed == kSocketWouldBlock) return Step::WantRead;
        if (fed == kSocketFailed) throw records_.StreamFailure();
        if (fed == 0) throw TlsRecordBuffer::ClosedDuringHandshake(host_);
        continue;
      }
      Advance();
    }
  }

  long Receive(char* buffer, std::size_t size) override {
    for (;;) {
      if (plainAt_ < plain_.size()) {
        std::size_t n = std::min(size, plain_.size() - plainAt_);
        std::memcpy(buffer, plain_.data() + plainAt_, n);
        plainAt_ += n;
        return long(n);
      }
      if (closed_) return 0;
      long flushed = FlushOut();
      if (flushed < 0) return flushed;
      if (!cipher_.empty()) {
        long decrypted = Decrypt();
        if (decrypted != 0) {
          if (decrypted == kSocketFailed) return decrypted;
          continue;  // plaintext, the peer's close, or a renegotiation step
        }
      }
      long fed = FeedIn();
      if (fed == 0) return 0;  // the end without TLS's own closing message: the framing tells
      if (fed < 0) return fed;
    }
  }

  long Send(const char* data, std::size_t size) override {
    long flushed = FlushOut();
    if (flushed < 0) return flushed;
    std::size_t n = std::min<std::size_t>(size, sizes_.cbMaximumMessage);
    std::vector<char> record(sizes_.cbHeader + n + sizes_.cbTrailer);
    std::memcpy(record.data() + sizes_.cbHeader, data, n);
    SecBuffer buffers[4] = {
        {sizes_.cbHeader, SECBUFFER_STREAM_HEADER, record.data()},
        {ULONG(n), SECBUFFER_DATA, record.data() + sizes_.cbHeader},
        {sizes_.cbTrailer, SECBUFFER_STREAM_TRAILER, record.data() + sizes_.cbHeader + n},
        {0, SECBUFFER_EMPTY, nullptr}};
    SecBufferDesc description{SECBUFFER_VERSION, 4, buffers};
    SECURITY_STATUS status = ::EncryptMessage(&context_.handle, 0, &description, 0);
    if (status != SEC_E_OK) return records_.Fail(StatusText("EncryptMessage", status));
    records_.Queue(record.data(), buffers[0].cbBuffer + buffers[1].cbBuffer + buffers[2].cbBuffer);
    if (FlushOut() == kSocketFailed) return kSocketFailed;
    return long(n);  // what the inner stream would not take yet goes out on the next call
  }

  SocketWait WaitReadable(int timeoutMs) override {
    if (plainAt_ < plain_.size() || closed_ || (!cipher_.empty() && !needMore_))
      return SocketWait::Ready;
    return records_.WaitReadable(timeoutMs);
  }
  SocketWait WaitWritable(int timeoutMs) override { return records_.WaitWritable(timeoutMs); }
  std::string ErrorText() const override { return records_.ErrorText(); }

 private:
  // One InitializeSecurityContext step over the buffered input; false when it needs more.
  bool Advance() {
    SecBuffer in[2] = {{ULONG(cipher_.size()), SECBUFFER_TOKEN, cipher_.data()},
                       {0, SECBUFFER_EMPTY, nullptr}};
    SecBufferDesc inDescription{SECBUFFER_VERSION, 2, in};
    SecBuffer out[1] = {{0, SECBUFFER_TOKEN, nullptr}};
    SecBufferDesc outDescription{SECBUFFER_VERSION, 1, out};
    ULONG attributes = 0;
    TimeStamp expiry;
    std::wstring target = Widen(host_);
    SECURITY_STATUS status = ::InitializeSecurityContextW(
        &credentials_.handle, started_ ? &context_.handle : nullptr,
        const_cast<wchar_t*>(target.c_str()), kContextFlags, 0, 0,
        started_ ? &inDescription : nullptr, 0, started_ ? nullptr : &context_.handle,
        &outDescription, &attributes, &expiry);
    ContextBuffer token{out[0].pvBuffer};
    if (!started_ && (status == SEC_I_CONTINUE_NEEDED || status == SEC_E_OK)) context_.valid = true;
    started_ = true;
    if (status == SEC_E_INCOMPLETE_MESSAGE) {
      if (cipher_.size() > kMaxBufferedCipher) throw HandshakeError(status);
      needMore_ = true;
      return false;
    }
    if (status != SEC_E_OK && status != SEC_I_CONTINUE_NEEDED) throw HandshakeError(status);
    if (out[0].pvBuffer && out[0].cbBuffer)
      records_.Queue(static_cast<const char*>(out[0].pvBuffer), out[0].cbBuffer);
    KeepExtra(in[1]);
    if (status == SEC_E_OK) {
      VerifyServer();
      status = ::QueryContextAttributesW(&context_.handle, SECPKG_ATTR_STREAM_SIZES, &sizes_);
      if (status != SEC_E_OK) throw HandshakeError(status);
      established_ = true;
    }
    return true;
  }

  // Keeps the unread tail of the input (a SECBUFFER_EXTRA), or nothing.
  void KeepExtra(const SecBuffer& extra) {
    if (extra.BufferType == SECBUFFER_EXTRA && extra.cbBuffer > 0 &&
        extra.cbBuffer <= cipher_.size())
      cipher_.erase(0, cipher_.size() - extra.cbBuffer);
    else
      cipher_.clear();
    needMore_ = false;
  }

  // Decrypts one record: 1 when it gave plaintext or ended the session, 0 when more input is
  // needed, kSocketFailed on failure.
  long Decrypt() {
    SecBuffer buffers[4] = {{ULONG(cipher_.size()), SECBUFFER_DATA, cipher_.data()},
                            {0, SECBUFFER_EMPTY, nullptr},
                            {0, SECBUFFER_EMPTY, nullptr},
                            {0, SECBUFFER_EMPTY, nullptr}};
    SecBufferDesc description{SECBUFFER_VERSION, 4, buffers};
    SECURITY_STATUS status = ::DecryptMessage(&context_.handle, &description, 0, nullptr);
    if (status == SEC_E_INCOMPLETE_MESSAGE) {
      if (cipher_.size() > kMaxBufferedCipher)
        return records_.Fail(StatusText("DecryptMessage", status));
      needMore_ = true;
      return 0;
    }
    if (status == SEC_I_CONTEXT_EXPIRED) {
      closed_ = true;
      return 1;
    }
    if (status != SEC_E_OK && status != SEC_I_RENEGOTIATE)
      return records_.Fail(StatusText("DecryptMessage", status));
    plain_.clear();
    plainAt_ = 0;
    const SecBuffer* extra = nullptr;
    for (const SecBuffer& b : buffers) {
      if (b.BufferType == SECBUFFER_DATA && b.cbBuffer)
        plain_.assign(static_cast<const char*>(b.pvBuffer), b.cbBuffer);
      if (b.BufferType == SECBUFFER_EXTRA) extra = &b;
    }
    // plain_ was copied out of cipher_'s memory before the tail is moved down.
    SecBuffer none{0, SECBUFFER_EMPTY, nullptr};
    KeepExtra(extra ? *extra : none);
    if (status == SEC_I_RENEGOTIATE) {
      // Post-handshake messages (session tickets, key updates) go back through the handshake.
      established_ = false;
      try {
        while (!established_ && Advance()) {
        }
      } catch (const TlsError& e) {
        return records_.Fail(e.what());
      }
      if (!established_) return records_.Fail("TLS renegotiation is not supported");
    }
    return 1;
  }

  void VerifyServer() {
    CertificateContext certificate;
    SECURITY_STATUS status = ::QueryContextAttributesW(
        &context_.handle, SECPKG_ATTR_REMOTE_CERT_CONTEXT, &certificate.value);
    if (status != SEC_E_OK || !certificate.value)
      throw TlsError(TlsFailure::Channel, "the server sent no certificate (" + host_ + ")");
    char serverAuth[] = szOID_PKIX_KP_SERVER_AUTH;
    LPSTR usages[] = {serverAuth};
    CERT_CHAIN_PARA chainSettings{};
    chainSettings.cbSize = sizeof chainSettings;
    chainSettings.RequestedUsage.dwType = USAGE_MATCH_TYPE_OR;
    chainSettings.RequestedUsage.Usage.cUsageIdentifier = 1;
    chainSettings.RequestedUsage.Usage.rgpszUsageIdentifier = usages;
    CertificateChain chain;
    if (!::CertGetCertificateChain(nullptr, certificate.value, nullptr,
                                   certificate.value->hCertStore, &chainSettings, 0, nullptr,
                                   &chain.value))
      throw TlsError(TlsFailure::Channel,
                     StatusText("certificate chain", long(::GetLastError())) + " (" + host_ + ")");
    // An address is matched here against the certificate's IP entries; the policy's own
    // name check is for host names.
    std::optional<std::vector<unsigned char>> address = AddressBytes(host_);
    std::wstring serverName = Widen(host_);
    SSL_EXTRA_CERT_CHAIN_POLICY_PARA ssl{};
    ssl.cbSize = sizeof ssl;
    ssl.dwAuthType = AUTHTYPE_SERVER;
    ssl.pwszServerName = address ? nullptr : const_cast<wchar_t*>(serverName.c_str());
    CERT_CHAIN_POLICY_PARA policy{};
    policy.cbSize = sizeof policy;
    policy.pvExtraPolicyPara = &ssl;
    CERT_CHAIN_POLICY_STATUS result{};
    result.cbSize = sizeof result;
    if (!::CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_SSL, chain.value, &policy, &result))
      throw TlsError(TlsFailure::Channel,
                     StatusText("certificate policy", long(::GetLastError())) + " (" + host_ + ")");
    bool selfSigned = chain.value->cChain > 0 && chain.value->rgpChain[0]->cElement == 1;
    DWORD error = result.dwError;
    if (error == 0 && address && !HasIpEntry(certificate.value, *address))
      error = static_cast<DWORD>(CERT_E_CN_NO_MATCH);
    if (error != 0)
      throw TlsError(TlsFailure::Channel,
                     "certificate verification failed: " + CertificateErrorText(error, selfSigned) +
                         " (" + host_ + ")");
  }

  long FlushOut() { return records_.Flush(); }
  long FeedIn() {
    long n = records_.Read(cipher_);
    if (n > 0) needMore_ = false;
    return n;
  }
  TlsError HandshakeError(long status) const {
    return TlsError(TlsFailure::Channel,
                    "TLS handshake failed: " + StatusText("InitializeSecurityContext", status) +
                        " (" + host_ + ")");
  }

  TlsRecordBuffer records_;
  std::string host_;
  Credentials credentials_;
  SecurityContext context_;
  SecPkgContext_StreamSizes sizes_{};
  bool started_ = false, established_ = false, closed_ = false;
  bool needMore_ = false;  // the buffered input is an incomplete message
  std::string cipher_;     // input not yet consumed
  std::string plain_;      // decrypted, not yet read
  std::size_t plainAt_ = 0;
};

}  // namespace

std::unique_ptr<TlsStream> CreateTlsStream(std::unique_ptr<ByteStream> inner,
                                           const std::string& host) {
  return std::make_unique<SchannelStream>(std::move(inner), host);
}

}  // namespace lorvex::platform
