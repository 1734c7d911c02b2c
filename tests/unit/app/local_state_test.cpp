// Installed version from the real registry, the failure counter in real
// files, and the per-user data folder.
#include <windows.h>
#include <sddl.h>
#include <shlobj.h>

#include <string>

#include "app/uFunction.h"
#include "gtest/gtest.h"
#include "tests/support/TestSupport.h"

namespace {

const char ZERUN_KEY[] = "HKLM\\SOFTWARE\\ZeRun";

// Runs reg.exe, as an installer writes the value; its exit code.
DWORD Reg(const std::string& Arguments) {
  zrtest::Process p = zrtest::StartProcess("reg " + Arguments);
  DWORD Code = 1000;
  if (!p.handle || !zrtest::WaitProcess(p, 30000, &Code)) return 1000;
  return Code;
}

// Stores UpdateVer in one registry view ("32" or "64").
DWORD SetUpdateVer(const std::string& Type, const std::string& Data,
                   const char* View = "32") {
  return Reg(std::string("add ") + ZERUN_KEY + " /v UpdateVer /t " + Type +
             " /d " + Data + " /f /reg:" + View);
}

void DeleteZeRunKey() {
  Reg(std::string("delete ") + ZERUN_KEY + " /f /reg:32");
  Reg(std::string("delete ") + ZERUN_KEY + " /f /reg:64");
}

std::string VersionText(uint32_t Version) {
  return std::to_string(Version >> 16) + "." + std::to_string(Version & 0xFFFF);
}

class InstalledVersion : public ::testing::Test {
 protected:
  void SetUp() override { DeleteZeRunKey(); }
  void TearDown() override { DeleteZeRunKey(); }
};

TEST_F(InstalledVersion, AbsentKeyReadsZero) {
  EXPECT_EQ(0u, GetLocalVersion());
}

TEST_F(InstalledVersion, AbsentValueReadsZero) {
  ASSERT_EQ(0u, Reg(std::string("add ") + ZERUN_KEY + " /v Other /t REG_DWORD /d 5 /f /reg:32"));
  EXPECT_EQ(0u, GetLocalVersion());
}

TEST_F(InstalledVersion, StringValueReadsZero) {
  ASSERT_EQ(0u, SetUpdateVer("REG_SZ", "65537"));
  EXPECT_EQ(0u, GetLocalVersion());
}

TEST_F(InstalledVersion, PackedVersionReadsAsMajorDotMinor) {
  struct Case {
    const char* Stored;
    uint32_t Version;
    const char* Text;
  } Cases[] = {{"65537", 65537u, "1.1"},
               {"0x0002000A", 0x0002000Au, "2.10"},
               {"0x7FFFFFFF", 0x7FFFFFFFu, "32767.65535"},
               {"0x80000000", 0x80000000u, "32768.0"},
               {"0xFFFFFFFE", 0xFFFFFFFEu, "65535.65534"}};
  for (const Case& c : Cases) {
    ASSERT_EQ(0u, SetUpdateVer("REG_DWORD", c.Stored));
    EXPECT_EQ(c.Version, GetLocalVersion()) << c.Stored;
    EXPECT_EQ(c.Text, VersionText(GetLocalVersion())) << c.Stored;
  }
}

TEST_F(InstalledVersion, AllBitsSetReadsZero) {
  ASSERT_EQ(0u, SetUpdateVer("REG_DWORD", "0xFFFFFFFF"));
  EXPECT_EQ(0u, GetLocalVersion());
}

TEST_F(InstalledVersion, ReadsThe32BitView) {
  ASSERT_EQ(0u, SetUpdateVer("REG_DWORD", "131072", "64"));
  EXPECT_EQ(0u, GetLocalVersion());
  ASSERT_EQ(0u, SetUpdateVer("REG_DWORD", "65537"));
  EXPECT_EQ(65537u, GetLocalVersion());
}

// The key of an installed client grants ordinary users read access only;
// asking for more than that must not hide the version.
TEST_F(InstalledVersion, ReadOnlyKeyStillReadsTheVersion) {
  ASSERT_EQ(0u, SetUpdateVer("REG_DWORD", "65537"));
  HKEY Key = 0;
  ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\ZeRun", 0,
                                         WRITE_DAC | KEY_WOW64_32KEY, &Key));
  auto SetDacl = [Key](const char* Sddl) {
    PSECURITY_DESCRIPTOR Sd = nullptr;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorA(
        Sddl, SDDL_REVISION_1, &Sd, nullptr));
    EXPECT_EQ(ERROR_SUCCESS, RegSetKeySecurity(Key, DACL_SECURITY_INFORMATION, Sd));
    LocalFree(Sd);
  };
  SetDacl("D:P(A;;KR;;;WD)");
  HKEY Probe = 0;
  // The platform really refuses full access now.
  EXPECT_EQ(ERROR_ACCESS_DENIED,
            RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\ZeRun", 0,
                          KEY_ALL_ACCESS | KEY_WOW64_32KEY, &Probe));
  EXPECT_EQ(65537u, GetLocalVersion());
  SetDacl("D:P(A;;KA;;;WD)");
  RegCloseKey(Key);
}

TEST(ReadRegInteger, GivesTheDefaultWithoutRootOrKey) {
  EXPECT_EQ(7, ReadRegInteger(0, "SOFTWARE\\ZeRun", "UpdateVer", 7));
  EXPECT_EQ(7, ReadRegInteger(HKEY_LOCAL_MACHINE, "", "UpdateVer", 7));
  EXPECT_EQ(-1, ReadRegInteger(HKEY_LOCAL_MACHINE, "SOFTWARE\\NoSuchVendor", "X", -1));
}

