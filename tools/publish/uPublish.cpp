#include "tools/publish/uPublish.h"

#include <sodium.h>

#include <cstdlib>

#include "net/uSignature.h"

namespace {

bool ParseNumber(const std::string& Text, uint32_t& Number) {
  if (Text.empty() || Text.size() > 5) return false;
  Number = 0;
  for (char C : Text) {
    if (C < '0' || C > '9') return false;
    Number = Number * 10 + static_cast<uint32_t>(C - '0');
  }
  return Number <= 0xFFFF;
}

std::string JsonString(const std::string& Text) {
  static const char Hex[] = "0123456789abcdef";
  std::string Out = "\"";
  for (char C : Text) {
    unsigned char U = static_cast<unsigned char>(C);
    if (C == '"' || C == '\\') Out += std::string("\\") + C;
    else if (C == '\r') Out += "\\r";
    else if (C == '\n') Out += "\\n";
    else if (C == '\t') Out += "\\t";
    else if (U < 0x20) Out += std::string("\\u00") + Hex[U >> 4] + Hex[U & 15];
    else Out += C;
  }
  return Out + "\"";
}

}  // namespace

bool ParseVersionText(const std::string& Text, uint32_t& Packed) {
  size_t Dot = Text.find('.');
  uint32_t Major = 0, Minor = 0;
  if (Dot == std::string::npos || !ParseNumber(Text.substr(0, Dot), Major) ||
      !ParseNumber(Text.substr(Dot + 1), Minor))
    return false;
  Packed = (Major << 16) | Minor;
  return true;
}

bool IsPublishableUrl(const std::string& Url) {
  size_t Host = Url.rfind("http://", 0) == 0 ? 7 : Url.rfind("https://", 0) == 0 ? 8 : 0;
  if (Host == 0 || Url.size() == Host || Url[Host] == '/') return false;
  for (char C : Url)
    if (C <= ' ' || C > '~' || C == '"' || C == '\\') return false;
  return true;
}

std::string NotesText(const std::string& Utf8) {
  std::string Notes = Utf8.rfind("\xEF\xBB\xBF", 0) == 0 ? Utf8.substr(3) : Utf8;
  while (!Notes.empty() && (Notes.back() == '\n' || Notes.back() == '\r')) Notes.pop_back();
  return Notes;
}

std::string DocumentJson(const TRelease& Release) {
  std::string Urls;
  for (const std::string& Url : Release.Urls) Urls += (Urls.empty() ? "" : ", ") + JsonString(Url);
  return "{\r\n"
         "  \"Urls\": [" + Urls + "],\r\n"
         "  \"ver\": " + std::to_string(Release.Version) + ",\r\n"
         "  \"Msg\": " + JsonString(Release.Notes) + ",\r\n"
         "  \"Sha256\": \"" + Release.Sha256Hex + "\",\r\n"
         "  \"Size\": " + std::to_string(Release.Size) + "\r\n"
         "}\r\n";
}

std::string SignDocument(const std::string& Text, const std::string& SecretKey) {
  // The signature line must start a line of its own.
  std::string Bytes = Text.empty() || Text.back() == '\n' ? Text : Text + "\r\n";
  return Bytes + SignatureLine(SignBytes(Bytes, SecretKey)) + "\r\n";
}

void MakeKeyPair(std::string& SecretBase64, std::string& PublicBase64) {
  unsigned char Public[crypto_sign_PUBLICKEYBYTES], Secret[crypto_sign_SECRETKEYBYTES];
  // Idempotent; the random source must be ready before a key is drawn.
  if (sodium_init() < 0) std::abort();
  crypto_sign_keypair(Public, Secret);
  SecretBase64 = Base64Encode(std::string(reinterpret_cast<char*>(Secret), sizeof Secret));
  PublicBase64 = Base64Encode(std::string(reinterpret_cast<char*>(Public), sizeof Public));
  sodium_memzero(Secret, sizeof Secret);
}

bool ReadKeyText(const std::string& Text, size_t Length, std::string& Key) {
  std::string Line = Text;
  while (!Line.empty() && (Line.back() == '\n' || Line.back() == '\r' || Line.back() == ' ')) Line.pop_back();
  return Base64Decode(Line, Key) && Key.size() == Length;
}
