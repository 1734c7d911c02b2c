// The conditional fetch into the per-user cache folder, against the loopback
// test server through WinINet.
#include "net/uFunction.h"

#include <gtest/gtest.h>

#include "app/uFunction.h"
#include "framework/Classes.h"
#include "tests/support/TestSupport.h"

namespace {

std::string CacheDir() { return GetUserDataDir() + "Down\\"; }
std::string ETagFile() { return CacheDir() + "ETagFile.dat"; }
std::string StoredTag(const std::string& LocalPath) {
  return ReadIniString(ETagFile(), "JSON_ETag", LocalPath, "<none>");
}

// Requests the server saw for Path, oldest first.
std::vector<std::string> RequestsFor(const std::string& Path) {
  std::vector<std::string> Found;
  for (const std::string& Entry : zrtest::ServerLog())
    if (zrtest::LogField(Entry, "path") == Path) Found.push_back(Entry);
  return Found;
}

void SetOldWriteTime(const std::string& Path) {
  HANDLE File = CreateFileA(Path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  FILETIME Old{0, 0x01C00000};  // the 1990s
  SetFileTime(File, nullptr, nullptr, &Old);
  CloseHandle(File);
}

// Seconds since the file was last written.
double AgeSeconds(const std::string& Path) {
  WIN32_FILE_ATTRIBUTE_DATA Data;
  if (!GetFileAttributesExA(Path.c_str(), GetFileExInfoStandard, &Data)) return -1;
  FILETIME Now;
  GetSystemTimeAsFileTime(&Now);
  ULARGE_INTEGER A{{Data.ftLastWriteTime.dwLowDateTime, Data.ftLastWriteTime.dwHighDateTime}};
  ULARGE_INTEGER B{{Now.dwLowDateTime, Now.dwHighDateTime}};
  return (double(B.QuadPart) - double(A.QuadPart)) / 1e7;
}

class FetchTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(zrtest::ServerReset()); }
  // Serves Body at /doc/<Name> and returns its URL; the local copy is gone.
  std::string Serve(const std::string& Name, const std::string& Body) {
    EXPECT_TRUE(zrtest::ServerPut("/doc/" + Name, Body));
    // Earlier runs in the same prefix leave their copy and tag behind.
    DeleteFileA((CacheDir() + Name).c_str());
    WritePrivateProfileStringA("JSON_ETag", (CacheDir() + Name).c_str(), nullptr, ETagFile().c_str());
    return zrtest::ServerUrl("/doc/" + Name);
  }
};

TEST(UrlFileNameTest, TakesTheLastPieceWithoutQuery) {
  const struct {
    const char* Url;
    const char* Name;
  } Cases[] = {
      {"http://h/App/ZeRunUpdate.inf", "ZeRunUpdate.inf"},
      {"http://h/dl/setup.exe?t=1", "setup.exe"},
      {"plain", "plain"},
      {"http://h/dir/", ""},
      {"C:\\x\\y.exe", "y.exe"},
      {"http://h:8080", "8080"},
      {"http://h/a?b/c", "c"},
  };
  for (const auto& Case : Cases) EXPECT_EQ(UrlFileName(Case.Url), Case.Name) << Case.Url;
}

TEST(FileHelpersTest, ReadFileTextKeepsEveryByteAndIsEmptyWhenMissing) {
  std::string Dir = zrtest::FreshDir("read_file_text");
  std::string Bytes("a\0b\r\n\xB2\xE2", 7);
  ASSERT_TRUE(zrtest::WriteWholeFile(Dir + "f.bin", Bytes));
  EXPECT_EQ(ReadFileText(Dir + "f.bin"), Bytes);
  EXPECT_EQ(ReadFileText(Dir + "missing.bin"), "");
}

