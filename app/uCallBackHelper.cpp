#include "app/uCallBackHelper.h"

#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>
#include <utility>

#include "app/uBuildOptions.h"
#include "app/uConst.h"
#include "app/uFunction.h"
#include "app/uMachineId.h"
#include "app/uRollout.h"
#include "app/uRunState.h"
#include "app/uUpdateDecision.h"
#include "app/uUserBusy.h"
#include "framework/Application.h"
#include "framework/GbkText.h"
#include "framework/uLog.h"
#include "json/jsonobject.h"
#include "net/uAsync.h"
#include "net/uBackOff.h"
#include "net/uFunction.h"
#include "net/uHttpDownProgeress.h"
#include "net/uSignature.h"
#include "net/uVerify.h"
#include "ui/frmProgress.h"
#include "ui/frmUpdateInfo.h"

namespace {

std::u16string AnsiToWide(const std::string& Text, UINT CodePage) {
  if (Text.empty()) return {};
  int n = MultiByteToWideChar(CodePage, 0, Text.data(), static_cast<int>(Text.size()), nullptr, 0);
  std::u16string out(n, u'\0');
  MultiByteToWideChar(CodePage, 0, Text.data(), static_cast<int>(Text.size()), reinterpret_cast<wchar_t*>(&out[0]), n);
  return out;
}

// The program's 8-bit texts are GBK under any system code page.
std::string WideToAnsi(const std::u16string& Text) { return WideToGbk(std::wstring(Text.begin(), Text.end())); }

// A text member as given; one that is no text, or empty text, keeps its
// JSON spelling, so that it fails its check instead of reading as absent.
std::string CheckedText(const IJsonObjectPtr& Value) {
  if (!Value) return "";
  std::u16string Text = Value->IsType(skString) ? Value->ToText() : u"";
  return WideToAnsi(Text.empty() ? Value->ToJsonText(false, false) : Text);
}

bool IsTrue(const IJsonObjectPtr& Value) { return Value && Value->IsType(skBoolean) && Value->ToBoolean(); }

int64_t SizeValue(const IJsonObjectPtr& Value) {
  if (!Value) return 0;
  return Value->IsType(skInteger) && Value->ToInteger() > 0 ? Value->ToInteger() : -1;
}

}  // namespace

bool ParseUpdateInfo(const std::string& Bytes, TUpdateInfo& Info, UINT CodePage, bool Strict) {
  std::u16string Text = AnsiToWide(Bytes, CodePage);
  IJsonObjectPtr Doc = Strict ? ParseJsonDocument(Text) : ParseJsonText(Text);
  if (!Doc) return false;
  TJsonArray* Urls = Doc->GetPathArray(u"Urls");  // held by Doc
  if (!Urls) return false;
  // A version that does not fit would be cut to another one.
  IJsonObjectPtr Ver = Doc->GetPath(u"ver");
  if (Strict && !(Ver && Ver->IsType(skInteger) && Ver->ToInteger() >= 0 && Ver->ToInteger() <= 0xFFFFFFFFLL))
    return false;
  for (int I = 0; I < Urls->Length(); ++I) Info.Urls.push_back(WideToAnsi(Urls->ItemText(I)));
  Info.Version = static_cast<uint32_t>(Doc->GetPathInteger(u"ver"));
  Info.Msg = WideToAnsi(Doc->GetPathText(u"Msg"));
  Info.Sha256 = CheckedText(Doc->GetPath(u"Sha256"));
  Info.Size = SizeValue(Doc->GetPath(u"Size"));
  Info.Expires = CheckedText(Doc->GetPath(u"Expires"));
  Info.AllowDowngrade = IsTrue(Doc->GetPath(u"AllowDowngrade"));
  // A percentage that cannot be read must not offer the release to all.
  IJsonObjectPtr Rollout = Doc->GetPath(u"Rollout");
  if (Rollout && !(Rollout->IsType(skInteger) && Rollout->ToInteger() >= 0 && Rollout->ToInteger() <= 100))
    return false;
  Info.Rollout = Rollout ? static_cast<int>(Rollout->ToInteger()) : 100;
  Info.Critical = IsTrue(Doc->GetPath(u"Critical"));
  Info.Published = CheckedText(Doc->GetPath(u"Published"));
  return true;
}

