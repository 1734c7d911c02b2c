#include "framework/Forms.h"

#include <algorithm>
#include <initializer_list>
#include <stdexcept>
#include <vector>

#include "framework/Application.h"

namespace {

// Windows of this thread that a modal run disables and gives back.
class TTaskWindowLock {
 public:
  explicit TTaskWindowLock(HWND Active) : FActive(Active) {
    EnumThreadWindows(GetCurrentThreadId(), Disable, reinterpret_cast<LPARAM>(this));
  }
  ~TTaskWindowLock() {
    for (HWND Wnd : FDisabled)
      if (IsWindow(Wnd)) EnableWindow(Wnd, TRUE);
  }
  TTaskWindowLock(const TTaskWindowLock&) = delete;
  TTaskWindowLock& operator=(const TTaskWindowLock&) = delete;

 private:
  static BOOL CALLBACK Disable(HWND Wnd, LPARAM Data) {
    auto* Self = reinterpret_cast<TTaskWindowLock*>(Data);
    if (Wnd != Self->FActive && IsWindowVisible(Wnd) && IsWindowEnabled(Wnd)) {
      EnableWindow(Wnd, FALSE);
      Self->FDisabled.push_back(Wnd);
    }
    return TRUE;
  }

  HWND FActive;
  std::vector<HWND> FDisabled;
};

bool CanPress(const TControl* Control) { return Control && Control->Visible() && Control->Enabled(); }

bool CanFocus(const TControl* Control) { return CanPress(Control) && Control->TabStop; }

// Presses the first of Controls that can be pressed; false when none can.
bool PressFirst(std::initializer_list<TControl*> Controls) {
  for (TControl* Control : Controls)
    if (CanPress(Control)) {
      Control->Press();
      return true;
    }
  return false;
}

}  // namespace

TForm::TForm(TComponent* AOwner) : TWinControl(AOwner) {
  FVisible = false;
  FWidth = 320;
  FHeight = 240;
  BOOL AlwaysCues = FALSE;
  SystemParametersInfoA(SPI_GETKEYBOARDCUES, 0, &AlwaysCues, 0);
  FFocusCues = AlwaysCues != FALSE;
}

TForm::~TForm() {
  MarkDestroying();
  if (Application && Application->FMainForm == this) Application->FMainForm = nullptr;
}

void TForm::DoCreate() {
  if (FCreated) return;
  FCreated = true;
  if (OnCreate) OnCreate(this);
}

void TForm::CreateParams(TCreateParams& Params) {
  TWinControl::CreateParams(Params);
  Params.Style &= ~(WS_CHILD | WS_VISIBLE | WS_TABSTOP);
  Params.Style |= WS_POPUP;
  // A borderless window keeps its icons: they are the taskbar's system menu.
  if (FBorderIcons & biSystemMenu) {
    Params.Style |= WS_SYSMENU;
    if (FBorderIcons & biMinimize) Params.Style |= WS_MINIMIZEBOX;
    if (FBorderIcons & biMaximize) Params.Style |= WS_MAXIMIZEBOX;
  }
  if (FFormStyle == fsStayOnTop) Params.ExStyle |= WS_EX_TOPMOST;
  Params.WinClassName = "TForm";
}

