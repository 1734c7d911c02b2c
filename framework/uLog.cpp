#include "framework/uLog.h"

#include <windows.h>

#include <cstdarg>
#include <cstdio>

#include "framework/GbkText.h"

const char LOG_FILE_NAME[] = "ZeRunUpdate.log";

namespace {

// Lines kept before the folder is known stop growing here.
const size_t PENDING_LIMIT = 64 * 1024;

SRWLOCK Lock = SRWLOCK_INIT;
HANDLE File = INVALID_HANDLE_VALUE;
bool Dropped = false;  // OpenLog("") was called: nowhere to write
std::string Pending;

std::string ToUtf8(const std::wstring& Wide) {
  if (Wide.empty()) return {};
  int Size = WideCharToMultiByte(CP_UTF8, 0, Wide.data(), int(Wide.size()), nullptr, 0, nullptr, nullptr);
  if (Size <= 0) return {};
  std::string Utf8(size_t(Size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, Wide.data(), int(Wide.size()), &Utf8[0], Size, nullptr, nullptr);
  return Utf8;
}

std::string FormatLine(const char* Format, va_list Args) {
  char Small[512];
  va_list Copy;
  va_copy(Copy, Args);
  int Length = vsnprintf(Small, sizeof(Small), Format, Copy);
  va_end(Copy);
  if (Length < 0) return {};
  std::string Text;
  if (size_t(Length) < sizeof(Small)) {
    Text.assign(Small, size_t(Length));
  } else {
    Text.resize(size_t(Length) + 1);
    vsnprintf(&Text[0], Text.size(), Format, Args);
    Text.resize(size_t(Length));
  }
  // A text from elsewhere (a server's answer) must not start a line of its own.
  for (char& C : Text)
    if (C == '\r' || C == '\n') C = ' ';

  SYSTEMTIME Now;
  GetLocalTime(&Now);
  char Prefix[64];
  snprintf(Prefix, sizeof(Prefix), "%04u-%02u-%02u %02u:%02u:%02u %lu ", Now.wYear, Now.wMonth, Now.wDay, Now.wHour,
           Now.wMinute, Now.wSecond, GetCurrentProcessId());
  return Prefix + ToUtf8(GbkToWide(Text)) + "\r\n";
}

// Appends Bytes whole: a short write is cut back off the file.
void Append(const std::string& Bytes) {
  LARGE_INTEGER End;
  if (!GetFileSizeEx(File, &End)) return;
  OVERLAPPED At = {};
  At.Offset = 0xFFFFFFFF;  // at the end of the file, wherever another writer left it
  At.OffsetHigh = 0xFFFFFFFF;
  DWORD Written = 0;
  if (WriteFile(File, Bytes.data(), DWORD(Bytes.size()), &Written, &At) && Written == Bytes.size()) return;
  if (SetFilePointerEx(File, End, nullptr, FILE_BEGIN)) SetEndOfFile(File);
}

}  // namespace

void Log(const char* Format, ...) {
  try {
    va_list Args;
    va_start(Args, Format);
    std::string Line = FormatLine(Format, Args);
    va_end(Args);
    AcquireSRWLockExclusive(&Lock);
    if (File != INVALID_HANDLE_VALUE)
      Append(Line);
    else if (!Dropped && Pending.size() + Line.size() <= PENDING_LIMIT)
      Pending += Line;
    ReleaseSRWLockExclusive(&Lock);
  } catch (...) {
    // Out of memory: the line is lost, the run goes on.
  }
}

void OpenLog(const std::string& Folder) {
  AcquireSRWLockExclusive(&Lock);
  try {
    if (File == INVALID_HANDLE_VALUE && !Folder.empty()) {
      std::string Name = Folder + LOG_FILE_NAME;
      WIN32_FILE_ATTRIBUTE_DATA Data;
      if (GetFileAttributesExA(Name.c_str(), GetFileExInfoStandard, &Data) &&
          (Data.nFileSizeHigh != 0 || Data.nFileSizeLow > LOG_ROTATE_SIZE))
        MoveFileExA(Name.c_str(), (Name + ".1").c_str(), MOVEFILE_REPLACE_EXISTING);
      // Others may read it while a run goes on, and another run (the
      // elevated re-launch) may append to it too.
      File = CreateFileA(Name.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    }
    Dropped = File == INVALID_HANDLE_VALUE;
    if (!Dropped && !Pending.empty()) Append(Pending);
    Pending.clear();
    Pending.shrink_to_fit();
  } catch (...) {
  }
  ReleaseSRWLockExclusive(&Lock);
}

void CloseLog() {
  AcquireSRWLockExclusive(&Lock);
  if (File != INVALID_HANDLE_VALUE) CloseHandle(File);
  File = INVALID_HANDLE_VALUE;
  Dropped = false;
  ReleaseSRWLockExclusive(&Lock);
}