TEST(FileHelpersTest, IniStringsStripOnePairOfQuotesAndFallBackToTheDefault) {
  std::string Dir = zrtest::FreshDir("ini_strings");
  std::string Ini = Dir + "t.dat";
  EXPECT_EQ(ReadIniString(Ini, "S", "k", "dflt"), "dflt");
  EXPECT_FALSE(zrtest::FileExists(Ini)) << "reading created the file";
  ASSERT_TRUE(WriteIniString(Ini, "S", "strong", "\"abc\""));
  ASSERT_TRUE(WriteIniString(Ini, "S", "weak", "W/\"abc\""));
  ASSERT_TRUE(WriteIniString(Ini, "S", "single", "'q'"));
  EXPECT_EQ(ReadIniString(Ini, "s", "STRONG", ""), "abc");
  EXPECT_EQ(ReadIniString(Ini, "S", "weak", ""), "W/\"abc\"");
  EXPECT_EQ(ReadIniString(Ini, "S", "single", ""), "q");
  EXPECT_EQ(ReadIniString(Ini, "S", "absent", "dflt"), "dflt");
  EXPECT_FALSE(WriteIniString(Dir + "no\\such\\folder\\t.dat", "S", "k", "v"));
}

TEST_F(FetchTest, FirstRunIsUnconditionalAndStoresCopyAndTag) {
  std::string Url = Serve("first.inf", "{\"ver\":1}");
  std::string Path = GetUrlFile(Url);
  EXPECT_EQ(Path, CacheDir() + "first.inf");
  EXPECT_EQ(ReadFileText(Path), "{\"ver\":1}");
  auto Requests = RequestsFor("/doc/first.inf");
  ASSERT_EQ(Requests.size(), 1u);
  EXPECT_EQ(zrtest::LogField(Requests[0], "headers.If-None-Match"), "");
  std::string Tag = StoredTag(Path);
  EXPECT_GT(Tag.size(), 2u);
  EXPECT_EQ(Tag.find('"'), std::string::npos) << "reading should strip the quotes: " << Tag;
}

TEST_F(FetchTest, SecondRunSendsTheTagWithQuotesAndTouchesTheCopyOn304) {
  std::string Url = Serve("second.inf", "doc body");
  std::string Path = GetUrlFile(Url);
  ASSERT_FALSE(Path.empty());
  SetOldWriteTime(Path);
  ASSERT_GT(AgeSeconds(Path), 3600);
  EXPECT_EQ(GetUrlFile(Url), Path);
  auto Requests = RequestsFor("/doc/second.inf");
  ASSERT_EQ(Requests.size(), 2u);
  EXPECT_EQ(zrtest::LogField(Requests[1], "headers.If-None-Match"), "\"" + StoredTag(Path) + "\"");
  EXPECT_NE(Requests[1].find("\"status\": 304"), std::string::npos) << Requests[1];
  EXPECT_EQ(ReadFileText(Path), "doc body");
  EXPECT_LT(AgeSeconds(Path), 120);
}

TEST_F(FetchTest, ChangedDocumentReplacesCopyAndTag) {
  std::string Url = Serve("changed.inf", "old");
  std::string Path = GetUrlFile(Url);
  std::string OldTag = StoredTag(Path);
  ASSERT_TRUE(zrtest::ServerPut("/doc/changed.inf", "new text"));
  EXPECT_EQ(GetUrlFile(Url), Path);
  EXPECT_EQ(ReadFileText(Path), "new text");
  EXPECT_NE(StoredTag(Path), OldTag);
}

TEST_F(FetchTest, RefusedBodyKeepsTheEarlierCopyAndItsTag) {
  std::string Url = Serve("refused.inf", "signed");
  std::string Path = GetUrlFile(Url);
  std::string Tag = StoredTag(Path);
  ASSERT_TRUE(zrtest::ServerPut("/doc/refused.inf", "forged"));
  auto Refuse = [](const std::string& Body) { return Body != "forged"; };
  EXPECT_EQ(GetUrlFile(Url, "", Refuse), Path);
  EXPECT_EQ(ReadFileText(Path), "signed");
  EXPECT_EQ(StoredTag(Path), Tag);
  // The next fetch still asks with the good copy's tag and gets the body.
  EXPECT_EQ(GetUrlFile(Url), Path);
  EXPECT_EQ(ReadFileText(Path), "forged");
}

