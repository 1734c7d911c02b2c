// Display scale. Layouts are written in pixels at 96 dpi; a form scales its
// controls to the dpi of its monitor when its window is made and when it
// moves to a monitor of another dpi.
#pragma once

#include <windows.h>

constexpr int kDesignPixelsPerInch = 96;

// The dpi of the monitor the window is on: GetDpiForWindow where Windows
// has it (10 and later, loaded at run time so that Windows 7 still starts
// the program), the system dpi otherwise.
int WindowPixelsPerInch(HWND Wnd);
