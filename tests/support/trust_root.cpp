// Adds a PEM certificate to the machine's trusted roots, so the test prefix
// trusts the certificates of the loopback TLS server:
//   trust_root.exe ca.pem
#include <windows.h>
#include <wincrypt.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: trust_root CERTIFICATE.pem\n");
    return 2;
  }
  std::ifstream File(argv[1], std::ios::binary);
  std::string Pem((std::istreambuf_iterator<char>(File)), std::istreambuf_iterator<char>());
  DWORD Size = 0;
  if (Pem.empty() || !CryptStringToBinaryA(Pem.c_str(), static_cast<DWORD>(Pem.size()), CRYPT_STRING_BASE64HEADER,
                                           nullptr, &Size, nullptr, nullptr)) {
    std::fprintf(stderr, "trust_root: %s holds no PEM certificate\n", argv[1]);
    return 1;
  }
  std::vector<BYTE> Der(Size);
  CryptStringToBinaryA(Pem.c_str(), static_cast<DWORD>(Pem.size()), CRYPT_STRING_BASE64HEADER, Der.data(), &Size,
                       nullptr, nullptr);
  HCERTSTORE Store = CertOpenStore(CERT_STORE_PROV_SYSTEM_A, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, "Root");
  bool Added = Store && CertAddEncodedCertificateToStore(Store, X509_ASN_ENCODING, Der.data(), Size,
                                                         CERT_STORE_ADD_REPLACE_EXISTING, nullptr);
  if (!Added) std::fprintf(stderr, "trust_root: not added (error %lu)\n", GetLastError());
  if (Store) CertCloseStore(Store, 0);
  return Added ? 0 : 1;
}
