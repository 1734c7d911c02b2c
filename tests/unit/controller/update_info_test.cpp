// Reading the update-information document and showing versions.
#include <gtest/gtest.h>

#include "app/uCallBackHelper.h"

#include <objbase.h>
#include <sodium.h>

#include "app/uFunction.h"
#include "net/uFunction.h"
#include "net/uSignature.h"
#include "net/uVerify.h"

namespace {

TEST(ParseUpdateInfo, StandardAndRelaxedSpellingGiveTheSameInformation) {
  const std::string Standard =
      "{\"Urls\":[\"http://h/a/ZeRunSetup.exe\",\"http://h/b.exe\"],\"ver\":65538,\"Msg\":\"1.2版本特性\\r\\n    1 更快\"}";
  const std::string Signature = SignatureLine(std::string(64, '\xfe'));  // a comment to the reader
  const std::string Docs[] = {
      Standard,
      "{ Urls: ['http://h/a/ZeRunSetup.exe', 'http://h/b.exe'], ver: 65538, // notes\n Msg: '1.2版本特性\\r\\n    1 更快' }",
      Standard + "\r\n" + Signature + "\r\n",
      Standard + "\n" + Signature,
  };
  for (const std::string& Doc : Docs) {
    SCOPED_TRACE(Doc);
    TUpdateInfo Info;
    ASSERT_TRUE(ParseUpdateInfo(Doc, Info));
    EXPECT_EQ(Info.Urls, (std::vector<std::string>{"http://h/a/ZeRunSetup.exe", "http://h/b.exe"}));
    EXPECT_EQ(Info.Version, 65538u);
    EXPECT_EQ(Info.Msg, "1.2版本特性\r\n    1 更快");
  }
}

TEST(ParseUpdateInfo, MissingPartsAndWrongKinds) {
  struct Case {
    const char* Doc;
    bool Accepted;
    size_t Urls;
    uint32_t Version;
    const char* Msg;
  } Cases[] = {
      {"{\"Urls\":[],\"ver\":1}", true, 0, 1, ""},
      {"{\"Urls\":[\"u\"]}", true, 1, 0, ""},
      {"{\"Urls\":[\"u\"],\"ver\":4294967298}", true, 1, 2, ""},  // only the low 32 bits
      {"{\"ver\":65538,\"Msg\":\"x\"}", false, 0, 0, ""},
      {"{\"Urls\":\"http://h/a.exe\",\"ver\":65538}", false, 0, 0, ""},
      {"{\"Urls\":{\"a\":1}}", false, 0, 0, ""},
      {"<html>not json</html>", false, 0, 0, ""},
      {"", false, 0, 0, ""},
      {"{\"Urls\":[\"u\"", false, 0, 0, ""},
      // a rollout that is no whole percentage must not offer the release to all
      {"{\"Urls\":[\"u\"],\"Rollout\":101}", false, 0, 0, ""},
      {"{\"Urls\":[\"u\"],\"Rollout\":\"30\"}", false, 0, 0, ""},
      {"{\"Urls\":[\"u\"],\"Rollout\":30.5}", false, 0, 0, ""},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Doc);
    TUpdateInfo Info;
    ASSERT_EQ(ParseUpdateInfo(C.Doc, Info), C.Accepted);
    if (!C.Accepted) continue;
    EXPECT_EQ(Info.Urls.size(), C.Urls);
    EXPECT_EQ(Info.Version, C.Version);
    EXPECT_EQ(Info.Msg, C.Msg);
  }
}

