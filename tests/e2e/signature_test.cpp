// Whole runs of the program built with the tests' public key: only a
// document signed with its secret half, naming the installer's digest, acts,
// whether it comes fresh or from the copy kept for offline runs.
#include <gtest/gtest.h>

#include "app/uFunction.h"
#include "tests/e2e/E2eRun.h"
#include "tools/publish/uPublish.h"

using namespace e2e;
using namespace zrtest;

namespace {

const DWORD kWait = 20000;
const char* const kSignedBuild = "ZeRunUpdateSigned.exe";
const std::string kNotes = "1.2版本特性\r\n    1 签名的文档";

std::string OtherSecretKey() {
  std::string Secret, Public, Key;
  MakeKeyPair(Secret, Public);
  EXPECT_TRUE(ReadKeyText(Secret, 64, Key));
  return Key;
}

// The document offering 1.2 over the loopback installer Setup, with its
// digest and size when WithDigest, ending with a line end.
std::string Body(const std::string& Setup, bool WithDigest) {
  std::string Doc = Document({ServerUrl(kSetupPath)}, Packed(1, 2), kNotes);
  if (WithDigest) {
    Doc.insert(Doc.rfind('}'), ",\"Sha256\":\"" + Sha256HexOf(Setup) + "\",\"Size\":" + std::to_string(Setup.size()));
  }
  return Doc + "\r\n";
}

// One byte of the release notes changed.
std::string Altered(std::string Document) {
  Document[Document.find("1.2版本") + 2] = '3';
  return Document;
}

// The question of a run offering 1.2, with the document's notes.
HWND WaitQuestion(UpdaterRun& R) {
  HWND Ask = R.WaitPastChecking(kWait);
  if (Ask) {
    EXPECT_TRUE(R.Inspect(Ask).MemoVisible);
    EXPECT_EQ(R.Inspect(Ask).Memo, kNotes);
  }
  return Ask;
}

// A silent run (started with 2 failures counted) whose document acts shows
// the question; one that is no answer shows nothing, ends at the check's
// time-out and counts a failure, and never asks for the installer.
void ExpectNoAnswer(UpdaterRun& R) {
  R.Start("/S");
  EXPECT_EQ(R.WaitWindow(15000), nullptr) << "the document acted";
  EXPECT_EQ(R.WaitExit(kWait), 0);
  EXPECT_EQ(R.FailureCount(), "3");
  EXPECT_EQ(CountRequests(kInfoPath), 1);
  EXPECT_EQ(CountRequests(kSetupPath), 0);
}

void PrepareRun(UpdaterRun& R, const std::string& Setup) {
  ASSERT_TRUE(WriteWholeFile(R.DataDir + "upd.dat", "[2]\r\n2=2\r\n"));
  SetInstalledVersion(Packed(1, 1));
  ASSERT_TRUE(ServerPut(kSetupPath, Setup));
}

TEST(SignedDocument, AnUnsignedAlteredOrWronglySignedDocumentOrOneWithoutDigestIsNoAnswer) {
  const std::string Setup = InstallerBytes(64 << 10);
  const std::string Good = SignDocument(Body(Setup, true), TestSecretKey());
  const struct {
    const char* Name;
    std::string Document;
  } Cases[] = {
      {"one byte changed", Altered(Good)},
      {"another key", SignDocument(Body(Setup, true), OtherSecretKey())},
      {"no signature line", Body(Setup, true)},
      {"no digest", SignDocument(Body(Setup, false), TestSecretKey())},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.Name);
    UpdaterRun R(true, kSignedBuild);
    ASSERT_NO_FATAL_FAILURE(PrepareRun(R, Setup));
    ASSERT_TRUE(ServerPut(kInfoPath, C.Document));
    ExpectNoAnswer(R);
  }
}

// The good document, as the vendor's tool makes it, runs the update. With
// the server down, or answering with a forged document, its kept copy still
// brings the question; once altered it is no answer.
TEST(SignedDocument, AGoodOneRunsTheUpdateAndTheKeptCopyIsCheckedToo) {
  const std::string Setup = InstallerBytes(64 << 10);
  const std::string Good = PublishedDocument({ServerUrl(kSetupPath)}, Packed(1, 2), kNotes, Setup);
  {
    UpdaterRun R(true, kSignedBuild);
    ASSERT_NO_FATAL_FAILURE(PrepareRun(R, Setup));
    ASSERT_TRUE(ServerPut(kInfoPath, Good));
    R.Start();
    HWND Ask = WaitQuestion(R);
    ASSERT_NE(Ask, nullptr);
    R.Shot(Ask, "signed-question");
    R.ClickOK(Ask);
    ASSERT_TRUE(WaitUntil([&] { return FileExists(R.Installed() + ".record"); }, 60000));
    EXPECT_EQ(ReadWholeFile(R.Installed()), Setup);
    HWND Finished = R.WaitWindow(kWait);
    ASSERT_NE(Finished, nullptr);
    EXPECT_TRUE(R.Inspect(Finished).IsProgress);
    R.ClickOK(Finished);
    EXPECT_EQ(R.WaitExit(kWait), 0);
    EXPECT_EQ(R.FailureCount(), "0");
  }
  const std::string Kept = GetUserDataDir() + "Down\\ZeRunUpdate.inf";
  ASSERT_EQ(ReadWholeFile(Kept), Good) << "no good copy kept";
  for (bool Forged : {false, true}) {
    SCOPED_TRACE(Forged ? "forged answer" : "server error");
    UpdaterRun R(false, kSignedBuild);
    ASSERT_TRUE(ServerReset());
    if (Forged) ASSERT_TRUE(ServerPut(kInfoPath, Altered(Good)));
    else ASSERT_TRUE(ServerFault(kInfoPath, R"({"status": 500})"));
    R.Start();
    HWND Ask = WaitQuestion(R);
    ASSERT_NE(Ask, nullptr);
    R.ClickCancel(Ask);
    EXPECT_EQ(R.WaitExit(kWait), 0);
    EXPECT_EQ(ReadWholeFile(Kept), Good);
  }
  UpdaterRun R(false, kSignedBuild);
  ASSERT_TRUE(ServerReset());
  ASSERT_TRUE(ServerFault(kInfoPath, R"({"status": 500})"));
  ASSERT_NO_FATAL_FAILURE(PrepareRun(R, Setup));
  ASSERT_TRUE(WriteWholeFile(Kept, Altered(ReadWholeFile(Kept))));
  ExpectNoAnswer(R);
}

}  // namespace
