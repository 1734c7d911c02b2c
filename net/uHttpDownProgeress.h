// The resumable download of one HTTP resource on a worker thread: a one-byte
// probe, resumption from the data and state files of an interrupted attempt
// when tag, size and stamp still match, progress at most once a second.
#pragma once

#include <windows.h>
#include <wininet.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "framework/Thread.h"
#include "net/uDownloadFile.h"
#include "net/uMemIniFile.h"

// The failure text of a download that got no answer at all.
inline constexpr char NetErrorText[] = "下载失败，请检查网络连接是否正常!";
// The failure text of a download the server answered wrongly: an error
// status, no size, or a URL that names no file Windows can create.
inline constexpr char ServerErrorText[] = "服务器错误，请稍后重新升级!";
// The failure text of a finished file that is not the one the document
// names, or of a document whose digest is malformed.
inline constexpr char VerifyErrorText[] = "文件校验失败，请重新升级!";
// The failure text of a download the disk has no room for; no fault of the
// server, so it counts no failure.
inline constexpr char DiskFullText[] = "磁盘空间不足，请清理后重新升级!";

using TDownProgressEvent = std::function<void(TObject* Sender, float Percent)>;
using TDownErrorEvent = std::function<void(TObject* Sender, const std::string& Msg)>;

struct TInetCall;

class THttpDownProgeress : public TThread {
 public:
  // Initialises COM on the creating thread and learns the user agent.
  explicit THttpDownProgeress(bool CreateSuspended);
  // Stops a running attempt (a blocked network call is cut off), waits for
  // the thread while running its pending events, then uninitialises COM.
  ~THttpDownProgeress() override;

  // Written by the owner only while the thread is suspended.
  std::string Url;       // "http://" or "https://"
  std::string SaveFile;  // full path of the finished file
  std::string UserAgent;
  int64_t Down = 0;  // valid bytes at the start of the data file
  int64_t Size = 0;  // total size announced by the probe
  std::string ErrorText;
  DWORD LastTick = 0;  // tick of the last progress event
  TDownProgressEvent OnProgress;
  TDownErrorEvent OnError;
  TNotifyEvent OnComplete;
  std::string Referer;
  // What the document says of the file; empty and 0 when it says nothing.
  // A size other than the probe's fails before any data request; a file
  // whose SHA-256 (64 hex digits) differs is deleted, never renamed.
  std::string ExpectedSha256;
  int64_t ExpectedSize = 0;
  // The folder of SaveFile is made writable by administrators only before
  // anything is written into it; one that others could write is fixed and
  // its resume files are dropped, or the attempt fails.
  bool AdminOnlyFolder = false;
  // Further URLs of the same file (one size, one digest), tried in order
  // after Url: a source that cannot be reached, answers an error, stalls,
  // breaks off or announces another size hands over to the next, which
  // continues from the bytes on disk. After a file that failed its check
  // the next attempt starts with the source after the one that served it.
  std::vector<std::string> Mirrors;
  // A quiet run: hosts that asked for quiet (see uBackOff) get no request.
  bool Quiet = false;
  // Raised when the attempt moves on to a source on another host.
  std::function<void(TObject* Sender, const std::string& Host)> OnMirrorHost;

  // The finished, checked file, held open from its check on so that nobody
  // can write, rename or delete it; 0 when there is none.
  HANDLE CheckedFile() const { return FChecked; }
  void ReleaseCheckedFile();
  // Ends a running attempt and returns once its state is on disk, running
  // the task's pending events meanwhile. For a session that ends: unlike
  // the destructor it never waits on an event handler that is running.
  void StopAttempt();

  // One attempt on the calling thread; true when the finished file is in place.
  bool DownloadFile();

 protected:
  void Execute() override;
  void TerminatedSet() override;

 private:
  TAttemptEnd RunAttempt();
  TAttemptEnd FromSource(const std::string& Headers, std::unique_ptr<TDataFile>& Data);
  bool OpenRequest();
  void CloseRequest();
  TAttemptEnd FetchRest(TDataFile& Data, const std::string& Headers);
  TAttemptEnd PutInPlace();
  void EndAttempt(bool Succeeded);
  bool QueryResumeInfo(bool Continuing);
  bool AcceptDataResponse();
  void NoteRefusal(const std::string& Status);
  void NotifyMirrorHost(const std::string& Host);
  TAttemptEnd TransferBlocks(HANDLE DataFile);
  void KeepState(TStateWriter& Writer);
  DWORD WindowLeft() const;
  bool NextWindow();
  // Sends the request with Headers and the Range value, and logs its answer.
  bool SendRequest(const std::string& Headers, const std::string& Range);
  bool WaitForData(DWORD& Available);
  bool ReadBlock(DWORD Want, DWORD& Read);
  bool WaitCall(BOOL Started);
  std::string QueryHeader(DWORD Query);
  void NotifyProgress();
  void NotifyError(const std::string& Text);
  void NotifyComplete();

  std::string FSource;  // the URL the attempt asks now: Url or a mirror
  HINTERNET FRoot = nullptr;
  HINTERNET FConnect = nullptr;
  HINTERNET FRequest = nullptr;
  TInetCall* FCall = nullptr;  // completion of the pending network call
  HANDLE FCancel = nullptr;    // set by Terminate: ends any wait for the network
  HANDLE FAttemptOver = nullptr;  // set while no attempt runs
  HANDLE FChecked = nullptr;
  TMemIniFile FState;
  // The stall rule: a window in which fewer than 1024 bytes arrive ends the
  // attempt as a network failure.
  DWORD FStallMs = 0;
  DWORD FWindowStart = 0;
  int64_t FWindowBytes = 0;
  bool FStalled = false;
  // The last state written during the transfer.
  DWORD FStateMs = 0;
  DWORD FSavedTick = 0;
  int64_t FSavedDown = 0;
};

// The browser's user-agent text; empty when the platform cannot tell.
std::string GetUserAgent();
struct TUrlParts {
  std::string Host;
  std::string Object;  // path pieces percent-encoded, query kept
  INTERNET_PORT Port = 80;
  bool Secure = false;  // "https://": TLS, port 443 unless given
};
// The parts of an "http://" or "https://" URL; one without a scheme is
// taken as "http://".
TUrlParts ParseUrl(const std::string& Url);
// Whether a request for Url, when "https://", was answered over TLS: Wine
// follows a redirect to "http://", which Windows refuses, and such an answer
// could come from anyone on the way.
bool AnsweredAsAsked(HINTERNET Request, const std::string& Url);
// Every wait of Handle's requests ends after Ms.
void LimitWaits(HINTERNET Handle, DWORD Ms);
// Letters, digits and @ ! $ ' ( ) * - . _ stay; a space becomes '+'; every
// other byte becomes %XX.
std::string EncodeUrlPart(const std::string& Part);
// The non-empty pieces between Delimiter characters.
std::vector<std::string> SplitString(const std::string& Text, char Delimiter);
// Decimal text to a signed 64-bit number; Default when it is not one or does
// not fit.
int64_t TextToInt64(const std::string& Text, int64_t Default);
