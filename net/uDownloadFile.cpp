#include "net/uDownloadFile.h"

#include <cstring>
#include <vector>

#include "app/uFunction.h"
#include "net/uFileDigest.h"
#include "net/uFunction.h"
#include "net/uVerify.h"

namespace {

// The longest name the task makes from SaveFile: the state file's temporary
// copy.
const char* const LongestSuffix = ".tsk.cfg.tmp";

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
  int Length = MultiByteToWideChar(CP_ACP, 0, SaveFile.c_str(), -1, nullptr, 0);
  if (Length <= 0) return aeFile;
  std::vector<char> Buffer(sizeof(FILE_RENAME_INFO) + Length * sizeof(WCHAR));
  auto* Rename = reinterpret_cast<FILE_RENAME_INFO*>(Buffer.data());
  Rename->ReplaceIfExists = FALSE;
  Rename->FileNameLength = (Length - 1) * sizeof(WCHAR);
  MultiByteToWideChar(CP_ACP, 0, SaveFile.c_str(), -1, Rename->FileName, Length);
  if (!SetFileInformationByHandle(Held, FileRenameInfo, Rename, static_cast<DWORD>(Buffer.size())))
    return aeFile;
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

void TDataFile::Close() {
  if (FHandle == INVALID_HANDLE_VALUE) return;
  FlushFileBuffers(FHandle);
  CloseHandle(FHandle);
  FHandle = INVALID_HANDLE_VALUE;
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
  bool WasOpen = false;
  if (!MakeAdminOnlyFolder(Folder, WasOpen)) return false;
  if (WasOpen) DeleteResumeFiles(SaveFile);
  return true;
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
