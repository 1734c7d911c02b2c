#include <gtest/gtest.h>

#include <memory>

#include "framework/ComCtrls.h"
#include "framework/ExtCtrls.h"
#include "framework/Forms.h"
#include "framework/StdCtrls.h"
#include "tests/support/TestSupport.h"
#include "tests/unit/framework/FrameworkTest.h"

using namespace fwtest;

namespace {

constexpr std::uint32_t kWhite = 0xFFFFFF, kRed = 0xFF0000, kBlue = 0x0000FF,
                        kMagenta = 0xFF00FF, kGreen = 0x00FF00;

struct PaintFixture : ::testing::Test {
  ScopedApplication Scope;
  TForm* Form = NewTestForm(&Scope.App(), 300, 200, 200, 100, clWhite);
};

}  // namespace

TEST_F(PaintFixture, PaintedControlsPaintInListOrderWithOriginMovedAndClipped) {
  new Probe(Form, clRed, 10, 10, 50, 40);   // 10..60 x 10..50
  new Probe(Form, clBlue, 40, 20, 50, 40);  // 40..90 x 20..60, painted later
  Pixels P(200, 100);
  Form->PaintTo(P.DC());
  struct {
    int X, Y;
    std::uint32_t Want;
  } Cases[] = {
      {5, 5, kWhite},       // the red probe's far painting is clipped
      {10, 10, kMagenta},   // its (0, 0) is its top-left corner
      {15, 15, kRed},       {59, 19, kRed},
      {40, 20, kMagenta},   // the later control paints over the earlier
      {45, 25, kBlue},      {59, 49, kBlue}, {89, 59, kBlue},
      {90, 59, kWhite},     {89, 60, kWhite}, {199, 99, kWhite},
  };
  for (const auto& C : Cases) EXPECT_EQ(P.At(C.X, C.Y), C.Want) << C.X << "," << C.Y;
}

TEST_F(PaintFixture, HiddenControlIsNotPainted) {
  Probe* Hidden = new Probe(Form, clRed, 10, 10, 50, 40);
  Hidden->SetVisible(false);
  Pixels P(200, 100);
  Form->PaintTo(P.DC());
  EXPECT_EQ(P.Count(RECT{0, 0, 200, 100}, kWhite), 200 * 100);
}

TEST_F(PaintFixture, WindowPaintingMatchesWithAndWithoutDoubleBuffering) {
  new Probe(Form, clRed, 10, 10, 50, 40);
  new Probe(Form, clBlue, 40, 20, 50, 40);
  for (bool Buffered : {false, true}) {
    Form->DoubleBuffered = Buffered;
    Form->Show();
    InvalidateRect(Form->Handle(), nullptr, FALSE);
    UpdateWindow(Form->Handle());
    zrtest::SaveScreenshot(Form->Handle(), Buffered ? "framework_paint_buffered" : "framework_paint_direct");
    EXPECT_EQ(ScreenPixel(Form->Handle(), 5, 5), kWhite) << Buffered;
    EXPECT_EQ(ScreenPixel(Form->Handle(), 10, 10), kMagenta) << Buffered;
    EXPECT_EQ(ScreenPixel(Form->Handle(), 15, 15), kRed) << Buffered;
    EXPECT_EQ(ScreenPixel(Form->Handle(), 45, 25), kBlue) << Buffered;
    EXPECT_EQ(ScreenPixel(Form->Handle(), 150, 80), kWhite) << Buffered;
  }
}

TEST_F(PaintFixture, ColourChangeRepaintsTheBackground) {
  Form->Show();
  zrtest::PumpMessages(50);
  Form->SetColor(clLime);
  UpdateWindow(Form->Handle());
  zrtest::SaveScreenshot(Form->Handle(), "framework_paint_colour");
  EXPECT_EQ(ScreenPixel(Form->Handle(), 100, 50), kGreen);
}