std::string CounterFile() { return GetUserDataDir() + "upd.dat"; }

std::string StoredCounter() {
  char Buffer[64] = "";
  GetPrivateProfileStringA("2", "2", "<none>", Buffer, sizeof(Buffer),
                           CounterFile().c_str());
  return Buffer;
}

TEST(FailureCounter, FirstCheckWithoutFileCreatesItWithZero) {
  DeleteFileA(CounterFile().c_str());
  EXPECT_FALSE(CheckFailureCount());
  EXPECT_TRUE(zrtest::FileExists(CounterFile()));
  EXPECT_EQ("0", StoredCounter());
}

TEST(FailureCounter, CheckReadsCountsAndResets) {
  struct Case {
    const char* File;  // contents of upd.dat
    bool Exceeded;
    const char* Stored;
  } Cases[] = {
      {"[2]\r\n2=5\r\n", false, "6"},
      {"[2]\r\n2=6\r\n", true, "0"},
      {"[2]\r\n2=0\r\n", false, "1"},
      {"[2]\r\n2=many\r\n", false, "1"},
      {"[2]\r\n2=-3\r\n", false, "-2"},
      {"[2]\r\n2=0x10\r\n", true, "0"},
      {"[2]\r\n2=0X5\r\n", false, "6"},
      {"[2]\r\n2=$10\r\n", true, "0"},
      {"[2]\r\n2=\"5\"\r\n", false, "6"},
      {"[2]\r\n2=99999999999\r\n", false, "1"},
      {"[other]\r\n2=9\r\n", false, "1"},
      {"", false, "1"},
  };
  for (const Case& c : Cases) {
    ASSERT_TRUE(zrtest::WriteWholeFile(CounterFile(), c.File));
    EXPECT_EQ(c.Exceeded, CheckFailureCount()) << c.File;
    EXPECT_EQ(c.Stored, StoredCounter()) << c.File;
  }
}

TEST(FailureCounter, SeventhCheckAfterResetExceeds) {
  ResetFailureCount();
  for (int i = 1; i <= 6; ++i) EXPECT_FALSE(CheckFailureCount()) << "call " << i;
  EXPECT_TRUE(CheckFailureCount());
  EXPECT_EQ("0", StoredCounter());
}

TEST(FailureCounter, EighthCheckWithoutFileExceeds) {
  DeleteFileA(CounterFile().c_str());
  for (int i = 1; i <= 7; ++i) EXPECT_FALSE(CheckFailureCount()) << "call " << i;
  EXPECT_TRUE(CheckFailureCount());
}

TEST(FailureCounter, ResetCreatesTheFileWithZero) {
  DeleteFileA(CounterFile().c_str());
  ResetFailureCount();
  EXPECT_EQ("0", StoredCounter());
  ASSERT_TRUE(zrtest::WriteWholeFile(CounterFile(), "[2]\r\n2=4\r\n"));
  ResetFailureCount();
  EXPECT_EQ("0", StoredCounter());
}

TEST(SpecialFolder, EndsWithOneBackslash) {
  std::string Profile = GetSpecialFolder(CSIDL_PROFILE);
  ASSERT_GE(Profile.size(), 4u);
  EXPECT_EQ('\\', Profile.back());
  EXPECT_NE('\\', Profile[Profile.size() - 2]);
  EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(Profile.c_str()));
}

TEST(SpecialFolder, UnknownFolderGivesEmptyText) {
  EXPECT_EQ("", GetSpecialFolder(0x7FFF));
}

TEST(UserDataDir, IsLocalLowZeRunInTheProfile) {
  EXPECT_EQ(GetSpecialFolder(CSIDL_PROFILE) + "AppData\\LocalLow\\ZeRun\\",
            GetUserDataDir());
}

TEST(UserDataDir, CreatesTheWholeChainInAProfileWithoutLocalLow) {
  std::string LocalLow = GetSpecialFolder(CSIDL_PROFILE) + "AppData\\LocalLow";
  std::string Saved = LocalLow + ".saved-by-test";
  ASSERT_TRUE(MoveFileA(LocalLow.c_str(), Saved.c_str()));
  ASSERT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(LocalLow.c_str()));

  std::string Dir = GetUserDataDir();
  DWORD Attr = GetFileAttributesA(Dir.c_str());
  bool Created = Attr != INVALID_FILE_ATTRIBUTES && (Attr & FILE_ATTRIBUTE_DIRECTORY);
  // A second call finds the folder that the first one made.
  std::string Again = GetUserDataDir();

  RemoveDirectoryA(Dir.c_str());
  RemoveDirectoryA(LocalLow.c_str());
  ASSERT_TRUE(MoveFileA(Saved.c_str(), LocalLow.c_str()));
  EXPECT_EQ(LocalLow + "\\ZeRun\\", Dir);
  EXPECT_TRUE(Created);
  EXPECT_EQ(Dir, Again);
}

// Without a profile folder the folder lies beside the program: an absolute
// path, which the shell's folder creation of the fetch accepts, where a
// relative one was refused.
TEST(UserDataDir, WithoutAProfileFolderLiesBesideTheProgram) {
  std::string Dir = UserDataDirIn("");
  EXPECT_EQ(zrtest::ExeDir() + "AppData\\LocalLow\\ZeRun\\", Dir);
  EXPECT_EQ(ERROR_SUCCESS, SHCreateDirectoryExA(nullptr, (Dir + "Down\\").c_str(), nullptr));
  zrtest::Process Rd = zrtest::StartProcess("cmd.exe /c rd /s /q " + zrtest::Quote(zrtest::ExeDir() + "AppData"));
  zrtest::WaitProcess(Rd, 30000);
}

}  // namespace
