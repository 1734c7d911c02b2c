// Whole runs of the program built with the tests' public key: only a
// document signed with its secret half, naming the installer's digest, acts,
// whether it comes fresh or from the copy kept for offline runs.
#include <gtest/gtest.h>
#include <sodium.h>

#include <cctype>

#include "app/uFunction.h"
#include "net/uSignature.h"
#include "net/uVerify.h"
#include "tests/e2e/E2eRun.h"

using namespace e2e;
using namespace zrtest;

namespace {

const DWORD kWait = 20000;
const char* const kSignedBuild = "ZeRunUpdateSigned.exe";
const std::string kNotes = "1.2版本特性\r\n    1 签名的文档";

// The secret half of the key the signed build trusts.
std::string TestSecretKey() {
  std::string Text = ReadWholeFile(ZR_TEST_KEY_FILE), Key;
  while (!Text.empty() && isspace(static_cast<unsigned char>(Text.back()))) Text.pop_back();
  EXPECT_TRUE(Base64Decode(Text, Key)) << ZR_TEST_KEY_FILE;
  return Key;
}

std::string OtherSecretKey() {
  unsigned char Public[crypto_sign_PUBLICKEYBYTES], Secret[crypto_sign_SECRETKEYBYTES];
  EXPECT_GE(sodium_init(), 0);
  crypto_sign_keypair(Public, Secret);
  return std::string(reinterpret_cast<char*>(Secret), sizeof Secret);
}

// The document offering 1.2 over the loopback installer Setup, with its
// digest and size when WithDigest, ending with a line end.
std::string Body(const std::string& Setup, bool WithDigest) {
  std::string Doc = Document({ServerUrl(kSetupPath)}, Packed(1, 2), kNotes);
  if (WithDigest) {
    TSha256 Digest;
    crypto_hash_sha256(Digest.data(), reinterpret_cast<const unsigned char*>(Setup.data()), Setup.size());
    Doc.insert(Doc.rfind('}'), ",\"Sha256\":\"" + Sha256Hex(Digest) + "\",\"Size\":" + std::to_string(Setup.size()));
  }
  return Doc + "\r\n";
}

// Body followed by its signature line.
std::string SignedDocument(const std::string& Body, const std::string& SecretKey) {
  return Body + SignatureLine(SignBytes(Body, SecretKey)) + "\r\n";
}

// One byte of the release notes changed.
std::string Altered(std::string Document) {
  Document[Document.find("1.2版本") + 2] = '3';
  return Document;
}

int CountRequests(const std::string& Path) {
  int N = 0;
  for (const auto& E : ServerLog()) N += LogField(E, "path") == Path;
  return N;
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
  const std::string Good = SignedDocument(Body(Setup, true), TestSecretKey());
  const struct {
    const char* Name;
    std::string Document;
  } Cases[] = {
      {"one byte changed", Altered(Good)},
      {"another key", SignedDocument(Body(Setup, true), OtherSecretKey())},
      {"no signature line", Body(Setup, true)},
      {"no digest", SignedDocument(Body(Setup, false), TestSecretKey())},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.Name);
    UpdaterRun R(true, kSignedBuild);
    ASSERT_NO_FATAL_FAILURE(PrepareRun(R, Setup));
    ASSERT_TRUE(ServerPut(kInfoPath, C.Document));
    ExpectNoAnswer(R);
  }
}

// The good document runs the update; with the server down its kept copy
// still brings the question, and once altered it is no answer.
TEST(SignedDocument, AGoodOneRunsTheUpdateAndTheKeptCopyIsCheckedToo) {
  const std::string Setup = InstallerBytes(64 << 10);
  {
    UpdaterRun R(true, kSignedBuild);
    ASSERT_NO_FATAL_FAILURE(PrepareRun(R, Setup));
    ASSERT_TRUE(ServerPut(kInfoPath, SignedDocument(Body(Setup, true), TestSecretKey())));
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
  const std::string PublicKey = Base64Encode(TestSecretKey().substr(32));  // seed, then public key
  ASSERT_TRUE(VerifyDocument(ReadWholeFile(Kept), PublicKey)) << "no good copy kept";
  {
    UpdaterRun R(false, kSignedBuild);
    ASSERT_TRUE(ServerReset());
    ASSERT_TRUE(ServerFault(kInfoPath, R"({"status": 500})"));
    R.Start();
    HWND Ask = WaitQuestion(R);
    ASSERT_NE(Ask, nullptr);
    R.ClickCancel(Ask);
    EXPECT_EQ(R.WaitExit(kWait), 0);
  }
  UpdaterRun R(false, kSignedBuild);
  ASSERT_TRUE(ServerReset());
  ASSERT_TRUE(ServerFault(kInfoPath, R"({"status": 500})"));
  ASSERT_NO_FATAL_FAILURE(PrepareRun(R, Setup));
  ASSERT_TRUE(WriteWholeFile(Kept, Altered(ReadWholeFile(Kept))));
  ExpectNoAnswer(R);
}

}  // namespace
