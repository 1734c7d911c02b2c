// The progress window of the installer download. One instance is also the
// program's never-shown main window.
#pragma once

#include <windows.h>

#include <string>

#include "framework/ComCtrls.h"
#include "framework/ExtCtrls.h"
#include "framework/Menus.h"
#include "framework/StdCtrls.h"
#include "ui/PNGButton.h"
#include "ui/frmSkinBase2.h"
#include "ui/uTransLabel.h"

// <dlgs.h>, reached through <windows.h>, names a dialog control id lst1.
#undef lst1

class TFormProgress : public TFormSkinBase2 {
 public:
  explicit TFormProgress(TComponent* AOwner);

  TProgressBar* pb1;
  TListBox* lst1;
  TLabel* lbl1;
  TLabel* lbl2;
  TTrayIcon* TrayIcon1;
  TPopupMenu* pm1;
  TMenuItem* N1;
  TMenuItem* N2;
  TPNGCaptionButton* btnOK;
  TPNGCaptionButton* btnCancel;

  void ShowProgress(float Percent);
  void AddMessage(const std::string& Text);
  void DownloadFinished(TObject* Sender);
  void DownloadFailed(TObject* Sender, const std::string& Message);

  void FormCreate(TObject* Sender);
  void FormCloseQuery(TObject* Sender, bool& CanClose);
  void N2Click(TObject* Sender);
  // As the tray menu's "show" when the window waits in the tray.
  void RestoreFromTray();
  void TrayIcon1Click(TObject* Sender);
  void N1Click(TObject* Sender);

 private:
  bool FFinished = false;
};

// The hidden main window, then the modal progress dialog while it runs;
// empty once that dialog is gone.
extern TFormProgress* FormProgress;

// Shows a new progress dialog modally; true when it ended with OK.
bool RunProgressDialog(int Max);
