#include "net/uDownloadFile.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "app/uFunction.h"
#include "framework/uLog.h"
#include "net/uFileDigest.h"
#include "net/uFunction.h"
#include "net/uVerify.h"

namespace {

// The longest name the task makes from SaveFile: the state file's temporary
// copy.
const char* const LongestSuffix = ".tsk.cfg.tmp";
// Room kept free beyond the data: the state file and its temporary copy.
const int64_t RoomMargin = 1024 * 1024;
// What a full disk gives back for those two: a few blocks of most file
// systems.
const int64_t StateRoom = 8 * 1024;

bool SameText(const std::string& A, const std::string& B) {
  return lstrcmpiA(A.c_str(), B.c_str()) == 0;
}

bool IsDeviceName(std::string Base) {
  static const char* const Devices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
  // Windows ignores what follows the first dot, and blanks before it.
  Base = Base.substr(0, Base.find('.'));
  Base.erase(Base.find_last_not_of(' ') + 1);
  for (const char* Device : Devices)
    if (SameText(Base, Device)) return true;
  return Base.size() == 4 && (SameText(Base.substr(0, 3), "COM") || SameText(Base.substr(0, 3), "LPT")) &&
         Base[3] >= '0' && Base[3] <= '9';
}

bool HasForbiddenCharacter(const std::string& Name) {
  for (size_t I = 0; I < Name.size(); ++I) {
    unsigned char C = Name[I];
    // The second byte of a double-byte character may look like '\' or '|'.
    if (IsDBCSLeadByte(C) && I + 1 < Name.size()) {
      ++I;
      continue;
    }
    if (C < 32 || std::string("<>:\"/\\|?*").find(static_cast<char>(C)) != std::string::npos) return true;
  }
  return false;
}

bool Cancelled(HANDLE Cancel) { return WaitForSingleObject(Cancel, 0) == WAIT_OBJECT_0; }

void DeleteResumeFiles(const std::string& SaveFile) {
  DeleteFileA(DataFileName(SaveFile).c_str());
  DeleteFileA(StateFileName(SaveFile).c_str());
}

// The held file has the announced size and, when the document names it,
// the digest.
TAttemptEnd CheckHeld(HANDLE Held, int64_t Size, const std::string& ExpectedSha256, HANDLE Cancel) {
  LARGE_INTEGER Length{};
  if (!GetFileSizeEx(Held, &Length) || Length.QuadPart != Size) return aeFile;
  if (ExpectedSha256.empty()) return aeDone;
  TSha256 Expected, Found;
  ParseSha256(ExpectedSha256, Expected);
  THashEnd Hashed = FileSha256(Held, Cancel, Found);
  if (Hashed == heStopped) return aeStopped;
  if (Hashed == heFailed) return aeFile;
  return Found == Expected ? aeDone : aeVerify;
}

// Renames the held file to SaveFile through its handle. An earlier file
// that cannot be deleted (held open by another program) fails the attempt:
// the file at SaveFile would not be the one just checked.
TAttemptEnd RenameHeld(HANDLE Held, const std::string& SaveFile) {
  if (FileExists(SaveFile) && !DeleteFileA(SaveFile.c_str())) return aeFile;
  if (!RenameByHandle(Held, SaveFile)) return aeFile;
  // A kill before this leaves a state that counts the file whole, and the
  // next attempt takes the file back instead of fetching it again.
  DeleteFileA(StateFileName(SaveFile).c_str());
  return aeDone;
}

}  // namespace

std::string DataFileName(const std::string& SaveFile) { return SaveFile + ".tsk"; }
std::string StateFileName(const std::string& SaveFile) { return SaveFile + ".tsk.cfg"; }

bool IsPlainFileName(const std::string& Name) {
  // "." and ".." end in a dot as well.
  return !Name.empty() && Name.back() != '.' && Name.back() != ' ' &&
         Name.size() + strlen(LongestSuffix) <= 255 && !IsDeviceName(Name) && !HasForbiddenCharacter(Name);
}

bool FitsSavePath(const std::string& SaveFile) { return SaveFile.size() + strlen(LongestSuffix) < MAX_PATH; }

TDataFile::TDataFile(const std::string& FileName)
    : FHandle(CreateFileA(FileName.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                          FILE_ATTRIBUTE_NORMAL, nullptr)) {}

int64_t TDataFile::Length() const {
  LARGE_INTEGER Length{};
  GetFileSizeEx(FHandle, &Length);
  return Length.QuadPart;
}

