#include "tests/e2e/E2eRun.h"

#include <cstdio>

#include "app/uFunction.h"

using namespace zrtest;

namespace e2e {
namespace {

const char* const kRegKey = "SOFTWARE\\ZeRun";

struct FindData {
  DWORD Pid;
  HWND Found;
};

BOOL CALLBACK FindVisible(HWND Wnd, LPARAM Param) {
  auto* Data = reinterpret_cast<FindData*>(Param);
  DWORD Pid = 0;
  GetWindowThreadProcessId(Wnd, &Pid);
  char Title[256] = {};
  GetWindowTextA(Wnd, Title, sizeof Title);
  if (Pid == Data->Pid && IsWindowVisible(Wnd) && std::string(Title) == kTitle) {
    Data->Found = Wnd;
    return FALSE;
  }
  return TRUE;
}

BOOL CALLBACK DumpWindow(HWND Wnd, LPARAM Pid) {
  DWORD Owner = 0;
  GetWindowThreadProcessId(Wnd, &Owner);
  char Title[256] = {};
  GetWindowTextA(Wnd, Title, sizeof Title);
  std::fprintf(stderr, "  window %p pid %lu%s visible %d title '%s'\n", static_cast<void*>(Wnd),
               static_cast<unsigned long>(Owner), Owner == static_cast<DWORD>(Pid) ? " (the program)" : "",
               IsWindowVisible(Wnd) ? 1 : 0, Title);
  return TRUE;
}

HWND VisibleWindowOf(DWORD Pid) {
  FindData Data{Pid, nullptr};
  EnumWindows(FindVisible, reinterpret_cast<LPARAM>(&Data));
  return Data.Found;
}

std::string ClassOf(HWND Wnd) {
  char Name[128] = {};
  GetClassNameA(Wnd, Name, sizeof Name);
  std::string S = Name;
  for (auto& C : S) C = static_cast<char>(tolower(static_cast<unsigned char>(C)));
  return S;
}

std::string TextOf(HWND Wnd) {
  int N = static_cast<int>(SendMessageA(Wnd, WM_GETTEXTLENGTH, 0, 0));
  std::string S(N + 1, '\0');
  SendMessageA(Wnd, WM_GETTEXT, N + 1, reinterpret_cast<LPARAM>(&S[0]));
  S.resize(N);
  return S;
}

void DeleteTree(const std::string& Dir) {
  if (!FileExists(Dir)) return;
  Process P = StartProcess("cmd.exe /c rd /s /q " + Quote(Dir));
  WaitProcess(P, 30000);
}

}  // namespace

uint32_t Packed(unsigned Major, unsigned Minor) { return (Major << 16) | (Minor & 0xFFFF); }

void SetInstalledVersion(int64_t Value) {
  HKEY Key = nullptr;
  if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kRegKey, 0, nullptr, 0, KEY_ALL_ACCESS | KEY_WOW64_32KEY, nullptr, &Key,
                      nullptr) != ERROR_SUCCESS)
    return;
  if (Value < 0) {
    RegDeleteValueA(Key, "UpdateVer");
  } else {
    DWORD V = static_cast<DWORD>(Value);
    RegSetValueExA(Key, "UpdateVer", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&V), sizeof V);
  }
  RegCloseKey(Key);
}

std::string Document(const std::vector<std::string>& Urls, uint32_t Version, const std::string& Msg) {
  std::string Text = "{\"Urls\":[";
  for (size_t I = 0; I < Urls.size(); ++I) Text += (I ? ",\"" : "\"") + Urls[I] + "\"";
  Text += "],\"ver\":" + std::to_string(Version) + ",\"Msg\":\"";
  for (char C : Msg) {
    if (C == '\r') Text += "\\r";
    else if (C == '\n') Text += "\\n";
    else Text += C;
  }
  return Text + "\"}";
}

