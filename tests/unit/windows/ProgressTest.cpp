// The progress window: the modal dialog with its tray icon and menu, the
// progress text and bar, the message list, the end of a download, and the
// hidden main window.
#include <windows.h>

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>

#include "framework/Application.h"
#include "tests/support/TestSupport.h"
#include "tests/unit/windows/WindowTestSupport.h"
#include "ui/frmProgress.h"

namespace {

// A fresh window as the program creates it, never shown.
struct HiddenProgress {
  HiddenProgress() : Form(new TFormProgress(nullptr)) {}
  ~HiddenProgress() { delete Form; }
  TFormProgress* Form;
};

std::string LastItem(TFormProgress* F) {
  return F->lst1->Items().Get(F->lst1->Items().Count() - 1);
}

// Sends the tray icon the notification the shell sends for a mouse message.
void TrayMouse(TFormProgress* F, UINT MouseMsg) {
  PostMessageA(F->TrayIcon1->Handle(), TTrayIcon::WM_TRAYNOTIFY, 0, MouseMsg);
}

HWND ShownMenu() {
  HWND Menu = FindWindowA("#32768", nullptr);
  return Menu && IsWindowVisible(Menu) ? Menu : nullptr;
}

// Opens the tray icon's menu and chooses its item with real key presses.
void ChooseTrayMenuItem(ModalScript& Script, TFormProgress* const& F, int Index) {
  Script.Do([&F] { TrayMouse(F, WM_RBUTTONUP); })
      .Then([] { return ShownMenu() != nullptr; })
      .Wait(300);
  for (int I = 0; I <= Index; ++I) Script.Do([] { zrtest::PressKey(VK_DOWN); }).Wait(100);
  Script.Do([] { zrtest::PressKey(VK_RETURN); });
}

// The first steps of every dialog run: wait until it is on the screen.
ModalScript& WaitForDialog(ModalScript& Script, TFormProgress*& F, TForm*& Shown) {
  return Script.Do([&] { Shown = F = FormProgress; }).Then(WaitVisible(Shown));
}

// Runs the dialog with the steps that follow its appearance; its answer.
bool RunDialog(ModalScript& Script) {
  Script.OnStuck = [] {
    if (FormProgress) FormProgress->SetModalResult(7);
  };
  Script.Start();
  bool Result = RunProgressDialog(100);
  EXPECT_TRUE(Script.Finished());
  EXPECT_EQ(FormProgress, nullptr);
  return Result;
}

TEST(ProgressWindow, StartsDownloadingWithOKDisabled) {
  HiddenProgress P;
  TFormProgress* F = P.Form;
  EXPECT_EQ(F->Caption(), "泽润影音升级程序");
  EXPECT_EQ(F->ClientWidth(), 412);
  EXPECT_EQ(F->ClientHeight(), 252);
  EXPECT_EQ(F->BorderIcons(), biSystemMenu | biMinimize);
  EXPECT_FALSE(F->btnOK->Enabled());
  EXPECT_EQ(F->btnOK->Font().Color(), clSilver);
  EXPECT_TRUE(F->btnCancel->Enabled());
  EXPECT_EQ(F->btnOK->ModalResult, 1);
  EXPECT_EQ(F->btnCancel->ModalResult, 7);
  ASSERT_EQ(F->lst1->Items().Count(), 1);
  EXPECT_EQ(LastItem(F), "正在升级......");
  EXPECT_EQ(F->lbl1->Caption(), "升级进度");
  EXPECT_EQ(F->lbl2->Caption(), "升级信息");
  EXPECT_FALSE(F->TrayIcon1->Visible());
  ASSERT_EQ(F->pm1->Count(), 2);
  EXPECT_EQ(F->pm1->Items(0), F->N2);
  EXPECT_EQ(F->N2->Caption, "显示窗体");
  EXPECT_EQ(F->N1->Caption, "退出升级");
}

TEST(ProgressWindow, ShowProgressFormatsOneDecimalAndRoundsTheBarHalfToEven) {
  struct Case {
    float Percent;
    const char* Caption;
    int Position;
  } Cases[] = {{0.0f, "下载进度0.0%", 0},      {37.5f, "下载进度37.5%", 38},
               {36.5f, "下载进度36.5%", 36},    {12.34f, "下载进度12.3%", 12},
               {99.99f, "下载进度100.0%", 100}, {100.0f, "下载进度100.0%", 100}};
  HiddenProgress P;
  P.Form->pb1->SetMax(100);
  for (const Case& C : Cases) {
    P.Form->ShowProgress(C.Percent);
    EXPECT_EQ(P.Form->lbl1->Caption(), C.Caption) << C.Percent;
    EXPECT_EQ(P.Form->pb1->Position(), C.Position) << C.Percent;
  }
}

TEST(ProgressWindow, APercentageOutsideTheBarKeepsItWithinItsRange) {
  struct Case {
    float Percent;
    int Position;
  } Cases[] = {{-3.0f, 0}, {250.0f, 100}, {std::nanf(""), 0}, {HUGE_VALF, 100}};
  HiddenProgress P;
  P.Form->pb1->SetMax(100);
  for (const Case& C : Cases) {
    P.Form->ShowProgress(50.0f);
    P.Form->ShowProgress(C.Percent);
    EXPECT_EQ(P.Form->pb1->Position(), C.Position) << C.Percent;
  }
}

TEST(ProgressWindow, TheNewestMessageIsSelected) {
  HiddenProgress P;
  for (const char* Line : {"C:\\update\\setup.exe", "第二行", "third"}) {
    P.Form->AddMessage(Line);
    EXPECT_EQ(LastItem(P.Form), Line);
    EXPECT_EQ(P.Form->lst1->ItemIndex(), P.Form->lst1->Items().Count() - 1);
  }
  EXPECT_EQ(P.Form->lst1->Items().Count(), 4);
}

TEST(ProgressWindow, TheHiddenMainWindowGrantsEveryClose) {
  HiddenProgress P;
  EXPECT_TRUE(P.Form->CloseQuery());
  P.Form->ShowProgress(40.0f);
  EXPECT_TRUE(P.Form->CloseQuery());
  EXPECT_FALSE(P.Form->TrayIcon1->Visible());
}

// A failure shows a notice chosen by the failure counter and leaves the
// dialog as it was.
TEST(ProgressWindow, DownloadFailedShowsTheNoticeTheCounterChooses) {
  struct Case {
    int Counter;
    const char* Text;
    int CounterAfter;
    bool EndsRun;  // the error notice, closed, ends the run as its OK does
  } Cases[] = {{1, "连接超时", 2, true}, {6, "多次更新失败，请手动下载新版播放器。", 0, false}};
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Counter);
    HiddenProgress P;
    P.Form->ShowProgress(25.0f);
    SetFailureCounter(C.Counter);
    TFormUpdateInfo* Notice = nullptr;
    std::string Text;
    ModalScript Script;
    Script.OnStuck = [&Notice] {
      if (Notice) Notice->SetModalResult(2);
    };
    Script.Then(WaitForNotice(Notice)).Do([&] {
      Text = Notice->lblInfo->Caption();
      ClickControl(Notice, Notice->btnCancel->Visible() ? Notice->btnCancel : Notice->btnClose);
    });
    Script.Start();
    P.Form->DownloadFailed(nullptr, "连接超时");
    EXPECT_TRUE(Script.Finished());
    EXPECT_EQ(Text, C.Text);
    EXPECT_EQ(FailureCounter(), C.CounterAfter);
    EXPECT_EQ(P.Form->pb1->Position(), 25);
    EXPECT_EQ(P.Form->lst1->Items().Count(), 1);
    EXPECT_TRUE(P.Form->btnCancel->Enabled());
    EXPECT_FALSE(P.Form->btnOK->Enabled());
    EXPECT_EQ(TakeApplicationClose(), C.EndsRun);
  }
}

