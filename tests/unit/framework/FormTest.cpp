#include <gtest/gtest.h>

#include "framework/Forms.h"
#include "framework/StdCtrls.h"
#include "tests/support/TestSupport.h"
#include "tests/unit/framework/FrameworkTest.h"

using namespace fwtest;

namespace {
LONG_PTR Style(TForm* Form) { return GetWindowLongPtrA(Form->Handle(), GWL_STYLE); }
LONG_PTR ExStyle(TForm* Form) { return GetWindowLongPtrA(Form->Handle(), GWL_EXSTYLE); }
}  // namespace

TEST(Form, BorderlessWindowIsAllClientArea) {
  TForm Form(nullptr);
  EXPECT_EQ(Style(&Form) & (WS_CAPTION | WS_THICKFRAME), 0);
  Form.SetClientWidth(412);
  Form.SetClientHeight(252);
  EXPECT_EQ(Form.Width(), 412);
  EXPECT_EQ(Form.Height(), 252);
  RECT Client;
  GetClientRect(Form.Handle(), &Client);
  EXPECT_EQ(Client.right, 412);
  EXPECT_EQ(Client.bottom, 252);
}

TEST(Form, BorderIconsChooseTheWindowsMenuAndBoxes) {
  struct {
    TBorderIcons Icons;
    LONG_PTR Present, Absent;
  } Cases[] = {
      {biSystemMenu, WS_SYSMENU, WS_MINIMIZEBOX | WS_MAXIMIZEBOX},
      {biSystemMenu | biMinimize, WS_SYSMENU | WS_MINIMIZEBOX, WS_MAXIMIZEBOX},
      {biSystemMenu | biMinimize | biMaximize, WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX, 0},
      {biMinimize, 0, WS_SYSMENU | WS_MINIMIZEBOX},  // no boxes without the menu
  };
  TForm Form(nullptr);
  Form.HandleNeeded();
  for (const auto& C : Cases) {
    Form.SetBorderIcons(C.Icons);
    EXPECT_EQ(Style(&Form) & C.Present, C.Present) << C.Icons;
    EXPECT_EQ(Style(&Form) & C.Absent, 0) << C.Icons;
  }
}

TEST(Form, StayOnTopIsTheTopmostExtendedStyle) {
  TForm Form(nullptr);
  Form.SetFormStyle(fsStayOnTop);
  EXPECT_TRUE(ExStyle(&Form) & WS_EX_TOPMOST);
  Form.SetFormStyle(fsNormal);
  EXPECT_FALSE(ExStyle(&Form) & WS_EX_TOPMOST);
  Form.SetFormStyle(fsStayOnTop);
  EXPECT_TRUE(ExStyle(&Form) & WS_EX_TOPMOST);
}

TEST(Form, PositionPlacesTheFormWhenFirstShown) {
  ScopedApplication Scope;
  TForm* Main = nullptr;
  Scope.App().CreateForm(Main);
  Main->SetBounds(100, 120, 400, 300);
  int ScreenW = GetSystemMetrics(SM_CXSCREEN), ScreenH = GetSystemMetrics(SM_CYSCREEN);
  RECT Work;
  SystemParametersInfoA(SPI_GETWORKAREA, 0, &Work, 0);
  struct {
    TPosition Position;
    int Left, Top;
  } Cases[] = {
      {poDesigned, 7, 9},
      {poScreenCenter, (ScreenW - 200) / 2, (ScreenH - 100) / 2},
      {poDesktopCenter, (GetSystemMetrics(SM_CXVIRTUALSCREEN) - 200) / 2, (GetSystemMetrics(SM_CYVIRTUALSCREEN) - 100) / 2},
      {poMainFormCenter, 200, 220},
      // No window to follow: the pointer's monitor, here the only one.
      {poMonitorCenter, (Work.left + Work.right - 200) / 2, (Work.top + Work.bottom - 100) / 2},
  };
  for (const auto& C : Cases) {
    TForm* Form = NewTestForm(&Scope.App(), 7, 9, 200, 100, clSilver);
    Form->Position = C.Position;
    Form->Show();
    RECT R;
    GetWindowRect(Form->Handle(), &R);
    EXPECT_EQ(R.left, C.Left) << C.Position;
    EXPECT_EQ(R.top, C.Top) << C.Position;
    EXPECT_EQ(Form->Left(), C.Left) << C.Position;
    Form->Hide();
    Form->SetBounds(1, 2, 200, 100);
    Form->Show();  // only the first showing places it
    EXPECT_EQ(Form->Left(), 1) << C.Position;
    delete Form;
  }
}

