#include "net/uHttpDownProgeress.h"

#include <mshtml.h>
#include <objbase.h>
#include <urlmon.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>

#include "app/uFunction.h"
#include "app/uRunState.h"
#include "framework/uLog.h"
#include "net/uBackOff.h"
#include "net/uFunction.h"
#include "net/uVerify.h"

namespace {

const char* const SizeErrorText = "文件大小不正确!";
const char* const StateSection = "cfg";
// A slow line is read in blocks of this size, so its progress moves as
// it arrives.
const DWORD BlockSize = 4096;
// WinINet holds at most this much for a request on Wine: a full buffer means
// the line delivers faster than it is read, so reads may grow.
const DWORD FullBuffer = 8192;
const DWORD FirstReadSize = 64 * 1024;
const DWORD MaxReadSize = 1024 * 1024;
const DWORD TimeOut = 15000;
// The stall rule, like curl's --speed-limit 1024 --speed-time 60.
const DWORD StallMs = 60000;
const int64_t StallBytes = 1024;
// The resume state is written at least every 4 MiB and every 10 s while data
// arrives: after 3 MiB, so that the next read (up to 1 MiB) cannot carry the
// gap past 4 MiB.
const int64_t StateBytes = 4 * 1024 * 1024 - MaxReadSize;
const DWORD StateMs = 10000;

// A big read that filled at once asks for twice as much next time; one that
// took long asks for half, so a slowing line still reports about once a
// second.
DWORD NextReadSize(DWORD Size, DWORD Read, DWORD Elapsed) {
  if (Read == Size && Elapsed < 100) return std::min(Size * 2, MaxReadSize);
  if (Elapsed > 250) return std::max(Size / 2, FullBuffer);
  return Size;
}

const CLSID HtmlDocumentClass = {0x25336920, 0x03F9, 0x11CF, {0x8F, 0xD0, 0x00, 0xAA, 0x00, 0x68, 0x6F, 0x13}};
const IID HtmlDocument2Interface = {0x332C4425, 0x26CB, 0x11D0, {0xB4, 0x83, 0x00, 0xC0, 0x4F, 0xD9, 0x01, 0x19}};

const char FirstSourceSection[] = "Mirror";

// The source an attempt for the file of digest Sha256 starts with: 0 unless
// a file from the one before failed its check.
size_t FirstSource(const std::string& Sha256, size_t Count) {
  if (Sha256.empty()) return 0;
  int64_t Kept = TextToInt64(ReadRunState(FirstSourceSection, Sha256), 0);
  return Kept > 0 && static_cast<size_t>(Kept) < Count ? static_cast<size_t>(Kept) : 0;
}

void KeepFirstSource(const std::string& Sha256, size_t Index) {
  if (!Sha256.empty()) WriteRunState(FirstSourceSection, Sha256, Index ? std::to_string(Index) : "");
}

bool SameText(const std::string& A, const std::string& B) {
  return lstrcmpiA(A.c_str(), B.c_str()) == 0;
}

// One line for the end of a transfer, with its rate.
void LogTransfer(int64_t Bytes, DWORD Ms, const char* How) {
  double Seconds = Ms / 1000.0;
  Log("installer transfer: %lld bytes in %.2f s, %.1f KiB/s, %s", static_cast<long long>(Bytes), Seconds,
      Seconds > 0 ? Bytes / 1024.0 / Seconds : 0.0, How);
}

std::string NameOf(const std::string& Path) {
  size_t Slash = Path.find_last_of("\\/");
  return Slash == std::string::npos ? Path : Path.substr(Slash + 1);
}

}  // namespace

namespace {

void CloseInternet(HINTERNET& Handle) {
  if (Handle) InternetCloseHandle(Handle);
  Handle = nullptr;
}

}  // namespace

// The network works asynchronously so that a stop request can end a wait on
// a stalled server at once. WinINet may still complete a call after the task
// has stopped waiting, so this block (with the buffer that call fills) lives
// until both the attempt and the request handle are done with it.
struct TInetCall {
  HANDLE Done = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  DWORD_PTR Result = 0;
  DWORD Error = 0;  // of the last asynchronous answer
  DWORD Available = 0;
  char Buffer[MaxReadSize];
  INTERNET_BUFFERSA Buffers{};
  std::atomic<int> Refs{1};  // the attempt, and the request handle once open

