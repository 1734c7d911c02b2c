#include "net/uVerify.h"

#include <cstdint>

#include "net/uHttpTime.h"

namespace {

int HexDigit(char C) {
  if (C >= '0' && C <= '9') return C - '0';
  if (C >= 'a' && C <= 'f') return C - 'a' + 10;
  if (C >= 'A' && C <= 'F') return C - 'A' + 10;
  return -1;
}

}  // namespace

bool ParseSha256(const std::string& Hex, TSha256& Digest) {
  if (Hex.size() != Digest.size() * 2) return false;
  for (size_t I = 0; I < Digest.size(); ++I) {
    int High = HexDigit(Hex[2 * I]);
    int Low = HexDigit(Hex[2 * I + 1]);
    if (High < 0 || Low < 0) return false;
    Digest[I] = static_cast<unsigned char>(High * 16 + Low);
  }
  return true;
}

std::string Sha256Hex(const TSha256& Digest) {
  static const char Hex[] = "0123456789abcdef";
  std::string Text;
  for (unsigned char Byte : Digest) {
    Text += Hex[Byte >> 4];
    Text += Hex[Byte & 15];
  }
  return Text;
}

bool MayActPublished(const std::string& Published, const std::string& Newest, const std::string& Now) {
  int64_t Kept = 0, When = 0, Clock = 0;
  bool HasNewest = UtcTimeSeconds(Newest, Kept);
  if (Published.empty()) return !HasNewest;
  if (!UtcTimeSeconds(Published, When) || !UtcTimeSeconds(Now, Clock)) return false;
  return When <= Clock + 86400 && (!HasNewest || When >= Kept);
}
