// The notices: what each shows, what its buttons answer and what OK does
// afterwards, driven by real clicks on real windows.
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "app/uFunction.h"
#include "framework/Application.h"
#include "tests/support/TestSupport.h"
#include "tests/unit/windows/WindowTestSupport.h"
#include "ui/frmUpdateInfo.h"

namespace {

enum Badge { Ico, Yes, Error };
enum Press { PressOK, PressCancel, PressClose };

struct NoticeCase {
  const char* Name;
  std::function<bool()> Show;
  Badge ShownBadge;
  std::string Text;
  int LabelTop;
  bool MemoShown;
  bool CancelShown;
  bool ClosesAfterOK;
  bool OpensHomePage;
};

const char kNotes[] = "2.0版本特性\r\n    1 更快的下载\n    2 修正了字幕问题";

const NoticeCase kNotices[] = {
    {"ask", [] { return AskToUpdate("2.0", "1.1", kNotes); }, Ico,
     "目前最新版本是:2.0，本机版本是:1.1，建议您升级！", 72, true, true, false, false},
    {"noupdate", ShowNoUpdateNotice, Yes, "没有最新程序更新，有什么问题请到我们论坛提交！", 90,
     false, true, false, false},
    {"latest", ShowLatestNotice, Yes, "您现在的版本已经是最新版本，不需要升级！", 90, false,
     false, false, false},
    {"manual", ShowManualDownloadNotice, Error, "多次更新失败，请手动下载新版播放器。", 90,
     false, true, true, true},
    {"error", [] { return ShowErrorNotice("下载失败：连接被重置"); }, Error,
     "下载失败：连接被重置", 90, false, false, true, false},
};

// What a notice showed, seen from inside its modal run.
struct Seen {
  bool Ico = false, Yes = false, Error = false;
  std::string Text;
  int LabelTop = 0;
  bool MemoShown = false;
  std::vector<std::string> Memo;
  bool MemoScrolls = false;  // its vertical scroll bar is shown
  bool OKShown = false, CancelShown = false;
  int OKLeft = 0, CancelLeft = 0;
  bool TimerOn = true;
  std::string Caption;
};

Seen Look(TFormUpdateInfo* N) {
  Seen S;
  S.Ico = N->imgIco->Visible();
  S.Yes = N->imgYes->Visible();
  S.Error = N->imgError->Visible();
  S.Text = N->lblInfo->Caption();
  S.LabelTop = N->lblInfo->Top();
  S.MemoShown = N->mmoHistory->Visible();
  for (int I = 0; I < N->mmoHistory->Lines().Count(); ++I) S.Memo.push_back(N->mmoHistory->Lines().Get(I));
  S.MemoScrolls = (GetWindowLongA(N->mmoHistory->Handle(), GWL_STYLE) & WS_VSCROLL) != 0;
  S.OKShown = N->btnOK->Visible();
  S.CancelShown = N->btnCancel->Visible();
  S.OKLeft = N->btnOK->Left();
  S.CancelLeft = N->btnCancel->Left();
  S.TimerOn = N->tmr1->Enabled();
  S.Caption = N->Caption();
  return S;
}

std::string UrlLog() { return zrtest::FreshDir("windows-url") + "urls.txt"; }

// Shows the notice, looks at it, presses a button; the notice's answer.
bool RunCase(const NoticeCase& C, Press P, Seen& S) {
  TFormUpdateInfo* Notice = nullptr;
  ModalScript Script;
  Script.OnStuck = [&Notice] {
    if (Notice) Notice->SetModalResult(2);
  };
  Script.Then(WaitForNotice(Notice)).Do([&] { S = Look(Notice); });
  if (P == PressOK) Script.Do([&] { Screenshot(Notice, std::string("notice-") + C.Name); });
  Script.Do([&] {
    TControl* Target = P == PressOK       ? static_cast<TControl*>(Notice->btnOK)
                       : P == PressCancel ? Notice->btnCancel
                                          : Notice->btnClose;
    ClickControl(Notice, Target);
  });
  Script.Start();
  int Before = Application->ComponentCount();
  bool Answer = C.Show();
  EXPECT_TRUE(Script.Finished()) << C.Name;
  EXPECT_EQ(Application->ComponentCount(), Before) << C.Name << ": the notice is freed";
  return Answer;
}

TEST(Notices, EachShowsItsBadgeTextAndButtons) {
  for (const NoticeCase& C : kNotices) {
    SCOPED_TRACE(C.Name);
    Seen S;
    RunCase(C, PressClose, S);
    TakeApplicationClose();
    EXPECT_EQ(S.Caption, "泽润影音升级程序");
    EXPECT_EQ(S.Ico, C.ShownBadge == Ico);
    EXPECT_EQ(S.Yes, C.ShownBadge == Yes);
    EXPECT_EQ(S.Error, C.ShownBadge == Error);
    EXPECT_EQ(S.Text, C.Text);
    EXPECT_EQ(S.LabelTop, C.LabelTop);
    EXPECT_EQ(S.MemoShown, C.MemoShown);
    EXPECT_TRUE(S.OKShown);
    EXPECT_EQ(S.CancelShown, C.CancelShown);
    EXPECT_EQ(S.OKLeft, C.CancelShown ? 185 : 284);
    EXPECT_EQ(S.CancelLeft, 284);
    EXPECT_FALSE(S.TimerOn);
  }
}

TEST(Notices, TheQuestionListsTheReleaseNotesLineByLine) {
  Seen S;
  EXPECT_FALSE(RunCase(kNotices[0], PressCancel, S));
  EXPECT_EQ(S.Memo, (std::vector<std::string>{"2.0版本特性", "    1 更快的下载", "    2 修正了字幕问题"}));
  EXPECT_FALSE(S.MemoScrolls);
}

TEST(Notices, ReleaseNotesTallerThanTheMemoScrollToTheirEnd) {
  TFormUpdateInfo* Notice = nullptr;
  HWND Memo = nullptr;
  bool Scrolls = false;
  LRESULT LastShown = 0;
  ModalScript Script;
  Script.OnStuck = [&Notice] {
    if (Notice) Notice->SetModalResult(2);
  };
  Script.Then(WaitForNotice(Notice))
      .Do([&] {
        Memo = Notice->mmoHistory->Handle();
        Scrolls = (GetWindowLongA(Memo, GWL_STYLE) & WS_VSCROLL) != 0;
        SendMessageA(Memo, WM_VSCROLL, SB_BOTTOM, 0);
      })
      .Wait(200)
      .Do([&] {
        LastShown = SendMessageA(Memo, EM_GETFIRSTVISIBLELINE, 0, 0);
        Screenshot(Notice, "notice-ask-long-notes");
        ClickControl(Notice, Notice->btnCancel);
      });
  Script.Start();
  std::string Notes = "2.0版本特性";
  for (int I = 1; I <= 8; ++I) Notes += "\r\n    " + std::to_string(I) + " 修正了第" + std::to_string(I) + "个问题";
  EXPECT_FALSE(AskToUpdate("2.0", "1.1", Notes));
  EXPECT_TRUE(Script.Finished());
  EXPECT_TRUE(Scrolls);
  // Nine lines in a memo of four: the last ones came into view.
  EXPECT_GE(LastShown, 5);
}

TEST(Notices, AnEmptyReleaseNoteLeavesTheMemoEmptyButShown) {
  NoticeCase C = kNotices[0];
  C.Show = [] { return AskToUpdate("2.0", "1.1", ""); };
  Seen S;
  RunCase(C, PressCancel, S);
  EXPECT_TRUE(S.MemoShown);
  EXPECT_TRUE(S.Memo.empty());
}

TEST(Notices, OKAnswersTrueAndRunsTheAfterOKAction) {
  // A notice without Cancel ends as its OK does when it is closed.
  for (Press P : {PressOK, PressClose}) {
    for (const NoticeCase& C : kNotices) {
      if (P == PressClose && C.CancelShown) continue;
      SCOPED_TRACE(std::string(C.Name) + (P == PressOK ? " ok" : " close"));
      std::string Log = UrlLog();
      SetEnvironmentVariableA("ZR_URL_LOG", Log.c_str());
      Seen S;
      EXPECT_TRUE(RunCase(C, P, S));
      EXPECT_EQ(TakeApplicationClose(), C.ClosesAfterOK);
      if (C.OpensHomePage) {
        DWORD Start = GetTickCount();
        while (!zrtest::FileExists(Log) && GetTickCount() - Start < 15000) zrtest::PumpMessages(50);
        zrtest::PumpMessages(200);
        EXPECT_EQ(zrtest::ReadWholeFile(Log), std::string(ZERUN_HOME_URL) + "\r\n");
      }
    }
  }
}

TEST(Notices, CancelAndTheCloseButtonAnswerFalseAndSkipTheAfterOKAction) {
  for (const NoticeCase& C : kNotices) {
    for (Press P : {PressCancel, PressClose}) {
      if (!C.CancelShown) continue;  // closed, it ends as its OK does
      SCOPED_TRACE(std::string(C.Name) + (P == PressCancel ? " cancel" : " close"));
      std::string Log = UrlLog();
      SetEnvironmentVariableA("ZR_URL_LOG", Log.c_str());
      Seen S;
      EXPECT_FALSE(RunCase(C, P, S));
      EXPECT_FALSE(TakeApplicationClose());
      zrtest::PumpMessages(C.OpensHomePage ? 1500 : 0);
      EXPECT_FALSE(zrtest::FileExists(Log));
    }
  }
}

// --- the checking notice ------------------------------------------------

const char kChecking[] = "请等待，正在联网检测新版本......";
const char kTimedOut[] = "联网超时，请检您的网络是否正常，或稍后再试！";

// Runs the checking notice with the script steps that follow its appearance.
bool RunChecking(ModalScript& Script) {
  Script.OnStuck = [] { CloseCheckingNotice(2); };
  Script.Start();
  return ShowCheckingNotice(10000);
}

void ExpectCheckingLook(TFormUpdateInfo* N) {
  Seen S = Look(N);
  EXPECT_TRUE(S.Ico);
  EXPECT_FALSE(S.Yes);
  EXPECT_EQ(S.Text, kChecking);
  EXPECT_EQ(S.LabelTop, 90);
  EXPECT_FALSE(S.MemoShown);
  EXPECT_FALSE(S.OKShown);
  EXPECT_TRUE(S.CancelShown);
  EXPECT_TRUE(S.TimerOn);
  EXPECT_EQ(N->tmr1->Interval(), 10000u);
}

class CheckingNotice : public ::testing::Test {
 protected:
  void SetUp() override { TakeApplicationClose(); }
  void TearDown() override {
    CloseCheckingNotice(2);
    TakeApplicationClose();
  }
  TForm* Checking() { return FormUpdateInfo; }
};

TEST_F(CheckingNotice, AnyOtherNoticeClosesItWithResultOne) {
  TFormUpdateInfo* Notice = nullptr;
  TForm* Shared = nullptr;
  bool HiddenUnderNotice = false, TimerStopped = false;
  ModalScript Script;
  Script.Do([&] { Shared = FormUpdateInfo; })
      .Then(WaitVisible(Shared))
      .Do([&] {
        ExpectCheckingLook(FormUpdateInfo);
        Screenshot(FormUpdateInfo, "notice-checking");
      })
      .DoLater([] { ShowLatestNotice(); })
      .Then(WaitForNotice(Notice))
      .Do([&] {
        HiddenUnderNotice = !FormUpdateInfo->Visible();
        TimerStopped = !FormUpdateInfo->tmr1->Enabled();
        ClickControl(Notice, Notice->btnOK);
      });
  EXPECT_TRUE(RunChecking(Script));
  EXPECT_TRUE(Script.Finished());
  EXPECT_TRUE(HiddenUnderNotice);
  EXPECT_TRUE(TimerStopped);
  EXPECT_EQ(FormUpdateInfo->ModalResult(), 1);
}

TEST_F(CheckingNotice, CancelAndTheCloseButtonAnswerFalse) {
  for (bool UseClose : {false, true}) {
    TForm* Shared = nullptr;
    ModalScript Script;
    Script.Do([&] { Shared = FormUpdateInfo; }).Then(WaitVisible(Shared)).Do([&] {
      ClickControl(FormUpdateInfo, UseClose ? static_cast<TControl*>(FormUpdateInfo->btnClose)
                                            : FormUpdateInfo->btnCancel);
    });
    EXPECT_FALSE(RunChecking(Script)) << UseClose;
    EXPECT_TRUE(Script.Finished());
    EXPECT_FALSE(TakeApplicationClose());
  }
}

TEST_F(CheckingNotice, TimeOutShowsItsTextCountsOneFailureAndALateArrivalStillCloses) {
  SetFailureCounter(2);
  TFormUpdateInfo* Notice = nullptr;
  TForm* Shared = nullptr;
  int CounterAtTimeOut = 0;
  bool StillShown = false, ClosePosted = true;
  ModalScript Script;
  Script.Do([&] { Shared = FormUpdateInfo; })
      .Then(WaitVisible(Shared))
      .Then([] { return FormUpdateInfo->lblInfo->Caption() == kTimedOut; })
      .Wait(300)
      .Do([&] {
        CounterAtTimeOut = FailureCounter();
        StillShown = IsWindowVisible(FormUpdateInfo->Handle()) != 0;
        ClosePosted = TakeApplicationClose();
        Screenshot(FormUpdateInfo, "notice-checking-timeout");
      })
      .DoLater([] { ShowNoUpdateNotice(); })
      .Then(WaitForNotice(Notice))
      .Do([&] { ClickControl(Notice, Notice->btnCancel); });
  EXPECT_TRUE(RunChecking(Script));
  EXPECT_TRUE(Script.Finished());
  EXPECT_EQ(CounterAtTimeOut, 3);
  EXPECT_TRUE(StillShown);
  EXPECT_FALSE(ClosePosted);
}

TEST_F(CheckingNotice, TimeOutOverTheLimitShowsTheManualNoticeAndCloses) {
  SetFailureCounter(6);
  TFormUpdateInfo* Notice = nullptr;
  std::string Text;
  ModalScript Script;
  Script.StepTimeoutMs = 30000;
  Script.Then(WaitForNotice(Notice)).Do([&] {
    Text = Notice->lblInfo->Caption();
    ClickControl(Notice, Notice->btnCancel);
  });
  EXPECT_TRUE(RunChecking(Script));
  EXPECT_TRUE(Script.Finished());
  EXPECT_EQ(Text, "多次更新失败，请手动下载新版播放器。");
  EXPECT_EQ(FailureCounter(), 0);
  EXPECT_TRUE(TakeApplicationClose());
}

// --- silent runs: this program started again with "/S" first -------------

// Pumps messages until the application's close is posted; true when it was.
bool WaitForApplicationClose(DWORD TimeoutMs) {
  DWORD Start = GetTickCount();
  while (GetTickCount() - Start < TimeoutMs) {
    if (TakeApplicationClose()) return true;
    MSG Msg;
    if (PeekMessageA(&Msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&Msg);
      DispatchMessageA(&Msg);
    } else {
      Sleep(10);
    }
  }
  return false;
}

class SilentRun : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!IsSilentRun()) GTEST_SKIP() << "runs in the child started with /S";
  }
};

