// Whole runs of the program built for HTTPS, with the tests' public key,
// against the loopback TLS server: signed documents, checked installers.
#include <gtest/gtest.h>

#include "tests/e2e/E2eRun.h"

using namespace e2e;
using namespace zrtest;

namespace {

const DWORD kWait = 20000;
const char* const kBuild = "ZeRunUpdateHttps.exe";
const std::string kNotes = "1.2版本特性\r\n    1 经由HTTPS";

// The TLS listener, where the program's built-in URL points.
std::string TlsUrl(const std::string& Path) {
  return "https://localhost:" + std::to_string(ServerPort() + 363) + Path;
}

// From the handshake after the first Skip ones, the server presents Name.
bool PresentCertificate(const std::string& Name, int Skip) {
  return ServerFault("/_tls", R"({"certificate": ")" + Name + R"(", "skip": )" + std::to_string(Skip) + "}");
}

// Offers 1.2 over an installed 1.1, installer and signed document over TLS. The
// document's connection is closed after it, so the download opens its own.
void ServeUpdate(const std::string& Setup) {
  SetInstalledVersion(Packed(1, 1));
  std::string Doc = PublishedDocument({TlsUrl(kSetupPath)}, Packed(1, 2), kNotes, Setup);
  ASSERT_TRUE(ServerPut(kInfoPath, Doc));
  ASSERT_TRUE(ServerFault(kInfoPath, R"({"close_after": )" + std::to_string(Doc.size()) + "}"));
  ASSERT_TRUE(ServerPut(kSetupPath, Setup));
}

// Nothing ever came over plain HTTP, and Name was presented at least once.
void ExpectOnlyTls(const std::string& Name) {
  for (const std::string& E : ServerLog()) EXPECT_EQ(LogField(E, "listener"), "tls") << E;
  bool Presented = false;
  for (const std::string& E : EntriesFor("/_tls")) Presented |= LogField(E, "certificate") == Name;
  EXPECT_TRUE(Presented) << "no connection met the certificate " << Name;
}

// Answers the question with OK; the download then fails: the error notice
// is closed and the run ends.
void AgreeAndCloseTheError(UpdaterRun& R, const std::string& Shot) {
  HWND Ask = R.WaitPastChecking(kWait);
  ASSERT_NE(Ask, nullptr);
  EXPECT_EQ(R.Inspect(Ask).Memo, kNotes);
  R.ClickOK(Ask);
  HWND Error = R.WaitNotice('r', 30000);
  ASSERT_NE(Error, nullptr);
  R.Shot(Error, Shot);
  R.ClickMovedOK(Error);
  EXPECT_EQ(R.WaitExit(kWait), 0);
}

// A transfer cut part-way shows the error notice; the next run resumes it
// over TLS and starts the installer.
TEST(Https, UpdatesAndResumesACutDownloadInTheNextRun) {
  std::string Setup = InstallerBytes(1 << 20);
  {
    UpdaterRun R(true, kBuild);
    ServeUpdate(Setup);
    ASSERT_TRUE(ServerFault(kSetupPath, R"({"close_after": 300000, "rate": 300000, "skip": 1, "times": 1})"));
    R.Start();
    AgreeAndCloseTheError(R, "https-cut-error");
    EXPECT_TRUE(FileExists(R.Installed() + ".tsk.cfg"));
    EXPECT_FALSE(FileExists(R.Installed()));
    ExpectOnlyTls("good");
  }
  UpdaterRun R(false, kBuild);
  ASSERT_TRUE(ServerReset());
  ServeUpdate(Setup);
  R.Start();
  HWND Ask = R.WaitPastChecking(kWait);
  ASSERT_NE(Ask, nullptr);
  R.ClickOK(Ask);
  ASSERT_TRUE(R.WaitInstallerStarted());
  EXPECT_TRUE(ReadWholeFile(R.Installed()) == Setup);
  EXPECT_EQ(RangesOf(kSetupPath), (std::vector<std::string>{"bytes=0-0", "bytes=300000-"}));
  ExpectOnlyTls("good");
  HWND Progress = R.WaitWindow(kWait);
  ASSERT_NE(Progress, nullptr);
  ASSERT_TRUE(R.Inspect(Progress).IsProgress);
  R.Shot(Progress, "https-resumed");
  R.ClickOK(Progress);
  EXPECT_EQ(R.WaitExit(kWait), 0);
}

// A certificate from an unknown issuer or for another name: the check gets
// no answer and runs into its time-out; the download fails with the error
// notice. Neither falls back to plain HTTP.
TEST(Https, ACertificateThatDoesNotVerifyEndsInTheFailurePath) {
  for (const char* Certificate : {"untrusted", "other_host"}) {
    SCOPED_TRACE(Certificate);
    {
      UpdaterRun R(true, kBuild);
      ServeUpdate(InstallerBytes(64 << 10));
      ASSERT_TRUE(PresentCertificate(Certificate, 0));
      R.Start("/S");
      EXPECT_EQ(R.WaitExit(25000), 0);  // silent: ends at the time-out
      EXPECT_EQ(R.FailureCount(), "0");
      EXPECT_TRUE(EntriesFor(kInfoPath).empty());
      ExpectOnlyTls(Certificate);
    }
    UpdaterRun R(true, kBuild);
    ServeUpdate(InstallerBytes(64 << 10));
    ASSERT_TRUE(PresentCertificate(Certificate, 1));
    R.Start();
    AgreeAndCloseTheError(R, std::string("https-") + Certificate + "-error");
    EXPECT_EQ(R.FailureCount(), "0");
    EXPECT_EQ(EntriesFor(kInfoPath).size(), 1u);
    EXPECT_TRUE(EntriesFor(kSetupPath).empty());
    EXPECT_FALSE(FileExists(R.Installed() + ".tsk"));
    ExpectOnlyTls(Certificate);
  }
}

}  // namespace
