#include "framework/ComCtrls.h"

#include <commctrl.h>
#include <oleacc.h>

#include <algorithm>

TProgressBar::TProgressBar(TComponent* AOwner) : TWinControl(AOwner) {
  FWidth = 150;
  FHeight = 16;
}

void TProgressBar::CreateParams(TCreateParams& Params) {
  TWinControl::CreateParams(Params);
  CreateSubClass(Params, PROGRESS_CLASSA);
  Params.WinClassName = "TProgressBar";
}

void TProgressBar::CreateWnd() {
  INITCOMMONCONTROLSEX Init{sizeof(Init), ICC_PROGRESS_CLASS};
  InitCommonControlsEx(&Init);
  TWinControl::CreateWnd();
  ApplyRange();
}

void TProgressBar::ApplyRange() {
  FPosition = std::clamp(FPosition, FMin, std::max(FMin, FMax));
  if (!HandleAllocated()) return;
  SendMessageA(Handle(), PBM_SETRANGE32, FMin, FMax);
  SendMessageA(Handle(), PBM_SETPOS, FPosition, 0);
}

void TProgressBar::SetMin(int Value) {
  if (Value == FMin) return;
  FMin = Value;
  ApplyRange();
}

void TProgressBar::SetMax(int Value) {
  if (Value == FMax) return;
  FMax = Value;
  ApplyRange();
}

void TProgressBar::SetPosition(int Value) {
  if (Value == FPosition) return;
  FPosition = Value;
  ApplyRange();
}

long TProgressBar::AccessibleRole() const { return ROLE_SYSTEM_PROGRESSBAR; }

std::wstring TProgressBar::AccessibleValue() const {
  const int Range = FMax - FMin;
  const int Percent = Range > 0 ? static_cast<int>((FPosition - FMin) * 100LL / Range) : 0;
  // Widened by hand: std::to_wstring links the library's whole wide printf.
  std::string Digits = std::to_string(Percent) + "%";
  return std::wstring(Digits.begin(), Digits.end());
}