bool ReadActingDocument(const std::string& Bytes, const std::string& PublicKeys, const std::string& Now,
                        const std::string& Newest, TUpdateInfo& Info, const char** Verdict) {
  std::string Signed;
  std::vector<std::string> Signatures;
  TSha256 Digest;
  const char* Refused = nullptr;
  if (PublicKeys.empty())
    Refused = ParseUpdateInfo(Bytes, Info) ? nullptr : "refused: no update information";
  else if (!VerifyDocument(Bytes, PublicKeys))
    Refused = "refused: not signed with a known key";
  // The signed bytes alone, so nothing but the signature lines may follow
  // the value; GBK on every machine, so the bytes have one meaning.
  else if (!SplitSignedDocument(Bytes, Signed, Signatures) || !ParseUpdateInfo(Signed, Info, 936, true))
    Refused = "refused: signed, but no strict update information";
  else if (!ParseSha256(Info.Sha256, Digest))
    Refused = "refused: signed, but names no SHA-256";
  else if (!InDate(Info.Expires, Now))
    Refused = "refused: signed, but out of date";
  else if (!MayActPublished(Info.Published, Newest, Now))
    Refused = "refused: signed, but published before the newest accepted, or too far ahead";
  if (Verdict)
    *Verdict = Refused ? Refused : PublicKeys.empty() ? "read (no signature asked for)" : "signed and in date";
  return !Refused;
}

