// Before windows.h, which would bring the older socket header.
#include <winsock2.h>

#include "tests/e2e/E2eRun.h"

#include <commctrl.h>
#include <oleacc.h>
#include <gtest/gtest.h>
#include <shellapi.h>
#include <sodium.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "app/uFunction.h"
#include "framework/ExtCtrls.h"
#include "framework/GbkText.h"
#include "net/uVerify.h"
#include "tools/publish/uPublish.h"

using namespace zrtest;

namespace e2e {
namespace {

const char* const kRegKey = "SOFTWARE\\ZeRun";

BOOL CALLBACK CollectWindow(HWND Wnd, LPARAM Param) {
  reinterpret_cast<std::vector<HWND>*>(Param)->push_back(Wnd);
  return TRUE;
}

std::vector<HWND> TopWindows() {
  std::vector<HWND> All;
  EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&All));
  return All;
}

DWORD PidOf(HWND Wnd) {
  DWORD Pid = 0;
  GetWindowThreadProcessId(Wnd, &Pid);
  return Pid;
}

// A message to a window of the program under test that gives up after 5 s
// (0 then), so a hung program fails its test instead of holding the suite
// until its time-out.
LRESULT Ask(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam, bool Wide = false) {
  DWORD_PTR Result = 0;
  if (Wide) SendMessageTimeoutW(Wnd, Msg, WParam, LParam, SMTO_ABORTIFHUNG, 5000, &Result);
  else SendMessageTimeoutA(Wnd, Msg, WParam, LParam, SMTO_ABORTIFHUNG, 5000, &Result);
  return static_cast<LRESULT>(Result);
}

// Texts are read as UTF-16 and compared as GBK, whatever this process's
// code page.
std::string TextOf(HWND Wnd) {
  int N = static_cast<int>(Ask(Wnd, WM_GETTEXTLENGTH, 0, 0, true));
  std::wstring S(N + 1, L'\0');
  Ask(Wnd, WM_GETTEXT, N + 1, reinterpret_cast<LPARAM>(&S[0]), true);
  S.resize(N);
  return WideToGbk(S);
}

// Without a message: a window of another process may not be answering.
std::string TitleOf(HWND Wnd) {
  wchar_t Title[256] = {};
  GetWindowTextW(Wnd, Title, 256);
  return WideToGbk(Title);
}

// The program file that runs as "ZeRunUpdate.exe": of the build named by
// ZR_PROGRAM_DIR (the 32-bit release build), else of this one.
std::string ProgramFile(const char* Build) {
  const char* Dir = std::getenv("ZR_PROGRAM_DIR");
  return Dir && *Dir ? std::string(Dir) + "\\" + Build : SupportExe(Build);
}

const char* MachineOf(const std::string& Exe) {
  std::string Image = ReadWholeFile(Exe);
  if (Image.size() < 0x200) return "missing";
  auto* Dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(Image.data());
  if (static_cast<size_t>(Dos->e_lfanew) + sizeof(IMAGE_NT_HEADERS32) > Image.size()) return "unreadable";
  auto* Nt = reinterpret_cast<const IMAGE_NT_HEADERS32*>(Image.data() + Dos->e_lfanew);
  return Nt->FileHeader.Machine == IMAGE_FILE_MACHINE_I386 ? "32-bit" : "64-bit";
}

// A visible window of the process with the program's title.
bool IsProgramWindow(HWND Wnd, DWORD Pid) {
  return PidOf(Wnd) == Pid && IsWindowVisible(Wnd) && TitleOf(Wnd) == kTitle;
}

HWND VisibleWindowOf(DWORD Pid) {
  for (HWND Wnd : TopWindows())
    if (IsProgramWindow(Wnd, Pid)) return Wnd;
  return nullptr;
}

