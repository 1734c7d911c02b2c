#include "app/uFunction.h"

#include <aclapi.h>
#include <sddl.h>
#include <shlobj.h>
#include <userenv.h>
#include <stdlib.h>

#include <cstddef>
#include <memory>
#include <vector>

#include "app/uConst.h"
#include "net/uFolderTrust.h"

namespace {

const char CLIENT_WINDOW_TITLE[] = "泽润影音";
const UINT CLIENT_CLOSE_TIMEOUT = 2000;
const char FAILURE_FILE[] = "upd.dat";
const char FAILURE_SECTION[] = "2";
const char FAILURE_KEY[] = "2";
const int FAILURE_LIMIT = 5;

// Owner Administrators; full control for Administrators and SYSTEM, read and
// execute for users; nothing inherited from the parent, everything passed
// on to what is made inside.
const char ADMIN_ONLY_SDDL[] = "O:BAD:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;BU)";

using TSecurityDescriptor = std::unique_ptr<void, decltype(&LocalFree)>;

TSecurityDescriptor AdminOnlyDescriptor() {
  PSECURITY_DESCRIPTOR Descriptor = nullptr;
  ConvertStringSecurityDescriptorToSecurityDescriptorA(ADMIN_ONLY_SDDL, SDDL_REVISION_1, &Descriptor, nullptr);
  return TSecurityDescriptor(Descriptor, &LocalFree);
}

bool SameText(const std::string& A, const std::string& B) {
  if (A.size() != B.size()) return false;
  for (size_t i = 0; i < A.size(); ++i) {
    char a = A[i], b = B[i];
    if (a >= 'a' && a <= 'z') a = char(a - 'a' + 'A');
    if (b >= 'a' && b <= 'z') b = char(b - 'a' + 'A');
    if (a != b) return false;
  }
  return true;
}

std::string IncludeTrailingBackslash(const std::string& Path) {
  if (!Path.empty() && Path.back() == '\\') return Path;
  return Path + '\\';
}

bool DirectoryExists(const std::string& Dir) {
  DWORD Attr = GetFileAttributesA(Dir.c_str());
  return Attr != INVALID_FILE_ATTRIBUTES && (Attr & FILE_ATTRIBUTE_DIRECTORY);
}

bool FileExists(const std::string& Name) {
  DWORD Attr = GetFileAttributesA(Name.c_str());
  return Attr != INVALID_FILE_ATTRIBUTES && !(Attr & FILE_ATTRIBUTE_DIRECTORY);
}

// Creates Dir with every missing parent folder.
bool ForceDirectories(std::string Dir) {
  while (!Dir.empty() && Dir.back() == '\\') Dir.pop_back();
  if (Dir.empty()) return false;
  if (DirectoryExists(Dir)) return true;
  size_t Slash = Dir.find_last_of('\\');
  if (Slash != std::string::npos && !ForceDirectories(Dir.substr(0, Slash)))
    return false;
  // Another thread may have made it meanwhile.
  return CreateDirectoryA(Dir.c_str(), nullptr) || DirectoryExists(Dir);
}

int HexDigit(char C) {
  if (C >= '0' && C <= '9') return C - '0';
  if (C >= 'a' && C <= 'f') return C - 'a' + 10;
  if (C >= 'A' && C <= 'F') return C - 'A' + 10;
  return -1;
}

// Decimal, or hexadecimal after "0x" or "$", with an optional sign; Default
// for anything else, including numbers beyond 32 bits.
int StrToIntDef(const std::string& Text, int Default) {
  size_t i = 0;
  bool Negative = false;
  if (i < Text.size() && (Text[i] == '-' || Text[i] == '+'))
    Negative = Text[i++] == '-';
  unsigned Base = 10;
  if (i < Text.size() && Text[i] == '$') {
    Base = 16;
    i += 1;
  } else if (i + 1 < Text.size() && Text[i] == '0' &&
             (Text[i + 1] == 'x' || Text[i + 1] == 'X')) {
    Base = 16;
    i += 2;
  }
  if (i == Text.size()) return Default;
  uint64_t Value = 0;
  for (; i < Text.size(); ++i) {
    int Digit = HexDigit(Text[i]);
    if (Digit < 0 || unsigned(Digit) >= Base) return Default;
    Value = Value * Base + unsigned(Digit);
    if (Value > 0xFFFFFFFFu) return Default;
  }
  // Hexadecimal may use all 32 bits; decimal stays within the signed range.
  if (Base == 10 && Value > (Negative ? 0x80000000u : 0x7FFFFFFFu))
    return Default;
  int32_t Result = int32_t(uint32_t(Value));
  return Negative ? int32_t(0u - uint32_t(Result)) : Result;
}

std::string FailureFileName() { return GetUserDataDir() + FAILURE_FILE; }

int ReadFailureCount(const std::string& FileName) {
  char Buffer[64] = "";
  GetPrivateProfileStringA(FAILURE_SECTION, FAILURE_KEY, "", Buffer,
                           sizeof(Buffer), FileName.c_str());
  return StrToIntDef(Buffer, 0);
}

void WriteFailureCount(const std::string& FileName, int Count) {
  WritePrivateProfileStringA(FAILURE_SECTION, FAILURE_KEY,
                             std::to_string(Count).c_str(), FileName.c_str());
}

}  // namespace

