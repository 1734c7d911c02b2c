#include "app/uFunction.h"

#include <aclapi.h>
#include <sddl.h>
#include <shlobj.h>
#include <userenv.h>
#include <stdlib.h>

#include <memory>

#include "app/uConst.h"

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
// Rights that change a folder, its entries or the files made in it.
const DWORD WRITE_RIGHTS = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_EA | FILE_WRITE_ATTRIBUTES |
                           FILE_DELETE_CHILD | DELETE | WRITE_DAC | WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL;
const char* const TRUSTED_SIDS[] = {"S-1-5-32-544", "S-1-5-18", "S-1-3-0",
                                    "S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464"};

// The account this program runs as: as an administrator it installs the
// update itself, so a folder it owns is not open to others.
bool IsProcessUser(PSID Sid) {
  HANDLE Token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &Token)) return false;
  char Buffer[256];
  DWORD Length = 0;
  bool Same = GetTokenInformation(Token, TokenUser, Buffer, sizeof(Buffer), &Length) &&
              EqualSid(reinterpret_cast<TOKEN_USER*>(Buffer)->User.Sid, Sid);
  CloseHandle(Token);
  return Same;
}

bool IsTrustedSid(PSID Sid) {
  char* Text = nullptr;
  if (!ConvertSidToStringSidA(Sid, &Text)) return false;
  bool Trusted = false;
  for (const char* Known : TRUSTED_SIDS) Trusted = Trusted || strcmp(Text, Known) == 0;
  LocalFree(Text);
  return Trusted || IsProcessUser(Sid);
}

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
                   int Default) {
  if (Root == 0 || Key.empty()) return Default;
  // Read access only: an ordinary user may not open HKLM keys for writing.
  HKEY Handle = 0;
  if (RegOpenKeyExA(Root, Key.c_str(), 0, KEY_QUERY_VALUE | KEY_WOW64_32KEY,
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

namespace {

bool IsSameFile(const std::string& Path, HANDLE File) {
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

}  // namespace

bool StartInstaller(const std::string& Path, HANDLE Checked) {
  // A folder renamed and replaced under the held file would put other bytes
  // at the same path.
  if (!Checked || !IsSameFile(Path, Checked)) return false;
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

bool SecurityLetsOthersWrite(PSECURITY_DESCRIPTOR Descriptor) {
  PSID Owner = nullptr;
  PACL Dacl = nullptr;
  BOOL Present = FALSE, Defaulted = FALSE;
  if (!GetSecurityDescriptorOwner(Descriptor, &Owner, &Defaulted) ||
      !GetSecurityDescriptorDacl(Descriptor, &Present, &Dacl, &Defaulted))
    return true;
  // An owner may rewrite the DACL; no DACL lets everyone in.
  if (!Owner || !IsTrustedSid(Owner) || !Present || !Dacl) return true;
  for (DWORD I = 0; I < Dacl->AceCount; ++I) {
    ACCESS_ALLOWED_ACE* Ace = nullptr;
    if (!GetAce(Dacl, I, reinterpret_cast<void**>(&Ace))) return true;
    if (Ace->Header.AceType == ACCESS_ALLOWED_ACE_TYPE && (Ace->Mask & WRITE_RIGHTS) &&
        !IsTrustedSid(&Ace->SidStart))
      return true;
  }
  return false;
}

bool OthersMayWrite(const std::string& Folder) {
  PSECURITY_DESCRIPTOR Descriptor = nullptr;
  if (GetNamedSecurityInfoA(Folder.c_str(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                            nullptr, nullptr, nullptr, nullptr, &Descriptor) != ERROR_SUCCESS)
    return true;
  bool Open = SecurityLetsOthersWrite(Descriptor);
  LocalFree(Descriptor);
  return Open;
}

bool MakeAdminOnlyFolder(const std::string& Folder, bool& WasOpen) {
  WasOpen = false;
  TSecurityDescriptor Descriptor = AdminOnlyDescriptor();
  if (!Descriptor) return false;
  if (!DirectoryExists(Folder)) {
    std::string Parent = FolderOf(Folder.substr(0, Folder.find_last_not_of('\\') + 1));
    SECURITY_ATTRIBUTES Attributes{sizeof(Attributes), Descriptor.get(), FALSE};
    return ForceDirectories(Parent) && CreateDirectoryA(Folder.c_str(), &Attributes);
  }
  if (!OthersMayWrite(Folder)) return true;
  WasOpen = true;
  BOOL Present = FALSE, Defaulted = FALSE;
  PACL Dacl = nullptr;
  PSID Owner = nullptr;
  GetSecurityDescriptorDacl(Descriptor.get(), &Present, &Dacl, &Defaulted);
  GetSecurityDescriptorOwner(Descriptor.get(), &Owner, &Defaulted);
  return SetNamedSecurityInfoA(const_cast<char*>(Folder.c_str()), SE_FILE_OBJECT,
                               OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION |
                                   PROTECTED_DACL_SECURITY_INFORMATION,
                               Owner, nullptr, Dacl, nullptr) == ERROR_SUCCESS &&
         !OthersMayWrite(Folder);
}
