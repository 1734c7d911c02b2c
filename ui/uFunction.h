#pragma once
// The window routine of the shared utility unit: moving a window with the mouse.

#include "framework/Controls.h"

// Starts moving Window with the mouse; returns when the move has ended.
// Immediate: at once; otherwise with full-window dragging switched on for
// the duration of the move.
void DragWindow(TWinControl* Window, bool Immediate);
