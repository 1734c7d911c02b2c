// Downloads one URL with the download task and prints the wall time, the
// process's CPU time, the number of progress events and the longest and mean
// gap between them. With CANCEL_MS the task is freed that many milliseconds
// after the start, as the progress window's Cancel does, and the time that
// took is printed.
//   bench_download.exe URL SAVEFILE [CANCEL_MS]
#include <windows.h>
#include <objbase.h>

#include <cstdio>
#include <cstdlib>

#include "net/uHttpDownProgeress.h"

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  DWORD CancelMs = argc > 3 ? static_cast<DWORD>(std::atol(argv[3])) : 0;
  CoInitialize(nullptr);
  int Events = 0;
  DWORD FirstEvent = 0, LastEvent = 0, LongestGap = 0;
  bool Done = false, Failed = false;
  auto* Task = new THttpDownProgeress(true);
  Task->Url = argv[1];
  Task->SaveFile = argv[2];
  Task->OnProgress = [&](TObject*, float) {
    DWORD Now = GetTickCount();
    if (Events++ == 0) FirstEvent = Now;
    else if (Now - LastEvent > LongestGap) LongestGap = Now - LastEvent;
    LastEvent = Now;
  };
  Task->OnError = [&](TObject*, const std::string&) { Failed = Done = true; };
  Task->OnComplete = [&](TObject*) { Done = true; };
  DWORD Start = GetTickCount();
  Task->Resume();
  while (!Done && !Task->Suspended() && (!CancelMs || GetTickCount() - Start < CancelMs)) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    MSG Msg;
    while (PeekMessageA(&Msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&Msg);
  }
  DWORD Elapsed = GetTickCount() - Start;
  long long Bytes = Task->Down;
  DWORD CancelStart = GetTickCount();
  delete Task;
  DWORD CancelTook = GetTickCount() - CancelStart;
  FILETIME Created, Exited, Kernel, User;
  GetProcessTimes(GetCurrentProcess(), &Created, &Exited, &Kernel, &User);
  auto Seconds = [](const FILETIME& T) {
    return (double(T.dwHighDateTime) * 4294967296.0 + T.dwLowDateTime) / 1e7;
  };
  Failed = Failed || (!Done && !CancelMs);
  double MeanGap = Events > 1 ? double(LastEvent - FirstEvent) / (Events - 1) : 0;
  std::printf("ok=%d ms=%lu bytes=%lld events=%d cpu=%.3f longest_gap=%lu mean_gap=%.0f cancel_ms=%lu\n",
              Failed ? 0 : 1, Elapsed, Bytes, Events, Seconds(Kernel) + Seconds(User), LongestGap,
              MeanGap, CancelMs ? CancelTook : 0);
  CoUninitialize();
  return Failed ? 1 : 0;
}