std::string InstallerBytes(size_t Size) {
  std::string Bytes = ReadWholeFile(SupportExe("standin_installer.exe"));
  // Bytes after the image are ignored by the loader; a pattern, so that a
  // misplaced block shows in the comparison.
  for (size_t I = Bytes.size(); I < Size; ++I) Bytes += static_cast<char>((I * 131) >> 8);
  return Bytes;
}

UpdaterRun::UpdaterRun(bool FreshState) {
  char Tmp[MAX_PATH] = {};
  GetTempPathA(sizeof Tmp, Tmp);
  std::string Base = FreshState ? FreshDir("e2e run") : std::string(Tmp) + "zrtests\\e2e run\\";
  ProgramDir = Base + "Program Files\\ZeRun\\";
  CreateDirectoryA((Base + "Program Files").c_str(), nullptr);
  CreateDirectoryA(ProgramDir.c_str(), nullptr);
  Exe = ProgramDir + "ZeRunUpdate.exe";
  CopyFileA(SupportExe("ZeRunUpdate.exe").c_str(), Exe.c_str(), FALSE);
  if (FreshState) {
    ServerReset();
    DeleteTree(GetUserDataDir());
  }
  DataDir = GetUserDataDir();
  FClientRecord = Base + "client.txt";
  FUrlLog = Base + "urls.txt";
  SetEnvironmentVariableA("ZR_URL_LOG", FUrlLog.c_str());
}

UpdaterRun::~UpdaterRun() {
  if (Running()) KillProcess(FProgram);
  if (FClient.handle) KillProcess(FClient);
  PumpMessages(100);
}

void UpdaterRun::StartClient(const std::string& Title, DWORD SlowMs) {
  FClient = StartProcess(Quote(SupportExe("standin_client.exe")) + " --record " + Quote(FClientRecord) + " --title " +
                         Quote(Title) + " --slow " + std::to_string(SlowMs));
  WaitForWindow("TZeRunMainForm", Title.c_str(), 15000);
}

std::string UpdaterRun::ClientRecord() const { return ReadWholeFile(FClientRecord); }

void UpdaterRun::Start(const std::string& Args) {
  FProgram = StartProcess(Quote(Exe) + (Args.empty() ? "" : " " + Args));
}

int UpdaterRun::WaitExit(DWORD TimeoutMs) {
  DWORD Code = 0;
  if (!WaitProcess(FProgram, TimeoutMs, &Code)) return -1;
  return static_cast<int>(Code);
}

bool UpdaterRun::Running() {
  return FProgram.handle && WaitForSingleObject(FProgram.handle, 0) == WAIT_TIMEOUT;
}

HWND UpdaterRun::WaitWindow(DWORD TimeoutMs) {
  DWORD Start = GetTickCount();
  for (;;) {
    if (HWND Wnd = VisibleWindowOf(FProgram.pid)) {
      PumpMessages(700);  // let it paint and take input
      return Wnd;
    }
    if (GetTickCount() - Start >= TimeoutMs || !Running()) {
      std::fprintf(stderr, "no visible window of the program (pid %lu, %s); top-level windows:\n",
                   static_cast<unsigned long>(FProgram.pid), Running() ? "running" : "ended");
      EnumWindows(DumpWindow, static_cast<LPARAM>(FProgram.pid));
      return nullptr;
    }
    PumpMessages(50);
  }
}

HWND UpdaterRun::WaitPastChecking(DWORD TimeoutMs) {
  DWORD Start = GetTickCount();
  while (GetTickCount() - Start < TimeoutMs) {
    HWND Wnd = WaitWindow(TimeoutMs - (GetTickCount() - Start));
    if (!Wnd) return nullptr;
    Notice N = Inspect(Wnd);
    char B = Badge(Wnd);  // '?' while a window repaints
    if (N.IsProgress || N.MemoVisible || B == 'g' || B == 'r') return Wnd;
    PumpMessages(100);
  }
  return nullptr;
}

