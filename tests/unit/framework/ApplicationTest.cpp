#include <gtest/gtest.h>

#include "framework/Application.h"
#include "tests/support/TestSupport.h"
#include "tests/unit/framework/FrameworkTest.h"

using namespace fwtest;

namespace {

// Counts its creation handler and close queries; refuses the first
// RefuseCloses close queries.
class TCountingForm : public TForm {
 public:
  explicit TCountingForm(TComponent* AOwner) : TForm(AOwner) {
    OnCreate = [this](TObject*) {
      ++Creates;
      HadWindowAtCreate = HandleAllocated();
    };
    OnCloseQuery = [this](TObject*, bool& CanClose) {
      ++Queries;
      if (RefuseCloses > 0) {
        --RefuseCloses;
        CanClose = false;
      }
    };
  }
  int Creates = 0;
  int Queries = 0;
  int RefuseCloses = 0;
  bool HadWindowAtCreate = true;
};

}  // namespace

TEST(Application, FirstCreatedFormBecomesMainFormAndGetsItsWindow) {
  ScopedApplication Scope;
  TCountingForm* First = nullptr;
  TCountingForm* Second = nullptr;
  Scope.App().CreateForm(First);
  Scope.App().CreateForm(Second);
  EXPECT_EQ(Scope.App().MainForm(), First);
  EXPECT_EQ(First->Owner(), &Scope.App());
  EXPECT_EQ(First->Creates, 1);
  EXPECT_EQ(Second->Creates, 1);
  EXPECT_FALSE(First->HadWindowAtCreate);
  EXPECT_TRUE(First->HandleAllocated());
  First->Show();  // the window exists already: OnCreate does not run again
  EXPECT_EQ(First->Creates, 1);
  zrtest::SaveScreenshot(First->Handle(), "framework_app_main_form");
}

TEST(Application, CloseOfApplicationWindowClosesHiddenMainFormAndEndsRun) {
  ScopedApplication Scope;
  TCountingForm* Main = nullptr;
  Scope.App().ShowMainForm = false;
  Scope.App().CreateForm(Main);
  bool VisibleDuringRun = true;
  Later(50, [&] {
    VisibleDuringRun = IsWindowVisible(Main->Handle()) != FALSE;
    PostMessageA(Scope.App().Handle(), WM_CLOSE, 0, 0);
  });
  Scope.App().Run();
  EXPECT_TRUE(Scope.App().Terminated());
  EXPECT_FALSE(VisibleDuringRun);
  EXPECT_EQ(Main->Queries, 1);
}

TEST(Application, RefusedCloseOfMainFormKeepsTheLoopRunning) {
  ScopedApplication Scope;
  TCountingForm* Main = nullptr;
  Scope.App().ShowMainForm = false;
  Scope.App().CreateForm(Main);
  Main->RefuseCloses = 1;
  bool RunningAfterRefusal = false;
  PostMessageA(Scope.App().Handle(), WM_CLOSE, 0, 0);
  Later(150, [&] {
    RunningAfterRefusal = !Scope.App().Terminated();
    PostMessageA(Scope.App().Handle(), WM_CLOSE, 0, 0);
  });
  Scope.App().Run();
  EXPECT_TRUE(RunningAfterRefusal);
  EXPECT_EQ(Main->Queries, 2);
}

TEST(Application, ShowMainFormDecidesWhetherRunShowsTheMainForm) {
  for (bool Show : {true, false}) {
    ScopedApplication Scope;
    TForm* Main = nullptr;
    Scope.App().ShowMainForm = Show;
    Scope.App().CreateForm(Main);
    bool Visible = !Show;
    Later(100, [&] {
      Visible = IsWindowVisible(Main->Handle()) != FALSE;
      if (Visible) zrtest::SaveScreenshot(Main->Handle(), "framework_app_shown_main_form");
      Main->Close();
    });
    Scope.App().Run();
    EXPECT_EQ(Visible, Show);
    EXPECT_TRUE(Scope.App().Terminated());
  }
}

TEST(Application, RunWithoutMainFormReturnsAtOnce) {
  ScopedApplication Scope;
  Scope.App().Run();
  EXPECT_FALSE(Scope.App().Terminated());
}

TEST(Application, TitleIsTheApplicationWindowText) {
  ScopedApplication Scope;
  Scope.App().SetTitle("泽润影音升级程序");
  Scope.App().Initialize();
  char Text[64] = {};
  GetWindowTextA(Scope.App().Handle(), Text, sizeof(Text));
  EXPECT_EQ(std::string(Text), "泽润影音升级程序");
  EXPECT_EQ(Scope.App().Title(), "泽润影音升级程序");
  Scope.App().SetTitle("x");
  GetWindowTextA(Scope.App().Handle(), Text, sizeof(Text));
  EXPECT_EQ(std::string(Text), "x");
  EXPECT_FALSE(IsWindowVisible(Scope.App().Handle()));
}

TEST(Application, FreeingTheMainFormLeavesNoDanglingMainForm) {
  ScopedApplication Scope;
  TForm* Main = nullptr;
  Scope.App().CreateForm(Main);
  delete Main;
  EXPECT_EQ(Scope.App().MainForm(), nullptr);
  EXPECT_EQ(Scope.App().ComponentCount(), 0);
}

TEST(Application, RestoreBringsBackMinimisedForms) {
  ScopedApplication Scope;
  TForm* Form = NewTestForm(&Scope.App(), 100, 100, 200, 120, clSilver);
  Form->SetBorderIcons(biSystemMenu | biMinimize);
  Form->Show();
  ShowWindow(Form->Handle(), SW_MINIMIZE);
  ASSERT_TRUE(IsIconic(Form->Handle()));
  TForm* InTray = NewTestForm(&Scope.App(), 150, 150, 200, 120, clWhite);
  InTray->SetBorderIcons(biSystemMenu | biMinimize);
  InTray->Show();
  ShowWindow(InTray->Handle(), SW_MINIMIZE);
  InTray->Hide();  // minimised, then hidden to the tray
  Scope.App().Restore();
  EXPECT_FALSE(IsIconic(Form->Handle()));
  EXPECT_TRUE(IsWindowVisible(Form->Handle()));
  EXPECT_FALSE(IsIconic(InTray->Handle()));
  EXPECT_FALSE(IsWindowVisible(InTray->Handle()));
  zrtest::SaveScreenshot(Form->Handle(), "framework_app_restored");
  InTray->Show();
  EXPECT_FALSE(IsIconic(InTray->Handle()));
}
