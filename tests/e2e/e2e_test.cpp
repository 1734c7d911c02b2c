// Whole runs of ZeRunUpdate.exe under Wine against the loopback update
// server, with the stand-in client and installer, clicked through with real
// mouse input.
#include <gtest/gtest.h>
#include <oleacc.h>

#include "app/uFunction.h"
#include "net/uFileDigest.h"
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

// A checksum of the pixels of a part of a window's client area.
uint64_t Pixels(HWND Wnd, int X, int Y, int Width, int Height) {
  POINT At = {X, Y};
  ClientToScreen(Wnd, &At);
  HDC Screen = GetDC(nullptr);
  HDC Memory = CreateCompatibleDC(Screen);
  BITMAPINFO Info{};
  Info.bmiHeader = {sizeof(BITMAPINFOHEADER), Width, -Height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  void* Bits = nullptr;
  HBITMAP Bitmap = CreateDIBSection(Screen, &Info, DIB_RGB_COLORS, &Bits, nullptr, 0);
  HGDIOBJ Old = SelectObject(Memory, Bitmap);
  BitBlt(Memory, 0, 0, Width, Height, Screen, At.x, At.y, SRCCOPY);
  GdiFlush();
  uint64_t Hash = 1469598103934665603ull;  // FNV-1a
  for (int I = 0; I < Width * Height * 4; ++I) Hash = (Hash ^ static_cast<unsigned char*>(Bits)[I]) * 1099511628211ull;
  SelectObject(Memory, Old);
  DeleteObject(Bitmap);
  DeleteDC(Memory);
  ReleaseDC(nullptr, Screen);
  return Hash;
}

// The label under the badge: notices with the same text give the same sum.
// (The text is painted, not a window text another process could read.)
uint64_t TextPixels(HWND Wnd) { return Pixels(Wnd, 127, 90, 256, 42); }
uint64_t ButtonPixels(HWND Wnd, int Left) { return Pixels(Wnd, Left, 194, 80, 28); }

// Checks the question and answers it with OK, or with Enter; the
// question's window.
HWND AgreeToQuestion(UpdaterRun& R, const std::string& Shot, bool ByKey = false) {
  HWND Ask = R.WaitPastChecking(kWindowWait);
  if (!Ask) return nullptr;
  Notice Q = R.Inspect(Ask);
  EXPECT_FALSE(Q.IsProgress);
  EXPECT_TRUE(Q.MemoVisible);
  EXPECT_EQ(R.Badge(Ask), 'o');
  EXPECT_EQ(Q.Memo, kNotes);
  R.Shot(Ask, Shot + "-question");
  if (ByKey)
    PressKeys({VK_RETURN});
  else
    R.ClickOK(Ask);
  return Ask;
}

// Agrees to the question and returns the progress window.
HWND AgreeToUpdate(UpdaterRun& R, const std::string& Shot) {
  HWND Ask = AgreeToQuestion(R, Shot);
  if (!Ask) return nullptr;
  DWORD Start = GetTickCount();
  while (GetTickCount() - Start < kWindowWait) {
    HWND Wnd = R.WaitWindow(1000);
    if (Wnd && Wnd != Ask && R.Inspect(Wnd).IsProgress) return Wnd;
    PumpMessages(50);
  }
  return nullptr;
}

// Waits for the installer's start, checks the file and the data request's
// range (when given), then ends the run with OK.
void FinishWithOK(UpdaterRun& R, HWND Progress, const std::string& Setup, const std::string& DataRange = "") {
  ASSERT_TRUE(R.WaitInstallerStarted());
  EXPECT_EQ(ReadWholeFile(R.Installed()), Setup);
  if (!DataRange.empty()) {
    auto Ranges = RangesOf(kSetupPath);
    ASSERT_EQ(Ranges.size(), 2u) << testing::PrintToString(Ranges);
    EXPECT_EQ(Ranges[1], DataRange);
  }
  R.ClickOK(Progress);
  EXPECT_EQ(R.WaitExit(kWindowWait), 0);
}

// What the stand-in installer records of a start with the downloaded file.
std::string InstallerStart(const UpdaterRun& R) {
  return "cmdline=" + Quote(R.Installed()) + " /S\r\npath=" + R.Installed() + "\r\n";
}

TEST(Update, DownloadsClosesTheClientStartsTheInstallerAndEnds) {
  // The windows at 96 dpi are the reference for the scaled ones: the size
  // and the text of the finished progress window grow with the dpi.
  struct Row {
    uint32_t Offered;
    int Dpi;
    bool Managed;  // windows handed to a window manager, as on a desktop
  };
  const RECT OKCaption{185, 194, 265, 222};
  int Text96 = 0;
  for (Row Run : {Row{Packed(1, 2), 96, true}, Row{Packed(1, 0), 96, false}, Row{Packed(1, 2), 144, false},
                  Row{Packed(1, 2), 192, false}}) {
    SCOPED_TRACE(testing::Message() << Run.Offered << " at " << Run.Dpi << " dpi");
    const uint32_t Offered = Run.Offered;
    ProgramDisplay Display(Run.Dpi, Run.Managed);
    const std::string Shot = Run.Dpi == 96 ? "update" : "update-" + std::to_string(Run.Dpi);
    UpdaterRun R;
    SetInstalledVersion(Packed(1, 1));
    std::string Setup = InstallerBytes(3 << 20);
    ASSERT_TRUE(ServerPut(kSetupPath, Setup));
    Serve({SetupUrl()}, Offered);
    R.StartClient();
    R.Start();
    HWND Progress = AgreeToUpdate(R, Shot);
    ASSERT_NE(Progress, nullptr);
    ASSERT_TRUE(R.WaitInstallerStarted());
    R.Shot(Progress, Shot + "-finished");
    RECT Client{};
    GetClientRect(Progress, &Client);
    EXPECT_EQ(Client.right, MulDiv(412, Run.Dpi, 96));
    EXPECT_EQ(Client.bottom, MulDiv(252, Run.Dpi, 96));
    const int Text = InkHeight(Progress, OKCaption);
    if (Run.Dpi == 96) Text96 = Text;
    EXPECT_GE(Text * 96, Text96 * Run.Dpi * 95 / 100) << Text << " pixels of text, " << Text96 << " at 96 dpi";
    EXPECT_GT(Text96, 0);
    EXPECT_EQ(R.InstallerRecord(), InstallerStart(R));
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
  return R.StartOffering(Document({SetupUrl()}, Packed(1, 2), kNotes), "", kWindowWait);
}

// Cancel by mouse, by Esc from inside the release notes, or by Tab to it
// and Space; the buttons and the text are there for assistive technology.
TEST(Update, CancelOnTheQuestionDownloadsNothing) {
  for (const char* Way : {"click", "esc", "tab-space"}) {
    SCOPED_TRACE(Way);
    UpdaterRun R;
    HWND Ask = StartWithOffer(R);
    ASSERT_NE(Ask, nullptr);
    EXPECT_TRUE(R.Inspect(Ask).MemoVisible);
    if (Way == std::string("click")) {
      for (int Left : {185, 284}) {
        Accessible Button = AccessibleAt(Ask, Left + 40, 194 + 14);
        EXPECT_EQ(Button.Name, Left == 185 ? "确定" : "取消");
        EXPECT_EQ(Button.Role, ROLE_SYSTEM_PUSHBUTTON);
        EXPECT_EQ(Button.Bounds.left, Left);
        EXPECT_EQ(Button.Bounds.top, 194);
        EXPECT_EQ(Button.Bounds.right - Button.Bounds.left, 80);
        EXPECT_EQ(Button.Bounds.bottom - Button.Bounds.top, 28);
      }
      EXPECT_EQ(AccessibleAt(Ask, 140, 80).Name.rfind("目前最新版本是:1.2", 0), 0u);
      EXPECT_EQ(AccessibleAt(Ask, 412 - 8 - 15, 12).Name, "关闭");
      R.ClickCancel(Ask);
    } else if (Way == std::string("esc")) {
      ClickClient(Ask, 200, 140);
      PressKeys({VK_ESCAPE});
    } else {
      const uint64_t OK = ButtonPixels(Ask, 185), Cancel = ButtonPixels(Ask, 284);
      PressKeys({VK_TAB});  // from OK, where the focus starts without a cue
      EXPECT_EQ(ButtonPixels(Ask, 185), OK);
      EXPECT_NE(ButtonPixels(Ask, 284), Cancel);
      R.Shot(Ask, "question-focus-cancel");
      PressKeys({VK_TAB}, VK_SHIFT);
      EXPECT_NE(ButtonPixels(Ask, 185), OK);
      EXPECT_EQ(ButtonPixels(Ask, 284), Cancel);
      PressKeys({VK_TAB, VK_SPACE});
    }
    EXPECT_EQ(R.WaitExit(kWindowWait), 0);
    EXPECT_EQ(CountRequests(kSetupPath), 0);
  }
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
    // The bar's value as assistive technology reads it, between two reads
    // of the bar itself, and the percentage beside it.
    const int Before = R.Inspect(Progress).Bar;
    Accessible Bar = AccessibleAt(Progress, 40 + 160, 64 + 8);
    const int After = R.Inspect(Progress).Bar;
    EXPECT_EQ(Bar.Role, ROLE_SYSTEM_PROGRESSBAR);
    ASSERT_FALSE(Bar.Value.empty());
    EXPECT_GE(std::stoi(Bar.Value), Before);
    EXPECT_LE(std::stoi(Bar.Value), After);
    EXPECT_GT(After, 0);
    EXPECT_EQ(AccessibleAt(Progress, 45, 51).Name.rfind("下载进度", 0), 0u);
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

int64_t FileSize(const std::string& Path) {
  WIN32_FILE_ATTRIBUTE_DATA Data;
  if (!GetFileAttributesExA(Path.c_str(), GetFileExInfoStandard, &Data)) return -1;
  return (int64_t(Data.nFileSizeHigh) << 32) | Data.nFileSizeLow;
}

// The resume state is written while data arrives: a run killed after 8 MiB
// resumes within the last 4 MiB it had on disk; one ended by a log-off
// resumes exactly where it stopped; one on a trickle is ended by the stall
// rule (its window shortened) and keeps what was stored. The installer that
// starts at the end is the served one, held from its check on. An `update`
// folder everyone could write is closed first.
TEST(Update, KilledLoggedOffOrTrickledRunsResumeAndFinishIdentical) {
  const std::string Setup = InstallerBytes(12 << 20);
  auto Begin = [&](UpdaterRun& R, const char* Fault, const std::string& Name) -> HWND {
    ServerReset();
    SetInstalledVersion(Packed(1, 1));
    EXPECT_TRUE(ServerPut(kSetupPath, Setup));
    Serve({SetupUrl()}, Packed(1, 2));
    EXPECT_TRUE(!Fault || ServerFault(kSetupPath, Fault));
    R.Start();
    HWND Progress = AgreeToUpdate(R, Name);
    return WaitUntil([] { return RangesOf(kSetupPath).size() == 2; }, kWindowWait) ? Progress : nullptr;
  };
  const char* const Line = R"({"rate": 4000000})";
  std::string Data, Update;
  auto StoredDown = [&] { return int64_t(GetPrivateProfileIntA("cfg", "Down", -1, (Data + ".cfg").c_str())); };
  {
    UpdaterRun R;
    Data = R.Installed() + ".tsk";
    Update = R.ProgramDir + "update";
    ASSERT_TRUE(CreateDirectoryA(Update.c_str(), nullptr));
    ASSERT_TRUE(SetSecurity(Update, "D:(A;OICI;FA;;;WD)"));
    ASSERT_NE(Begin(R, Line, "killed"), nullptr);
    ASSERT_TRUE(WaitUntil([&] { return FileSize(Data) >= 8 << 20; }, 30000));
  }  // killed
  EXPECT_FALSE(OthersMayWrite(Update));
  int64_t Stored = StoredDown();
  EXPECT_GT(Stored, FileSize(Data) - (4 << 20));
  EXPECT_LE(Stored, FileSize(Data));
  {
    UpdaterRun R(false);
    ASSERT_NE(Begin(R, Line, "logged-off"), nullptr);
    EXPECT_EQ(RangesOf(kSetupPath)[1], "bytes=" + std::to_string(Stored) + "-");
    ASSERT_TRUE(WaitUntil([&] { return FileSize(Data) >= Stored + (1 << 20); }, 30000));
    EXPECT_TRUE(R.EndSession());
  }  // ended as the system ends it after a log-off
  Stored = StoredDown();
  EXPECT_EQ(Stored, FileSize(Data));
  {
    UpdaterRun R(false);
    SetEnvironmentVariableA("ZR_TEST_STALL_MS", "2000");
    HWND Progress = Begin(R, R"({"rate": 500})", "trickled");
    SetEnvironmentVariableA("ZR_TEST_STALL_MS", nullptr);
    ASSERT_NE(Progress, nullptr);
    EXPECT_EQ(RangesOf(kSetupPath)[1], "bytes=" + std::to_string(Stored) + "-");
    HWND Error = R.WaitNotice('r', 30000);
    ASSERT_NE(Error, nullptr);
    R.ClickMovedOK(Error);
    EXPECT_EQ(R.WaitExit(kWindowWait), 0);
  }
  EXPECT_EQ(StoredDown(), Stored);
  UpdaterRun R(false);
  SetEnvironmentVariableA("ZR_TEST_PAUSE_BEFORE_START", "8000");
  HWND Progress = Begin(R, nullptr, "resumed");
  SetEnvironmentVariableA("ZR_TEST_PAUSE_BEFORE_START", nullptr);
  ASSERT_NE(Progress, nullptr);
  // Held from its check to its start: neither written, renamed nor deleted.
  const std::string Path = R.Installed();
  ASSERT_TRUE(WaitUntil([&] { return !FileExists(Data); }, 30000));
  ASSERT_EQ(R.InstallerRecord(), "") << "the pause before the start was missed";
  EXPECT_EQ(CreateFileA(Path.c_str(), GENERIC_WRITE, 7, nullptr, OPEN_EXISTING, 0, nullptr), INVALID_HANDLE_VALUE);
  EXPECT_FALSE(MoveFileA(Path.c_str(), (Path + ".old").c_str()));
  EXPECT_FALSE(DeleteFileA(Path.c_str()));
  FinishWithOK(R, Progress, Setup, "bytes=" + std::to_string(Stored) + "-");
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

// A Cancel between the last block and the rename (the test build's pause
// holds that gap open) starts nothing; the next run finds the data complete
// and puts it in place without asking the server for more.
TEST(Update, CancelBeforeTheRenameStartsNothingAndTheNextRunNeedsNoData) {
  std::string Setup = InstallerBytes(256 << 10);
  {
    UpdaterRun R;
    SetInstalledVersion(Packed(1, 1));
    ASSERT_TRUE(ServerPut(kSetupPath, Setup));
    Serve({SetupUrl()}, Packed(1, 2));
    R.StartClient();
    SetEnvironmentVariableA("ZR_TEST_PAUSE_BEFORE_RENAME", "30000");
    R.Start();
    SetEnvironmentVariableA("ZR_TEST_PAUSE_BEFORE_RENAME", nullptr);
    HWND Progress = AgreeToUpdate(R, "cancel-before-rename");
    ASSERT_NE(Progress, nullptr);
    ASSERT_TRUE(WaitUntil([&] { return R.Inspect(Progress).Bar == 100; }, kWindowWait));
    R.Shot(Progress, "cancel-before-rename");
    R.ClickCancel(Progress);
    EXPECT_EQ(R.WaitExit(kWindowWait), 0);
    PumpMessages(1000);
    EXPECT_EQ(R.InstallerRecord(), "");
    EXPECT_EQ(R.ClientRecord(), "");
    EXPECT_FALSE(FileExists(R.Installed()));
    EXPECT_TRUE(ReadWholeFile(R.Installed() + ".tsk") == Setup);
    EXPECT_TRUE(FileExists(R.Installed() + ".tsk.cfg"));
  }
  UpdaterRun R(false);
  ASSERT_TRUE(ServerReset());
  ASSERT_TRUE(ServerPut(kSetupPath, Setup));
  Serve({SetupUrl()}, Packed(1, 2));
  R.Start();
  HWND Progress = AgreeToUpdate(R, "finished-earlier");
  ASSERT_NE(Progress, nullptr);
  FinishWithOK(R, Progress, Setup);
  EXPECT_EQ(RangesOf(kSetupPath), std::vector<std::string>{"bytes=0-0"});
  EXPECT_FALSE(FileExists(R.Installed() + ".tsk.cfg"));
}

// The download task is made once the user agrees, and its making pumps
// messages (the test build pumps there, as the platform's HTML document
// object may): the update still goes through.
TEST(Update, ATaskWhoseMakingPumpsMessagesStillDownloads) {
  UpdaterRun R;
  SetInstalledVersion(Packed(1, 1));
  std::string Setup = InstallerBytes(64 << 10);
  ASSERT_TRUE(ServerPut(kSetupPath, Setup));
  Serve({SetupUrl()}, Packed(1, 2));
  SetEnvironmentVariableA("ZR_TEST_PUMP_ON_TASK_CREATION", "2000");
  R.Start();
  SetEnvironmentVariableA("ZR_TEST_PUMP_ON_TASK_CREATION", nullptr);
  HWND Progress = AgreeToUpdate(R, "early-answer");
  ASSERT_NE(Progress, nullptr);
  FinishWithOK(R, Progress, Setup);
}

// Starts a run whose check must time out, with the time-out shortened to 4 s.
void StartToTimeOut(UpdaterRun& R, const std::string& Args = "") {
  SetEnvironmentVariableA("ZR_TEST_CHECK_MS", "4000");
  R.Start(Args);
  SetEnvironmentVariableA("ZR_TEST_CHECK_MS", nullptr);
}

// The check times out when the document never comes.
TEST(CheckTimeOut, InteractiveShowsTheTimeOutTextAndCancelEnds) {
  UpdaterRun R;
  ASSERT_TRUE(ServerFault(kInfoPath, R"({"stall_headers": 60})"));
  StartToTimeOut(R);
  HWND Checking = R.WaitWindow(kWindowWait);
  ASSERT_NE(Checking, nullptr);
  EXPECT_EQ(R.Badge(Checking), 'o');
  R.Shot(Checking, "checking");
  // The first failure creates the counter.
  EXPECT_TRUE(WaitUntil([&] { return R.FailureCount() == "0"; }, kWindowWait));
  EXPECT_TRUE(R.Running());
  R.Shot(Checking, "checking-timed-out");
  R.ClickCancel(Checking);
  EXPECT_EQ(R.WaitExit(kWindowWait), 0);
}

TEST(CheckTimeOut, SilentBelowTheLimitEndsQuietly) {
  UpdaterRun R;
  ASSERT_TRUE(WriteWholeFile(R.DataDir + "upd.dat", "[2]\r\n2=3\r\n"));
  ASSERT_TRUE(ServerFault(kInfoPath, R"({"stall_headers": 60})"));
  StartToTimeOut(R, "/S");
  EXPECT_EQ(R.WaitWindow(12000), nullptr);
  EXPECT_EQ(R.WaitExit(kWindowWait), 0);
  EXPECT_EQ(R.FailureCount(), "4");
  EXPECT_TRUE(R.UrlsOpened().empty());
}

// A quiet run asks nothing before its fetch has given up; the notice it
// then shows is the same.
TEST(CheckTimeOut, OverTheLimitOffersTheHomePage) {
  for (const char* Switches : {"", "/S"}) {
    SCOPED_TRACE(Switches);
    UpdaterRun R;
    ASSERT_TRUE(WriteWholeFile(R.DataDir + "upd.dat", "[2]\r\n2=6\r\n"));
    ASSERT_TRUE(ServerFault(kInfoPath, R"({"stall_headers": 60})"));
    StartToTimeOut(R, Switches);
    HWND Manual = R.WaitPastChecking(25000);
    ASSERT_NE(Manual, nullptr);
    EXPECT_EQ(R.Badge(Manual), 'r');
    R.Shot(Manual, *Switches ? "manual-download-quiet" : "manual-download");
    R.ClickOK(Manual);
    EXPECT_EQ(R.WaitExit(kWindowWait), 0);
    EXPECT_EQ(R.FailureCount(), "0");
    EXPECT_EQ(R.WaitUrlsOpened(15000), std::vector<std::string>{ZERUN_HOME_URL});
  }
}

TEST(CheckTimeOut, AMalformedDocumentOrPlainTextRunsIntoTheTimeOut) {
  for (const char* Body : {"{\"Urls\": [\"http://x/a.exe\"", "<html>Service unavailable</html>"}) {
    SCOPED_TRACE(Body);
    UpdaterRun R;
    ASSERT_TRUE(ServerPut(kInfoPath, Body));
    StartToTimeOut(R, "/S");
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
    // Slow enough that the progress window is seen before the cut brings
    // the error notice over it.
    ASSERT_TRUE(ServerFault(kSetupPath, R"({"close_after": 300000, "rate": 100000, "skip": 1, "times": 1})"));
    R.Start();
    HWND Progress = AgreeToUpdate(R, "cut");
    ASSERT_NE(Progress, nullptr);
    HWND Error = R.WaitNotice('r', 30000);
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

// Held back past the checking notice's 10-second time-out, which no longer
// applies once the document is there: nothing shows, nothing is counted.
TEST(Courtesy, AQuietQuestionWaitsWhileThePlayerFillsItsScreen) {
  UpdaterRun R;
  ASSERT_TRUE(WriteWholeFile(R.DataDir + "upd.dat", "[2]\r\n2=6\r\n"));
  SetInstalledVersion(Packed(1, 1));
  Serve({SetupUrl()}, Packed(1, 2));
  R.StartClient();
  HWND Player = FindWindowA("TZeRunMainForm", nullptr);
  ASSERT_NE(Player, nullptr);
  auto Place = [&](int X, int Y, int W, int H) {
    SetWindowPos(Player, nullptr, X, Y, W, H, SWP_NOZORDER | SWP_NOACTIVATE);
  };
  Place(0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));
  SetEnvironmentVariableA("ZR_TEST_BUSY_CHECK_MS", "300");
  R.Start("/S");
  SetEnvironmentVariableA("ZR_TEST_BUSY_CHECK_MS", nullptr);
  ASSERT_TRUE(WaitUntil([] { return CountRequests(kInfoPath) == 1; }, kWindowWait));
  EXPECT_EQ(R.WaitWindow(12000), nullptr);
  EXPECT_TRUE(R.Running());
  EXPECT_EQ(R.FailureCount(), "6");
  Place(40, 40, 320, 200);
  HWND Ask = R.WaitWindow(kWindowWait);
  ASSERT_NE(Ask, nullptr);
  EXPECT_TRUE(R.Inspect(Ask).MemoVisible);
  R.ClickCancel(Ask);
  EXPECT_EQ(R.WaitExit(kWindowWait), 0);
}

TEST(Tray, AProgressWindowClosedDuringTheDownloadWaitsInTheTrayAndTheRunFinishes) {
  UpdaterRun R;
  SetInstalledVersion(Packed(1, 1));
  std::string Setup = InstallerBytes(3 << 20);
  ASSERT_TRUE(ServerPut(kSetupPath, Setup));
  Serve({SetupUrl()}, Packed(1, 2));
  // About 21 s for the whole file: time for three trips to the tray.
  ASSERT_TRUE(ServerFault(kSetupPath, R"({"rate": 150000})"));
  R.StartClient();
  R.Start();
  HWND Progress = AgreeToUpdate(R, "tray");
  ASSERT_NE(Progress, nullptr);
  EXPECT_EQ(R.TrayIcon(), nullptr);
  ASSERT_TRUE(WaitUntil([&] { return R.Inspect(Progress).Bar > 0; }, kWindowWait));

  auto HideToTray = [&](const char* When) {
    int Bar = R.Inspect(Progress).Bar;
    ASSERT_LT(Bar, 80) << "the download went too fast to close the window " << When;
    R.ClickClose(Progress);
    ASSERT_TRUE(WaitUntil([&] { return !IsWindowVisible(Progress); }, kWindowWait)) << When;
    EXPECT_TRUE(R.Running());
    EXPECT_TRUE(WaitUntil([&] { return R.TrayIcon() != nullptr; }, 5000)) << "no tray icon " << When;
    // The hidden window still follows the download.
    EXPECT_TRUE(WaitUntil([&] { return R.Inspect(Progress).Bar > Bar; }, kWindowWait)) << When;
  };
  ASSERT_NO_FATAL_FAILURE(HideToTray("first"));
  EXPECT_FALSE(FileExists(R.Installed()));

  // "显示窗体" brings it back and takes the icon away.
  ASSERT_TRUE(R.ChooseTrayMenuItem(0));
  ASSERT_TRUE(WaitUntil([&] { return IsWindowVisible(Progress); }, kWindowWait));
  EXPECT_TRUE(WaitUntil([&] { return R.TrayIcon() == nullptr; }, 5000));
  R.Shot(Progress, "tray-shown-again");
  ASSERT_NO_FATAL_FAILURE(HideToTray("again"));

  // A second start brings it back too, and ends.
  Process Second = StartProcess(Quote(R.Exe));
  DWORD Code = 99;
  ASSERT_TRUE(WaitProcess(Second, 10000, &Code));
  EXPECT_EQ(Code, 0u);
  ASSERT_TRUE(WaitUntil([&] { return IsWindowVisible(Progress); }, kWindowWait));
  EXPECT_TRUE(WaitUntil([&] { return R.TrayIcon() == nullptr; }, 5000));
  EXPECT_EQ(GetForegroundWindow(), Progress);
  ASSERT_NO_FATAL_FAILURE(HideToTray("a third time"));

  // The finished download brings the window back by itself.
  ASSERT_TRUE(R.WaitInstallerStarted());
  EXPECT_TRUE(WaitUntil([&] { return IsWindowVisible(Progress); }, kWindowWait));
  EXPECT_EQ(R.TrayIcon(), nullptr);
  R.Shot(Progress, "tray-finished");
  EXPECT_EQ(R.InstallerRecord(), InstallerStart(R));
  EXPECT_EQ(R.ClientRecord().rfind("WM_CLOSE ", 0), 0u);
  Notice P = R.Inspect(Progress);
  EXPECT_EQ(P.Bar, 100);
  ASSERT_GE(P.Lines.size(), 2u);
  EXPECT_EQ(P.Lines[P.Lines.size() - 2], R.Installed());
  EXPECT_EQ(P.Lines.back(), "下载完成");
  // One probe and one transfer: the trips to the tray did not restart it.
  EXPECT_EQ(RangesOf(kSetupPath), (std::vector<std::string>{"bytes=0-0", "bytes=0-"}));
  FinishWithOK(R, Progress, Setup);
  EXPECT_EQ(R.FailureCount(), "0");
}

// No answer at all is a network failure; an answer that is an error is the
// server's, with a text of its own. Both show the error notice and count.
TEST(DownloadFailure, NoServerOrAnErrorAnswerShowsItsOwnTextAndCountsIt) {
  int Port = ClosedPort();
  ASSERT_GT(Port, 0);
  struct Case {
    const char* Name;
    std::vector<std::string> Urls;
    const char* Fault;      // on the installer's path, or none
    int SetupRequests;      // what the server sees of the installer
    bool ServerText;        // the server's text, not the network's
    WORD CloseKey;          // Enter on the question, then this key (with Alt for F4) on the notice; 0: mouse
  };
  const Case Cases[] = {
      {"no-network", {"http://127.0.0.1:" + std::to_string(Port) + kSetupPath}, nullptr, 0, false, 0},
      {"probe-404", {SetupUrl()}, R"({"status": 404})", 1, true, VK_F4},
      {"probe-no-size", {SetupUrl()}, R"({"ignore_range": true, "no_content_length": true})", 1, true, 0},
      {"data-500", {SetupUrl()}, R"({"status": 500, "skip": 1})", 2, true, VK_ESCAPE},
  };
  std::map<bool, std::set<uint64_t>> Texts;
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Name);
    UpdaterRun R;
    ASSERT_TRUE(WriteWholeFile(R.DataDir + "upd.dat", "[2]\r\n2=2\r\n"));
    SetInstalledVersion(Packed(1, 1));
    ASSERT_TRUE(ServerPut(kSetupPath, InstallerBytes(64 << 10)));
    if (C.Fault) {
      ASSERT_TRUE(ServerFault(kSetupPath, C.Fault));
    }
    Serve(C.Urls, Packed(1, 2));
    R.Start();
    ASSERT_NE(AgreeToQuestion(R, C.Name, C.CloseKey != 0), nullptr);
    HWND Error = R.WaitNotice('r', 30000);
    ASSERT_NE(Error, nullptr);
    R.Shot(Error, std::string(C.Name) + "-error");
    Texts[C.ServerText].insert(TextPixels(Error));
    EXPECT_FALSE(R.Inspect(Error).MemoVisible);
    EXPECT_EQ(R.FailureCount(), "3");
    // However it is closed, the notice ends the run as its OK does.
    if (C.CloseKey)
      PressKeys({C.CloseKey}, C.CloseKey == VK_F4 ? VK_MENU : 0);
    else
      R.ClickMovedOK(Error);
    EXPECT_EQ(R.WaitExit(kWindowWait), 0);
    EXPECT_EQ(CountRequests(kSetupPath), C.SetupRequests);
    EXPECT_FALSE(FileExists(R.Installed()));
    EXPECT_EQ(ReadWholeFile(R.Installed() + ".tsk"), "") << "an error page was written";
    EXPECT_TRUE(R.UrlsOpened().empty());
  }
  EXPECT_EQ(Texts[false].size(), 1u) << "network failures show different texts";
  EXPECT_EQ(Texts[true].size(), 1u) << "server errors show different texts";
  EXPECT_NE(Texts[false], Texts[true]) << "a server error shows the network's text";
}

TEST(DownloadFailure, TheSeventhInARowOffersTheHomePage) {
  UpdaterRun R;
  ASSERT_TRUE(WriteWholeFile(R.DataDir + "upd.dat", "[2]\r\n2=6\r\n"));
  SetInstalledVersion(Packed(1, 1));
  ASSERT_TRUE(ServerPut(kSetupPath, InstallerBytes(64 << 10)));
  // A transfer cut after its first 20000 bytes.
  ASSERT_TRUE(ServerFault(kSetupPath, R"({"close_after": 20000, "skip": 1, "times": 1})"));
  Serve({SetupUrl()}, Packed(1, 2));
  R.Start();
  ASSERT_NE(AgreeToQuestion(R, "seventh"), nullptr);
  HWND Manual = R.WaitNotice('r', 30000);
  ASSERT_NE(Manual, nullptr);
  R.Shot(Manual, "seventh-manual-download");
  EXPECT_EQ(R.FailureCount(), "0");
  // OK at its own place: the error notice has none there.
  R.ClickOK(Manual);
  EXPECT_EQ(R.WaitExit(kWindowWait), 0);
  EXPECT_EQ(CountRequests(kSetupPath), 2);
  EXPECT_EQ(R.WaitUrlsOpened(15000), std::vector<std::string>{ZERUN_HOME_URL});
  EXPECT_FALSE(FileExists(R.Installed()));
}

// The document with the installer's digest and Size members added.
void ServeChecked(const std::string& Setup, int64_t Size) {
  std::string Path = FreshDir("checked") + "setup.bin";
  ASSERT_TRUE(WriteWholeFile(Path, Setup));
  TSha256 Digest{};
  ASSERT_EQ(FileSha256(Path, nullptr, Digest), heDone);
  std::string Doc = Document({SetupUrl()}, Packed(1, 2), kNotes);
  Doc.insert(Doc.rfind('}'), ",\"Sha256\":\"" + Sha256Hex(Digest) + "\",\"Size\":" + std::to_string(Size));
  ASSERT_TRUE(ServerPut(kInfoPath, Doc));
}

// Nothing but the checked installer starts. A size other than the server's
// fails before any byte is fetched, with the server's text, and so do bytes
// past the size the server announced, with or without the digest; an
// installer altered on the way fails its check with a text of its own, and
// is deleted with its state; an older installer held open where the new one
// goes fails with the file's text and stays as it is; a folder swapped under
// the checked file before its start fails the last check, made before the
// client is asked to close. None closes the client or starts anything, each
// counts; the next run fetches the installer whole.
TEST(DownloadFailure, AnInstallerOtherThanTheDocumentNamesStartsNothing) {
  std::string Setup = InstallerBytes(1 << 20);
  const std::vector<std::string> Fetched = {"bytes=0-0", "bytes=0-"};
  const struct {
    const char* Name;
    int64_t Size;  // the document's; 0: a document without Sha256 and Size
    const char* Fault;
    std::vector<std::string> Ranges;
    bool HoldOlder;  // an older installer is held open at its place
    bool KeepsData;  // the data and state files stay for the next run
    bool Swapped = false;  // the folder replaced, with Older in it, between the check and the start
  } Cases[] = {
      {"older-installer-held", int64_t(Setup.size()), nullptr, Fetched, true, true},
      {"oversized-checked", int64_t(Setup.size()), R"({"extra": 300000, "skip": 1})", Fetched, false, true},
      {"oversized-unchecked", 0, R"({"extra": 300000, "skip": 1})", Fetched, false, true},
      {"size-differs", int64_t(Setup.size()) + 1, nullptr, {"bytes=0-0"}, false, false},
      {"folder-swapped", int64_t(Setup.size()), nullptr, Fetched, false, false, true},
      {"altered", int64_t(Setup.size()), R"({"flip_byte": 500000, "skip": 1, "times": 1})", Fetched, false, false},
  };
  // An installer that runs when started, unlike the one checked.
  const std::string Older = InstallerBytes(100 << 10);
  std::set<uint64_t> Texts;
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.Name);
    UpdaterRun R;
    ASSERT_TRUE(WriteWholeFile(R.DataDir + "upd.dat", "[2]\r\n2=2\r\n"));
    SetInstalledVersion(Packed(1, 1));
    ASSERT_TRUE(ServerPut(kSetupPath, Setup));
    if (C.Fault) {
      ASSERT_TRUE(ServerFault(kSetupPath, C.Fault));
    }
    if (C.Size) {
      ServeChecked(Setup, C.Size);
    } else {
      Serve({SetupUrl()}, Packed(1, 2));
    }
    HANDLE Held = INVALID_HANDLE_VALUE;
    if (C.HoldOlder) {
      ASSERT_TRUE(CreateDirectoryA((R.ProgramDir + "update").c_str(), nullptr));
      ASSERT_TRUE(WriteWholeFile(R.Installed(), Older));
      Held = CreateFileA(R.Installed().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
      ASSERT_NE(Held, INVALID_HANDLE_VALUE);
    }
    R.StartClient();
    SetEnvironmentVariableA("ZR_TEST_PAUSE_BEFORE_START", C.Swapped ? "4000" : nullptr);
    R.Start();
    SetEnvironmentVariableA("ZR_TEST_PAUSE_BEFORE_START", nullptr);
    ASSERT_NE(AgreeToQuestion(R, C.Name), nullptr);
    if (C.Swapped) {
      const std::string Update = R.ProgramDir + "update";
      ASSERT_TRUE(WaitUntil([&] { return FileExists(R.Installed()) && !FileExists(R.Installed() + ".tsk"); }, 30000));
      ASSERT_TRUE(MoveFileA(Update.c_str(), (Update + ".old").c_str())) << GetLastError();
      ASSERT_TRUE(CreateDirectoryA(Update.c_str(), nullptr));
      ASSERT_TRUE(WriteWholeFile(R.Installed(), Older));
    }
    HWND Error = R.WaitNotice('r', 30000);
    ASSERT_NE(Error, nullptr);
    R.Shot(Error, std::string(C.Name) + "-error");
    Texts.insert(TextPixels(Error));
    EXPECT_EQ(R.FailureCount(), "3");
    R.ClickMovedOK(Error);
    EXPECT_EQ(R.WaitExit(kWindowWait), 0);
    if (Held != INVALID_HANDLE_VALUE) CloseHandle(Held);
    EXPECT_EQ(RangesOf(kSetupPath), C.Ranges);
    EXPECT_EQ(R.InstallerRecord(), "");
    EXPECT_EQ(R.ClientRecord(), "");
    EXPECT_TRUE(ReadWholeFile(R.Installed()) == (C.HoldOlder || C.Swapped ? Older : ""));
    EXPECT_LE(FileSize(R.Installed() + ".tsk"), int64_t(Setup.size())) << "bytes past the size were written";
    EXPECT_EQ(FileExists(R.Installed() + ".tsk.cfg"), C.KeepsData);
  }
  EXPECT_EQ(Texts.size(), 3u) << "the server's, the check's and the file's texts";

  UpdaterRun R(false);
  ServerReset();
  ASSERT_TRUE(ServerPut(kSetupPath, Setup));
  ServeChecked(Setup, int64_t(Setup.size()));
  R.StartClient();
  R.Start();
  HWND Progress = AgreeToUpdate(R, "checked");
  ASSERT_NE(Progress, nullptr);
  FinishWithOK(R, Progress, Setup, "bytes=0-");
  EXPECT_EQ(R.InstallerRecord(), InstallerStart(R));
  EXPECT_EQ(R.ClientRecord().rfind("WM_CLOSE ", 0), 0u);
}

TEST(CheckCancelled, TheRunEndsAtOnceAndTheLateAnswerFindsNothingToBreak) {
  UpdaterRun R;
  SetInstalledVersion(Packed(1, 1));
  Serve({SetupUrl()}, Packed(1, 2));  // the late answer offers an update
  const DWORD kStallMs = 9000;
  ASSERT_TRUE(ServerFault(kInfoPath, R"({"stall_headers": 9})"));
  std::set<HWND> Before = VisibleTopWindows();
  DWORD Started = GetTickCount();
  R.Start();
  HWND Checking = R.WaitWindow(kWindowWait);
  ASSERT_NE(Checking, nullptr);
  EXPECT_EQ(R.Badge(Checking), 'o');
  ASSERT_TRUE(WaitUntil([] { return CountRequests(kInfoPath) == 1; }, kWindowWait));  // the fetch waits
  R.ClickCancel(Checking);
  EXPECT_EQ(R.WaitExit(kWindowWait), 0);
  DWORD Ended = GetTickCount() - Started;
  EXPECT_LT(Ended, kStallMs - 2000) << "the run waited for the answer";
  // Past the answer: nothing of the run shows up, no crash report either.
  WaitUntil([&] { return GetTickCount() - Started > kStallMs + 2000; }, kStallMs + 3000);
  EXPECT_FALSE(R.Running());
  for (HWND Wnd : VisibleTopWindows()) {
    if (Before.count(Wnd)) continue;
    char Title[256] = {};
    GetWindowTextA(Wnd, Title, sizeof Title);
    ADD_FAILURE() << "a window came up after the run: '" << Title << "'";
  }
  EXPECT_EQ(CountRequests(kSetupPath), 0);
  EXPECT_FALSE(FileExists(R.Installed() + ".record"));
}

// URLs whose last part names no file: a download failure that leaves every
// file and folder around the program as it was.
struct NoFileName {
  const char* Name;
  const char* Path;
};

const std::string kLongName = "/files/" + std::string(300, 'n') + ".exe";

std::ostream& operator<<(std::ostream& Out, const NoFileName& P) { return Out << P.Path; }

class UnusableFileName : public ::testing::TestWithParam<NoFileName> {};

TEST_P(UnusableFileName, FailsTheDownloadAndTouchesNothing) {
  UpdaterRun R;
  ASSERT_TRUE(WriteWholeFile(R.DataDir + "upd.dat", "[2]\r\n2=1\r\n"));
  const std::string Update = "Program Files\\ZeRun\\update\\";
  ASSERT_TRUE(CreateDirectoryA((R.BaseDir + Update).c_str(), nullptr));
  ASSERT_TRUE(WriteWholeFile(R.BaseDir + Update + "keep.txt", "kept"));
  ASSERT_TRUE(WriteWholeFile(R.ProgramDir + "keep.txt", "kept"));
  ASSERT_TRUE(WriteWholeFile(R.BaseDir + "keep.txt", "kept"));
  // Outside "update" everything stays; the folder itself and its file too.
  auto Guarded = [&] {
    auto Tree = FolderTree(R.BaseDir);
    for (auto It = Tree.begin(); It != Tree.end();) {
      bool Inside = It->first.rfind(Update, 0) == 0 && It->first != Update && It->first != Update + "keep.txt";
      It = Inside ? Tree.erase(It) : std::next(It);
    }
    return Tree;
  };
  auto Before = Guarded();
  SetInstalledVersion(Packed(1, 1));
  Serve({SetupUrl(GetParam().Path)}, Packed(1, 2));
  R.Start();
  ASSERT_NE(AgreeToQuestion(R, std::string("no-file-name-") + GetParam().Name), nullptr);
  // Refused before any request: the notice comes at once, not after a
  // time-out, and never a bar that does not move.
  HWND Error = R.WaitNotice('r', 10000);
  ASSERT_NE(Error, nullptr);
  R.Shot(Error, std::string("no-file-name-") + GetParam().Name + "-error");
  EXPECT_EQ(R.FailureCount(), "2");
  R.ClickMovedOK(Error);
  EXPECT_EQ(R.WaitExit(kWindowWait), 0);
  EXPECT_EQ(Guarded(), Before);
  for (const auto& Entry : FolderTree(R.BaseDir))
    EXPECT_EQ(Entry.first.find(".record"), std::string::npos) << Entry.first;
  EXPECT_TRUE(R.UrlsOpened().empty());
  EXPECT_EQ(CountRequests(kSetupPath), 0);
}

INSTANTIATE_TEST_SUITE_P(Runs, UnusableFileName,
                         ::testing::Values(NoFileName{"slash", "/files/"}, NoFileName{"dot", "/files/."},
                                           NoFileName{"dotdot", "/files/.."}, NoFileName{"con", "/files/CON"},
                                           NoFileName{"nul", "/files/nul.exe"}, NoFileName{"com1", "/files/COM1.exe"},
                                           NoFileName{"lpt9", "/files/lpt9"}, NoFileName{"bar", "/files/a|b.exe"},
                                           NoFileName{"trailing_dot", "/files/name."},
                                           NoFileName{"long", kLongName.c_str()}),
                         [](const auto& Info) { return std::string(Info.param.Name); });

}  // namespace
