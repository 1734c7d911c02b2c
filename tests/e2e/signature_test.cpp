// Whole runs of the program built with the tests' public key: only a
// document signed with its secret half, naming the installer's digest, in
// date and read the same way on every machine, acts, whether it comes fresh
// or from the copy kept for offline runs; it never offers an earlier version
// unless it says so.
#include <gtest/gtest.h>

#include "app/uFunction.h"
#include "tests/e2e/E2eRun.h"
#include "tools/publish/uPublish.h"

using namespace e2e;
using namespace zrtest;

namespace {

const DWORD kWait = 20000;
const char* const kSignedBuild = "ZeRunUpdateSigned.exe";
const char* const kSecondKeyBuild = "ZeRunUpdateSecondKey.exe";
// Its last character's GBK bytes end in a backslash (9E 5C).
const std::string kNotes = "1.2版本特性\r\n    1 签名的文档瀄";
const std::string kExpired = ",\"Expires\":\"2020-01-01T00:00:00Z\"";

std::string OtherSecretKey() {
  std::string Secret, Public, Key;
  MakeKeyPair(Secret, Public);
  EXPECT_TRUE(ReadKeyText(Secret, 64, Key));
  return Key;
}

// The secret half of the key ZeRunUpdateSecondKey trusts.
std::string SecondSecretKey() {
  std::string Key;
  EXPECT_TRUE(ReadKeyText(ReadWholeFile(ZR_SECOND_KEY_FILE), 64, Key)) << ZR_SECOND_KEY_FILE;
  return Key;
}

// The tool's document offering Version for Setup, with Extra members before
// its closing brace, signed with each of Keys.
std::string Published(uint32_t Version, const std::string& Setup, const std::string& Extra = "",
                      const std::vector<std::string>& Keys = {TestSecretKey()}) {
  std::string Doc = PublishedDocument({ServerUrl(kSetupPath)}, Version, kNotes, Setup);
  Doc.erase(Doc.find("//ed25519:"));
  Doc.insert(Doc.rfind('}'), Extra);
  return SignDocument(Doc, Keys);
}

std::string KeptCopy() { return GetUserDataDir() + "Down\\ZeRunUpdate.inf"; }

// Leaves Doc as the copy an earlier run kept, with its entity tag when Tag
// is not empty.
void Keep(const std::string& Doc, const std::string& Tag = "") {
  CreateDirectoryA(FolderOf(KeptCopy()).c_str(), nullptr);
  ASSERT_TRUE(WriteWholeFile(KeptCopy(), Doc));
  if (!Tag.empty())
    WritePrivateProfileStringA("JSON_ETag", KeptCopy().c_str(), Tag.c_str(),
                               (GetUserDataDir() + "Down\\ETagFile.dat").c_str());
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

void PrepareRun(UpdaterRun& R, const std::string& Setup) {
  ASSERT_TRUE(WriteWholeFile(R.DataDir + "upd.dat", "[2]\r\n2=2\r\n"));
  SetInstalledVersion(Packed(1, 1));
  ASSERT_TRUE(ServerPut(kSetupPath, Setup));
}

// A silent run of Build, offered Doc over Installed, asks the question.
void ExpectQuestion(const char* Build, const std::string& Setup, const std::string& Doc, uint32_t Installed) {
  UpdaterRun R(true, Build);
  ASSERT_NO_FATAL_FAILURE(PrepareRun(R, Setup));
  SetInstalledVersion(Installed);
  ASSERT_TRUE(ServerPut(kInfoPath, Doc));
  R.Start("/S");
  HWND Ask = WaitQuestion(R);
  ASSERT_NE(Ask, nullptr);
  R.ClickCancel(Ask);
  EXPECT_EQ(R.WaitExit(kWait), 0);
}

// Each run pairs two documents that may not act, one fresh and one kept by
// an earlier run: the fresh one is not kept, the kept one is read and
// refused as well, so a run catches a missing check of either kind.
TEST(SignedDocument, AnUnsignedAlteredOrWronglySignedDocumentOrOneWithoutDigestIsNoAnswer) {
  const std::string Setup = InstallerBytes(64 << 10);
  const std::string Good = SignDocument(Body(Setup, true), {TestSecretKey()});
  std::string Twice = Body(Setup, true);
  Twice.insert(Twice.rfind('}'), ",\"ver\":65539");
  const std::string Expired = Published(Packed(1, 2), Setup, kExpired);
  const struct {
    const char* Name;
    std::string Fresh, Kept;
  } Cases[] = {
      {"one byte changed, over a member twice", Altered(Good), SignDocument(Twice, {TestSecretKey()})},
      {"another key, over a value after the value", SignDocument(Body(Setup, true), {OtherSecretKey()}),
       SignDocument(Body(Setup, true) + "{\"Urls\":[]}\r\n", {TestSecretKey()})},
      {"no signature line, over an expired one", Body(Setup, true), Expired},
      {"expired, over one without digest", Expired, SignDocument(Body(Setup, false), {TestSecretKey()})},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.Name);
    UpdaterRun R(true, kSignedBuild);
    ASSERT_NO_FATAL_FAILURE(PrepareRun(R, Setup));
    ASSERT_TRUE(ServerPut(kInfoPath, C.Fresh));
    ASSERT_NO_FATAL_FAILURE(Keep(C.Kept));
    ExpectNoAnswer(R);
    EXPECT_EQ(ReadWholeFile(KeptCopy()), C.Kept);
  }
}

// With 1.2 installed, a signed 1.0 is no update, fresh or kept from an
// earlier run with the tag the server answers 304 to; with the document's
// leave it is offered.
TEST(SignedDocument, AnEarlierVersionIsNoUpdateUnlessTheDocumentAllowsIt) {
  const std::string Setup = InstallerBytes(64 << 10);
  const std::string Earlier = Published(Packed(1, 0), Setup);
  for (bool Kept : {false, true}) {
    SCOPED_TRACE(Kept ? "kept" : "fresh");
    UpdaterRun R(true, kSignedBuild);
    ASSERT_NO_FATAL_FAILURE(PrepareRun(R, Setup));
    SetInstalledVersion(Packed(1, 2));
    if (Kept) {
      ASSERT_NO_FATAL_FAILURE(Keep(Earlier, "\"tag-1.2\""));
      ASSERT_TRUE(ServerPut(kInfoPath, Published(Packed(1, 2), Setup)));
      ASSERT_TRUE(ServerFault(kInfoPath, R"({"etag": "\"tag-1.2\""})"));
    } else {
      ASSERT_TRUE(ServerPut(kInfoPath, Earlier));
    }
    R.Start("/S");
    EXPECT_EQ(R.WaitWindow(kWait), nullptr) << "an earlier version was offered";
    EXPECT_EQ(R.WaitExit(kWait), 0);
    EXPECT_EQ(R.FailureCount(), "2") << "no update, not no answer";
    EXPECT_EQ(CountRequests(kSetupPath), 0);
    ASSERT_EQ(CountRequests(kInfoPath), 1);
    // The server answers 304 to its own tag.
    if (Kept) {
      EXPECT_EQ(LogField(EntriesFor(kInfoPath)[0], "headers.If-None-Match"), "\"tag-1.2\"");
    }
  }
  ExpectQuestion(kSignedBuild, Setup, Published(Packed(1, 0), Setup, ",\"AllowDowngrade\":true"), Packed(1, 2));
}

// A vendor moving to a new key signs with both: builds holding either act.
TEST(SignedDocument, SignedWithTwoKeysItActsInBuildsHoldingEither) {
  const std::string Setup = InstallerBytes(64 << 10);
  const std::string Both = Published(Packed(1, 2), Setup, "", {TestSecretKey(), SecondSecretKey()});
  for (const char* Build : {kSignedBuild, kSecondKeyBuild}) {
    SCOPED_TRACE(Build);
    ExpectQuestion(Build, Setup, Both, Packed(1, 1));
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

// Wine gives a program the code page of its Unix locale, which a Windows
// process cannot change for the programs it starts: these start through
// env, a Unix program, and so run under code page 1252 (with the settings
// of the test prefix that Wine does not hand to a Unix program).
const std::string kUnderCodePage1252 =
    "/usr/bin/env LC_ALL=C.UTF-8 LANG=C.UTF-8 WINEDEBUG=-all WINEDLLOVERRIDES=mscoree=;mshtml= wine ";

// The first new visible window with the memo of the question: the
// program's title, in its own code page, may not read as the test's, and
// Wine hands out no handle of a program started through a Unix one.
HWND WaitNewQuestion(UpdaterRun& R, const std::set<HWND>& Before) {
  HWND Found = nullptr;
  WaitUntil(
      [&] {
        for (HWND Wnd : VisibleTopWindows())
          if (!Before.count(Wnd) && R.Inspect(Wnd).MemoVisible) Found = Wnd;
        return Found != nullptr;
      },
      kWait);
  PumpMessages(700);  // let it paint and take input
  return Found;
}

// Under code page 1252 a signed build reads a document as under 936: the
// tool's ASCII one, and one whose GBK notes end in a byte that 1252 reads
// as a backslash before the closing quote, which would swallow the rest.
TEST(SignedDocument, UnderCodePage1252TheSameQuestionAndInstaller) {
  const std::string Setup = InstallerBytes(64 << 10);
  // cmd writes what it echoes to a file in its code page, which has no 瀄.
  const std::string Echo = GetUserDataDir() + "echo.txt";
  DeleteFileA(Echo.c_str());
  StartProcess(kUnderCodePage1252 + "cmd /c echo 瀄> " + Echo);
  ASSERT_TRUE(WaitUntil([&] { return ReadWholeFile(Echo).find('\n') != std::string::npos; }, kWait));
  ASSERT_EQ(ReadWholeFile(Echo), "?\r\n") << "not started under another code page";
  const struct {
    const char* Name;
    std::string Document;
  } Cases[] = {
      {"made by the tool", Published(Packed(1, 2), Setup)},
      {"GBK bytes", SignDocument(Body(Setup, true), {TestSecretKey()})},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.Name);
    UpdaterRun R(true, kSignedBuild);
    ASSERT_NO_FATAL_FAILURE(PrepareRun(R, Setup));
    ASSERT_TRUE(ServerPut(kInfoPath, C.Document));
    std::set<HWND> Before = VisibleTopWindows();
    StartProcess(kUnderCodePage1252 + Quote(R.Exe) + " /S");
    HWND Ask = WaitNewQuestion(R, Before);
    ASSERT_NE(Ask, nullptr) << "no question";
    R.Shot(Ask, "signed-question-cp1252");
    DWORD Pid = 0;
    GetWindowThreadProcessId(Ask, &Pid);
    Process Program{OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, Pid), Pid};
    R.ClickOK(Ask);
    EXPECT_TRUE(WaitUntil([&] { return FileExists(R.Installed() + ".record"); }, 60000));
    EXPECT_EQ(ReadWholeFile(R.Installed()), Setup);
    EXPECT_EQ(CountRequests(kSetupPath) + CountRequests(kInfoPath), static_cast<int>(ServerLog().size()));
    KillProcess(Program);
  }
}

}  // namespace
