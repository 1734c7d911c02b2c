// TThread: suspended start, self-suspension, termination, self-freeing, and
// synchronised calls served by whatever loop the main thread runs.
#include "framework/Thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>

#include "tests/support/TestSupport.h"

namespace {

// Runs Body once per resume until terminated.
class TLoopThread : public TThread {
 public:
  std::function<void(TLoopThread*)> Body;
  std::atomic<int> Runs{0};
  std::atomic<bool>* Freed = nullptr;

  ~TLoopThread() override {
    TerminateAndWait();
    if (Freed) *Freed = true;
  }
  using TThread::Synchronize;

 protected:
  void Execute() override {
    while (!Terminated()) {
      ++Runs;
      if (Body) Body(this);
      if (!Terminated()) Suspend();
    }
  }
};

// Pumps messages until Done holds or the time is up.
bool PumpUntil(const std::function<bool()>& Done, DWORD TimeoutMs = 5000) {
  DWORD Start = GetTickCount();
  while (!Done()) {
    if (GetTickCount() - Start > TimeoutMs) return false;
    zrtest::PumpMessages(5);
  }
  return true;
}

TEST(ThreadLifecycle, StartsOnlyOnResumeAndSuspendsItselfBetweenRuns) {
  TLoopThread Thread;
  Sleep(200);
  EXPECT_EQ(Thread.Runs, 0);
  EXPECT_TRUE(Thread.Suspended());
  for (int Run = 1; Run <= 3; ++Run) {
    Thread.Resume();
    ASSERT_TRUE(PumpUntil([&] { return Thread.Runs == Run && Thread.Suspended(); }));
    Sleep(100);
    EXPECT_EQ(Thread.Runs, Run) << "ran again without a resume";
  }
}

TEST(ThreadLifecycle, ResumeWhileRunningIsNotQueued) {
  TLoopThread Thread;
  std::atomic<bool> Release{false};
  Thread.Body = [&](TLoopThread*) {
    while (!Release) Sleep(5);
  };
  Thread.Resume();
  ASSERT_TRUE(PumpUntil([&] { return Thread.Runs == 1; }));
  Thread.Resume();  // running: nothing to wake
  Release = true;
  ASSERT_TRUE(PumpUntil([&] { return Thread.Suspended(); }));
  Sleep(100);
  EXPECT_EQ(Thread.Runs, 1);
}

TEST(ThreadLifecycle, DestroyedWithoutResumeNeverRunsItsBody) {
  std::atomic<bool> Freed{false};
  auto* Thread = new TLoopThread();
  Thread->Freed = &Freed;
  delete Thread;
  EXPECT_TRUE(Freed);
}

TEST(ThreadLifecycle, DestructorEndsASuspendedThread) {
  auto* Thread = new TLoopThread();
  Thread->Resume();
  ASSERT_TRUE(PumpUntil([&] { return Thread->Runs == 1 && Thread->Suspended(); }));
  delete Thread;  // must return: terminate, resume, wait
  SUCCEED();
}

TEST(ThreadLifecycle, TerminateIsSeenByTheBody) {
  TLoopThread Thread;
  std::atomic<int> Polls{0};
  Thread.Body = [&](TLoopThread* Self) {
    while (!Self->Terminated()) {
      ++Polls;
      Sleep(5);
    }
  };
  Thread.Resume();
  ASSERT_TRUE(PumpUntil([&] { return Polls > 2; }));
  Thread.Terminate();
  Thread.WaitFor();
  EXPECT_TRUE(Thread.Finished());
  EXPECT_EQ(Thread.Runs, 1);
}

TEST(ThreadLifecycle, FreeOnTerminateFreesTheObjectOnItsOwnThread) {
  std::atomic<bool> Freed{false};
  auto* Thread = new TLoopThread();
  Thread->Freed = &Freed;
  Thread->FreeOnTerminate = true;
  Thread->Body = [](TLoopThread* Self) { Self->Terminate(); };
  Thread->Resume();
  EXPECT_TRUE(PumpUntil([&] { return Freed.load(); }));
}

// Counts its own frees; the body is empty, so the thread may end and free
// itself the moment it can run.
class TCountedThread : public TThread {
 public:
  explicit TCountedThread(std::atomic<int>& Freed) : FFreed(Freed) { FreeOnTerminate = true; }
  ~TCountedThread() override { ++FFreed; }

