// The resumable download task against the loopback test server: fresh
// downloads, interruptions and resumption by new tasks, changed resources,
// damaged files, wrong answers, stalls, termination and destruction.
#include "net/uHttpDownProgeress.h"

#include <gtest/gtest.h>

#include <objbase.h>

#include <functional>

#include "app/uFunction.h"
#include "net/uFileDigest.h"
#include "net/uMemIniFile.h"
#include "tests/support/TestSupport.h"

namespace {

const std::string NetError = "下载失败，请检查网络连接是否正常!";
const std::string ServerError = "服务器错误，请稍后重新升级!";
const std::string SizeError = "文件大小不正确!";
const std::string VerifyError = "文件校验失败，请重新升级!";
const std::string DiskFull = "磁盘空间不足，请清理后重新升级!";

std::string MakeBytes(size_t Size, unsigned Seed) {
  std::string Bytes(Size, '\0');
  for (char& C : Bytes) {
    Seed = Seed * 1103515245u + 12345u;
    C = static_cast<char>(Seed >> 16);
  }
  return Bytes;
}

// The SHA-256 of Bytes in hex, by way of a file.
std::string HexDigest(const std::string& Bytes, const std::string& Dir) {
  TSha256 Digest{};
  EXPECT_TRUE(zrtest::WriteWholeFile(Dir + "digest.bin", Bytes));
  EXPECT_EQ(FileSha256(Dir + "digest.bin", nullptr, Digest), heDone);
  DeleteFileA((Dir + "digest.bin").c_str());
  return Sha256Hex(Digest);
}

int64_t FileLength(const std::string& Path) {
  WIN32_FILE_ATTRIBUTE_DATA Data;
  if (!GetFileAttributesExA(Path.c_str(), GetFileExInfoStandard, &Data)) return -1;
  return (int64_t(Data.nFileSizeHigh) << 32) | Data.nFileSizeLow;
}

struct TOutcome {
  std::vector<float> Progress;
  std::vector<std::string> Errors;
  int Completed = 0;
  bool Ended = false;  // the attempt ended within the time allowed
};

class DownloadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CoInitialize(nullptr);
    ASSERT_TRUE(zrtest::ServerReset());
    std::string Name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    Dir = zrtest::FreshDir("dl_" + Name);
    Save = Dir + "setup.exe";
    Path = "/dl/" + Name + ".exe";
    Serve(MakeBytes(5 * 4096 * 3 + 777, 1));
  }
  void TearDown() override { CoUninitialize(); }

  void Serve(const std::string& Bytes) {
    Data = Bytes;
    ASSERT_TRUE(zrtest::ServerPut(Path, Data));
  }
  // Faults for the next attempt (probe = request 0, data request = 1).
  void Fault(const std::string& Json) { ASSERT_TRUE(zrtest::ServerFault(Path, Json)); }

  void Wire(THttpDownProgeress& Task, TOutcome& Out) {
    Task.Url = zrtest::ServerUrl(Path);
    Task.SaveFile = Save;
    Task.OnProgress = [&Out](TObject*, float Percent) { Out.Progress.push_back(Percent); };
    Task.OnError = [&Out](TObject*, const std::string& Msg) { Out.Errors.push_back(Msg); };
    Task.OnComplete = [&Out](TObject*) { ++Out.Completed; };
  }
  static bool AttemptOver(THttpDownProgeress& Task) { return Task.Suspended() || Task.Finished(); }
  static bool PumpUntil(const std::function<bool()>& Done, DWORD TimeoutMs) {
    DWORD Start = GetTickCount();
    while (!Done() && GetTickCount() - Start < TimeoutMs) zrtest::PumpMessages(5);
    return Done();
  }
  // One attempt by a new task on the files on disk; the task is freed after.
  TOutcome Attempt(const std::function<void(THttpDownProgeress&, TOutcome&)>& Tune = {}) {
    TOutcome Out;
    THttpDownProgeress Task(true);
    Wire(Task, Out);
    if (Tune) Tune(Task, Out);
    Task.Resume();
    Out.Ended = PumpUntil([&] { return AttemptOver(Task); }, 60000);
    return Out;
  }

  std::string State(const std::string& Key) {
    TMemIniFile Ini;
    Ini.LoadFromFile(Save + ".tsk.cfg");
    return Ini.ReadString("cfg", Key, "<none>");
  }
  // The Range header of every request of this test's path.
  std::vector<std::string> Ranges() {
    std::vector<std::string> Found;
    for (const std::string& Entry : zrtest::ServerLog())
      if (zrtest::LogField(Entry, "path") == Path) Found.push_back(zrtest::LogField(Entry, "headers.Range"));
    return Found;
  }
  std::string Finished() { return zrtest::ReadWholeFile(Save); }
  std::string DataFile() { return zrtest::ReadWholeFile(Save + ".tsk"); }
  // The finished file is the served one and nothing else is left.
  void ExpectComplete(const TOutcome& Out) {
    EXPECT_TRUE(Out.Ended);
    EXPECT_EQ(Out.Completed, 1);
    EXPECT_TRUE(Out.Errors.empty()) << Out.Errors.front();
    EXPECT_TRUE(Finished() == Data) << "finished file differs, " << FileLength(Save) << " of "
                                    << Data.size() << " bytes";
    EXPECT_FALSE(zrtest::FileExists(Save + ".tsk"));
    EXPECT_FALSE(zrtest::FileExists(Save + ".tsk.cfg"));
    ASSERT_FALSE(Out.Progress.empty());
    EXPECT_FLOAT_EQ(Out.Progress.back(), 100.0f);
  }
  // An interrupted attempt left D valid bytes and a state saying so.
  void ExpectInterruptedAt(const TOutcome& Out, int64_t D, const std::string& Error = SizeError) {
    EXPECT_TRUE(Out.Ended);
    EXPECT_EQ(Out.Completed, 0);
    ASSERT_EQ(Out.Errors.size(), 1u);
    EXPECT_EQ(Out.Errors[0], Error);
    EXPECT_EQ(State("Down"), std::to_string(D));
    std::string Part = DataFile();
    ASSERT_GE(Part.size(), size_t(D));
    EXPECT_TRUE(Part.compare(0, D, Data, 0, D) == 0) << "data file damaged";
    EXPECT_FALSE(zrtest::FileExists(Save));
  }

  // An attempt cut after 5000 bytes, then Stored put in the state as "Down".
  void InterruptAndStoreDown(const std::string& Stored) {
    ASSERT_TRUE(zrtest::ServerReset());
    DeleteFileA(Save.c_str());
    Fault(R"({"skip": 1, "times": 1, "close_after": 5000})");
    ExpectInterruptedAt(Attempt(), 5000);
    TMemIniFile Ini;
    ASSERT_TRUE(Ini.LoadFromFile(Save + ".tsk.cfg"));
    Ini.WriteString("cfg", "Down", Stored);
    ASSERT_TRUE(Ini.SaveToFile(Save + ".tsk.cfg"));
  }

  std::string Dir, Save, Path, Data;
};

