#include "net/uFileDigest.h"

#include <bcrypt.h>

#include <vector>

namespace {

const DWORD PieceSize = 1024 * 1024;

// The provider and hash object, freed on every way out.
class TSha256Hash {
 public:
  TSha256Hash() {
    if (BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(&FProvider, BCRYPT_SHA256_ALGORITHM, nullptr, 0)) &&
        !BCRYPT_SUCCESS(BCryptCreateHash(FProvider, &FHash, nullptr, 0, nullptr, 0, 0)))
      FHash = nullptr;
  }
  ~TSha256Hash() {
    if (FHash) BCryptDestroyHash(FHash);
    if (FProvider) BCryptCloseAlgorithmProvider(FProvider, 0);
  }
  TSha256Hash(const TSha256Hash&) = delete;
  TSha256Hash& operator=(const TSha256Hash&) = delete;
  bool Ready() const { return FHash != nullptr; }
  bool Add(std::vector<unsigned char>& Bytes, DWORD Count) {
    return BCRYPT_SUCCESS(BCryptHashData(FHash, Bytes.data(), Count, 0));
  }
  bool Finish(TSha256& Digest) {
    return BCRYPT_SUCCESS(BCryptFinishHash(FHash, Digest.data(), static_cast<ULONG>(Digest.size()), 0));
  }

 private:
  BCRYPT_ALG_HANDLE FProvider = nullptr;
  BCRYPT_HASH_HANDLE FHash = nullptr;
};

}  // namespace

THashEnd FileSha256(const std::string& Path, HANDLE Stop, TSha256& Digest) {
  HANDLE File = CreateFileA(Path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (File == INVALID_HANDLE_VALUE) return heFailed;
  THashEnd End = FileSha256(File, Stop, Digest);
  CloseHandle(File);
  return End;
}

THashEnd FileSha256(HANDLE File, HANDLE Stop, TSha256& Digest) {
  TSha256Hash Hash;
  if (!Hash.Ready()) return heFailed;
  std::vector<unsigned char> Piece(PieceSize);
  for (;;) {
    if (Stop && WaitForSingleObject(Stop, 0) == WAIT_OBJECT_0) return heStopped;
    DWORD Read = 0;
    if (!ReadFile(File, Piece.data(), PieceSize, &Read, nullptr)) return heFailed;
    if (Read == 0) return Hash.Finish(Digest) ? heDone : heFailed;
    if (!Hash.Add(Piece, Read)) return heFailed;
  }
}
