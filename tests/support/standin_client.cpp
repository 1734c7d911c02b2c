// Stand-in for the player's main window. Records each WM_CLOSE it receives
// (with a time stamp) in a file, then exits.
//
//   standin_client.exe --record FILE [--title TEXT] [--slow MS]
//
// --slow keeps the window from answering WM_CLOSE for MS milliseconds, to
// exercise the caller's time-out. The class is always "TZeRunMainForm".
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

std::string g_record;
DWORD g_slowMs = 0;

void AppendRecord(const std::string& line) {
  FILE* f = std::fopen(g_record.c_str(), "ab");
  if (!f) return;
  std::fputs(line.c_str(), f);
  std::fclose(f);
}

LRESULT CALLBACK ClientProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_CLOSE: {
      if (g_slowMs) Sleep(g_slowMs);
      SYSTEMTIME t;
      GetLocalTime(&t);
      char line[128];
      std::snprintf(line, sizeof line, "WM_CLOSE %04u-%02u-%02u %02u:%02u:%02u.%03u tick=%lu\r\n", t.wYear,
                    t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds,
                    static_cast<unsigned long>(GetTickCount()));
      AppendRecord(line);
      // Answer first: destroying a visible window can take seconds under
      // Wine without a window manager, and the sender is timing us.
      PostMessageA(wnd, WM_APP, 0, 0);
      return 0;
    }
    case WM_APP:
      DestroyWindow(wnd);
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcA(wnd, msg, wp, lp);
}

}  // namespace

int WINAPI WinMain(HINSTANCE inst, HINSTANCE, LPSTR, int) {
  std::string title = "泽润影音";
  for (int i = 1; i + 1 < __argc; ++i) {
    std::string a = __argv[i];
    if (a == "--record") g_record = __argv[++i];
    else if (a == "--title") title = __argv[++i];
    else if (a == "--slow") g_slowMs = static_cast<DWORD>(std::strtoul(__argv[++i], nullptr, 10));
  }
  if (g_record.empty()) return 2;

  WNDCLASSA wc = {};
  wc.lpfnWndProc = ClientProc;
  wc.hInstance = inst;
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  wc.lpszClassName = "TZeRunMainForm";
  if (!RegisterClassA(&wc)) return 3;
  HWND wnd = CreateWindowExA(0, wc.lpszClassName, title.c_str(), WS_OVERLAPPEDWINDOW, 40, 40, 320, 200,
                             nullptr, nullptr, inst, nullptr);
  if (!wnd) return 4;
  ShowWindow(wnd, SW_SHOWNOACTIVATE);
  MSG m;
  while (GetMessageA(&m, nullptr, 0, 0) > 0) {
    TranslateMessage(&m);
    DispatchMessageA(&m);
  }
  return 0;
}
