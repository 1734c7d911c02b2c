// Whole runs of a release under the vendor's control: a staged rollout by
// machine, mirrors that hand over to each other, servers that ask for quiet
// and signed documents that cannot be replayed.
#include <gtest/gtest.h>

#include <algorithm>

#include "app/uFunction.h"
#include "app/uRollout.h"
#include "tests/e2e/E2eRun.h"

using namespace e2e;
using namespace zrtest;

namespace {

const DWORD kWait = 20000;
const std::string kNotes = "1.2版本特性";

// The MachineGuid the program places the machine by (this 64-bit process
// sees the 64-bit view); empty removes it.
void SetMachineGuid(const std::string& Guid) {
  const char* Key = "SOFTWARE\\Microsoft\\Cryptography";
  if (Guid.empty()) RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, Key, "MachineGuid");
  else RegSetKeyValueA(HKEY_LOCAL_MACHINE, Key, "MachineGuid", REG_SZ, Guid.c_str(), DWORD(Guid.size() + 1));
}

// The loopback server's URL of Path under the name "localhost": another host.
std::string OtherHostUrl(const std::string& Path) {
  std::string Url = ServerUrl(Path);
  return Url.replace(Url.find("127.0.0.1"), 9, "localhost");
}

// Serves 1.2 over an installed 1.1 with Members added and two failures
// counted, starts a run with Args and tells whether it asked (it is then
// cancelled); the counter stays either way. Id gets the identity the run
// kept of its own.
bool Asks(const std::string& Members, const std::string& Args = "/S", std::string* Id = nullptr) {
  UpdaterRun R;
  EXPECT_TRUE(WriteWholeFile(R.DataDir + "upd.dat", "[2]\r\n2=2\r\n"));
  std::string Doc = Document({ServerUrl(kSetupPath)}, Packed(1, 2), kNotes);
  HWND Ask = R.StartOffering(Doc.insert(Doc.rfind('}'), Members), Args, kWait);
  if (Ask) R.ClickCancel(Ask);
  EXPECT_EQ(R.WaitExit(kWait), 0);
  EXPECT_EQ(R.FailureCount(), "2");
  EXPECT_EQ(CountRequests(kSetupPath), 0);
  char Kept[64] = "";
  GetPrivateProfileStringA("Machine", "Id", "", Kept, sizeof Kept, (R.DataDir + "upd.dat").c_str());
  if (Id) *Id = Kept;
  return Ask != nullptr;
}

// Twenty machines at 30 %: each answered by its position, a share chance
// allows (6 expected; 1 to 13 is over 99.9 %), the same answer again, still
// offered at 60 %, and offered when critical or when the user asks.
TEST(Rollout, QuietRunsOfferTheReleaseToTheMachinesItsPercentageChooses) {
  std::vector<std::string> In, Out;
  for (int I = 0; I < 20; ++I) {
    std::string Guid = "6f1c2a3e-0000-4000-8000-0000000000" + std::to_string(10 + I);
    SetMachineGuid(Guid);
    bool Offered = Asks(",\"Rollout\":30");
    EXPECT_EQ(Offered, RolloutPosition(Guid, Packed(1, 2)) < 30) << Guid;
    (Offered ? In : Out).push_back(Guid);
  }
  EXPECT_LE(In.size(), 13u);
  ASSERT_FALSE(In.empty() || Out.empty());
  SetMachineGuid(In[0]);
  EXPECT_TRUE(Asks(",\"Rollout\":60"));
  auto Halfway = std::find_if(Out.begin(), Out.end(), [](auto& G) { return RolloutPosition(G, Packed(1, 2)) < 60; });
  ASSERT_NE(Halfway, Out.end());
  SetMachineGuid(*Halfway);
  EXPECT_FALSE(Asks(",\"Rollout\":30"));
  EXPECT_TRUE(Asks(",\"Rollout\":60"));
  EXPECT_TRUE(Asks(",\"Rollout\":0,\"Critical\":true"));
  EXPECT_TRUE(Asks(",\"Rollout\":0", ""));
  // Without a MachineGuid the machine makes an identity of its own.
  SetMachineGuid("");
  std::string Own;
  bool Offered = Asks(",\"Rollout\":50", "/S", &Own);
  EXPECT_EQ(Own.size(), 32u);
  EXPECT_EQ(Offered, RolloutPosition(Own, Packed(1, 2)) < 50) << Own;
}