namespace {

// The progress window's line when the download moves to another host.
const char MirrorHostText[] = "改用下载服务器 ";

// The document's URL. Whole-program tests that run beside each other, each
// with its own server, move the built-in port by ZR_TEST_PORT_SHIFT.
std::string CheckUrl() {
  std::string Url = UPDATE_INFO_URL;
#ifdef ZR_TEST_SEAMS
  size_t Colon = Url.find(':', Url.find("//") + 2), End = Url.find('/', Url.find("//") + 2);
  if (unsigned Shift = TestSeamMs("ZR_TEST_PORT_SHIFT"); Shift && Colon < End) {
    unsigned Port = static_cast<unsigned>(strtoul(Url.c_str() + Colon + 1, nullptr, 10));
    Url.replace(Colon + 1, End - Colon - 1, std::to_string(Port + Shift));
  }
#endif
  return Url;
}

// The time now as "YYYY-MM-DDTHH:MM:SSZ".
std::string UtcNow() {
  SYSTEMTIME Now;
  GetSystemTime(&Now);
  char Text[32];
  snprintf(Text, sizeof Text, "%04u-%02u-%02uT%02u:%02u:%02uZ", Now.wYear, Now.wMonth, Now.wDay, Now.wHour,
           Now.wMinute, Now.wSecond);
  return Text;
}

const char PublishedSection[] = "Published";
const char PublishedKey[] = "Newest";

// The document read into Info, when it may act with this build's keys; the
// log gets its publication time beside the newest one accepted when a
// Verdict is asked for.
bool ReadActingDocument(const std::string& Bytes, TUpdateInfo& Info, const char** Verdict = nullptr) {
  std::string Newest = ReadRunState(PublishedSection, PublishedKey);
  bool Acts = ReadActingDocument(Bytes, UPDATE_PUBLIC_KEY, UtcNow(), Newest, Info, Verdict);
  if (Verdict && *UPDATE_PUBLIC_KEY)
    Log("signed document published %s, newest accepted before %s: %s",
        Info.Published.empty() ? "(none)" : Info.Published.c_str(), Newest.empty() ? "(none)" : Newest.c_str(),
        Acts ? "it acts" : "no answer");
  return Acts;
}

// A signed document that acted is no older than the one kept (or that one
// was no time): it becomes the newest, and from now on none older may act,
// however validly signed.
void KeepPublished(const TUpdateInfo& Info) {
  if (!*UPDATE_PUBLIC_KEY || Info.Published.empty()) return;
  if (Info.Published != ReadRunState(PublishedSection, PublishedKey))
    WriteRunState(PublishedSection, PublishedKey, Info.Published);
}

// Where the fetch keeps the last good copy of the document at Url.
std::string KeptDocument(const std::string& Url) { return GetUserDataDir() + "Down\\" + UrlFileName(Url); }

// The administrator's word, read once a run: it holds over the document and
// the user.
const TUpdatePolicy& Policy() {
  static const TUpdatePolicy Read = [] {
    TUpdatePolicy Value = ReadUpdatePolicy();
    Log("policy: UpdateDefault %u, TargetVersionPrefix \"%s\"", Value.UpdateDefault, Value.VersionPrefix.c_str());
    return Value;
  }();
  return Read;
}

void LogQuietEnd() {
  Log("no request: the administrator turned updates off%s",
      Policy().UpdateDefault == pdNever ? "" : " for runs the user did not ask for");
}

// Every reason for "no update" meets here, for the quiet run before any
// window exists and for the controller alike.
TUpdateDecision Decide(uint32_t Version, const std::vector<std::string>& Urls, bool AllowDowngrade, int Rollout,
                       bool Critical) {
  // With a key built in, a replayed earlier document must not install an
  // older release unless the vendor signed that wish.
  bool MayDowngrade = !*UPDATE_PUBLIC_KEY || AllowDowngrade;
  TQuietRun Quiet{Rollout, RolloutPosition(MachineIdentity(), Version), Critical, HasSwitch(SHELL_UAC_SWITCH),
                  !Urls.empty()};
  for (const std::string& Url : Urls) Quiet.ServersBusy = Quiet.ServersBusy && IsBackedOff(ParseUrl(Url).Host);
  Log("release %s: machine position %d against rollout %d %%%s%s", TCallBackHelper::VersionToText(Version).c_str(),
      Quiet.Position, Quiet.Percent, Quiet.Critical ? ", critical" : "",
      Quiet.ServersBusy ? ", every installer host asked for quiet" : "");
  TNoUpdateReason Reason = nrNone;
  TUpdateDecision Decision = DecideUpdate(!Urls.empty(), Version, GetLocalVersion(), IsProcessElevated(),
                                          IsPostBbsRun(), IsSilentRun(), MayDowngrade, Quiet, Policy().VersionPrefix,
                                          &Reason);
  Log("installed %s, offered %s: %s%s", TCallBackHelper::VersionToText(GetLocalVersion()).c_str(),
      TCallBackHelper::VersionToText(Version).c_str(), NoUpdateReasonText(Reason),
      Decision == udRelaunchElevated ? ", not elevated: re-launched elevated" : "");
  return Decision;
}

// The quiet run's answer and its decision on it, made before the controller
// existed: the controller takes both instead of fetching and deciding again.
std::unique_ptr<TUpdateInfo> QuietAnswer;
std::optional<TUpdateDecision> QuietDecision;

}  // namespace

bool RunQuietCheck() {
  // A run the administrator keeps from asking ends here; one with a notice
  // to show goes on to the windows.
  if (TCheckDecision Check = DecideCheck(Policy(), true, HasSwitch(SHELL_UAC_SWITCH)); Check != cdCheck) {
    if (Check == cdEndQuietly) LogQuietEnd();
    return Check == cdShowDisabled;
  }
  // A server that asked for quiet, with no copy kept to answer instead, is
  // no failure of this machine: nothing is counted.
  std::string Url = CheckUrl();
  if (IsBackedOff(ParseUrl(Url).Host) && !FileExists(KeptDocument(Url))) {
    Log("quiet run: the update server asked for quiet and no copy is kept");
    return false;
  }
  std::unique_ptr<TUpdateInfo> Info = TCallBackHelper::FetchInfo(Url);
  if (!Info) {
    // No answer: what the checking notice's time-out would decide, at once.
    if (CheckFailureCount()) {
      Application->Initialize();
      ShowManualDownloadNotice();
    }
    return false;
  }
  TUpdateDecision Decision = Decide(Info->Version, Info->Urls, Info->AllowDowngrade, Info->Rollout, Info->Critical);
  if (Decision == udShowNothing) return false;
  QuietAnswer = std::move(Info);
  QuietDecision = Decision;
  return true;
}

