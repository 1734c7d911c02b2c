// The updater's entry: single-instance test, application object with its
// hidden main window, and the message loop.
#include <windows.h>

#include "app/uConst.h"
#include "app/uFunction.h"
#include "app/uRuning.h"
#include "framework/Application.h"
#include "framework/Forms.h"

namespace {

const char UPDATE_MUTEX_NAME[] = "ZeRun_Mutex_Update";
const char APPLICATION_TITLE[] = "泽润影音升级程序";

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  // The elevated re-launch runs while the first instance still holds the mutex.
  if (!HasSwitch(SHELL_UAC_SWITCH) && IsAlreadyRunning(UPDATE_MUTEX_NAME))
    return 0;

  Application->Initialize();
  Application->ShowMainForm = false;
  Application->SetTitle(APPLICATION_TITLE);
  // Stand-in for the progress window (TFormProgress, not built yet): a plain
  // hidden form, which grants every close.
  TForm* MainForm = nullptr;
  Application->CreateForm(MainForm);

  // TODO(controller): create TCallBackHelper here with Application as its
  // owner, and free it after Run, also when Run ends by an exception.
  try {
    Application->Run();
  } catch (...) {
    // The process ends with 0 whatever happened.
  }
  return 0;
}
