#include "tests/unit/windows/ModalScript.h"

#include <gtest/gtest.h>

#include <memory>
#include <utility>

namespace {
// Thread timers carry no object; one script runs at a time.
ModalScript* Running = nullptr;
}  // namespace

ModalScript::~ModalScript() { Stop(); }

ModalScript& ModalScript::Then(Step S) {
  FSteps.push_back(std::move(S));
  return *this;
}

ModalScript& ModalScript::Do(std::function<void()> Action) {
  return Then([Action] {
    Action();
    return true;
  });
}

namespace {
std::vector<std::pair<UINT_PTR, std::function<void()>>> Deferred;

void CALLBACK DeferredProc(HWND, UINT, UINT_PTR Id, DWORD) {
  KillTimer(nullptr, Id);
  for (size_t I = 0; I < Deferred.size(); ++I) {
    if (Deferred[I].first != Id) continue;
    std::function<void()> Action = std::move(Deferred[I].second);
    Deferred.erase(Deferred.begin() + static_cast<std::ptrdiff_t>(I));
    Action();
    return;
  }
}
}  // namespace

ModalScript& ModalScript::DoLater(std::function<void()> Action) {
  return Do([Action] { Deferred.emplace_back(SetTimer(nullptr, 0, 10, DeferredProc), Action); });
}

ModalScript& ModalScript::Wait(DWORD Ms) {
  auto Start = std::make_shared<DWORD>(0);
  return Then([Start, Ms] {
    if (*Start == 0) *Start = GetTickCount() | 1;
    return GetTickCount() - *Start >= Ms;
  });
}

void ModalScript::Start() {
  Stop();
  Running = this;
  FRunning = true;
  FStepStart = GetTickCount();
  FTimer = SetTimer(nullptr, 0, 50, TimerProc);
}

void ModalScript::Stop() {
  if (FTimer) KillTimer(nullptr, FTimer);
  FTimer = 0;
  FRunning = false;
  if (Running == this) Running = nullptr;
}

void CALLBACK ModalScript::TimerProc(HWND, UINT, UINT_PTR, DWORD) {
  if (Running) Running->Tick();
}

void ModalScript::Tick() {
  // A step may open a nested modal run; its ticks must not re-enter it.
  if (!FRunning || Finished()) return;
  FRunning = false;
  size_t Index = FNext;
  bool Done = FSteps[Index]();
  if (Running != this) return;  // stopped from inside the step
  FRunning = true;
  if (Done) {
    ++FNext;
    FStepStart = GetTickCount();
    if (Finished()) Stop();
  } else if (GetTickCount() - FStepStart > StepTimeoutMs) {
    ADD_FAILURE() << "script step " << Index << " did not succeed in time";
    FStuck = true;
    Stop();
    if (OnStuck) OnStuck();
  }
}
