// Skin controls on real windows, driven with real mouse input: picture
// control, strip buttons, caption buttons and the UTF-16 label.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>

#include "framework/Application.h"
#include "skin/skin_ids.h"
#include "tests/unit/framework/FrameworkTest.h"
#include "tests/unit/ui/UiTest.h"
#include "ui/PNGButton.h"
#include "ui/PNGImage.h"
#include "ui/uTransLabel.h"

using namespace fwtest;

namespace {

const COLORREF FrameColours[4] = {RGB(200, 0, 0), RGB(0, 200, 0), RGB(0, 0, 200), RGB(90, 90, 90)};

// A 320 x 28 strip of four solid frames.
void LoadStrip(TPicture& picture) {
  LoadTestPNG(picture, 320, 28, [](int x, int) { return FrameColours[x / 80]; });
}

// A form on the screen with one caption button of the strip at 20, 20.
struct ButtonFixture {
  ScopedApplication Scope;
  TForm* Form = NewTestForm(&Scope.App(), 100, 100, 200, 100, clWhite);
  TPNGCaptionButton* Button = new TPNGCaptionButton(Form);
  int Clicks = 0;

  ButtonFixture() {
    Button->SetNumGlyphs(4);
    Button->SetAutoSize(true);
    LoadStrip(Button->PNGImage());
    Button->SetBounds(20, 20, 10, 10);
    Button->OnClick = [this](TObject*) { ++Clicks; };
    Button->SetParent(Form);
    Form->Show();
    zrtest::PumpMessages(50);
  }
  ~ButtonFixture() {
    MouseLeftUp();
    delete Form;
  }
  // The colour the button shows now, as its parent paints it.
  COLORREF Shown() {
    DibCanvas canvas(200, 100, 0);
    Form->PaintTo(canvas.DC());
    return canvas.Pixel(60, 34);
  }
  int ShownFrame() {
    for (int i = 0; i < 4; ++i)
      if (Shown() == FrameColours[i]) return i;
    return -1;
  }
};

TEST(PNGImage, AutoSizeKeepsPictureSizeWhateverIsAsked) {
  ScopedApplication Scope;
  std::unique_ptr<TForm> Form(NewTestForm(&Scope.App(), 0, 0, 300, 200, clWhite));
  auto* Title = new TPNGImage(Form.get());
  Title->SetAutoSize(true);
  Title->SetBounds(5, 6, 300, 300);  // no picture yet: any size
  EXPECT_EQ(Title->Width(), 300);
  ASSERT_TRUE(Title->PNGImage().LoadFromResource(GetModuleHandleA(nullptr), IDR_SKIN_TITLE));
  EXPECT_EQ(Title->Width(), 107);
  EXPECT_EQ(Title->Height(), 27);
  const int asked[][2] = {{10, 10}, {500, 20}, {0, 0}, {107, 28}};
  for (const auto& a : asked) {
    Title->SetBounds(5, 6, a[0], a[1]);
    EXPECT_EQ(Title->Width(), 107);
    EXPECT_EQ(Title->Height(), 27);
  }
  EXPECT_EQ(Title->Left(), 5);
}

TEST(PNGImage, PaintsInItsStyleThenRunsPaintEndOnTheSameDC) {
  ScopedApplication Scope;
  std::unique_ptr<TForm> Form(NewTestForm(&Scope.App(), 0, 0, 100, 60, clWhite));
  auto* Picture = new TPNGImage(Form.get());
  LoadTestPNG(Picture->PNGImage(), 10, 10, [](int, int) { return RGB(0, 0, 200); });
  Picture->SetBounds(10, 10, 40, 30);
  Picture->SetDrawStyle(dsStretch);
  HDC PaintEndDC = nullptr;
  Picture->OnPNGImagePaintEnd = [&](TObject* Sender, HDC DC) {
    EXPECT_EQ(Sender, Picture);
    PaintEndDC = DC;
    SetPixel(DC, 0, 0, RGB(255, 0, 0));  // over the picture, at the control's origin
  };
  Picture->SetParent(Form.get());
  DibCanvas canvas(100, 60, 0);
  Form->PaintTo(canvas.DC());
  EXPECT_EQ(PaintEndDC, canvas.DC());
  EXPECT_EQ(canvas.Pixel(10, 10), RGB(255, 0, 0));
  EXPECT_EQ(canvas.Pixel(30, 25), RGB(0, 0, 200));
  EXPECT_EQ(canvas.Pixel(60, 25), RGB(255, 255, 255));  // outside: the form's colour
}

TEST(PNGImage, ThroughPassesTheClickToTheControlBeneath) {
  ScopedApplication Scope;
  std::unique_ptr<TForm> Form(NewTestForm(&Scope.App(), 120, 120, 200, 100, clWhite));
  auto* Beneath = new Probe(Form.get(), clLime, 10, 10, 100, 60);
  auto* Picture = new TPNGImage(Form.get());
  LoadTestPNG(Picture->PNGImage(), 10, 10, [](int, int) { return RGB(0, 0, 200); });
  Picture->SetBounds(10, 10, 100, 60);
  Picture->SetDrawStyle(dsStretch);
  int PictureClicks = 0;
  Picture->OnClick = [&](TObject*) { ++PictureClicks; };
  Picture->SetParent(Form.get());
  Form->Show();
  zrtest::PumpMessages(50);

  Picture->SetThrough(true);
  zrtest::ClickClient(Form->Handle(), 50, 40);
  zrtest::PumpMessages(GetDoubleClickTime() + 50);  // the next press is no double-click
  EXPECT_EQ(Beneath->Count("click"), 1);
  EXPECT_EQ(PictureClicks, 0);

  Picture->SetThrough(false);
  zrtest::ClickClient(Form->Handle(), 50, 40);
  zrtest::PumpMessages(50);
  EXPECT_EQ(Beneath->Count("click"), 1);
  EXPECT_EQ(PictureClicks, 1);
}

// Setters repaint only when the value changes.
TEST(SkinControls, SettersRepaintOnlyOnChange) {
  ButtonFixture F;
  auto* Picture = new TPNGImage(F.Form);
  Picture->SetBounds(100, 10, 20, 20);
  Picture->SetParent(F.Form);
  TPNGCaptionButton* B = F.Button;
  struct Case {
    const char* name;
    std::function<void()> same, changed;
  };
  const Case cases[] = {
      {"Down", [&] { B->SetDown(false); }, [&] { B->SetDown(true); }},
      {"Stretch", [&] { B->SetStretch(false); }, [&] { B->SetStretch(true); }},
      {"Center", [&] { B->SetCenter(false); }, [&] { B->SetCenter(true); }},
      {"StateIndex", [&] { B->SetStateIndex(0); }, [&] { B->SetStateIndex(1); }},
      {"ShowCaption", [&] { B->SetShowCaption(false); }, [&] { B->SetShowCaption(true); }},
      {"CaptionAligh", [&] { B->SetCaptionAligh(dsMid); }, [&] { B->SetCaptionAligh(dsLeft); }},
      {"OffX", [&] { B->SetOffX(0); }, [&] { B->SetOffX(3); }},
      {"OffY", [&] { B->SetOffY(0); }, [&] { B->SetOffY(3); }},
      {"Caption", [&] { B->SetCaption(""); }, [&] { B->SetCaption("x"); }},
      {"DrawStyle", [&] { Picture->SetDrawStyle(dsNone); }, [&] { Picture->SetDrawStyle(dsTile); }},
  };
  HWND Wnd = F.Form->Handle();
  for (const auto& c : cases) {
    ValidateRect(Wnd, nullptr);
    c.same();
    EXPECT_FALSE(GetUpdateRect(Wnd, nullptr, FALSE)) << c.name;
    c.changed();
    EXPECT_TRUE(GetUpdateRect(Wnd, nullptr, FALSE)) << c.name;
  }
  ValidateRect(Wnd, nullptr);
  Picture->SetThrough(true);
  EXPECT_FALSE(GetUpdateRect(Wnd, nullptr, FALSE)) << "Through";
}

TEST(PNGButton, AutoSizeGivesOneFrame) {
  ButtonFixture F;
  EXPECT_EQ(F.Button->Width(), 80);
  EXPECT_EQ(F.Button->Height(), 28);
  TPNGButton Close(nullptr);
  Close.SetNumGlyphs(4);
  Close.SetAutoSize(true);
  ASSERT_TRUE(Close.PNGImage().LoadFromResource(GetModuleHandleA(nullptr), IDR_SKIN_CLOSE));
  EXPECT_EQ(Close.Width(), 30);
  EXPECT_EQ(Close.Height(), 40);
}

TEST(PNGButton, FrameFollowsPointerPressAndEnabledState) {
  ButtonFixture F;
  HWND Wnd = F.Form->Handle();
  MouseTo(Wnd, 150, 80);
  EXPECT_EQ(F.ShownFrame(), 0);
  MouseTo(Wnd, 60, 34);
  EXPECT_TRUE(F.Button->MouseIn());
  EXPECT_EQ(F.ShownFrame(), 1);
  MouseLeftDown();
  EXPECT_EQ(F.ShownFrame(), 2);
  MouseTo(Wnd, 150, 80);  // moved off while held: still pressed
  EXPECT_EQ(F.ShownFrame(), 2);
  MouseLeftUp();  // released outside: no click
  EXPECT_EQ(F.Clicks, 0);
  EXPECT_EQ(F.ShownFrame(), 0);
  EXPECT_FALSE(F.Button->MouseIn());
  F.Button->SetEnabled(false);
  EXPECT_EQ(F.ShownFrame(), 3);
  MouseTo(Wnd, 60, 34);
  MouseLeftDown();
  MouseLeftUp();
  EXPECT_EQ(F.Clicks, 0);  // a disabled button gets no mouse input
  EXPECT_EQ(F.ShownFrame(), 3);
  F.Button->SetEnabled(true);
  F.Button->SetDown(true);
  EXPECT_EQ(F.ShownFrame(), 2);
  zrtest::SaveScreenshot(Wnd, "ui_button_down");
}

TEST(PNGButton, ReleaseInsideClicksAndDoubleClickCountsOnce) {
  ButtonFixture F;
  HWND Wnd = F.Form->Handle();
  MouseTo(Wnd, 60, 34);
  MouseLeftDown();
  MouseLeftUp();
  EXPECT_EQ(F.Clicks, 1);
  EXPECT_EQ(F.ShownFrame(), 1);  // released over it: hovered again
  zrtest::PumpMessages(GetDoubleClickTime() + 50);
  F.Clicks = 0;
  MouseLeftDown();
  MouseLeftUp();
  MouseLeftDown();  // within the double-click time: the second press
  MouseLeftUp();
  EXPECT_EQ(F.Clicks, 1);
}

TEST(PNGButton, ModalResultEndsTheModalRunInsteadOfOnClick) {
  struct Case { int modalResult; int expectedResult; int expectedClicks; };
  const Case cases[] = {{1, 1, 0}, {7, 7, 0}, {0, 2, 1}};
  for (const auto& c : cases) {
    ButtonFixture F;
    F.Form->Hide();
    F.Button->ModalResult = c.modalResult;
    HWND Wnd = F.Form->Handle();
    Later(200, [&] {
      MouseTo(Wnd, 60, 34);
      MouseLeftDown();
      MouseLeftUp();
      if (F.Form->Modal() && F.Form->ModalResult() == 0) F.Form->Close();  // ends the run with 2
    });
    EXPECT_EQ(F.Form->ShowModal(), c.expectedResult) << c.modalResult;
    EXPECT_EQ(F.Clicks, c.expectedClicks) << c.modalResult;
  }
}

TEST(PNGButton, NumGlyphsAndStateMaxSetterRules) {
  TPNGButton B(nullptr);
  LoadStrip(B.PNGImage());
  B.SetAutoSize(true);
  EXPECT_EQ(B.NumGlyphs(), 3);
  for (int bad : {0, -1, 3}) {
    B.SetNumGlyphs(bad);
    EXPECT_EQ(B.NumGlyphs(), 3) << bad;
  }
  EXPECT_EQ(B.Width(), 106);  // 320 div 3
  B.SetNumGlyphs(4);
  EXPECT_EQ(B.Width(), 80);
  B.SetStateIndex(5);
  B.SetStateIndex(-1);
  EXPECT_EQ(B.StateIndex(), 5);  // no upper bound, negatives ignored
  B.SetStateMax(0);
  B.SetStateMax(-2);
  EXPECT_EQ(B.StateMax(), 1);
  B.SetStateMax(2);
  EXPECT_EQ(B.StateMax(), 2);
  EXPECT_EQ(B.StateIndex(), 1);
  EXPECT_EQ(B.Height(), 14);  // two looks stacked in 28 rows
}

TEST(PNGButton, SplitStyleSwapsWidthAndHeight) {
  TPNGButton B(nullptr);
  B.SetBounds(0, 0, 80, 28);
  B.SetSplitStyle(spVertical);
  EXPECT_EQ(B.Width(), 28);
  EXPECT_EQ(B.Height(), 80);
  B.SetSplitStyle(spVertical);
  EXPECT_EQ(B.Width(), 28);
}

TEST(PNGButton, StretchKeepsHalvesAndStretchesTheMiddle) {
  ScopedApplication Scope;
  std::unique_ptr<TForm> Form(NewTestForm(&Scope.App(), 0, 0, 300, 50, clWhite));
  auto* B = new TPNGButton(Form.get());
  B->SetNumGlyphs(1);
  // One 80 x 28 frame: red left half, green middle columns, blue right part.
  LoadTestPNG(B->PNGImage(), 80, 28,
              [](int x, int) { return x < 40 ? RGB(255, 0, 0) : x < 42 ? RGB(0, 255, 0) : RGB(0, 0, 255); });
  B->SetBounds(0, 0, 200, 28);
  B->SetStretch(true);
  B->SetParent(Form.get());
  DibCanvas canvas(300, 50, 0);
  Form->PaintTo(canvas.DC());
  EXPECT_EQ(canvas.Pixel(39, 10), RGB(255, 0, 0));
  EXPECT_TRUE(Near(canvas.Pixel(100, 10), RGB(0, 255, 0)));
  EXPECT_EQ(canvas.Pixel(199, 10), RGB(0, 0, 255));
  EXPECT_EQ(canvas.Pixel(150, 40), RGB(255, 255, 255));  // below it: the form
}

// Ink of a caption drawn in black over white.
RECT CaptionInk(TPNGCaptionButton& B) {
  DibCanvas canvas(B.Width() + 40, B.Height(), RGB(255, 255, 255));
  SetViewportOrgEx(canvas.DC(), 20, 0, nullptr);
  B.Paint(canvas.DC());
  SetViewportOrgEx(canvas.DC(), 0, 0, nullptr);
  RECT ink = canvas.ChangedBounds(RGB(255, 255, 255));
  OffsetRect(&ink, -20, 0);
  return ink;
}

std::unique_ptr<TPNGCaptionButton> CaptionOnly(const std::string& caption) {
  auto B = std::make_unique<TPNGCaptionButton>(nullptr);
  B->SetBounds(0, 0, 80, 28);
  B->Font().SetName("宋体");
  B->Font().SetHeight(-12);
  B->Font().SetCharset(GB2312_CHARSET);
  B->Font().SetColor(clBlack);
  B->SetCaption(caption);  // no picture: the caption is drawn anyway
  return B;
}

TEST(PNGCaptionButton, CaptionAlignmentAndOffsets) {
  struct Case { TCaptionALign align; int offX, offY; };
  auto Mid = CaptionOnly("OK");
  const RECT mid = CaptionInk(*Mid);
  ASSERT_LT(mid.left, mid.right);
  EXPECT_NEAR((mid.left + mid.right) / 2, 40, 3);  // centred
  EXPECT_NEAR((mid.top + mid.bottom) / 2, 14, 3);  // vertically centred
  auto Left = CaptionOnly("OK");
  Left->SetCaptionAligh(dsLeft);
  EXPECT_LE(CaptionInk(*Left).left, 2);
  auto Right = CaptionOnly("OK");
  Right->SetCaptionAligh(dsRight);
  EXPECT_GE(CaptionInk(*Right).right, 78);
  Left->SetOffX(6);
  Left->SetOffY(8);  // the rectangle's left and top edges move; right and bottom stay
  const RECT moved = CaptionInk(*Left);
  EXPECT_LT(moved.left, 0);
  EXPECT_EQ(moved.top, CaptionInk(*Right).top - 4);
}

TEST(PNGCaptionButton, LongCaptionEndsInEllipsisOnOneLine) {
  auto B = CaptionOnly("WWWWWWWWWWWWWWWWWWWWWWWW");
  const RECT ink = CaptionInk(*B);
  EXPECT_GE(ink.left, 0);
  EXPECT_LE(ink.right, 80);
  EXPECT_LE(ink.bottom - ink.top, 14);  // one line
  // The last ink is the dots of the ellipsis: short marks on the baseline.
  DibCanvas canvas(80, 28, RGB(255, 255, 255));
  B->Paint(canvas.DC());
  RECT tail{ink.right - 2, 0, ink.right, 28};
  int top = 28;
  for (int y = 0; y < 28; ++y)
    for (int x = tail.left; x < tail.right; ++x)
      if (canvas.Pixel(x, y) != RGB(255, 255, 255) && y < top) top = y;
  EXPECT_GE(top, ink.bottom - 3);
}

TEST(PNGCaptionButton, CaptionOverPictureInTheFontColourInEveryState) {
  ButtonFixture F;
  F.Button->SetCaption("OK");
  F.Button->Font().SetColor(RGB(255, 255, 0));
  const bool states[] = {true, false};
  for (bool enabled : states) {
    F.Button->SetEnabled(enabled);
    DibCanvas hidden(200, 100, 0);
    F.Form->PaintTo(hidden.DC());
    F.Button->SetShowCaption(true);
    DibCanvas shown(200, 100, 0);
    F.Form->PaintTo(shown.DC());
    F.Button->SetShowCaption(false);
    // Text may be smoothed: count pixels near the font colour; no frame has green above 200.
    const auto Yellowish = [](COLORREF c) { return GetRValue(c) > 180 && GetGValue(c) > 180; };
    int yellow = 0, hiddenYellow = 0;
    for (int y = 20; y < 48; ++y)
      for (int x = 20; x < 100; ++x) {
        yellow += Yellowish(shown.Pixel(x, y));
        hiddenYellow += Yellowish(hidden.Pixel(x, y));
      }
    EXPECT_GT(yellow, 10) << enabled;
    EXPECT_EQ(hiddenYellow, 0) << enabled;
  }
}

// What a label paints, black on white, at 100 x 20.
std::vector<COLORREF> LabelPixels(TLabel& L) {
  L.SetTransparent(false);
  L.SetColor(clWhite);
  L.Font().SetName("宋体");
  L.Font().SetHeight(-13);
  L.Font().SetCharset(GB2312_CHARSET);
  L.Font().SetColor(clBlack);
  DibCanvas canvas(100, 20, RGB(255, 255, 255));
  L.Paint(canvas.DC());
  std::vector<COLORREF> pixels;
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 100; ++x) pixels.push_back(canvas.Pixel(x, y));
  return pixels;
}

