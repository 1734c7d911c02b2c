// Runs the updater's command-line tests on its own command line and answers
// through the exit code: 1 = "/ShellUAC" anywhere, 2 = silent, 4 = "/postbbs".
// With %ZR_PROBE_RECORD% set it appends its parameters (one line, separated
// by '|') to that file. "--relaunch" as parameter 1 re-launches it elevated.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/uConst.h"
#include "app/uFunction.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  const char* Record = std::getenv("ZR_PROBE_RECORD");
  if (Record && *Record) {
    std::string Line;
    for (int i = 1; i <= ParamCount(); ++i) Line += (i > 1 ? "|" : "") + ParamStr(i);
    if (FILE* f = std::fopen(Record, "ab")) {
      std::fprintf(f, "%s\n", Line.c_str());
      std::fclose(f);
    }
  }
  if (ParamStr(1) == "--relaunch") RelaunchElevated();
  return (HasSwitch(SHELL_UAC_SWITCH) ? 1 : 0) | (IsSilentRun() ? 2 : 0) |
         (IsPostBbsRun() ? 4 : 0);
}
