// The update controller: drives one whole run from the check of the update
// information to the hand-off to the installer.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/uUpdateDecision.h"
#include "framework/Controls.h"

class THttpDownProgeress;

// Posted to the controller's window when the update information has arrived
// in its inbox (see TUpdateInbox).
const UINT WM_UPDATEINFO = WM_USER + 3500;  // 4524

// What the background fetch found in the update-information document.
struct TUpdateInfo {
  std::vector<std::string> Urls;  // system code page
  uint32_t Version = 0;
  std::string Msg;                // system code page
  // The installer's SHA-256 and size, when the document gives them: empty
  // and 0 when it does not. A "Sha256" that is no text, or empty text, keeps
  // its JSON spelling (never 64 hex digits) and a "Size" that is no positive
  // integer is -1, so a malformed member fails the check instead of
  // switching it off.
  std::string Sha256;
  int64_t Size = 0;
  // "Expires" as given (see Sha256 for one that is no text), empty when the
  // document gives none; whether it says "AllowDowngrade": true.
  std::string Expires;
  bool AllowDowngrade = false;
  // "Rollout" (0..100; a document with any other value does not read),
  // whether it says "Critical": true, and "Published" as Expires.
  int Rollout = 100;
  bool Critical = false;
  std::string Published;
  // An interactive run's request was answered 503 or 429: the server is
  // busy, whatever copy was kept.
  bool ServerBusy = false;
};

// Where the background fetch leaves the update information before it posts
// WM_UPDATEINFO. The fetch and the controller both hold it, so a fetch that
// ends after the controller is gone touches nothing that was freed, and an
// answer whose message is never handled is freed with the inbox.
struct TUpdateInbox {
  std::unique_ptr<TUpdateInfo> Info;
};

// Reads the document's bytes (in CodePage) into Info; false when the text is
// not JSON or has no "Urls" array. Strict reads it with ParseJsonDocument
// and also refuses a "ver" that is no integer from 0 to 4294967295.
bool ParseUpdateInfo(const std::string& Bytes, TUpdateInfo& Info, UINT CodePage = CP_ACP, bool Strict = false);
// Reads into Info a document that may act with PublicKeys (comma-separated
// base64; empty when no signature is required) at the time Now
// ("YYYY-MM-DDTHH:MM:SSZ", UTC); false for one that may not. Without keys
// every document that reads may act. With keys only one whose signature
// lines sign it with one of them, that reads strictly as code page 936 on
// every machine, names its installer's SHA-256, is in date and is no older
// than Newest, the newest "Published" accepted so far (see MayActPublished).
// Verdict, when given, says in a few words why a document may act or not.
bool ReadActingDocument(const std::string& Bytes, const std::string& PublicKeys, const std::string& Now,
                        const std::string& Newest, TUpdateInfo& Info, const char** Verdict = nullptr);

class TCallBackHelper : public TWinControl {
 public:
  explicit TCallBackHelper(TComponent* AOwner);
  ~TCallBackHelper() override;

  void HandleUpdateInfo(uint32_t Version, const std::string& Msg, const std::vector<std::string>& Urls);
  uint32_t GetLocalVersion();
  static std::string VersionToText(uint32_t Version);
  // The background task: fetches and reads the document at Url, leaves the
  // information in Inbox and posts WM_UPDATEINFO to Wnd. Param1 is a
  // TCheckRequest made with new, which the task frees.
  static int32_t FetchUpdateInfo(intptr_t Param1, intptr_t Wnd);
  // Fetches and reads the document at Url: its information when it may act.
  static std::unique_ptr<TUpdateInfo> FetchInfo(const std::string& Url);

 protected:
  LRESULT WndProc(UINT Msg, WPARAM WParam, LPARAM LParam) override;

 private:
  void WMUpdateInfo();
  void DownloadUpdate(const std::string& Url);
  void StartCheck();
  // Runs the checking notice; the task is made once the user agrees.
  void PrepareDownloader();
  THttpDownProgeress* CreateDownloader();
  void FreeDownloader();
  void CloseRun();
  void OnDownloadProgress(TObject* Sender, float Percent);
  void OnDownloadError(TObject* Sender, const std::string& Msg);
  void OnDownloadComplete(TObject* Sender);

  THttpDownProgeress* FDownloader = nullptr;
  std::vector<std::string> FUrls;
  uint32_t FVersion = 0;
  std::string FMsg;
  std::string FSha256;
  int64_t FSize = 0;
  bool FAllowDowngrade = false;
  int FRollout = 100;
  bool FCritical = false;
  bool FServerBusy = false;
  std::shared_ptr<TUpdateInbox> FInbox = std::make_shared<TUpdateInbox>();
  bool FClosing = false;      // the run is ending: nothing more is asked or shown
};

// What StartCheck hands to the background fetch.
struct TCheckRequest {
  std::string Url;
  std::shared_ptr<TUpdateInbox> Inbox;
};

// The quiet run's check, made before any window exists, so that a run with
// nothing to show pays only for its request: fetches and decides on this
// thread. False when the run is over: no update, or no answer (the failure
// counted, and the manual-download notice shown at the limit). True when
// the controller is to act on the answer, which it takes without a fetch.
bool RunQuietCheck();