// The installer's digest and size are optional; a member of the wrong kind
// or value must not read as absent, which would switch its check off.
TEST(ParseUpdateInfo, DigestAndSizeAreReadAndMalformedOnesStayMalformed) {
  const std::string Hex = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";
  const struct {
    std::string Members;
    bool DigestGiven;  // a digest the task must check
    bool DigestReads;  // ... that is 64 hex digits
    int64_t Size;
  } Cases[] = {
      {"", false, false, 0},
      {",\"Sha256\":\"" + Hex + "\",\"Size\":300000000", true, true, 300000000},
      {",Sha256:'" + Hex + "', Size: 1", true, true, 1},
      {",\"Sha256\":\"\"", true, false, 0},
      {",\"Sha256\":123", true, false, 0},
      {",\"Sha256\":null", true, false, 0},
      {",\"Sha256\":[\"" + Hex + "\"]", true, false, 0},
      {",\"Size\":0", false, false, -1},
      {",\"Size\":-5", false, false, -1},
      {",\"Size\":1.5", false, false, -1},
      {",\"Size\":\"12\"", false, false, -1},
  };
  for (const auto& Case : Cases) {
    SCOPED_TRACE(Case.Members);
    TUpdateInfo Info;
    ASSERT_TRUE(ParseUpdateInfo("{\"Urls\":[\"u\"]" + Case.Members + "}", Info));
    EXPECT_EQ(!Info.Sha256.empty(), Case.DigestGiven) << Info.Sha256;
    TSha256 Digest;
    EXPECT_EQ(ParseSha256(Info.Sha256, Digest), Case.DigestReads) << Info.Sha256;
    EXPECT_EQ(Info.Size, Case.Size);
  }
}

// With keys built in, only a signed, strict document in date naming its
// installer's digest acts; without keys, any document does, as before.
TEST(ReadActingDocument, WithKeysOnlyASignedStrictDocumentInDateWithADigest) {
  std::string Public(crypto_sign_PUBLICKEYBYTES, '\0'), Secret(crypto_sign_SECRETKEYBYTES, '\0');
  std::string OtherPublic = Public, OtherSecret = Secret;
  ASSERT_GE(sodium_init(), 0);
  crypto_sign_keypair(reinterpret_cast<unsigned char*>(&Public[0]), reinterpret_cast<unsigned char*>(&Secret[0]));
  crypto_sign_keypair(reinterpret_cast<unsigned char*>(&OtherPublic[0]),
                      reinterpret_cast<unsigned char*>(&OtherSecret[0]));
  const std::string Key = Base64Encode(Public);
  const std::string Hex = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";
  auto Doc = [&](const std::string& Members) {
    return "{\"Urls\":[\"u\"],\"ver\":65538,\"Sha256\":\"" + Hex + "\"" + Members + "}\r\n";
  };
  const std::string NoDigest = "{\"Urls\":[\"u\"],\"ver\":65538}\r\n";
  const std::string BadDigest = "{\"Urls\":[\"u\"],\"ver\":65538,\"Sha256\":\"" + Hex.substr(1) + "\"}\r\n";
  auto Signed = [](const std::string& Body, const std::string& With) {
    return Body + SignatureLine(SignBytes(Body, With)) + "\r\n";
  };
  // Signed, with the "ver" member spelled Member.
  auto Ver = [&](const std::string& Member) {
    std::string Body = Doc("");
    return Signed(Body.replace(Body.find(",\"ver\":65538"), 12, Member), Secret);
  };
  const struct {
    const char* Name;
    std::string Document, Key;
    bool Acts;
    std::string Newest = "";  // the newest "Published" accepted earlier
  } Cases[] = {
      {"no key, unsigned", NoDigest, "", true},
      {"no key, signed by another", Signed(Doc(""), OtherSecret), "", true},
      {"signed with a digest", Signed(Doc(""), Secret), Key, true},
      {"signed without a digest", Signed(NoDigest, Secret), Key, false},
      {"signed with a malformed digest", Signed(BadDigest, Secret), Key, false},
      {"unsigned", Doc(""), Key, false},
      {"signed by another key", Signed(Doc(""), OtherSecret), Key, false},
      {"in date", Signed(Doc(",\"Expires\":\"2026-12-09T10:00:01Z\""), Secret), Key, true},
      {"expired", Signed(Doc(",\"Expires\":\"2026-12-09T10:00:00Z\""), Secret), Key, false},
      {"an expiry without its Z", Signed(Doc(",\"Expires\":\"2030-01-01T00:00:00\""), Secret), Key, false},
      {"a comment after the value", Signed(Doc("") + "// made by hand\r\n", Secret), Key, true},
      {"a member twice, nested", Signed(Doc(",\"x\":{\"a\":1,\"a\":2}"), Secret), Key, false},
      {"the highest version", Ver(",\"ver\":4294967295"), Key, true},
      {"a version past 32 bits", Ver(",\"ver\":4294967296"), Key, false},
      {"a version with a point", Ver(",\"ver\":65538.0"), Key, false},
      {"a version as text", Ver(",\"ver\":\"65538\""), Key, false},
      {"no version", Ver(""), Key, false},
      {"a zero byte", Signed(Doc("") + std::string(1, '\0') + "{}\r\n", Secret), Key, false},
      {"published before it", Signed(Doc(",\"Published\":\"2026-11-30T00:00:00Z\",\"AllowDowngrade\":true"), Secret),
       Key, false, "2026-12-01T00:00:00Z"},
      {"no key, published before", Doc(",\"Published\":\"2020-01-01T00:00:00Z\""), "", true, "2026-12-01T00:00:00Z"},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.Name);
    TUpdateInfo Info;
    EXPECT_EQ(ReadActingDocument(C.Document, C.Key, "2026-12-09T10:00:00Z", C.Newest, Info), C.Acts);
  }
}

