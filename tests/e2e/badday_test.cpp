// Whole runs on a bad day: a disk too small or filling up, kills at any
// moment, files planted in `update` beforehand, a link in its place.
#include <gtest/gtest.h>

#include <random>

#include "app/uFunction.h"
#include "tests/e2e/E2eRun.h"

using namespace e2e;
using namespace zrtest;

namespace {

const DWORD kWait = 20000;
const char* const kSigned = "ZeRunUpdateSigned.exe";

// Offers 1.2 over 1.1 with Setup, answers the question with OK; false when
// no question came.
bool StartAndAgree(UpdaterRun& R, const std::string& Setup, const char* Fault = nullptr) {
  SetInstalledVersion(Packed(1, 1));
  if (!ServerPut(kSetupPath, Setup) ||
      !ServerPut(kInfoPath, PublishedDocument({ServerUrl(kSetupPath)}, Packed(1, 2), "1.2", Setup)) ||
      (Fault && !ServerFault(kSetupPath, Fault)))
    return false;
  R.Start();
  HWND Ask = R.WaitPastChecking(kWait);
  if (Ask) R.ClickOK(Ask);
  return Ask != nullptr;
}

// Ends the run through the notice with the given badge.
void EndAt(UpdaterRun& R, char Badge) {
  HWND Notice = R.WaitNotice(Badge, 60000);
  ASSERT_NE(Notice, nullptr);
  R.Shot(Notice, std::string("badday-") + Badge);
  R.ClickMovedOK(Notice);
  EXPECT_EQ(R.WaitExit(kWait), 0);
}

int64_t SizeOf(const std::string& Path) {
  WIN32_FILE_ATTRIBUTE_DATA Data;
  if (!GetFileAttributesExA(Path.c_str(), GetFileExInfoStandard, &Data)) return -1;
  return (int64_t(Data.nFileSizeHigh) << 32) | Data.nFileSizeLow;
}

int64_t StoredDown(const std::string& Installed) {
  return GetPrivateProfileIntA("cfg", "Down", -1, (Installed + ".tsk.cfg").c_str());
}

// The resume state counts no byte that is not on disk, and those it counts
// are the served ones.
void ExpectStateTrue(const std::string& Installed, const std::string& Setup) {
  std::string Data = ReadWholeFile(Installed + ".tsk");
  size_t Down = std::max<int64_t>(StoredDown(Installed), 0);
  EXPECT_LE(Down, Data.size());
  EXPECT_TRUE(Data.compare(0, Down, Setup, 0, Down) == 0) << "counted bytes differ from the served ones";
}

// Puts the program folder on the small file system the fixture mounted and
// leaves Free bytes free there; false when none is mounted.
bool OnSmallDisk(UpdaterRun& R, int64_t Free, bool Fresh = true) {
  const std::string Disk = ExeDir() + "e2e_small_disk\\mnt\\";
  ULARGE_INTEGER Left{};
  if (!GetDiskFreeSpaceExA(Disk.c_str(), &Left, nullptr, nullptr) || Left.QuadPart > (64u << 20)) return false;
  if (Fresh) DeleteTree(Disk + "Program Files");
  DeleteFileA((Disk + "filler").c_str());
  R.ProgramDir = Disk + "Program Files\\ZeRun\\";
  CreateDirectoryA((Disk + "Program Files").c_str(), nullptr);
  CreateDirectoryA(R.ProgramDir.c_str(), nullptr);
  std::string Exe = R.ProgramDir + "ZeRunUpdate.exe";
  if (!WaitUntil([&] { return CopyFileA(R.Exe.c_str(), Exe.c_str(), FALSE) != 0; }, 15000)) return false;
  R.Exe = Exe;
  GetDiskFreeSpaceExA(Disk.c_str(), &Left, nullptr, nullptr);
  return Free < 0 || WriteWholeFile(Disk + "filler", std::string(Left.QuadPart - Free, 'f'));
}

// Too small from the start: only the probe is sent. Filling mid-way: the
// state stays true to the disk. Either way the disk's notice, no failure
// counted, nothing started; with room again the next run resumes.
TEST(BadDay, AFullDiskEndsWithItsNoticeCountsNothingAndTheNextRunResumes) {
  const std::string Setup = InstallerBytes(8 << 20);
  {
    UpdaterRun R(true, kSigned);
    if (!OnSmallDisk(R, 4 << 20)) GTEST_SKIP() << "no small file system mounted";
    ASSERT_TRUE(StartAndAgree(R, Setup));
    EndAt(R, 'r');
    EXPECT_EQ(RangesOf(kSetupPath), std::vector<std::string>{"bytes=0-0"});
    EXPECT_EQ(R.FailureCount(), "");
  }
  int64_t Kept = 0;
  {
    UpdaterRun R(true, kSigned);
    ASSERT_TRUE(OnSmallDisk(R, 10 << 20));
    ASSERT_TRUE(StartAndAgree(R, Setup, R"({"rate": 2000000})"));
    ASSERT_TRUE(WaitUntil([&] { return SizeOf(R.Installed() + ".tsk") >= 2 << 20; }, kWait));
    ULARGE_INTEGER Left{};
    ASSERT_TRUE(GetDiskFreeSpaceExA(R.ProgramDir.c_str(), &Left, nullptr, nullptr));
    ASSERT_TRUE(WriteWholeFile(R.ProgramDir + "..\\..\\filler", std::string(Left.QuadPart - (256 << 10), 'f')));
    EndAt(R, 'r');
    EXPECT_EQ(R.FailureCount(), "");
    EXPECT_FALSE(FileExists(R.Installed() + ".record"));
    ExpectStateTrue(R.Installed(), Setup);
    Kept = StoredDown(R.Installed());
    EXPECT_GT(Kept, 0);
  }
  UpdaterRun R(false, kSigned);
  ASSERT_TRUE(OnSmallDisk(R, -1, false));
  ServerReset();
  ASSERT_TRUE(StartAndAgree(R, Setup));
  ASSERT_TRUE(WaitUntil([&] { return FileExists(R.Installed() + ".record"); }, 60000));
  EXPECT_EQ(RangesOf(kSetupPath).back(), "bytes=" + std::to_string(Kept) + "-");
  EXPECT_EQ(ReadWholeFile(R.Installed()), Setup);
}

// Kills during the transfer at random moments, while held before the check
// and in the hand-off never leave a state that starts a wrong file or loses
// the download: the stored offset is within 4 MiB of what is on disk, a
// finished file is not fetched again, and the last run starts the served
// installer once.
TEST(BadDay, RunsKilledAtAnyMomentLoseAtMostFourMegabytesAndStartOnce) {
  const std::string Setup = InstallerBytes(12 << 20);
  const int64_t Whole = Setup.size();
  const unsigned Seed = std::random_device{}();
  std::mt19937 Random(Seed);
  std::uniform_int_distribution<DWORD> During(300, 2500);
  const struct {
    const char* Seam;  // the step the run is held at, for as long as it lives
    DWORD AfterMs;     // from the answer to the kill; 0: the run that finishes
  } Kills[] = {{"", During(Random)}, {"", During(Random)}, {"", During(Random)},
               {"ZR_TEST_PAUSE_BEFORE_RENAME", 1500}, {"ZR_TEST_PAUSE_BEFORE_START", 1500}, {"", 0}};
  bool Finished = false;  // the previous run left the whole file on disk
  for (const auto& Kill : Kills) {
    SCOPED_TRACE(testing::Message() << "seed " << Seed << ", " << Kill.Seam << " " << Kill.AfterMs << " ms");
    for (const char* Seam : {"ZR_TEST_PAUSE_BEFORE_RENAME", "ZR_TEST_PAUSE_BEFORE_START"})
      SetEnvironmentVariableA(Seam, Kill.Seam == std::string(Seam) ? "600000" : nullptr);
    std::string Installed;
    {
      UpdaterRun R(&Kill == Kills, kSigned);
      Installed = R.Installed();
      const size_t Earlier = RangesOf(kSetupPath).size();
      ASSERT_TRUE(StartAndAgree(R, Setup, R"({"rate": 2000000})"));
      if (*Kill.Seam)
        ASSERT_TRUE(WaitUntil([&] { return SizeOf(Installed + ".tsk") == Whole || FileExists(Installed); }, 30000));
      if (Kill.AfterMs == 0) ASSERT_TRUE(WaitUntil([&] { return FileExists(Installed + ".record"); }, 60000));
      PumpMessages(Kill.AfterMs);
      if (Finished) EXPECT_EQ(RangesOf(kSetupPath).size(), Earlier + 1) << "a finished file fetched again";
    }  // killed
    if (Kill.AfterMs == 0) break;
    int64_t Down = StoredDown(Installed), OnDisk = SizeOf(Installed + ".tsk");
    ExpectStateTrue(Installed, Setup);
    if (!FileExists(Installed)) EXPECT_GE(Down, OnDisk - (4 << 20));
    Finished = FileExists(Installed) || Down == Whole;
  }
  for (const char* Seam : {"ZR_TEST_PAUSE_BEFORE_RENAME", "ZR_TEST_PAUSE_BEFORE_START"})
    SetEnvironmentVariableA(Seam, nullptr);
  EXPECT_EQ(ReadWholeFile(Installed), Setup);
  EXPECT_EQ(ReadWholeFile(Installed + ".record"), "cmdline=\"" + Installed + "\" /S\r\npath=" + Installed + "\r\n");
}

}  // namespace