  ~TInetCall() { CloseHandle(Done); }
  void Release() {
    if (--Refs == 0) delete this;
  }
};

namespace {

void CALLBACK InternetStatus(HINTERNET, DWORD_PTR Context, DWORD Status, LPVOID Info, DWORD) {
  auto* Call = reinterpret_cast<TInetCall*>(Context);
  if (!Call) return;
  if (Status == INTERNET_STATUS_REQUEST_COMPLETE) {
    Call->Result = static_cast<INTERNET_ASYNC_RESULT*>(Info)->dwResult;
    Call->Error = static_cast<INTERNET_ASYNC_RESULT*>(Info)->dwError;
    SetEvent(Call->Done);
  } else if (Status == INTERNET_STATUS_HANDLE_CLOSING) {
    Call->Release();
  }
}

}  // namespace

THttpDownProgeress::THttpDownProgeress(bool CreateSuspended) {
  FCancel = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  FAttemptOver = CreateEventA(nullptr, TRUE, TRUE, nullptr);
  CoInitialize(nullptr);
  UserAgent = GetUserAgent();
  if (!CreateSuspended) Resume();
}

THttpDownProgeress::~THttpDownProgeress() {
  // Waited for here, not in the base, while the fields the worker uses live.
  TerminateAndWait();
  ReleaseCheckedFile();
  CoUninitialize();
  CloseHandle(FCancel);
  CloseHandle(FAttemptOver);
}

void THttpDownProgeress::ReleaseCheckedFile() {
  if (FChecked) CloseHandle(FChecked);
  FChecked = nullptr;
}

void THttpDownProgeress::StopAttempt() {
  Terminate();
  WaitServingSyncCalls(FAttemptOver);
}

void THttpDownProgeress::TerminatedSet() { SetEvent(FCancel); }

void THttpDownProgeress::Execute() {
  while (!Terminated()) {
    if (DownloadFile()) NotifyComplete();
    if (!Terminated()) Suspend();
  }
}

bool THttpDownProgeress::DownloadFile() {
  ResetEvent(FAttemptOver);
  ReleaseCheckedFile();
  TAttemptEnd End = aeFile;
  try {
    End = RunAttempt();
  } catch (...) {
    // Out of memory, say: still an end the user hears of.
  }
  EndAttempt(End == aeDone);
  SetEvent(FAttemptOver);
  // A local file that cannot be read, opened, cut or written leaves the
  // finished file short, like a transfer that ends early.
  if (End == aeNetwork) NotifyError(NetErrorText);
  if (End == aeServer) NotifyError(ServerErrorText);
  if (End == aeFile || End == aeShort) NotifyError(SizeErrorText);
  if (End == aeVerify) NotifyError(VerifyErrorText);
  if (End == aeDiskFull) NotifyError(DiskFullText);
  return End == aeDone;
}

