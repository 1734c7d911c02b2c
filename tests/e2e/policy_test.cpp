// Whole runs under the administrator's policy, and the run's log.
#include <gtest/gtest.h>

#include <regex>
#include <set>

#include "app/uUpdateDecision.h"
#include "framework/uLog.h"
#include "tests/e2e/E2eRun.h"

using namespace e2e;
using namespace zrtest;

namespace {

const DWORD kWait = 20000;

// The policy key in the 64-bit view (this program's), where Group Policy
// writes it; UpdateDefault < 0 and an empty Prefix are left out.
void SetPolicy(int64_t UpdateDefault, const std::string& Prefix) {
  RegDeleteKeyA(HKEY_LOCAL_MACHINE, POLICY_KEY);
  DWORD Value = DWORD(UpdateDefault);
  if (UpdateDefault >= 0) RegSetKeyValueA(HKEY_LOCAL_MACHINE, POLICY_KEY, POLICY_UPDATE_DEFAULT, REG_DWORD, &Value, 4);
  if (!Prefix.empty())
    RegSetKeyValueA(HKEY_LOCAL_MACHINE, POLICY_KEY, POLICY_VERSION_PREFIX, REG_SZ, Prefix.c_str(), Prefix.size() + 1);
}

// Starts a run offered 1.2 over 1.1 and answers its first notice with OK or
// Cancel (the question); false when none came or its badge differs.
bool RunOffering12(UpdaterRun& R, const std::string& Args, char Badge, bool OK, const std::string& Shot) {
  SetInstalledVersion(Packed(1, 1));
  ServerPut(kInfoPath, Document({ServerUrl(kSetupPath)}, Packed(1, 2), "notes"));
  R.Start(Args);
  if (!Badge) return true;
  HWND Wnd = R.WaitPastChecking(kWait);
  if (!Wnd || R.Badge(Wnd) != Badge) return false;
  R.Shot(Wnd, Shot);
  Badge != 'o' ? R.ClickMovedOK(Wnd) : OK ? R.ClickOK(Wnd) : R.ClickCancel(Wnd);
  return true;
}

// Each of Parts appears in the run's log after the one before it.
void ExpectLogged(const UpdaterRun& R, const std::vector<std::string>& Parts) {
  const std::string Log = ReadWholeFile(R.DataDir + LOG_FILE_NAME);
  for (size_t At = 0, I = 0; I < Parts.size(); At += Parts[I++].size())
    ASSERT_NE(At = Log.find(Parts[I], At), std::string::npos) << "\"" << Parts[I] << "\" in order in\n" << Log;
}

struct PolicyRow {
  const char* Name;
  int64_t UpdateDefault;
  const char *Prefix, *Args;
  bool Asks;           // the document is requested
  char Badge;          // the notice shown ('o': the question), 0 for none
  const char* Logged;  // a line the log holds
};

class PolicyRuns : public ::testing::TestWithParam<PolicyRow> {
  void TearDown() override { SetPolicy(-1, ""); }
};

TEST_P(PolicyRuns, HoldOverTheDocumentAndTheUser) {
  const PolicyRow& P = GetParam();
  UpdaterRun R;
  SetPolicy(P.UpdateDefault, P.Prefix);
  ASSERT_TRUE(RunOffering12(R, P.Args, P.Badge, false, std::string("policy-") + P.Name));
  EXPECT_EQ(R.WaitExit(kWait), 0);
  EXPECT_EQ(CountRequests(kInfoPath), P.Asks ? 1 : 0);
  EXPECT_EQ(CountRequests(kSetupPath), 0);
  ExpectLogged(R, {P.Logged, "run ends\r\n"});
  // One account of the decision, though a quiet run looks at the answer twice.
  const std::string Log = ReadWholeFile(R.DataDir + LOG_FILE_NAME);
  const size_t First = Log.find("offered 1.2:");
  EXPECT_TRUE((First != std::string::npos) == P.Asks && First == Log.rfind("offered 1.2:")) << Log;
}

const char* const kOffNotice = "notice: \xE7\xB3\xBB\xE7\xBB\x9F\xE7\xAE\xA1\xE7\x90\x86\xE5\x91\x98\xE5\xB7\xB2"
                               "\xE5\x85\xB3\xE9\x97\xAD\xE5\x8D\x87\xE7\xBA\xA7!\r\n";  // UTF-8
const char* const kOutside = "outside the administrator's version prefix";

INSTANTIATE_TEST_SUITE_P(
    Runs, PolicyRuns,
    ::testing::Values(PolicyRow{"off", 0, "", "", false, 'r', kOffNotice},
                      PolicyRow{"off_quiet", 0, "1.2", "/S", false, 0, "updates off\r\n"},
                      PolicyRow{"asked_quiet", 2, "", "/S", false, 0, "for runs the user did not ask for"},
                      PolicyRow{"asked", 2, "", "", true, 'o', "the user declined"},
                      PolicyRow{"asked_relaunch", 2, "1.1", "/S /ShellUAC", true, 0, kOutside},
                      PolicyRow{"usual_quiet", 1, "1", "/S", true, 'o', "offered 1.2: an update"},
                      PolicyRow{"unknown_value", 7, "", "/S", true, 'o', "policy: UpdateDefault 7"},
                      PolicyRow{"prefix_outside", -1, "1.1", "", true, 'g', kOutside}),
    [](const auto& Info) { return std::string(Info.param.Name); });

// A run cut part-way, then the next one, which resumes: the log tells both,
// and the first of them moved the log it found, over 1 MiB, aside.
TEST(RunLog, TellsAnUpdateThatResumesAfterARotation) {
  const std::string Setup = InstallerBytes(1 << 20), Cut = "300000", Old(LOG_ROTATE_SIZE + 1, 'x');
  {
    UpdaterRun R;
    ASSERT_TRUE(WriteWholeFile(R.DataDir + LOG_FILE_NAME, Old) && ServerPut(kSetupPath, Setup));
    ASSERT_TRUE(ServerFault(kSetupPath, R"({"close_after": )" + Cut + R"(, "skip": 1, "times": 1})"));
    ASSERT_TRUE(RunOffering12(R, "", 'o', true, "log-cut"));
    R.ClickMovedOK(R.WaitNotice('r', kWait));
    EXPECT_EQ(R.WaitExit(kWait), 0);
  }
  UpdaterRun R(false);
  ASSERT_TRUE(RunOffering12(R, "", 'o', true, "log-resume"));
  ASSERT_TRUE(R.WaitInstallerStarted());
  R.ClickOK(R.WaitWindow(kWait));
  EXPECT_EQ(R.WaitExit(kWait), 0);
  const std::string Log = ReadWholeFile(R.DataDir + LOG_FILE_NAME);
  WriteWholeFile(ArtifactsDir() + "run-log-resume.txt", Log);  // the README's excerpt
  EXPECT_EQ(ReadWholeFile(R.DataDir + LOG_FILE_NAME + ".1"), Old);
  // Every line begins with the time and one of the two runs' process ids.
  const std::regex Form(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d (\d+) [^\r\n]+\r\n)");
  std::set<std::string> Pids;
  std::smatch Line;
  auto At = Log.cbegin();
  for (; std::regex_search(At, Log.cend(), Line, Form, std::regex_constants::match_continuous); At = Line[0].second)
    Pids.insert(Line[1]);
  EXPECT_TRUE(At == Log.cend() && Pids.size() == 2) << Log;
  ExpectLogged(R, {"run starts: interactive, ZeRunUpdate 1.1.0.0", "policy: UpdateDefault 1",
                   "document /App/ZeRunUpdate.inf: 82 bytes, read (no signature asked for)",
                   "installed 1.1, offered 1.2: an update", "the user accepted",
                   "to 127.0.0.1, Range: bytes=0-0: status 206", "Range: bytes=0-: status 206, Content-Range: bytes 0-",
                   "installer transfer: " + Cut + " bytes in ", "notice: ", "run ends\r\n", "run starts: interactive",
                   "Range: bytes=" + Cut + "-: status 206, Content-Range: bytes " + Cut + "-",
                   "installer transfer: 748576 bytes in ", "complete", "size 1048576 matches, SHA-256 none named",
                   "installer " + R.Installed() + ": started", "run ends\r\n"});
}

}  // namespace
