#include "app/uCallBackHelper.h"

#include <shellapi.h>

#include <cstdio>
#include <functional>
#include <memory>

#include "app/uBuildOptions.h"
#include "app/uFunction.h"
#include "app/uUpdateDecision.h"
#include "app/uUserBusy.h"
#include "framework/Application.h"
#include "framework/GbkText.h"
#include "json/jsonobject.h"
#include "net/uAsync.h"
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
  for (int I = 0; I < Urls->Length(); ++I) Info.Urls.push_back(WideToAnsi(Urls->ItemText(I)));
  Info.Version = static_cast<uint32_t>(Doc->GetPathInteger(u"ver"));
  Info.Msg = WideToAnsi(Doc->GetPathText(u"Msg"));
  Info.Sha256 = CheckedText(Doc->GetPath(u"Sha256"));
  Info.Size = SizeValue(Doc->GetPath(u"Size"));
  Info.Expires = CheckedText(Doc->GetPath(u"Expires"));
  IJsonObjectPtr Downgrade = Doc->GetPath(u"AllowDowngrade");
  Info.AllowDowngrade = Downgrade && Downgrade->IsType(skBoolean) && Downgrade->ToBoolean();
  return true;
}

bool ReadActingDocument(const std::string& Bytes, const std::string& PublicKeys, const std::string& Now,
                        TUpdateInfo& Info) {
  if (PublicKeys.empty()) return ParseUpdateInfo(Bytes, Info);
  std::string Signed;
  std::vector<std::string> Signatures;
  TSha256 Digest;
  // The signed bytes alone, so nothing but the signature lines may follow
  // the value; GBK on every machine, so the bytes have one meaning.
  return VerifyDocument(Bytes, PublicKeys) && SplitSignedDocument(Bytes, Signed, Signatures) &&
         ParseUpdateInfo(Signed, Info, 936, true) && ParseSha256(Info.Sha256, Digest) && InDate(Info.Expires, Now);
}

namespace {

// How often a quiet run looks whether the user is still busy.
DWORD BusyCheckInterval() {
#ifdef ZR_TEST_SEAMS
  if (DWORD Ms = TestSeamMs("ZR_TEST_BUSY_CHECK_MS")) return Ms;
#endif
  return 15000;
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

// The document read into Info, when it may act with this build's keys.
bool ReadActingDocument(const std::string& Bytes, TUpdateInfo& Info) {
  return ReadActingDocument(Bytes, UPDATE_PUBLIC_KEY, UtcNow(), Info);
}

TUpdateDecision Decide(uint32_t Version, const std::vector<std::string>& Urls, bool AllowDowngrade) {
  // With a key built in, a replayed earlier document must not install an
  // older release unless the vendor signed that wish.
  bool MayDowngrade = !*UPDATE_PUBLIC_KEY || AllowDowngrade;
  return DecideUpdate(!Urls.empty(), Version, GetLocalVersion(), IsProcessElevated(), IsPostBbsRun(), IsSilentRun(),
                      MayDowngrade);
}

// The quiet run's answer, read before the controller existed: its start
// takes it instead of fetching again.
std::unique_ptr<TUpdateInfo> QuietAnswer;

}  // namespace

bool RunQuietCheck() {
  std::unique_ptr<TUpdateInfo> Info = TCallBackHelper::FetchInfo(UPDATE_INFO_URL);
  if (!Info) {
    // No answer: what the checking notice's time-out would decide, at once.
    if (CheckFailureCount()) {
      Application->Initialize();
      ShowManualDownloadNotice();
    }
    return false;
  }
  if (Decide(Info->Version, Info->Urls, Info->AllowDowngrade) == udShowNothing) return false;
  QuietAnswer = std::move(Info);
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
  // Creating the task may pump messages: an answer that comes meanwhile
  // waits for the task (see PrepareDownloader).
  if (!FDownloader) {
    FInfoWaiting = true;
    return;
  }
  HandleUpdateInfo(FVersion, FMsg, FUrls);
}

void TCallBackHelper::StartCheck() {
  if (QuietAnswer) {
    FInbox->Info = std::move(QuietAnswer);
    PostMessageA(Handle(), WM_UPDATEINFO, 0, 0);
    return;
  }
  auto Request = std::make_unique<TCheckRequest>(TCheckRequest{UPDATE_INFO_URL, FInbox});
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
    std::string Path = GetUrlFile(Url, "", Accept);
    auto Info = std::make_unique<TUpdateInfo>();
    std::string Bytes = !Path.empty() && FileExists(Path) ? ReadFileText(Path, MaxDocumentSize) : "";
    // A document that may not act is no answer, as when nothing arrives.
    if (!Bytes.empty() && ReadActingDocument(Bytes, *Info)) return Info;
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
  if (!FDownloader) FDownloader = CreateDownloader();
  if (FInfoWaiting) {
    HandleUpdateInfo(FVersion, FMsg, FUrls);
    return;
  }
  if (!ShowCheckingNotice()) {
    CloseRun();
    FreeDownloader();
  }
}

THttpDownProgeress* TCallBackHelper::CreateDownloader() {
#ifdef ZR_TEST_SEAMS
  // Stands in for a creation that pumps messages while the answer comes in,
  // as the HTML document object behind the user agent may.
  DWORD Start = GetTickCount();
  DWORD Pump = TestSeamMs("ZR_TEST_PUMP_ON_TASK_CREATION");
  while (!FInfoWaiting && GetTickCount() - Start < Pump) {
    Application->ProcessMessages();
    Sleep(10);
  }
#endif
  auto* Task = new THttpDownProgeress(true);
  Task->OnProgress = [this](TObject* Sender, float Percent) { OnDownloadProgress(Sender, Percent); };
  Task->OnError = [this](TObject* Sender, const std::string& Msg) { OnDownloadError(Sender, Msg); };
  Task->OnComplete = [this](TObject* Sender) { OnDownloadComplete(Sender); };
  return Task;
}

void TCallBackHelper::CloseRun() {
  FClosing = true;
  PostApplicationClose();
}

void TCallBackHelper::HandleUpdateInfo(uint32_t Version, const std::string& Msg, const std::vector<std::string>& Urls) {
  switch (Decide(Version, Urls, FAllowDowngrade)) {
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
      if (IsSilentRun()) WaitUntilUserIsFree(BusyCheckInterval());
      std::string LocalText = VersionToText(GetLocalVersion());
      std::string NewText = VersionToText(Version);
      if (AskToUpdate(NewText, LocalText, Msg)) DownloadUpdate(Urls[0]);
      break;
    }
    case udRelaunchElevated:
      RelaunchElevated();
      break;
  }
  CloseRun();
}

void TCallBackHelper::DownloadUpdate(const std::string& Url) {
  // The task refuses a name that is no plain file in "update" before it
  // sends anything.
  FDownloader->Url = Url;
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
  ResetFailureCount();
  EnableDebugPrivilege();
  CloseClientWindow();
  Sleep(1000);
#ifdef ZR_TEST_SEAMS
  // Tests widen the gap between the check and the start.
  Sleep(TestSeamMs("ZR_TEST_PAUSE_BEFORE_START"));
#endif
  // Only the file the task checked and still holds is started; the window
  // shows the download finished once it has been.
  bool Started = StartInstaller(FDownloader->SaveFile, FDownloader->CheckedFile());
  FDownloader->ReleaseCheckedFile();
  if (!FormProgress) return;
  if (!Started) {
    FormProgress->DownloadFailed(Sender, VerifyErrorText);
    return;
  }
  FormProgress->AddMessage(FDownloader->SaveFile);
  FormProgress->DownloadFinished(Sender);
}
