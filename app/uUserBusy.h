// Whether the user is in the middle of something a window must not
// interrupt: a film or a presentation in full screen.
#pragma once

#include <windows.h>

// The player's window covers the whole of its monitor.
bool PlayerFillsItsMonitor();
// Windows reports a full-screen program or presentation mode, or the player
// fills its monitor.
bool UserIsBusy();
// Returns once the user is not busy, looking again every IntervalMs while
// the application's messages go on; at once when the application ends.
void WaitUntilUserIsFree(DWORD IntervalMs);