TAttemptEnd THttpDownProgeress::RunAttempt() {
  // Nothing is asked of the server for a file that cannot be made.
  if (!IsPlainFileName(NameOf(SaveFile)) || !FitsSavePath(SaveFile)) return aeServer;
  // A digest that cannot be read can accept no file: nothing is fetched.
  TSha256 Digest;
  if (!ExpectedSha256.empty() && !ParseSha256(ExpectedSha256, Digest)) return aeVerify;
  if (!PrepareFolder(SaveFile, AdminOnlyFolder) || !FState.LoadFromFile(StateFileName(SaveFile))) return aeFile;
  if (UserAgent.empty()) UserAgent = GetUserAgent();
  std::string Headers =
      "Accept: */*\r\nAccept-Language: zh-CN\r\nAccept-Encoding: deflate\r\nUser-Agent: " +
      UserAgent;
  if (!Referer.empty()) Headers += "\r\nReferer: " + Referer;
  std::vector<std::string> Sources = {Url};
  Sources.insert(Sources.end(), Mirrors.begin(), Mirrors.end());
  size_t First = FirstSource(ExpectedSha256, Sources.size());
  Down = 0;
  std::unique_ptr<TDataFile> Data;  // opened once a source has answered
  std::string LastHost;
  TAttemptEnd End = aeServer;
  for (size_t Step = 0; Step < Sources.size(); ++Step) {
    size_t Index = (First + Step) % Sources.size();
    FSource = Sources[Index];
    std::string Host = ParseUrl(FSource).Host;
    if (Quiet && IsBackedOff(Host)) {
      Log("quiet run: %s asked for quiet, %s not asked", Host.c_str(), FSource.c_str());
      continue;
    }
    if (!LastHost.empty() && !SameText(Host, LastHost)) NotifyMirrorHost(Host);
    LastHost = Host;
    End = FromSource(Headers, Data);
    CloseRequest();
    if (End == aeVerify) KeepFirstSource(ExpectedSha256, (Index + 1) % Sources.size());
    if (End == aeDone && First != 0) KeepFirstSource(ExpectedSha256, 0);
    if (End != aeNetwork && End != aeServer && End != aeShort) break;
  }
  // A state may count only bytes known to be on disk: when the flush
  // fails, the one on disk stays as it was.
  if (Data && !Data->Close()) {
    Down = 0;
    if (End == aeDone) End = aeFile;
  }
  return End;
}

// One source of the attempt: the probe, the transfer from the bytes on disk
// (resumed from an earlier run, or left by the source before), and the
// check of the complete file.
TAttemptEnd THttpDownProgeress::FromSource(const std::string& Headers, std::unique_ptr<TDataFile>& Data) {
  if (!OpenRequest() || !SendRequest(Headers, "bytes=0-0")) return aeNetwork;
  // An error page or an answer without a size, ended without a word, would
  // leave the user before a bar that never moves.
  if (!QueryResumeInfo(Data != nullptr)) return aeServer;
  if (Terminated()) return aeStopped;
  if (!Data) {
    if (AdoptFinished(SaveFile, Size, Down == Size, ExpectedSha256, FCancel)) Down = Size;
    Data = std::make_unique<TDataFile>(DataFileName(SaveFile));
    if (!Data->Opened()) return aeFile;
    if (Data->Length() < Down) Down = 0;
  }
  TAttemptEnd End = aeDone;
  if (Down == Size) {  // finished earlier: only the rename is left
    End = Data->Truncate(Down) ? aeDone : aeFile;
    NotifyProgress();
  } else if (!HasRoomFor(SaveFile, Size - std::min(Data->Length(), Size))) {
    End = aeDiskFull;
  } else if ((End = FetchRest(*Data, Headers)) == aeDiskFull) {
    Down = GiveBackForState(*Data, Down);
    FState.WriteString(StateSection, "Down", std::to_string(Down));
  }
  if (End != aeDone) return End;
  if (!Data->Close()) {
    Down = 0;
    return aeFile;
  }
  // Counted whole before the check, so that a kill from here on fetches
  // nothing again.
  FState.WriteString(StateSection, "Down", std::to_string(Down));
  FState.SaveToFile(StateFileName(SaveFile));
  return PutInPlace();
}

bool THttpDownProgeress::OpenRequest() {
  TUrlParts Parts = ParseUrl(FSource);
  FCall = new TInetCall();
  FStallMs = SeamMsOr("ZR_TEST_STALL_MS", StallMs);
  FWindowStart = GetTickCount();
  FWindowBytes = 0;
  FStalled = false;
  FRoot = InternetOpenA("", INTERNET_OPEN_TYPE_PRECONFIG, "", "", INTERNET_FLAG_ASYNC);
  InternetSetStatusCallback(FRoot, InternetStatus);
  FConnect = InternetConnectA(FRoot, Parts.Host.c_str(), Parts.Port, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0);
  // From the server, never from the cache, and not copied into the user's
  // internet cache: that would write the installer twice. A certificate
  // that does not verify fails the request like a network failure; no
  // flag here may ever ignore one.
  DWORD Flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE;
  if (Parts.Secure) Flags |= INTERNET_FLAG_SECURE;
  FRequest = HttpOpenRequestA(FConnect, "GET", Parts.Object.c_str(), "HTTP/1.1", nullptr, nullptr, Flags,
                              reinterpret_cast<DWORD_PTR>(FCall));
  if (!FRequest) return false;
  ++FCall->Refs;  // released when the handle reports its closing
  LimitWaits(FRequest, TimeOut);
  return true;
}

