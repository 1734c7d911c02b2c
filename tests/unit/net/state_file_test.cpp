// The download state file: loaded and saved whole, values exactly as stored,
// CR LF, key order, replaced only by a complete new file.
#include "net/uMemIniFile.h"

#include <gtest/gtest.h>

#include "tests/support/TestSupport.h"

namespace {

TEST(StateFile, ReadingTrimsLinesSkipsCommentsAndKeepsValuesExactly) {
  TMemIniFile Ini;
  Ini.LoadFromText(
      "stray=before any section\r\n"
      "  [CFG]  \r\n"
      "; a comment\r\n"
      "\r\n"
      "  ETag =  \"abc\"  \r\n"
      "Size=10\n"
      "no equal sign\r"
      "MODIFIED=Tue, 01 Jan 2030 00:00:00 GMT\r\n"
      "Down=a=b\r\n");
  EXPECT_EQ(Ini.ReadString("cfg", "etag", "?"), "\"abc\"");
  EXPECT_EQ(Ini.ReadString("Cfg", "SIZE", "?"), "10");
  EXPECT_EQ(Ini.ReadString("cfg", "Modified", "?"), "Tue, 01 Jan 2030 00:00:00 GMT");
  EXPECT_EQ(Ini.ReadString("cfg", "Down", "?"), "a=b");
  EXPECT_EQ(Ini.ReadString("cfg", "stray", "?"), "?");
  EXPECT_EQ(Ini.ReadString("other", "ETag", "?"), "?");
}

TEST(StateFile, NewKeysComeInWriteOrderAndLoadedOrderIsKept) {
  TMemIniFile Fresh;
  Fresh.WriteString("cfg", "ETag", "\"t\"");
  Fresh.WriteString("cfg", "Size", "5");
  Fresh.WriteString("cfg", "MODIFIED", "");
  Fresh.WriteString("cfg", "Down", "0");
  Fresh.WriteString("cfg", "down", "3");
  EXPECT_EQ(Fresh.Text(), "[cfg]\r\nETag=\"t\"\r\nSize=5\r\nMODIFIED=\r\nDown=3\r\n\r\n");

  TMemIniFile Loaded;
  Loaded.LoadFromText("[cfg]\nDown=1\nSize=5\nETag=x\n");
  Loaded.WriteString("cfg", "ETag", "y");
  Loaded.WriteString("cfg", "MODIFIED", "m");
  EXPECT_EQ(Loaded.Text(), "[cfg]\r\nDown=1\r\nSize=5\r\nETag=y\r\nMODIFIED=m\r\n\r\n");
}

TEST(StateFile, SavedFileReadsBackTheSame) {
  std::string Dir = zrtest::FreshDir("state_roundtrip");
  TMemIniFile Ini;
  Ini.WriteString("cfg", "ETag", "W/\"weak\"");
  Ini.WriteString("cfg", "Down", "123");
  ASSERT_TRUE(Ini.SaveToFile(Dir + "a.cfg"));
  EXPECT_FALSE(zrtest::FileExists(Dir + "a.cfg.tmp"));
  TMemIniFile Back;
  ASSERT_TRUE(Back.LoadFromFile(Dir + "a.cfg"));
  EXPECT_EQ(Back.Text(), Ini.Text());
  EXPECT_EQ(zrtest::ReadWholeFile(Dir + "a.cfg"), Ini.Text());
}

TEST(StateFile, MissingFileLoadsEmptyAndAFolderCannotBeRead) {
  std::string Dir = zrtest::FreshDir("state_missing");
  TMemIniFile Ini;
  Ini.WriteString("cfg", "Down", "1");
  EXPECT_TRUE(Ini.LoadFromFile(Dir + "none.cfg"));
  EXPECT_EQ(Ini.Text(), "");
  CreateDirectoryA((Dir + "folder.cfg").c_str(), nullptr);
  EXPECT_FALSE(Ini.LoadFromFile(Dir + "folder.cfg"));
}

TEST(StateFile, AFailedSaveLeavesTheEarlierFileWhole) {
  std::string Dir = zrtest::FreshDir("state_failed_save");
  std::string Name = Dir + "x.tsk.cfg";
  ASSERT_TRUE(zrtest::WriteWholeFile(Name, "[cfg]\r\nDown=7\r\n\r\n"));
  // The temporary name is taken by a folder, so the new text cannot be written.
  CreateDirectoryA((Name + ".tmp").c_str(), nullptr);
  TMemIniFile Ini;
  Ini.WriteString("cfg", "Down", "99");
  EXPECT_FALSE(Ini.SaveToFile(Name));
  EXPECT_EQ(zrtest::ReadWholeFile(Name), "[cfg]\r\nDown=7\r\n\r\n");
}

}  // namespace
