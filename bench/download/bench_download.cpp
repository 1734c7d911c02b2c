// Downloads one URL with the download task and prints the wall time, the
// process's CPU time and the number of progress events.
//   bench_download.exe URL SAVEFILE
#include <windows.h>
#include <objbase.h>

#include <cstdio>

#include "net/uHttpDownProgeress.h"

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  CoInitialize(nullptr);
  int Events = 0;
  bool Done = false, Failed = false;
  auto* Task = new THttpDownProgeress(true);
  Task->Url = argv[1];
  Task->SaveFile = argv[2];
  Task->OnProgress = [&](TObject*, float) { ++Events; };
  Task->OnError = [&](TObject*, const std::string&) { Failed = Done = true; };
  Task->OnComplete = [&](TObject*) { Done = true; };
  DWORD Start = GetTickCount();
  Task->Resume();
  // An attempt that ends without an event (say, a 403 probe) suspends the task.
  while (!Done && !Task->Suspended()) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_ALLINPUT);
    MSG Msg;
    while (PeekMessageA(&Msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&Msg);
  }
  DWORD Elapsed = GetTickCount() - Start;
  long long Bytes = Task->Down;
  delete Task;
  FILETIME Created, Exited, Kernel, User;
  GetProcessTimes(GetCurrentProcess(), &Created, &Exited, &Kernel, &User);
  auto Seconds = [](const FILETIME& T) {
    return (double(T.dwHighDateTime) * 4294967296.0 + T.dwLowDateTime) / 1e7;
  };
  Failed = Failed || !Done;
  std::printf("ok=%d ms=%lu bytes=%lld events=%d cpu=%.3f\n", Failed ? 0 : 1, Elapsed, Bytes, Events,
              Seconds(Kernel) + Seconds(User));
  CoUninitialize();
  return Failed ? 1 : 0;
}