std::string FolderOf(const std::string& Path) {
  size_t Slash = Path.find_last_of("\\/");
  return Slash == std::string::npos ? std::string() : Path.substr(0, Slash + 1);
}

int ParamCount() { return __argc - 1; }

std::string ParamStr(int Index) {
  if (Index == 0) {
    char Path[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, Path, MAX_PATH);
    return Path;
  }
  if (Index < 0 || Index >= __argc) return "";
  return __argv[Index];
}

bool HasSwitch(const std::string& Switch) {
  for (int i = 1; i <= ParamCount(); ++i)
    if (SameText(ParamStr(i), Switch)) return true;
  return false;
}

bool IsSilentRun() { return SameText(ParamStr(1), SILENT_SWITCH); }

bool IsPostBbsRun() { return SameText(ParamStr(2), "/postbbs"); }

std::string GetSpecialFolder(int Csidl) {
  char Path[MAX_PATH] = "";
  if (!SHGetSpecialFolderPathA(nullptr, Path, Csidl, FALSE)) return "";
  return IncludeTrailingBackslash(Path);
}

namespace {

// The profile folder of the process's account. The shell's answer for it
// loads COM under Wine, which a quiet run otherwise does without.
std::string ProfileFolder() {
  HANDLE Token = nullptr;
  char Path[MAX_PATH] = "";
  DWORD Length = MAX_PATH;
  bool Ok = OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &Token) && GetUserProfileDirectoryA(Token, Path, &Length);
  if (Token) CloseHandle(Token);
  return Ok ? IncludeTrailingBackslash(Path) : GetSpecialFolder(CSIDL_PROFILE);
}

}  // namespace

std::string GetUserDataDir() { return UserDataDirIn(ProfileFolder()); }

std::string UserDataDirIn(const std::string& Profile) {
  // Without a profile folder the data lie beside the program: a folder
  // relative to the current one would change between the first start and
  // the elevated re-launch, and the shell refuses relative paths.
  std::string Base = Profile.empty() ? FolderOf(ParamStr(0)) : Profile;
  std::string Dir = Base + "AppData\\LocalLow\\" + "ZeRun" + "\\";
  if (DirectoryExists(Dir)) return Dir;
  return ForceDirectories(Dir) ? Dir : "";
}