// The header variants the probe may show; the stored state follows them.
const struct {
  const char* Name;
  const char* Fault;  // JSON members, without braces
} Variants[] = {
    {"etag and stamp", ""},
    {"stamp only", R"("no_etag": true)"},
    {"etag only", R"("no_last_modified": true)"},
    {"neither", R"("no_etag": true, "no_last_modified": true)"},
};

std::string FaultJson(const std::string& Variant, const std::string& More) {
  if (Variant.empty()) return "{" + More + "}";
  return "{" + Variant + (More.empty() ? "" : ", " + More) + "}";
}

TEST_F(DownloadTest, FreshDownloadWithEachHeaderVariant) {
  for (const auto& Variant : Variants) {
    SCOPED_TRACE(Variant.Name);
    ASSERT_TRUE(zrtest::ServerReset());
    DeleteFileA(Save.c_str());
    if (*Variant.Fault) Fault(FaultJson(Variant.Fault, ""));
    TOutcome Out = Attempt();
    ExpectComplete(Out);
    EXPECT_EQ(Ranges(), (std::vector<std::string>{"bytes=0-0", "bytes=0-"}));
  }
}

TEST_F(DownloadTest, RequestCarriesTheFixedHeadersAndTheUserAgent) {
  TOutcome Out = Attempt([](THttpDownProgeress& Task, TOutcome&) {
    EXPECT_FALSE(Task.UserAgent.empty()) << "no user agent from the platform";
    Task.Referer = "http://ref.example/";
  });
  ExpectComplete(Out);
  auto Log = zrtest::ServerLog();
  ASSERT_FALSE(Log.empty());
  const std::string& Probe = Log.front();
  EXPECT_EQ(zrtest::LogField(Probe, "headers.Accept"), "*/*");
  EXPECT_EQ(zrtest::LogField(Probe, "headers.Accept-Language"), "zh-CN");
  EXPECT_EQ(zrtest::LogField(Probe, "headers.Accept-Encoding"), "deflate");
  EXPECT_EQ(zrtest::LogField(Probe, "headers.Referer"), "http://ref.example/");
  EXPECT_NE(zrtest::LogField(Probe, "headers.User-Agent"), "");
}

TEST_F(DownloadTest, FreshDownloadWhenTheServerIgnoresRanges) {
  Fault(R"({"ignore_range": true})");
  TOutcome Out = Attempt();
  ExpectComplete(Out);
  EXPECT_EQ(Ranges().size(), 2u);
}

TEST_F(DownloadTest, OlderFinishedFileIsReplaced) {
  ASSERT_TRUE(zrtest::WriteWholeFile(Save, "an older installer"));
  ExpectComplete(Attempt());
}

// A folder others could write is replaced: nothing it held is resumed or kept.
TEST_F(DownloadTest, AFolderOthersCouldWriteIsReplacedAndNothingOfItKept) {
  Fault(R"({"skip": 1, "times": 1, "close_after": 5000})");
  ExpectInterruptedAt(Attempt(), 5000);
  ASSERT_TRUE(zrtest::SetSecurity(Dir, "D:(A;OICI;FA;;;WD)"));
  ASSERT_TRUE(OthersMayWrite(Dir));
  ASSERT_TRUE(zrtest::ServerReset());
  ExpectComplete(Attempt([](THttpDownProgeress& Task, TOutcome&) { Task.AdminOnlyFolder = true; }));
  EXPECT_EQ(Ranges().back(), "bytes=0-");
  EXPECT_FALSE(OthersMayWrite(Dir));
}

// Each list is the number of bytes the server sends before it drops the
// connection, one attempt each; a new task then finishes the download.
TEST_F(DownloadTest, InterruptionsAreResumedByNewTasks) {
  const int64_t Size = int64_t(Data.size());
  const std::vector<std::vector<int64_t>> Cuts = {
      {1}, {8192}, {5000}, {Size - 1}, {1, 8192, 5000}};
  for (const auto& Variant : Variants) {
    for (const auto& List : Cuts) {
      SCOPED_TRACE(std::string(Variant.Name) + ", first cut " + std::to_string(List[0]) +
                   ", cuts " + std::to_string(List.size()));
      ASSERT_TRUE(zrtest::ServerReset());
      DeleteFileA(Save.c_str());
      DeleteFileA((Save + ".tsk").c_str());
      DeleteFileA((Save + ".tsk.cfg").c_str());
      int64_t Down = 0;
      for (int64_t Cut : List) {
        Fault(FaultJson(Variant.Fault, R"("skip": 1, "times": 1, "close_after": )" + std::to_string(Cut)));
        if (*Variant.Fault) Fault(FaultJson(Variant.Fault, ""));
        TOutcome Out = Attempt();
        Down += Cut;
        ExpectInterruptedAt(Out, Down);
        EXPECT_EQ(Ranges().back(), "bytes=" + std::to_string(Down - Cut) + "-");
        ASSERT_TRUE(zrtest::ServerReset());
      }
      if (*Variant.Fault) Fault(FaultJson(Variant.Fault, ""));
      TOutcome Out = Attempt();
      ExpectComplete(Out);
      EXPECT_EQ(Ranges().back(), "bytes=" + std::to_string(Down) + "-");
    }
  }
}