// Four mirrors: refused, another size, cut at 300000 bytes on another host,
// and the last, which continues from there. The progress window names each
// host the download moves to.
TEST(Mirrors, EachFailureHandsOverAndTheNextContinuesFromTheBytesOnDisk) {
  const std::string Setup = InstallerBytes(1 << 20);
  UpdaterRun R;
  ASSERT_TRUE(ServerPut("/m2/ZeRunSetup.exe", InstallerBytes(100 << 10)));
  ASSERT_TRUE(ServerPut("/m3/ZeRunSetup.exe", Setup));
  ASSERT_TRUE(ServerPut("/m4/ZeRunSetup.exe", Setup));
  ASSERT_TRUE(ServerFault("/m3/ZeRunSetup.exe", R"({"close_after": 300000, "skip": 1})"));
  std::string Doc = Document({"http://127.0.0.1:" + std::to_string(ClosedPort()) + "/m1/ZeRunSetup.exe",
                              ServerUrl("/m2/ZeRunSetup.exe"), OtherHostUrl("/m3/ZeRunSetup.exe"),
                              ServerUrl("/m4/ZeRunSetup.exe")},
                             Packed(1, 2), kNotes);
  Doc.insert(Doc.rfind('}'), ",\"Sha256\":\"" + Sha256HexOf(Setup) + "\",\"Size\":" + std::to_string(Setup.size()));
  HWND Ask = R.StartOffering(Doc, "", kWait);
  ASSERT_NE(Ask, nullptr);
  R.ClickOK(Ask);
  ASSERT_TRUE(R.WaitInstallerStarted());
  EXPECT_EQ(ReadWholeFile(R.Installed()), Setup);
  EXPECT_EQ(RangesOf("/m2/ZeRunSetup.exe"), (std::vector<std::string>{"bytes=0-0"}));
  EXPECT_EQ(RangesOf("/m3/ZeRunSetup.exe"), (std::vector<std::string>{"bytes=0-0", "bytes=0-"}));
  EXPECT_EQ(RangesOf("/m4/ZeRunSetup.exe"), (std::vector<std::string>{"bytes=0-0", "bytes=300000-"}));
  HWND Progress = R.WaitWindow(kWait);
  ASSERT_NE(Progress, nullptr);
  R.Shot(Progress, "mirrors");
  std::string Lines;
  for (const std::string& Line : R.Inspect(Progress).Lines) Lines += Line + "|";
  EXPECT_NE(Lines.find("改用下载服务器 localhost|改用下载服务器 127.0.0.1|"), std::string::npos) << Lines;
  R.ClickOK(Progress);
  EXPECT_EQ(R.WaitExit(kWait), 0);
  EXPECT_EQ(R.FailureCount(), "0");
}

// An installer host, then the document's, answering 503 with Retry-After:
// a user who asks meets it and the server-error notice; quiet runs then ask
// that host nothing (the kept document answers, and with every installer
// host waiting it offers nothing); a user who asks meets it again.
TEST(RetryAfter, AHostThatAskedForQuietIsLeftAloneByQuietRunsOnly) {
  const std::string Busy = "/busy/ZeRunSetup.exe";
  const std::pair<const char*, std::string> Runs[] = {
      {"", Busy}, {"/S", Busy}, {"", Busy}, {"", kInfoPath}, {"/S", kInfoPath}};
  for (const auto& [Args, Path] : Runs) {
    SCOPED_TRACE(std::string(Args) + Path);
    UpdaterRun R(&Args == &Runs[0].first);
    ASSERT_TRUE(ServerReset());
    SetInstalledVersion(Packed(1, 1));
    ASSERT_TRUE(ServerPut(kInfoPath, Document({OtherHostUrl(Busy)}, Packed(1, 2), kNotes)));
    ASSERT_TRUE(ServerFault(Path, R"({"status": 503, "retry_after": "3600"})"));
    R.Start(Args);
    if (!*Args) {
      HWND Wnd = R.WaitPastChecking(kWait);
      ASSERT_NE(Wnd, nullptr);
      if (Path == Busy) R.ClickOK(Wnd);
      if (Path == Busy) Wnd = R.WaitNotice('r', kWait);
      ASSERT_NE(Wnd, nullptr);
      EXPECT_EQ(R.Badge(Wnd), 'r');
      R.ClickMovedOK(Wnd);
    }
    EXPECT_EQ(R.WaitExit(kWait), 0);
    EXPECT_EQ(CountRequests(Path), *Args ? 0 : 1);
  }
  // No copy kept to answer: the quiet run still asks nothing, and a server
  // that asked for quiet is no failure of this machine.
  UpdaterRun R(false);
  ASSERT_TRUE(ServerReset());
  ASSERT_TRUE(DeleteFileA((R.DataDir + "Down\\ZeRunUpdate.inf").c_str()));
  std::string Failures = R.FailureCount();
  R.Start("/S");
  EXPECT_EQ(R.WaitExit(kWait), 0);
  EXPECT_EQ(CountRequests(kInfoPath), 0);
  EXPECT_EQ(R.FailureCount(), Failures);
}

// A signed build keeps the newest "Published" it accepted: an older
// document is no answer even with "AllowDowngrade" (the check runs into its
// time-out and counts it).
TEST(Published, AnOlderSignedDocumentIsNoAnswer) {
  const std::string Setup = InstallerBytes(64 << 10);
  TRelease Downgrade;
  Downgrade.AllowDowngrade = true;
  const char* Times[] = {"2026-12-01T00:00:00Z", "2026-11-30T23:59:59Z"};
  for (bool First : {true, false}) {
    UpdaterRun R(First, "ZeRunUpdateSigned.exe");
    WritePrivateProfileStringA("2", "2", "2", (R.DataDir + "upd.dat").c_str());
    DeleteFileA((R.DataDir + "Down\\ZeRunUpdate.inf").c_str());  // no kept copy answers instead
    SetInstalledVersion(Packed(1, 2));
    Downgrade.Published = Times[!First];
    ASSERT_TRUE(ServerPut(kInfoPath, PublishedDocument({ServerUrl(kSetupPath)}, Packed(1, 0), kNotes, Setup, Downgrade)));
    R.Start("/S");
    HWND Ask = R.WaitWindow(First ? kWait : 15000);
    EXPECT_EQ(Ask != nullptr, First) << Times[!First];
    if (Ask) R.ClickCancel(Ask);
    EXPECT_EQ(R.WaitExit(kWait), 0);
    EXPECT_EQ(R.FailureCount(), First ? "2" : "3");
  }
}

}  // namespace
