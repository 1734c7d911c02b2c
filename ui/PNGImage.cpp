#include "ui/PNGImage.h"

void TPNGImage::SetDrawStyle(TPNGDrawStyle Value) {
  if (Value == FDrawStyle) return;
  FDrawStyle = Value;
  Invalidate();
}

void TPNGImage::SetThrough(bool Value) {
  FThrough = Value;  // the mouse is asked anew each time: nothing to repaint
}

void TPNGImage::Paint(HDC DC) {
  DrawPicture(&PNGImage(), DC, {0, 0, Width(), Height()}, 1, 0, FDrawStyle);
  if (OnPNGImagePaintEnd) OnPNGImagePaintEnd(this, DC);
}

int TPNGImage::HitTest(int X, int Y) {
  int Result = TPNGControl::HitTest(X, Y);
  if (FThrough) Result = HTNOWHERE;
  return Result;
}

bool TPNGImage::CanAutoSize(int& NewWidth, int& NewHeight) {
  if (PNGImage().Empty()) return false;  // any size while there is no picture
  NewWidth = PNGImage().Width();
  NewHeight = PNGImage().Height();
  return true;
}