// A copy that cannot be replaced keeps its own tag, so the next run asks for
// the new document again instead of drawing 304s for a body never saved.
// (The read-only attribute does not stop root under Wine; a reader that
// denies writers does.)
TEST_F(FetchTest, CopyThatCannotBeReplacedKeepsItsOwnTag) {
  const struct {
    const char* Name;
    DWORD Share;
  } Holders[] = {{"reader sharing reads", FILE_SHARE_READ}, {"exclusive reader", 0}};
  for (const auto& Holder : Holders) {
    SCOPED_TRACE(Holder.Name);
    ASSERT_TRUE(zrtest::ServerReset());
    std::string Url = Serve("locked.inf", "old body");
    std::string Path = GetUrlFile(Url);
    ASSERT_EQ(ReadFileText(Path), "old body");
    std::string OldTag = StoredTag(Path);
    ASSERT_NE(OldTag, "<none>");

    HANDLE Held = CreateFileA(Path.c_str(), GENERIC_READ, Holder.Share, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(Held, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(zrtest::ServerPut("/doc/locked.inf", "new body"));
    EXPECT_EQ(GetUrlFile(Url), Path);
    CloseHandle(Held);
    EXPECT_EQ(ReadFileText(Path), "old body");
    EXPECT_EQ(StoredTag(Path), OldTag);

    EXPECT_EQ(GetUrlFile(Url), Path);
    auto Requests = RequestsFor("/doc/locked.inf");
    ASSERT_EQ(Requests.size(), 3u);
    for (size_t I : {1u, 2u}) {
      EXPECT_EQ(zrtest::LogField(Requests[I], "headers.If-None-Match"), "\"" + OldTag + "\"") << I;
      EXPECT_NE(Requests[I].find("\"status\": 200"), std::string::npos) << Requests[I];
    }
    EXPECT_EQ(ReadFileText(Path), "new body");
    EXPECT_NE(StoredTag(Path), OldTag);
  }
}

// A copy cut short by a full disk never takes the place of the good one, and
// the good one keeps its tag. (The test fixture mounts a 16 KiB file system
// under net_small_disk, whose "data" file the download test fills: emptied
// here, as that test expects to find it.)
TEST_F(FetchTest, CopyThatDoesNotFitLeavesTheOldCopyAndItsTag) {
  std::string Small = zrtest::ExeDir() + "net_small_disk\\";
  if (!zrtest::FileExists(Small + "link\\setup.exe.tsk")) GTEST_SKIP() << "no small file system mounted";
  ASSERT_TRUE(zrtest::WriteWholeFile(Small + "mnt\\data", ""));
  std::string Local = Small + "mnt\\full.inf";
  std::string Url = Serve("full.inf", "old body");
  ASSERT_EQ(GetUrlFile(Url, Local), Local);
  std::string OldTag = StoredTag(Local);
  ASSERT_NE(OldTag, "<none>");
  ASSERT_TRUE(zrtest::ServerPut("/doc/full.inf", std::string(64 << 10, 'n')));
  EXPECT_EQ(GetUrlFile(Url, Local), Local);
  EXPECT_EQ(ReadFileText(Local), "old body");
  EXPECT_EQ(StoredTag(Local), OldTag);
  EXPECT_FALSE(zrtest::FileExists(Local + ".tmp"));
  DeleteFileA(Local.c_str());
}

// Callers other than GetUrlFile rely on the stream fetch storing the tag
// itself, under the key and in the cache file they name.
TEST_F(FetchTest, StreamFetchStoresTheTagUnderTheGivenKey) {
  std::string Url = Serve("stream.inf", "streamed");
  std::string Ini = zrtest::FreshDir("fetch_stream") + "tags.dat";
  std::optional<std::string> Body = GetUrlStream(Url, std::string("0"), "the key", Ini);
  ASSERT_TRUE(Body.has_value());
  EXPECT_EQ(*Body, "streamed");
  std::string Tag = ReadIniString(Ini, "JSON_ETag", "THE KEY", "");
  EXPECT_GT(Tag.size(), 2u);
  EXPECT_FALSE(GetUrlStream(Url, {}, "the key", Ini).has_value()) << "the stored tag drew no 304";
  auto Requests = RequestsFor("/doc/stream.inf");
  ASSERT_EQ(Requests.size(), 2u);
  EXPECT_EQ(zrtest::LogField(Requests[1], "headers.If-None-Match"), "\"" + Tag + "\"");
}

TEST_F(FetchTest, WeakAndShortTagsAreSentAsStored) {
  const struct {
    const char* Name;
    const char* Fault;
    const char* Sent;
  } Cases[] = {
      {"weak.inf", R"({"etag": "W/\"weak1\""})", "W/\"weak1\""},
      {"short2.inf", R"({"etag": "\"ab\""})", "ab"},
      {"short1.inf", R"({"etag": "\"a\""})", "a"},
      {"three.inf", R"({"etag": "\"abc\""})", "\"abc\""},
  };
  for (const auto& Case : Cases) {
    std::string Url = Serve(Case.Name, "x");
    std::string Path = "/doc/" + std::string(Case.Name);
    ASSERT_TRUE(zrtest::ServerFault(Path, Case.Fault));
    ASSERT_FALSE(GetUrlFile(Url).empty()) << Case.Name;
    GetUrlFile(Url);
    auto Requests = RequestsFor(Path);
    ASSERT_EQ(Requests.size(), 2u) << Case.Name;
    EXPECT_EQ(zrtest::LogField(Requests[1], "headers.If-None-Match"), Case.Sent) << Case.Name;
  }
}