 protected:
  void Execute() override {}

 private:
  std::atomic<int>& FFreed;
};

// Resume must leave the object alone once the thread can run: a worker that
// frees itself at once takes the lock with it.
TEST(ThreadLifecycle, ThousandsOfSelfFreeingStartsLeaveEveryHeapWhole) {
  const int Starts = 3000;
  std::atomic<int> Freed{0};
  for (int I = 0; I < Starts; ++I) (new TCountedThread(Freed))->Resume();
  ASSERT_TRUE(PumpUntil([&] { return Freed == Starts; }, 120000)) << Freed << " of " << Starts << " freed";
  HANDLE Heaps[64];
  DWORD Count = GetProcessHeaps(64, Heaps);
  ASSERT_GT(Count, 0u);
  for (DWORD I = 0; I < Count && I < 64; ++I) EXPECT_TRUE(HeapValidate(Heaps[I], 0, nullptr)) << "heap " << I;
}

TEST(ThreadSynchronize, RunsOnTheMainThreadWhileTheWorkerWaits) {
  DWORD MainThread = GetCurrentThreadId();
  DWORD RanOn = 0;
  std::atomic<bool> AfterCall{false};
  bool SeenBeforeReturn = true;
  TLoopThread Thread;
  Thread.Body = [&](TLoopThread* Self) {
    Self->Synchronize([&] {
      RanOn = GetCurrentThreadId();
      Sleep(100);
      SeenBeforeReturn = AfterCall;  // the worker must still be blocked
    });
    AfterCall = true;
  };
  Thread.Resume();
  ASSERT_TRUE(PumpUntil([&] { return AfterCall.load(); }));
  EXPECT_EQ(RanOn, MainThread);
  EXPECT_FALSE(SeenBeforeReturn);
}

TEST(ThreadSynchronize, IsServedInsideAMessageBox) {
  DWORD MainThread = GetCurrentThreadId();
  DWORD RanOn = 0;
  TLoopThread Thread;
  Thread.Body = [&](TLoopThread* Self) {
    HWND Box = nullptr;
    for (int I = 0; I < 400 && !Box; ++I, Sleep(10)) Box = FindWindowA(nullptr, "ThreadSyncBox");
    Sleep(300);  // let the box paint before it is kept as a picture
    Self->Synchronize([&] {
      RanOn = GetCurrentThreadId();
      zrtest::SaveScreenshot(Box, "thread_sync_message_box");
      PostMessageA(Box, WM_COMMAND, IDOK, 0);
    });
  };
  Thread.Resume();
  MessageBoxA(nullptr, "A synchronised call closes this box.", "ThreadSyncBox", MB_OK);
  EXPECT_EQ(RanOn, MainThread);
}

TEST(ThreadSynchronize, AnExceptionComesBackToTheWorker) {
  std::atomic<bool> Caught{false};
  TLoopThread Thread;
  Thread.Body = [&](TLoopThread* Self) {
    try {
      Self->Synchronize([] { throw std::runtime_error("from the main thread"); });
    } catch (const std::runtime_error&) {
      Caught = true;
    }
  };
  Thread.Resume();
  ASSERT_TRUE(PumpUntil([&] { return Thread.Runs == 1 && Thread.Suspended(); }));
  EXPECT_TRUE(Caught);
}

TEST(ThreadSynchronize, DestructorServesAPendingCallInsteadOfDeadlocking) {
  std::atomic<bool> Started{false};
  int Calls = 0;
  auto* Thread = new TLoopThread();
  Thread->Body = [&](TLoopThread* Self) {
    Started = true;
    Sleep(200);  // the main thread is in the destructor's wait by now
    Self->Synchronize([&] { ++Calls; });
  };
  Thread->Resume();
  while (!Started) Sleep(1);  // no message loop runs here
  delete Thread;
  EXPECT_EQ(Calls, 1);
}

}  // namespace
