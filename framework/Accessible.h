// What a window tells assistive technology (MSAA) about itself and about
// the painted controls on it, which have no window the platform could
// describe.
#pragma once

#include <windows.h>

class TWinControl;

// The answer to WM_GETOBJECT for the client area of Control's window: the
// window with the role, name and value its control gives (the platform's
// answer for what it leaves open), and each visible painted control that
// has a role as a child of its own, with its bounds, state and a default
// action that clicks it.
LRESULT AccessibleObjectResult(TWinControl* Control, WPARAM WParam);
