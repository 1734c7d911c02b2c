// Whole runs of the program built with the tests' public key: only a
// document signed with its secret half, naming the installer's digest, acts,
// whether it comes fresh or from the copy kept for offline runs, in date.
#include <gtest/gtest.h>

#include "app/uFunction.h"
#include "tests/e2e/E2eRun.h"
#include "tools/publish/uPublish.h"

using namespace e2e;
using namespace zrtest;

namespace {

const DWORD kWait = 20000;
const char* const kSignedBuild = "ZeRunUpdateSigned.exe";
const std::string kNotes = "1.2版本特性\r\n    1 签名的文档瀄";

std::string OtherSecretKey() {
  std::string Secret, Public, Key;
  MakeKeyPair(Secret, Public);
  EXPECT_TRUE(ReadKeyText(Secret, 64, Key));
  return Key;
}

// The tool's document for Setup with Extra members, signed with Keys.
std::string Published(uint32_t Version, const std::string& Setup, const std::string& Extra = "",
                      const std::vector<std::string>& Keys = {TestSecretKey()}) {
  std::string Doc = PublishedDocument({ServerUrl(kSetupPath)}, Version, kNotes, Setup);
  Doc.erase(Doc.find("//ed25519:"));
  return SignDocument(Doc.insert(Doc.rfind('}'), Extra), Keys);
}

std::string KeptCopy() { return GetUserDataDir() + "Down\\ZeRunUpdate.inf"; }

// Doc as the copy an earlier run kept, with the entity tag Tag.
void Keep(const std::string& Doc, const std::string& Tag = "") {
  CreateDirectoryA(FolderOf(KeptCopy()).c_str(), nullptr);
  ASSERT_TRUE(WriteWholeFile(KeptCopy(), Doc));
  WritePrivateProfileStringA("JSON_ETag", KeptCopy().c_str(), Tag.c_str(), (FolderOf(KeptCopy()) + "ETagFile.dat").c_str());
}

// The document offering 1.2 over the loopback installer Setup, with its
// digest and size when WithDigest, ending with a line end.
std::string Body(const std::string& Setup, bool WithDigest) {
  // GBK bytes on every machine, as a signed build reads them.
  std::string Doc = Document({ServerUrl(kSetupPath)}, Packed(1, 2), kNotes, true);
  if (WithDigest) {
    Doc.insert(Doc.rfind('}'), ",\"Sha256\":\"" + Sha256HexOf(Setup) + "\",\"Size\":" + std::to_string(Setup.size()));
  }
  return Doc + "\r\n";
}

// The signed document for Setup with its "ver" spelled Ver.
std::string WithVersion(const std::string& Setup, const std::string& Ver) {
  std::string Doc = Body(Setup, true);
  return SignDocument(Doc.replace(Doc.find("\"ver\":") + 6, 5, Ver), {TestSecretKey()});
}

// One byte of the release notes changed.
std::string Altered(std::string Document) {
  Document[Document.find("1.2", Document.find("\"Msg\"")) + 2] = '3';
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

void PrepareRun(UpdaterRun& R, const std::string& Setup, uint32_t Installed = Packed(1, 1)) {
  ASSERT_TRUE(WriteWholeFile(R.DataDir + "upd.dat", "[2]\r\n2=2\r\n"));
  SetInstalledVersion(Installed);
  ASSERT_TRUE(ServerPut(kSetupPath, Setup));
}

// Each run pairs a fresh and a kept document that may not act: the fresh one
// is not kept, the kept one is refused too, so each run checks two kinds. A
// version that is no 32-bit integer would otherwise be cut to another one.
TEST(SignedDocument, AnUnsignedAlteredOrWronglySignedDocumentOrOneWithoutDigestIsNoAnswer) {
  const std::string Setup = InstallerBytes(64 << 10);
  const std::string Good = SignDocument(Body(Setup, true), {TestSecretKey()});
  std::string Twice = Body(Setup, true);
  Twice.insert(Twice.rfind('}'), ",\"ver\":65539");
  const std::string Expired = Published(Packed(1, 2), Setup, ",\"Expires\":\"2020-01-01T00:00:00Z\"");
  const struct {
    const char* Name;
    std::string Fresh, Kept;
  } Cases[] = {
      {"one byte changed, over a member twice", Altered(Good), SignDocument(Twice, {TestSecretKey()})},
      {"another key, over a value after the value", SignDocument(Body(Setup, true), {OtherSecretKey()}),
       SignDocument(Body(Setup, true) + "{\"Urls\":[]}\r\n", {TestSecretKey()})},
      {"no signature line, over an expired one", Body(Setup, true), Expired},
      {"expired, over one without digest", Expired, SignDocument(Body(Setup, false), {TestSecretKey()})},
      {"a negative version, over one past 32 bits", WithVersion(Setup, "-1"), WithVersion(Setup, "4294967298")},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.Name);
    UpdaterRun R(true, kSignedBuild);
    ASSERT_NO_FATAL_FAILURE(PrepareRun(R, Setup));
    ASSERT_TRUE(ServerPut(kInfoPath, C.Fresh));
    ASSERT_NO_FATAL_FAILURE(Keep(C.Kept));
    ExpectNoAnswer(R);
  }
}

// With 1.2 installed a signed 1.0 is no update, fresh or kept with the tag
// the server answers 304 to, unless the document allows it; signed with two
// keys, as when a vendor moves to a new one, it acts in builds holding either.
TEST(SignedDocument, AnEarlierVersionIsNoUpdateUnlessTheDocumentAllowsIt) {
  const std::string Setup = InstallerBytes(64 << 10);
  for (bool Kept : {false, true}) {
    UpdaterRun R(true, kSignedBuild);
    ASSERT_NO_FATAL_FAILURE(PrepareRun(R, Setup, Packed(1, 2)));
    ASSERT_TRUE(ServerPut(kInfoPath, Published(Packed(1, Kept ? 2 : 0), Setup)));
    if (Kept) {
      ASSERT_TRUE(ServerFault(kInfoPath, R"({"etag": "\"tag\""})"));
      ASSERT_NO_FATAL_FAILURE(Keep(Published(Packed(1, 0), Setup), "\"tag\""));
    }
    R.Start("/S");
    EXPECT_EQ(R.WaitExit(kWait), 0) << "an earlier version was offered";
    EXPECT_EQ(R.FailureCount(), "2") << "no update, not no answer";
    EXPECT_EQ(LogField(EntriesFor(kInfoPath).at(0), "headers.If-None-Match"), Kept ? "\"tag\"" : "");
  }
  std::string Second;
  ASSERT_TRUE(ReadKeyText(ReadWholeFile(ZR_SECOND_KEY_FILE), 64, Second));
  const std::string Allowed = Published(Packed(1, 0), Setup, ",\"AllowDowngrade\":true", {TestSecretKey(), Second});
  for (const char* Build : {kSignedBuild, "ZeRunUpdateSecondKey.exe"}) {
    UpdaterRun R(true, Build);
    ASSERT_NO_FATAL_FAILURE(PrepareRun(R, Setup, Packed(1, 2)));
    ASSERT_TRUE(ServerPut(kInfoPath, Allowed));
    R.Start("/S");
    HWND Ask = WaitQuestion(R);
    ASSERT_NE(Ask, nullptr) << Build;
    R.ClickCancel(Ask);
    EXPECT_EQ(R.WaitExit(kWait), 0);
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
    ASSERT_TRUE(R.WaitInstallerStarted());
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

// A signed build reads the tool's ASCII document, and one whose GBK notes
// end in 9E 5C (a backslash to code page 1252) before the quote, alike on
// every machine: the same question and installer. The suite runs this under
// code page 936 and again under 1252.
TEST(SignedDocument, UnderAnyCodePageTheSameQuestionAndInstaller) {
  const std::string Setup = InstallerBytes(64 << 10);
  for (const std::string& Doc : {Published(Packed(1, 2), Setup), SignDocument(Body(Setup, true), {TestSecretKey()})}) {
    UpdaterRun R(true, kSignedBuild);
    ASSERT_NO_FATAL_FAILURE(PrepareRun(R, Setup));
    ASSERT_TRUE(ServerPut(kInfoPath, Doc));
    R.Start("/S");
    HWND Ask = R.WaitWindow(kWait);
    ASSERT_NE(Ask, nullptr) << "no question";
    EXPECT_TRUE(R.Inspect(Ask).MemoVisible);
    R.ClickOK(Ask);
    EXPECT_TRUE(R.WaitInstallerStarted());
    EXPECT_EQ(CountRequests(kSetupPath) + CountRequests(kInfoPath), static_cast<int>(ServerLog().size()));
  }
}

}  // namespace