TEST(Form, MainFormCentreFallsBackToTheScreenForTheMainFormItself) {
  ScopedApplication Scope;
  TForm* Main = nullptr;
  Scope.App().CreateForm(Main);
  Main->SetBounds(0, 0, 200, 100);
  Main->Position = poMainFormCenter;
  Main->Show();
  EXPECT_EQ(Main->Left(), (GetSystemMetrics(SM_CXSCREEN) - 200) / 2);
}

TEST(Form, CaptionIsTheWindowText) {
  TForm Form(nullptr);
  Form.SetCaption("升级程序");
  Form.HandleNeeded();
  Form.SetCaption("泽润影音升级程序");
  char Text[64] = {};
  GetWindowTextA(Form.Handle(), Text, sizeof(Text));
  EXPECT_STREQ(Text, "泽润影音升级程序");
}

TEST(Form, FreeingAFormFreesItsChildrenAndWindows) {
  auto* Form = new TForm(nullptr);
  auto* List = new TListBox(Form);
  List->SetParent(Form);
  auto* Label = new TCustomLabel(Form);
  Label->SetParent(Form);
  HWND FormWnd = Form->Handle(), ListWnd = List->Handle();
  ASSERT_TRUE(IsWindow(ListWnd));
  delete Form;
  EXPECT_FALSE(IsWindow(FormWnd));
  EXPECT_FALSE(IsWindow(ListWnd));
}

TEST(Form, ParentFormIsTheTopLevelContainer) {
  TForm Form(nullptr);
  auto* Label = new TCustomLabel(&Form);
  EXPECT_EQ(GetParentForm(Label), nullptr);
  Label->SetParent(&Form);
  EXPECT_EQ(GetParentForm(Label), &Form);
  EXPECT_EQ(GetParentForm(&Form), &Form);
}

TEST(Control, AutoSizeReplacesEveryRequestedSize) {
  TForm Form(nullptr);
  Probe* P = new Probe(&Form, clRed, 0, 0, 10, 10);
  P->WantSize = true;
  P->WantWidth = 107;
  P->WantHeight = 27;
  P->SetAutoSize(true);
  for (int Size : {1, 50, 300}) {
    P->SetBounds(5, 6, Size, Size);
    EXPECT_EQ(P->Width(), 107);
    EXPECT_EQ(P->Height(), 27);
    EXPECT_EQ(P->Left(), 5);
  }
  P->SetAutoSize(false);
  P->SetBounds(5, 6, 300, 300);
  EXPECT_EQ(P->Width(), 300);
}

TEST(Control, AnchorsKeepDistancesToTheAnchoredEdges) {
  TForm Form(nullptr);
  Form.SetBounds(0, 0, 328, 227);
  Probe* Right = new Probe(&Form, clRed, 290, 0, 30, 40);  // 8 from the right edge
  Right->Anchors = akTop | akRight;
  Probe* Stretch = new Probe(&Form, clRed, 10, 100, 308, 20);
  Stretch->Anchors = akLeft | akRight | akBottom | akTop;
  Form.SetClientWidth(412);  // before the window exists
  EXPECT_EQ(Right->Left(), 412 - 30 - 8);
  EXPECT_EQ(Stretch->Width(), 392);
  Form.Show();
  SetWindowPos(Form.Handle(), nullptr, 0, 0, 300, 250, SWP_NOMOVE | SWP_NOZORDER);
  EXPECT_EQ(Right->Left(), 300 - 30 - 8);
  EXPECT_EQ(Stretch->Width(), 280);
  EXPECT_EQ(Stretch->Height(), 43);
  EXPECT_EQ(Right->Top(), 0);
}
