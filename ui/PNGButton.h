#pragma once
// Painted skin buttons drawn from a strip of state frames (normal, mouse
// over, pressed, disabled), and the same with a caption over the picture.
// A caption button also takes the form's keyboard focus and then shows a
// focus cue in the skin's colours.

#include <windows.h>

#include <cstdint>
#include <string>

#include "ui/PNGCommon.h"
#include "ui/PNGControl.h"

enum TCaptionALign { dsMid, dsLeft, dsRight };

class TPNGButton : public TPNGControl {
 public:
  explicit TPNGButton(TComponent* AOwner);

  int32_t NumGlyphs() const { return FNumGlyphs; }
  void SetNumGlyphs(int32_t Value);
  int32_t StateMax() const { return FStateMax; }
  void SetStateMax(int32_t Value);
  int32_t StateIndex() const { return FStateIndex; }
  void SetStateIndex(int32_t Value);
  TSplitStyle SplitStyle() const { return FSplitStyle; }
  void SetSplitStyle(TSplitStyle Value);
  bool Down() const { return FDown; }
  void SetDown(bool Value);
  bool Stretch() const { return FStretch; }
  void SetStretch(bool Value);
  bool Center() const { return FCenter; }
  void SetCenter(bool Value);
  // Greater than 0: a click sets the containing form's modal result
  // instead of running OnClick.
  int32_t ModalResult = 0;

  bool MouseIn() const { return FMouseIn; }
  // One frame of the strip.
  TFrameSize FrameSize() const;

  void Paint(HDC DC) override;
  long AccessibleRole() const override;

 protected:
  bool CanAutoSize(int& NewWidth, int& NewHeight) override;
  void MouseEnter() override;
  void MouseLeave() override;
  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void Click() override;

 private:
  int32_t FNumGlyphs = 3;
  int32_t FStateMax = 1;
  int32_t FStateIndex = 0;
  TSplitStyle FSplitStyle = spHorizontal;
  bool FDown = false;
  bool FStretch = false;
  bool FCenter = false;
  bool FMouseIn = false;
};

class TPNGCaptionButton : public TPNGButton {
 public:
  explicit TPNGCaptionButton(TComponent* AOwner) : TPNGButton(AOwner) { TabStop = true; }

  // Caption (GBK) and Font come from the control.
  bool ShowCaption() const { return FShowCaption; }
  void SetShowCaption(bool Value);
  TCaptionALign CaptionAligh() const { return FCaptionAligh; }
  void SetCaptionAligh(TCaptionALign Value);
  // Move the caption rectangle's left edge left and its top edge up.
  int32_t OffX() const { return FOffX; }
  void SetOffX(int32_t Value);
  int32_t OffY() const { return FOffY; }
  void SetOffY(int32_t Value);

  void Paint(HDC DC) override;

 private:
  bool FShowCaption = false;
  TCaptionALign FCaptionAligh = dsMid;
  int32_t FOffX = 0;
  int32_t FOffY = 0;
};
