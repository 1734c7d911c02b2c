#include "ui/ufrmShadowFrame.h"

namespace {

bool ClassHasDropShadow(HWND Wnd) { return (GetClassLongA(Wnd, GCL_STYLE) & CS_DROPSHADOW) != 0; }

// A "TFormShadow" window 32 pixels larger on every side, or offset evenly.
bool FitsAsShadow(const RECT& Shadow, const RECT& Served) {
  const bool Size = Shadow.right - Shadow.left == Served.right - Served.left + 64 &&
                    Shadow.bottom - Shadow.top == Served.bottom - Served.top + 64;
  const int DX = Shadow.left - (Served.left - 32), DY = Shadow.top - (Served.top - 32);
  return Size && DX == DY;
}

}  // namespace

BOOL CALLBACK FindShadowWindow(HWND Wnd, LPARAM Data) {
  auto* Search = reinterpret_cast<TShadowSearch*>(Data);
  if (!IsWindowVisible(Wnd)) return TRUE;
  char ClassName[256] = {};
  GetClassNameA(Wnd, ClassName, sizeof(ClassName));
  RECT Rect{}, Served{};
  GetWindowRect(Wnd, &Rect);
  GetWindowRect(Search->Served, &Served);
  bool Found = false;
  if (lstrcmpiA(ClassName, "SysShadow") == 0)
    Found = Rect.left == Served.left && Rect.top == Served.top;
  else if (lstrcmpiA(ClassName, "TFormShadow") == 0)
    Found = GetPropA(Wnd, ShadowOwnerProp) == Search->Served || FitsAsShadow(Rect, Served);
  if (!Found) return TRUE;
  Search->Found = Wnd;
  return FALSE;
}

void SyncShadow(TWinControl* Form, HWND& Shadow) {
  HWND Wnd = Form->Handle();
  if (!IsWindowVisible(Wnd)) return;
  if (!ClassHasDropShadow(Wnd) && !FindWindowA("TFormShadow", nullptr)) return;
  if (!Shadow) {
    TShadowSearch Search{nullptr, Wnd};
    EnumThreadWindows(GetCurrentThreadId(), FindShadowWindow, reinterpret_cast<LPARAM>(&Search));
    if (Search.Found) Shadow = Search.Found;
  }
  if (Shadow)
    SetWindowPos(Shadow, Wnd, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE | SWP_NOOWNERZORDER);
}
