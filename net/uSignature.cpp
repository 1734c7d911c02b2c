#include "net/uSignature.h"

#include <sodium.h>

namespace {

const std::string kSignaturePrefix = "//ed25519:";

const unsigned char* Raw(const std::string& Bytes) { return reinterpret_cast<const unsigned char*>(Bytes.data()); }

// sodium_init is safe to call from any thread; once is enough.
bool SodiumReady() {
  static const bool Ready = sodium_init() >= 0;
  return Ready;
}

}  // namespace

std::string Base64Encode(const std::string& Bytes) {
  std::string Text(sodium_base64_ENCODED_LEN(Bytes.size(), sodium_base64_VARIANT_ORIGINAL), '\0');
  sodium_bin2base64(&Text[0], Text.size(), Raw(Bytes), Bytes.size(), sodium_base64_VARIANT_ORIGINAL);
  Text.pop_back();  // the terminating zero
  return Text;
}

bool Base64Decode(const std::string& Text, std::string& Bytes) {
  std::string Out(Text.size() / 4 * 3 + 3, '\0');
  size_t Length = 0;
  // Without an end pointer, anything left unread is an error.
  if (sodium_base642bin(reinterpret_cast<unsigned char*>(&Out[0]), Out.size(), Text.data(), Text.size(), nullptr,
                        &Length, nullptr, sodium_base64_VARIANT_ORIGINAL) != 0)
    return false;
  Out.resize(Length);
  Bytes = std::move(Out);
  return true;
}

std::string SignatureLine(const std::string& Signature) { return kSignaturePrefix + Base64Encode(Signature); }

bool SplitSignedDocument(const std::string& Document, std::string& Signed, std::string& Signature) {
  size_t End = Document.size();
  if (End > 0 && Document[End - 1] == '\n') {
    --End;
    if (End > 0 && Document[End - 1] == '\r') --End;
  }
  size_t LineStart = End == 0 ? std::string::npos : Document.rfind('\n', End - 1);
  if (LineStart == std::string::npos) return false;
  ++LineStart;
  if (Document.compare(LineStart, kSignaturePrefix.size(), kSignaturePrefix) != 0) return false;
  size_t Base64Start = LineStart + kSignaturePrefix.size();
  std::string Bytes;
  if (!Base64Decode(Document.substr(Base64Start, End - Base64Start), Bytes) || Bytes.size() != crypto_sign_BYTES)
    return false;
  Signed = Document.substr(0, LineStart);
  Signature = std::move(Bytes);
  return true;
}

bool VerifyDocument(const std::string& Document, const std::string& PublicKeyBase64) {
  std::string Key, Signed, Signature;
  if (!SodiumReady() || !Base64Decode(PublicKeyBase64, Key) || Key.size() != crypto_sign_PUBLICKEYBYTES ||
      !SplitSignedDocument(Document, Signed, Signature))
    return false;
  return crypto_sign_verify_detached(Raw(Signature), Raw(Signed), Signed.size(), Raw(Key)) == 0;
}

std::string SignBytes(const std::string& Bytes, const std::string& SecretKey) {
  if (!SodiumReady() || SecretKey.size() != crypto_sign_SECRETKEYBYTES) return "";
  std::string Signature(crypto_sign_BYTES, '\0');
  crypto_sign_detached(reinterpret_cast<unsigned char*>(&Signature[0]), nullptr, Raw(Bytes), Bytes.size(),
                       Raw(SecretKey));
  return Signature;
}