bool UpdaterRun::WaitNoWindow(DWORD TimeoutMs) {
  DWORD Start = GetTickCount();
  while (VisibleWindowOf(FProgram.pid)) {
    if (GetTickCount() - Start >= TimeoutMs) return false;
    PumpMessages(50);
  }
  return true;
}

Notice UpdaterRun::Inspect(HWND Wnd) {
  Notice N;
  N.Wnd = Wnd;
  for (HWND Child = GetWindow(Wnd, GW_CHILD); Child; Child = GetWindow(Child, GW_HWNDNEXT)) {
    std::string Class = ClassOf(Child);
    if (Class.find("listbox") != std::string::npos) {
      N.IsProgress = true;
      // Across processes the list box hands its items over as UTF-16.
      int Count = static_cast<int>(SendMessageW(Child, LB_GETCOUNT, 0, 0));
      for (int I = 0; I < Count; ++I) {
        wchar_t Line[1024] = {};
        if (SendMessageW(Child, LB_GETTEXTLEN, I, 0) < 1024)
          SendMessageW(Child, LB_GETTEXT, I, reinterpret_cast<LPARAM>(Line));
        char Ansi[2048] = {};
        WideCharToMultiByte(CP_ACP, 0, Line, -1, Ansi, sizeof Ansi, nullptr, nullptr);
        N.Lines.push_back(Ansi);
      }
    } else if (Class.find("edit") != std::string::npos || Class.find("memo") != std::string::npos) {
      N.MemoVisible = IsWindowVisible(Child);
      N.Memo = TextOf(Child);
    }
  }
  return N;
}

char UpdaterRun::Badge(HWND Wnd) {
  POINT P = {17 + 66, 83 + 14};  // inside the round badge, clear of its sign
  ClientToScreen(Wnd, &P);
  HDC Screen = GetDC(nullptr);
  COLORREF C = GetPixel(Screen, P.x, P.y);
  ReleaseDC(nullptr, Screen);
  int R = GetRValue(C), G = GetGValue(C), B = GetBValue(C);
  if (G > R && G > B) return 'g';
  if (R > 180 && G > 100 && B < 100) return 'o';
  if (R > 150 && G < 100) return 'r';
  return '?';
}

void UpdaterRun::ClickOK(HWND Wnd) { ClickClient(Wnd, 185 + 40, 194 + 14); }
void UpdaterRun::ClickMovedOK(HWND Wnd) { ClickCancel(Wnd); }
void UpdaterRun::ClickCancel(HWND Wnd) { ClickClient(Wnd, 284 + 40, 194 + 14); }

void UpdaterRun::ClickClose(HWND Wnd) {
  RECT R;
  GetClientRect(Wnd, &R);
  ClickClient(Wnd, R.right - 8 - 15, 12);
}

void UpdaterRun::Shot(HWND Wnd, const std::string& Name) { SaveScreenshot(Wnd, "e2e-" + Name); }

std::string UpdaterRun::Installed() const { return ProgramDir + "update\\ZeRunSetup.exe"; }

std::string UpdaterRun::InstallerRecord() const { return ReadWholeFile(Installed() + ".record"); }

std::vector<std::string> UpdaterRun::UrlsOpened() const {
  std::vector<std::string> Urls;
  std::string Text = ReadWholeFile(FUrlLog);
  size_t Start = 0;
  while (Start < Text.size()) {
    size_t End = Text.find("\r\n", Start);
    if (End == std::string::npos) End = Text.size();
    Urls.push_back(Text.substr(Start, End - Start));
    Start = End + 2;
  }
  return Urls;
}

std::string UpdaterRun::FailureCount() const {
  std::string File = DataDir + "upd.dat";
  if (!FileExists(File)) return "";
  char Value[64] = {};
  GetPrivateProfileStringA("2", "2", "", Value, sizeof Value, File.c_str());
  return Value;
}

}  // namespace e2e