TEST(VersionToText, MajorDotMinor) {
  EXPECT_EQ(TCallBackHelper::VersionToText(0x00010001), "1.1");
  EXPECT_EQ(TCallBackHelper::VersionToText(0x0002000A), "2.10");
  EXPECT_EQ(TCallBackHelper::VersionToText(0), "0.0");
  EXPECT_EQ(TCallBackHelper::VersionToText(0xFFFFFFFF), "65535.65535");
}

}  // namespace

namespace {

// The fetch leaves the information in the inbox and posts; when the window
// is gone before the message is handled, nothing holds the information but
// the inbox, which goes with the last of its holders.
TEST(FetchUpdateInfo, InformationWhoseMessageIsNeverHandledIsFreed) {
  CoInitialize(nullptr);
  // Nothing listens on port 1: the copy kept by an earlier run is read.
  std::string Cached = GetUserDataDir() + "Down\\inbox.inf";
  ASSERT_TRUE(ForceFolder(FolderOf(Cached)));
  ASSERT_TRUE(SaveFileSafely(Cached, "{\"Urls\":[\"http://h/a.exe\"],\"ver\":65538}"));
  for (bool Handled : {true, false}) {
    SCOPED_TRACE(Handled ? "message handled" : "window gone first");
    HWND Wnd = CreateWindowA("STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    ASSERT_NE(Wnd, nullptr);
    auto Inbox = std::make_shared<TUpdateInbox>();
    std::weak_ptr<TUpdateInbox> Watch = Inbox;
    auto* Request = new TCheckRequest{"http://127.0.0.1:1/App/inbox.inf", Inbox};
    EXPECT_EQ(TCallBackHelper::FetchUpdateInfo(reinterpret_cast<intptr_t>(Request), reinterpret_cast<intptr_t>(Wnd)), 1);
    MSG M;
    EXPECT_TRUE(PeekMessageA(&M, Wnd, WM_UPDATEINFO, WM_UPDATEINFO, PM_NOREMOVE));
    ASSERT_TRUE(Inbox->Info);
    EXPECT_EQ(Inbox->Info->Urls, std::vector<std::string>{"http://h/a.exe"});
    if (Handled) std::unique_ptr<TUpdateInfo> Taken = std::move(Inbox->Info);
    DestroyWindow(Wnd);
    Inbox.reset();
    EXPECT_TRUE(Watch.expired()) << "the fetch still holds the inbox";
  }
  DeleteFileA(Cached.c_str());
  CoUninitialize();
}

}  // namespace
