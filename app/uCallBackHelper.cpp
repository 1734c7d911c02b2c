#include "app/uCallBackHelper.h"

#include <shellapi.h>

#include <memory>

#include "app/uFunction.h"
#include "app/uUpdateDecision.h"
#include "framework/Application.h"
#include "json/jsonobject.h"
#include "net/uAsync.h"
#include "net/uFunction.h"
#include "net/uHttpDownProgeress.h"
#include "ui/frmProgress.h"
#include "ui/frmUpdateInfo.h"

const char* const UPDATE_INFO_URL = "http://" ZERUN_UPDATE_HOST "/App/ZeRunUpdate.inf";

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

// A file name the download may use: not empty and not a folder reference,
// so nothing is written or deleted outside the "update" folder.
bool IsUsableFileName(const std::string& Name) { return !Name.empty() && Name != "." && Name != ".."; }

}  // namespace

bool ParseUpdateInfo(const std::string& Bytes, TUpdateInfo& Info) {
  IJsonObjectPtr Doc = ParseJsonText(AnsiToWide(Bytes));
  if (!Doc) return false;
  TJsonArray* Urls = Doc->GetPathArray(u"Urls");  // held by Doc
  if (!Urls) return false;
  for (int I = 0; I < Urls->Length(); ++I) Info.Urls.push_back(WideToAnsi(Urls->ItemText(I)));
  Info.Version = static_cast<uint32_t>(Doc->GetPathInteger(u"ver"));
  Info.Msg = WideToAnsi(Doc->GetPathText(u"Msg"));
  return true;
}

TCallBackHelper::TCallBackHelper(TComponent* AOwner) : TWinControl(AOwner) {
  // FUrls starts empty as a member. The window must exist before the
  // background fetch can post to it.
  SetParent(Application->MainForm());
  HandleNeeded();
  StartCheck();
  PrepareDownloader();
}

TCallBackHelper::~TCallBackHelper() {
  FreeDownloader();
  FUrls.clear();
  // An answer of the fetch still queued for this window carries its own data.
  MSG M;
  while (HandleAllocated() && PeekMessageA(&M, Handle(), WM_UPDATEINFO, WM_UPDATEINFO, PM_REMOVE))
    delete reinterpret_cast<TUpdateInfo*>(M.lParam);
}

LRESULT TCallBackHelper::WndProc(UINT Msg, WPARAM WParam, LPARAM LParam) {
  if (Msg == WM_UPDATEINFO) {
    WMUpdateInfo(reinterpret_cast<TUpdateInfo*>(LParam));
    return 0;
  }
  return TWinControl::WndProc(Msg, WParam, LParam);
}

void TCallBackHelper::WMUpdateInfo(TUpdateInfo* Info) {
  std::unique_ptr<TUpdateInfo> Owned(Info);
  if (!Owned) return;
  FUrls = std::move(Owned->Urls);
  FVersion = Owned->Version;
  FMsg = std::move(Owned->Msg);
  HandleUpdateInfo(FVersion, FMsg, FUrls);
}

void TCallBackHelper::StartCheck() {
  char* Url = new char[strlen(UPDATE_INFO_URL) + 1];
  strcpy(Url, UPDATE_INFO_URL);
  RunAsync(&TCallBackHelper::FetchUpdateInfo, reinterpret_cast<intptr_t>(Url), reinterpret_cast<intptr_t>(Handle()));
}

int32_t TCallBackHelper::FetchUpdateInfo(intptr_t UrlParam, intptr_t WndParam) {
  bool Result = false;
  try {
    std::unique_ptr<char[]> UrlCopy(reinterpret_cast<char*>(UrlParam));
    std::string Url = UrlCopy.get();
    UrlCopy.reset();
    std::string Path = GetUrlFile(Url, "");
    Result = !Path.empty();
    HWND Wnd = reinterpret_cast<HWND>(WndParam);
    if (Result && Wnd && FileExists(Path)) {
      auto Info = std::make_unique<TUpdateInfo>();
      if (ParseUpdateInfo(ReadFileText(Path), *Info) && PostMessageA(Wnd, WM_UPDATEINFO, 0, reinterpret_cast<LPARAM>(Info.get())))
        Info.release();  // the controller's window owns it now
    }
  } catch (...) {
    // Nothing arrives; the checking notice's time-out takes over.
  }
  return Result ? 1 : 0;
}

void TCallBackHelper::PrepareDownloader() {
  if (!FDownloader) FDownloader = new THttpDownProgeress(true);
  FDownloader->OnProgress = [this](TObject* Sender, float Percent) { OnDownloadProgress(Sender, Percent); };
  FDownloader->OnError = [this](TObject* Sender, const std::string& Msg) { OnDownloadError(Sender, Msg); };
  FDownloader->OnComplete = [this](TObject* Sender) { OnDownloadComplete(Sender); };
  if (!ShowCheckingNotice()) {
    FreeDownloader();
    PostApplicationClose();
  }
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
      // Without a task the user has cancelled already and the run is closing.
      if (FDownloader && AskToUpdate(NewText, LocalText, Msg)) DownloadUpdate(Urls[0]);
      break;
    }
    case udRelaunchElevated:
      RelaunchElevated();
      break;
  }
  PostApplicationClose();
}

void TCallBackHelper::DownloadUpdate(const std::string& Url) {
  std::string FileName = UrlFileName(Url);
  if (!IsUsableFileName(FileName)) {
    if (FormProgress) FormProgress->DownloadFailed(this, NetErrorText);
    return;
  }
  FDownloader->Url = Url;
  FDownloader->SaveFile = FolderOf(ParamStr(0)) + "update\\" + FileName;
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
  if (FormProgress) {
    FormProgress->AddMessage(FDownloader->SaveFile);
    FormProgress->DownloadFinished(Sender);
  }
  StartInstaller(FDownloader->SaveFile);
}