TEST_F(SilentRun, NothingIsShownAndTheTimerRuns) {
  SetFailureCounter(0);
  EXPECT_TRUE(ShowCheckingNotice(10000));
  ASSERT_NE(FormUpdateInfo, nullptr);
  EXPECT_FALSE(IsWindowVisible(FormUpdateInfo->Handle()));
  EXPECT_TRUE(FormUpdateInfo->tmr1->Enabled());
  // Below the limit the time-out closes the program without a word.
  EXPECT_TRUE(WaitForApplicationClose(20000));
  EXPECT_EQ(FailureCounter(), 1);
  EXPECT_FALSE(IsWindowVisible(FormUpdateInfo->Handle()));
  EXPECT_FALSE(FormUpdateInfo->tmr1->Enabled());
}

TEST_F(SilentRun, TimeOutOverTheLimitShowsTheManualNoticeFirst) {
  SetFailureCounter(6);
  TFormUpdateInfo* Notice = nullptr;
  bool Closed = false;
  ModalScript Script;
  Script.StepTimeoutMs = 30000;
  Script.Then(WaitForNotice(Notice)).Do([&] {
    Closed = TakeApplicationClose();
    ClickControl(Notice, Notice->btnCancel);
  });
  Script.OnStuck = [] { CloseCheckingNotice(2); };
  Script.Start();
  EXPECT_TRUE(ShowCheckingNotice(10000));
  EXPECT_TRUE(WaitForApplicationClose(40000));
  EXPECT_TRUE(Script.Finished());
  EXPECT_FALSE(Closed) << "the close follows the notice";
  EXPECT_EQ(FailureCounter(), 0);
}

TEST(SilentRuns, RunInAChildStartedWithTheSilentSwitch) {
  if (IsSilentRun()) GTEST_SKIP();
  std::string Exe = zrtest::ExeDir();
  char Self[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, Self, MAX_PATH);
  zrtest::Process P = zrtest::StartProcess(zrtest::Quote(Self) +
                                           " /S --gtest_color=no --gtest_filter=SilentRun.*");
  ASSERT_NE(P.handle, nullptr);
  DWORD Code = 1000;
  ASSERT_TRUE(zrtest::WaitProcess(P, 120000, &Code));
  EXPECT_EQ(Code, 0u) << "the silent-run tests failed in the child";
}

}  // namespace
