#pragma once
// The borderless skinned window base: a background picture that covers the
// whole window, a skin close button at the top right, moving by the top
// strip, double-buffered painting.

#include <windows.h>

#include "ui/PNGButton.h"
#include "ui/PNGImage.h"
#include "ui/uQuietForm.h"

class TFormSkinBase2 : public TQuietForm {
 public:
  explicit TFormSkinBase2(TComponent* AOwner);

  // Painted first, below every component a descendant adds.
  TPNGImage* imgMainBG;
  TPNGButton* btnClose;

  void btnCloseClick(TObject* Sender);
  void imgFrmBGTopMouseDown(TObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y);
  void imgFrmBGTopDblClick(TObject* Sender);

  LRESULT WndProc(UINT Msg, WPARAM WParam, LPARAM LParam) override;

 protected:
  void CreateWnd() override;

 private:
  void LayOutCloseButton();
};

// Masks every floating-point exception of the calling thread (x87 control
// word 0x133F: all masked, 64-bit mantissa, round to nearest; SSE likewise).
void MaskFPUExceptions();
