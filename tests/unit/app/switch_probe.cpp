// Runs the updater's command-line tests on its own command line and answers
// through the exit code: 1 = "/ShellUAC" anywhere, 2 = silent, 4 = "/postbbs".
#include <windows.h>

#include "app/uConst.h"
#include "app/uFunction.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  return (HasSwitch(SHELL_UAC_SWITCH) ? 1 : 0) | (IsSilentRun() ? 2 : 0) |
         (IsPostBbsRun() ? 4 : 0);
}
