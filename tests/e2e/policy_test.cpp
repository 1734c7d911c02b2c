// Whole runs under the administrator's policy, and the run's log after an
// update that resumes and after a rotation.
#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <set>

#include "app/uUpdateDecision.h"
#include "framework/uLog.h"
#include "tests/e2e/E2eRun.h"

using namespace e2e;
using namespace zrtest;

namespace {

const DWORD kWait = 20000;

// The policy key in the view Group Policy writes; a negative UpdateDefault
// is left out, an empty prefix too. Removed when the test ends.
class Policy {
 public:
  Policy(int64_t UpdateDefault, const std::string& Prefix) {
    Remove();
    HKEY Key = nullptr;
    RegCreateKeyExA(HKEY_LOCAL_MACHINE, POLICY_KEY, 0, nullptr, 0, KEY_SET_VALUE | KEY_WOW64_64KEY, nullptr, &Key,
                    nullptr);
    DWORD Value = DWORD(UpdateDefault);
    if (UpdateDefault >= 0)
      RegSetValueExA(Key, POLICY_UPDATE_DEFAULT, 0, REG_DWORD, reinterpret_cast<BYTE*>(&Value), sizeof(Value));
    if (!Prefix.empty())
      RegSetValueExA(Key, POLICY_VERSION_PREFIX, 0, REG_SZ, reinterpret_cast<const BYTE*>(Prefix.c_str()),
                     DWORD(Prefix.size() + 1));
    RegCloseKey(Key);
  }
  ~Policy() { Remove(); }

