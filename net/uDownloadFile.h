// The file side of a download: the data file and the writer of its resume
// state, the folder they live in, and the finished file checked, put in
// place and held until it is started.
#pragma once

#include <windows.h>

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

// How an attempt ended. Every end but aeDone and aeStopped raises exactly
// one error event.
enum TAttemptEnd { aeDone, aeStopped, aeNetwork, aeServer, aeFile, aeVerify };

// The names the task makes from the finished file's path: the data of an
// unfinished transfer and its resume state.
std::string DataFileName(const std::string& SaveFile);
std::string StateFileName(const std::string& SaveFile);

// A name Windows creates as a plain file: not empty, no device name (with or
// without an extension), no forbidden or control character, no trailing dot
// or space, and room for the task's longest suffix. Name is in the system
// code page.
bool IsPlainFileName(const std::string& Name);
// Whether SaveFile and every name the task makes from it fit in MAX_PATH.
bool FitsSavePath(const std::string& SaveFile);

// The data file, closed on every way out of the attempt.
class TDataFile {
 public:
  explicit TDataFile(const std::string& FileName);
  ~TDataFile() { Close(); }
  TDataFile(const TDataFile&) = delete;
  TDataFile& operator=(const TDataFile&) = delete;
  bool Opened() const { return FHandle != INVALID_HANDLE_VALUE; }
  HANDLE Handle() const { return FHandle; }
  int64_t Length() const;
  // Cuts the file to Position and leaves the file position there.
  bool Truncate(int64_t Position);
  // On disk before the state that counts it can be written.
  void Close();

 private:
  HANDLE FHandle;
};

// Writes the resume state on a thread of its own, each time after the data
// it counts is flushed to disk, so that the transfer does not wait for the
// disk. A state asked for while one is being written replaces any still
// waiting; freeing the writer waits for the one being written and drops the
// rest.
class TStateWriter {
 public:
  TStateWriter(HANDLE DataFile, std::string FileName);
  ~TStateWriter();
  TStateWriter(const TStateWriter&) = delete;
  TStateWriter& operator=(const TStateWriter&) = delete;
  void Write(std::string Text);

 private:
  void Run();

  HANDLE FDataFile;
  std::string FFileName;
  std::mutex FLock;
  std::condition_variable FWake;
  std::optional<std::string> FWaiting;
  bool FStop = false;
  std::thread FThread;  // last: it starts once the rest is made
};

// The folder of SaveFile exists before anything is written into it; with
// AdminOnly, only administrators may write it, and files that others could
// have changed are not resumed.
bool PrepareFolder(const std::string& SaveFile, bool AdminOnly);

// Puts the complete data file of SaveFile in place once it has Size bytes
// and, when ExpectedSha256 is given (its form already checked), that digest.
// From the check on the file stays open in Held, so that nobody can write,
// rename or delete it; Held is 0 on every other end. A file that is not the
// named one is deleted with its state, so the next run starts from byte 0.
// Cancel set ends the wait for the check with aeStopped.
TAttemptEnd PutInPlace(const std::string& SaveFile, int64_t Size, const std::string& ExpectedSha256,
                       HANDLE Cancel, HANDLE& Held);