TEST_F(DownloadTest, ChangedTagRestartsFromZero) {
  Fault(R"({"skip": 1, "times": 1, "close_after": 5000})");
  ExpectInterruptedAt(Attempt(), 5000);
  ASSERT_TRUE(zrtest::ServerReset());
  Serve(MakeBytes(40000, 2));
  TOutcome Out = Attempt();
  ExpectComplete(Out);
  EXPECT_EQ(Ranges().back(), "bytes=0-");
}

TEST_F(DownloadTest, ChangedStampRestartsFromZeroWithoutTag) {
  Fault(R"({"no_etag": true, "last_modified": "Mon, 01 Jan 2029 00:00:00 GMT", "skip": 1, "times": 1, "close_after": 5000})");
  Fault(R"({"no_etag": true, "last_modified": "Mon, 01 Jan 2029 00:00:00 GMT"})");
  ExpectInterruptedAt(Attempt(), 5000);
  EXPECT_EQ(State("MODIFIED"), "Mon, 01 Jan 2029 00:00:00 GMT");
  EXPECT_EQ(State("ETag"), "");
  ASSERT_TRUE(zrtest::ServerReset());
  Fault(R"({"no_etag": true, "last_modified": "Tue, 02 Jan 2029 00:00:00 GMT"})");
  ExpectComplete(Attempt());
  EXPECT_EQ(Ranges().back(), "bytes=0-");
}

TEST_F(DownloadTest, DataFileShorterThanTheStateRestartsFromZero) {
  Fault(R"({"skip": 1, "times": 1, "close_after": 8192})");
  ExpectInterruptedAt(Attempt(), 8192);
  ASSERT_TRUE(zrtest::WriteWholeFile(Save + ".tsk", Data.substr(0, 100)));
  ASSERT_TRUE(zrtest::ServerReset());
  ExpectComplete(Attempt());
  EXPECT_EQ(Ranges().back(), "bytes=0-");
}

TEST_F(DownloadTest, GarbageStateAndDataFilesAreStartedOver) {
  ASSERT_TRUE(zrtest::WriteWholeFile(Save + ".tsk.cfg", "\x01\x02 garbage\r\n[cfg\r\n=Down\r\nDown=9000"));
  ASSERT_TRUE(zrtest::WriteWholeFile(Save + ".tsk", MakeBytes(50000, 3)));
  ExpectComplete(Attempt());
  EXPECT_EQ(Ranges().back(), "bytes=0-");
}

TEST_F(DownloadTest, StoredDownThatIsNegativeOrNotANumberOrPastTheSizeCountsAsZero) {
  const std::string PastSize = std::to_string(Data.size() + 1);
  for (const char* Stored : {"-5", "12abc", "99999999999999999999", PastSize.c_str()}) {
    SCOPED_TRACE(Stored);
    ASSERT_NO_FATAL_FAILURE(InterruptAndStoreDown(Stored));
    ASSERT_TRUE(zrtest::ServerReset());
    ExpectComplete(Attempt());
    EXPECT_EQ(Ranges().back(), "bytes=0-");
  }
}

TEST_F(DownloadTest, RangeIgnoredOnTheDataRequestRestartsAndStaysCorrect) {
  Fault(R"({"skip": 1, "times": 1, "close_after": 5000})");
  ExpectInterruptedAt(Attempt(), 5000);
  ASSERT_TRUE(zrtest::ServerReset());
  Fault(R"({"skip": 1, "times": 1, "ignore_range": true})");
  ExpectComplete(Attempt());
  EXPECT_EQ(Ranges().back(), "bytes=5000-");
}

// A 206 that starts elsewhere than asked is not appended: the attempt fails
// with the valid bytes untouched, and the next one resumes where they end.
TEST_F(DownloadTest, RangeFromAnotherOffsetIsNotAppended) {
  const struct {
    int64_t Cut;  // bytes of the interrupted attempt before; 0 = fresh download
    int64_t Shift;
  } Cases[] = {
      {5000, 1},
      {5000, -1000},
      {5000, 45000},  // "bytes 50000-" begins with "bytes 5000"
      {0, 4096},
  };
  for (const auto& Case : Cases) {
    SCOPED_TRACE("cut " + std::to_string(Case.Cut) + ", shift " + std::to_string(Case.Shift));
    ASSERT_TRUE(zrtest::ServerReset());
    DeleteFileA(Save.c_str());
    DeleteFileA((Save + ".tsk").c_str());
    DeleteFileA((Save + ".tsk.cfg").c_str());
    if (Case.Cut > 0) {
      Fault(R"({"skip": 1, "times": 1, "close_after": )" + std::to_string(Case.Cut) + "}");
      ExpectInterruptedAt(Attempt(), Case.Cut);
      ASSERT_TRUE(zrtest::ServerReset());
    }
    Fault(R"({"skip": 1, "times": 1, "range_shift": )" + std::to_string(Case.Shift) + "}");
    TOutcome Out = Attempt();
    EXPECT_TRUE(Out.Ended);
    EXPECT_EQ(Out.Completed, 0);
    EXPECT_EQ(Out.Errors, std::vector<std::string>{ServerError});
    auto Log = zrtest::ServerLog();
    ASSERT_EQ(Log.size(), 2u);
    EXPECT_EQ(zrtest::LogField(Log[1], "headers.Range"), "bytes=" + std::to_string(Case.Cut) + "-");
    EXPECT_NE(Log[1].find("\"status\": 206"), std::string::npos) << "the fault did not apply: " << Log[1];
    EXPECT_EQ(FileLength(Save + ".tsk"), Case.Cut) << "bytes from the wrong offset were written";
    EXPECT_TRUE(DataFile().compare(0, Case.Cut, Data, 0, Case.Cut) == 0);
    EXPECT_EQ(State("Down"), Case.Cut > 0 ? std::to_string(Case.Cut) : "<none>");
    EXPECT_FALSE(zrtest::FileExists(Save));

    ASSERT_TRUE(zrtest::ServerReset());
    ExpectComplete(Attempt());
    EXPECT_EQ(Ranges().back(), "bytes=" + std::to_string(Case.Cut) + "-");
  }
}