TEST_F(PaintFixture, InvalidateAsksTheParentToRepaintTheControlsArea) {
  Probe* P = new Probe(Form, clRed, 30, 20, 50, 40);
  Form->Show();
  UpdateWindow(Form->Handle());
  RECT Update;
  EXPECT_FALSE(GetUpdateRect(Form->Handle(), &Update, FALSE));
  P->Invalidate();
  ASSERT_TRUE(GetUpdateRect(Form->Handle(), &Update, FALSE));
  EXPECT_EQ(Update.left, 30);
  EXPECT_EQ(Update.top, 20);
  EXPECT_EQ(Update.right, 80);
  EXPECT_EQ(Update.bottom, 60);
  P->Fill = clBlue;
  UpdateWindow(Form->Handle());
  zrtest::SaveScreenshot(Form->Handle(), "framework_paint_invalidate");
  EXPECT_EQ(ScreenPixel(Form->Handle(), 50, 40), kBlue);
}

TEST_F(PaintFixture, WindowedChildrenLieAbovePaintedControls) {
  Form->SetBounds(300, 200, 260, 140);
  new Probe(Form, clRed, 0, 0, 260, 140);
  auto* List = new TListBox(Form);
  List->SetBounds(20, 20, 100, 50);
  List->SetParent(Form);
  auto* Bar = new TProgressBar(Form);
  Bar->SetBounds(20, 100, 200, 17);
  Bar->SetParent(Form);
  Bar->SetPosition(50);
  Form->DoubleBuffered = true;
  Form->Show();
  InvalidateRect(Form->Handle(), nullptr, FALSE);
  UpdateWindow(Form->Handle());
  zrtest::SaveScreenshot(Form->Handle(), "framework_paint_windowed_children");
  EXPECT_EQ(ScreenPixel(Form->Handle(), 60, 45), kWhite);  // list box, not the red probe
  EXPECT_NE(ScreenPixel(Form->Handle(), 200, 108), kRed);  // progress bar
  EXPECT_EQ(ScreenPixel(Form->Handle(), 240, 60), kRed);
}

TEST(Font, HandleCarriesFaceHeightAndCharset) {
  TFont Font;
  Font.SetName("宋体");
  Font.SetHeight(-13);
  Font.SetCharset(GB2312_CHARSET);
  LOGFONTA Log{};
  ASSERT_NE(GetObjectA(Font.Handle(), sizeof(Log), &Log), 0);
  EXPECT_STREQ(Log.lfFaceName, "宋体");
  EXPECT_EQ(Log.lfHeight, -13);
  EXPECT_EQ(Log.lfCharSet, GB2312_CHARSET);
  int Changes = 0;
  Font.OnChange = [&](TObject*) { ++Changes; };
  Font.SetHeight(-12);
  Font.SetHeight(-12);  // unchanged: no event
  Font.SetColor(clRed);
  EXPECT_EQ(Changes, 2);
  ASSERT_NE(GetObjectA(Font.Handle(), sizeof(Log), &Log), 0);
  EXPECT_EQ(Log.lfHeight, -12);
}

namespace {

struct LabelFixture : PaintFixture {
  TCustomLabel* Label = new TCustomLabel(Form);
  void SetUp() override {
    Form->Font().SetName("宋体");
    Form->Font().SetHeight(-13);
    Form->Font().SetCharset(GB2312_CHARSET);
    Label->SetParent(Form);
    Label->SetLeft(10);
    Label->SetTop(10);
  }
  // The height of one line in the form's font.
  int LineHeight() {
    HDC DC = GetDC(nullptr);
    HGDIOBJ Old = SelectObject(DC, Form->Font().Handle());
    TEXTMETRICA Metrics{};
    GetTextMetricsA(DC, &Metrics);
    SelectObject(DC, Old);
    ReleaseDC(nullptr, DC);
    return Metrics.tmHeight;
  }
  RECT LabelRect() const { return RECT{Label->Left(), Label->Top(), Label->Left() + Label->Width(), Label->Top() + Label->Height()}; }
};

}  // namespace

TEST_F(LabelFixture, AutoSizeFollowsTheTextInTheParentFont) {
  Label->SetCaption("升级进度");
  EXPECT_EQ(Label->Width(), 52);  // four 13-pixel characters
  EXPECT_EQ(Label->Height(), LineHeight());
  Label->SetCaption("升级");
  EXPECT_EQ(Label->Width(), 26);
  Label->SetCaption("");
  EXPECT_EQ(Label->Height(), LineHeight());  // an empty label keeps one line's height
  Label->SetAutoSize(false);
  Label->SetBounds(10, 10, 80, 30);
  EXPECT_EQ(Label->Width(), 80);
}

