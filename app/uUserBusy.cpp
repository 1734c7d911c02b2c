#include "app/uUserBusy.h"

#include <shellapi.h>

#include "app/uConst.h"
#include "framework/Application.h"

bool PlayerFillsItsMonitor() {
  HWND Player = FindWindowA(CLIENT_WINDOW_CLASS, nullptr);
  if (!Player || !IsWindowVisible(Player) || IsIconic(Player)) return false;
  RECT Window;
  MONITORINFO Info{};
  Info.cbSize = sizeof(Info);
  if (!GetWindowRect(Player, &Window) ||
      !GetMonitorInfoA(MonitorFromWindow(Player, MONITOR_DEFAULTTONEAREST), &Info))
    return false;
  const RECT& Screen = Info.rcMonitor;
  return Window.left <= Screen.left && Window.top <= Screen.top && Window.right >= Screen.right &&
         Window.bottom >= Screen.bottom;
}

bool UserIsBusy() {
  QUERY_USER_NOTIFICATION_STATE State;
  if (SUCCEEDED(SHQueryUserNotificationState(&State)) &&
      (State == QUNS_BUSY || State == QUNS_RUNNING_D3D_FULL_SCREEN || State == QUNS_PRESENTATION_MODE))
    return true;
  return PlayerFillsItsMonitor();
}

void WaitUntilUserIsFree(DWORD IntervalMs) {
  while (!Application->Terminated() && UserIsBusy()) {
    DWORD Start = GetTickCount();
    while (!Application->Terminated() && GetTickCount() - Start < IntervalMs) {
      MsgWaitForMultipleObjects(0, nullptr, FALSE, IntervalMs - (GetTickCount() - Start), QS_ALLINPUT);
      Application->ProcessMessages();
    }
  }
}