TEST_F(DownloadTest, ErrorStatusOnTheDataRequestReportsTheServerErrorWithoutDamage) {
  Fault(R"({"skip": 1, "times": 1, "close_after": 5000})");
  ExpectInterruptedAt(Attempt(), 5000);
  for (int Status : {404, 416, 500}) {
    SCOPED_TRACE(Status);
    ASSERT_TRUE(zrtest::ServerReset());
    Fault(R"({"skip": 1, "times": 1, "status": )" + std::to_string(Status) + "}");
    TOutcome Out = Attempt();
    EXPECT_EQ(Out.Completed, 0);
    EXPECT_EQ(Out.Errors, std::vector<std::string>{ServerError});
    EXPECT_EQ(State("Down"), "5000");
    std::string Part = DataFile();
    ASSERT_GE(Part.size(), 5000u);
    EXPECT_TRUE(Part.compare(0, 5000, Data, 0, 5000) == 0);
    EXPECT_FALSE(zrtest::FileExists(Save));
  }
  ASSERT_TRUE(zrtest::ServerReset());
  ExpectComplete(Attempt());
}

TEST_F(DownloadTest, ErrorStatusOnTheProbeReportsTheServerErrorAndWritesNoFiles) {
  Fault(R"({"times": 1, "status": 404})");
  TOutcome Out = Attempt();
  EXPECT_TRUE(Out.Ended);
  EXPECT_EQ(Out.Errors, std::vector<std::string>{ServerError});
  EXPECT_EQ(Out.Completed, 0);
  EXPECT_FALSE(zrtest::FileExists(Save + ".tsk"));
  EXPECT_EQ(Ranges().size(), 1u);
}

TEST_F(DownloadTest, NoSizeHeaderReportsTheServerErrorAndLeavesFilesAlone) {
  Fault(R"({"skip": 1, "times": 1, "close_after": 5000})");
  ExpectInterruptedAt(Attempt(), 5000);
  std::string StateBefore = zrtest::ReadWholeFile(Save + ".tsk.cfg");
  std::string DataBefore = DataFile();
  ASSERT_TRUE(zrtest::ServerReset());
  Fault(R"({"times": 1, "ignore_range": true, "no_content_length": true})");
  TOutcome Out = Attempt();
  EXPECT_TRUE(Out.Ended);
  EXPECT_EQ(Out.Errors, std::vector<std::string>{ServerError});
  EXPECT_EQ(Out.Completed, 0);
  EXPECT_EQ(Ranges().size(), 1u);
  EXPECT_EQ(zrtest::ReadWholeFile(Save + ".tsk.cfg"), StateBefore);
  EXPECT_TRUE(DataFile() == DataBefore);
}

// A data file complete from an earlier run (a stop between the last block
// and the rename): only the rename is left, with no data request, which
// would ask for bytes past the end.
TEST_F(DownloadTest, DataFinishedEarlierIsPutInPlaceWithoutADataRequest) {
  const struct {
    const char* Name;
    size_t Extra;  // bytes in the data file past the size
  } Cases[] = {{"exact", 0}, {"longer", 300}};
  for (const auto& Case : Cases) {
    SCOPED_TRACE(Case.Name);
    ASSERT_NO_FATAL_FAILURE(InterruptAndStoreDown(std::to_string(Data.size())));
    ASSERT_TRUE(zrtest::WriteWholeFile(Save + ".tsk", Data + std::string(Case.Extra, 'x')));
    ASSERT_TRUE(zrtest::ServerReset());
    ExpectComplete(Attempt());
    EXPECT_EQ(Ranges(), std::vector<std::string>{"bytes=0-0"});
  }
}

// The document's size and digest: a right one, in either case, lets the
// file through; a size other than the probe's stops the attempt before any
// data request.
TEST_F(DownloadTest, FileTheDocumentNamesCompletesAndAnotherSizeIsRefused) {
  std::string Hex = HexDigest(Data, Dir);
  std::string Upper = Hex;
  CharUpperBuffA(&Upper[0], static_cast<DWORD>(Upper.size()));
  const int64_t Length = int64_t(Data.size());
  const struct {
    const char* Name;
    std::string Sha256;
    int64_t Size;
    bool Completes;
  } Cases[] = {
      {"lower-case digest", Hex, 0, true},
      {"upper-case digest and size", Upper, Length, true},
      {"size one more", "", Length + 1, false},
      {"size one less, with the digest", Hex, Length - 1, false},
      {"size malformed", "", -1, false},
  };
  for (const auto& Case : Cases) {
    SCOPED_TRACE(Case.Name);
    ASSERT_TRUE(zrtest::ServerReset());
    DeleteFileA(Save.c_str());
    TOutcome Out = Attempt([&](THttpDownProgeress& Task, TOutcome&) {
      Task.ExpectedSha256 = Case.Sha256;
      Task.ExpectedSize = Case.Size;
    });
    if (Case.Completes) {
      ExpectComplete(Out);
      continue;
    }
    EXPECT_TRUE(Out.Ended);
    EXPECT_EQ(Out.Errors, std::vector<std::string>{ServerError});
    EXPECT_EQ(Out.Completed, 0);
    EXPECT_EQ(Ranges(), std::vector<std::string>{"bytes=0-0"});
    EXPECT_FALSE(zrtest::FileExists(Save + ".tsk"));
    EXPECT_FALSE(zrtest::FileExists(Save));
  }
}

