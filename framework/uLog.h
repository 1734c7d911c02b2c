// The run's log: one line per step, appended to ZeRunUpdate.log in the
// per-user state folder, so that a support desk can see what happened.
// Writing it never fails a run: every error is swallowed here.
#pragma once

#include <string>

// One call is one line: printf-style, ASCII or the program's GBK texts. The
// line gets the local time and the process id and is stored as UTF-8; line
// breaks inside it become spaces. Thread-safe.
void Log(const char* Format, ...) __attribute__((format(printf, 1, 2)));

// Starts writing into Folder (with its trailing backslash): a log over
// LOG_ROTATE_SIZE becomes ZeRunUpdate.log.1 first, then the lines logged
// before are written. Until then lines are kept in memory; an empty Folder
// drops them and logs nothing more.
void OpenLog(const std::string& Folder);
// Closes the file; lines after it are kept in memory again.
void CloseLog();

constexpr unsigned long LOG_ROTATE_SIZE = 1024 * 1024;
extern const char LOG_FILE_NAME[];
