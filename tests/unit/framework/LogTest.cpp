// The run's log in real files: kept lines, the line form, rotation, and
// whole lines from several threads at once.
#include <windows.h>

#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "framework/uLog.h"
#include "gtest/gtest.h"

namespace {

std::string ReadAll(const std::string& Name) {
  std::ifstream In(Name, std::ios::binary);
  std::ostringstream Out;
  Out << In.rdbuf();
  return Out.str();
}

std::vector<std::string> Lines(const std::string& Text) {
  std::vector<std::string> Result;
  for (size_t At = 0, End; (End = Text.find("\r\n", At)) != std::string::npos; At = End + 2)
    Result.push_back(Text.substr(At, End - At));
  return Result;
}

class RunLog : public ::testing::Test {
 protected:
  void SetUp() override {
    char Temp[MAX_PATH];
    GetTempPathA(MAX_PATH, Temp);
    Folder = std::string(Temp) + "zr-log-test\\";
    CreateDirectoryA(Folder.c_str(), nullptr);
    DeleteFileA(Name().c_str());
    DeleteFileA((Name() + ".1").c_str());
  }
  void TearDown() override { CloseLog(); }
  std::string Name() const { return Folder + LOG_FILE_NAME; }
  void Fill(const std::string& File, size_t Size) { std::ofstream(File, std::ios::binary) << std::string(Size, 'x'); }

  std::string Folder;
};

TEST_F(RunLog, LinesBeforeTheFolderIsKnownAreWrittenWithTimePidAndUtf8) {
  Log("run %d of %s", 1, "泽润");
  Log("status text\r\nforged line");
  OpenLog(Folder);
  Log("after");
  std::vector<std::string> Got = Lines(ReadAll(Name()));
  ASSERT_EQ(3u, Got.size());
  const std::string Pid = std::to_string(GetCurrentProcessId());
  const std::regex Form("\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d " + Pid + " (.*)");
  const char* Texts[] = {"run 1 of \xE6\xB3\xBD\xE6\xB6\xA6", "status text  forged line", "after"};
  for (size_t I = 0; I < Got.size(); ++I) {
    std::smatch Match;
    ASSERT_TRUE(std::regex_match(Got[I], Match, Form)) << Got[I];
    EXPECT_EQ(Texts[I], Match[1].str());
  }
}

TEST_F(RunLog, OnlyALogOverOneMebibyteIsRotatedReplacingTheOldOne) {
  struct Case {
    size_t Size;
    bool Rotated;
  } Cases[] = {{LOG_ROTATE_SIZE, false}, {LOG_ROTATE_SIZE + 1, true}};
  for (const Case& C : Cases) {
    Fill(Name(), C.Size);
    Fill(Name() + ".1", 10);
    OpenLog(Folder);
    Log("new run");
    CloseLog();
    std::string Log = ReadAll(Name()), Old = ReadAll(Name() + ".1");
    EXPECT_EQ(C.Rotated ? C.Size : 10u, Old.size()) << C.Size;
    EXPECT_EQ(C.Rotated, Log.size() < C.Size) << C.Size;
    EXPECT_NE(std::string::npos, Log.find("new run\r\n")) << C.Size;
  }
}

TEST_F(RunLog, LinesFromSeveralThreadsStayWhole) {
  OpenLog(Folder);
  const int Threads = 4, Each = 200;
  std::vector<std::thread> Workers;
  for (int T = 0; T < Threads; ++T)
    Workers.emplace_back([T] {
      for (int I = 0; I < Each; ++I) Log("thread %d line %03d %s", T, I, std::string(100, char('a' + T)).c_str());
    });
  for (std::thread& W : Workers) W.join();
  std::vector<std::string> Got = Lines(ReadAll(Name()));
  ASSERT_EQ(size_t(Threads * Each), Got.size());
  const std::regex Form(".* thread (\\d) line \\d{3} ([a-d])\\2{99}");
  for (const std::string& Line : Got) EXPECT_TRUE(std::regex_match(Line, Form)) << Line;
}

}  // namespace
