#include "ui/frmUpdateInfo.h"

#include <shellapi.h>

#include <memory>

#include "app/uConst.h"
#include "app/uFunction.h"
#include "framework/Application.h"
#include "framework/uLog.h"
#include "image/Picture.h"
#include "skin/skin_ids.h"

TFormUpdateInfo* FormUpdateInfo = nullptr;

void SetSongFont(TFont& Font, int Height) {
  Font.SetName("宋体");
  Font.SetHeight(Height);
  Font.SetCharset(GB2312_CHARSET);
  Font.SetColor(clBlack);
}

TPNGCaptionButton* NewSkinButton(TForm* Form, int Left, const char* Caption, int Result) {
  TPNGCaptionButton* Button = new TPNGCaptionButton(Form);
  Button->SetParent(Form);
  Button->SetBounds(Left, 194, 80, 28);
  Button->PNGImage().LoadSkinResource(GetModuleHandleA(nullptr), IDR_SKIN_BUTTON);
  Button->SetNumGlyphs(4);
  Button->SetAutoSize(true);
  Button->SetCaption(Caption);
  Button->SetShowCaption(true);
  Button->ModalResult = Result;
  SetSongFont(Button->Font(), -12);
  return Button;
}

namespace {

const char kTitle[] = "泽润影音升级程序";
const TColor kFormColor = 16119285;  // 0xF5F5F5

// A skin PNG as the picture of a TImage, drawn with its alpha.
class TPNGGraphic : public TGraphic {
 public:
  explicit TPNGGraphic(int ResourceId) { FPicture.LoadSkinResource(GetModuleHandleA(nullptr), ResourceId); }
  int Width() const override { return FPicture.Width(); }
  int Height() const override { return FPicture.Height(); }
  void Draw(HDC DC, const TRect& Dest) const override {
    FPicture.DrawPNGPart(DC, Dest, TRect(0, 0, Width(), Height()));
  }
  void SetPixelsPerInch(int PPI) override { FPicture.SetPixelsPerInch(PPI); }

 private:
  TPicture FPicture;
};

TImage* NewBadge(TFormUpdateInfo* Form, int Width, int ResourceId, bool Visible) {
  TImage* Image = new TImage(Form);
  Image->SetParent(Form);
  Image->SetBounds(17, 83, Width, 55);
  Image->SetPicture(std::make_shared<TPNGGraphic>(ResourceId));
  Image->SetAutoSize(true);
  Image->SetVisible(Visible);
  return Image;
}

}  // namespace

TFormUpdateInfo::TFormUpdateInfo(TComponent* AOwner) : TFormSkinBase2(AOwner) {
  SetCaption("升级程序");
  SetClientWidth(412);
  SetClientHeight(252);
  SetColor(kFormColor);
  SetSongFont(Font(), -13);
  // On the player's monitor, not across the seam of two.
  Position = poMonitorCenter;
  CenterOn = [] { return FindWindowA(CLIENT_WINDOW_CLASS, nullptr); };

  PNGImage1 = new TPNGImage(this);
  PNGImage1->SetParent(this);
  PNGImage1->SetBounds(20, 15, 107, 27);
  PNGImage1->PNGImage().LoadSkinResource(GetModuleHandleA(nullptr), IDR_SKIN_TITLE);
  PNGImage1->SetAutoSize(true);

  imgIco = NewBadge(this, 110, IDR_SKIN_BADGE_INFO, true);
  imgYes = NewBadge(this, 110, IDR_SKIN_BADGE_YES, false);
  imgError = NewBadge(this, 104, IDR_SKIN_BADGE_ERROR, false);

  lblInfo = new TLabel(this);
  lblInfo->SetParent(this);
  lblInfo->SetAutoSize(false);
  lblInfo->SetBounds(127, 72, 256, 42);
  lblInfo->SetTransparent(true);
  lblInfo->SetLayout(tlCenter);
  lblInfo->SetWordWrap(true);
  SetSongFont(lblInfo->Font(), -13);
  lblInfo->SetCaption("目前最新版本是1.1版本，建议您升级！");

  mmoHistory = new TMemo(this);
  mmoHistory->SetParent(this);
  mmoHistory->SetBounds(127, 109, 250, 63);
  mmoHistory->SetReadOnly(true);
  mmoHistory->TabStop = false;
  // Stored as the window's text: asking for Lines here would create the
  // window before the form is complete.
  mmoHistory->SetCaption("1.1版本特性\r\n    1 优化了P2P下载速度\r\n    2 修改了播放拖放问题");

  btnOK = NewSkinButton(this, 185, "确定", 1);
  btnCancel = NewSkinButton(this, 284, "取消", 2);
  DefaultControl = btnOK;
  CancelControl = btnCancel;

  tmr1 = new TTimer(this);
  tmr1->SetEnabled(false);
  tmr1->SetInterval(10000);
  tmr1->OnTimer = [this](TObject* Sender) { tmr1Timer(Sender); };

  OnCreate = [this](TObject* Sender) { FormCreate(Sender); };
  DoCreate();
  OnCloseQuery = [this](TObject* Sender, bool& CanClose) { FormCloseQuery(Sender, CanClose); };
}

// A notice without Cancel ends as its OK would, however it is closed (the
// close button, Alt+F4): the error notice then ends the run instead of
// leaving a progress window whose download has stopped.
void TFormUpdateInfo::FormCloseQuery(TObject*, bool&) {
  if (ModalResult() == mrCancel && !btnCancel->Visible()) SetModalResult(mrOk);
}

