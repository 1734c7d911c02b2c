#include "framework/ExtCtrls.h"

#include <shellapi.h>

#include "framework/GbkText.h"
#include "framework/Menus.h"

namespace {
constexpr UINT_PTR kTimerId = 1;
constexpr UINT kTrayIconId = 1;
}  // namespace

// TTimer

TTimer::TTimer(TComponent* AOwner) : TComponent(AOwner) {
  FWindow = AllocateHWnd([this](HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam) {
    return WndProc(Wnd, Msg, WParam, LParam);
  });
  UpdateTimer();
}

TTimer::~TTimer() {
  MarkDestroying();
  KillTimer(FWindow, kTimerId);
  DeallocateHWnd(FWindow);
}

void TTimer::SetEnabled(bool Value) {
  if (Value == FEnabled) return;
  FEnabled = Value;
  UpdateTimer();
}

void TTimer::SetInterval(unsigned Value) {
  if (Value == FInterval) return;
  FInterval = Value;
  UpdateTimer();
}

void TTimer::UpdateTimer() {
  KillTimer(FWindow, kTimerId);
  if (FEnabled && FInterval > 0) SetTimer(FWindow, kTimerId, FInterval, nullptr);
}

LRESULT TTimer::WndProc(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam) {
  if (Msg == WM_TIMER && WParam == kTimerId) {
    // A tick queued before the timer was stopped is not delivered.
    if (FEnabled && OnTimer) OnTimer(this);
    return 0;
  }
  return DefWindowProcW(Wnd, Msg, WParam, LParam);
}

// TTrayIcon

TTrayIcon::TTrayIcon(TComponent* AOwner) : TComponent(AOwner) {}

// Made when first needed: most icons of a run are never shown.
HWND TTrayIcon::Handle() {
  if (!FWindow) {
    FTaskbarCreated = RegisterWindowMessageA("TaskbarCreated");
    FWindow = AllocateHWnd(
        [this](HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam) { return WndProc(Wnd, Msg, WParam, LParam); },
        "TPUtilWindow", true);
  }
  return FWindow;
}

TTrayIcon::~TTrayIcon() {
  MarkDestroying();
  if (FVisible) Notify(NIM_DELETE);
  DeallocateHWnd(FWindow);
}

bool TTrayIcon::Notify(DWORD Message) {
  NOTIFYICONDATAW Data{};
  Data.cbSize = sizeof(Data);
  Data.hWnd = Handle();
  Data.uID = kTrayIconId;
  Data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  Data.uCallbackMessage = WM_TRAYNOTIFY;
  Data.hIcon = FIcon;
  lstrcpynW(Data.szTip, GbkToWide(FHint).c_str(), ARRAYSIZE(Data.szTip));
  return Shell_NotifyIconW(Message, &Data) != FALSE;
}

void TTrayIcon::SetVisible(bool Value) {
  if (Value == FVisible) return;
  FVisible = Value;
  FPressed = false;
  Notify(Value ? NIM_ADD : NIM_DELETE);
}

void TTrayIcon::SetHint(const std::string& Value) {
  if (Value == FHint) return;
  FHint = Value;
  if (FVisible) Notify(NIM_MODIFY);
}

void TTrayIcon::SetIcon(HICON Value) {
  if (Value == FIcon) return;
  FIcon = Value;
  if (FVisible) Notify(NIM_MODIFY);
}

LRESULT TTrayIcon::WndProc(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam) {
  if (Msg == WM_TRAYNOTIFY) {
    MouseNotification(static_cast<UINT>(LParam));
    return 0;
  }
  if (Msg == FTaskbarCreated) {
    if (FVisible) Notify(NIM_ADD);
    return 0;
  }
  return DefWindowProcW(Wnd, Msg, WParam, LParam);
}

void TTrayIcon::MouseNotification(UINT MouseMsg) {
  switch (MouseMsg) {
    case WM_LBUTTONDOWN:
      FPressed = true;
      break;
    case WM_LBUTTONUP: {
      bool Clicked = FPressed;
      FPressed = false;
      if (Clicked && OnClick) OnClick(this);
      break;
    }
    case WM_LBUTTONDBLCLK:
      FPressed = false;
      if (OnDblClick) OnDblClick(this);
      break;
    case WM_RBUTTONUP:
      if (PopupMenu) {
        // Popup brings the application window to the foreground first.
        POINT P;
        GetCursorPos(&P);
        PopupMenu->Popup(P.x, P.y);
      }
      break;
  }
}

// TImage

void TImage::SetPicture(std::shared_ptr<TGraphic> Value) {
  FPicture = std::move(Value);
  if (AutoSize()) AdjustSize();
  Invalidate();
}

void TImage::ChangeScale(int M, int D) {
  if (FPicture) FPicture->SetPixelsPerInch(M);
  TControl::ChangeScale(M, D);
}

void TImage::SetStretch(bool Value) {
  if (Value == FStretch) return;
  FStretch = Value;
  Invalidate();
}

void TImage::SetCenter(bool Value) {
  if (Value == FCenter) return;
  FCenter = Value;
  Invalidate();
}

bool TImage::CanAutoSize(int& NewWidth, int& NewHeight) {
  if (!FPicture || FPicture->Empty()) return true;
  NewWidth = FPicture->Width();
  NewHeight = FPicture->Height();
  return true;
}

void TImage::Paint(HDC DC) {
  if (!FPicture || FPicture->Empty()) return;
  TRect Dest(0, 0, FPicture->Width(), FPicture->Height());
  if (FStretch)
    Dest = ClientRect();
  else if (FCenter)
    OffsetRect(&Dest, (Width() - Dest.Width()) / 2, (Height() - Dest.Height()) / 2);
  FPicture->Draw(DC, Dest);
}
