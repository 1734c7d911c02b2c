#include <gtest/gtest.h>

#include "framework/Forms.h"
#include "tests/support/TestSupport.h"
#include "tests/unit/framework/FrameworkTest.h"

using namespace fwtest;

namespace {

// A shown form with one probe at 20, 20, 80 x 40; real input through
// SendInput.
struct MouseFixture : ::testing::Test {
  ScopedApplication Scope;
  TForm* Form = NewTestForm(&Scope.App(), 100, 100, 300, 200, clWhite);
  Probe* A = new Probe(Form, clRed, 20, 20, 80, 40);
  int FormClicks = 0;
  void SetUp() override {
    Form->OnClick = [this](TObject*) { ++FormClicks; };
    Form->Show();
    SetForegroundWindow(Form->Handle());
    MouseTo(Form->Handle(), 250, 150);
    A->Events.clear();
  }
  void TearDown() override {
    zrtest::SaveScreenshot(Form->Handle(), std::string("framework_mouse_") +
                                               ::testing::UnitTest::GetInstance()->current_test_info()->name());
    MouseLeftUp();
  }
  void ClickAt(int X, int Y) {
    MouseTo(Form->Handle(), X, Y);
    MouseLeftDown();
    MouseLeftUp();
  }
  std::string Log() const {
    std::string S;
    for (const std::string& E : A->Events) S += E + " ";
    return S;
  }
};

}  // namespace

TEST_F(MouseFixture, EnterAndLeaveFollowThePointer) {
  MouseTo(Form->Handle(), 30, 30);
  MouseTo(Form->Handle(), 40, 35);
  MouseTo(Form->Handle(), 150, 150);
  EXPECT_EQ(Log(), "enter leave ");
  MouseTo(Form->Handle(), 30, 30);
  MouseTo(Form->Handle(), 400, 30);  // off the form altogether
  PumpUntil([&] { return A->Count("leave") == 2; }, 1000);
  EXPECT_EQ(Log(), "enter leave enter leave ");
}

TEST_F(MouseFixture, ClickIsAPressAndAReleaseInside) {
  ClickAt(30, 30);
  EXPECT_EQ(Log(), "enter down click up ");
  EXPECT_FALSE(A->LeftButtonHeld());
  EXPECT_EQ(FormClicks, 0);
}

TEST_F(MouseFixture, PressCapturesAndHoldsUntilTheReleaseEvenOutside) {
  MouseTo(Form->Handle(), 30, 30);
  MouseLeftDown();
  EXPECT_TRUE(A->LeftButtonHeld());
  EXPECT_TRUE(A->MouseCapture());
  MouseTo(Form->Handle(), 200, 150);
  EXPECT_TRUE(A->LeftButtonHeld());  // still held when moved off
  MouseTo(Form->Handle(), 500, 150);  // off the form
  EXPECT_TRUE(A->LeftButtonHeld());
  MouseLeftUp();
  EXPECT_FALSE(A->LeftButtonHeld());
  EXPECT_FALSE(A->MouseCapture());
  EXPECT_EQ(A->Count("up"), 1);  // the release still reached it
  EXPECT_EQ(A->Count("click"), 0);
  EXPECT_EQ(FormClicks, 0);
}

TEST_F(MouseFixture, ReleaseWithoutPressIsNoClick) {
  MouseTo(Form->Handle(), 200, 150);
  MouseLeftDown();
  MouseTo(Form->Handle(), 30, 30);
  MouseLeftUp();
  EXPECT_EQ(A->Count("click"), 0);
  EXPECT_EQ(A->Count("down"), 0);
}

TEST_F(MouseFixture, DoubleClickCountsAsOneClickAndOneDoubleClick) {
  ClickAt(30, 30);
  MouseLeftDown();
  MouseLeftUp();
  EXPECT_EQ(Log(), "enter down click up dblclick down2 up ");
}

TEST_F(MouseFixture, RightAndMiddleButtonsNeverClick) {
  MouseTo(Form->Handle(), 30, 30);
  MouseRightDown();
  MouseRightUp();
  INPUT In[2] = {};
  In[0].type = In[1].type = INPUT_MOUSE;
  In[0].mi.dwFlags = MOUSEEVENTF_MIDDLEDOWN;
  In[1].mi.dwFlags = MOUSEEVENTF_MIDDLEUP;
  SendInput(2, In, sizeof(INPUT));
  zrtest::PumpMessages(80);
  EXPECT_EQ(Log(), "enter rdown rup mdown mup ");
  EXPECT_FALSE(A->LeftButtonHeld());
}

TEST_F(MouseFixture, DisabledControlGetsNoInputAndTheFormBeneathDoes) {
  A->SetEnabled(false);
  ClickAt(30, 30);
  EXPECT_TRUE(A->Events.empty()) << Log();
  EXPECT_EQ(FormClicks, 1);
}

TEST_F(MouseFixture, DisablingTheHeldControlEndsThePress) {
  MouseTo(Form->Handle(), 30, 30);
  MouseLeftDown();
  ASSERT_TRUE(A->LeftButtonHeld());
  A->SetEnabled(false);
  EXPECT_FALSE(A->LeftButtonHeld());
  EXPECT_FALSE(A->MouseCapture());
  MouseLeftUp();
  EXPECT_EQ(A->Count("click"), 0);
}

TEST_F(MouseFixture, HitTestNowherePassesInputToTheControlBeneath) {
  Probe* Top = new Probe(Form, clBlue, 10, 10, 120, 80);  // above A in the list
  Top->PassThrough = true;
  ClickAt(30, 30);
  EXPECT_TRUE(Top->Events.empty());
  EXPECT_EQ(A->Count("click"), 1);
  Top->PassThrough = false;
  ClickAt(32, 32);
  EXPECT_EQ(Top->Count("click"), 1);
  EXPECT_EQ(A->Count("click"), 1);
}

TEST_F(MouseFixture, ClickHandlerMayRunAModalLoop) {
  // The press is over before the click runs, so a modal run started by the
  // click sees no captured mouse.
  TForm* Dialog = NewTestForm(&Scope.App(), 500, 100, 120, 80, clSilver);
  int Result = -1;
  A->OnClick = [&](TObject*) {
    Later(50, [&] { Dialog->SetModalResult(mrOk); });
    Result = Dialog->ShowModal();
  };
  ClickAt(30, 30);
  ASSERT_TRUE(PumpUntil([&] { return Result != -1; }));
  EXPECT_EQ(Result, mrOk);
  EXPECT_FALSE(A->LeftButtonHeld());
  EXPECT_EQ(GetCapture(), nullptr);
}
