#include <gtest/gtest.h>

#include <stdexcept>
#include <atomic>
#include <thread>

#include "framework/Application.h"
#include "tests/support/TestSupport.h"
#include "tests/unit/framework/FrameworkTest.h"

using namespace fwtest;

namespace {

// A result of its own, as the progress window's Cancel sets.
const int kOtherResult = 7;

struct ModalFixture : ::testing::Test {
  ScopedApplication Scope;
  TForm* Form = NewTestForm(&Scope.App(), 200, 150, 240, 140, clSilver);
  int Queries = 0;
  int Refusals = 0;
  void SetUp() override {
    Form->OnCloseQuery = [this](TObject*, bool& CanClose) {
      ++Queries;
      if (Refusals > 0) {
        --Refusals;
        CanClose = false;
      }
    };
  }
};

}  // namespace

TEST_F(ModalFixture, ModalResultEndsTheRunWithThatResultAndHidesTheForm) {
  for (int Result : {mrOk, mrCancel, kOtherResult}) {
    Later(50, [&] {
      zrtest::SaveScreenshot(Form->Handle(), "framework_modal_form");
      Form->SetModalResult(Result);
    });
    EXPECT_EQ(Form->ShowModal(), Result);
    EXPECT_FALSE(IsWindowVisible(Form->Handle()));
    EXPECT_FALSE(Form->Modal());
  }
  EXPECT_EQ(Queries, 3);
}

TEST_F(ModalFixture, CloseRequestDuringModalRunGivesCancel) {
  Later(50, [&] { Form->Close(); });
  EXPECT_EQ(Form->ShowModal(), mrCancel);
  EXPECT_EQ(Queries, 1);
}

TEST_F(ModalFixture, PlatformCloseCommandActsAsCloseRequest) {
  Later(50, [&] { PostMessageA(Form->Handle(), WM_SYSCOMMAND, SC_CLOSE, 0); });
  EXPECT_EQ(Form->ShowModal(), mrCancel);
  EXPECT_EQ(Queries, 1);
  EXPECT_TRUE(IsWindow(Form->Handle()));  // hidden, not destroyed
}

TEST_F(ModalFixture, RefusedCloseResetsModalResultAndTheRunGoesOn) {
  Refusals = 1;
  int ResultAfterRefusal = -1;
  bool VisibleAfterRefusal = false;
  Later(50, [&] { Form->Close(); });
  Later(250, [&] {
    ResultAfterRefusal = Form->ModalResult();
    VisibleAfterRefusal = IsWindowVisible(Form->Handle()) != FALSE;
    Form->SetModalResult(mrOk);
  });
  EXPECT_EQ(Form->ShowModal(), mrOk);
  EXPECT_EQ(ResultAfterRefusal, mrNone);
  EXPECT_TRUE(VisibleAfterRefusal);
  EXPECT_EQ(Queries, 2);
}

TEST_F(ModalFixture, TerminatingApplicationEndsTheRunAtOnceWithoutCloseQuery) {
  Refusals = 10;
  Later(50, [&] { Scope.App().Terminate(); });
  EXPECT_EQ(Form->ShowModal(), mrCancel);
  EXPECT_EQ(Queries, 0);
}

TEST_F(ModalFixture, ApplicationCloseDuringModalNoticeEndsNoticeAndProgram) {
  TForm* Main = nullptr;
  Scope.App().ShowMainForm = false;
  Scope.App().CreateForm(Main);
  int MainQueries = 0;
  Main->OnCloseQuery = [&](TObject*, bool&) { ++MainQueries; };
  Refusals = 10;  // the notice itself would refuse: it is not asked
  Later(50, [&] { PostMessageA(Scope.App().Handle(), WM_CLOSE, 0, 0); });
  EXPECT_EQ(Form->ShowModal(), mrCancel);
  EXPECT_EQ(MainQueries, 1);
  EXPECT_EQ(Queries, 0);
  EXPECT_TRUE(Scope.App().Terminated());
}

TEST_F(ModalFixture, ShowModalAfterTerminationReturnsCancelAtOnce) {
  Scope.App().Terminate();
  EXPECT_EQ(Form->ShowModal(), mrCancel);
  EXPECT_EQ(Queries, 0);
}