void TFormUpdateInfo::FormCreate(TObject*) {
  SetCaption(kTitle);
  SetBorderIcons(biSystemMenu | biMinimize);
}

void TFormUpdateInfo::tmr1Timer(TObject*) {
  tmr1->SetEnabled(false);
  lblInfo->SetCaption("联网超时，请检您的网络是否正常，或稍后再试！");
  Log("no update information in time; notice: %s", lblInfo->Caption().c_str());
  bool LimitExceeded = CheckFailureCount();
  if (IsSilentRun() || LimitExceeded) {
    if (LimitExceeded) ShowManualDownloadNotice();
    PostApplicationClose();
  }
}

namespace {

enum TBadge { bgIco, bgYes, bgError };

void ShowBadge(TFormUpdateInfo& Form, TBadge Badge) {
  Form.imgIco->SetVisible(Badge == bgIco);
  Form.imgYes->SetVisible(Badge == bgYes);
  Form.imgError->SetVisible(Badge == bgError);
}

// A notice of one line: the memo gives its room to the text.
void SetNoticeText(TFormUpdateInfo& Form, const std::string& Text) {
  Form.lblInfo->SetCaption(Text);
  // A 96-dpi position: the window may already have been made and scaled.
  Form.lblInfo->SetTop(Form.ScaleValue(90));
  Form.mmoHistory->SetVisible(false);
}

// Only OK, where Cancel would be.
void ShowOKOnly(TFormUpdateInfo& Form) {
  Form.btnCancel->SetVisible(false);
  Form.btnOK->SetVisible(true);
  Form.btnOK->SetLeft(Form.btnCancel->Left());
}

// The steps every notice but the checking notice shares.
template <typename Configure, typename AfterOK>
bool RunNotice(Configure ConfigureForm, AfterOK AfterOKAction) {
  CloseCheckingNotice(1);
  std::unique_ptr<TFormUpdateInfo> Form(new TFormUpdateInfo(Application));
  Form->tmr1->SetEnabled(false);
  ConfigureForm(*Form);
  Log("notice: %s", Form->lblInfo->Caption().c_str());
  bool OK = Form->ShowModal() == 1;
  if (OK) AfterOKAction(*Form);
  return OK;
}

void NoAction(TFormUpdateInfo&) {}

}  // namespace

bool ShowCheckingNotice(unsigned TimeOutMs) {
  if (!FormUpdateInfo) FormUpdateInfo = new TFormUpdateInfo(Application);
  TFormUpdateInfo& Form = *FormUpdateInfo;
  Form.tmr1->SetInterval(TimeOutMs);
  Form.tmr1->SetEnabled(true);
  Form.imgYes->SetVisible(false);
  Form.imgIco->SetVisible(true);
  Form.lblInfo->SetCaption("请等待，正在联网检测新版本......");
  Form.lblInfo->SetTop(Form.ScaleValue(90));
  Form.mmoHistory->SetVisible(false);
  Form.btnOK->SetVisible(false);
  if (IsSilentRun()) return true;
  Log("notice: %s", Form.lblInfo->Caption().c_str());
  return Form.ShowModal() == 1;
}

void StopCheckingTimeOut() {
  if (FormUpdateInfo) FormUpdateInfo->tmr1->SetEnabled(false);
}

void CloseCheckingNotice(int AModalResult) {
  if (!FormUpdateInfo) return;
  StopCheckingTimeOut();
  FormUpdateInfo->SetModalResult(AModalResult);
  FormUpdateInfo->Hide();
}

bool AskToUpdate(const std::string& NewVersion, const std::string& LocalVersion,
                 const std::string& History) {
  return RunNotice(
      [&](TFormUpdateInfo& Form) {
        ShowBadge(Form, bgIco);
        Form.lblInfo->SetCaption("目前最新版本是:" + NewVersion + "，本机版本是:" + LocalVersion +
                                 "，建议您升级！");
        Form.mmoHistory->SetVisible(true);
        Form.mmoHistory->Lines().SetText(History);
      },
      NoAction);
}

bool ShowNoUpdateNotice() {
  return RunNotice(
      [](TFormUpdateInfo& Form) {
        ShowBadge(Form, bgYes);
        SetNoticeText(Form, "没有最新程序更新，有什么问题请到我们论坛提交！");
      },
      NoAction);
}

bool ShowLatestNotice() {
  return RunNotice(
      [](TFormUpdateInfo& Form) {
        ShowBadge(Form, bgYes);
        SetNoticeText(Form, "您现在的版本已经是最新版本，不需要升级！");
        ShowOKOnly(Form);
      },
      NoAction);
}

bool ShowManualDownloadNotice() {
  return RunNotice(
      [](TFormUpdateInfo& Form) {
        ShowBadge(Form, bgError);
        SetNoticeText(Form, "多次更新失败，请手动下载新版播放器。");
      },
      [](TFormUpdateInfo& Form) {
        ShellExecuteA(Form.Handle(), "open", ZERUN_HOME_URL, nullptr, nullptr, SW_SHOW);
        PostApplicationClose();
      });
}

bool ShowErrorNotice(const std::string& ErrorText) {
  return RunNotice(
      [&](TFormUpdateInfo& Form) {
        ShowBadge(Form, bgError);
        SetNoticeText(Form, ErrorText);
        ShowOKOnly(Form);
      },
      [](TFormUpdateInfo&) { PostApplicationClose(); });
}
