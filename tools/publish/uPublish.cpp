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

std::string Escape(uint32_t Unit) {
  static const char Hex[] = "0123456789abcdef";
  return std::string("\\u") + Hex[Unit >> 12 & 15] + Hex[Unit >> 8 & 15] + Hex[Unit >> 4 & 15] + Hex[Unit & 15];
}

// The code point of the valid UTF-8 sequence at Text[At], and At moved past it.
uint32_t NextCodePoint(const std::string& Text, size_t& At) {
  unsigned char Lead = static_cast<unsigned char>(Text[At++]);
  int More = Lead >= 0xF0 ? 3 : Lead >= 0xE0 ? 2 : Lead >= 0xC0 ? 1 : 0;
  uint32_t Point = More ? Lead & (0x3F >> More) : Lead;
  for (; More > 0 && At < Text.size(); --More) Point = Point << 6 | (static_cast<unsigned char>(Text[At++]) & 0x3F);
  return Point;
}

// A JSON string of ASCII characters only.
std::string JsonString(const std::string& Utf8) {
  std::string Out = "\"";
  for (size_t At = 0; At < Utf8.size();) {
    uint32_t C = NextCodePoint(Utf8, At);
    if (C == '"' || C == '\\') Out += std::string("\\") + static_cast<char>(C);
    else if (C == '\r') Out += "\\r";
    else if (C == '\n') Out += "\\n";
    else if (C == '\t') Out += "\\t";
    else if (C >= 0x10000) Out += Escape(0xD800 + ((C - 0x10000) >> 10)) + Escape(0xDC00 + ((C - 0x10000) & 0x3FF));
    else if (C < 0x20 || C >= 0x7F) Out += Escape(C);
    else Out += static_cast<char>(C);
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
  std::string Notes;
  for (size_t I = Utf8.rfind("\xEF\xBB\xBF", 0) == 0 ? 3 : 0; I < Utf8.size(); ++I) {
    if (Utf8[I] == '\r' && I + 1 < Utf8.size() && Utf8[I + 1] == '\n') continue;  // its LF writes the break
    Notes += Utf8[I] == '\r' || Utf8[I] == '\n' ? std::string("\r\n") : std::string(1, Utf8[I]);
  }
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
         "  \"Sha256\": " + JsonString(Release.Sha256Hex) + ",\r\n"
         "  \"Size\": " + std::to_string(Release.Size) +
         (Release.Expires.empty() ? "" : ",\r\n  \"Expires\": " + JsonString(Release.Expires)) +
         (Release.AllowDowngrade ? ",\r\n  \"AllowDowngrade\": true" : "") +
         (Release.Rollout < 100 ? ",\r\n  \"Rollout\": " + std::to_string(Release.Rollout) : "") +
         (Release.Critical ? ",\r\n  \"Critical\": true" : "") +
         (Release.Published.empty() ? "" : ",\r\n  \"Published\": " + JsonString(Release.Published)) +
         "\r\n"
         "}\r\n";
}

std::string SignDocument(const std::string& Text, const std::vector<std::string>& SecretKeys) {
  // The signature lines must start a line of their own.
  std::string Bytes = Text.empty() || Text.back() == '\n' ? Text : Text + "\r\n";
  std::string Document = Bytes;
  for (const std::string& Key : SecretKeys) Document += SignatureLine(SignBytes(Bytes, Key)) + "\r\n";
  return Document;
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
