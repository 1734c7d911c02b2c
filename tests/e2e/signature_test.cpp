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
#include "tools/publish/uPublish.h"

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

std::string Recode(const std::string& Text, UINT From, UINT To) {
  std::wstring Wide(Text.size(), L'\0');
  Wide.resize(MultiByteToWideChar(From, 0, Text.data(), static_cast<int>(Text.size()), &Wide[0],
                                  static_cast<int>(Wide.size())));
  std::string Out(Wide.size() * 4, '\0');
  Out.resize(WideCharToMultiByte(To, 0, Wide.data(), static_cast<int>(Wide.size()), &Out[0],
                                 static_cast<int>(Out.size()), nullptr, nullptr));
  return Out;
}

// The document the vendor's tool makes for Setup, with the tool's own code:
// its text in UTF-8, turned into the system code page as the tool turns it
// into GBK, then signed.
std::string Published(const std::string& Setup) {
  TRelease Release;
  Release.Urls = {ServerUrl(kSetupPath)};
  Release.Version = Packed(1, 2);
  Release.Notes = Recode(kNotes, CP_ACP, CP_UTF8);
  TSha256 Digest;
  crypto_hash_sha256(Digest.data(), reinterpret_cast<const unsigned char*>(Setup.data()), Setup.size());
  Release.Sha256Hex = Sha256Hex(Digest);
  Release.Size = Setup.size();
  return SignDocument(Recode(DocumentJson(Release), CP_UTF8, CP_ACP), TestSecretKey());
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
  const std::string Good = Published(Setup);
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
