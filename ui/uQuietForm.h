#pragma once
// A form that minimises, maximises and restores without the system's window
// animation and keeps a shadow window, where one exists, directly below it.

#include <windows.h>

#include "framework/Forms.h"

// Posted by a TQuietForm to itself so the shadow is stacked again after a
// position change has been carried out.
constexpr UINT WM_SYNCSHADOW = 0x2661;

// ShowWindow with the minimise and restore animation switched off for the
// duration of the call.
void QuietShowWindow(HWND Wnd, int CmdShow);

// The call QuietShowWindow reads and writes the animation setting with:
// SystemParametersInfoA. Wine keeps no such setting, so its tests put a
// call with a memory of its own in its place.
using TSystemParametersInfoA = BOOL(WINAPI*)(UINT, UINT, PVOID, UINT);
extern TSystemParametersInfoA AnimationParametersInfo;

class TQuietForm : public TForm {
 public:
  explicit TQuietForm(TComponent* AOwner) : TForm(AOwner) {}

  // The shadow window found for this window; once found it stays.
  HWND ShadowWnd() const { return FShadowWnd; }

  LRESULT WndProc(UINT Msg, WPARAM WParam, LPARAM LParam) override;

 protected:
  HWND FShadowWnd = nullptr;

 private:
  LRESULT WMSysCommand(WPARAM WParam, LPARAM LParam);
  LRESULT WMNCLButtonDblClk(WPARAM WParam, LPARAM LParam);
  void AfterMessage(UINT Msg);
};