TEST_F(ModalFixture, OtherWindowsAreDisabledOnlyDuringTheRun) {
  TForm* Other = NewTestForm(&Scope.App(), 20, 20, 100, 60, clWhite);
  Other->Show();
  bool OtherEnabledDuringRun = true;
  Later(50, [&] {
    OtherEnabledDuringRun = IsWindowEnabled(Other->Handle()) != FALSE;
    Form->SetModalResult(mrOk);
  });
  Form->ShowModal();
  EXPECT_FALSE(OtherEnabledDuringRun);
  EXPECT_TRUE(IsWindowEnabled(Other->Handle()));
}

TEST_F(ModalFixture, NestedRunEndsTheOuterOneThroughItsResult) {
  // The inner notice closes the outer one the way a new notice closes the
  // checking notice: result 1 and hidden, ending once control returns.
  TForm* Inner = NewTestForm(&Scope.App(), 260, 200, 160, 90, clWhite);
  int InnerResult = -1;
  bool OuterEnabledDuringInner = true;
  bool OuterRunningAfterInnerClosedIt = false;
  Later(50, [&] {
    Later(50, [&] {
      OuterEnabledDuringInner = IsWindowEnabled(Form->Handle()) != FALSE;
      zrtest::SaveScreenshot(Inner->Handle(), "framework_modal_nested");
      Form->SetModalResult(mrOk);
      Form->Hide();
      OuterRunningAfterInnerClosedIt = Form->Modal();
      Later(50, [&] { Inner->SetModalResult(kOtherResult); });
    });
    InnerResult = Inner->ShowModal();
  });
  EXPECT_EQ(Form->ShowModal(), mrOk);
  EXPECT_EQ(InnerResult, kOtherResult);
  EXPECT_FALSE(OuterEnabledDuringInner);
  EXPECT_TRUE(OuterRunningAfterInnerClosedIt);
  EXPECT_TRUE(IsWindowEnabled(Form->Handle()));
}

TEST_F(ModalFixture, ShowModalOfAFormAlreadyInAModalRunIsRefused) {
  bool Threw = false;
  Later(50, [&] {
    try {
      Form->ShowModal();
    } catch (const std::logic_error&) {
      Threw = true;
    }
    Form->SetModalResult(mrOk);
  });
  EXPECT_EQ(Form->ShowModal(), mrOk);
  EXPECT_TRUE(Threw);
}

TEST_F(ModalFixture, CloseOutsideAModalRunHidesTheFormWhenGranted) {
  Form->Show();
  Refusals = 1;
  Form->Close();
  EXPECT_TRUE(IsWindowVisible(Form->Handle()));
  Form->Close();
  EXPECT_FALSE(IsWindowVisible(Form->Handle()));
  EXPECT_EQ(Queries, 2);
  EXPECT_FALSE(Scope.App().Terminated());
}

TEST_F(ModalFixture, ResultSetByAMessageSentFromAnotherThreadEndsTheRun) {
  // Nothing else arrives after the sent message: the run must notice the
  // result by itself. The worker wakes it with a posted message only when
  // it did not.
  std::atomic<bool> Asked{false};
  Form->OnCloseQuery = [&](TObject*, bool&) { Asked = true; };
  HWND Target = AllocateHWnd([this](HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam) -> LRESULT {
    if (Msg == WM_APP) Form->SetModalResult(mrOk);
    return Msg == WM_APP || Msg == WM_APP + 1 ? 0 : DefWindowProcA(Wnd, Msg, WParam, LParam);
  });
  bool NoticedUnaided = false;
  std::thread Worker([&] {
    Sleep(200);
    SendMessageA(Target, WM_APP, 0, 0);
    for (int I = 0; I < 100 && !Asked; ++I) Sleep(20);
    NoticedUnaided = Asked;
    if (!NoticedUnaided) PostMessageA(Target, WM_APP + 1, 0, 0);
  });
  EXPECT_EQ(Form->ShowModal(), mrOk);
  Worker.join();
  EXPECT_TRUE(NoticedUnaided);
  DeallocateHWnd(Target);
}