// The data request from Down and the transfer into Data.
TAttemptEnd THttpDownProgeress::FetchRest(TDataFile& Data, const std::string& Headers) {
  if (!SendRequest(Headers, "bytes=" + std::to_string(Down) + "-")) return aeNetwork;
  if (!AcceptDataResponse()) return aeServer;
  if (!Data.Truncate(Down)) return aeFile;
  int64_t From = Down;
  DWORD Start = GetTickCount();
  TAttemptEnd End = TransferBlocks(Data.Handle());
  static const char* const Ends[] = {"complete",     "stopped",      "network failure", "wrong answer",
                                     "file error",   "check failed", "disk full",       "cut short"};
  LogTransfer(Down - From, GetTickCount() - Start,
              FStalled ? "stalled: under 1024 bytes in a 60 s window" : Ends[End]);
  return End;
}

// Puts the complete data file in place; a stop requested before leaves
// both files for the next run.
TAttemptEnd THttpDownProgeress::PutInPlace() {
  if (Size <= 0 || Down < Size) return aeFile;
  TAttemptEnd End = ::PutInPlace(SaveFile, Size, ExpectedSha256, FCancel, FChecked);
  const char* Sha256 = ExpectedSha256.empty() ? "none named" : End == aeVerify ? "differs, file deleted" : "";
  if (End == aeDone || End == aeVerify)
    Log("checks of %s: size %lld matches, SHA-256 %s", SaveFile.c_str(), static_cast<long long>(Size),
        *Sha256 ? Sha256 : "matches");
  else if (End == aeFile)
    Log("checks of %s: not %lld bytes, or not put in place", SaveFile.c_str(), static_cast<long long>(Size));
  if (End == aeVerify) Down = 0;  // nothing left to resume: the state is not written again
  return End;
}

void THttpDownProgeress::EndAttempt(bool Succeeded) {
  CloseRequest();
  if (!Succeeded && Down > 0) {
    bool Saved = FState.SaveToFile(StateFileName(SaveFile));
    Log("download: resume state %s at %lld of %lld bytes", Saved ? "written" : "not written",
        static_cast<long long>(Down), static_cast<long long>(Size));
  }
  FState.Clear();
}

void THttpDownProgeress::CloseRequest() {
  CloseInternet(FRequest);
  CloseInternet(FConnect);
  CloseInternet(FRoot);
  if (FCall) FCall->Release();
  FCall = nullptr;
}

