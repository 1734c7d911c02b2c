// The updater's entry: single-instance test, application object with its
// hidden main window, the update controller and the message loop.
#include <windows.h>

#include "app/uCallBackHelper.h"
#include "app/uConst.h"
#include "app/uFunction.h"
#include "app/uRuning.h"
#include "app/uVersion.h"
#include "framework/Application.h"
#include "framework/uLog.h"
#include "ui/frmProgress.h"

#include <cstdlib>

// The library's handler for an exception nobody caught prints its type,
// demangled, to a console this GUI program does not have, and links a whole
// C++ demangler for that. Ending at once is all the user would see anyway.
namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx

namespace {

const char UPDATE_MUTEX_NAME[] = "ZeRun_Mutex_Update";
const char APPLICATION_TITLE[] = "泽润影音升级程序";

// DLLs loaded by name come from System32 only, never from the program's
// folder or the current one. Systems without the call (Windows 7 before
// KB2533623) at least leave the current folder out.
void RestrictDllSearch() {
  using TSetDefaultDllDirectories = BOOL(WINAPI*)(DWORD);
  auto SetDefault = reinterpret_cast<TSetDefaultDllDirectories>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "SetDefaultDllDirectories")));
  if (!SetDefault || !SetDefault(LOAD_LIBRARY_SEARCH_SYSTEM32)) SetDllDirectoryA("");
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  RestrictDllSearch();
  OpenLog(GetUserDataDir());
  const char* Kind = HasSwitch(SHELL_UAC_SWITCH) ? "elevated re-launch" : IsSilentRun() ? "quiet" : "interactive";
  Log("run starts: %s%s, ZeRunUpdate %s", Kind, IsPostBbsRun() ? " /postbbs" : "", ZR_VERSION_TEXT);
  // The elevated re-launch runs while the first instance still holds the mutex.
  if (!HasSwitch(SHELL_UAC_SWITCH) && IsAlreadyRunning(UPDATE_MUTEX_NAME)) {
    ShowRunningInstance();
    Log("run ends: another run is under way");
    CloseLog();
    return 0;
  }

  // A quiet run asks first: most end here, with nothing shown.
  if (IsSilentRun() && !RunQuietCheck()) {
    Log("run ends");
    CloseLog();
    return 0;
  }

  Application->Initialize();
  Application->ShowMainForm = false;
  Application->SetTitle(APPLICATION_TITLE);
  // The progress window class, never shown, is the main window.
  Application->CreateForm(FormProgress);
  Application->OnWindowMessage = [](UINT Msg) {
    if (Msg != ShowRunningMessage()) return false;
    FormProgress->RestoreFromTray();
    Application->BringToFront();
    return true;
  };

  // In an interactive run the whole dialogue happens inside this constructor.
  TCallBackHelper* Helper = nullptr;
  try {
    Helper = new TCallBackHelper(Application);
    Application->Run();
  } catch (...) {
    // The process ends with 0 whatever happened; the controller is freed below.
  }
  delete Helper;
  Log("run ends");
  CloseLog();
  return 0;
}
