#pragma once
// Keeping a shadow window (the system's drop shadow or a "TFormShadow"
// window) directly below the window it shadows.

#include <windows.h>

#include "framework/Controls.h"

// A "TFormShadow" window names the window it shadows in this window property.
constexpr const char* ShadowOwnerProp = "ZeRunShadowOwner";

struct TShadowSearch {
  HWND Found;
  HWND Served;
};

// Stacks the shadow below Form, looking it up first while Shadow is 0.
void SyncShadow(TWinControl* Form, HWND& Shadow);

// EnumThreadWindows callback; Data is a TShadowSearch*. TRUE goes on.
BOOL CALLBACK FindShadowWindow(HWND Wnd, LPARAM Data);
