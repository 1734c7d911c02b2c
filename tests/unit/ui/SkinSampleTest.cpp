// A sample skinned window with every skin control, kept as a screenshot.
#include <gtest/gtest.h>

#include "framework/Application.h"
#include "framework/ComCtrls.h"
#include "skin/skin_ids.h"
#include "tests/unit/framework/FrameworkTest.h"
#include "tests/unit/ui/UiTest.h"
#include "ui/frmSkinBase2.h"
#include "ui/uTransLabel.h"

using namespace fwtest;

namespace {

class TSampleForm : public TFormSkinBase2 {
 public:
  explicit TSampleForm(TComponent* AOwner) : TFormSkinBase2(AOwner) {
    SetClientWidth(412);
    SetClientHeight(252);
    SetColor(0xF5F5F5);
    Font().SetHeight(-13);
    Font().SetColor(clBlack);
    Position = poScreenCenter;

    Title = Picture(20, 15, IDR_SKIN_TITLE);
    Title->SetAutoSize(true);
    Picture(17, 66, IDR_SKIN_BADGE_INFO);

    Progress = Label(127, 62, "");
    Progress->SetCaptionW(u"下载进度37.5%");
    Label(127, 104, "升级信息")->SetTop(106);

    Bar = new TProgressBar(this);
    Bar->SetBounds(127, 80, 250, 17);
    Bar->SetPosition(38);
    Bar->SetParent(this);
    List = new TListBox(this);
    List->SetBounds(185, 102, 192, 40);
    List->SetParent(this);
    List->Items().Add("正在升级......");
    List->Items().Add("下载完成");
    Memo = new TMemo(this);
    Memo->SetBounds(127, 148, 250, 36);
    Memo->SetReadOnly(true);
    Memo->SetParent(this);
    Memo->Lines().SetText("1.2版本特性\r\n    1 优化了P2P下载速度");

    OK = Button(185, "确定", mrOk);
    Cancel = Button(284, "取消", 7);
  }

  TPNGImage* Title;
  TLabel* Progress;
  TProgressBar* Bar;
  TListBox* List;
  TMemo* Memo;
  TPNGCaptionButton* OK;
  TPNGCaptionButton* Cancel;

 private:
  TPNGImage* Picture(int X, int Y, int Id) {
    auto* P = new TPNGImage(this);
    P->PNGImage().LoadFromResource(GetModuleHandleA(nullptr), Id);
    P->SetBounds(X, Y, P->PNGImage().Width(), P->PNGImage().Height());
    P->SetParent(this);
    return P;
  }
  TLabel* Label(int X, int Y, const char* Caption) {
    auto* L = new TLabel(this);
    L->SetTransparent(true);
    L->SetCaption(Caption);
    L->SetLeft(X);
    L->SetTop(Y);
    L->SetParent(this);
    return L;
  }
  TPNGCaptionButton* Button(int X, const char* Caption, int Result) {
    auto* B = new TPNGCaptionButton(this);
    B->SetNumGlyphs(4);
    B->SetAutoSize(true);
    B->PNGImage().LoadFromResource(GetModuleHandleA(nullptr), IDR_SKIN_BUTTON);
    B->SetBounds(X, 194, 80, 28);
    B->SetCaption(Caption);
    B->SetShowCaption(true);
    B->ModalResult = Result;
    B->Font().SetName("宋体");
    B->Font().SetHeight(-12);
    B->Font().SetCharset(GB2312_CHARSET);
    B->Font().SetColor(clBlack);
    B->SetParent(this);
    return B;
  }
};

TEST(SkinSample, EveryControlOnOneWindow) {
  ScopedApplication Scope;
  TForm* Main = nullptr;
  Scope.App().ShowMainForm = false;
  Scope.App().CreateForm(Main);
  auto* Form = new TSampleForm(&Scope.App());
  Form->Show();
  zrtest::PumpMessages(100);
  MouseTo(Form->Handle(), 225, 208);  // hover over OK
  EXPECT_TRUE(Form->OK->MouseIn());
  zrtest::PumpMessages(100);
  EXPECT_EQ(Form->Title->Width(), 107);
  EXPECT_EQ(Form->OK->Width(), 80);
  // Painted controls lie below the windowed ones; the band is the title strip.
  EXPECT_TRUE(Near(GetPixel(GetDC(nullptr), Form->Left() + 300, Form->Top() + 10), RGB(46, 196, 247), 30));
  EXPECT_TRUE(zrtest::SaveScreenshot(Form->Handle(), "skin_sample"));
  MouseTo(Form->Handle(), 5, 240);
  delete Form;
}

}  // namespace