bool TDataFile::Truncate(int64_t Position) {
  LARGE_INTEGER Offset;
  Offset.QuadPart = Position;
  return SetFilePointerEx(FHandle, Offset, nullptr, FILE_BEGIN) && SetEndOfFile(FHandle);
}

bool TDataFile::Close() {
  if (FHandle == INVALID_HANDLE_VALUE) return true;
  bool Flushed = FlushFileBuffers(FHandle);
  CloseHandle(FHandle);
  FHandle = INVALID_HANDLE_VALUE;
  return Flushed;
}

TStateWriter::TStateWriter(HANDLE DataFile, std::string FileName)
    : FDataFile(DataFile), FFileName(std::move(FileName)), FThread([this] { Run(); }) {}

TStateWriter::~TStateWriter() {
  {
    std::lock_guard<std::mutex> Lock(FLock);
    FStop = true;
  }
  FWake.notify_one();
  FThread.join();
}

void TStateWriter::Write(std::string Text) {
  {
    std::lock_guard<std::mutex> Lock(FLock);
    FWaiting = std::move(Text);
  }
  FWake.notify_one();
}

void TStateWriter::Run() {
  std::unique_lock<std::mutex> Lock(FLock);
  for (;;) {
    FWake.wait(Lock, [this] { return FStop || FWaiting; });
    if (FStop) return;
    std::string Text = std::move(*FWaiting);
    FWaiting.reset();
    Lock.unlock();
    if (FlushFileBuffers(FDataFile)) SaveFileSafely(FFileName, Text);
    Lock.lock();
  }
}

bool PrepareFolder(const std::string& SaveFile, bool AdminOnly) {
  std::string Folder = FolderOf(SaveFile);
  if (!AdminOnly) return ForceFolder(Folder);
  bool TookOver = false;
  bool Made = MakeAdminOnlyFolder(Folder, TookOver);
  if (TookOver) Log("download: %s could be changed by others: %s", Folder.c_str(), Made ? "replaced" : "refused");
  return Made;
}

bool HasRoomFor(const std::string& SaveFile, int64_t More) {
  ULARGE_INTEGER Free{};
  if (!GetDiskFreeSpaceExA(FolderOf(SaveFile).c_str(), &Free, nullptr, nullptr)) return true;  // the writes will tell
  if (int64_t(Free.QuadPart) >= More + RoomMargin) return true;
  Log("download: %lld bytes free beside %s, %lld needed", static_cast<long long>(Free.QuadPart), SaveFile.c_str(),
      static_cast<long long>(More + RoomMargin));
  return false;
}

bool DiskFullError() {
  DWORD Error = GetLastError();
  return Error == ERROR_DISK_FULL || Error == ERROR_HANDLE_DISK_FULL;
}

int64_t GiveBackForState(TDataFile& Data, int64_t Down) {
  Down = std::max<int64_t>(0, Down - StateRoom);
  return Data.Truncate(Down) ? Down : 0;
}

bool AdoptFinished(const std::string& SaveFile, int64_t Size, bool Complete, const std::string& ExpectedSha256,
                   HANDLE Cancel) {
  std::string Data = DataFileName(SaveFile);
  if (Size <= 0 || FileExists(Data) || !FileExists(SaveFile) || (!Complete && ExpectedSha256.empty())) return false;
  HANDLE File = CreateFileA(SaveFile.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (File == INVALID_HANDLE_VALUE) return false;
  bool Same = CheckHeld(File, Size, Complete ? "" : ExpectedSha256, Cancel) == aeDone;
  CloseHandle(File);
  return Same && MoveFileA(SaveFile.c_str(), Data.c_str());
}

TAttemptEnd PutInPlace(const std::string& SaveFile, int64_t Size, const std::string& ExpectedSha256,
                       HANDLE Cancel, HANDLE& Held) {
  Held = nullptr;
#ifdef ZR_TEST_SEAMS
  // Tests widen the gap between the last block and the rename.
  WaitForSingleObject(Cancel, TestSeamMs("ZR_TEST_PAUSE_BEFORE_RENAME"));
#endif
  if (Cancelled(Cancel)) return aeStopped;
  HANDLE File = CreateFileA(DataFileName(SaveFile).c_str(), GENERIC_READ | DELETE, FILE_SHARE_READ, nullptr,
                            OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (File == INVALID_HANDLE_VALUE) return aeFile;
  TAttemptEnd End = CheckHeld(File, Size, ExpectedSha256, Cancel);
  if (End == aeDone) End = RenameHeld(File, SaveFile);
  if (End == aeDone) {
    Held = File;
    return aeDone;
  }
  CloseHandle(File);
  if (End == aeVerify) DeleteResumeFiles(SaveFile);
  return End;
}
