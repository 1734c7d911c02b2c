#include "framework/DisplayScale.h"

namespace {

using TGetDpiForWindow = UINT(WINAPI*)(HWND);

TGetDpiForWindow GetDpiForWindowFunction() {
  static const auto Function = reinterpret_cast<TGetDpiForWindow>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("user32.dll"), "GetDpiForWindow")));
  return Function;
}

int SystemPixelsPerInch() {
  HDC Screen = GetDC(nullptr);
  const int PPI = Screen ? GetDeviceCaps(Screen, LOGPIXELSY) : 0;
  if (Screen) ReleaseDC(nullptr, Screen);
  return PPI;
}

}  // namespace

int WindowPixelsPerInch(HWND Wnd) {
  int PPI = 0;
  if (TGetDpiForWindow GetDpi = GetDpiForWindowFunction()) PPI = static_cast<int>(GetDpi(Wnd));
  if (PPI <= 0) PPI = SystemPixelsPerInch();
  return PPI > 0 ? PPI : kDesignPixelsPerInch;
}