// Continuing, the bytes on disk came from another source of the same file
// in this attempt: they stay when this one announces the same size.
bool THttpDownProgeress::QueryResumeInfo(bool Continuing) {
  std::string Status = QueryHeader(HTTP_QUERY_STATUS_CODE);
  if (Status != "200" && Status != "206") {
    NoteRefusal(Status);
    return false;
  }
  int64_t Announced = 0;
  std::string Range = QueryHeader(HTTP_QUERY_CONTENT_RANGE);
  if (!Range.empty()) {
    size_t Slash = Range.find('/');
    Announced = Slash == std::string::npos ? 0 : TextToInt64(Range.substr(Slash + 1), 0);
  } else {
    std::string Length = QueryHeader(HTTP_QUERY_CONTENT_LENGTH);
    if (Length.empty()) return false;
    Announced = TextToInt64(Length, 0);
  }
  // Another size is another file: the next source may hold the right one.
  int64_t Known = ExpectedSize != 0 ? ExpectedSize : Continuing ? Size : 0;
  if (Known != 0 && Announced != Known) {
    Log("%s announces %lld bytes, not %lld", FSource.c_str(), static_cast<long long>(Announced),
        static_cast<long long>(Known));
    return false;
  }
  Size = Announced;
  std::string Tag = QueryHeader(HTTP_QUERY_ETAG);
  std::string Modified = Tag.empty() ? QueryHeader(HTTP_QUERY_LAST_MODIFIED) : "";
  std::string StateName = StateFileName(SaveFile);
  if (Continuing) {
    // The state follows the source now serving, so the next run resumes
    // from it when it answers alike.
    FState.WriteString(StateSection, "ETag", Tag);
    FState.WriteString(StateSection, "MODIFIED", Modified);
    return true;
  }
  Down = 0;
  if (FileExists(StateName) && SameText(FState.ReadString(StateSection, "ETag", ""), Tag) &&
      SameText(FState.ReadString(StateSection, "Size", "0"), std::to_string(Size)) &&
      SameText(FState.ReadString(StateSection, "MODIFIED", ""), Modified)) {
    // A negative offset would turn the data request into a suffix range, one
    // past the size into an answer of 416 on every run.
    Down = TextToInt64(FState.ReadString(StateSection, "Down", "0"), 0);
    if (Down < 0 || Down > Size) Down = 0;
    return true;
  }
  FState.WriteString(StateSection, "ETag", Tag);
  FState.WriteString(StateSection, "Size", std::to_string(Size));
  FState.WriteString(StateSection, "MODIFIED", Modified);
  FState.WriteString(StateSection, "Down", "0");
  return true;
}

// A 206 that continues at Down goes on. A 200 carries the whole resource, so
// the transfer starts again at 0. Anything else (an error page, a range that
// starts elsewhere) must not be written into the data file.
bool THttpDownProgeress::AcceptDataResponse() {
  std::string Status = QueryHeader(HTTP_QUERY_STATUS_CODE);
  NoteRefusal(Status);
  if (Status == "200") {
    Down = 0;
    FState.WriteString(StateSection, "Down", "0");
    return true;
  }
  std::string Start = "bytes " + std::to_string(Down) + "-";
  std::string Range = QueryHeader(HTTP_QUERY_CONTENT_RANGE);
  return Status == "206" && Range.size() > Start.size() &&
         SameText(Range.substr(0, Start.size()), Start);
}

// The transfer loop. Each read takes a block while the line is slow and
// more while it delivers faster than that.
TAttemptEnd THttpDownProgeress::TransferBlocks(HANDLE DataFile) {
  DWORD ReadSize = FirstReadSize;
  DWORD Available = 0;
  FSavedDown = Down;
  FSavedTick = GetTickCount();
  FStateMs = SeamMsOr("ZR_TEST_STATE_MS", StateMs);
  TStateWriter Writer(DataFile, StateFileName(SaveFile));
  // While big reads fill at once, the next one is asked for without asking
  // first what has arrived: half the calls, and no fall back to blocks
  // when WinINet's buffer happens to be caught part-full.
  bool Flowing = false;
  while (Flowing || (WaitForData(Available) && Available > 0)) {
    DWORD Want = Flowing || Available >= FullBuffer ? ReadSize : BlockSize;
    DWORD Start = GetTickCount();
    DWORD Read = 0;
    bool Ok = ReadBlock(Want, Read);
    // More than the announced size: the server is wrong about the file, and
    // not one byte past the size is written.
    if (Read > Size - Down) return aeServer;
    if (Read > 0) {
      DWORD Written = 0;
      // Bytes that cannot be written end the transfer: going on would put
      // the following ones at the wrong offset. What a short write placed
      // is valid.
      bool Wrote = WriteFile(DataFile, FCall->Buffer, Read, &Written, nullptr);
      // A write cut short without an error is one that found the disk full.
      bool Full = Wrote ? Written < Read : DiskFullError();
      Down += Written;
      FWindowBytes += Written;
      FState.WriteString(StateSection, "Down", std::to_string(Down));
      NotifyProgress();
      if (Full) return aeDiskFull;
      if (!Wrote) return aeFile;
      KeepState(Writer);
    }
    if (Terminated()) return aeStopped;
    if (!Ok || Read == 0) break;
    if (WindowLeft() == 0 && !NextWindow()) break;
    DWORD Took = GetTickCount() - Start;
    Flowing = Want > BlockSize && Read == Want && Took < 100;
    if (Want > BlockSize) ReadSize = NextReadSize(ReadSize, Read, Took);
  }
  if (Terminated()) return aeStopped;
  if (FStalled) return aeNetwork;
  return Down < Size ? aeShort : aeDone;
}

