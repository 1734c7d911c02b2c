// Whole runs on a bad day: a disk too small or filling up, kills at any
// moment, files planted in `update`, a link in its place.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>

#include "tests/e2e/E2eRun.h"

using namespace e2e;
using namespace zrtest;

namespace {

// Offers 1.2 with Setup to the signed build and answers the question with OK.
bool StartAndAgree(UpdaterRun& R, const std::string& Setup, const char* Fault = nullptr) {
  if (!ServerPut(kSetupPath, Setup) || (Fault && !ServerFault(kSetupPath, Fault))) return false;
  HWND Ask = R.StartOffering(PublishedDocument({ServerUrl(kSetupPath)}, Packed(1, 2), "1.2", Setup));
  if (Ask) R.ClickOK(Ask);
  return Ask != nullptr;
}

void EndAtError(UpdaterRun& R, const std::string& Shot) {
  HWND Notice = R.WaitNotice('r', 60000);
  ASSERT_NE(Notice, nullptr);
  R.Shot(Notice, Shot);
  R.ClickMovedOK(Notice);
  EXPECT_EQ(R.WaitExit(20000), 0);
}

int64_t SizeOf(const std::string& Path) { return FileExists(Path) ? int64_t(ReadWholeFile(Path).size()) : -1; }

void Empty(const std::string& Folder) {
  Process Clear = StartProcess("cmd.exe /c rd /s /q " + Quote(Folder));  // a mount point itself stays
  WaitProcess(Clear, 30000);
}

// The stored offset, after checking that the bytes it counts are on disk
// and are the served ones.
int64_t TrueStoredDown(const std::string& Installed, const std::string& Setup) {
  int Down = GetPrivateProfileIntA("cfg", "Down", 0, (Installed + ".tsk.cfg").c_str());
  std::string Data = ReadWholeFile(Installed + ".tsk");
  EXPECT_TRUE(size_t(Down) <= Data.size() && Data.compare(0, Down, Setup, 0, Down) == 0) << Down;
  return Down;
}

std::string Disk() { return ExeDir() + "e2e_small_disk\\mnt\\"; }

// Runs the program from Folder, a path the machine shares with Wine
// ("Z:..."), emptied first when Fresh.
bool RunFrom(UpdaterRun& R, const std::string& Folder, bool Fresh = true) {
  if (Fresh) Empty(Folder);
  R.ProgramDir = Folder + "Program Files\\ZeRun\\";
  for (const std::string& Dir : {Folder, Folder + "Program Files", R.ProgramDir}) CreateDirectoryA(Dir.c_str(), nullptr);
  const std::string Exe = R.ProgramDir + "ZeRunUpdate.exe";
  if (!WaitUntil([&] { return CopyFileA(R.Exe.c_str(), Exe.c_str(), FALSE) != 0; }, 15000)) return false;
  R.Exe = Exe;
  return true;
}

// Fills the fixture's small file system up to Free bytes; false when none is mounted.
bool LeaveFree(const std::string& Name, int64_t Free) {
  ULARGE_INTEGER Left{};
  return GetDiskFreeSpaceExA(Disk().c_str(), &Left, nullptr, nullptr) && Left.QuadPart < (64u << 20) &&
         WriteWholeFile(Disk() + Name, std::string(Left.QuadPart - Free, 'f'));
}

// Too small from the start: only the probe. Filling mid-way: a state true
// to the disk. Both: the disk's notice, no failure counted, nothing started;
// with room again the next run resumes.
TEST(BadDay, AFullDiskEndsWithItsNoticeCountsNothingAndTheNextRunResumes) {
  const std::string Setup = InstallerBytes(8 << 20);
  int64_t Kept = 0;
  for (int64_t Free : {4 << 20, 10 << 20}) {
    UpdaterRun R(true, "ZeRunUpdateSigned.exe");
    if (!LeaveFree("filler", 0)) GTEST_SKIP() << "no small file system mounted";
    ASSERT_TRUE(RunFrom(R, Disk()) && LeaveFree("filler", Free) && StartAndAgree(R, Setup, R"({"rate": 2000000})"));
    if (Free > 8 << 20) {  // room for it all: then the disk fills up
      ASSERT_TRUE(WaitUntil([&] { return SizeOf(R.Installed() + ".tsk") >= 2 << 20; }, 20000));
      ASSERT_TRUE(LeaveFree("filler2", 256 << 10));
    }
    EndAtError(R, Free > 8 << 20 ? "disk-full" : "disk-too-small");
    EXPECT_EQ(RangesOf(kSetupPath).size(), Free > 8 << 20 ? 2u : 1u);
    EXPECT_EQ(R.FailureCount(), "");
    EXPECT_FALSE(FileExists(R.Installed() + ".record"));
    Kept = TrueStoredDown(R.Installed(), Setup);
  }
  EXPECT_GT(Kept, 0);
  UpdaterRun R(false, "ZeRunUpdateSigned.exe");
  ASSERT_TRUE(DeleteFileA((Disk() + "filler").c_str()) && DeleteFileA((Disk() + "filler2").c_str()));
  ASSERT_TRUE(RunFrom(R, Disk(), false) && ServerReset() && StartAndAgree(R, Setup));
  ASSERT_TRUE(R.WaitInstallerStarted());
  EXPECT_EQ(RangesOf(kSetupPath).back(), "bytes=" + std::to_string(Kept) + "-");
  EXPECT_EQ(ReadWholeFile(R.Installed()), Setup);
}

// Files planted in an `update` others could write are gone before anything
// is fetched, with the folder moved aside. A link in its place is refused
// and what it points to left alone. (Wine shows no DACL but the file mode,
// and opens a link's target when the link is asked for.)
TEST(BadDay, PlantedFilesAreGoneAndALinkedUpdateFolderIsRefused) {
  const std::string Setup = InstallerBytes(1 << 20);
  {
    UpdaterRun R(true, "ZeRunUpdateSigned.exe");
    const std::string Update = R.ProgramDir + "update\\";
    ASSERT_TRUE(CreateDirectoryA(Update.c_str(), nullptr));
    for (const char* Name : {"version.dll", "ZeRunSetup.exe.tsk", "ZeRunSetup.exe.tsk.cfg"})
      ASSERT_TRUE(WriteWholeFile(Update + Name, "planted"));
    ASSERT_TRUE(SetSecurity(Update, "D:(A;OICI;FA;;;WD)") && StartAndAgree(R, Setup));
    ASSERT_TRUE(R.WaitInstallerStarted());
    std::string Names;
    for (const auto& Entry : FolderTree(R.ProgramDir)) Names += Entry.first + "|";
    EXPECT_EQ(Names, "ZeRunUpdate.exe|update\\|update\\ZeRunSetup.exe|update\\ZeRunSetup.exe.record|");
  }
  UpdaterRun R(true, "ZeRunUpdateSigned.exe");
  // Beside the tests, where the machine's path is Wine's without "Z:".
  const std::string Elsewhere = ExeDir() + "badday elsewhere\\";
  ASSERT_TRUE(RunFrom(R, ExeDir() + "badday link\\"));
  Empty(Elsewhere);
  ASSERT_TRUE(CreateDirectoryA(Elsewhere.c_str(), nullptr) && WriteWholeFile(Elsewhere + "version.dll", "planted"));
  std::string Paths = "'" + Elsewhere.substr(2) + "' '" + R.ProgramDir.substr(2) + "update'";
  std::replace(Paths.begin(), Paths.end(), '\\', '/');
  StartProcess("/bin/sh -c " + Quote("ln -sfn " + Paths));  // Wine cannot wait for it
  ASSERT_TRUE(WaitUntil([&] { return GetFileAttributesA((R.ProgramDir + "update").c_str()) ==
                                     (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT); }, 10000));
  if (StartAndAgree(R, Setup)) EndAtError(R, "update-link-refused");
  EXPECT_EQ(CountRequests(kSetupPath), 0);
  EXPECT_EQ(FolderTree(Elsewhere).size(), 1u) << "what the link points to was changed";
}

// Kills at random moments of the transfer, while held before the check and
// in the hand-off: the state stays within 4 MiB of the disk, a finished file
// is not fetched again, and the last run starts the served installer once.
TEST(BadDay, RunsKilledAtAnyMomentLoseAtMostFourMegabytesAndStartOnce) {
  const std::string Setup = InstallerBytes(12 << 20);
  const unsigned Seed = std::random_device{}();
  std::mt19937 Random(Seed);
  // Three kills at most 2 s after the click, at 2 MB/s: together they cannot
  // fetch the whole 12 MiB, so none of those runs may reach the start.
  std::uniform_int_distribution<DWORD> During(500, 2000);
  const char* const Seams[] = {"", "", "", "ZR_TEST_PAUSE_BEFORE_RENAME", "ZR_TEST_PAUSE_BEFORE_START", nullptr};
  bool Finished = false;  // the run before left the whole file on disk
  std::string Installed;
  for (size_t I = 0; I < std::size(Seams); ++I) {
    const char* Seam = Seams[I];
    SCOPED_TRACE(testing::Message() << "seed " << Seed << " " << (Seam ? Seam : "the last run"));
    for (const char* Each : {"ZR_TEST_PAUSE_BEFORE_RENAME", "ZR_TEST_PAUSE_BEFORE_START"})
      SetEnvironmentVariableA(Each, Seam && !strcmp(Seam, Each) ? "600000" : nullptr);
    {
      UpdaterRun R(I == 0, "ZeRunUpdateSigned.exe");
      Installed = R.Installed();
      const size_t Earlier = RangesOf(kSetupPath).size();
      ASSERT_TRUE(StartAndAgree(R, Setup, R"({"rate": 2000000})"));
      const bool Held = Seam && *Seam;  // held at the step: wait for the whole file
      ASSERT_TRUE(WaitUntil([&] { return Seam ? !Held || SizeOf(Installed + ".tsk") == int64_t(Setup.size()) ||
                                                  FileExists(Installed) : FileExists(Installed + ".record"); }, 60000));
      PumpMessages(Held ? 1500 : Seam ? During(Random) : 0);
      EXPECT_TRUE(!Finished || RangesOf(kSetupPath).size() == Earlier + 1) << "a finished file fetched again";
    }  // killed
    if (!Seam) break;
    ASSERT_FALSE(FileExists(Installed + ".record")) << "the installer started in a run killed before its start";
    const int64_t Down = TrueStoredDown(Installed, Setup);
    EXPECT_TRUE(FileExists(Installed) || Down >= SizeOf(Installed + ".tsk") - (4 << 20));
    Finished = FileExists(Installed) || Down == int64_t(Setup.size());
  }
  EXPECT_EQ(ReadWholeFile(Installed), Setup);
  EXPECT_EQ(ReadWholeFile(Installed + ".record"), "cmdline=\"" + Installed + "\" /S\r\npath=" + Installed + "\r\n");
}

}  // namespace
