// Fixed texts of the updater's command line and of the client it hands over to.
#pragma once

// Silent run; compared as exactly these two characters, in position 1 only.
extern const char SILENT_SWITCH[3];
// Passed to the elevated re-launch; skips the single-instance test.
extern const char SHELL_UAC_SWITCH[10];
// Window class of the client's main window.
extern const char CLIENT_WINDOW_CLASS[15];
