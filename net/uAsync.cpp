#include "net/uAsync.h"

#include <objbase.h>

#include "framework/Application.h"

void TAsyncExecuteThread::Execute() {
  FreeOnTerminate = true;
  CoInitialize(nullptr);
  try {
    RunTask();
  } catch (...) {
    // Nothing raised here may leave the worker.
  }
  CoUninitialize();
}

void TAsyncExecuteThread::RunTask() {
  FResult = 0;
  if (!FProc) return;
  try {
    FResult = FProc(FParam1, FParam2);
  } catch (...) {
    FResult = 0;
  }
  if (Application && FWnd && FMsgId != 0 && FResult != 0)
    SendMessageA(FWnd, FMsgId, static_cast<WPARAM>(FResult), static_cast<LPARAM>(FLParam));
  if (FCallBack) {
    try {
      FCallBack(FResult, FLParam);
    } catch (...) {
    }
  }
}

void RunAsync(TAsyncProc Proc, intptr_t Param1, intptr_t Param2, TAsyncCallBack CallBack,
              int32_t LParam, HWND Wnd, UINT MsgId) {
  auto* Thread = new TAsyncExecuteThread();
  Thread->FProc = Proc;
  Thread->FParam1 = Param1;
  Thread->FParam2 = Param2;
  Thread->FCallBack = CallBack;
  Thread->FLParam = LParam;
  Thread->FWnd = Wnd;
  Thread->FMsgId = MsgId;
  Thread->Resume();
}
