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
  TSha256Hash Hash;
  if (!Hash.Ready()) return heFailed;
  HANDLE File = CreateFileA(Path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (File == INVALID_HANDLE_VALUE) return heFailed;
  std::vector<unsigned char> Piece(PieceSize);
  THashEnd End = heFailed;
  for (;;) {
    if (WaitForSingleObject(Stop, 0) == WAIT_OBJECT_0) {
      End = heStopped;
      break;
    }
    DWORD Read = 0;
    if (!ReadFile(File, Piece.data(), PieceSize, &Read, nullptr)) break;
    if (Read == 0) {
      End = Hash.Finish(Digest) ? heDone : heFailed;
      break;
    }
    if (!Hash.Add(Piece, Read)) break;
  }
  CloseHandle(File);
  return End;
}
