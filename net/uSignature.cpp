#include "net/uSignature.h"

#include <sodium.h>

#include <utility>

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

namespace {

// The 64-byte signature of the line Document[Start, End), when it is one.
bool ReadSignatureLine(const std::string& Document, size_t Start, size_t End, std::string& Signature) {
  if (Document.compare(Start, kSignaturePrefix.size(), kSignaturePrefix) != 0) return false;
  size_t Base64Start = Start + kSignaturePrefix.size();
  return Base64Start <= End && Base64Decode(Document.substr(Base64Start, End - Base64Start), Signature) &&
         Signature.size() == crypto_sign_BYTES;
}

// The end of a line's text whose "\n" is at End: before a "\r" there.
size_t WithoutCarriageReturn(const std::string& Document, size_t End) {
  return End > 0 && Document[End - 1] == '\r' ? End - 1 : End;
}

}  // namespace

bool SplitSignedDocument(const std::string& Document, std::string& Signed, std::vector<std::string>& Signatures) {
  size_t End = Document.size();
  if (End > 0 && Document[End - 1] == '\n') End = WithoutCarriageReturn(Document, End - 1);
  std::vector<std::string> Found;
  size_t FirstLine = std::string::npos;
  // From the last line up, as long as the lines are signature lines.
  for (;;) {
    size_t Break = End == 0 ? std::string::npos : Document.rfind('\n', End - 1);
    std::string Signature;
    if (Break == std::string::npos || !ReadSignatureLine(Document, Break + 1, End, Signature)) break;
    Found.insert(Found.begin(), std::move(Signature));
    FirstLine = Break + 1;
    End = WithoutCarriageReturn(Document, Break);
  }
  if (Found.empty()) return false;
  Signed = Document.substr(0, FirstLine);
  Signatures = std::move(Found);
  return true;
}

bool VerifyDocument(const std::string& Document, const std::string& PublicKeys) {
  std::string Signed;
  std::vector<std::string> Signatures;
  if (!SodiumReady() || !SplitSignedDocument(Document, Signed, Signatures)) return false;
  size_t Start = 0;
  for (;;) {
    size_t Comma = PublicKeys.find(',', Start);
    std::string Key;
    if (Base64Decode(PublicKeys.substr(Start, Comma - Start), Key) && Key.size() == crypto_sign_PUBLICKEYBYTES)
      for (const std::string& Signature : Signatures)
        if (crypto_sign_verify_detached(Raw(Signature), Raw(Signed), Signed.size(), Raw(Key)) == 0) return true;
    if (Comma == std::string::npos) return false;
    Start = Comma + 1;
  }
}

std::string SignBytes(const std::string& Bytes, const std::string& SecretKey) {
  if (!SodiumReady() || SecretKey.size() != crypto_sign_SECRETKEYBYTES) return "";
  std::string Signature(crypto_sign_BYTES, '\0');
  crypto_sign_detached(reinterpret_cast<unsigned char*>(&Signature[0]), nullptr, Raw(Bytes), Bytes.size(),
                       Raw(SecretKey));
  return Signature;
}
