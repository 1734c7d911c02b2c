#include "ui/frmProgress.h"

#include <cmath>
#include <cstdio>
#include <memory>

#include "app/uFunction.h"
#include "framework/Application.h"
#include "framework/uLog.h"
#include "net/uHttpDownProgeress.h"
#include "ui/frmUpdateInfo.h"

TFormProgress* FormProgress = nullptr;

namespace {

const char kTitle[] = "泽润影音升级程序";
const TColor kFormColor = 16119285;  // 0xF5F5F5
const int kCancelResult = 7;

TLabel* NewLabel(TFormProgress* Form, int Top, const char* Caption) {
  TLabel* Label = new TLabel(Form);
  Label->SetParent(Form);
  Label->SetBounds(40, Top, 52, 13);
  // lbl1 lies on the title strip of the background picture.
  Label->SetTransparent(true);
  Label->SetCaption(Caption);
  return Label;
}

TMenuItem* NewMenuItem(TFormProgress* Form, const char* Caption, void (TFormProgress::*Handler)(TObject*)) {
  TMenuItem* Item = new TMenuItem(Form);
  Item->Caption = Caption;
  Item->OnClick = [Form, Handler](TObject* Sender) { (Form->*Handler)(Sender); };
  Form->pm1->Add(Item);
  return Item;
}

// The percentage rounded to the nearest integer, halves to the even
// neighbour (the default rounding mode). A value outside the bar, or not a
// number at all (a download of unknown size), is kept within it.
int BarPosition(float Percent, int Max) {
  double Rounded = std::nearbyint(static_cast<double>(Percent));
  if (!(Rounded > 0)) return 0;
  if (Rounded > Max) return Max;
  return static_cast<int>(Rounded);
}

}  // namespace

TFormProgress::TFormProgress(TComponent* AOwner) : TFormSkinBase2(AOwner) {
  SetCaption("升级程序");
  SetClientWidth(412);
  SetClientHeight(252);
  Position = poScreenCenter;
  SetFormStyle(fsStayOnTop);
  SetColor(kFormColor);
  SetSongFont(Font(), -13);

  pb1 = new TProgressBar(this);
  pb1->SetParent(this);
  pb1->SetBounds(40, 64, 329, 17);
  pb1->SetMin(0);
  pb1->SetCaption("升级进度");  // its name for assistive technology

  lst1 = new TListBox(this);
  lst1->SetParent(this);
  lst1->SetBounds(40, 115, 329, 63);
  SetSongFont(lst1->Font(), -13);
  lst1->SetItemHeight(13);

  lbl1 = NewLabel(this, 45, "升级进度");
  lbl2 = NewLabel(this, 96, "升级信息");

  pm1 = new TPopupMenu(this);
  N2 = NewMenuItem(this, "显示窗体", &TFormProgress::N2Click);
  N1 = NewMenuItem(this, "退出升级", &TFormProgress::N1Click);

  TrayIcon1 = new TTrayIcon(this);
  TrayIcon1->PopupMenu = pm1;
  TrayIcon1->OnClick = [this](TObject* Sender) { TrayIcon1Click(Sender); };
  TrayIcon1->SetVisible(false);

  btnOK = NewSkinButton(this, 185, "确定", 1);
  btnCancel = NewSkinButton(this, 284, "取消", kCancelResult);
  DefaultControl = btnOK;
  CancelControl = btnCancel;

  OnCreate = [this](TObject* Sender) { FormCreate(Sender); };
  DoCreate();
  OnCloseQuery = [this](TObject* Sender, bool& CanClose) { FormCloseQuery(Sender, CanClose); };
}

void TFormProgress::FormCreate(TObject*) {
  SetBorderIcons(biSystemMenu | biMinimize);
  FFinished = false;
  SetCaption(kTitle);
  pb1->DoubleBuffered = true;  // frequent updates must not flicker
  btnOK->SetEnabled(false);
  btnOK->Font().SetColor(clSilver);
  lst1->Items().Clear();
  lst1->Items().Add("正在升级......");
}

bool RunProgressDialog(int Max) {
  // Declared first, so that it runs after the dialog is destroyed, on every
  // way out.
  struct TClearOnExit {
    ~TClearOnExit() { FormProgress = nullptr; }
  } ClearOnExit;
  std::unique_ptr<TFormProgress> Dialog(new TFormProgress(nullptr));
  FormProgress = Dialog.get();
  Dialog->pb1->SetMax(Max);
  return Dialog->ShowModal() == 1;
}

void TFormProgress::ShowProgress(float Percent) {
  char Text[64];
  std::snprintf(Text, sizeof Text, "%.1f", Percent);
  lbl1->SetCaption(std::string("下载进度") + Text + "%");
  pb1->SetPosition(BarPosition(Percent, pb1->Max()));
}

void TFormProgress::AddMessage(const std::string& Text) {
  Log("progress window: %s", Text.c_str());
  lst1->Items().BeginUpdate();
  try {
    lst1->Items().Add(Text);
    lst1->SetItemIndex(lst1->Items().Count() - 1);
  } catch (...) {
    lst1->Items().EndUpdate();
    throw;
  }
  lst1->Items().EndUpdate();
}

void TFormProgress::DownloadFinished(TObject*) {
  AddMessage("下载完成");
  FFinished = true;
  btnCancel->SetEnabled(false);
  btnCancel->Font().SetColor(clSilver);
  btnOK->SetEnabled(true);
  // Dark like the notices' buttons: it is the one button left to press.
  btnOK->Font().SetColor(clBlack);
  N2Click(this);
}

void TFormProgress::DownloadFailed(TObject*, const std::string& Message) {
  // A full disk is no fault of the server: it counts no failure.
  if (Message != DiskFullText && CheckFailureCount())
    ShowManualDownloadNotice();
  else
    ShowErrorNotice(Message);
}

void TFormProgress::FormCloseQuery(TObject*, bool& CanClose) {
  if (!Visible() || FFinished || ModalResult() == kCancelResult) return;
  Hide();
  TrayIcon1->SetIcon(Application->Icon);
  TrayIcon1->SetVisible(true);
  TrayIcon1->SetHint(kTitle);
  CanClose = false;
}

void TFormProgress::N2Click(TObject*) {
  Application->Restore();  // restores only what is minimised
  Show();
  TrayIcon1->SetVisible(false);
}

void TFormProgress::RestoreFromTray() {
  if (TrayIcon1->Visible()) N2Click(this);
}

void TFormProgress::TrayIcon1Click(TObject* Sender) { N2Click(Sender); }

void TFormProgress::N1Click(TObject*) { Close(); }