// Over TLS the document comes only with a certificate that verifies; any
// other ends the fetch with no answer and no request, as no server would.
TEST_F(FetchTest, OverTlsOnlyAVerifiedCertificateBringsTheBody) {
  const struct {
    const char* Certificate;
    bool Answered;
  } Cases[] = {{"good", true}, {"other_host", false}, {"untrusted", false}, {"expired", false}};
  for (const auto& Case : Cases) {
    SCOPED_TRACE(Case.Certificate);
    ASSERT_TRUE(zrtest::ServerReset());
    std::string Name = std::string("tls_") + Case.Certificate + ".inf";
    Serve(Name, "over tls");
    ASSERT_TRUE(zrtest::ServerFault("/_tls", std::string(R"({"certificate": ")") + Case.Certificate + "\"}"));
    std::string Url = "https://localhost:" + std::to_string(zrtest::ServerPort() + 363) + "/doc/" + Name;
    std::optional<std::string> Body = GetUrlStream(Url, std::string("0"), Name, ETagFile());
    EXPECT_EQ(Body.value_or("<none>"), Case.Answered ? "over tls" : "<none>");
    auto Requests = RequestsFor("/doc/" + Name);
    EXPECT_EQ(Requests.size(), Case.Answered ? 1u : 0u);
    for (const std::string& Request : Requests) EXPECT_EQ(zrtest::LogField(Request, "listener"), "tls");
    auto Handshakes = RequestsFor("/_tls");
    ASSERT_FALSE(Handshakes.empty()) << "the server was never reached";
    EXPECT_EQ(zrtest::LogField(Handshakes[0], "certificate"), Case.Certificate);
  }
}

TEST_F(FetchTest, DeletedCopyWithKeptTagFetchesUnconditionally) {
  std::string Url = Serve("deleted.inf", "body");
  std::string Path = GetUrlFile(Url);
  ASSERT_NE(StoredTag(Path), "");
  ASSERT_TRUE(DeleteFileA(Path.c_str()));
  EXPECT_EQ(GetUrlFile(Url), Path);
  auto Requests = RequestsFor("/doc/deleted.inf");
  ASSERT_EQ(Requests.size(), 2u);
  EXPECT_EQ(zrtest::LogField(Requests[1], "headers.If-None-Match"), "");
  EXPECT_EQ(ReadFileText(Path), "body");
}

