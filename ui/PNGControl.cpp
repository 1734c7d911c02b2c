#include "ui/PNGControl.h"

void TPNGCustomControl::Paint(HDC) {}

TPNGControl::TPNGControl(TComponent* AOwner) : TPNGCustomControl(AOwner) {
  FPNGImage.OnChange = [this] { PictureChanged(); };
}

void TPNGControl::ChangeScale(int M, int D) {
  FPNGImage.SetPixelsPerInch(M);
  TPNGCustomControl::ChangeScale(M, D);
}

void TPNGControl::PictureChanged() {
  if (AutoSize() && !FPNGImage.Empty())
    SetBounds(Left(), Top(), FPNGImage.Width(), FPNGImage.Height());
  Invalidate();
}
