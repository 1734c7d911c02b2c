// Single instance through a named mutex.
#pragma once

#include <windows.h>

// Mutex created by IsAlreadyRunning; 0 until then, closed at process end.
extern HANDLE RunningMutex;

// Creates the named mutex (owned) and keeps its handle; true when another
// process already holds a mutex of that name.
bool IsAlreadyRunning(const char* MutexName);

// The message a second start broadcasts to bring the running updater's
// window to the front.
UINT ShowRunningMessage();
// Asks the running instance to show itself, letting it take the foreground.
void ShowRunningInstance();