void DumpWindows(DWORD Pid) {
  for (HWND Wnd : TopWindows()) {
    DWORD Owner = PidOf(Wnd);
    std::fprintf(stderr, "  window %p pid %lu%s visible %d title '%s'\n", static_cast<void*>(Wnd),
                 static_cast<unsigned long>(Owner), Owner == Pid ? " (the program)" : "",
                 IsWindowVisible(Wnd) ? 1 : 0, TitleOf(Wnd).c_str());
  }
}

std::string ClassOf(HWND Wnd) {
  char Name[128] = {};
  GetClassNameA(Wnd, Name, sizeof Name);
  std::string S = Name;
  for (auto& C : S) C = static_cast<char>(tolower(static_cast<unsigned char>(C)));
  return S;
}

// Whether the shell holds an icon for Wnd: changing none of its settings
// succeeds only for an icon that is there.
bool HasTrayIcon(HWND Wnd) {
  NOTIFYICONDATAA Data{};
  Data.cbSize = sizeof Data;
  Data.hWnd = Wnd;
  Data.uID = 1;  // the one icon a window of the program adds
  return Shell_NotifyIconA(NIM_MODIFY, &Data) != FALSE;
}

void CollectTree(const std::string& Dir, const std::string& Prefix, std::map<std::string, std::string>& Tree) {
  WIN32_FIND_DATAA Found;
  HANDLE Find = FindFirstFileA((Dir + "*").c_str(), &Found);
  if (Find == INVALID_HANDLE_VALUE) return;
  do {
    std::string Name = Found.cFileName;
    if (Name == "." || Name == "..") continue;
    if (Found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      Tree[Prefix + Name + "\\"] = "<dir>";
      CollectTree(Dir + Name + "\\", Prefix + Name + "\\", Tree);
    } else {
      std::string Bytes = ReadWholeFile(Dir + Name);
      uint64_t Hash = 1469598103934665603ull;  // FNV-1a
      for (char C : Bytes) Hash = (Hash ^ static_cast<unsigned char>(C)) * 1099511628211ull;
      Tree[Prefix + Name] = std::to_string(Bytes.size()) + " bytes, " + std::to_string(Hash);
    }
  } while (FindNextFileA(Find, &Found));
  FindClose(Find);
}

void SetUserValue(const char* KeyName, const char* Name, DWORD Type, const void* Data, DWORD Size) {
  HKEY Key = nullptr;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, KeyName, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &Key, nullptr) !=
      ERROR_SUCCESS)
    return;
  RegSetValueExA(Key, Name, 0, Type, static_cast<const BYTE*>(Data), Size);
  RegCloseKey(Key);
}

void SetManagedWindows(const char* Value) {
  SetUserValue("Software\\Wine\\X11 Driver", "Managed", REG_SZ, Value, 2);
}

void SetLogPixels(DWORD Dpi) { SetUserValue("Control Panel\\Desktop", "LogPixels", REG_DWORD, &Dpi, sizeof Dpi); }

// A point of the 96-dpi layout in the window's client coordinates: the
// windows scale with the display and are 412 pixels wide at 96 dpi.
POINT Scaled(HWND Wnd, int X, int Y) {
  RECT R{};
  GetClientRect(Wnd, &R);
  return {MulDiv(X, R.right, 412), MulDiv(Y, R.right, 412)};
}