// A file whose bytes are not the ones the digest names, whether it arrived
// altered or was finished by an earlier run, is deleted with its state: the
// next attempt starts at byte 0.
TEST_F(DownloadTest, FileOtherThanTheDigestSaysIsDeletedAndStartedOver) {
  const struct {
    const char* Name;
    std::function<void()> Alter;
    std::vector<std::string> Requests;  // of the failing attempt
  } Cases[] = {
      {"altered in transit", [&] { Fault(R"({"skip": 1, "times": 1, "flip_byte": 40000})"); },
       {"bytes=0-0", "bytes=0-"}},
      {"finished earlier, altered",
       [&] {
         ASSERT_NO_FATAL_FAILURE(InterruptAndStoreDown(std::to_string(Data.size())));
         std::string Altered = Data;
         Altered[Data.size() - 1] ^= 1;
         ASSERT_TRUE(zrtest::WriteWholeFile(Save + ".tsk", Altered));
         ASSERT_TRUE(zrtest::ServerReset());
       },
       {"bytes=0-0"}},
  };
  std::string Hex = HexDigest(Data, Dir);
  auto Checked = [&](THttpDownProgeress& Task, TOutcome&) { Task.ExpectedSha256 = Hex; };
  for (const auto& Case : Cases) {
    SCOPED_TRACE(Case.Name);
    ASSERT_TRUE(zrtest::ServerReset());
    DeleteFileA(Save.c_str());
    ASSERT_NO_FATAL_FAILURE(Case.Alter());
    TOutcome Out = Attempt(Checked);
    EXPECT_TRUE(Out.Ended);
    EXPECT_EQ(Out.Errors, std::vector<std::string>{VerifyError});
    EXPECT_EQ(Out.Completed, 0);
    EXPECT_EQ(Ranges(), Case.Requests);
    EXPECT_FALSE(zrtest::FileExists(Save + ".tsk"));
    EXPECT_FALSE(zrtest::FileExists(Save + ".tsk.cfg"));
    EXPECT_FALSE(zrtest::FileExists(Save));

    ASSERT_TRUE(zrtest::ServerReset());
    ExpectComplete(Attempt(Checked));
    EXPECT_EQ(Ranges(), (std::vector<std::string>{"bytes=0-0", "bytes=0-"}));
  }
}

// A digest that is not 64 hex digits can accept no file: nothing is asked.
TEST_F(DownloadTest, MalformedDigestFailsTheCheckBeforeAnyRequest) {
  std::string Hex = HexDigest(Data, Dir);
  TOutcome Out = Attempt([&](THttpDownProgeress& Task, TOutcome&) { Task.ExpectedSha256 = Hex.substr(1); });
  EXPECT_TRUE(Out.Ended);
  EXPECT_EQ(Out.Errors, std::vector<std::string>{VerifyError});
  EXPECT_EQ(Out.Completed, 0);
  EXPECT_TRUE(zrtest::ServerLog().empty());
}

// Names Windows would take for a device or could not create as a plain file
// in the folder: refused with the server error before any request, and
// nothing is made anywhere.
TEST_F(DownloadTest, NamesThatAreNoPlainFileAreRefusedBeforeAnyRequest) {
  const std::string Refused[] = {"CON", "nul.exe", "COM1.exe", "lpt9", "Aux", "con.tar.gz", "NUL .txt",
                                 "CONIN$", "a|b.exe", "a<b", "a>b", "a\"b", "a?b", "a*b", "tab\tname",
                                 "name.", "name ", ".", "..", "", std::string(300, 'n')};
  for (const std::string& Name : Refused) {
    SCOPED_TRACE(Name);
    EXPECT_FALSE(IsPlainFileName(Name));
    ASSERT_TRUE(zrtest::ServerReset());
    std::string Folder = zrtest::FreshDir("dl_names");
    TOutcome Out = Attempt([&](THttpDownProgeress& Task, TOutcome&) { Task.SaveFile = Folder + "update\\" + Name; });
    EXPECT_TRUE(Out.Ended);
    EXPECT_EQ(Out.Errors, std::vector<std::string>{ServerError});
    EXPECT_EQ(Out.Completed, 0);
    EXPECT_TRUE(zrtest::ServerLog().empty());
    WIN32_FIND_DATAA Found;
    HANDLE Find = FindFirstFileA((Folder + "*").c_str(), &Found);
    ASSERT_NE(Find, INVALID_HANDLE_VALUE);
    do EXPECT_TRUE(!strcmp(Found.cFileName, ".") || !strcmp(Found.cFileName, "..")) << Found.cFileName;
    while (FindNextFileA(Find, &Found));
    FindClose(Find);
  }
  // Near misses stay usable; the second byte of a double-byte character may
  // be '\\' or '|' (GBK 0x815C, 0x817C).
  for (const char* Name : {"console.exe", "COM10.exe", "lpt.exe", "nul_.exe", "setup.v1.exe", "\x81\x5C.exe",
                           "\x81\x7C.exe", "\xC9\xFD\xBC\xB6.exe"})
    EXPECT_TRUE(IsPlainFileName(Name)) << Name;
}