int ReadRegInteger(HKEY Root, const std::string& Key, const std::string& Name,
                   int Default, REGSAM View) {
  if (Root == 0 || Key.empty()) return Default;
  // Read access only: an ordinary user may not open HKLM keys for writing.
  HKEY Handle = 0;
  if (RegOpenKeyExA(Root, Key.c_str(), 0, KEY_QUERY_VALUE | View,
                    &Handle) != ERROR_SUCCESS)
    return Default;
  int Result = Default;
  DWORD Type = 0, Size = 0;
  if (RegQueryValueExA(Handle, Name.c_str(), nullptr, &Type, nullptr, &Size) ==
          ERROR_SUCCESS &&
      Type == REG_DWORD) {
    DWORD Value = 0;
    Size = sizeof(Value);
    if (RegQueryValueExA(Handle, Name.c_str(), nullptr, &Type,
                         reinterpret_cast<BYTE*>(&Value),
                         &Size) == ERROR_SUCCESS &&
        Type == REG_DWORD && Size == sizeof(Value))
      Result = int(Value);
  }
  RegCloseKey(Handle);
  return Result;
}

std::string ReadRegText(HKEY Root, const std::string& Key, const std::string& Name, REGSAM View) {
  HKEY Handle = 0;
  if (RegOpenKeyExA(Root, Key.c_str(), 0, KEY_QUERY_VALUE | View, &Handle) != ERROR_SUCCESS) return "";
  char Text[MAX_PATH + 1] = "";
  DWORD Type = 0, Size = MAX_PATH;
  bool Read = RegQueryValueExA(Handle, Name.c_str(), nullptr, &Type, reinterpret_cast<BYTE*>(Text), &Size) ==
                  ERROR_SUCCESS && Type == REG_SZ;
  RegCloseKey(Handle);
  // A value stored without its terminating null ends at the buffer's end.
  return Read ? std::string(Text, strnlen(Text, Size)) : "";
}

TUpdatePolicy ReadUpdatePolicy() {
  TUpdatePolicy Policy;
  Policy.UpdateDefault = uint32_t(ReadRegInteger(HKEY_LOCAL_MACHINE, POLICY_KEY, POLICY_UPDATE_DEFAULT,
                                                 pdAsUsual, KEY_WOW64_64KEY));
  Policy.VersionPrefix = ReadRegText(HKEY_LOCAL_MACHINE, POLICY_KEY, POLICY_VERSION_PREFIX, KEY_WOW64_64KEY);
  return Policy;
}

uint32_t GetLocalVersion() {
  int Version = ReadRegInteger(HKEY_LOCAL_MACHINE, "SOFTWARE\\ZeRun",
                               "UpdateVer", -1);
  return Version == -1 ? 0 : uint32_t(Version);
}

bool CheckFailureCount() {
  std::string FileName = FailureFileName();
  if (!FileExists(FileName)) {
    WriteFailureCount(FileName, 0);
    return false;
  }
  int Count = ReadFailureCount(FileName);
  bool Exceeded = Count > FAILURE_LIMIT;
  WriteFailureCount(FileName, Exceeded ? 0 : Count + 1);
  return Exceeded;
}

void ResetFailureCount() { WriteFailureCount(FailureFileName(), 0); }

bool IsProcessElevated() {
  bool Result = true;
  HANDLE Token = 0;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &Token)) return true;
  TOKEN_ELEVATION Elevation = {};
  DWORD Length = 0;
  if (GetTokenInformation(Token, TokenElevation, &Elevation, sizeof(Elevation),
                          &Length))
    Result = Elevation.TokenIsElevated != 0;
  if (Token != 0) CloseHandle(Token);
  return Result;
}

bool EnableDebugPrivilege() {
  HANDLE Token = 0;
  OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, &Token);
  bool Result = SetPrivilege(Token, "SeDebugPrivilege", true);
  if (Token != 0) CloseHandle(Token);
  return Result;
}

bool SetPrivilege(HANDLE Token, const std::string& Name, bool Enable) {
  TOKEN_PRIVILEGES Privileges = {};
  LookupPrivilegeValueA(nullptr, Name.c_str(), &Privileges.Privileges[0].Luid);
  Privileges.PrivilegeCount = 1;
  Privileges.Privileges[0].Attributes = Enable ? SE_PRIVILEGE_ENABLED : 0;
  DWORD Length = 0;
  AdjustTokenPrivileges(Token, FALSE, &Privileges, sizeof(Privileges), nullptr,
                        &Length);
  // ERROR_NOT_ALL_ASSIGNED comes with a successful call.
  return GetLastError() == ERROR_SUCCESS;
}

