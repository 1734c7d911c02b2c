#include "ui/uQuietForm.h"

#include "framework/Application.h"
#include "ui/ufrmShadowFrame.h"

TSystemParametersInfoA AnimationParametersInfo = SystemParametersInfoA;

void QuietShowWindow(HWND Wnd, int CmdShow) {
  // Neither written to the user profile nor broadcast: fWinIni 0.
  ANIMATIONINFO Info{sizeof(Info), 0};
  const bool WasOn =
      AnimationParametersInfo(SPI_GETANIMATION, sizeof(Info), &Info, 0) && Info.iMinAnimate != 0;
  if (WasOn) {
    ANIMATIONINFO Off{sizeof(Off), 0};
    AnimationParametersInfo(SPI_SETANIMATION, sizeof(Off), &Off, 0);
  }
  ShowWindow(Wnd, CmdShow);
  if (WasOn) {
    ANIMATIONINFO On{sizeof(On), -1};
    AnimationParametersInfo(SPI_SETANIMATION, sizeof(On), &On, 0);
  }
}

LRESULT TQuietForm::WMSysCommand(WPARAM WParam, LPARAM LParam) {
  // The whole command word: with any low bit set it is not one of these.
  switch (WParam) {
    case SC_MINIMIZE:
      QuietShowWindow(Handle(), SW_MINIMIZE);
      return 0;
    case SC_MAXIMIZE:
      QuietShowWindow(Handle(), SW_MAXIMIZE);
      return 0;
    case SC_RESTORE:
      QuietShowWindow(Handle(), SW_RESTORE);
      return 0;
  }
  return TForm::WndProc(WM_SYSCOMMAND, WParam, LParam);
}

LRESULT TQuietForm::WMNCLButtonDblClk(WPARAM WParam, LPARAM LParam) {
  if (WParam != HTCAPTION) return TForm::WndProc(WM_NCLBUTTONDBLCLK, WParam, LParam);
  const bool Normal = !IsIconic(Handle()) && !IsZoomed(Handle());
  QuietShowWindow(Handle(), Normal ? SW_MAXIMIZE : SW_RESTORE);
  return 0;
}

void TQuietForm::AfterMessage(UINT Msg) {
  if (!Application || !Application->MainForm() || Application->MainForm() == this) return;
  if (!HandleAllocated() || Destroying()) return;
  switch (Msg) {
    case WM_ACTIVATE:
    case WM_WINDOWPOSCHANGED:
    case WM_NCACTIVATE:
    case WM_SYNCSHADOW:
      SyncShadow(this, FShadowWnd);
      break;
    case WM_WINDOWPOSCHANGING:
      PostMessageA(Handle(), WM_SYNCSHADOW, 0, 0);
      break;
  }
}

LRESULT TQuietForm::WndProc(UINT Msg, WPARAM WParam, LPARAM LParam) {
  LRESULT Result;
  switch (Msg) {
    case WM_SYSCOMMAND:
      Result = WMSysCommand(WParam, LParam);
      break;
    case WM_NCLBUTTONDBLCLK:
      Result = WMNCLButtonDblClk(WParam, LParam);
      break;
    default:
      Result = TForm::WndProc(Msg, WParam, LParam);
      break;
  }
  AfterMessage(Msg);
  return Result;
}