TCallBackHelper::TCallBackHelper(TComponent* AOwner) : TWinControl(AOwner) {
  // FUrls starts empty as a member. The window must exist before the
  // background fetch can post to it.
  SetParent(Application->MainForm());
  HandleNeeded();
  // A log-off during the download keeps what has arrived for the next run.
  Application->OnEndSession = [this] {
    if (FDownloader) FDownloader->StopAttempt();
  };
  // The administrator's word holds over the document and the user.
  switch (DecideCheck(Policy(), IsSilentRun(), HasSwitch(SHELL_UAC_SWITCH))) {
    case cdShowDisabled:
      Log("no request: the administrator turned updates off");
      ShowErrorNotice("系统管理员已关闭升级!");
      CloseRun();
      return;
    case cdEndQuietly:
      LogQuietEnd();
      CloseRun();
      return;
    case cdCheck:
      break;
  }
  StartCheck();
  PrepareDownloader();
}

TCallBackHelper::~TCallBackHelper() {
  FClosing = true;
  Application->OnEndSession = nullptr;
  FreeDownloader();
  FUrls.clear();
}

LRESULT TCallBackHelper::WndProc(UINT Msg, WPARAM WParam, LPARAM LParam) {
  if (Msg == WM_UPDATEINFO) {
    WMUpdateInfo();
    return 0;
  }
  return TWinControl::WndProc(Msg, WParam, LParam);
}

void TCallBackHelper::WMUpdateInfo() {
  std::unique_ptr<TUpdateInfo> Info = std::move(FInbox->Info);
  if (!Info || FClosing) return;
  FUrls = std::move(Info->Urls);
  FVersion = Info->Version;
  FMsg = std::move(Info->Msg);
  FSha256 = std::move(Info->Sha256);
  FSize = Info->Size;
  FAllowDowngrade = Info->AllowDowngrade;
  FRollout = Info->Rollout;
  FCritical = Info->Critical;
  FServerBusy = Info->ServerBusy;
  HandleUpdateInfo(FVersion, FMsg, FUrls);
}

void TCallBackHelper::StartCheck() {
  if (QuietAnswer) {
    FInbox->Info = std::move(QuietAnswer);
    PostMessageA(Handle(), WM_UPDATEINFO, 0, 0);
    return;
  }
  auto Request = std::make_unique<TCheckRequest>(TCheckRequest{CheckUrl(), FInbox});
  RunAsync(&TCallBackHelper::FetchUpdateInfo, reinterpret_cast<intptr_t>(Request.get()),
           reinterpret_cast<intptr_t>(Handle()));
  Request.release();  // the task frees it
}