// A path past the limit, with a name that is fine by itself.
TEST_F(DownloadTest, PathPastTheLimitIsRefusedBeforeAnyRequest) {
  std::string Folder = Dir + std::string(200, 'd') + "\\";
  TOutcome Out = Attempt([&](THttpDownProgeress& Task, TOutcome&) { Task.SaveFile = Folder + std::string(50, 's') + ".exe"; });
  EXPECT_EQ(Out.Errors, std::vector<std::string>{ServerError});
  EXPECT_TRUE(zrtest::ServerLog().empty());
  EXPECT_EQ(GetFileAttributesA(Folder.c_str()), INVALID_FILE_ATTRIBUTES);
}

// A state file that cannot be read or a data file held by another program
// ends the attempt with the size error (as a block that cannot be written
// does), never silently, and holds nothing of the attempt afterwards.
TEST_F(DownloadTest, LocalFileFailuresEndInAnEventAndLeakNothing) {
  const struct {
    const char* Name;
    std::function<HANDLE()> Damage;  // what stays held during the attempts
  } Cases[] = {
      {"state file is a folder",
       [&] {
         CreateDirectoryA((Save + ".tsk.cfg").c_str(), nullptr);
         return INVALID_HANDLE_VALUE;
       }},
      {"data file held", [&] {
         return CreateFileA((Save + ".tsk").c_str(), GENERIC_READ, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
       }},
  };
  for (const auto& Case : Cases) {
    SCOPED_TRACE(Case.Name);
    Dir = zrtest::FreshDir(std::string("dl_local ") + Case.Name);
    Save = Dir + "setup.exe";
    HANDLE Held = Case.Damage();
    Attempt();  // the first attempt sets up what stays (WinINet, COM)
    DWORD Before = 0, After = 0;
    ASSERT_TRUE(GetProcessHandleCount(GetCurrentProcess(), &Before));
    for (int I = 0; I < 20; ++I) {
      TOutcome Out = Attempt();
      ASSERT_TRUE(Out.Ended);
      ASSERT_EQ(Out.Errors, std::vector<std::string>{SizeError});
      EXPECT_EQ(Out.Completed, 0);
    }
    ASSERT_TRUE(GetProcessHandleCount(GetCurrentProcess(), &After));
    EXPECT_LT(After, Before + 10) << "handles left over by attempts";
    if (Held != INVALID_HANDLE_VALUE) CloseHandle(Held);
    EXPECT_FALSE(zrtest::FileExists(Save));
  }
}

TEST_F(DownloadTest, UnreachableServerReportsTheNetworkError) {
  TOutcome Out = Attempt([](THttpDownProgeress& Task, TOutcome&) {
    Task.Url = "http://127.0.0.1:1/dl/none.exe";
  });
  EXPECT_EQ(Out.Errors, std::vector<std::string>{NetError});
  EXPECT_FALSE(zrtest::FileExists(Save + ".tsk"));
}

// Over TLS a certificate that does not verify ends the attempt like no
// answer, before any request; with one that does, a cut transfer resumes.
TEST_F(DownloadTest, OverTlsAnUnverifiedCertificateFailsAndACutResumes) {
  auto OverTls = [&](THttpDownProgeress& Task, TOutcome&) {
    Task.Url = "https://localhost:" + std::to_string(zrtest::ServerPort() + 363) + Path;
  };
  for (const char* Certificate : {"other_host", "untrusted", "expired"}) {
    SCOPED_TRACE(Certificate);
    ASSERT_TRUE(zrtest::ServerReset());
    ASSERT_TRUE(zrtest::ServerFault("/_tls", std::string(R"({"certificate": ")") + Certificate + "\"}"));
    TOutcome Out = Attempt(OverTls);
    EXPECT_EQ(Out.Errors, std::vector<std::string>{NetError});
    EXPECT_TRUE(Ranges().empty());
    auto Log = zrtest::ServerLog();
    ASSERT_FALSE(Log.empty()) << "the server was never reached";
    EXPECT_EQ(zrtest::LogField(Log[0], "certificate"), Certificate);
    EXPECT_FALSE(zrtest::FileExists(Save + ".tsk.cfg"));
  }
  ASSERT_TRUE(zrtest::ServerReset());
  Fault(R"({"skip": 1, "times": 1, "close_after": 5000})");
  ExpectInterruptedAt(Attempt(OverTls), 5000);
  ASSERT_TRUE(zrtest::ServerReset());
  ExpectComplete(Attempt(OverTls));
  EXPECT_EQ(Ranges(), (std::vector<std::string>{"bytes=0-0", "bytes=5000-"}));
  for (const std::string& Entry : zrtest::ServerLog()) EXPECT_EQ(zrtest::LogField(Entry, "listener"), "tls");
}

// Windows refuses a redirect from TLS to plain HTTP, Wine follows it: the
// task takes no answer that came without TLS.
TEST_F(DownloadTest, OverTlsARedirectIsTakenOnlyWhenItStaysOnTls) {
  ASSERT_TRUE(zrtest::ServerPut("/dl/moved.exe", Data));
  const struct {
    const char* Target;
    bool Taken;
  } Cases[] = {{"/dl/moved.exe", true}, {"http://127.0.0.1:{port}/dl/moved.exe", false}};
  for (const auto& Case : Cases) {
    SCOPED_TRACE(Case.Target);
    ASSERT_TRUE(zrtest::ServerReset());
    DeleteFileA(Save.c_str());
    std::string Target = Case.Target;
    if (Target.find("{port}") != std::string::npos)
      Target.replace(Target.find("{port}"), 6, std::to_string(zrtest::ServerPort()));
    Fault(R"({"redirect": ")" + Target + R"("})");
    TOutcome Out = Attempt([&](THttpDownProgeress& Task, TOutcome&) {
      Task.Url = "https://localhost:" + std::to_string(zrtest::ServerPort() + 363) + Path;
    });
    if (Case.Taken) {
      ExpectComplete(Out);
    } else {
      EXPECT_EQ(Out.Errors, std::vector<std::string>{NetError});
      EXPECT_FALSE(zrtest::FileExists(Save));
      EXPECT_EQ(DataFile(), "");
    }
  }
}

TEST_F(DownloadTest, StallPastTheTimeOutFailsAndKeepsWhatArrived) {
  Fault(R"({"skip": 1, "times": 1, "stall_body": 40, "stall_at": 5000})");
  DWORD Start = GetTickCount();
  TOutcome Out = Attempt();
  DWORD Elapsed = GetTickCount() - Start;
  EXPECT_EQ(Out.Errors, std::vector<std::string>{SizeError});
  // The 15 s time-out ends it, not the server's 40 s pause.
  EXPECT_GE(Elapsed, 14000u);
  EXPECT_LT(Elapsed, 35000u);
  int64_t Down = TextToInt64(State("Down"), -1);
  EXPECT_GT(Down, 0);
  EXPECT_LE(Down, 5000);
  EXPECT_TRUE(DataFile().compare(0, Down, Data, 0, Down) == 0);
}

// On a fast line reads grow well past a block; a cut or a stall inside one
// keeps exactly the bytes that arrived, and the next attempt resumes there.
TEST_F(DownloadTest, CutOrStallInsideABigReadKeepsExactlyWhatArrived) {
  Serve(MakeBytes(3 * 1024 * 1024 + 777, 5));
  const struct {
    const char* Fault;
    int64_t At;
  } Cases[] = {
      {R"("close_after": 100003)", 100003},
      {R"("close_after": 2000001)", 2000001},
      {R"("stall_body": 40, "stall_at": 150001)", 150001},
  };
  for (const auto& Case : Cases) {
    SCOPED_TRACE(Case.Fault);
    ASSERT_TRUE(zrtest::ServerReset());
    DeleteFileA(Save.c_str());
    DeleteFileA((Save + ".tsk").c_str());
    DeleteFileA((Save + ".tsk.cfg").c_str());
    Fault(std::string(R"({"skip": 1, "times": 1, )") + Case.Fault + "}");
    ExpectInterruptedAt(Attempt(), Case.At);
    ASSERT_TRUE(zrtest::ServerReset());
    ExpectComplete(Attempt());
    EXPECT_EQ(Ranges().back(), "bytes=" + std::to_string(Case.At) + "-");
  }
}

TEST_F(DownloadTest, TerminationDuringTheTransferRaisesNoEventAndKeepsDown) {
  Fault(R"({"skip": 1, "times": 1, "rate": 20000})");
  TOutcome Out = Attempt([](THttpDownProgeress& Task, TOutcome&) {
    Task.OnProgress = [&Task](TObject*, float) { Task.Terminate(); };
  });
  EXPECT_TRUE(Out.Ended);
  EXPECT_TRUE(Out.Errors.empty());
  EXPECT_EQ(Out.Completed, 0);
  int64_t Down = TextToInt64(State("Down"), -1);
  EXPECT_GT(Down, 0);
  EXPECT_LT(Down, int64_t(Data.size()));
  EXPECT_TRUE(DataFile().compare(0, Down, Data, 0, Down) == 0);
  ASSERT_TRUE(zrtest::ServerReset());
  ExpectComplete(Attempt());
  EXPECT_EQ(Ranges().back(), "bytes=" + std::to_string(Down) + "-");
}

TEST_F(DownloadTest, FreeingTheTaskCutsAStalledReadAtOnce) {
  Fault(R"({"skip": 1, "times": 1, "stall_body": 30, "stall_at": 5000})");
  TOutcome Out;
  auto* Task = new THttpDownProgeress(true);
  Wire(*Task, Out);
  Task->Resume();
  ASSERT_TRUE(PumpUntil([&] { return !Out.Progress.empty(); }, 10000));
  zrtest::PumpMessages(1000);  // the worker is now blocked on the stalled body
  DWORD Start = GetTickCount();
  delete Task;
  DWORD Elapsed = GetTickCount() - Start;
  EXPECT_LT(Elapsed, 3000u) << "the destructor waited for the receive time-out";
  EXPECT_TRUE(Out.Errors.empty());
  EXPECT_EQ(Out.Completed, 0);
  int64_t Down = TextToInt64(State("Down"), -1);
  EXPECT_GT(Down, 0);
  EXPECT_TRUE(DataFile().compare(0, Down, Data, 0, Down) == 0);
}

TEST_F(DownloadTest, DestroyedWithoutResumeMakesNoRequest) {
  {
    THttpDownProgeress Task(true);
    Task.Url = zrtest::ServerUrl(Path);
    Task.SaveFile = Save;
  }
  EXPECT_TRUE(Ranges().empty());
  EXPECT_FALSE(zrtest::FileExists(Save + ".tsk"));
}

TEST_F(DownloadTest, ABlockThatCannotBeWrittenEndsTheTransfer) {
  // The test fixture links net_small_disk\\link\\setup.exe.tsk to a file on a
  // 16 KiB file system, so the fifth block finds the disk full; 8 KiB is
  // given back for the state.
  std::string Link = zrtest::ExeDir() + "net_small_disk\\link\\";
  if (!zrtest::FileExists(Link + "setup.exe.tsk")) GTEST_SKIP() << "no small file system mounted";
  Save = Link + "setup.exe";
  DeleteFileA((Save + ".tsk.cfg").c_str());
  ExpectInterruptedAt(Attempt(), 8192, DiskFull);
  DeleteFileA(Save.c_str());
}

TEST_F(DownloadTest, HeaderWithALineBreakIsNotWrittenIntoTheState) {
  Fault(R"({"etag": "\"abc\"\r\n\tdef", "skip": 1, "times": 1, "close_after": 5000})");
  ExpectInterruptedAt(Attempt(), 5000);
  std::string Text = zrtest::ReadWholeFile(Save + ".tsk.cfg");
  EXPECT_EQ(Text.find("def"), std::string::npos) << Text;
  TMemIniFile Ini;
  Ini.LoadFromText(Text);
  EXPECT_EQ(Ini.Text(), Text) << "the state file holds lines of its own making only";
}

