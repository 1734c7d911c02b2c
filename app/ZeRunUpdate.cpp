// The updater's entry: single-instance test, application object with its
// hidden main window, the update controller and the message loop.
#include <windows.h>

#include "app/uCallBackHelper.h"
#include "app/uConst.h"
#include "app/uFunction.h"
#include "app/uRuning.h"
#include "framework/Application.h"
#include "ui/frmProgress.h"

namespace {

const char UPDATE_MUTEX_NAME[] = "ZeRun_Mutex_Update";
const char APPLICATION_TITLE[] = "泽润影音升级程序";

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  // The elevated re-launch runs while the first instance still holds the mutex.
  if (!HasSwitch(SHELL_UAC_SWITCH) && IsAlreadyRunning(UPDATE_MUTEX_NAME)) {
    ShowRunningInstance();
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
  return 0;
}
