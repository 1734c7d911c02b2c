// zerun-publish as a vendor runs it: keys, documents, and every bad input
// ending in a message and a non-zero exit.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <regex>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tools/publish/uPublish.h"

namespace {

struct TResult {
  int Exit = -1;
  std::string Output;  // standard output and error
};

TResult RunCommand(const std::string& Command) {
  TResult Result;
  FILE* Pipe = popen((Command + " 2>&1").c_str(), "r");
  if (!Pipe) return Result;
  char Buffer[4096];
  size_t Got;
  while ((Got = fread(Buffer, 1, sizeof Buffer, Pipe)) > 0) Result.Output.append(Buffer, Got);
  int Status = pclose(Pipe);
  Result.Exit = WIFEXITED(Status) ? WEXITSTATUS(Status) : -1;
  return Result;
}

TResult Publish(const std::string& Args) { return RunCommand(std::string(ZERUN_PUBLISH) + " " + Args); }

std::string ReadAll(const std::string& Name) {
  std::ifstream In(Name, std::ios::binary);
  std::ostringstream Bytes;
  Bytes << In.rdbuf();
  return Bytes.str();
}

void WriteAll(const std::string& Name, const std::string& Bytes) {
  std::ofstream(Name, std::ios::binary) << Bytes;
}

class PublishCommand : public ::testing::Test {
 protected:
  void SetUp() override {
    char Template[] = "/tmp/zr-publish-XXXXXX";
    ASSERT_NE(mkdtemp(Template), nullptr);
    Dir = Template;
    Key = std::string(TEST_KEYS) + "/test.key";
    Pub = std::string(TEST_KEYS) + "/test.pub";
    WriteAll(Dir + "/setup.exe", std::string("MZ\x90\0installer bytes", 20));
    WriteAll(Dir + "/notes.txt", "\xEF\xBB\xBF" "1.2版本特性\n    1 优化了\"P2P\"下载速度\r    2 瀄\r\n");
  }
  void TearDown() override { std::system(("rm -rf " + Dir).c_str()); }

  std::string MakeArgs(const std::string& Version = "1.2", const std::string& Notes = "notes.txt") {
    return "make --key " + Key + " --installer " + Dir + "/setup.exe --version " + Version + " --expires-in 30" +
           " --url https://update.example.com/files/setup.exe --url http://mirror.example.com/setup.exe --notes " +
           Dir + "/" + Notes + " --out " + Dir + "/ZeRunUpdate.inf";
  }
  std::string VerifyArgs(const std::string& PubFile, const std::string& Extra = "") {
    return "verify --pub " + PubFile + " --document " + Dir + "/ZeRunUpdate.inf" + Extra;
  }

