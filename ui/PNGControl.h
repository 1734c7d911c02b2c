#pragma once
// The base of the painted skin controls and the picture they hold.

#include <windows.h>

#include "framework/Controls.h"
#include "image/Picture.h"

class TPNGCustomControl : public TControl {
 public:
  explicit TPNGCustomControl(TComponent* AOwner) : TControl(AOwner) {}

  // The parent paints the control on its own DC with the origin moved to
  // the control's top-left corner and clipping to its bounds; nothing is
  // erased first. The base draws nothing.
  void Paint(HDC DC) override;
};

class TPNGControl : public TPNGCustomControl {
 public:
  explicit TPNGControl(TComponent* AOwner);

  // Owned; every change of the held picture runs PictureChanged.
  TPicture& PNGImage() { return FPNGImage; }
  const TPicture& PNGImage() const { return FPNGImage; }
  void SetPNGImage(const TPicture& Value) { FPNGImage.Assign(Value); }
  // The picture follows to the new dpi, at the nearest drawn scale.
  void ChangeScale(int M, int D) override;

 protected:
  virtual void PictureChanged();

 private:
  TPicture FPNGImage;
};
