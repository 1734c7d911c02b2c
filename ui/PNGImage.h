#pragma once
// A picture control with a draw style, optionally invisible to the mouse.

#include <windows.h>

#include <functional>

#include "ui/PNGCommon.h"
#include "ui/PNGControl.h"

using TPNGImagePaintEndEvent = std::function<void(TObject* Sender, HDC DC)>;

class TPNGImage : public TPNGControl {
 public:
  explicit TPNGImage(TComponent* AOwner) : TPNGControl(AOwner) {}

  TPNGDrawStyle DrawStyle() const { return FDrawStyle; }
  void SetDrawStyle(TPNGDrawStyle Value);
  // True: presses, clicks and the pointer pass to what lies beneath.
  bool Through() const { return FThrough; }
  void SetThrough(bool Value);

  // Runs after each paint with the same DC, for drawing over the picture.
  TPNGImagePaintEndEvent OnPNGImagePaintEnd;

  void Paint(HDC DC) override;
  int HitTest(int X, int Y) override;

 protected:
  bool CanAutoSize(int& NewWidth, int& NewHeight) override;

 private:
  TPNGDrawStyle FDrawStyle = dsNone;
  bool FThrough = false;
};