// A source under load may name a time to come back (see uBackOff).
void THttpDownProgeress::NoteRefusal(const std::string& Status) {
  NoteRetryAfter(ParseUrl(FSource).Host, Status, QueryHeader(HTTP_QUERY_RETRY_AFTER));
}

// A log-off, a kill or a power cut keeps what the state last counted.
void THttpDownProgeress::KeepState(TStateWriter& Writer) {
  if (Down - FSavedDown < StateBytes && GetTickCount() - FSavedTick < FStateMs) return;
  Writer.Write(FState.Text());
  FSavedDown = Down;
  FSavedTick = GetTickCount();
}

DWORD THttpDownProgeress::WindowLeft() const {
  DWORD Used = GetTickCount() - FWindowStart;
  return Used >= FStallMs ? 0 : FStallMs - Used;
}

// At the end of a stall window: the next one, or false (and stalled) when
// too little came in this one.
bool THttpDownProgeress::NextWindow() {
  if (FWindowBytes < StallBytes) {
    FStalled = true;
    return false;
  }
  FWindowStart = GetTickCount();
  FWindowBytes = 0;
  return true;
}

bool THttpDownProgeress::SendRequest(const std::string& Headers, const std::string& Range) {
  std::string All = Headers + "\r\nRANGE: " + Range;
  bool Answered = WaitCall(HttpSendRequestA(FRequest, All.c_str(), static_cast<DWORD>(All.size()), nullptr, 0)) &&
                  AnsweredAsAsked(FRequest, FSource);
  std::string Answer = Answered ? "status " + QueryHeader(HTTP_QUERY_STATUS_CODE) : "no answer";
  std::string Served = QueryHeader(HTTP_QUERY_CONTENT_RANGE);
  if (Answered && !Served.empty()) Answer += ", Content-Range: " + Served;
  Log("installer request to %s, Range: %s: %s", ParseUrl(FSource).Host.c_str(), Range.c_str(), Answer.c_str());
  return Answered;
}

// Waits until some of the body has arrived; Available is 0 at its end.
bool THttpDownProgeress::WaitForData(DWORD& Available) {
  FCall->Available = 0;
  FCall->Error = 0;
  if (!WaitCall(InternetQueryDataAvailable(FRequest, &FCall->Available, 0, 0))) return false;
  // An asynchronous answer may carry the count in its completion instead.
  Available = std::max(FCall->Available, FCall->Error);
  return true;
}

bool THttpDownProgeress::ReadBlock(DWORD Want, DWORD& Read) {
  FCall->Buffers = INTERNET_BUFFERSA{};
  FCall->Buffers.dwStructSize = sizeof(FCall->Buffers);
  FCall->Buffers.lpvBuffer = FCall->Buffer;
  FCall->Buffers.dwBufferLength = Want;
  bool Ok = WaitCall(InternetReadFileExA(FRequest, &FCall->Buffers, IRF_ASYNC,
                                         reinterpret_cast<DWORD_PTR>(FCall)));
  // A read that failed part-way (a stall past the time-out) reports the
  // bytes it had placed, and they are kept. A count not below the request
  // may be the request itself, untouched; a cancelled read is still going.
  Read = Ok || !(Terminated() || FStalled) ? FCall->Buffers.dwBufferLength : 0;
  if (!Ok && Read >= Want) Read = 0;
  return Ok;
}

