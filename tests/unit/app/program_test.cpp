// The whole program: single instance, the hidden main window, the end
// through WM_CLOSE, and what its resources declare.
#include <windows.h>

#include <string>

#include "gtest/gtest.h"
#include "app/uFunction.h"
#include "tests/support/TestSupport.h"

namespace {

const char UPDATE_MUTEX_NAME[] = "ZeRun_Mutex_Update";
const char APP_WINDOW_CLASS[] = "TApplication";
const char APP_TITLE[] = "泽润影音升级程序";

std::string Updater() { return zrtest::SupportExe("ZeRunUpdate.exe"); }

zrtest::Process StartUpdater(const std::string& Arguments) {
  std::string CommandLine = zrtest::Quote(Updater());
  if (!Arguments.empty()) CommandLine += " " + Arguments;
  return zrtest::StartProcess(CommandLine);
}

struct TWindowSearch {
  DWORD Pid;
  const char* ClassName;  // nullptr: any window
  bool VisibleOnly;
  HWND Found;
};

BOOL CALLBACK MatchWindow(HWND Wnd, LPARAM Data) {
  auto* Search = reinterpret_cast<TWindowSearch*>(Data);
  DWORD Pid = 0;
  GetWindowThreadProcessId(Wnd, &Pid);
  if (Pid != Search->Pid) return TRUE;
  if (Search->VisibleOnly && !IsWindowVisible(Wnd)) return TRUE;
  char ClassName[64] = "";
  GetClassNameA(Wnd, ClassName, sizeof(ClassName));
  if (Search->ClassName && lstrcmpA(ClassName, Search->ClassName) != 0) return TRUE;
  Search->Found = Wnd;
  return FALSE;
}

HWND FindWindowOf(DWORD Pid, const char* ClassName, bool VisibleOnly = false) {
  TWindowSearch Search = {Pid, ClassName, VisibleOnly, nullptr};
  EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&Search));
  return Search.Found;
}

bool Ended(const zrtest::Process& p) {
  return WaitForSingleObject(p.handle, 0) == WAIT_OBJECT_0;
}

// The application window once the process has made it; 0 when it ends first.
HWND WaitForApplicationWindow(const zrtest::Process& p) {
  for (int i = 0; i < 600 && !Ended(p); ++i) {
    if (HWND Wnd = FindWindowOf(p.pid, APP_WINDOW_CLASS)) return Wnd;
    Sleep(50);
  }
  return nullptr;
}

// Waits for the end of a start that must give up at once; true when it ended
// with exit code 0 and no window of it was ever seen.
::testing::AssertionResult EndsQuietly(zrtest::Process p) {
  bool SawWindow = false;
  for (int i = 0; i < 1500 && !Ended(p); ++i) {
    SawWindow = SawWindow || FindWindowOf(p.pid, nullptr) != nullptr;
    Sleep(20);
  }
  DWORD Code = 1000;
  if (!zrtest::WaitProcess(p, 0, &Code)) {
    zrtest::KillProcess(p);
    return ::testing::AssertionFailure() << "still running";
  }
  if (SawWindow) return ::testing::AssertionFailure() << "made a window";
  if (Code != 0) return ::testing::AssertionFailure() << "exit code " << Code;
  return ::testing::AssertionSuccess();
}

// Ends a running updater the way a run ends; true for exit code 0.
::testing::AssertionResult ClosesWithZero(zrtest::Process p) {
  HWND App = FindWindowOf(p.pid, APP_WINDOW_CLASS);
  if (!App) {
    zrtest::KillProcess(p);
    return ::testing::AssertionFailure() << "no application window";
  }
  PostMessageA(App, WM_CLOSE, 0, 0);
  DWORD Code = 1000;
  if (!zrtest::WaitProcess(p, 20000, &Code)) {
    zrtest::KillProcess(p);
    return ::testing::AssertionFailure() << "did not end after WM_CLOSE";
  }
  if (Code != 0) return ::testing::AssertionFailure() << "exit code " << Code;
  return ::testing::AssertionSuccess();
}