std::unique_ptr<TUpdateInfo> TCallBackHelper::FetchInfo(const std::string& Url) {
  try {
    // With a key built in, a fresh document that may not act is not kept:
    // the good copy stays for offline runs, and a forged answer cannot pin
    // the real tag on itself and draw 304s for ever after.
    std::function<bool(const std::string&)> Accept;
    if (*UPDATE_PUBLIC_KEY) Accept = [](const std::string& Bytes) {
        TUpdateInfo Info;
        return ReadActingDocument(Bytes, Info);
      };
    // A quiet run leaves a server that asked for quiet alone: the copy kept
    // from before answers, as offline. The user who asked hears it is busy.
    std::string Host = ParseUrl(Url).Host;
    TFetchAnswer Answer;
    std::string Path = KeptDocument(Url);
    if (IsSilentRun() && IsBackedOff(Host)) {
      Log("quiet run: %s asked for quiet, the document is not asked for", Host.c_str());
      if (!FileExists(Path)) Path.clear();
    } else {
      Path = GetUrlFile(Url, "", Accept, &Answer);
      NoteRetryAfter(Host, std::to_string(Answer.Status), Answer.RetryAfter);
    }
    auto Info = std::make_unique<TUpdateInfo>();
    Info->ServerBusy = !IsSilentRun() && (Answer.Status == 503 || Answer.Status == 429);
    std::string Bytes = !Path.empty() && FileExists(Path) ? ReadFileText(Path, MaxDocumentSize) : "";
    const char* Verdict = "nothing to read";
    bool Acts = !Bytes.empty() && ReadActingDocument(Bytes, *Info, &Verdict);
    Log("document %s: %zu bytes, %s", ParseUrl(Url).Object.c_str(), Bytes.size(), Verdict);
    if (Acts) KeepPublished(*Info);
    // A document that may not act is no answer, as when nothing arrives.
    if (Info->ServerBusy || Acts) return Info;
  } catch (...) {
  }
  return nullptr;
}

int32_t TCallBackHelper::FetchUpdateInfo(intptr_t Param1, intptr_t WndParam) {
  try {
    std::unique_ptr<TCheckRequest> Request(reinterpret_cast<TCheckRequest*>(Param1));
    HWND Wnd = reinterpret_cast<HWND>(WndParam);
    std::unique_ptr<TUpdateInfo> Info = FetchInfo(Request->Url);
    // Without an answer the checking notice's time-out takes over.
    if (!Info || !Wnd) return 0;
    Request->Inbox->Info = std::move(Info);
    PostMessageA(Wnd, WM_UPDATEINFO, 0, 0);
    return 1;
  } catch (...) {
    return 0;
  }
}

void TCallBackHelper::PrepareDownloader() {
  // The check waits 10 s for the document; less in tests that wait for it.
  if (!ShowCheckingNotice(SeamMsOr("ZR_TEST_CHECK_MS", 10000))) CloseRun();
}

THttpDownProgeress* TCallBackHelper::CreateDownloader() {
#ifdef ZR_TEST_SEAMS
  // Stands in for a creation that pumps messages, as the HTML document
  // object behind the user agent may.
  DWORD Start = GetTickCount();
  DWORD Pump = TestSeamMs("ZR_TEST_PUMP_ON_TASK_CREATION");
  while (GetTickCount() - Start < Pump) {
    Application->ProcessMessages();
    Sleep(10);
  }
#endif
  auto* Task = new THttpDownProgeress(true);
  Task->OnProgress = [this](TObject* Sender, float Percent) { OnDownloadProgress(Sender, Percent); };
  Task->OnError = [this](TObject* Sender, const std::string& Msg) { OnDownloadError(Sender, Msg); };
  Task->OnComplete = [this](TObject* Sender) { OnDownloadComplete(Sender); };
  Task->OnMirrorHost = [](TObject*, const std::string& Host) {
    if (FormProgress) FormProgress->AddMessage(MirrorHostText + Host);
  };
  return Task;
}

void TCallBackHelper::CloseRun() {
  FClosing = true;
  PostApplicationClose();
}