// Completes a call that may have gone pending; false when it failed, or
// termination or the stall rule ended the wait.
bool THttpDownProgeress::WaitCall(BOOL Started) {
  if (Started) return true;
  if (GetLastError() != ERROR_IO_PENDING) return false;
  HANDLE Events[2] = {FCall->Done, FCancel};
  for (;;) {
    DWORD Wait = WaitForMultipleObjects(2, Events, FALSE, WindowLeft());
    if (Wait == WAIT_OBJECT_0) return FCall->Result != 0;
    if (Wait != WAIT_TIMEOUT || !NextWindow()) return false;
  }
}

// A header as text; empty when absent, and when it carries a line break,
// which would add lines to the state file.
std::string THttpDownProgeress::QueryHeader(DWORD Query) {
  char Buffer[1024];
  DWORD Length = sizeof(Buffer);
  DWORD Index = 0;
  if (!FRequest || !HttpQueryInfoA(FRequest, Query, Buffer, &Length, &Index)) return "";
  std::string Value(Buffer, Length);
  return Value.find_first_of("\r\n") == std::string::npos ? Value : "";
}

void THttpDownProgeress::NotifyProgress() {
  try {
    if (GetTickCount() - LastTick < 1000 && Down < Size) return;
    if (Size <= 0) return;
    float Percent = static_cast<float>(std::nearbyint(static_cast<double>(Down) / Size * 10000) / 100);
    if (OnProgress) Synchronize([&] { OnProgress(this, Percent); });
    LastTick = GetTickCount();
  } catch (...) {
  }
}

// The termination request is tested on the main thread, which makes it: a
// stop that came first always wins, so nothing is reported after it.
void THttpDownProgeress::NotifyError(const std::string& Text) {
  try {
    ErrorText = Text;
    if (OnError) Synchronize([&] {
        if (!Terminated()) OnError(this, ErrorText);
      });
  } catch (...) {
  }
}

void THttpDownProgeress::NotifyMirrorHost(const std::string& Host) {
  Log("the download moves on to %s", FSource.c_str());
  try {
    if (OnMirrorHost) Synchronize([&] {
        if (!Terminated()) OnMirrorHost(this, Host);
      });
  } catch (...) {
  }
}

void THttpDownProgeress::NotifyComplete() {
  try {
    if (OnComplete) Synchronize([&] {
        if (!Terminated()) OnComplete(this);
      });
  } catch (...) {
  }
}

std::string GetUserAgent() {
  IHTMLDocument2* Document = nullptr;
  if (FAILED(CoCreateInstance(HtmlDocumentClass, nullptr, CLSCTX_INPROC_SERVER,
                              HtmlDocument2Interface, reinterpret_cast<void**>(&Document)))) {
    // No HTML engine (Wine without Gecko): the platform's own text.
    char Agent[1024];
    DWORD Length = sizeof(Agent);
    return SUCCEEDED(ObtainUserAgentString(0, Agent, &Length)) ? Agent : "";
  }
  std::string Result;
  IHTMLWindow2* Window = nullptr;
  IOmNavigator* Navigator = nullptr;
  BSTR Agent = nullptr;
  if (SUCCEEDED(Document->get_parentWindow(&Window)) && Window &&
      SUCCEEDED(Window->get_clientInformation(&Navigator)) && Navigator &&
      SUCCEEDED(Navigator->get_userAgent(&Agent)) && Agent) {
    int Length = WideCharToMultiByte(CP_ACP, 0, Agent, -1, nullptr, 0, nullptr, nullptr);
    Result.resize(Length > 0 ? Length - 1 : 0);
    WideCharToMultiByte(CP_ACP, 0, Agent, -1, &Result[0], Length, nullptr, nullptr);
  }
  SysFreeString(Agent);
  if (Navigator) Navigator->Release();
  if (Window) Window->Release();
  Document->Release();
  return Result;
}

bool AnsweredAsAsked(HINTERNET Request, const std::string& Url) {
  if (!ParseUrl(Url).Secure) return true;
  char Final[INTERNET_MAX_URL_LENGTH];
  DWORD Length = sizeof(Final);
  return InternetQueryOptionA(Request, INTERNET_OPTION_URL, Final, &Length) &&
         ParseUrl(std::string(Final, strnlen(Final, Length))).Secure;
}

