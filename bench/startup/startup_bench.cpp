// Start-up and memory driver, run under Wine: starts a program, polls for
// its visible top-level windows and prints one "figure value" line each.
//
//   startup_bench updater PROGRAM.exe   the updater offering an update: times
//       to the first window, the checking notice and the question; clicks OK,
//       waits for the download and the installer, and reads the peak
//       working set before it clicks OK on the progress window
//   startup_bench minimal PROGRAM.exe   any program with one window: time to
//       it and its peak working set, then closes it
//
// Times are milliseconds from just before CreateProcess, taken with
// QueryPerformanceCounter; memory is read from outside the process.
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

const wchar_t kTitle[] = L"泽润影音升级程序";
const DWORD kPollMs = 5;
const double kWindowWaitMs = 30000;
const double kDownloadWaitMs = 300000;

LARGE_INTEGER Frequency, Started;

double ElapsedMs() {
  LARGE_INTEGER Now;
  QueryPerformanceCounter(&Now);
  return static_cast<double>(Now.QuadPart - Started.QuadPart) * 1000.0 / static_cast<double>(Frequency.QuadPart);
}

void Figure(const char* Program, const char* Name, double Value, const char* Note = "") {
  std::printf("%s %s %.1f%s%s\n", Program, Name, Value, *Note ? " " : "", Note);
  std::fflush(stdout);
}

bool Fail(const char* What) {
  std::fprintf(stderr, "startup_bench: %s\n", What);
  return false;
}

// What a visible window of the updater is, told apart by its children: the
// question shows the release-notes memo, the progress window its message
// list, and the checking notice neither.
enum class Kind { Other, Notice, Question, Progress };

struct Search {
  DWORD Pid;
  bool NeedTitle;
  HWND Found = nullptr;
  Kind What = Kind::Other;
};

BOOL CALLBACK ChildKind(HWND Child, LPARAM Param) {
  auto* What = reinterpret_cast<Kind*>(Param);
  char Class[64] = {};
  GetClassNameA(Child, Class, sizeof Class);
  if (std::strcmp(Class, "TListBox") == 0) *What = Kind::Progress;
  if (std::strcmp(Class, "TMemo") == 0 && IsWindowVisible(Child) && *What != Kind::Progress) *What = Kind::Question;
  return TRUE;
}

BOOL CALLBACK FindVisible(HWND Wnd, LPARAM Param) {
  auto* S = reinterpret_cast<Search*>(Param);
  DWORD Pid = 0;
  GetWindowThreadProcessId(Wnd, &Pid);
  if (Pid != S->Pid || !IsWindowVisible(Wnd)) return TRUE;
  wchar_t Title[64] = {};
  GetWindowTextW(Wnd, Title, 64);
  if (S->NeedTitle && std::wcscmp(Title, kTitle) != 0) return TRUE;
  Kind What = Kind::Notice;
  EnumChildWindows(Wnd, ChildKind, reinterpret_cast<LPARAM>(&What));
  // A question or progress window outranks a checking notice still closing.
  if (!S->Found || What > S->What) {
    S->Found = Wnd;
    S->What = What;
  }
  return TRUE;
}

Search Visible(DWORD Pid, bool NeedTitle) {
  Search S{Pid, NeedTitle};
  EnumWindows(FindVisible, reinterpret_cast<LPARAM>(&S));
  return S;
}

bool Running(HANDLE Process) { return WaitForSingleObject(Process, 0) == WAIT_TIMEOUT; }

// Peak and current working set in KiB, 0 when they cannot be read.
void Memory(HANDLE Process, double& PeakKiB, double& NowKiB) {
  PROCESS_MEMORY_COUNTERS C = {};
  C.cb = sizeof C;
  PeakKiB = NowKiB = 0;
  if (!GetProcessMemoryInfo(Process, &C, sizeof C)) return;
  PeakKiB = static_cast<double>(C.PeakWorkingSetSize) / 1024.0;
  NowKiB = static_cast<double>(C.WorkingSetSize) / 1024.0;
}

// A real click: the skinned buttons are painted controls, not Win32 buttons.
void ClickClient(HWND Wnd, int X, int Y) {
  POINT P = {X, Y};
  ClientToScreen(Wnd, &P);
  SetCursorPos(P.x, P.y);
  INPUT In[3] = {};
  const DWORD Flags[3] = {MOUSEEVENTF_MOVE, MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP};
  for (int I = 0; I < 3; ++I) {
    In[I].type = INPUT_MOUSE;
    In[I].mi.dwFlags = Flags[I];
    SendInput(1, &In[I], sizeof In[I]);
    Sleep(30);
  }
}

void ClickOK(HWND Wnd) { ClickClient(Wnd, 225, 208); }

