// Drives a window from inside its own modal run: the steps run one after the
// other on this thread from a timer, so they may touch the windows freely and
// send real mouse input that the modal loop then delivers.
#pragma once

#include <windows.h>

#include <functional>
#include <vector>

class ModalScript {
 public:
  // A step is retried every 50 ms until it returns true.
  using Step = std::function<bool()>;

  ModalScript() = default;
  ~ModalScript();
  ModalScript(const ModalScript&) = delete;
  ModalScript& operator=(const ModalScript&) = delete;

  ModalScript& Then(Step S);
  // A step that always succeeds at once.
  ModalScript& Do(std::function<void()> Action);
  // Runs the action from its own timer message, so that a modal run it opens
  // is driven by the following steps.
  ModalScript& DoLater(std::function<void()> Action);
  // Waits the given time, letting the modal loop deliver what came before.
  ModalScript& Wait(DWORD Ms);

  // Arms the timer; the steps run once the caller enters a message loop.
  void Start();
  bool Finished() const { return FNext == FSteps.size(); }
  // Set when a step did not succeed within its time-out; the script then
  // stops and OnStuck runs once so the modal run can be ended.
  bool Stuck() const { return FStuck; }
  std::function<void()> OnStuck;
  DWORD StepTimeoutMs = 20000;

 private:
  static void CALLBACK TimerProc(HWND, UINT, UINT_PTR, DWORD);
  void Tick();
  void Stop();

  std::vector<Step> FSteps;
  size_t FNext = 0;
  DWORD FStepStart = 0;
  UINT_PTR FTimer = 0;
  bool FStuck = false;
  bool FRunning = false;
};
