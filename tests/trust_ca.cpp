// Adds a test CA certificate (DER file) to the machine's trusted roots of the Wine prefix,
// so that TLS servers with certificates from that CA are trusted by WinHttp.
#include <windows.h>
// After windows.h, which it needs.
#include <wincrypt.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "rt/handle_owners.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: trust_ca CA.der\n");
    return 2;
  }
  std::ifstream file(argv[1], std::ios::binary);
  const std::string der((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  if (der.empty()) {
    std::fprintf(stderr, "trust_ca: cannot read %s\n", argv[1]);
    return 1;
  }
  const rt::UniqueCertStore store(
      ::CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, L"Root"));
  if (!store) {
    std::fprintf(stderr, "trust_ca: cannot open the Root store (%lu)\n", ::GetLastError());
    return 1;
  }
  if (!::CertAddEncodedCertificateToStore(
          store.get(), X509_ASN_ENCODING, reinterpret_cast<const BYTE*>(der.data()),
          static_cast<DWORD>(der.size()), CERT_STORE_ADD_REPLACE_EXISTING, nullptr)) {
    std::fprintf(stderr, "trust_ca: adding the certificate failed (%lu)\n", ::GetLastError());
    return 1;
  }
  std::printf("trust_ca: %s added to the trusted roots\n", argv[1]);
  return 0;
}
