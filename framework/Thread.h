// Worker threads with a termination flag, self-suspension between runs and
// calls synchronised with the main thread.
#pragma once

#include <windows.h>

#include <atomic>
#include <functional>

#include "framework/Classes.h"

// Waits for Object; on the main thread the wait keeps serving the workers'
// Synchronize calls, so a worker blocked in one cannot deadlock it.
void WaitServingSyncCalls(HANDLE Object);

// The thread is always created suspended: a virtual Execute must not start
// before the derived object is complete, so a derived constructor that wants
// it running calls Resume() as its last step. Create threads on the main
// thread; that is where Synchronize delivers its calls.
class TThread : public TObject {
 public:
  TThread();
  // Requests termination, resumes and waits (see TerminateAndWait).
  ~TThread() override;
  TThread(const TThread&) = delete;
  TThread& operator=(const TThread&) = delete;

  // Starts the thread, or wakes it from Suspend. Does nothing while it runs.
  void Resume();
  // Sets the flag the body polls.
  void Terminate();
  // Waits until the body has returned. On the main thread the wait keeps
  // serving the thread's Synchronize calls, so a worker blocked in one
  // cannot deadlock it.
  void WaitFor();

  bool Terminated() const { return FTerminated; }
  bool Suspended() const;
  bool Finished() const { return FFinished; }
  HANDLE Handle() const { return FHandle; }

  // The object deletes itself on its own thread when the body returns.
  bool FreeOnTerminate = false;

 protected:
  virtual void Execute() = 0;
  // Called by the worker on itself: sleeps until the next Resume. Returns at
  // once when termination has been requested, so Terminate plus Resume
  // always ends the body.
  void Suspend();
  // Runs Method on the main thread while the worker waits, inside whatever
  // message loop the main thread runs. An exception it raises is raised
  // again in the worker.
  void Synchronize(const std::function<void()>& Method);
  // Runs on the thread that called Terminate, after the flag is set.
  virtual void TerminatedSet() {}
  // What the destructor does, for derived destructors to call first, while
  // the fields the body uses are still alive. Does nothing on the worker
  // itself or once the body has returned.
  void TerminateAndWait();

 private:
  static unsigned __stdcall ThreadProc(void* Param);

  HANDLE FHandle = nullptr;
  unsigned FThreadID = 0;
  HANDLE FWakeUp = nullptr;  // auto-reset: ends one Suspend
  mutable CRITICAL_SECTION FLock;
  bool FStarted = false;
  bool FSuspended = true;
  std::atomic<bool> FTerminated{false};
  std::atomic<bool> FFinished{false};
};
