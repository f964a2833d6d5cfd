// http-get.exe: `lorvex get` built for Windows, so that the tests drive the HTTP client's
// Windows TLS under Wine with the same cases as the native tool (`http-get.exe get URL ...`). Two
// more commands manage the machine's root store (the test prefix's own), where a test authority
// must be trusted:
//   http-get.exe --trust-root CA.pem      http-get.exe --untrust-root CA.pem
#include <windows.h>
// after windows.h, which it needs
#include <fcntl.h>
#include <io.h>
#include <wincrypt.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "cli/Commands.h"

namespace {

// The certificate in a PEM or DER file, as DER.
std::vector<BYTE> ReadCertificate(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (text.find("-----BEGIN") == std::string::npos) return {text.begin(), text.end()};
  DWORD size = 0;
  if (!::CryptStringToBinaryA(text.c_str(), DWORD(text.size()), CRYPT_STRING_BASE64HEADER, nullptr,
                              &size, nullptr, nullptr))
    throw std::runtime_error("not a certificate: " + path);
  std::vector<BYTE> der(size);
  ::CryptStringToBinaryA(text.c_str(), DWORD(text.size()), CRYPT_STRING_BASE64HEADER, der.data(),
                         &size, nullptr, nullptr);
  return der;
}

bool ChangeRootStore(const std::string& path, bool trust) {
  std::vector<BYTE> der = ReadCertificate(path);
  HCERTSTORE store =
      ::CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, L"Root");
  if (!store) return false;
  bool done = false;
  if (trust) {
    done =
        ::CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING, der.data(), DWORD(der.size()),
                                           CERT_STORE_ADD_REPLACE_EXISTING, nullptr);
  } else if (PCCERT_CONTEXT wanted =
                 ::CertCreateCertificateContext(X509_ASN_ENCODING, der.data(), DWORD(der.size()))) {
    PCCERT_CONTEXT found = ::CertFindCertificateInStore(store, X509_ASN_ENCODING, 0,
                                                        CERT_FIND_EXISTING, wanted, nullptr);
    done = !found || ::CertDeleteCertificateFromStore(found);  // the delete frees found
    ::CertFreeCertificateContext(wanted);
  }
  ::CertCloseStore(store, 0);
  return done;
}

}  // namespace

int main(int argc, char** argv) {
  _setmode(_fileno(stdout), _O_BINARY);
  lorvex::cli::Args args(argv + 1, argv + argc);
  try {
    if (args.size() == 2 && (args[0] == "--trust-root" || args[0] == "--untrust-root"))
      return ChangeRootStore(args[1], args[0] == "--trust-root") ? 0 : 1;
    if (!args.empty() && args[0] == "get") args.erase(args.begin());
    return lorvex::cli::GetCommand(args);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "http-get: %s\n", e.what());
    return 2;
  }
}