TEST(TransLabel, CaptionWReplacesTheEightBitCaption) {
  TLabel Narrow(nullptr), Wide(nullptr), Both(nullptr), Other(nullptr);
  for (TLabel* L : {&Narrow, &Wide, &Both, &Other}) {
    L->SetAutoSize(false);
    L->SetBounds(0, 0, 100, 20);
  }
  Narrow.SetCaption("升级进度");            // GBK from the source's UTF-8
  Wide.SetCaptionW(u"升级进度");
  Both.SetCaption("升级进度");
  Both.SetCaptionW(u"下载完成");
  Other.SetCaption("下载完成");
  const auto narrow = LabelPixels(Narrow);
  EXPECT_NE(narrow, std::vector<COLORREF>(2000, RGB(255, 255, 255)));  // something drawn
  EXPECT_EQ(LabelPixels(Wide), narrow);
  EXPECT_EQ(LabelPixels(Both), LabelPixels(Other));
  EXPECT_NE(LabelPixels(Both), narrow);
}

TEST(TransLabel, EmptyLabelKeepsOneLineOfHeightAndCaptionWResizes) {
  TLabel L(nullptr);
  L.Font().SetName("宋体");
  L.Font().SetHeight(-13);
  L.SetCaption("");
  EXPECT_GT(L.Height(), 10);
  const int emptyWidth = L.Width();
  L.SetCaptionW(u"下载进度37.5%");
  EXPECT_GT(L.Width(), emptyWidth + 40);  // measured again
}

TEST(TransLabel, DisabledTextIsEmbossed) {
  TLabel L(nullptr);
  L.SetAutoSize(false);
  L.SetBounds(0, 0, 100, 20);
  L.SetCaptionW(u"升级信息");
  L.SetEnabled(false);
  const auto pixels = LabelPixels(L);
  // The highlight copy is white like the background here; the shadow copy shows.
  EXPECT_GT(std::count(pixels.begin(), pixels.end(), GetSysColor(COLOR_BTNSHADOW)), 10);
  EXPECT_EQ(std::count(pixels.begin(), pixels.end(), RGB(0, 0, 0)), 0);  // not in the font colour
}

}  // namespace
