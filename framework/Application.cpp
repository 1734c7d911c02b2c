#include "framework/Application.h"

#include "framework/GbkText.h"

TApplication* Application = new TApplication(nullptr);

void PostApplicationClose() { PostMessageA(Application->Handle(), WM_CLOSE, 0, 0); }

namespace {

std::string ModuleBaseName() {
  char Path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, Path, MAX_PATH);
  std::string Name = Path;
  size_t Slash = Name.find_last_of("\\/");
  if (Slash != std::string::npos) Name.erase(0, Slash + 1);
  size_t Dot = Name.rfind('.');
  if (Dot != std::string::npos) Name.erase(Dot);
  return Name;
}

// A named CALLBACK: on 32-bit Windows the enumeration wants a stdcall
// function, which a lambda does not convert to.
template <class Action>
BOOL CALLBACK ThreadFormProc(HWND Wnd, LPARAM Data) {
  if (auto* Form = dynamic_cast<TForm*>(TWinControl::FindControl(Wnd)))
    return (*reinterpret_cast<Action*>(Data))(Form) ? TRUE : FALSE;
  return TRUE;
}

template <class Action>
void ForEachThreadForm(Action Act) {
  EnumThreadWindows(GetCurrentThreadId(), &ThreadFormProc<Action>, reinterpret_cast<LPARAM>(&Act));
}

}  // namespace

TApplication::TApplication(TComponent* AOwner) : TComponent(AOwner), FTitle(ModuleBaseName()) {}

TApplication::~TApplication() {
  MarkDestroying();
  DeallocateHWnd(FHandle);
}

void TApplication::Initialize() { Handle(); }

HWND TApplication::Handle() const {
  if (!FHandle) {
    auto* Self = const_cast<TApplication*>(this);
    // With the first window: an icon loads the display driver, which a run
    // that shows nothing does without.
    Self->Icon = LoadIconA(GetModuleHandleA(nullptr), "MAINICON");
    if (!Self->Icon) Self->Icon = LoadIcon(nullptr, IDI_APPLICATION);
    FHandle = AllocateHWnd(
        [Self](HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam) {
          return Self->WndProc(Wnd, Msg, WParam, LParam);
        },
        "TApplication", true);
    SetWindowTextW(FHandle, GbkToWide(FTitle).c_str());
  }
  return FHandle;
}

void TApplication::SetTitle(const std::string& Value) {
  FTitle = Value;
  if (FHandle) SetWindowTextW(FHandle, GbkToWide(FTitle).c_str());
}

void TApplication::AddForm(TForm* Form) {
  Form->DoCreate();
  if (!FMainForm) {
    FMainForm = Form;
    Form->HandleNeeded();
  }
}

LRESULT TApplication::WndProc(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam) {
  if (OnWindowMessage && OnWindowMessage(Msg)) return 0;
  if (Msg == WM_CLOSE) {
    if (FMainForm) FMainForm->Close();
    return 0;
  }
  if (Msg == WM_QUERYENDSESSION) return TRUE;
  if (Msg == WM_ENDSESSION) {
    if (WParam && OnEndSession) OnEndSession();
    return 0;
  }
  return DefWindowProcW(Wnd, Msg, WParam, LParam);
}

void TApplication::Run() {
  if (!FMainForm) return;
  if (ShowMainForm) FMainForm->Show();
  while (!FTerminated) HandleMessage();
}

void TApplication::Terminate() {
  FTerminated = true;
  // Also ends loops of the platform (menus, window moves) that may run.
  PostQuitMessage(0);
}

bool TApplication::ProcessMessage() {
  // Messages sent from other threads are handled inside the peek; they may
  // have changed what a loop waits for, so they count as handled messages.
  unsigned long Before = HandledMessageCount();
  MSG Msg;
  if (!PeekMessageA(&Msg, nullptr, 0, 0, PM_REMOVE)) return HandledMessageCount() != Before;
  if (Msg.message == WM_QUIT) {
    FTerminated = true;
    return true;
  }
  TranslateMessage(&Msg);
  DispatchMessageA(&Msg);
  return true;
}

void TApplication::HandleMessage() {
  // Unlike WaitMessage, this wait also ends on a message sent from another
  // thread, so the caller looks again at what the message's handler changed.
  if (!ProcessMessage())
    MsgWaitForMultipleObjectsEx(0, nullptr, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
}

void TApplication::ProcessMessages() {
  while (!FTerminated && ProcessMessage()) {
  }
}

void TApplication::Restore() {
  ForEachThreadForm([](TForm* Form) {
    HWND Wnd = Form->Handle();
    if (!IsIconic(Wnd)) return true;
    ShowWindow(Wnd, SW_RESTORE);
    // A hidden form stays hidden; it comes back restored when shown.
    if (!Form->Visible()) ShowWindow(Wnd, SW_HIDE);
    return true;
  });
}


void TApplication::BringToFront() {
  Restore();
  // Thread windows come top of the Z order first.
  ForEachThreadForm([](TForm* Form) {
    HWND Wnd = Form->Handle();
    if (!IsWindowVisible(Wnd) || !IsWindowEnabled(Wnd)) return true;
    SetForegroundWindow(Wnd);
    BringWindowToTop(Wnd);
    return false;
  });
}
