// The update controller: drives one whole run from the check of the update
// information to the hand-off to the installer.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "framework/Controls.h"

class THttpDownProgeress;

// Posted to the controller's window when the update information has arrived.
// The information travels with the message (see TUpdateInfo) so that a fetch
// that ends after the controller is gone touches nothing that was freed.
const UINT WM_UPDATEINFO = WM_USER + 3500;  // 4524

// "http://" + the update server's host + "/App/ZeRunUpdate.inf".
extern const char* const UPDATE_INFO_URL;

// What the background fetch found in the update-information document.
struct TUpdateInfo {
  std::vector<std::string> Urls;  // system code page
  uint32_t Version = 0;
  std::string Msg;                // system code page
};

// Reads the document's bytes (system code page) into Info; false when the
// text is not JSON or has no "Urls" array.
bool ParseUpdateInfo(const std::string& Bytes, TUpdateInfo& Info);

class TCallBackHelper : public TWinControl {
 public:
  explicit TCallBackHelper(TComponent* AOwner);
  ~TCallBackHelper() override;

  void HandleUpdateInfo(uint32_t Version, const std::string& Msg, const std::vector<std::string>& Urls);
  uint32_t GetLocalVersion();
  static std::string VersionToText(uint32_t Version);


 protected:
  LRESULT WndProc(UINT Msg, WPARAM WParam, LPARAM LParam) override;

 private:
  void WMUpdateInfo(TUpdateInfo* Info);
  void DownloadUpdate(const std::string& Url);
  void StartCheck();
  static int32_t FetchUpdateInfo(intptr_t Url, intptr_t Wnd);
  void PrepareDownloader();
  void FreeDownloader();
  void OnDownloadProgress(TObject* Sender, float Percent);
  void OnDownloadError(TObject* Sender, const std::string& Msg);
  void OnDownloadComplete(TObject* Sender);

  THttpDownProgeress* FDownloader = nullptr;
  std::vector<std::string> FUrls;
  uint32_t FVersion = 0;
  std::string FMsg;
};