void TForm::CreateWnd() {
  DoCreate();
  if (HandleAllocated()) return;  // OnCreate asked for the window already
  TWinControl::CreateWnd();
  ScaleForPPI(WindowPixelsPerInch(Handle()));
  if (Application && Application->Icon)
    SendMessageA(Handle(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(Application->Icon));
}

void TForm::UpdateStyles() {
  if (!HandleAllocated()) return;
  TCreateParams Params;
  CreateParams(Params);
  HWND Wnd = Handle();
  LONG_PTR Kept = GetWindowLongPtrA(Wnd, GWL_STYLE) & (WS_VISIBLE | WS_DISABLED | WS_MINIMIZE | WS_MAXIMIZE);
  SetWindowLongPtrA(Wnd, GWL_STYLE, static_cast<LONG_PTR>(Params.Style) | Kept);
  SetWindowLongPtrA(Wnd, GWL_EXSTYLE, Params.ExStyle & ~WS_EX_TOPMOST);
  SetWindowPos(Wnd, FFormStyle == fsStayOnTop ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0,
               SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

void TForm::SetBorderIcons(TBorderIcons Value) {
  if (Value == FBorderIcons) return;
  FBorderIcons = Value;
  UpdateStyles();
}

void TForm::SetFormStyle(TFormStyle Value) {
  if (Value == FFormStyle) return;
  FFormStyle = Value;
  UpdateStyles();
}

namespace {

RECT MonitorWorkArea(HWND Wnd) {
  HMONITOR Monitor;
  if (Wnd && IsWindow(Wnd)) {
    Monitor = MonitorFromWindow(Wnd, MONITOR_DEFAULTTONEAREST);
  } else {
    POINT Pointer{};
    GetCursorPos(&Pointer);
    Monitor = MonitorFromPoint(Pointer, MONITOR_DEFAULTTONEAREST);
  }
  MONITORINFO Info{};
  Info.cbSize = sizeof(Info);
  GetMonitorInfoA(Monitor, &Info);
  return Info.rcWork;
}

}  // namespace

void TForm::ApplyPosition() {
  FPositioned = true;
  int X = 0, Y = 0;
  int ScreenW = GetSystemMetrics(SM_CXSCREEN), ScreenH = GetSystemMetrics(SM_CYSCREEN);
  TForm* Center = Application ? Application->MainForm() : nullptr;
  switch (Position) {
    case poDesigned:
      return;
    case poDesktopCenter:
      X = GetSystemMetrics(SM_XVIRTUALSCREEN) + (GetSystemMetrics(SM_CXVIRTUALSCREEN) - Width()) / 2;
      Y = GetSystemMetrics(SM_YVIRTUALSCREEN) + (GetSystemMetrics(SM_CYVIRTUALSCREEN) - Height()) / 2;
      break;
    case poMainFormCenter:
      if (Center && Center != this) {
        X = Center->Left() + (Center->Width() - Width()) / 2;
        Y = Center->Top() + (Center->Height() - Height()) / 2;
        break;
      }
      [[fallthrough]];
    case poScreenCenter:
      X = (ScreenW - Width()) / 2;
      Y = (ScreenH - Height()) / 2;
      break;
    case poMonitorCenter: {
      RECT Area = MonitorWorkArea(CenterOn ? CenterOn() : nullptr);
      X = Area.left + (Area.right - Area.left - Width()) / 2;
      Y = Area.top + (Area.bottom - Area.top - Height()) / 2;
      break;
    }
  }
  // Keep the title strip reachable.
  X = std::max(X, static_cast<int>(GetSystemMetrics(SM_XVIRTUALSCREEN)));
  Y = std::max(Y, static_cast<int>(GetSystemMetrics(SM_YVIRTUALSCREEN)));
  SetBounds(X, Y, Width(), Height());
}

void TForm::SetVisible(bool Value) {
  if (Value && !FPositioned) {
    HandleNeeded();  // scaled for its monitor before it is placed
    ApplyPosition();
  }
  // A dialog starts with the focus on its default button.
  if (Value && !CanFocus(FActiveControl)) SetActiveControl(CanFocus(DefaultControl) ? DefaultControl : nullptr);
  TWinControl::SetVisible(Value);
}

bool TForm::CloseQuery() {
  bool CanClose = true;
  if (OnCloseQuery) OnCloseQuery(this, CanClose);
  return CanClose;
}

void TForm::Close() {
  if (FModal) {
    FModalResult = mrCancel;
    return;
  }
  if (!CloseQuery()) return;
  if (Application && Application->MainForm() == this)
    Application->Terminate();
  else
    Hide();
}

void TForm::CloseModal() {
  if (!CloseQuery()) FModalResult = mrNone;
}

void TForm::RunModalLoop() {
  for (;;) {
    if (Application->Terminated()) {
      FModalResult = mrCancel;
      return;
    }
    if (FModalResult != mrNone) {
      CloseModal();
      if (FModalResult != mrNone) return;
    }
    Application->HandleMessage();
  }
}

int TForm::ShowModal() {
  if (FModal) throw std::logic_error("the form is already in a modal run");
  if (HWND Capture = GetCapture()) SendMessageA(Capture, WM_CANCELMODE, 0, 0);
  ReleaseCapture();
  HWND ActiveWindow = GetActiveWindow();
  FModal = true;
  FModalResult = mrNone;
  try {
    TTaskWindowLock Lock(Handle());
    Show();
    RunModalLoop();
    Hide();
  } catch (...) {
    Hide();
    FModal = false;
    throw;
  }
  FModal = false;
  if (ActiveWindow && IsWindow(ActiveWindow) && IsWindowVisible(ActiveWindow))
    SetActiveWindow(ActiveWindow);
  return FModalResult;
}

void TForm::SetActiveControl(TControl* Value) {
  if (Value == FActiveControl) return;
  if (FActiveControl) FActiveControl->Invalidate();
  FActiveControl = Value;
  if (Value) Value->Invalidate();
}

bool TForm::ShowsFocusCue(const TControl* Control) {
  return FFocusCues && Control == FActiveControl && CanFocus(Control) && GetFocus() == Handle();
}

void TForm::SelectNext(bool Forward) {
  std::vector<TControl*> Order;
  for (int I = 0; I < ControlCount(); ++I)
    if (CanFocus(Controls(I))) Order.push_back(Controls(I));
  if (Order.empty()) return;
  const size_t Count = Order.size();
  const size_t At = std::find(Order.begin(), Order.end(), FActiveControl) - Order.begin();
  const size_t Next = At == Count ? (Forward ? 0 : Count - 1) : (At + (Forward ? 1 : Count - 1)) % Count;
  if (GetFocus() != Handle()) SetFocus(Handle());
  FFocusCues = true;
  if (FActiveControl) FActiveControl->Invalidate();  // the cue may show only now
  SetActiveControl(Order[Next]);
}

bool TForm::DialogKey(WPARAM Key, LPARAM Flags) {
  // A key held down presses once: its repeats could answer the next window.
  const bool Repeated = (Flags & 0x40000000) != 0;
  TControl* Focused = CanFocus(FActiveControl) ? FActiveControl : nullptr;
  switch (Key) {
    case VK_TAB:
      if (GetKeyState(VK_CONTROL) < 0 || GetKeyState(VK_MENU) < 0) return false;
      SelectNext(GetKeyState(VK_SHIFT) >= 0);
      return true;
    case VK_RETURN:
      return !Repeated && PressFirst({Focused, DefaultControl});
    case VK_ESCAPE:
      return !Repeated && PressFirst({CancelControl, DefaultControl});
    case VK_SPACE:
      return !Repeated && PressFirst({Focused});
  }
  return false;
}

LRESULT TForm::WndProc(UINT Msg, WPARAM WParam, LPARAM LParam) {
  switch (Msg) {
    case WM_CLOSE:
      Close();
      return 0;
    case WM_KEYDOWN:
      if (DialogKey(WParam, LParam)) return 0;
      break;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
      if (FActiveControl) FActiveControl->Invalidate();  // the cue follows the focus
      break;
    case WM_DPICHANGED:
      DpiChanged(HIWORD(WParam), *reinterpret_cast<const RECT*>(LParam));
      return 0;
  }
  return TWinControl::WndProc(Msg, WParam, LParam);
}

void TForm::ScaleForPPI(int NewPPI) {
  if (NewPPI <= 0 || NewPPI == FPixelsPerInch) return;
  const int OldPPI = FPixelsPerInch;
  FPixelsPerInch = NewPPI;
  ChangeScale(NewPPI, OldPPI);
}

void TForm::ChangeScale(int M, int D) {
  ScaleControls(M, D);
  ScaleFont(M, D);
  const TRect Client = ClientRect();
  SetBounds(FLeft, FTop, FWidth - Client.Width() + MulDiv(Client.Width(), M, D),
            FHeight - Client.Height() + MulDiv(Client.Height(), M, D));
}

void TForm::DpiChanged(int NewPPI, const RECT& Suggested) {
  ScaleForPPI(NewPPI);
  SetBounds(Suggested.left, Suggested.top, Suggested.right - Suggested.left, Suggested.bottom - Suggested.top);
}

TForm* GetParentForm(TControl* Control) {
  while (Control && Control->Parent()) Control = Control->Parent();
  return dynamic_cast<TForm*>(Control);
}