TEST_F(FetchTest, OfflineKeepsAndTouchesAnEarlierCopy) {
  std::string Path = CacheDir() + "offline.inf";
  ASSERT_TRUE(ForceFolder(CacheDir()));
  ASSERT_TRUE(zrtest::WriteWholeFile(Path, "kept"));
  SetOldWriteTime(Path);
  // Nothing listens on port 1 of the loopback address.
  EXPECT_EQ(GetUrlFile("http://127.0.0.1:1/doc/offline.inf"), Path);
  EXPECT_EQ(ReadFileText(Path), "kept");
  EXPECT_LT(AgeSeconds(Path), 120);
  DeleteFileA((CacheDir() + "offline_none.inf").c_str());
  EXPECT_EQ(GetUrlFile("http://127.0.0.1:1/doc/offline_none.inf"), "");
}

TEST_F(FetchTest, ErrorStatusKeepsCopyAndTag) {
  std::string Url = Serve("error.inf", "good");
  std::string Path = GetUrlFile(Url);
  std::string Tag = StoredTag(Path);
  ASSERT_TRUE(zrtest::ServerFault("/doc/error.inf", "{\"status\": 500}"));
  EXPECT_EQ(GetUrlFile(Url), Path);
  EXPECT_EQ(ReadFileText(Path), "good");
  EXPECT_EQ(StoredTag(Path), Tag);
}

// A document past 4 MiB is no answer (the earlier copy stays); 4 MiB is taken.
// One sent without its length is dropped as it arrives: the server cannot
// hand over all of it.
TEST_F(FetchTest, DocumentPastFourMebibytesIsNoAnswer) {
  std::string Url = Serve("big.inf", "good");
  std::string Path = GetUrlFile(Url);
  const struct {
    size_t Size;
    bool Announced;
  } Cases[] = {{(4 << 20) + 1, true}, {32 << 20, false}, {4 << 20, false}};
  for (const auto& Case : Cases) {
    ASSERT_TRUE(zrtest::ServerReset());
    ASSERT_TRUE(zrtest::ServerPut("/doc/big.inf", std::string(Case.Size, 'n')));
    if (!Case.Announced) {
      ASSERT_TRUE(zrtest::ServerFault("/doc/big.inf", R"({"no_content_length": true})"));
    }
    EXPECT_EQ(GetUrlFile(Url), Path);
    EXPECT_EQ(ReadFileText(Path).size(), Case.Size > (4 << 20) ? 4u : Case.Size) << Case.Size;
    auto Requests = RequestsFor("/doc/big.inf");
    ASSERT_EQ(Requests.size(), 1u);
    if (Case.Size > (8 << 20)) {
      EXPECT_NE(Requests[0].find("\"status\": 0,"), std::string::npos) << Requests[0];
    }
  }
  EXPECT_EQ(ReadFileText(Path, (4 << 20) - 1), "") << "a kept copy past the limit was read";
}

// However slowly an answer comes, the fetch gives up (here after 1.5 s) and
// the earlier copy stays.
TEST_F(FetchTest, TrickledDocumentEndsTheFetch) {
  SetEnvironmentVariableA("ZR_TEST_FETCH_LIMIT_MS", "1500");
  for (const char* Fault :
       {R"({"rate": 2000})", R"({"stall_at": 10, "stall_body": 20})", R"({"stall_headers": 20})"}) {
    std::string Url = Serve("slow.inf", "kept");
    std::string Path = GetUrlFile(Url);
    ASSERT_TRUE(zrtest::ServerPut("/doc/slow.inf", std::string(64 << 10, 's')));
    ASSERT_TRUE(zrtest::ServerFault("/doc/slow.inf", Fault));
    EXPECT_EQ(GetUrlFile(Url), Path) << Fault;
    EXPECT_EQ(ReadFileText(Path), "kept") << Fault;
  }
  SetEnvironmentVariableA("ZR_TEST_FETCH_LIMIT_MS", nullptr);
}