void TCallBackHelper::HandleUpdateInfo(uint32_t Version, const std::string& Msg, const std::vector<std::string>& Urls) {
  // An answer has come: a question held back below waits as long as the
  // user is busy, neither ended by the check's time-out nor counted.
  StopCheckingTimeOut();
  if (FServerBusy) {
    ShowErrorNotice(ServerErrorText);
    CloseRun();
    return;
  }
  std::optional<TUpdateDecision> Taken = std::exchange(QuietDecision, std::nullopt);
  switch (Taken ? *Taken : Decide(Version, Urls, FAllowDowngrade, FRollout, FCritical)) {
    case udShowNoUpdate:
      ShowNoUpdateNotice();
      break;
    case udShowLatest:
      ShowLatestNotice();
      break;
    case udShowNothing:
      break;
    case udAskToUpdate: {
      // A quiet run keeps its question for when the film or the
      // presentation is over, so that no key meant for it answers it.
      // How often it looks whether the user is still busy.
      if (IsSilentRun()) WaitUntilUserIsFree(SeamMsOr("ZR_TEST_BUSY_CHECK_MS", 15000));
      std::string LocalText = VersionToText(GetLocalVersion());
      std::string NewText = VersionToText(Version);
      bool Accepted = AskToUpdate(NewText, LocalText, Msg);
      Log("the user %s the update", Accepted ? "accepted" : "declined");
      if (Accepted) DownloadUpdate(Urls[0]);
      break;
    }
    case udRelaunchElevated:
      RelaunchElevated();
      break;
  }
  CloseRun();
}

void TCallBackHelper::DownloadUpdate(const std::string& Url) {
  // Made only now: the user agent it asks the HTML engine for costs the
  // first window its time, and most runs never download.
  if (!FDownloader) FDownloader = CreateDownloader();
  // The task refuses a name that is no plain file in "update" before it
  // sends anything.
  FDownloader->Url = Url;
  FDownloader->Mirrors.assign(FUrls.begin() + 1, FUrls.end());
  FDownloader->Quiet = IsSilentRun();
  FDownloader->SaveFile = FolderOf(ParamStr(0)) + "update\\" + UrlFileName(Url);
  FDownloader->ExpectedSha256 = FSha256;
  FDownloader->ExpectedSize = FSize;
  // The installer runs elevated: nobody else may write where it is kept.
  FDownloader->AdminOnlyFolder = true;
  FDownloader->Resume();
  if (!RunProgressDialog(100)) FreeDownloader();
}

uint32_t TCallBackHelper::GetLocalVersion() { return ::GetLocalVersion(); }

std::string TCallBackHelper::VersionToText(uint32_t Version) {
  return std::to_string(Version >> 16) + "." + std::to_string(Version & 0xFFFF);
}

void TCallBackHelper::FreeDownloader() {
  delete FDownloader;
  FDownloader = nullptr;
}

void TCallBackHelper::OnDownloadProgress(TObject*, float Percent) {
  if (FormProgress) FormProgress->ShowProgress(Percent);
}

void TCallBackHelper::OnDownloadError(TObject* Sender, const std::string& Msg) {
  if (FormProgress) FormProgress->DownloadFailed(Sender, Msg);
}

void TCallBackHelper::OnDownloadComplete(TObject* Sender) {
#ifdef ZR_TEST_SEAMS
  // Tests widen the gap between the task's check and the last one.
  Sleep(TestSeamMs("ZR_TEST_PAUSE_BEFORE_START"));
#endif
  // The last look at the file comes before the player is asked to close: a
  // start that cannot happen must not end the film for nothing. Only the
  // file the task checked and still holds is started.
  const std::string& Path = FDownloader->SaveFile;
  bool Started = PathNamesFile(Path, FDownloader->CheckedFile());
  if (Started) {
    EnableDebugPrivilege();
    CloseClientWindow();
    Sleep(1000);
    Started = StartInstaller(Path, FDownloader->CheckedFile());
  }
  Log("installer %s: %s", Path.c_str(), Started ? "started" : "not started");
  FDownloader->ReleaseCheckedFile();
  // A run counts as a success once the installer runs, not before.
  if (Started) ResetFailureCount();
  if (!FormProgress) return;
  if (!Started) {
    FormProgress->DownloadFailed(Sender, VerifyErrorText);
    return;
  }
  FormProgress->AddMessage(Path);
  FormProgress->DownloadFinished(Sender);
}
