#include "app/uRuning.h"

HANDLE RunningMutex = 0;

namespace {

// Keeps the mutex for the whole life of the process.
struct TMutexCloser {
  ~TMutexCloser() {
    if (RunningMutex != 0) CloseHandle(RunningMutex);
  }
} MutexCloser;

}  // namespace

bool IsAlreadyRunning(const char* MutexName) {
  RunningMutex = CreateMutexA(nullptr, TRUE, MutexName);
  return GetLastError() == ERROR_ALREADY_EXISTS;
}

UINT ShowRunningMessage() {
  static const UINT Msg = RegisterWindowMessageA("ZeRunUpdate.ShowRunning");
  return Msg;
}

void ShowRunningInstance() {
  // The user started this process, so it may hand the foreground on.
  AllowSetForegroundWindow(ASFW_ANY);
  PostMessageA(HWND_BROADCAST, ShowRunningMessage(), 0, 0);
}
