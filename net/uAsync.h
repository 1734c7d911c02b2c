// Runs one blocking function on a fresh worker thread that frees itself.
#pragma once

#include <windows.h>

#include <cstdint>

#include "framework/Thread.h"

using TAsyncProc = int32_t (*)(intptr_t Param1, intptr_t Param2);
using TAsyncCallBack = void (*)(int32_t Result, int32_t LParam);

class TAsyncExecuteThread : public TThread {
 public:
  TAsyncProc FProc = nullptr;
  UINT FMsgId = 0;
  HWND FWnd = nullptr;
  intptr_t FParam2 = 0;
  intptr_t FParam1 = 0;
  TAsyncCallBack FCallBack = nullptr;
  int32_t FLParam = 0;
  int32_t FResult = 0;

 protected:
  void Execute() override;

 private:
  void RunTask();
};

// Calls Proc(Param1, Param2) on a new thread. When it returns non-zero and a
// window and message are given, the result is sent to Wnd as
// (MsgId, Result, LParam); CallBack(Result, LParam) then runs on the worker.
// Nobody can wait for or cancel the thread.
void RunAsync(TAsyncProc Proc, intptr_t Param1, intptr_t Param2,
              TAsyncCallBack CallBack = nullptr, int32_t LParam = 0, HWND Wnd = nullptr,
              UINT MsgId = 0);