// Without a kept document from earlier runs and without a server: a quiet
// run has no answer and ends without a window; an ordinary one waits for
// its time-out until WM_CLOSE reaches its application window.
TEST(Program, QuietRunWithoutAnswerEndsWithoutAWindowAndWmCloseEndsAnOrdinaryOne) {
  DeleteFileA((GetUserDataDir() + "Down\\ZeRunUpdate.inf").c_str());
  EXPECT_TRUE(EndsQuietly(StartUpdater("/S")));
  zrtest::Process p = StartUpdater("");
  HWND App = WaitForApplicationWindow(p);
  ASSERT_NE(nullptr, App);
  char Title[64] = "";
  GetWindowTextA(App, Title, sizeof(Title));
  EXPECT_STREQ(APP_TITLE, Title);
  EXPECT_FALSE(Ended(p));
  EXPECT_TRUE(ClosesWithZero(p));
}

TEST(Program, SecondOrdinaryStartEndsAtOnce) {
  zrtest::Process First = StartUpdater("");
  ASSERT_NE(nullptr, WaitForApplicationWindow(First));
  EXPECT_TRUE(EndsQuietly(StartUpdater("")));
  EXPECT_TRUE(EndsQuietly(StartUpdater("/S")));
  EXPECT_TRUE(EndsQuietly(StartUpdater("/ShellUACx")));
  zrtest::Process Elevated = StartUpdater("x /ShellUAC");
  EXPECT_NE(nullptr, WaitForApplicationWindow(Elevated));
  EXPECT_TRUE(ClosesWithZero(Elevated));
  EXPECT_TRUE(ClosesWithZero(First));
}

TEST(Program, ShellUacSkipsTheMutexInAnyCaseAndPosition) {
  HANDLE Mutex = CreateMutexA(nullptr, TRUE, UPDATE_MUTEX_NAME);
  ASSERT_NE(nullptr, Mutex);
  ASSERT_NE(ERROR_ALREADY_EXISTS, GetLastError());
  for (const char* Arguments : {"/ShellUAC", "/shelluac", "x /S /SHELLUAC"}) {
    zrtest::Process p = StartUpdater(Arguments);
    EXPECT_NE(nullptr, WaitForApplicationWindow(p)) << Arguments;
    EXPECT_TRUE(ClosesWithZero(p)) << Arguments;
  }
  // A run with the switch creates no mutex: once ours is gone, an ordinary
  // start beside it goes on.
  zrtest::Process Elevated = StartUpdater("/ShellUAC");
  ASSERT_NE(nullptr, WaitForApplicationWindow(Elevated));
  ReleaseMutex(Mutex);
  CloseHandle(Mutex);
  zrtest::Process Ordinary = StartUpdater("");
  EXPECT_NE(nullptr, WaitForApplicationWindow(Ordinary));
  EXPECT_TRUE(ClosesWithZero(Ordinary));
  EXPECT_TRUE(ClosesWithZero(Elevated));
}

TEST(Program, IsAGuiProgramWithItsManifestVersionAndIcon) {
  std::string Image = zrtest::ReadWholeFile(Updater());
  ASSERT_GT(Image.size(), 0x400u);
  auto* Dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(Image.data());
  auto* Nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(Image.data() + Dos->e_lfanew);
  EXPECT_EQ(IMAGE_SUBSYSTEM_WINDOWS_GUI, Nt->OptionalHeader.Subsystem);

  HMODULE Module = LoadLibraryExA(Updater().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(nullptr, Module);
  HRSRC Manifest = FindResourceA(Module, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
  ASSERT_NE(nullptr, Manifest);
  std::string Text(static_cast<const char*>(LockResource(LoadResource(Module, Manifest))),
                   SizeofResource(Module, Manifest));
  EXPECT_NE(std::string::npos, Text.find("level=\"asInvoker\" uiAccess=\"false\""));
  EXPECT_NE(std::string::npos,
            Text.find("name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""));
  EXPECT_NE(nullptr, FindResourceA(Module, "MAINICON", MAKEINTRESOURCEA(14)));
  FreeLibrary(Module);

  DWORD Handle = 0;
  DWORD Size = GetFileVersionInfoSizeA(Updater().c_str(), &Handle);
  ASSERT_GT(Size, 0u);
  std::string Info(Size, '\0');
  ASSERT_TRUE(GetFileVersionInfoA(Updater().c_str(), 0, Size, &Info[0]));
  char* Description = nullptr;
  UINT Length = 0;
  ASSERT_TRUE(VerQueryValueA(&Info[0], "\\StringFileInfo\\080403a8\\FileDescription",
                             reinterpret_cast<void**>(&Description), &Length));
  EXPECT_STREQ(APP_TITLE, Description);
}

}  // namespace
