// The command-line tests, run by a probe program on the command line the
// platform hands it, so that the platform's own splitting takes part.
#include <windows.h>

#include <string>

#include "gtest/gtest.h"
#include "tests/support/TestSupport.h"

namespace {

const DWORD SHELL_UAC = 1, SILENT = 2, POST_BBS = 4;

DWORD ProbeAnswer(const std::string& Arguments) {
  std::string CommandLine = zrtest::Quote(zrtest::SupportExe("switch_probe.exe"));
  if (!Arguments.empty()) CommandLine += " " + Arguments;
  zrtest::Process p = zrtest::StartProcess(CommandLine);
  DWORD Code = 1000;
  if (!p.handle || !zrtest::WaitProcess(p, 30000, &Code)) return 1000;
  return Code;
}

TEST(Switches, PositionAndCaseRules) {
  struct Case {
    const char* Arguments;
    DWORD Answer;
  } Cases[] = {
      {"", 0},
      {"/ShellUAC", SHELL_UAC},
      {"/shelluac", SHELL_UAC},
      {"/S /SHELLUAC", SILENT | SHELL_UAC},
      {"a b c /sHeLlUaC", SHELL_UAC},
      {"\"/ShellUAC\"", SHELL_UAC},
      {"/ShellUACx", 0},
      {"/ShellUAC2 /Shell", 0},
      {"\"/ShellUAC more\"", 0},
      {"/s", SILENT},
      {"/S", SILENT},
      {"x /S", 0},
      {"/Sx", 0},
      {"/S /postbbs", SILENT | POST_BBS},
      {"/x /POSTBBS", POST_BBS},
      {"/postbbs", 0},
      {"/S x /postbbs", SILENT},
      {"\"a b\" /postbbs", POST_BBS},
      {"/S \"/postbbs\" /ShellUAC", SILENT | POST_BBS | SHELL_UAC},
  };
  for (const Case& c : Cases)
    EXPECT_EQ(c.Answer, ProbeAnswer(c.Arguments)) << "arguments: " << c.Arguments;
}

TEST(Switches, ElevatedRelaunchPassesTheSilentAndShellUacSwitches) {
  std::string Record = zrtest::FreshDir("relaunch") + "record.txt";
  SetEnvironmentVariableA("ZR_PROBE_RECORD", Record.c_str());
  ProbeAnswer("--relaunch");
  std::string Text;
  for (int i = 0; i < 300 && Text.find("/ShellUAC") == std::string::npos; ++i) {
    Sleep(100);
    Text = zrtest::ReadWholeFile(Record);
  }
  SetEnvironmentVariableA("ZR_PROBE_RECORD", nullptr);
  EXPECT_EQ("--relaunch\n/S|/ShellUAC\n", Text);
}

}  // namespace