bool CloseClientWindow() {
  HWND Client = FindWindowA(CLIENT_WINDOW_CLASS, CLIENT_WINDOW_TITLE);
  if (Client == 0) return false;
  DWORD_PTR Reply = 0;
  return SendMessageTimeoutA(Client, WM_CLOSE, 0, 0, SMTO_NORMAL,
                             CLIENT_CLOSE_TIMEOUT, &Reply) != 0;
}

void RelaunchElevated() {
  std::string Parameters = std::string(SILENT_SWITCH) + " " + SHELL_UAC_SWITCH;
  ShellExecuteA(0, "Runas", ParamStr(0).c_str(), Parameters.c_str(), nullptr,
                SW_SHOW);
}

bool PathNamesFile(const std::string& Path, HANDLE File) {
  if (!File) return false;
  HANDLE Named = CreateFileA(Path.c_str(), FILE_READ_ATTRIBUTES,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
  if (Named == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION A{}, B{};
  bool Same = GetFileInformationByHandle(Named, &A) && GetFileInformationByHandle(File, &B) &&
              A.dwVolumeSerialNumber == B.dwVolumeSerialNumber && A.nFileIndexHigh == B.nFileIndexHigh &&
              A.nFileIndexLow == B.nFileIndexLow;
  CloseHandle(Named);
  return Same;
}

bool StartInstaller(const std::string& Path, HANDLE Checked) {
  // A folder renamed and replaced under the held file would put other bytes
  // at the same path.
  if (!PathNamesFile(Path, Checked)) return false;
  // Quoted, so that a path with blanks is not read as a shorter program
  // name; the exact path, so that nothing is searched for.
  std::string CommandLine = "\"" + Path + "\" /S";
  STARTUPINFOA Startup{};
  Startup.cb = sizeof(Startup);
  Startup.dwFlags = STARTF_USESHOWWINDOW;
  Startup.wShowWindow = SW_SHOW;
  PROCESS_INFORMATION Process{};
  if (!CreateProcessA(Path.c_str(), &CommandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &Startup,
                      &Process))
    return false;
  CloseHandle(Process.hThread);
  CloseHandle(Process.hProcess);
  return true;
}

namespace {

std::string SidText(PSID Sid) {
  char* Text = nullptr;
  if (!Sid || !IsValidSid(Sid) || !ConvertSidToStringSidA(Sid, &Text)) return "";
  std::string Result = Text;
  LocalFree(Text);
  return Result;
}

// Wine keeps no owner or DACL of its own: they follow the Unix file's owner
// and mode, so the account the program runs as owns every folder there and
// stands in for Administrators. Empty on Windows.
std::string WineAdministrators() {
  if (!GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version")) return "";
  HANDLE Token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &Token)) return "";
  char Buffer[256];
  DWORD Length = 0;
  std::string User;
  if (GetTokenInformation(Token, TokenUser, Buffer, sizeof(Buffer), &Length))
    User = SidText(reinterpret_cast<TOKEN_USER*>(Buffer)->User.Sid);
  CloseHandle(Token);
  return User;
}

std::string TrusteeText(PSID Sid) {
  static const std::string StandIn = WineAdministrators();
  std::string Text = SidText(Sid);
  return !StandIn.empty() && Text == StandIn ? "S-1-5-32-544" : Text;
}

// The SID an entry names; empty for a compound entry (two SIDs) and for one
// that does not fit in the entry.
std::string EntrySid(const ACE_HEADER* Ace) {
  const BYTE* Start = reinterpret_cast<const BYTE*>(Ace);
  size_t Offset = offsetof(ACCESS_ALLOWED_ACE, SidStart);
  switch (Ace->AceType) {
    case ACCESS_ALLOWED_ACE_TYPE: case ACCESS_DENIED_ACE_TYPE:
    case ACCESS_ALLOWED_CALLBACK_ACE_TYPE: case ACCESS_DENIED_CALLBACK_ACE_TYPE:
      break;
    case ACCESS_ALLOWED_OBJECT_ACE_TYPE: case ACCESS_DENIED_OBJECT_ACE_TYPE:
    case ACCESS_ALLOWED_CALLBACK_OBJECT_ACE_TYPE: case ACCESS_DENIED_CALLBACK_OBJECT_ACE_TYPE: {
      // Flags, then each of the two GUIDs only when its flag says so.
      DWORD Flags = reinterpret_cast<const ACCESS_ALLOWED_OBJECT_ACE*>(Ace)->Flags;
      Offset = offsetof(ACCESS_ALLOWED_OBJECT_ACE, ObjectType);
      if (Flags & ACE_OBJECT_TYPE_PRESENT) Offset += sizeof(GUID);
      if (Flags & ACE_INHERITED_OBJECT_TYPE_PRESENT) Offset += sizeof(GUID);
      break;
    }
    default:
      return "";
  }
  if (Offset + 8 > Ace->AceSize) return "";
  PSID Sid = const_cast<BYTE*>(Start + Offset);
  if (!IsValidSid(Sid) || Offset + GetLengthSid(Sid) > Ace->AceSize) return "";
  return TrusteeText(Sid);
}

TFolderSecurity ReadSecurity(PSECURITY_DESCRIPTOR Descriptor) {
  TFolderSecurity Security;
  PSID Owner = nullptr;
  PACL Dacl = nullptr;
  BOOL Present = FALSE, Defaulted = FALSE;
  if (!GetSecurityDescriptorOwner(Descriptor, &Owner, &Defaulted) ||
      !GetSecurityDescriptorDacl(Descriptor, &Present, &Dacl, &Defaulted))
    return Security;
  Security.Owner = TrusteeText(Owner);
  Security.HasDacl = Present && Dacl;
  for (DWORD I = 0; Security.HasDacl && I < Dacl->AceCount; ++I) {
    ACE_HEADER* Ace = nullptr;
    if (!GetAce(Dacl, I, reinterpret_cast<void**>(&Ace))) return Security;
    // Every kind of entry keeps its mask right after the header.
    Security.Entries.push_back({Ace->AceType, reinterpret_cast<ACCESS_ALLOWED_ACE*>(Ace)->Mask, EntrySid(Ace)});
  }
  Security.Read = true;
  return Security;
}

}  // namespace

bool SecurityLetsOthersWrite(PSECURITY_DESCRIPTOR Descriptor) {
  TFolderSecurity Security = ReadSecurity(Descriptor);
  Security.PlainFolder = true;
  return OthersMayChange(Security);
}

bool OthersMayWrite(const std::string& Folder) {
  DWORD Attributes = GetFileAttributesA(Folder.c_str());
  PSECURITY_DESCRIPTOR Descriptor = nullptr;
  if (Attributes == INVALID_FILE_ATTRIBUTES ||
      GetNamedSecurityInfoA(Folder.c_str(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                            nullptr, nullptr, nullptr, nullptr, &Descriptor) != ERROR_SUCCESS)
    return true;
  TFolderSecurity Security = ReadSecurity(Descriptor);
  LocalFree(Descriptor);
  Security.PlainFolder = (Attributes & FILE_ATTRIBUTE_DIRECTORY) && !(Attributes & FILE_ATTRIBUTE_REPARSE_POINT);
  return OthersMayChange(Security);
}

bool RenameByHandle(HANDLE File, const std::string& NewName) {
  int Length = MultiByteToWideChar(CP_ACP, 0, NewName.c_str(), -1, nullptr, 0);
  if (Length <= 0) return false;
  std::vector<char> Buffer(sizeof(FILE_RENAME_INFO) + Length * sizeof(WCHAR));
  auto* Rename = reinterpret_cast<FILE_RENAME_INFO*>(Buffer.data());
  Rename->ReplaceIfExists = FALSE;
  Rename->FileNameLength = (Length - 1) * sizeof(WCHAR);
  MultiByteToWideChar(CP_ACP, 0, NewName.c_str(), -1, Rename->FileName, Length);
  return SetFileInformationByHandle(File, FileRenameInfo, Rename, static_cast<DWORD>(Buffer.size()));
}

namespace {

// Removes what can be removed under Folder. A junction or link inside is
// removed itself, never followed.
void RemoveTree(const std::string& Folder) {
  WIN32_FIND_DATAA Found;
  HANDLE Search = FindFirstFileA((Folder + "\\*").c_str(), &Found);
  for (BOOL More = Search != INVALID_HANDLE_VALUE; More; More = FindNextFileA(Search, &Found)) {
    std::string Name = Found.cFileName;
    if (Name == "." || Name == "..") continue;
    std::string Path = Folder + "\\" + Name;
    SetFileAttributesA(Path.c_str(), FILE_ATTRIBUTE_NORMAL);
    bool Link = Found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT;
    if (!(Found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
      DeleteFileA(Path.c_str());
    else if (Link)
      RemoveDirectoryA(Path.c_str());
    else
      RemoveTree(Path);
  }
  if (Search != INVALID_HANDLE_VALUE) FindClose(Search);
  RemoveDirectoryA(Folder.c_str());
}

// Renames Path (a folder, file, junction or link) to a free name beside it
// and removes what can be removed of it there.
bool MoveAside(const std::string& Path) {
  DWORD Named = GetFileAttributesA(Path.c_str());
  HANDLE Entry = CreateFileA(Path.c_str(), DELETE | FILE_READ_ATTRIBUTES,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                             FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (Named == INVALID_FILE_ATTRIBUTES || Entry == INVALID_HANDLE_VALUE) return false;
  // A platform that opens a link's target instead of the link (Wine) would
  // move and empty a folder that is not ours: the link is refused there.
  FILE_ATTRIBUTE_TAG_INFO Opened{};
  bool Link = Named & FILE_ATTRIBUTE_REPARSE_POINT;
  bool Moved = false;
  std::string Aside;
  if (GetFileInformationByHandleEx(Entry, FileAttributeTagInfo, &Opened, sizeof(Opened)) &&
      bool(Opened.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == Link) {
    for (int I = 1; !Moved && I <= 100; ++I) {
      Aside = Path + ".old" + std::to_string(I);
      Moved = RenameByHandle(Entry, Aside);
    }
  }
  CloseHandle(Entry);
  if (!Moved) return false;
  if (!(Named & FILE_ATTRIBUTE_DIRECTORY)) DeleteFileA(Aside.c_str());
  else if (Link) RemoveDirectoryA(Aside.c_str());  // the link, not what it points to
  else RemoveTree(Aside);
  return true;
}

}  // namespace

bool MakeAdminOnlyFolder(const std::string& Folder, bool& TookOver) {
  TookOver = false;
  TSecurityDescriptor Descriptor = AdminOnlyDescriptor();
  if (!Descriptor) return false;
  std::string Path = Folder.substr(0, Folder.find_last_not_of('\\') + 1);
  if (GetFileAttributesA(Path.c_str()) != INVALID_FILE_ATTRIBUTES) {
    if (!OthersMayWrite(Path)) return true;
    TookOver = true;
    if (!MoveAside(Path)) return false;
  }
  // Made here, so nobody else's file can be in it; a folder someone made
  // in its place meanwhile fails the creation.
  SECURITY_ATTRIBUTES Attributes{sizeof(Attributes), Descriptor.get(), FALSE};
  return ForceDirectories(FolderOf(Path)) && CreateDirectoryA(Path.c_str(), &Attributes) && !OthersMayWrite(Path);
}