void LimitWaits(HINTERNET Handle, DWORD Ms) {
  InternetSetOptionA(Handle, INTERNET_OPTION_CONNECT_TIMEOUT, &Ms, sizeof(Ms));
  InternetSetOptionA(Handle, INTERNET_OPTION_RECEIVE_TIMEOUT, &Ms, sizeof(Ms));
  // Wine bounds a stalled read by this one, not by the receive time-out.
  InternetSetOptionA(Handle, INTERNET_OPTION_SEND_TIMEOUT, &Ms, sizeof(Ms));
}

TUrlParts ParseUrl(const std::string& Url) {
  TUrlParts Parts;
  std::string Lower = Url;
  CharLowerBuffA(&Lower[0], static_cast<DWORD>(Lower.size()));
  Parts.Secure = Lower.rfind("https://", 0) == 0;
  std::string Rest = Url;
  if (Parts.Secure) Rest = Url.substr(8);
  else if (Lower.rfind("http://", 0) == 0) Rest = Url.substr(7);
  size_t Slash = Rest.find('/');
  std::string HostPart = Rest.substr(0, Slash);
  std::string Path = Slash == std::string::npos ? "" : Rest.substr(Slash);
  size_t Question = Path.find('?');
  std::string Query = Question == std::string::npos ? "" : Path.substr(Question + 1);
  Path = Path.substr(0, Question);
  for (const std::string& Piece : SplitString(Path, '/')) Parts.Object += "/" + EncodeUrlPart(Piece);
  if (Parts.Object.empty()) Parts.Object = "/";
  if (!Query.empty()) Parts.Object += "?" + Query;
  size_t Colon = HostPart.find(':');
  Parts.Host = HostPart.substr(0, Colon);
  Parts.Port = Parts.Secure ? INTERNET_DEFAULT_HTTPS_PORT : INTERNET_DEFAULT_HTTP_PORT;
  if (Colon != std::string::npos) {
    int64_t Number = TextToInt64(HostPart.substr(Colon + 1), 0);
    if (Number > 0 && Number <= 65535) Parts.Port = static_cast<INTERNET_PORT>(Number);
  }
  return Parts;
}

std::string EncodeUrlPart(const std::string& Part) {
  static const char Hex[] = "0123456789ABCDEF";
  static const std::string Kept = "@!$'()*-._";
  std::string Result;
  for (unsigned char C : Part) {
    if ((C >= 'A' && C <= 'Z') || (C >= 'a' && C <= 'z') || (C >= '0' && C <= '9') ||
        (C != 0 && Kept.find(static_cast<char>(C)) != std::string::npos)) {
      Result += static_cast<char>(C);
    } else if (C == ' ') {
      Result += '+';
    } else {
      Result += '%';
      Result += Hex[C >> 4];
      Result += Hex[C & 15];
    }
  }
  return Result;
}

std::vector<std::string> SplitString(const std::string& Text, char Delimiter) {
  std::vector<std::string> Pieces;
  size_t Start = 0;
  while (Start <= Text.size()) {
    size_t End = Text.find(Delimiter, Start);
    if (End == std::string::npos) End = Text.size();
    if (End > Start) Pieces.push_back(Text.substr(Start, End - Start));
    Start = End + 1;
  }
  return Pieces;
}

int64_t TextToInt64(const std::string& Text, int64_t Default) {
  size_t I = 0;
  bool Negative = false;
  if (I < Text.size() && (Text[I] == '-' || Text[I] == '+')) Negative = Text[I++] == '-';
  if (I == Text.size()) return Default;
  uint64_t Limit = Negative ? uint64_t(INT64_MAX) + 1 : uint64_t(INT64_MAX);
  uint64_t Value = 0;
  for (; I < Text.size(); ++I) {
    if (Text[I] < '0' || Text[I] > '9') return Default;
    unsigned Digit = Text[I] - '0';
    if (Value > (Limit - Digit) / 10) return Default;
    Value = Value * 10 + Digit;
  }
  return Negative ? static_cast<int64_t>(0 - Value) : static_cast<int64_t>(Value);
}