void ClickScaled(HWND Wnd, int X, int Y) {
  const POINT P = Scaled(Wnd, X, Y);
  ClickClient(Wnd, P.x, P.y);
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

std::string Document(const std::vector<std::string>& Urls, uint32_t Version, const std::string& Msg, bool RawGbk) {
  std::string Text = "{\"Urls\":[";
  for (size_t I = 0; I < Urls.size(); ++I) Text += (I ? ",\"" : "\"") + Urls[I] + "\"";
  Text += "],\"ver\":" + std::to_string(Version) + ",\"Msg\":\"";
  // Under another code page the GBK notes can only travel escaped.
  if (GetACP() != kGbkCodePage && !RawGbk) {
    for (wchar_t C : GbkToWide(Msg)) {
      char Escape[8];
      std::snprintf(Escape, sizeof Escape, "\\u%04x", static_cast<unsigned>(C));
      Text += Escape;
    }
    return Text + "\"}";
  }
  for (char C : Msg) {
    if (C == '\r') Text += "\\r";
    else if (C == '\n') Text += "\\n";
    else Text += C;
  }
  return Text + "\"}";
}

std::vector<std::string> EntriesFor(const std::string& Path) {
  std::vector<std::string> Found;
  for (const std::string& E : ServerLog())
    if (LogField(E, "path") == Path) Found.push_back(E);
  return Found;
}

int CountRequests(const std::string& Path) { return static_cast<int>(EntriesFor(Path).size()); }

std::vector<std::string> RangesOf(const std::string& Path) {
  std::vector<std::string> Ranges;
  for (const std::string& E : EntriesFor(Path)) Ranges.push_back(LogField(E, "headers.Range"));
  return Ranges;
}

std::string Sha256HexOf(const std::string& Bytes) {
  TSha256 Digest;
  crypto_hash_sha256(Digest.data(), reinterpret_cast<const unsigned char*>(Bytes.data()), Bytes.size());
  return Sha256Hex(Digest);
}

std::string TestSecretKey() {
  std::string Key;
  EXPECT_TRUE(ReadKeyText(ReadWholeFile(ZR_TEST_KEY_FILE), 64, Key)) << ZR_TEST_KEY_FILE;
  return Key;
}

namespace {

std::string Recode(const std::string& Text, UINT From, UINT To) {
  std::wstring Wide(Text.size(), L'\0');
  Wide.resize(MultiByteToWideChar(From, 0, Text.data(), static_cast<int>(Text.size()), &Wide[0],
                                  static_cast<int>(Wide.size())));
  std::string Out(Wide.size() * 4, '\0');
  Out.resize(WideCharToMultiByte(To, 0, Wide.data(), static_cast<int>(Wide.size()), &Out[0],
                                 static_cast<int>(Out.size()), nullptr, nullptr));
  return Out;
}

}  // namespace

std::string PublishedDocument(const std::vector<std::string>& Urls, uint32_t Version, const std::string& Msg,
                              const std::string& Setup, TRelease Release) {
  Release.Urls = Urls;
  Release.Version = Version;
  Release.Notes = Recode(Msg, kGbkCodePage, CP_UTF8);
  Release.Sha256Hex = Sha256HexOf(Setup);
  Release.Size = Setup.size();
  return SignDocument(Recode(DocumentJson(Release), CP_UTF8, kGbkCodePage), {TestSecretKey()});
}

std::string InstallerBytes(size_t Size) {
  std::string Bytes = ReadWholeFile(SupportExe("standin_installer.exe"));
  // Bytes after the image are ignored by the loader; a pattern, so that a
  // misplaced block shows in the comparison.
  for (size_t I = Bytes.size(); I < Size; ++I) Bytes += static_cast<char>((I * 131) >> 8);
  return Bytes;
}

bool WaitUntil(const std::function<bool()>& Cond, DWORD TimeoutMs) {
  DWORD Start = GetTickCount();
  while (!Cond()) {
    if (GetTickCount() - Start >= TimeoutMs) return false;
    PumpMessages(50);
  }
  return true;
}

int ClosedPort() {
  WSADATA Wsa;
  if (WSAStartup(MAKEWORD(2, 2), &Wsa) != 0) return 0;
  int Port = 0;
  SOCKET S = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in Addr{};
  Addr.sin_family = AF_INET;
  Addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int Len = sizeof Addr;
  if (S != INVALID_SOCKET && bind(S, reinterpret_cast<sockaddr*>(&Addr), sizeof Addr) == 0 &&
      getsockname(S, reinterpret_cast<sockaddr*>(&Addr), &Len) == 0)
    Port = ntohs(Addr.sin_port);
  if (S != INVALID_SOCKET) closesocket(S);
  WSACleanup();
  return Port;
}

std::map<std::string, std::string> FolderTree(const std::string& Dir) {
  std::map<std::string, std::string> Tree;
  CollectTree(Dir, "", Tree);
  return Tree;
}

ProgramDisplay::ProgramDisplay(int Dpi, bool Managed) : FManaged(Managed) {
  SetLogPixels(static_cast<DWORD>(Dpi));
  if (FManaged) SetManagedWindows("Y");
}

ProgramDisplay::~ProgramDisplay() {
  SetLogPixels(96);
  if (FManaged) SetManagedWindows("N");
}

std::set<HWND> VisibleTopWindows() {
  std::set<HWND> Visible;
  for (HWND Wnd : TopWindows())
    if (IsWindowVisible(Wnd)) Visible.insert(Wnd);
  return Visible;
}

void PressKeys(const std::vector<WORD>& Keys, WORD Held) {
  auto Send = [](WORD Key, DWORD Flags) {
    INPUT In{};
    In.type = INPUT_KEYBOARD;
    In.ki.wVk = Key;
    In.ki.dwFlags = Flags;
    SendInput(1, &In, sizeof In);
  };
  if (Held) Send(Held, 0);
  for (WORD Key : Keys) {
    PressKey(Key);
    PumpMessages(100);
  }
  if (Held) Send(Held, KEYEVENTF_KEYUP);
}

Accessible AccessibleAt(HWND Wnd, int X, int Y) {
  static const HRESULT ComReady = CoInitialize(nullptr);
  (void)ComReady;
  auto Text = [](BSTR Wide) {
    std::string Gbk = Wide ? WideToGbk(Wide) : "";
    SysFreeString(Wide);
    return Gbk;
  };
  Accessible Found;
  POINT At{X, Y};
  ClientToScreen(Wnd, &At);
  IAccessible* Object = nullptr;
  VARIANT Child;
  VariantInit(&Child);
  if (FAILED(AccessibleObjectFromPoint(At, &Object, &Child)) || !Object) return Found;
  BSTR Name = nullptr, Value = nullptr;
  Object->get_accName(Child, &Name);
  Object->get_accValue(Child, &Value);
  Found.Name = Text(Name);
  Found.Value = Text(Value);
  VARIANT Role;
  VariantInit(&Role);
  if (SUCCEEDED(Object->get_accRole(Child, &Role)) && Role.vt == VT_I4) Found.Role = Role.lVal;
  long Left = 0, Top = 0, Width = 0, Height = 0;
  Object->accLocation(&Left, &Top, &Width, &Height, Child);
  POINT Corner{Left, Top};
  ScreenToClient(Wnd, &Corner);
  Found.Bounds = {Corner.x, Corner.y, Corner.x + Width, Corner.y + Height};
  Object->Release();
  return Found;
}

UpdaterRun::UpdaterRun(bool FreshState, const char* Build) {
  char Tmp[MAX_PATH] = {};
  GetTempPathA(sizeof Tmp, Tmp);
  // Wine reports a run's end before it lets go of the program file: a copy
  // over it, or a start from a name that is still being deleted, would fail.
  std::string Earlier = std::string(Tmp) + "zrtests\\e2e run\\Program Files\\ZeRun\\ZeRunUpdate.exe";
  auto Gone = [&] {
    DeleteFileA(Earlier.c_str());
    if (GetFileAttributesA(Earlier.c_str()) != INVALID_FILE_ATTRIBUTES) return false;
    DWORD Error = GetLastError();  // a name still being deleted is no error of this kind
    return Error == ERROR_FILE_NOT_FOUND || Error == ERROR_PATH_NOT_FOUND;
  };
  if (!WaitUntil(Gone, 15000))
    std::fprintf(stderr, "the earlier run's program file is still held (error %lu)\n", GetLastError());
  std::string Base = FreshState ? FreshDir("e2e run") : std::string(Tmp) + "zrtests\\e2e run\\";
  BaseDir = Base;
  ProgramDir = Base + "Program Files\\ZeRun\\";
  CreateDirectoryA((Base + "Program Files").c_str(), nullptr);
  CreateDirectoryA(ProgramDir.c_str(), nullptr);
  Exe = ProgramDir + "ZeRunUpdate.exe";
  std::string Source = ProgramFile(Build);
  if (!CopyFileA(Source.c_str(), Exe.c_str(), FALSE))
    std::fprintf(stderr, "could not copy the program to %s (error %lu)\n", Exe.c_str(), GetLastError());
  std::printf("whole run of the %s build %s, code page %u\n", MachineOf(Source), Source.c_str(), GetACP());
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

bool UpdaterRun::EndSession() {
  std::vector<HWND> Windows;
  for (HWND Wnd : TopWindows())
    if (PidOf(Wnd) == FProgram.pid) Windows.push_back(Wnd);
  bool Agreed = true;
  for (HWND Wnd : Windows) Agreed = Ask(Wnd, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF) && Agreed;
  for (HWND Wnd : Windows) Ask(Wnd, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF);
  return Agreed && !Windows.empty();
}

HWND UpdaterRun::WaitWindow(DWORD TimeoutMs) {
  HWND Wnd = nullptr;
  WaitUntil([&] { return (Wnd = VisibleWindowOf(FProgram.pid)) != nullptr || !Running(); }, TimeoutMs);
  if (Wnd) {
    PumpMessages(700);  // let it paint and take input
    return Wnd;
  }
  std::fprintf(stderr, "no visible window of the program (pid %lu, %s); top-level windows:\n",
               static_cast<unsigned long>(FProgram.pid), Running() ? "running" : "ended");
  DumpWindows(FProgram.pid);
  return nullptr;
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

HWND UpdaterRun::StartOffering(const std::string& Document, const std::string& Args, DWORD TimeoutMs) {
  SetInstalledVersion(Packed(1, 1));
  if (!ServerPut(kInfoPath, Document)) return nullptr;
  Start(Args);
  return WaitPastChecking(TimeoutMs);
}

bool UpdaterRun::WaitNoWindow(DWORD TimeoutMs) {
  return WaitUntil([&] { return VisibleWindowOf(FProgram.pid) == nullptr; }, TimeoutMs);
}

HWND UpdaterRun::WaitNotice(char WantedBadge, DWORD TimeoutMs) {
  HWND Found = nullptr;
  WaitUntil(
      [&] {
        for (HWND Wnd : TopWindows())
          if (IsProgramWindow(Wnd, FProgram.pid) && !Inspect(Wnd).IsProgress && Badge(Wnd) == WantedBadge)
            Found = Wnd;
        return Found != nullptr || !Running();
      },
      TimeoutMs);
  if (Found) {
    PumpMessages(500);  // let it take input
    return Found;
  }
  std::fprintf(stderr, "no notice with badge '%c' (program %s); its visible windows:\n", WantedBadge,
               Running() ? "running" : "ended");
  for (HWND Wnd : TopWindows())
    if (PidOf(Wnd) == FProgram.pid && IsWindowVisible(Wnd)) {
      Notice N = Inspect(Wnd);
      std::fprintf(stderr, "  window %p progress %d bar %d badge '%c'\n", static_cast<void*>(Wnd), N.IsProgress ? 1 : 0,
                   N.Bar, Badge(Wnd));
      Shot(Wnd, std::string("no-notice-") + WantedBadge);
    }
  return nullptr;
}

HWND UpdaterRun::TrayIcon() {
  for (HWND Wnd : TopWindows())
    if (PidOf(Wnd) == FProgram.pid && ClassOf(Wnd) == "tputilwindow" && HasTrayIcon(Wnd)) return Wnd;
  return nullptr;
}

bool UpdaterRun::ChooseTrayMenuItem(int Index) {
  HWND Tray = TrayIcon();
  if (!Tray) return false;
  PostMessageA(Tray, TTrayIcon::WM_TRAYNOTIFY, 0, WM_RBUTTONUP);
  HWND Menu = nullptr;
  if (!WaitUntil(
          [&] {
            Menu = FindWindowA("#32768", nullptr);
            return Menu && IsWindowVisible(Menu) && PidOf(Menu) == FProgram.pid;
          },
          10000))
    return false;
  PumpMessages(300);
  std::vector<WORD> Keys(Index + 1, VK_DOWN);
  Keys.push_back(VK_RETURN);
  PressKeys(Keys);
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
      int Count = static_cast<int>(Ask(Child, LB_GETCOUNT, 0, 0, true));
      for (int I = 0; I < Count; ++I) {
        wchar_t Line[1024] = {};
        if (Ask(Child, LB_GETTEXTLEN, I, 0, true) < 1024) Ask(Child, LB_GETTEXT, I, reinterpret_cast<LPARAM>(Line), true);
        N.Lines.push_back(WideToGbk(Line));
      }
    } else if (Class.find("edit") != std::string::npos || Class.find("memo") != std::string::npos) {
      N.MemoVisible = IsWindowVisible(Child);
      N.Memo = TextOf(Child);
    } else if (Class.find("progress") != std::string::npos) {
      N.Bar = static_cast<int>(Ask(Child, PBM_GETPOS, 0, 0));
    }
  }
  return N;
}

int InkHeight(HWND Wnd, const RECT& Layout) {
  const Capture Shot = CaptureWindow(Wnd);
  const POINT From = Scaled(Wnd, Layout.left, Layout.top), To = Scaled(Wnd, Layout.right, Layout.bottom);
  int First = -1, Last = -1;
  for (int Y = From.y; Y < To.y && Y < Shot.height; ++Y)
    for (int X = From.x; X < To.x && X < Shot.width; ++X) {
      const uint8_t* Pixel = &Shot.bgra[(static_cast<size_t>(Y) * Shot.width + X) * 4];
      if (std::max({Pixel[0], Pixel[1], Pixel[2]}) >= 100) continue;
      if (First < 0) First = Y;
      Last = Y;
      break;
    }
  return First < 0 ? 0 : Last - First + 1;
}

char UpdaterRun::Badge(HWND Wnd) {
  POINT P = Scaled(Wnd, 17 + 66, 83 + 14);  // inside the round badge, clear of its sign
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

void UpdaterRun::ClickOK(HWND Wnd) { ClickScaled(Wnd, 185 + 40, 194 + 14); }
void UpdaterRun::ClickMovedOK(HWND Wnd) { ClickCancel(Wnd); }
void UpdaterRun::ClickCancel(HWND Wnd) { ClickScaled(Wnd, 284 + 40, 194 + 14); }
void UpdaterRun::ClickClose(HWND Wnd) { ClickScaled(Wnd, 412 - 8 - 15, 12); }

void UpdaterRun::Shot(HWND Wnd, const std::string& Name) { SaveScreenshot(Wnd, "e2e-" + Name); }

std::string UpdaterRun::Installed() const { return ProgramDir + "update\\ZeRunSetup.exe"; }

std::string UpdaterRun::InstallerRecord() const { return ReadWholeFile(Installed() + ".record"); }

bool UpdaterRun::WaitInstallerStarted(DWORD TimeoutMs) const {
  if (!WaitUntil([&] { return FileExists(Installed() + ".record"); }, TimeoutMs)) return false;
  PumpMessages(300);
  return true;
}

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

std::vector<std::string> UpdaterRun::WaitUrlsOpened(DWORD TimeoutMs) const {
  WaitUntil([&] { return !UrlsOpened().empty(); }, TimeoutMs);
  return UrlsOpened();
}

std::string UpdaterRun::FailureCount() const {
  std::string File = DataDir + "upd.dat";
  if (!FileExists(File)) return "";
  char Value[64] = {};
  GetPrivateProfileStringA("2", "2", "", Value, sizeof Value, File.c_str());
  return Value;
}

}  // namespace e2e
