// Whole runs of ZeRunUpdate.exe under Wine against the loopback update
// server, with the stand-in client and installer, clicked through with real
// mouse input.
#include <gtest/gtest.h>

#include "tests/e2e/E2eRun.h"

using namespace e2e;
using namespace zrtest;

namespace {

const DWORD kWindowWait = 20000;
const std::string kNotes = "1.2版本特性\r\n    1 更快的下载\r\n    2 修正了播放问题";

std::string SetupUrl(const std::string& Path = kSetupPath) { return ServerUrl(Path); }

void Serve(const std::vector<std::string>& Urls, uint32_t Version, const std::string& Msg = kNotes) {
  ASSERT_TRUE(ServerPut(kInfoPath, Document(Urls, Version, Msg)));
}

int CountRequests(const std::string& Path) {
  int N = 0;
  for (const auto& E : ServerLog()) N += LogField(E, "path") == Path;
  return N;
}

std::vector<std::string> RangesOf(const std::string& Path) {
  std::vector<std::string> Ranges;
  for (const auto& E : ServerLog())
    if (LogField(E, "path") == Path) Ranges.push_back(LogField(E, "headers.range"));
  return Ranges;
}

// The notice a run shows first: badge colour and whether it is the question.
struct Expect {
  const char* Name;
  std::vector<std::string> Urls;
  uint32_t Offered;
  int64_t Installed;
  std::string Args;
  char Badge;  // 0: nothing is ever shown
  bool OKMoved;  // OK alone, at Cancel's place
};

class NoUpdate : public ::testing::TestWithParam<Expect> {};

TEST_P(NoUpdate, ShowsTheRightNoticeAndEnds) {
  const Expect& E = GetParam();
  UpdaterRun R;
  SetInstalledVersion(E.Installed);
  std::vector<std::string> Urls;
  for (const auto& U : E.Urls) Urls.push_back(SetupUrl(U));
  Serve(Urls, E.Offered);
  R.Start(E.Args);
  if (E.Badge) {
    HWND Wnd = R.WaitPastChecking(kWindowWait);
    ASSERT_NE(Wnd, nullptr);
    R.Shot(Wnd, std::string("no-update-") + E.Name);
    EXPECT_EQ(R.Badge(Wnd), E.Badge);
    EXPECT_FALSE(R.Inspect(Wnd).MemoVisible);
    if (E.OKMoved)
      R.ClickMovedOK(Wnd);
    else
      R.ClickOK(Wnd);
  }
  EXPECT_EQ(R.WaitExit(kWindowWait), 0);
  EXPECT_EQ(CountRequests(kInfoPath), 1);
  EXPECT_EQ(CountRequests(kSetupPath), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Runs, NoUpdate,
    ::testing::Values(Expect{"latest", {kSetupPath}, Packed(1, 1), Packed(1, 1), "", 'g', true},
                      Expect{"silent", {kSetupPath}, Packed(1, 1), Packed(1, 1), "/S", 0, false},
                      Expect{"postbbs", {kSetupPath}, Packed(1, 1), Packed(1, 1), "/S /postbbs", 'g', false},
                      Expect{"empty-urls", {}, Packed(1, 2), Packed(1, 1), "", 'g', true},
                      Expect{"empty-urls-silent", {}, Packed(1, 2), Packed(1, 1), "/s", 0, false},
                      Expect{"zero-both", {kSetupPath}, 0, -1, "", 'g', true}),
    [](const auto& Info) {
      std::string N = Info.param.Name;
      for (auto& C : N) C = isalnum(static_cast<unsigned char>(C)) ? C : '_';
      return N;
    });

// Agrees to the question and returns the progress window.
HWND AgreeToUpdate(UpdaterRun& R, const std::string& Shot) {
  HWND Ask = R.WaitPastChecking(kWindowWait);
  if (!Ask) return nullptr;
  Notice Q = R.Inspect(Ask);
  EXPECT_FALSE(Q.IsProgress);
  EXPECT_TRUE(Q.MemoVisible);
  EXPECT_EQ(R.Badge(Ask), 'o');
  EXPECT_EQ(Q.Memo, kNotes);
  R.Shot(Ask, Shot + "-question");
  R.ClickOK(Ask);
  DWORD Start = GetTickCount();
  while (GetTickCount() - Start < kWindowWait) {
    HWND Wnd = R.WaitWindow(1000);
    if (Wnd && Wnd != Ask && R.Inspect(Wnd).IsProgress) return Wnd;
    PumpMessages(50);
  }
  return nullptr;
}

bool WaitFile(const std::string& Path, DWORD TimeoutMs) {
  DWORD Start = GetTickCount();
  while (!FileExists(Path)) {
    if (GetTickCount() - Start >= TimeoutMs) return false;
    PumpMessages(50);
  }
  PumpMessages(300);
  return true;
}

// Waits for the installer's start, checks the file and the data request's
// range (when given), then ends the run with OK.
void FinishWithOK(UpdaterRun& R, HWND Progress, const std::string& Setup, const std::string& DataRange = "") {
  ASSERT_TRUE(WaitFile(R.Installed() + ".record", 60000));
  EXPECT_EQ(ReadWholeFile(R.Installed()), Setup);
  if (!DataRange.empty()) {
    auto Ranges = RangesOf(kSetupPath);
    ASSERT_EQ(Ranges.size(), 2u) << testing::PrintToString(Ranges);
    EXPECT_EQ(Ranges[1], DataRange);
  }
  R.ClickOK(Progress);
  EXPECT_EQ(R.WaitExit(kWindowWait), 0);
}

TEST(Update, DownloadsClosesTheClientStartsTheInstallerAndEnds) {
  for (uint32_t Offered : {Packed(1, 2), Packed(1, 0)}) {
    SCOPED_TRACE(Offered);
    UpdaterRun R;
    SetInstalledVersion(Packed(1, 1));
    std::string Setup = InstallerBytes(3 << 20);
    ASSERT_TRUE(ServerPut(kSetupPath, Setup));
    Serve({SetupUrl()}, Offered);
    R.StartClient();
    R.Start();
    HWND Progress = AgreeToUpdate(R, "update");
    ASSERT_NE(Progress, nullptr);
    ASSERT_TRUE(WaitFile(R.Installed() + ".record", 60000));
    R.Shot(Progress, "update-finished");
    EXPECT_EQ(R.InstallerRecord(), "cmdline=" + Quote(R.Installed()) + " /S\r\npath=" + R.Installed() + "\r\n");
    EXPECT_EQ(ReadWholeFile(R.Installed()), Setup);
    EXPECT_FALSE(FileExists(R.Installed() + ".tsk"));
    EXPECT_FALSE(FileExists(R.Installed() + ".tsk.cfg"));
    EXPECT_EQ(R.ClientRecord().rfind("WM_CLOSE ", 0), 0u);
    Notice P = R.Inspect(Progress);
    std::string Lines;
    for (const auto& L : P.Lines) Lines += L + "|";
    EXPECT_NE(Lines.find(R.Installed() + "|"), std::string::npos) << Lines;
    EXPECT_EQ(R.FailureCount(), "0");
    auto Ranges = RangesOf(kSetupPath);
    ASSERT_EQ(Ranges.size(), 2u);
    EXPECT_EQ(Ranges[0], "bytes=0-0");
    EXPECT_EQ(Ranges[1], "bytes=0-");
    R.ClickOK(Progress);
    EXPECT_EQ(R.WaitExit(kWindowWait), 0);
  }
}

// Starts a run offering 1.2 over an installed 1.1 and waits for the question.
HWND StartWithOffer(UpdaterRun& R) {
  SetInstalledVersion(Packed(1, 1));
  Serve({SetupUrl()}, Packed(1, 2));
  R.Start();
  return R.WaitPastChecking(kWindowWait);
}

TEST(Update, CancelOnTheQuestionDownloadsNothing) {
  UpdaterRun R;
  HWND Ask = StartWithOffer(R);
  ASSERT_NE(Ask, nullptr);
  EXPECT_TRUE(R.Inspect(Ask).MemoVisible);
  R.ClickCancel(Ask);
  EXPECT_EQ(R.WaitExit(kWindowWait), 0);
  EXPECT_EQ(CountRequests(kSetupPath), 0);
}

TEST(Update, CancelDuringTheDownloadKeepsTheStateAndTheNextRunResumes) {
  std::string Setup = InstallerBytes(2 << 20);
  size_t Kept = 0;
  {
    UpdaterRun R;
    SetInstalledVersion(Packed(1, 1));
    ASSERT_TRUE(ServerPut(kSetupPath, Setup));
    Serve({SetupUrl()}, Packed(1, 2));
    ASSERT_TRUE(ServerFault(kSetupPath, R"({"rate": 200000})"));
    R.Start();
    HWND Progress = AgreeToUpdate(R, "cancel-download");
    ASSERT_NE(Progress, nullptr);
    PumpMessages(3000);
    R.Shot(Progress, "cancel-download-progress");
    R.ClickCancel(Progress);
    EXPECT_EQ(R.WaitExit(kWindowWait), 0);
    EXPECT_FALSE(FileExists(R.Installed()));
    ASSERT_TRUE(FileExists(R.Installed() + ".tsk.cfg"));
    Kept = ReadWholeFile(R.Installed() + ".tsk").size();
    ASSERT_GT(Kept, 0u);
    ASSERT_LT(Kept, Setup.size());
  }
  UpdaterRun R(false);
  ASSERT_TRUE(ServerReset());
  ASSERT_TRUE(ServerPut(kSetupPath, Setup));
  Serve({SetupUrl()}, Packed(1, 2));
  R.Start();
  HWND Progress = AgreeToUpdate(R, "resume");
  ASSERT_NE(Progress, nullptr);
  FinishWithOK(R, Progress, Setup, "bytes=" + std::to_string(Kept) + "-");
}

TEST(Update, AUrlWithAQuerySavesUnderTheNameWithoutIt) {
  UpdaterRun R;
  SetInstalledVersion(Packed(1, 1));
  std::string Setup = InstallerBytes(64 << 10);
  ASSERT_TRUE(ServerPut(kSetupPath, Setup));
  Serve({SetupUrl(std::string(kSetupPath) + "?from=update&x=1")}, Packed(1, 2));
  R.Start();
  HWND Progress = AgreeToUpdate(R, "query");
  ASSERT_NE(Progress, nullptr);
  FinishWithOK(R, Progress, Setup);
}

// The check times out when the document never comes.
TEST(CheckTimeOut, InteractiveShowsTheTimeOutTextAndCancelEnds) {
  UpdaterRun R;
  ASSERT_TRUE(ServerFault(kInfoPath, R"({"stall_headers": 60})"));
  R.Start();
  HWND Checking = R.WaitWindow(kWindowWait);
  ASSERT_NE(Checking, nullptr);
  EXPECT_EQ(R.Badge(Checking), 'o');
  R.Shot(Checking, "checking");
  EXPECT_EQ(R.FailureCount(), "");
  PumpMessages(11000);  // past the 10-second timer
  EXPECT_EQ(R.FailureCount(), "0");  // the first failure creates the counter
  EXPECT_TRUE(R.Running());
  R.Shot(Checking, "checking-timed-out");
  R.ClickCancel(Checking);
  EXPECT_EQ(R.WaitExit(kWindowWait), 0);
}

TEST(CheckTimeOut, SilentBelowTheLimitEndsQuietly) {
  UpdaterRun R;
  ASSERT_TRUE(WriteWholeFile(R.DataDir + "upd.dat", "[2]\r\n2=3\r\n"));
  ASSERT_TRUE(ServerFault(kInfoPath, R"({"stall_headers": 60})"));
  R.Start("/S");
  EXPECT_EQ(R.WaitWindow(12000), nullptr);
  EXPECT_EQ(R.WaitExit(kWindowWait), 0);
  EXPECT_EQ(R.FailureCount(), "4");
  EXPECT_TRUE(R.UrlsOpened().empty());
}

TEST(CheckTimeOut, OverTheLimitOffersTheHomePage) {
  UpdaterRun R;
  ASSERT_TRUE(WriteWholeFile(R.DataDir + "upd.dat", "[2]\r\n2=6\r\n"));
  ASSERT_TRUE(ServerFault(kInfoPath, R"({"stall_headers": 60})"));
  R.Start();
  HWND Manual = R.WaitPastChecking(25000);
  ASSERT_NE(Manual, nullptr);
  EXPECT_EQ(R.Badge(Manual), 'r');
  R.Shot(Manual, "manual-download");
  R.ClickOK(Manual);
  EXPECT_EQ(R.WaitExit(kWindowWait), 0);
  EXPECT_EQ(R.FailureCount(), "0");
  DWORD Start = GetTickCount();  // the URL's handler runs on its own time
  while (R.UrlsOpened().empty() && GetTickCount() - Start < 15000) PumpMessages(100);
  EXPECT_EQ(R.UrlsOpened(), std::vector<std::string>{ZERUN_HOME_URL});
}

TEST(CheckTimeOut, AMalformedDocumentOrPlainTextRunsIntoTheTimeOut) {
  for (const char* Body : {"{\"Urls\": [\"http://x/a.exe\"", "<html>Service unavailable</html>"}) {
    SCOPED_TRACE(Body);
    UpdaterRun R;
    ASSERT_TRUE(ServerPut(kInfoPath, Body));
    R.Start("/S");
    EXPECT_EQ(R.WaitExit(25000), 0);  // silent: ends at the time-out
    EXPECT_EQ(R.FailureCount(), "0");
  }
}

// Download failures reach the error notice; the next run goes on.
TEST(DownloadFailure, ACutConnectionShowsTheErrorAndTheNextRunCompletes) {
  std::string Setup = InstallerBytes(1 << 20);
  {
    UpdaterRun R;
    SetInstalledVersion(Packed(1, 1));
    ASSERT_TRUE(ServerPut(kSetupPath, Setup));
    Serve({SetupUrl()}, Packed(1, 2));
    ASSERT_TRUE(ServerFault(kSetupPath, R"({"close_after": 300000, "skip": 1, "times": 1})"));
    R.Start();
    HWND Progress = AgreeToUpdate(R, "cut");
    ASSERT_NE(Progress, nullptr);
    HWND Error = R.WaitPastChecking(30000);
    DWORD Start = GetTickCount();
    while (Error == Progress && GetTickCount() - Start < 30000) {
      PumpMessages(200);
      Error = nullptr;
      for (HWND W = GetTopWindow(nullptr); W; W = GetWindow(W, GW_HWNDNEXT)) {
        DWORD Pid = 0;
        GetWindowThreadProcessId(W, &Pid);
        if (W != Progress && IsWindowVisible(W) && R.Badge(W) == 'r') Error = W;
      }
    }
    ASSERT_NE(Error, nullptr);
    R.Shot(Error, "cut-error");
    R.ClickMovedOK(Error);
    EXPECT_EQ(R.WaitExit(kWindowWait), 0);
    EXPECT_EQ(R.FailureCount(), "0");
    EXPECT_TRUE(FileExists(R.Installed() + ".tsk.cfg"));
    EXPECT_FALSE(FileExists(R.Installed()));
  }
  UpdaterRun R(false);
  ServerReset();
  ASSERT_TRUE(ServerPut(kSetupPath, Setup));
  Serve({SetupUrl()}, Packed(1, 2));
  R.Start();
  HWND Progress = AgreeToUpdate(R, "cut-resume");
  ASSERT_NE(Progress, nullptr);
  FinishWithOK(R, Progress, Setup, "bytes=300000-");
}

TEST(Offline, TheKeptCopyStillBringsTheQuestion) {
  {
    UpdaterRun R;
    HWND Ask = StartWithOffer(R);
    ASSERT_NE(Ask, nullptr);
    R.ClickCancel(Ask);
    EXPECT_EQ(R.WaitExit(kWindowWait), 0);
  }
  UpdaterRun R(false);
  ServerReset();
  ASSERT_TRUE(ServerFault(kInfoPath, R"({"status": 500})"));
  R.Start();
  HWND Ask = R.WaitPastChecking(kWindowWait);
  ASSERT_NE(Ask, nullptr);
  EXPECT_EQ(R.Inspect(Ask).Memo, kNotes);
  R.Shot(Ask, "offline-question");
  R.ClickCancel(Ask);
  EXPECT_EQ(R.WaitExit(kWindowWait), 0);
}

TEST(SingleInstance, ASecondOrdinaryStartDuringARunEndsAtOnce) {
  UpdaterRun R;
  HWND Ask = StartWithOffer(R);
  ASSERT_NE(Ask, nullptr);
  Process Second = StartProcess(Quote(R.Exe));
  DWORD Code = 99;
  ASSERT_TRUE(WaitProcess(Second, 10000, &Code));
  EXPECT_EQ(Code, 0u);
  EXPECT_EQ(CountRequests(kInfoPath), 1);
  EXPECT_TRUE(R.Running());
  R.ClickCancel(Ask);
  EXPECT_EQ(R.WaitExit(kWindowWait), 0);
}

}  // namespace