TEST(ProgressDialog, ACloseWhileDownloadingHidesItToTheTrayUntilItIsBroughtBack) {
  TFormProgress* F = nullptr;
  TForm* Shown = nullptr;
  ModalScript Script;
  WaitForDialog(Script, F, Shown)
      .Do([&] {
        EXPECT_EQ(F->pb1->Max(), 100);
        F->ShowProgress(37.5f);
        F->AddMessage("正在下载 setup.exe");
      })
      .Wait(200)
      .Do([&] { Screenshot(F, "progress-downloading"); })
      .Do([&] { ClickControl(F, F->btnClose); })
      .Then(WaitVisible(Shown, false))
      .Do([&] {
        EXPECT_TRUE(F->TrayIcon1->Visible());
        EXPECT_EQ(F->TrayIcon1->Hint(), "泽润影音升级程序");
        EXPECT_EQ(F->TrayIcon1->Icon(), Application->Icon);
        F->ShowProgress(50.0f);
        F->AddMessage("hidden");
        EXPECT_EQ(F->lbl1->Caption(), "下载进度50.0%");
        EXPECT_EQ(F->pb1->Position(), 50);
        EXPECT_EQ(F->lst1->ItemIndex(), 2);
      })
      // A click on the tray icon brings it back.
      .Do([&] {
        TrayMouse(F, WM_LBUTTONDOWN);
        TrayMouse(F, WM_LBUTTONUP);
      })
      .Then(WaitVisible(Shown))
      .Do([&] { EXPECT_FALSE(F->TrayIcon1->Visible()); })
      .Do([&] { ClickControl(F, F->btnClose); })
      .Then(WaitVisible(Shown, false));
  // So does the menu's first item.
  ChooseTrayMenuItem(Script, F, 0);
  Script.Then(WaitVisible(Shown))
      .Do([&] { EXPECT_FALSE(F->TrayIcon1->Visible()); })
      .Do([&] { ClickControl(F, F->btnClose); })
      .Then(WaitVisible(Shown, false));
  // The second ends the dialog.
  ChooseTrayMenuItem(Script, F, 1);
  EXPECT_FALSE(RunDialog(Script));
}

