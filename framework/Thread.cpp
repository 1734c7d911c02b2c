#include "framework/Thread.h"

#include <process.h>

#include <exception>
#include <stdexcept>

namespace {

// Static initialisers run on the main thread.
const DWORD MainThreadID = GetCurrentThreadId();

const UINT CM_SYNCHRONIZE = WM_USER + 1;

struct TSyncCall {
  const std::function<void()>* Method;
  std::exception_ptr Error;
};

LRESULT SyncWndProc(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam) {
  if (Msg != CM_SYNCHRONIZE) return DefWindowProcW(Wnd, Msg, WParam, LParam);
  auto* Call = reinterpret_cast<TSyncCall*>(LParam);
  try {
    (*Call->Method)();
  } catch (...) {
    Call->Error = std::current_exception();
  }
  return 0;
}

// The window whose thread runs synchronised calls; made by the first thread
// object created on the main thread.
HWND SyncWindow = nullptr;

bool OnMainThread() { return GetCurrentThreadId() == MainThreadID; }

}  // namespace

void WaitServingSyncCalls(HANDLE Object) {
  if (!OnMainThread()) {
    WaitForSingleObject(Object, INFINITE);
    return;
  }
  // Sent messages only: the worker's synchronised calls arrive that way, and
  // nothing else (input, timers, paints) is dispatched inside this wait.
  while (MsgWaitForMultipleObjects(1, &Object, FALSE, INFINITE, QS_SENDMESSAGE) == WAIT_OBJECT_0 + 1) {
    MSG Msg;
    PeekMessageA(&Msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
  }
}

TThread::TThread() {
  if (!SyncWindow && OnMainThread()) SyncWindow = AllocateHWnd(SyncWndProc, "TThreadSyncWindow");
  InitializeCriticalSection(&FLock);
  FWakeUp = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  FHandle = reinterpret_cast<HANDLE>(
      _beginthreadex(nullptr, 0, ThreadProc, this, CREATE_SUSPENDED, &FThreadID));
  if (!FHandle || !FWakeUp) {
    if (FWakeUp) CloseHandle(FWakeUp);
    DeleteCriticalSection(&FLock);
    throw std::runtime_error("Thread creation error");
  }
}

TThread::~TThread() {
  TerminateAndWait();
  CloseHandle(FHandle);
  CloseHandle(FWakeUp);
  DeleteCriticalSection(&FLock);
}

unsigned __stdcall TThread::ThreadProc(void* Param) {
  auto* Self = static_cast<TThread*>(Param);
  try {
    // A thread freed before its first run starts only to end.
    if (!Self->FTerminated) Self->Execute();
  } catch (...) {
    // Nothing raised on a worker may leave it.
  }
  bool FreeSelf = Self->FreeOnTerminate;
  Self->FFinished = true;
  if (FreeSelf) delete Self;
  return 0;
}

void TThread::Resume() {
  EnterCriticalSection(&FLock);
  bool Wake = FSuspended;
  bool Start = Wake && !FStarted;
  FSuspended = false;
  FStarted = FStarted || Wake;
  LeaveCriticalSection(&FLock);
  // Outside the lock: once running, a self-freeing thread may free the
  // object, lock included.
  if (Start)
    ResumeThread(FHandle);
  else if (Wake)
    SetEvent(FWakeUp);
}

void TThread::Suspend() {
  EnterCriticalSection(&FLock);
  // Checked under the lock that Terminate takes, so a Terminate plus Resume
  // can never fall between this test and the wait.
  bool Sleep = !FTerminated;
  if (Sleep) FSuspended = true;
  LeaveCriticalSection(&FLock);
  if (Sleep) WaitForSingleObject(FWakeUp, INFINITE);
}

void TThread::Terminate() {
  EnterCriticalSection(&FLock);
  FTerminated = true;
  LeaveCriticalSection(&FLock);
  TerminatedSet();
}

bool TThread::Suspended() const {
  EnterCriticalSection(&FLock);
  bool Result = FSuspended;
  LeaveCriticalSection(&FLock);
  return Result;
}

void TThread::WaitFor() { WaitServingSyncCalls(FHandle); }

void TThread::TerminateAndWait() {
  if (FFinished || GetCurrentThreadId() == FThreadID) return;
  Terminate();
  Resume();
  WaitFor();
}

void TThread::Synchronize(const std::function<void()>& Method) {
  if (OnMainThread() || !SyncWindow) {
    Method();
    return;
  }
  TSyncCall Call{&Method, nullptr};
  SendMessageA(SyncWindow, CM_SYNCHRONIZE, 0, reinterpret_cast<LPARAM>(&Call));
  if (Call.Error) std::rethrow_exception(Call.Error);
}
