#include "app/uCallBackHelper.h"

#include <shellapi.h>

#include <functional>
#include <memory>

#include "app/uBuildOptions.h"
#include "app/uFunction.h"
#include "app/uUpdateDecision.h"
#include "framework/Application.h"
#include "json/jsonobject.h"
#include "net/uAsync.h"
#include "net/uFunction.h"
#include "net/uHttpDownProgeress.h"
#include "net/uSignature.h"
#include "net/uVerify.h"
#include "ui/frmProgress.h"
#include "ui/frmUpdateInfo.h"

namespace {

std::u16string AnsiToWide(const std::string& Text) {
  if (Text.empty()) return {};
  int n = MultiByteToWideChar(CP_ACP, 0, Text.data(), static_cast<int>(Text.size()), nullptr, 0);
  std::u16string out(n, u'\0');
  MultiByteToWideChar(CP_ACP, 0, Text.data(), static_cast<int>(Text.size()), reinterpret_cast<wchar_t*>(&out[0]), n);
  return out;
}

std::string WideToAnsi(const std::u16string& Text) {
  if (Text.empty()) return {};
  const wchar_t* w = reinterpret_cast<const wchar_t*>(Text.data());
  int n = WideCharToMultiByte(CP_ACP, 0, w, static_cast<int>(Text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(n, '\0');
  WideCharToMultiByte(CP_ACP, 0, w, static_cast<int>(Text.size()), &out[0], n, nullptr, nullptr);
  return out;
}

std::string DigestText(const IJsonObjectPtr& Value) {
  if (!Value) return "";
  std::u16string Text = Value->IsType(skString) ? Value->ToText() : u"";
  return WideToAnsi(Text.empty() ? Value->ToJsonText(false, false) : Text);
}

int64_t SizeValue(const IJsonObjectPtr& Value) {
  if (!Value) return 0;
  return Value->IsType(skInteger) && Value->ToInteger() > 0 ? Value->ToInteger() : -1;
}

}  // namespace

bool ParseUpdateInfo(const std::string& Bytes, TUpdateInfo& Info) {
  IJsonObjectPtr Doc = ParseJsonText(AnsiToWide(Bytes));
  if (!Doc) return false;
  TJsonArray* Urls = Doc->GetPathArray(u"Urls");  // held by Doc
  if (!Urls) return false;
  for (int I = 0; I < Urls->Length(); ++I) Info.Urls.push_back(WideToAnsi(Urls->ItemText(I)));
  Info.Version = static_cast<uint32_t>(Doc->GetPathInteger(u"ver"));
  Info.Msg = WideToAnsi(Doc->GetPathText(u"Msg"));
  Info.Sha256 = DigestText(Doc->GetPath(u"Sha256"));
  Info.Size = SizeValue(Doc->GetPath(u"Size"));
  return true;
}

bool MayDocumentAct(const std::string& Bytes, const TUpdateInfo& Info, const std::string& PublicKey) {
  if (PublicKey.empty()) return true;
  TSha256 Digest;
  return VerifyDocument(Bytes, PublicKey) && ParseSha256(Info.Sha256, Digest);
}

namespace {

// The document read into Info, when it may act with this build's key.
bool ReadActingDocument(const std::string& Bytes, TUpdateInfo& Info) {
  return ParseUpdateInfo(Bytes, Info) && MayDocumentAct(Bytes, Info, UPDATE_PUBLIC_KEY);
}

}  // namespace

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
  // Creating the task may pump messages: an answer that comes meanwhile
  // waits for the task (see PrepareDownloader).
  if (!FDownloader) {
    FInfoWaiting = true;
    return;
  }
  HandleUpdateInfo(FVersion, FMsg, FUrls);
}

void TCallBackHelper::StartCheck() {
  auto Request = std::make_unique<TCheckRequest>(TCheckRequest{UPDATE_INFO_URL, FInbox});
  RunAsync(&TCallBackHelper::FetchUpdateInfo, reinterpret_cast<intptr_t>(Request.get()),
           reinterpret_cast<intptr_t>(Handle()));
  Request.release();  // the task frees it
}

int32_t TCallBackHelper::FetchUpdateInfo(intptr_t Param1, intptr_t WndParam) {
  bool Result = false;
  try {
    std::unique_ptr<TCheckRequest> Request(reinterpret_cast<TCheckRequest*>(Param1));
    // With a key built in, a fresh document that may not act is not kept:
    // the good copy stays for offline runs, and a forged answer cannot pin
    // the real tag on itself and draw 304s for ever after.
    std::function<bool(const std::string&)> Accept;
    if (*UPDATE_PUBLIC_KEY) Accept = [](const std::string& Bytes) {
        TUpdateInfo Info;
        return ReadActingDocument(Bytes, Info);
      };
    std::string Path = GetUrlFile(Request->Url, "", Accept);
    Result = !Path.empty();
    HWND Wnd = reinterpret_cast<HWND>(WndParam);
    auto Info = std::make_unique<TUpdateInfo>();
    std::string Bytes = Result && Wnd && FileExists(Path) ? ReadFileText(Path) : "";
    // A document that may not act is no answer: the checking notice's
    // time-out takes over, as when nothing arrives.
    if (!Bytes.empty() && ReadActingDocument(Bytes, *Info)) {
      Request->Inbox->Info = std::move(Info);
      PostMessageA(Wnd, WM_UPDATEINFO, 0, 0);
    }
  } catch (...) {
    // Nothing arrives; the checking notice's time-out takes over.
  }
  return Result ? 1 : 0;
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
  switch (DecideUpdate(!Urls.empty(), Version, GetLocalVersion(), IsProcessElevated(), IsPostBbsRun(), IsSilentRun())) {
    case udShowNoUpdate:
      ShowNoUpdateNotice();
      break;
    case udShowLatest:
      ShowLatestNotice();
      break;
    case udShowNothing:
      break;
    case udAskToUpdate: {
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