bool FileExists(const std::string& Path) { return GetFileAttributesA(Path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// Wall-clock seconds since 1970, to line the run up with the server's log.
double UnixSeconds() {
  FILETIME Ft;
  GetSystemTimeAsFileTime(&Ft);
  ULARGE_INTEGER T;
  T.LowPart = Ft.dwLowDateTime;
  T.HighPart = Ft.dwHighDateTime;
  return static_cast<double>(T.QuadPart - 116444736000000000ULL) / 1e7;
}

PROCESS_INFORMATION Start(const std::string& Exe, const char* Program) {
  std::string Line = "\"" + Exe + "\"";
  STARTUPINFOA Si = {};
  Si.cb = sizeof Si;
  PROCESS_INFORMATION Pi = {};
  std::printf("%s start_unix_s %.6f\n", Program, UnixSeconds());
  QueryPerformanceCounter(&Started);
  if (!CreateProcessA(Exe.c_str(), &Line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &Si, &Pi)) Pi = {};
  return Pi;
}

void Finish(PROCESS_INFORMATION& Pi) {
  if (WaitForSingleObject(Pi.hProcess, 20000) != WAIT_OBJECT_0) {
    Fail("the program did not end; terminated");
    TerminateProcess(Pi.hProcess, 1);
  }
  CloseHandle(Pi.hThread);
  CloseHandle(Pi.hProcess);
}

bool Updater(const std::string& Exe) {
  std::string Setup = Exe.substr(0, Exe.find_last_of('\\') + 1) + "update\\ZeRunSetup.exe";
  PROCESS_INFORMATION Pi = Start(Exe, "updater");
  if (!Pi.hProcess) return Fail("CreateProcess failed");
  HWND First = nullptr, Question = nullptr;
  double FirstMs = 0;
  for (;;) {
    Search S = Visible(Pi.dwProcessId, true);
    double Ms = ElapsedMs();
    if (S.Found && !First) {
      First = S.Found;
      FirstMs = Ms;
    }
    if (S.What == Kind::Question) {
      Question = S.Found;
      // The question is a window of its own; when it is the first one, the
      // checking notice never came up.
      Figure("updater", "first_window_ms", FirstMs, Question == First ? "question" : "checking");
      if (Question != First) Figure("updater", "checking_ms", FirstMs);
      Figure("updater", "question_ms", Ms);
      break;
    }
    if (Ms > kWindowWaitMs || !Running(Pi.hProcess)) {
      Finish(Pi);
      return Fail("no question from the updater");
    }
    Sleep(kPollMs);
  }
  double PeakKiB, NowKiB;
  Memory(Pi.hProcess, PeakKiB, NowKiB);
  Figure("updater", "working_set_at_question_kib", NowKiB);

  Sleep(700);  // let the question paint and take input
  ClickOK(Question);
  double Clicked = ElapsedMs();
  HWND Progress = nullptr;
  // The installer's record is written once the download is complete and
  // handed over; the process is still up, waiting for OK on the progress window.
  while (!FileExists(Setup + ".record")) {
    if (!Progress) {
      Search S = Visible(Pi.dwProcessId, true);
      if (S.What == Kind::Progress) Progress = S.Found;
    }
    if (ElapsedMs() - Clicked > kDownloadWaitMs || !Running(Pi.hProcess)) {
      Finish(Pi);
      return Fail("the download did not finish");
    }
    Sleep(kPollMs);
  }
  double Done = ElapsedMs();
  Memory(Pi.hProcess, PeakKiB, NowKiB);
  Figure("updater", "download_s", (Done - Clicked) / 1000.0);
  Figure("updater", "peak_working_set_kib", PeakKiB);
  Figure("updater", "working_set_after_download_kib", NowKiB);
  if (!Progress || PeakKiB <= 0) {
    Finish(Pi);
    return Fail(Progress ? "no memory figures" : "no progress window");
  }
  Sleep(300);
  ClickOK(Progress);
  Finish(Pi);
  return true;
}

bool Minimal(const std::string& Exe) {
  PROCESS_INFORMATION Pi = Start(Exe, "minimal");
  if (!Pi.hProcess) return Fail("CreateProcess failed");
  Search S;
  for (;;) {
    S = Visible(Pi.dwProcessId, false);
    if (S.Found) break;
    if (ElapsedMs() > kWindowWaitMs || !Running(Pi.hProcess)) {
      Finish(Pi);
      return Fail("no window from the program");
    }
    Sleep(kPollMs);
  }
  Figure("minimal", "window_ms", ElapsedMs());
  Sleep(700);  // the same settling time the updater's question gets
  double PeakKiB, NowKiB;
  Memory(Pi.hProcess, PeakKiB, NowKiB);
  Figure("minimal", "peak_working_set_kib", PeakKiB);
  PostMessageA(S.Found, WM_CLOSE, 0, 0);
  Finish(Pi);
  return PeakKiB > 0 || Fail("no memory figures");
}

}  // namespace

int main(int Argc, char** Argv) {
  if (Argc != 3 || (std::strcmp(Argv[1], "updater") != 0 && std::strcmp(Argv[1], "minimal") != 0)) {
    std::fprintf(stderr, "usage: startup_bench updater|minimal PROGRAM.exe\n");
    return 2;
  }
  QueryPerformanceFrequency(&Frequency);
  bool Ok = std::strcmp(Argv[1], "updater") == 0 ? Updater(Argv[2]) : Minimal(Argv[2]);
  return Ok ? 0 : 1;
}
