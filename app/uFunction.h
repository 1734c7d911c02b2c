// Shared utility routines of the update control: command line, local update
// state (installed version, failure counter, per-user data folder) and the
// hand-off to the client and the installer. The network routines live in
// net/uFunction.h.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "app/uUpdateDecision.h"

// Command line, split by the platform's rules; parameter 0 is the program.
int ParamCount();
std::string ParamStr(int Index);
// The folder part of Path with its trailing delimiter; empty when none.
std::string FolderOf(const std::string& Path);
// True when any parameter from position 1 on equals Switch, ignoring case.
bool HasSwitch(const std::string& Switch);
// Parameter 1 is the silent switch "/S".
bool IsSilentRun();
// Parameter 2 is "/postbbs".
bool IsPostBbsRun();

// Shell folder CSIDL with a trailing backslash, or "" when the shell cannot tell.
std::string GetSpecialFolder(int Csidl);
// Profile folder (the program's folder when the shell knows none) +
// "AppData\LocalLow\ZeRun\", created on demand; "" when it neither exists nor
// can be created.
std::string GetUserDataDir();
// The same for a given profile folder with its trailing backslash, "" for
// none.
std::string UserDataDirIn(const std::string& Profile);
// REG_DWORD value under Root\Key in the registry View, or Default when it
// cannot be read.
int ReadRegInteger(HKEY Root, const std::string& Key, const std::string& Name,
                   int Default, REGSAM View = KEY_WOW64_32KEY);
// REG_SZ value under Root\Key in the registry View, "" when it cannot be read
// or is longer than a path.
std::string ReadRegText(HKEY Root, const std::string& Key, const std::string& Name, REGSAM View);
// The administrator's policy, from the 64-bit view on 64-bit Windows, where
// Group Policy writes it; the defaults where it says nothing.
TUpdatePolicy ReadUpdatePolicy();
// Installed packed version (major << 16 | minor), 0 when unknown.
uint32_t GetLocalVersion();
// Counts one failed attempt; true when the limit is exceeded (counter reset).
bool CheckFailureCount();
void ResetFailureCount();

// True when the token reports elevation, and when that cannot be asked.
bool IsProcessElevated();
bool EnableDebugPrivilege();
bool SetPrivilege(HANDLE Token, const std::string& Name, bool Enable);
// Sends WM_CLOSE to the client's main window; true when delivered in time.
bool CloseClientWindow();
// Starts this program again through the elevation prompt, silent.
void RelaunchElevated();
// Whether Path names the file open as File (same volume and file index).
bool PathNamesFile(const std::string& Path, HANDLE File);
// Starts the downloaded installer silently with CreateProcess on its quoted
// path, only when Path still names Checked, the file held open since its
// check; false when it does not or the start fails.
bool StartInstaller(const std::string& Path, HANDLE Checked);
// Makes Folder (its parent must exist, or is made) writable by
// Administrators and SYSTEM only; users may read and execute. An existing
// one that others may change, or that is a junction, link or file, is moved
// aside, what can be removed of it is removed, and a new one is made:
// TookOver. False when the folder cannot be made so.
bool MakeAdminOnlyFolder(const std::string& Folder, bool& TookOver);
// Whether anyone but Administrators, SYSTEM and TrustedInstaller may change
// a folder (through an allow-entry of any kind, or as its owner), or it is
// no plain folder; also when its security cannot be read.
bool OthersMayWrite(const std::string& Folder);
bool SecurityLetsOthersWrite(PSECURITY_DESCRIPTOR Descriptor);
// Renames an open file or folder (opened with DELETE access); an existing
// NewName is not replaced.
bool RenameByHandle(HANDLE File, const std::string& NewName);
