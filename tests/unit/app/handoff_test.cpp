// Elevation, privileges, the close request to the client and the installer
// start, against real tokens, the stand-in client window and the stand-in
// installer.
#include <windows.h>
#include <sddl.h>

#include <string>

#include "app/uFunction.h"
#include "gtest/gtest.h"
#include "tests/support/TestSupport.h"

namespace {

const char CLIENT_CLASS[] = "TZeRunMainForm";
const char CLIENT_TITLE[] = "泽润影音";

HANDLE OwnToken(DWORD Access) {
  HANDLE Token = 0;
  OpenProcessToken(GetCurrentProcess(), Access, &Token);
  return Token;
}

bool PrivilegeEnabled(HANDLE Token, const char* Name) {
  LUID Luid = {};
  if (!LookupPrivilegeValueA(nullptr, Name, &Luid)) return false;
  char Buffer[4096];
  DWORD Length = 0;
  if (!GetTokenInformation(Token, TokenPrivileges, Buffer, sizeof(Buffer), &Length))
    return false;
  const TOKEN_PRIVILEGES* Set = reinterpret_cast<const TOKEN_PRIVILEGES*>(Buffer);
  for (DWORD i = 0; i < Set->PrivilegeCount; ++i) {
    const LUID_AND_ATTRIBUTES& p = Set->Privileges[i];
    if (p.Luid.LowPart == Luid.LowPart && p.Luid.HighPart == Luid.HighPart)
      return (p.Attributes & SE_PRIVILEGE_ENABLED) != 0;
  }
  return false;
}

TEST(Elevation, FullAdministratorTokenCountsAsElevated) {
  HANDLE Token = OwnToken(TOKEN_QUERY);
  ASSERT_NE(Token, nullptr);
  TOKEN_ELEVATION_TYPE Type = TokenElevationTypeDefault;
  DWORD Length = 0;
  ASSERT_TRUE(GetTokenInformation(Token, TokenElevationType, &Type, sizeof(Type), &Length));
  CloseHandle(Token);
  if (Type == TokenElevationTypeLimited) {
    EXPECT_FALSE(IsProcessElevated());
  } else if (Type == TokenElevationTypeFull) {
    EXPECT_TRUE(IsProcessElevated());
  } else {
    GTEST_SKIP() << "token without a split elevation type";
  }
}

TEST(Privileges, EnableDebugPrivilegeEnablesItInTheProcessToken) {
  HANDLE Token = OwnToken(TOKEN_QUERY | TOKEN_ADJUST_PRIVILEGES);
  ASSERT_NE(Token, nullptr);
  ASSERT_TRUE(SetPrivilege(Token, "SeDebugPrivilege", false));
  ASSERT_FALSE(PrivilegeEnabled(Token, "SeDebugPrivilege"));
  EXPECT_TRUE(EnableDebugPrivilege());
  EXPECT_TRUE(PrivilegeEnabled(Token, "SeDebugPrivilege"));
  CloseHandle(Token);
}

TEST(Privileges, PrivilegeTheTokenDoesNotHoldIsAFailure) {
  HANDLE Token = OwnToken(TOKEN_ALL_ACCESS);
  ASSERT_NE(Token, nullptr);
  LUID_AND_ATTRIBUTES Removed = {};
  ASSERT_TRUE(LookupPrivilegeValueA(nullptr, "SeDebugPrivilege", &Removed.Luid));
  HANDLE Restricted = 0;
  ASSERT_TRUE(CreateRestrictedToken(Token, 0, 0, nullptr, 1, &Removed, 0, nullptr,
                                    &Restricted));
  // The call itself succeeds with ERROR_NOT_ALL_ASSIGNED.
  EXPECT_FALSE(SetPrivilege(Restricted, "SeDebugPrivilege", true));
  EXPECT_FALSE(PrivilegeEnabled(Restricted, "SeDebugPrivilege"));
  CloseHandle(Restricted);
  CloseHandle(Token);
}

TEST(Privileges, UnusableTokenOrNameIsAFailure) {
  EXPECT_FALSE(SetPrivilege(0, "SeDebugPrivilege", true));
  HANDLE Token = OwnToken(TOKEN_QUERY | TOKEN_ADJUST_PRIVILEGES);
  ASSERT_NE(Token, nullptr);
  EXPECT_FALSE(SetPrivilege(Token, "SeNoSuchPrivilege", true));
  HANDLE QueryOnly = OwnToken(TOKEN_QUERY);
  EXPECT_FALSE(SetPrivilege(QueryOnly, "SeDebugPrivilege", true));
  CloseHandle(QueryOnly);
  CloseHandle(Token);
}

// One stand-in client window, ended when the test is done with it.
class StandinClient {
 public:
  StandinClient(const std::string& Name, const std::string& Arguments) {
    Record = zrtest::FreshDir("client-" + Name) + "record.txt";
    Process = zrtest::StartProcess(zrtest::Quote(zrtest::SupportExe("standin_client.exe")) +
                                   " --record " + zrtest::Quote(Record) + Arguments);
  }
  // The window exists before its thread reaches the message loop; a running
  // client is idle.
  HWND WaitUntilIdle(const char* Title) {
    HWND Wnd = zrtest::WaitForWindow(CLIENT_CLASS, Title, 20000);
    if (Wnd) WaitForInputIdle(Process.handle, 20000);
    return Wnd;
  }
  ~StandinClient() {
    if (!zrtest::WaitProcess(Process, 0)) zrtest::KillProcess(Process);
  }
  bool GotClose() const {
    return zrtest::ReadWholeFile(Record).find("WM_CLOSE") != std::string::npos;
  }
  zrtest::Process Process;
  std::string Record;
};

TEST(CloseClientWindow, NoClientGivesFalse) {
  ASSERT_EQ(nullptr, FindWindowA(CLIENT_CLASS, nullptr));
  EXPECT_FALSE(CloseClientWindow());
}

TEST(CloseClientWindow, ClosesTheClientsMainWindow) {
  StandinClient Client("right", "");
  HWND Wnd = Client.WaitUntilIdle(CLIENT_TITLE);
  ASSERT_NE(nullptr, Wnd);
  // Wine without a window manager spends 2 s unmapping a visible window, and
  // the stand-in destroys its window inside its WM_CLOSE handler; hidden, it
  // answers as fast as a client does on Windows.
  ShowWindow(Wnd, SW_HIDE);
  WaitForInputIdle(Client.Process.handle, 20000);
  EXPECT_TRUE(CloseClientWindow());
  EXPECT_TRUE(Client.GotClose());
  DWORD Code = 1;
  EXPECT_TRUE(zrtest::WaitProcess(Client.Process, 20000, &Code));
}

TEST(CloseClientWindow, LeavesAWindowWithAnotherTitleAlone) {
  StandinClient Client("other", " --title " + zrtest::Quote("泽润影音 - 播放列表"));
  HWND Other = Client.WaitUntilIdle("泽润影音 - 播放列表");
  ASSERT_NE(nullptr, Other);
  EXPECT_FALSE(CloseClientWindow());
  zrtest::PumpMessages(500);
  EXPECT_FALSE(Client.GotClose());
  EXPECT_TRUE(IsWindow(Other));
}

TEST(CloseClientWindow, GivesUpOnASlowClientAfterTheTimeOut) {
  StandinClient Client("slow", " --slow 6000");
  ASSERT_NE(nullptr, Client.WaitUntilIdle(CLIENT_TITLE));
  DWORD Start = GetTickCount();
  EXPECT_FALSE(CloseClientWindow());
  DWORD Waited = GetTickCount() - Start;
  // The close request was delivered, but not answered within 2000 ms.
  EXPECT_GE(Waited, 1900u);
  EXPECT_FALSE(Client.GotClose());
  EXPECT_TRUE(zrtest::WaitProcess(Client.Process, 20000));
  EXPECT_TRUE(Client.GotClose());
}

std::string WaitForRecord(const std::string& Path) {
  for (int i = 0; i < 300; ++i) {
    std::string Text = zrtest::ReadWholeFile(Path);
    if (Text.find("path=") != std::string::npos && Text.back() == '\n') return Text;
    Sleep(100);
  }
  return zrtest::ReadWholeFile(Path);
}

// Quoted, and only while the path names the file held since the check (not
// after its folder was renamed and replaced).
TEST(StartInstaller, QuotesThePathOfTheHeldFile) {
  std::string Base = zrtest::FreshDir("handoff installer");
  std::string Folder = Base + "Program Files\\";
  ASSERT_TRUE(CreateDirectoryA(Folder.c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryA((Folder + "ZeRun\\").c_str(), nullptr));
  std::string Installer = Folder + "ZeRun\\ZeRun Setup.exe";
  std::string Standin = zrtest::SupportExe("standin_installer.exe");
  ASSERT_TRUE(CopyFileA(Standin.c_str(), Installer.c_str(), FALSE));
  // What an unquoted command line would start instead.
  ASSERT_TRUE(CopyFileA(Standin.c_str(), (Base + "Program.exe").c_str(), FALSE));
  std::string Record = Base + "record.txt";
  SetEnvironmentVariableA("ZR_INSTALLER_RECORD", Record.c_str());

  auto Hold = [](const std::string& Path) {
    return CreateFileA(Path.c_str(), GENERIC_READ | DELETE, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  };
  HANDLE Other = Hold(Base + "Program.exe"), Checked = Hold(Installer);
  EXPECT_FALSE(StartInstaller(Installer, Other));
  EXPECT_TRUE(StartInstaller(Installer, Checked));
  std::string Text = WaitForRecord(Record);
  CloseHandle(Other);
  CloseHandle(Checked);
  SetEnvironmentVariableA("ZR_INSTALLER_RECORD", nullptr);
  EXPECT_EQ("cmdline=\"" + Installer + "\" /S\r\npath=" + Installer + "\r\n", Text);
}

// What a descriptor gives the folder rules: its owner, its entries, no DACL.
TEST(AdminOnlyFolder, OthersMayWriteThroughAnEntryOrAsOwner) {
  const struct { const char* Sddl; bool Open; } Cases[] = {
      {"O:BAD:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;BU)", false},
      {"O:SYD:P(A;;FA;;;S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464)(A;OICIIO;FA;;;CO)", false},
      {"O:BAD:P(A;;FA;;;BA)(A;OICI;0x1200a9;;;AU)(D;;FA;;;WD)", false},
      {"O:BAD:(A;OICI;FA;;;WD)", true},
      {"O:BAD:P(A;OICI;FA;;;BA)(A;CI;0x4;;;BU)", true},  // users may add folders
      {"O:BAD:P(A;OICI;FA;;;BA)(A;OICIIO;0x10000;;;AU)", true},  // and delete what is made inside
      {"O:BUD:P(A;OICI;FA;;;BA)", true},  // users own it
      {"O:BA", true},                      // no DACL at all
      {"O:S-1-5-21-1-2-3-1001D:P(A;;FA;;;BA)", true},  // the program's own account owns it
  };
  for (const auto& Case : Cases) {
    PSECURITY_DESCRIPTOR Descriptor = nullptr;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorA(Case.Sddl, SDDL_REVISION_1, &Descriptor, nullptr));
    EXPECT_EQ(SecurityLetsOthersWrite(Descriptor), Case.Open) << Case.Sddl;
    LocalFree(Descriptor);
  }
}

}  // namespace