TEST_F(DownloadTest, ProgressIsRoundedToHundredths) {
  // Three blocks, each taking well over a second.
  Serve(MakeBytes(3 * 4096, 4));
  Fault(R"({"skip": 1, "times": 1, "rate": 3000})");
  TOutcome Out = Attempt();
  ExpectComplete(Out);
  EXPECT_EQ(Out.Progress, (std::vector<float>{33.33f, 66.67f, 100.0f}));
}

TEST_F(DownloadTest, ProgressIsReportedAtMostOnceASecond) {
  std::vector<DWORD> Times;
  Fault(R"({"skip": 1, "times": 1, "rate": 20000})");
  TOutcome Out = Attempt([&Times](THttpDownProgeress& Task, TOutcome& Out) {
    Task.OnProgress = [&Times, &Out](TObject*, float Percent) {
      Out.Progress.push_back(Percent);
      Times.push_back(GetTickCount());
    };
  });
  ExpectComplete(Out);
  ASSERT_GE(Times.size(), 3u);
  EXPECT_LT(Times.size(), 8u);  // 16 blocks in about 3 s
  for (size_t I = 1; I + 1 < Times.size(); ++I) EXPECT_GE(Times[I] - Times[I - 1], 950u);
}

TEST_F(DownloadTest, FastTransferReportsFewProgressEvents) {
  TOutcome Out = Attempt();
  ExpectComplete(Out);
  EXPECT_LE(Out.Progress.size(), 2u);
}