TEST(ProgressDialog, CancelEndsItAtOnce) {
  TForm* Shown = nullptr;
  bool TrayShown = false;
  ModalScript Script;
  Script.Do([&] { Shown = FormProgress; }).Then(WaitVisible(Shown)).Do([&] {
    FormProgress->ShowProgress(10.0f);
    ClickControl(FormProgress, FormProgress->btnCancel);
  });
  // Reached only when the dialog survives the click, which is the fault.
  Script.Then([&] {
    TrayShown = FormProgress && FormProgress->TrayIcon1->Visible();
    return TrayShown;
  });
  Script.StepTimeoutMs = 5000;
  Script.OnStuck = [] {
    if (FormProgress) FormProgress->SetModalResult(7);
  };
  Script.Start();
  EXPECT_FALSE(RunProgressDialog(100));
  EXPECT_FALSE(TrayShown);
  EXPECT_EQ(FormProgress, nullptr);
}

// After the download OK ends the dialog with true, the close button with
// false; either way the window came back from the tray.
TEST(ProgressDialog, AfterTheDownloadOKAndTheCloseButtonEndIt) {
  for (bool PressOK : {true, false}) {
    SCOPED_TRACE(PressOK ? "OK" : "close");
    TFormProgress* F = nullptr;
    TForm* Shown = nullptr;
    ModalScript Script;
    WaitForDialog(Script, F, Shown)
        .Do([&] {
          F->ShowProgress(100.0f);
          ClickControl(F, F->btnClose);
        })
        .Then(WaitVisible(Shown, false))
        .Do([&] {
          F->AddMessage("C:\\Program Files\\ZeRun\\update\\setup.exe");
          F->DownloadFinished(nullptr);
        })
        .Then(WaitVisible(Shown))
        .Do([&] {
          EXPECT_FALSE(F->TrayIcon1->Visible());
          EXPECT_TRUE(F->btnOK->Enabled());
          EXPECT_EQ(F->btnOK->Font().Color(), clBlack);
          EXPECT_FALSE(F->btnCancel->Enabled());
          EXPECT_EQ(F->btnCancel->Font().Color(), clSilver);
          EXPECT_EQ(LastItem(F), "下载完成");
          EXPECT_EQ(F->lst1->ItemIndex(), F->lst1->Items().Count() - 1);
        })
        .Wait(200)
        .Do([&] {
          if (PressOK) Screenshot(F, "progress-finished");
        })
        .Do([&] { ClickControl(F, PressOK ? static_cast<TControl*>(F->btnOK) : F->btnClose); });
    EXPECT_EQ(RunDialog(Script), PressOK);
  }
}

}  // namespace