// The caller hears the status and Retry-After of whatever answer came.
TEST_F(FetchTest, AnswerReportsStatusAndRetryAfter) {
  std::string Url = Serve("answer.inf", "body");
  const struct {
    const char* Fault;
    int Status;
    const char* RetryAfter;
  } Cases[] = {{"", 200, ""}, {R"({"status": 503, "retry_after": "120"})", 503, "120"}, {R"({"status": 404})", 404, ""}};
  for (const auto& Case : Cases) {
    ASSERT_TRUE(zrtest::ServerReset());
    if (*Case.Fault) {
      ASSERT_TRUE(zrtest::ServerFault("/doc/answer.inf", Case.Fault));
    }
    TFetchAnswer Answer{-1, "stale"};
    GetUrlFile(Url, "", nullptr, &Answer);
    EXPECT_EQ(Answer.Status, Case.Status) << Case.Fault;
    EXPECT_EQ(Answer.RetryAfter, Case.RetryAfter) << Case.Fault;
  }
  TFetchAnswer Offline{-1, "stale"};
  EXPECT_FALSE(GetUrlStream("http://127.0.0.1:1/doc/answer.inf", std::string("0"), "", "", &Offline));
  EXPECT_EQ(Offline.Status, 0);
}

TEST_F(FetchTest, EmptyBodyGivesAnEmptyCopy) {
  std::string Url = Serve("empty.inf", "");
  ASSERT_TRUE(ForceFolder(CacheDir()));
  ASSERT_TRUE(zrtest::WriteWholeFile(CacheDir() + "empty.inf", "old contents"));
  std::string Path = GetUrlFile(Url);
  EXPECT_EQ(Path, CacheDir() + "empty.inf");
  EXPECT_TRUE(zrtest::FileExists(Path));
  EXPECT_EQ(ReadFileText(Path), "");
}

TEST_F(FetchTest, RedirectIsFollowed) {
  Serve("target.inf", "the target");
  std::string Url = Serve("moved.inf", "not this");
  ASSERT_TRUE(zrtest::ServerFault("/doc/moved.inf", "{\"redirect\": \"/doc/target.inf\"}"));
  std::string Path = GetUrlFile(Url);
  EXPECT_EQ(Path, CacheDir() + "moved.inf");
  EXPECT_EQ(ReadFileText(Path), "the target");
  // Never from https:// down to http://.
  ASSERT_TRUE(zrtest::ServerReset());
  ASSERT_TRUE(zrtest::ServerFault("/doc/moved.inf", "{\"redirect\": \"" + zrtest::ServerUrl("/doc/target.inf") + "\"}"));
  std::string Tls = "https://localhost:" + std::to_string(zrtest::ServerPort() + 363) + "/doc/moved.inf";
  EXPECT_FALSE(GetUrlStream(Tls, std::string("0"), "moved", ETagFile()).has_value());
}

TEST_F(FetchTest, ExplicitLocalPathIsUsed) {
  std::string Url = Serve("explicit.inf", "here");
  std::string Local = zrtest::FreshDir("fetch_explicit") + "sub\\copy.inf";
  EXPECT_EQ(GetUrlFile(Url, Local), Local);
  EXPECT_EQ(ReadFileText(Local), "here");
  EXPECT_NE(StoredTag(Local), "<none>");
}

TEST_F(FetchTest, TagWithALineBreakIsNeverWrittenIntoTheCacheFile) {
  std::string Url = Serve("folded.inf", "x");
  ASSERT_TRUE(zrtest::ServerFault("/doc/folded.inf", "{\"etag\": \"\\\"abc\\\"\\r\\n\\tdef\"}"));
  std::string Path = GetUrlFile(Url);
  ASSERT_FALSE(Path.empty());
  std::string Tag = StoredTag(Path);
  EXPECT_EQ(Tag.find_first_of("\r\n"), std::string::npos);
  for (const std::string& Line : SplitLines(ReadFileText(ETagFile())))
    EXPECT_TRUE(Line.empty() || Line[0] == '[' || Line.find('=') != std::string::npos) << Line;
}

}  // namespace