// Known digests of files of one and of several pieces; a stop already
// requested ends the hash before any piece.
TEST(FileSha256Test, KnownDigestsStopAndMissingFile) {
  std::string Dir = zrtest::FreshDir("file_sha256");
  std::string Pattern(3 * 1024 * 1024 + 5, '\0');
  for (size_t I = 0; I < Pattern.size(); ++I) Pattern[I] = static_cast<char>(I % 251);
  const struct {
    std::string Bytes;
    const char* Hex;
  } Cases[] = {
      {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {Pattern, "b01669d77761c4dfdfc8fb927821087bcf5c9ef1f917c4f1f8504e529f19edab"},
  };
  HANDLE Stop = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  for (const auto& Case : Cases) {
    SCOPED_TRACE(Case.Bytes.size());
    ASSERT_TRUE(zrtest::WriteWholeFile(Dir + "f.bin", Case.Bytes));
    TSha256 Digest{};
    ASSERT_EQ(FileSha256(Dir + "f.bin", Stop, Digest), heDone);
    EXPECT_EQ(Sha256Hex(Digest), Case.Hex);
  }
  SetEvent(Stop);
  TSha256 Digest{};
  EXPECT_EQ(FileSha256(Dir + "f.bin", Stop, Digest), heStopped);
  EXPECT_EQ(FileSha256(Dir + "none.bin", nullptr, Digest), heFailed);
  CloseHandle(Stop);
}

TEST(ParseUrlTest, SplitsSchemeHostPortAndEncodedObject) {
  const struct {
    const char* Url;
    const char* Host;
    const char* Object;
    INTERNET_PORT Port;
    bool Secure;
  } Cases[] = {
      {"http://Host:8080/a b/c.exe?x=1", "Host", "/a+b/c.exe?x=1", 8080, false},
      {"http://host/dl/setup.exe", "host", "/dl/setup.exe", 80, false},
      {"http://host", "host", "/", 80, false},
      {"HTTP://host//a//b/", "host", "/a/b", 80, false},
      {"http://host:abc/x", "host", "/x", 80, false},
      {"http://host/100%/y?q=%20 z", "host", "/100%25/y?q=%20 z", 80, false},
      {"http://host/\xB2\xE2\xCA\xD4.exe", "host", "/%B2%E2%CA%D4.exe", 80, false},
      {"http://host/@!$'()*-._~#", "host", "/@!$'()*-._%7E%23", 80, false},
      {"https://host/dl/setup.exe", "host", "/dl/setup.exe", 443, true},
      {"HTTPS://host:8443/a b?x=1", "host", "/a+b?x=1", 8443, true},
      {"https://host:0/x", "host", "/x", 443, true},
      {"https://host:70000", "host", "/", 443, true},
      // A scheme only counts at the start.
      {"host/x?u=https://y", "host", "/x?u=https://y", 80, false},
  };
  for (const auto& Case : Cases) {
    TUrlParts Parts = ParseUrl(Case.Url);
    EXPECT_EQ(Parts.Host, Case.Host) << Case.Url;
    EXPECT_EQ(Parts.Object, Case.Object) << Case.Url;
    EXPECT_EQ(Parts.Port, Case.Port) << Case.Url;
    EXPECT_EQ(Parts.Secure, Case.Secure) << Case.Url;
  }
}

TEST(TextToInt64Test, AcceptsOnlyDecimalsThatFit) {
  EXPECT_EQ(TextToInt64("9223372036854775807", 0), INT64_MAX);
  EXPECT_EQ(TextToInt64("-9223372036854775808", 0), INT64_MIN);
  EXPECT_EQ(TextToInt64("9223372036854775808", 0), 0);
  EXPECT_EQ(TextToInt64("*", 0), 0);
  EXPECT_EQ(TextToInt64("", 7), 7);
  EXPECT_EQ(TextToInt64("12 ", 0), 0);
  EXPECT_EQ(TextToInt64("-", 0), 0);
  EXPECT_EQ(TextToInt64("42", 0), 42);
}

}  // namespace
