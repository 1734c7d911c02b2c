#include "app/uRollout.h"

#include <sodium.h>

int RolloutPosition(const std::string& Identity, uint32_t Version) {
  // SHA-256 has one plain implementation in libsodium: no sodium_init needed.
  std::string Input = Identity + "/" + std::to_string(Version);
  unsigned char Digest[crypto_hash_sha256_BYTES];
  crypto_hash_sha256(Digest, reinterpret_cast<const unsigned char*>(Input.data()), Input.size());
  uint64_t Number = 0;
  for (int I = 0; I < 8; ++I) Number = Number << 8 | Digest[I];
  return static_cast<int>(Number % 100);
}
