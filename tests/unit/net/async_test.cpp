// RunAsync: the task on a worker with COM, the result message only for
// non-zero results, the callback always, nothing escaping the worker.
#include "net/uAsync.h"

#include <gtest/gtest.h>

#include <objbase.h>

#include <atomic>
#include <stdexcept>

#include "framework/Application.h"
#include "framework/Classes.h"
#include "tests/support/TestSupport.h"

namespace {

const UINT WM_RESULT = WM_USER + 77;

struct TSeen {
  std::atomic<int> CallBacks{0};
  std::atomic<int32_t> CallBackResult{-1};
  std::atomic<int32_t> CallBackLParam{-1};
  std::atomic<DWORD> CallBackThread{0};
  int Messages = 0;
  WPARAM MessageWParam = 0;
  LPARAM MessageLParam = 0;
  DWORD MessageThread = 0;
  std::atomic<DWORD> TaskThread{0};
  std::atomic<HRESULT> TaskCom{E_FAIL};
};
TSeen* Seen = nullptr;

int32_t ReturnParam(intptr_t Param1, intptr_t) {
  // S_FALSE: this thread has COM initialised already.
  HRESULT Com = CoInitialize(nullptr);
  if (SUCCEEDED(Com)) CoUninitialize();
  Seen->TaskCom = Com;
  Seen->TaskThread = GetCurrentThreadId();
  return static_cast<int32_t>(Param1);
}

int32_t Throwing(intptr_t, intptr_t) { throw std::runtime_error("task failed"); }

void RecordCallBack(int32_t Result, int32_t LParam) {
  Seen->CallBackResult = Result;
  Seen->CallBackLParam = LParam;
  Seen->CallBackThread = GetCurrentThreadId();
  ++Seen->CallBacks;
}

void ThrowingCallBack(int32_t Result, int32_t LParam) {
  RecordCallBack(Result, LParam);
  throw std::runtime_error("callback failed");
}

class RunAsyncTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Seen = &FSeen;
    FWnd = AllocateHWnd([](HWND W, UINT Msg, WPARAM WP, LPARAM LP) -> LRESULT {
      if (Msg != WM_RESULT) return DefWindowProcA(W, Msg, WP, LP);
      ++Seen->Messages;
      Seen->MessageWParam = WP;
      Seen->MessageLParam = LP;
      Seen->MessageThread = GetCurrentThreadId();
      return 0;
    });
  }
  void TearDown() override {
    DeallocateHWnd(FWnd);
    Seen = nullptr;
  }
  // Pumps until the callback ran, or (without callback) for a short while.
  void WaitForCallBacks(int Count) {
    DWORD Start = GetTickCount();
    while (FSeen.CallBacks < Count && GetTickCount() - Start < 5000) zrtest::PumpMessages(5);
    zrtest::PumpMessages(200);
  }

  TSeen FSeen;
  HWND FWnd = nullptr;
};

TEST_F(RunAsyncTest, NonZeroResultIsSentToTheWindowThenTheCallBackRuns) {
  RunAsync(ReturnParam, 42, 0, RecordCallBack, 7, FWnd, WM_RESULT);
  WaitForCallBacks(1);
  EXPECT_EQ(FSeen.Messages, 1);
  EXPECT_EQ(FSeen.MessageWParam, 42u);
  EXPECT_EQ(FSeen.MessageLParam, 7);
  EXPECT_EQ(FSeen.MessageThread, GetCurrentThreadId());
  EXPECT_EQ(FSeen.CallBackResult, 42);
  EXPECT_EQ(FSeen.CallBackLParam, 7);
  EXPECT_NE(FSeen.CallBackThread, GetCurrentThreadId());
  EXPECT_EQ(FSeen.CallBackThread, FSeen.TaskThread);
  EXPECT_EQ(FSeen.TaskCom, S_FALSE) << "the worker did not initialise COM";
}

// A task that returns 0 and one that throws both count as 0.
TEST_F(RunAsyncTest, ZeroResultSendsNoMessageButTheCallBackRuns) {
  const TAsyncProc Tasks[] = {ReturnParam, Throwing};
  for (int I = 0; I < 2; ++I) {
    RunAsync(Tasks[I], 0, 0, RecordCallBack, 9, FWnd, WM_RESULT);
    WaitForCallBacks(I + 1);
    EXPECT_EQ(FSeen.Messages, 0) << I;
    EXPECT_EQ(FSeen.CallBacks, I + 1);
    EXPECT_EQ(FSeen.CallBackResult, 0) << I;
    EXPECT_EQ(FSeen.CallBackLParam, 9);
  }
}

TEST_F(RunAsyncTest, AThrowingCallBackStaysOnTheWorker) {
  RunAsync(ReturnParam, 5, 0, ThrowingCallBack, 0, FWnd, WM_RESULT);
  WaitForCallBacks(1);
  EXPECT_EQ(FSeen.Messages, 1);
  EXPECT_EQ(FSeen.CallBacks, 1);
}

TEST_F(RunAsyncTest, NullTaskRunsNothing) {
  RunAsync(nullptr, 1, 0, RecordCallBack, 0, FWnd, WM_RESULT);
  WaitForCallBacks(1);
  EXPECT_EQ(FSeen.Messages, 0);
  EXPECT_EQ(FSeen.CallBacks, 0);
}

TEST_F(RunAsyncTest, WithoutWindowOrMessageNumberNothingIsSent) {
  RunAsync(ReturnParam, 1, 0, RecordCallBack, 0, nullptr, WM_RESULT);
  RunAsync(ReturnParam, 1, 0, RecordCallBack, 0, FWnd, 0);
  WaitForCallBacks(2);
  EXPECT_EQ(FSeen.Messages, 0);
  EXPECT_EQ(FSeen.CallBacks, 2);
}

TEST_F(RunAsyncTest, WithoutApplicationObjectNoMessageButTheCallBack) {
  TApplication* Saved = Application;
  Application = nullptr;
  RunAsync(ReturnParam, 1, 0, RecordCallBack, 0, FWnd, WM_RESULT);
  WaitForCallBacks(1);
  Application = Saved;
  EXPECT_EQ(FSeen.Messages, 0);
  EXPECT_EQ(FSeen.CallBacks, 1);
}

TEST_F(RunAsyncTest, OnlyTheTaskRunsWhenEverythingOptionalIsEmpty) {
  RunAsync(ReturnParam, 1, 0);
  DWORD Start = GetTickCount();
  while (FSeen.TaskThread == 0 && GetTickCount() - Start < 5000) zrtest::PumpMessages(5);
  EXPECT_NE(FSeen.TaskThread, 0u);
  zrtest::PumpMessages(200);
  EXPECT_EQ(FSeen.Messages, 0);
}

}  // namespace
