// Helpers for the Windows test suites: the loopback test server, processes,
// files, windows, screenshots and real mouse input.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace zrtest {

// --- loopback test server (ZR_TEST_PORT, set for SERVER suites) -----------
int ServerPort();
std::string ServerUrl(const std::string& path);  // "http://127.0.0.1:<port>" + path
bool ServerPut(const std::string& path, const std::string& bytes);
bool ServerFault(const std::string& path, const std::string& faultJson);
bool ServerReset();
std::vector<std::string> ServerLog();  // one JSON object per entry
// The value of a string field ("path") or a header ("headers.Range") of a
// log entry; empty when absent. Enough for assertions, not a JSON parser.
std::string LogField(const std::string& entry, const std::string& name);

// --- files and folders ----------------------------------------------------
std::string ExeDir();                                // folder of this test program, trailing '\'
std::string SupportExe(const std::string& name);     // a program beside this one
std::string FreshDir(const std::string& name);       // empty folder under %TEMP%\zrtests, trailing '\'
std::string ArtifactsDir();                          // ZR_ARTIFACTS in Windows form, trailing '\'
std::string ReadWholeFile(const std::string& path);  // empty when missing
bool WriteWholeFile(const std::string& path, const std::string& bytes);
bool FileExists(const std::string& path);
// Sets the DACL of a file or folder from SDDL.
bool SetSecurity(const std::string& path, const std::string& sddl);

// --- processes ------------------------------------------------------------
struct Process {
  HANDLE handle = nullptr;
  DWORD pid = 0;
};
Process StartProcess(const std::string& commandLine);
// Waits up to timeoutMs; returns true and the exit code when it ended.
bool WaitProcess(Process& p, DWORD timeoutMs, DWORD* exitCode = nullptr);
void KillProcess(Process& p);
std::string Quote(const std::string& path);  // "path"

// --- windows --------------------------------------------------------------
// Pumps this thread's messages while waiting; 0 when no such window appears.
HWND WaitForWindow(const char* className, const char* title, DWORD timeoutMs);
void PumpMessages(DWORD ms);
// What the screen shows of the window: top-down rows of BGRA pixels.
struct Capture {
  int width = 0, height = 0;
  std::vector<uint8_t> bgra;
};
Capture CaptureWindow(HWND wnd);
// Saves what the screen shows of the window as ZR_ARTIFACTS\<name>.png.
bool SaveScreenshot(HWND wnd, const std::string& name);

// --- mouse, through SendInput (screen coordinates) ------------------------
void MoveMouse(int x, int y);
void LeftDown();
void LeftUp();
void ClickAt(int x, int y);
void RightClickAt(int x, int y);
// A click at a point given in the window's client coordinates.
void ClickClient(HWND wnd, int x, int y);

// --- keyboard, through SendInput ------------------------------------------
void PressKey(WORD key);  // down and up

}  // namespace zrtest
