// The update notice window: the checking notice with its time-out, the
// question whether to update, and the notices that end a run.
#pragma once

#include <string>

#include "framework/ExtCtrls.h"
#include "framework/StdCtrls.h"
#include "ui/PNGButton.h"
#include "ui/PNGImage.h"
#include "ui/frmSkinBase2.h"
#include "ui/uTransLabel.h"

class TFormUpdateInfo : public TFormSkinBase2 {
 public:
  explicit TFormUpdateInfo(TComponent* AOwner);

  TPNGImage* PNGImage1;
  TImage* imgIco;
  TImage* imgYes;
  TImage* imgError;
  TLabel* lblInfo;
  TMemo* mmoHistory;
  TPNGCaptionButton* btnOK;
  TPNGCaptionButton* btnCancel;
  TTimer* tmr1;

  void FormCreate(TObject* Sender);
  void tmr1Timer(TObject* Sender);
  void FormCloseQuery(TObject* Sender, bool& CanClose);
};

// The look both skinned windows share: the "宋体" font (GB2312, black) of
// the given height, and an OK or Cancel button on the bottom row drawn from
// the four-frame button strip.
void SetSongFont(TFont& Font, int Height);
TPNGCaptionButton* NewSkinButton(TForm* Form, int Left, const char* Caption, int Result);

// The shared checking notice; created on first use, lives until the
// application ends.
extern TFormUpdateInfo* FormUpdateInfo;

// Runs the checking notice; its time-out ends the check after TimeOutMs.
bool ShowCheckingNotice(unsigned TimeOutMs);
void CloseCheckingNotice(int AModalResult);
// The document has arrived: the checking notice's time-out is over, the
// notice itself stays until another one takes its place.
void StopCheckingTimeOut();
bool AskToUpdate(const std::string& NewVersion, const std::string& LocalVersion,
                 const std::string& History);
bool ShowNoUpdateNotice();
bool ShowLatestNotice();
bool ShowManualDownloadNotice();
bool ShowErrorNotice(const std::string& ErrorText);