TEST_F(LabelFixture, DrawsInItsFontColourAndFillsOnlyWhenOpaque) {
  Label->SetCaption("升级信息");
  Label->Font().SetColor(clRed);
  Label->SetColor(clBlue);
  {
    Pixels P(200, 100);
    Form->PaintTo(P.DC());
    EXPECT_GT(P.Count(LabelRect(), kRed), 10);
    EXPECT_GT(P.Count(LabelRect(), kBlue), 10);
  }
  Label->SetTransparent(true);
  Pixels P(200, 100);
  Form->PaintTo(P.DC());
  EXPECT_GT(P.Count(LabelRect(), kRed), 10);
  EXPECT_EQ(P.Count(LabelRect(), kBlue), 0);
  Form->Show();
  zrtest::SaveScreenshot(Form->Handle(), "framework_label");
}

TEST_F(LabelFixture, CentredLayoutMovesTheTextDownByHalfTheGap) {
  Label->SetAutoSize(false);
  Label->SetBounds(10, 10, 150, LineHeight() + 40);
  Label->SetCaption("升级");
  Label->Font().SetColor(clRed);
  Label->SetTransparent(true);
  auto FirstInkRow = [&] {
    Pixels P(200, 100, kWhite);
    Form->PaintTo(P.DC());
    for (int Y = 0; Y < 100; ++Y)
      if (P.Count(RECT{0, Y, 200, Y + 1}, kRed) > 0) return Y;
    return -1;
  };
  int Top = FirstInkRow();
  Label->SetLayout(tlCenter);
  int Centred = FirstInkRow();
  Label->SetLayout(tlBottom);
  int Bottom = FirstInkRow();
  ASSERT_GE(Top, 10);
  EXPECT_EQ(Centred - Top, 20);
  EXPECT_EQ(Bottom - Top, 40);
}

TEST_F(LabelFixture, DisabledLabelDrawsHighlightAndShadowInstead) {
  Label->SetCaption("升级");
  Label->Font().SetColor(clRed);
  Label->SetColor(clBlue);
  Label->SetEnabled(false);
  Pixels P(200, 100);
  Form->PaintTo(P.DC());
  RECT Around = LabelRect();
  InflateRect(&Around, 1, 1);
  EXPECT_EQ(P.Count(Around, kRed), 0);
  EXPECT_GT(P.Count(Around, Rgb(clBtnShadow)), 0);
  EXPECT_GT(P.Count(Around, Rgb(clBtnHighlight)), 0);
}

TEST_F(PaintFixture, ImageDrawsItsPictureAtItsSizeCentredOrStretched) {
  auto Picture = std::make_shared<TestBitmap>(20, 10);
  for (int I = 0; I < 200; ++I) Picture->Bits()[I] = kRed;
  auto* Image = new TImage(Form);
  Image->SetParent(Form);
  Image->SetBounds(0, 0, 60, 30);
  Image->SetPicture(Picture);
  struct {
    bool Center, Stretch;
    RECT Red;
  } Cases[] = {{false, false, {0, 0, 20, 10}}, {true, false, {20, 10, 40, 20}}, {false, true, {0, 0, 60, 30}}};
  for (const auto& C : Cases) {
    Image->SetCenter(C.Center);
    Image->SetStretch(C.Stretch);
    Pixels P(200, 100);
    Form->PaintTo(P.DC());
    int Area = (C.Red.right - C.Red.left) * (C.Red.bottom - C.Red.top);
    EXPECT_EQ(P.Count(C.Red, kRed), Area) << C.Center << C.Stretch;
    EXPECT_EQ(P.Count(RECT{0, 0, 200, 100}, kRed), Area) << C.Center << C.Stretch;
  }
  Image->SetAutoSize(true);
  EXPECT_EQ(Image->Width(), 20);
  EXPECT_EQ(Image->Height(), 10);
  Image->SetBounds(0, 0, 100, 100);
  EXPECT_EQ(Image->Width(), 20);
}