 private:
  static void Remove() { RegDeleteKeyExA(HKEY_LOCAL_MACHINE, POLICY_KEY, KEY_WOW64_64KEY, 0); }
};

std::string RunLog(const UpdaterRun& R) { return ReadWholeFile(R.DataDir + LOG_FILE_NAME); }

// Each of Parts appears in Log after the one before it.
void ExpectInOrder(const std::string& Log, const std::vector<std::string>& Parts) {
  size_t At = 0;
  for (const std::string& Part : Parts) {
    size_t Found = Log.find(Part, At);
    ASSERT_NE(Found, std::string::npos) << "\"" << Part << "\" after offset " << At << " in\n" << Log;
    At = Found + Part.size();
  }
}

struct PolicyRow {
  const char* Name;
  int64_t UpdateDefault;
  const char* Prefix;
  const char* Args;
  bool Asks;           // the document is requested
  char Badge;          // the notice shown, 0 for none
  const char* Logged;  // a line the log holds
};

class PolicyRuns : public ::testing::TestWithParam<PolicyRow> {};

TEST_P(PolicyRuns, HoldOverTheDocumentAndTheUser) {
  const PolicyRow& P = GetParam();
  UpdaterRun R;
  Policy Set(P.UpdateDefault, P.Prefix);
  SetInstalledVersion(Packed(1, 1));
  ASSERT_TRUE(ServerPut(kInfoPath, Document({ServerUrl(kSetupPath)}, Packed(1, 2), "notes")));
  R.Start(P.Args);
  if (P.Badge) {
    HWND Wnd = R.WaitPastChecking(kWait);
    ASSERT_NE(Wnd, nullptr);
    R.Shot(Wnd, std::string("policy-") + P.Name);
    EXPECT_EQ(R.Badge(Wnd), P.Badge);
    EXPECT_EQ(R.Inspect(Wnd).MemoVisible, P.Badge == 'o');
    if (P.Badge == 'o')
      R.ClickCancel(Wnd);
    else
      R.ClickMovedOK(Wnd);
  }
  EXPECT_EQ(R.WaitExit(kWait), 0);
  EXPECT_EQ(CountRequests(kInfoPath), P.Asks ? 1 : 0);
  EXPECT_EQ(CountRequests(kSetupPath), 0);
  ExpectInOrder(RunLog(R), {P.Logged, "run ends\r\n"});
}

INSTANTIATE_TEST_SUITE_P(
    Runs, PolicyRuns,
    ::testing::Values(
        PolicyRow{"off", 0, "", "", false, 'r', "notice: \xE7\xB3\xBB\xE7\xBB\x9F\xE7\xAE\xA1\xE7\x90\x86\xE5\x91\x98"
                                                "\xE5\xB7\xB2\xE5\x85\xB3\xE9\x97\xAD\xE5\x8D\x87\xE7\xBA\xA7!\r\n"},
        PolicyRow{"off_quiet", 0, "1.2", "/S", false, 0, "no request: the administrator turned updates off\r\n"},
        PolicyRow{"asked_quiet", 2, "", "/S", false, 0, "turned updates off for runs the user did not ask for"},
        PolicyRow{"asked", 2, "", "", true, 'o', "the user declined"},
        PolicyRow{"asked_relaunch", 2, "1.1", "/S /ShellUAC", true, 0, "outside the administrator's version prefix"},
        PolicyRow{"usual_quiet", 1, "1", "/S", true, 'o', "installed 1.1, offered 1.2: an update"},
        PolicyRow{"unknown_value", 7, "", "/S", true, 'o', "policy: UpdateDefault 7"},
        PolicyRow{"prefix_inside", -1, "1.2", "", true, 'o', "offered 1.2: an update\r\n"},
        PolicyRow{"prefix_outside", -1, "1.1", "", true, 'g', "outside the administrator's version prefix"},
        PolicyRow{"prefix_ignored", -1, "1.x", "", true, 'o', "TargetVersionPrefix \"1.x\""}),
    [](const auto& Info) { return std::string(Info.param.Name); });

// A run cut part-way and the next one, which resumes: the log tells both.
TEST(RunLog, TellsAnUpdateThatResumes) {
  const std::string Setup = InstallerBytes(1 << 20);
  const std::string Cut = "300000";
  {
    UpdaterRun R;
    SetInstalledVersion(Packed(1, 1));
    ASSERT_TRUE(ServerPut(kSetupPath, Setup));
    ASSERT_TRUE(ServerPut(kInfoPath, Document({ServerUrl(kSetupPath)}, Packed(1, 2), "notes")));
    ASSERT_TRUE(ServerFault(kSetupPath, R"({"close_after": )" + Cut + R"(, "skip": 1, "times": 1})"));
    R.Start();
    HWND Ask = R.WaitPastChecking(kWait);
    ASSERT_NE(Ask, nullptr);
    R.ClickOK(Ask);
    HWND Failed = R.WaitNotice('r', kWait);
    ASSERT_NE(Failed, nullptr);
    R.ClickMovedOK(Failed);
    EXPECT_EQ(R.WaitExit(kWait), 0);
  }
  UpdaterRun R(false);
  R.Start();
  HWND Ask = R.WaitPastChecking(kWait);
  ASSERT_NE(Ask, nullptr);
  R.ClickOK(Ask);
  ASSERT_TRUE(WaitUntil([&] { return FileExists(R.Installed() + ".record"); }, 60000));
  HWND Progress = R.WaitWindow(kWait);
  ASSERT_NE(Progress, nullptr);
  R.ClickOK(Progress);
  EXPECT_EQ(R.WaitExit(kWait), 0);

  const std::string Log = RunLog(R), Size = std::to_string(Setup.size());
  WriteWholeFile(ArtifactsDir() + "run-log-resume.txt", Log);  // the README's excerpt
  std::smatch Line;
  const std::regex Form(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d (\d+) [^\r\n]+\r\n)");
  std::set<std::string> Pids;
  size_t Lines = 0;
  for (auto It = Log.cbegin(); std::regex_search(It, Log.cend(), Line, Form, std::regex_constants::match_continuous);
       It = Line[0].second, ++Lines)
    Pids.insert(Line[1]);
  EXPECT_EQ(Lines, size_t(std::count(Log.begin(), Log.end(), '\n'))) << Log;
  EXPECT_EQ(Pids.size(), 2u);
  ExpectInOrder(Log, {"run starts: interactive, ZeRunUpdate 1.1.0.0", "policy: UpdateDefault 1",
                      "document /App/ZeRunUpdate.inf: ", " bytes, read (no signature asked for)",
                      "installed 1.1, offered 1.2: an update", "the user accepted",
                      "installer request to 127.0.0.1, Range: bytes=0-0: status 206",
                      "Range: bytes=0-: status 206, Content-Range: bytes 0-",
                      "installer transfer: " + Cut + " bytes in ", "notice: ", "run ends\r\n",
                      "run starts: interactive", "Range: bytes=" + Cut + "-: status 206, Content-Range: bytes " + Cut,
                      "installer transfer: " + std::to_string(Setup.size() - std::stoul(Cut)) + " bytes in ",
                      "complete", "size " + Size + " matches, SHA-256 none named",
                      "installer " + R.Installed() + ": started", "run ends\r\n"});
}

TEST(RunLog, OverOneMebibyteTheRunStartsANewOne) {
  UpdaterRun R;
  const std::string Old(LOG_ROTATE_SIZE + 1, 'x');
  ASSERT_TRUE(WriteWholeFile(R.DataDir + LOG_FILE_NAME, Old));
  ASSERT_TRUE(WriteWholeFile(R.DataDir + LOG_FILE_NAME + ".1", "older"));
  SetInstalledVersion(Packed(1, 2));
  ASSERT_TRUE(ServerPut(kInfoPath, Document({ServerUrl(kSetupPath)}, Packed(1, 2), "notes")));
  R.Start("/S");
  EXPECT_EQ(R.WaitExit(kWait), 0);
  EXPECT_EQ(ReadWholeFile(R.DataDir + LOG_FILE_NAME + ".1"), Old);
  std::string Log = RunLog(R);
  EXPECT_NE(Log.find(" run starts: quiet, "), std::string::npos) << Log;
  EXPECT_LT(Log.size(), 4096u);
}

}  // namespace