  std::string Dir, Key, Pub;
};

TEST_F(PublishCommand, MakesADocumentThatVerifiesWithItsInstaller) {
  TResult Made = Publish(MakeArgs());
  ASSERT_EQ(Made.Exit, 0) << Made.Output;
  std::string Document = ReadAll(Dir + "/ZeRunUpdate.inf");
  // ASCII, the notes' line breaks as CR LF; hash, size, expiry, signature.
  for (char C : Document) ASSERT_EQ(C & 0x80, 0) << Document;
  EXPECT_NE(Document.find("\"Msg\": \"1.2\\u7248\\u672c\\u7279\\u6027\\r\\n    1 \\u4f18\\u5316\\u4e86\\\"P2P\\\""
                          "\\u4e0b\\u8f7d\\u901f\\u5ea6\\r\\n    2 \\u7004\","),
            std::string::npos)
      << Document;
  EXPECT_NE(Document.find("\"Size\": 20,\r\n  \"Expires\": \"20"), std::string::npos);
  EXPECT_NE(Document.find("\"ver\": 65538,"), std::string::npos);
  EXPECT_NE(Document.find("\"Urls\": [\"https://update.example.com/files/setup.exe\", "
                          "\"http://mirror.example.com/setup.exe\"]"),
            std::string::npos);
  FILE* Sum = popen(("sha256sum " + Dir + "/setup.exe").c_str(), "r");
  char Hex[65] = {};
  ASSERT_EQ(fread(Hex, 1, 64, Sum), 64u);
  pclose(Sum);
  EXPECT_NE(Document.find(std::string("\"Sha256\": \"") + Hex + "\""), std::string::npos);
  size_t Last = Document.rfind("\r\n//ed25519:");
  ASSERT_NE(Last, std::string::npos);
  EXPECT_EQ(Document.size() - Last, 2 + 10 + 88 + 2u);

  TResult Checked = Publish(VerifyArgs(Pub, " --installer " + Dir + "/setup.exe"));
  EXPECT_EQ(Checked.Exit, 0) << Checked.Output;
  EXPECT_NE(Checked.Output.find("version 1.2, 2 URL(s), 20 bytes, expires "), std::string::npos) << Checked.Output;
  EXPECT_NE(Checked.Output.find(", offered to 100 % of machines, published 20"), std::string::npos) << Checked.Output;
  EXPECT_NE(Checked.Output.find("\n  mirror 2: http://mirror.example.com/setup.exe\n"), std::string::npos);
  EXPECT_NE(Document.find("\r\n  \"Published\": \"20"), std::string::npos);
  EXPECT_EQ(Document.find("Rollout"), std::string::npos);
}

TEST_F(PublishCommand, KeygenWritesAPairThatSignsAndNeverOverwrites) {
  std::string Name = Dir + "/vendor";
  TResult Made = Publish("keygen " + Name);
  ASSERT_EQ(Made.Exit, 0) << Made.Output;
  struct stat Info;
  EXPECT_TRUE(stat((Name + ".key").c_str(), &Info) == 0 && (Info.st_mode & 0777) == 0600);
  std::string Public = ReadAll(Name + ".pub");
  EXPECT_NE(Made.Output.find("-DZERUN_PUBLIC_KEY=" + Public.substr(0, Public.size() - 1)), std::string::npos);
  Key = Name + ".key";
  ASSERT_EQ(Publish(MakeArgs()).Exit, 0);
  EXPECT_EQ(Publish(VerifyArgs(Name + ".pub")).Exit, 0);
  // The document does not verify with the tests' key, nor theirs with it.
  TResult Other = Publish(VerifyArgs(Pub));
  EXPECT_EQ(Other.Exit, 1);
  EXPECT_NE(Other.Output.find("does not verify"), std::string::npos) << Other.Output;

  ASSERT_EQ(Publish(MakeArgs() + " --force --key " + TEST_KEYS + "/test.key").Exit, 0);
  EXPECT_NE(Publish(VerifyArgs(Pub) + " --pub " + Name + ".pub").Output.find("by each key"), std::string::npos);

  std::string Secret = ReadAll(Name + ".key");
  TResult Again = Publish("keygen " + Name);
  EXPECT_EQ(Again.Exit, 1);
  EXPECT_NE(Again.Output.find("never overwritten"), std::string::npos) << Again.Output;
  EXPECT_EQ(ReadAll(Name + ".key"), Secret);
  ASSERT_EQ(symlink((Dir + "/planted").c_str(), (Dir + "/other.key").c_str()), 0);
  EXPECT_EQ(Publish("keygen " + Dir + "/other").Exit, 1);
  EXPECT_FALSE(std::ifstream(Dir + "/planted").good());
}

// make replaces a file only with --force, and a key file never.
TEST_F(PublishCommand, MakeOverwritesOnlyWhenForcedAndNeverAKey) {
  std::string Out = Dir + "/ZeRunUpdate.inf";
  ASSERT_EQ(Publish(MakeArgs("1.2")).Exit, 0);
  EXPECT_NE(Publish(MakeArgs("1.3")).Output.find("exists already; --force replaces it"), std::string::npos);
  EXPECT_NE(ReadAll(Out).find("\"ver\": 65538,"), std::string::npos);
  ASSERT_EQ(Publish(MakeArgs("1.3") + " --force --allow-downgrade --rollout 25 --critical").Exit, 0);
  EXPECT_NE(ReadAll(Out).find(",\r\n  \"AllowDowngrade\": true,\r\n  \"Rollout\": 25,\r\n  \"Critical\": true,\r\n"),
            std::string::npos);
  EXPECT_NE(Publish(VerifyArgs(Pub)).Output.find("critical: offered to every machine"), std::string::npos);
  WriteAll(Dir + "/secret", ReadAll(Key));  // a key under another name
  std::string Args = MakeArgs() + " --force";
  TResult Result = Publish(Args.replace(Args.find(Out), Out.size(), Dir + "/secret"));
  EXPECT_NE(Result.Output.find("is a key file; it is never overwritten"), std::string::npos) << Result.Output;
  EXPECT_EQ(ReadAll(Dir + "/secret"), ReadAll(Key));
}

// Every bad input names what is wrong, exits non-zero and writes nothing.
TEST_F(PublishCommand, BadInputsFailWithAMessageAndWriteNothing) {
  WriteAll(Dir + "/emoji.txt", "1.2 \xF0\x9F\x98\x80\n");
  WriteAll(Dir + "/hangul.txt", "first\nsecond \xED\x95\x9C\n");
  WriteAll(Dir + "/latin1.txt", "caf\xE9\n");
  WriteAll(Dir + "/overlong.txt", "\xC0\xAF\n");
  WriteAll(Dir + "/empty.exe", "");
  std::string Damaged = ReadAll(Key);
  Damaged[60] = Damaged[60] == 'A' ? 'B' : 'A';  // inside the public half
  WriteAll(Dir + "/damaged.key", Damaged);
  std::string Base = MakeArgs();
  auto Replace = [&](const std::string& From, const std::string& To) {
    std::string Args = Base;
    Args.replace(Args.find(From), From.size(), To);
    return Args;
  };
  struct Case {
    const char* Name;
    std::string Args;
    const char* Says;
  };
  const std::vector<Case> Cases = {
      {"missing installer", Replace(Dir + "/setup.exe", Dir + "/nothing.exe"), "cannot be read"},
      {"empty installer", Replace(Dir + "/setup.exe", Dir + "/empty.exe"), "is empty"},
      {"version without minor", MakeArgs("1"), "is not MAJOR.MINOR"},
      {"version of three parts", MakeArgs("1.2.3"), "is not MAJOR.MINOR"},
      {"version too big", MakeArgs("1.65536"), "is not MAJOR.MINOR"},
      {"version with a sign", MakeArgs("-1.2"), "is not MAJOR.MINOR"},
      {"version of letters", MakeArgs("a.b"), "is not MAJOR.MINOR"},
      {"notes with an emoji", MakeArgs("1.2", "emoji.txt"), "GBK cannot hold, on line 1"},
      {"notes with hangul", MakeArgs("1.2", "hangul.txt"), "GBK cannot hold, on line 2"},
      {"notes in Latin-1", MakeArgs("1.2", "latin1.txt"), "are not UTF-8"},
      {"notes overlong UTF-8", MakeArgs("1.2", "overlong.txt"), "are not UTF-8"},
      {"missing notes", MakeArgs("1.2", "none.txt"), "cannot be read"},
      {"public key as secret", Replace(Key, Pub), "is no secret key"},
      {"damaged secret key", Replace(Key, Dir + "/damaged.key"), "damaged"},
      {"ftp URL", Replace("http://mirror", "ftp://mirror"), "is not an http:// or https://"},
      {"URL without host", Replace("http://mirror.example.com/setup.exe", "http:///x"), "is not an http"},
      {"URL with a quote", Replace("mirror.example", "mir\\\"ror.example"), "is not an http"},
      {"misspelt option", Replace("--url", "--ur"), "unknown option --ur"},
      {"missing out", Replace(" --out " + Dir + "/ZeRunUpdate.inf", ""), "--out is missing"},
      {"expiry of 0 days", Replace("--expires-in 30", "--expires-in 0"), "is not a number of days from 1"},
      {"rollout of 101", Base + " --rollout 101", "--rollout '101' is not a number of percent from 0 to 100"},
      {"no command", "", "usage:"},
  };
  for (const Case& C : Cases) {
    TResult Result = Publish(C.Args);
    EXPECT_NE(Result.Exit, 0) << C.Name;
    EXPECT_NE(Result.Output.find(C.Says), std::string::npos) << C.Name << ": " << Result.Output;
    EXPECT_FALSE(std::ifstream(Dir + "/ZeRunUpdate.inf").good()) << C.Name;
  }
}

// A document altered after signing, or not signed, or an installer other
// than the one it names: verify refuses each.
TEST_F(PublishCommand, VerifyRefusesWhatWasAltered) {
  ASSERT_EQ(Publish(MakeArgs()).Exit, 0);
  std::string Good = ReadAll(Dir + "/ZeRunUpdate.inf");
  std::string OtherVersion = Good;
  OtherVersion.replace(OtherVersion.find("65538"), 5, "65539");
  std::string Unsigned = Good.substr(0, Good.rfind("//ed25519:"));
  std::string BadSignature = Good;
  std::string Secret;
  ASSERT_TRUE(ReadKeyText(ReadAll(Key), 64, Secret));
  std::string Signed = Good.substr(0, Good.rfind("//ed25519:"));
  std::string NoSha = SignDocument(Signed.erase(Signed.find("  \"Sha256\""), 81), {Secret});
  ASSERT_EQ(NoSha.find("Sha256"), std::string::npos);
  ASSERT_NE(NoSha.find("\",\r\n  \"Size\""), std::string::npos) << NoSha;
  // Signed, but refused by a build with a key.
  std::string Twice = Good.substr(0, Good.rfind("//ed25519:")), Expired = Twice;
  Twice = SignDocument(Twice.insert(Twice.find("  \"ver\""), "  \"ver\": 65540,\r\n"), {Secret});
  Expired = SignDocument(Expired.replace(Expired.find("\"Expires\": \"") + 12, 4, "2020"), {Secret});
  std::string Ahead = Good.substr(0, Good.rfind("//ed25519:")), Wide = Ahead;
  Ahead = SignDocument(Ahead.replace(Ahead.find("\"Published\": \"") + 14, 4, "2999"), {Secret});
  Wide = SignDocument(Wide.insert(Wide.find("  \"ver\""), "  \"Rollout\": 101,\r\n"), {Secret});
  char& Inside = BadSignature[BadSignature.size() - 10];
  Inside = Inside == 'A' ? 'B' : 'A';
  struct Case {
    const char* Name;
    std::string Document;
    std::string Extra;
    const char* Says;
  };
  WriteAll(Dir + "/other.exe", std::string("MZ\x90\0installer bytez", 20));
  const std::vector<Case> Cases = {
      {"version changed", OtherVersion, "", "does not verify"},
      {"no signature line", Unsigned, "", "no signature line"},
      {"signature changed", BadSignature, "", "does not verify"},
      {"signed without Sha256", NoSha, "", "no \"Sha256\""},
      {"a member twice", Twice, "", "not one JSON object alone"},
      {"expired", Expired, "", "has expired"},
      {"published far ahead", Ahead, "", "more than a day ahead"},
      {"rollout of 101", Wide, "", "no whole percentage"},
      {"other installer", Good, " --installer " + Dir + "/other.exe", "another SHA-256"},
      {"longer installer", Good, " --installer " + Dir + "/notes.txt", "the document says 20"},
  };
  for (const Case& C : Cases) {
    WriteAll(Dir + "/ZeRunUpdate.inf", C.Document);
    TResult Result = Publish(VerifyArgs(Pub, C.Extra));
    EXPECT_EQ(Result.Exit, 1) << C.Name;
    EXPECT_NE(Result.Output.find(C.Says), std::string::npos) << C.Name << ": " << Result.Output;
  }
}

// The release preset configured as a vendor would: without a key and an
// https URL only when told, and never with a key that cannot verify.
TEST(ReleaseConfigure, RefusesAnOpenReleaseAndKeysThatCannotVerify) {
  const std::string Vendor = "f4nXLml/JbwCfNbZikYyBOAqpXmll2jkrf6Yv4+gbGg=", Key = " -DZERUN_PUBLIC_KEY=";
  const std::string Https = " -DZERUN_UPDATE_URL=https://update.example.com/App/ZeRunUpdate.inf";
  const std::pair<std::string, const char*> Cases[] = {  // options, what it says (nullptr: configures)
      {Https, "ZERUN_PUBLIC_KEY is empty"},
      {Key + Vendor, "ZERUN_UPDATE_URL is not https://"},
      {Https + Key + "$(cat " TEST_KEYS "/test.key)", "is not the base64 of a 32-byte"},
      {" -DZERUN_ALLOW_UNSIGNED=ON" + Key + "$(cat " TEST_KEYS "/test.pub)", "keys/test.pub"},
      {Https + " '" + Key.substr(1) + Vendor + ",$(cat " TEST_KEYS "/second.pub)'", "keys/second.pub"},
      {Https + " '" + Key.substr(1) + Vendor + ", " + Vendor + "'", nullptr},
      {" -DZERUN_ALLOW_UNSIGNED=ON", nullptr},
  };
  char Build[] = "/tmp/zr-configure-XXXXXX";
  ASSERT_NE(mkdtemp(Build), nullptr);
  for (const auto& C : Cases) {
    TResult Result = RunCommand(std::string("cd ") + SOURCE_DIR + " && " + CMAKE_COMMAND + " --preset win32 -B " +
                                Build + "/" + std::to_string(&C - Cases) + C.first);
    std::string Said = std::regex_replace(Result.Output, std::regex("\\s+"), " ");  // CMake wraps its messages
    EXPECT_EQ(Result.Exit == 0, !C.second) << C.first << "\n" << Result.Output;
    EXPECT_TRUE(!C.second || Said.find(C.second) != std::string::npos) << Result.Output;
  }
  std::system((std::string("rm -rf ") + Build).c_str());
}

}  // namespace
