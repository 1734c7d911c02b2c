// Whole runs on a bad day: a disk too small or filling up, kills at any
// moment, files planted in `update` beforehand, a link in its place.
#include <gtest/gtest.h>

#include <algorithm>
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

// Ends the run through the error notice, kept as a picture named Shot.
void EndAt(UpdaterRun& R, const std::string& Shot) {
  HWND Notice = R.WaitNotice('r', 60000);
  ASSERT_NE(Notice, nullptr);
  R.Shot(Notice, Shot);
  R.ClickMovedOK(Notice);
  EXPECT_EQ(R.WaitExit(kWait), 0);
}

int64_t SizeOf(const std::string& Path) {
  WIN32_FILE_ATTRIBUTE_DATA Data;
  if (!GetFileAttributesExA(Path.c_str(), GetFileExInfoStandard, &Data)) return -1;
  return (int64_t(Data.nFileSizeHigh) << 32) | Data.nFileSizeLow;
}

int64_t StoredDown(const std::string& Installed) {
  return static_cast<int>(GetPrivateProfileIntA("cfg", "Down", -1, (Installed + ".tsk.cfg").c_str()));
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
  if (Fresh) {
    Process Clear = StartProcess("cmd.exe /c rd /s /q " + Quote(Disk + "Program Files"));
    WaitProcess(Clear, 30000);
  }
  for (const char* Filler : {"filler", "filler2"}) DeleteFileA((Disk + Filler).c_str());
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
    EndAt(R, "disk-too-small");
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
    ASSERT_TRUE(WriteWholeFile(R.ProgramDir + "..\\..\\filler2", std::string(Left.QuadPart - (256 << 10), 'f')));
    EndAt(R, "disk-full");
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

// The machine's path of a path Wine shows.
std::string UnixPath(const std::string& Path) {
  using TUnixName = char*(CDECL*)(const WCHAR*);
  auto UnixName = reinterpret_cast<TUnixName>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
  std::wstring Wide(Path.begin(), Path.end());
  char* Name = UnixName ? UnixName(Wide.c_str()) : nullptr;
  std::string Result = Name ? Name : "";
  HeapFree(GetProcessHeap(), 0, Name);
  return Result;
}

// Runs a command of the machine under Wine and waits for it (Wine tells no
// exit code of such a command).
void RunUnix(const std::string& Command) {
  Process P = StartProcess("/bin/sh -c " + Quote(Command));
  WaitProcess(P, 10000);
}

// Files planted beforehand in an `update` others could write are gone
// before anything is fetched, and the folder moved aside is removed. A link
// in its place is refused, and what it points to is left alone. (Wine shows
// no DACL but the Unix file mode, and opens a link's target where the link
// was asked for: this is what it can show.)
TEST(BadDay, PlantedFilesAreGoneAndALinkedUpdateFolderIsRefused) {
  const std::string Setup = InstallerBytes(1 << 20);
  {
    UpdaterRun R(true, kSigned);
    const std::string Update = R.ProgramDir + "update\\";
    ASSERT_TRUE(CreateDirectoryA(Update.c_str(), nullptr));
    for (const char* Name : {"version.dll", "ZeRunSetup.exe.tsk", "ZeRunSetup.exe.tsk.cfg"})
      ASSERT_TRUE(WriteWholeFile(Update + Name, "planted"));
    ASSERT_TRUE(SetSecurity(Update, "D:(A;OICI;FA;;;WD)"));
    ASSERT_TRUE(StartAndAgree(R, Setup));
    ASSERT_TRUE(WaitUntil([&] { return FileExists(R.Installed() + ".record"); }, 60000));
    std::vector<std::string> Names;
    for (const auto& Entry : FolderTree(R.ProgramDir)) Names.push_back(Entry.first);
    EXPECT_EQ(Names, (std::vector<std::string>{"ZeRunUpdate.exe", "update\\", "update\\ZeRunSetup.exe",
                                               "update\\ZeRunSetup.exe.record"}));
    EXPECT_EQ(RangesOf(kSetupPath).back(), "bytes=0-");
  }
  UpdaterRun R(true, kSigned);
  // Beside the tests, where Wine's path and the machine's are the same.
  const std::string Elsewhere = ExeDir() + "badday elsewhere\\";
  std::string Unix = Elsewhere.substr(2, Elsewhere.size() - 3);
  std::replace(Unix.begin(), Unix.end(), '\\', '/');
  RunUnix("rm -rf '" + Unix + "' && mkdir '" + Unix + "' && echo planted >'" + Unix + "/version.dll'");
  ASSERT_TRUE(FileExists(Elsewhere + "version.dll"));
  struct TLink {
    std::string Path;
    ~TLink() { RunUnix("rm -f '" + Path + "'"); }  // a link left behind would stay in every later run's folder
  } Link{UnixPath(R.ProgramDir + "update")};
  RunUnix("ln -s '" + Unix + "' '" + Link.Path + "'");
  ASSERT_TRUE(GetFileAttributesA((R.ProgramDir + "update").c_str()) & FILE_ATTRIBUTE_REPARSE_POINT);
  ASSERT_TRUE(StartAndAgree(R, Setup));
  EndAt(R, "update-link-refused");
  EXPECT_EQ(CountRequests(kSetupPath), 0);
  EXPECT_EQ(FolderTree(Elsewhere).size(), 1u) << "what the link points to was changed";
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
  std::uniform_int_distribution<DWORD> During(500, 4000);
  const struct {
    const char* Seam;  // the step the run is held at, for as long as it lives
    DWORD AfterMs;     // from the answer to the kill; 0: the run that finishes
  } Kills[] = {{"", During(Random)}, {"", During(Random)}, {"", During(Random)},
               {"ZR_TEST_PAUSE_BEFORE_RENAME", 1500}, {"ZR_TEST_PAUSE_BEFORE_START", 1500}, {"", 0}};
  bool Finished = false;  // the previous run left the whole file on disk
  std::string Installed;
  for (const auto& Kill : Kills) {
    SCOPED_TRACE(testing::Message() << "seed " << Seed << ", " << Kill.Seam << " " << Kill.AfterMs << " ms");
    for (const char* Seam : {"ZR_TEST_PAUSE_BEFORE_RENAME", "ZR_TEST_PAUSE_BEFORE_START"})
      SetEnvironmentVariableA(Seam, Kill.Seam == std::string(Seam) ? "600000" : nullptr);
    {
      UpdaterRun R(&Kill == Kills, kSigned);
      Installed = R.Installed();
      const size_t Earlier = RangesOf(kSetupPath).size();
      ASSERT_TRUE(StartAndAgree(R, Setup, R"({"rate": 2000000})"));
      if (*Kill.Seam) {
        ASSERT_TRUE(WaitUntil([&] { return SizeOf(Installed + ".tsk") == Whole || FileExists(Installed); }, 30000));
      }
      if (Kill.AfterMs == 0) {
        ASSERT_TRUE(WaitUntil([&] { return FileExists(Installed + ".record"); }, 60000));
      }
      PumpMessages(Kill.AfterMs);
      if (Finished) {
        EXPECT_EQ(RangesOf(kSetupPath).size(), Earlier + 1) << "a finished file fetched again";
      }
    }  // killed
    if (Kill.AfterMs == 0) break;
    int64_t Down = StoredDown(Installed), OnDisk = SizeOf(Installed + ".tsk");
    ExpectStateTrue(Installed, Setup);
    if (!FileExists(Installed)) {
      EXPECT_GE(Down, OnDisk - (4 << 20));
    }
    Finished = FileExists(Installed) || Down == Whole;
  }
  for (const char* Seam : {"ZR_TEST_PAUSE_BEFORE_RENAME", "ZR_TEST_PAUSE_BEFORE_START"})
    SetEnvironmentVariableA(Seam, nullptr);
  EXPECT_EQ(ReadWholeFile(Installed), Setup);
  EXPECT_EQ(ReadWholeFile(Installed + ".record"), "cmdline=\"" + Installed + "\" /S\r\npath=" + Installed + "\r\n");
}

}  // namespace
