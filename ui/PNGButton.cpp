#include "ui/PNGButton.h"

#include <oleacc.h>

#include "framework/Forms.h"

namespace {

// Stores Value and repaints, only when it differs from what is stored.
template <typename T>
void SetAndRepaint(TControl& Control, T& Field, T Value) {
  if (Value == Field) return;
  Field = Value;
  Control.Invalidate();
}

// A rounded frame in the sky blue of the windows' title strip, just inside
// the button's outline.
void DrawFocusCue(HDC DC, int Width, int Height) {
  HPEN Pen = CreatePen(PS_SOLID, 1, RGB(40, 190, 244));
  HGDIOBJ OldPen = SelectObject(DC, Pen);
  HGDIOBJ OldBrush = SelectObject(DC, GetStockObject(NULL_BRUSH));
  RoundRect(DC, 2, 2, Width - 2, Height - 2, 5, 5);
  SelectObject(DC, OldBrush);
  SelectObject(DC, OldPen);
  DeleteObject(Pen);
}

}  // namespace

TPNGButton::TPNGButton(TComponent* AOwner) : TPNGControl(AOwner) {}

TFrameSize TPNGButton::FrameSize() const {
  return ButtonFrameSize(PNGImage().Width(), PNGImage().Height(), FNumGlyphs, FStateMax,
                         FSplitStyle);
}

bool TPNGButton::CanAutoSize(int& NewWidth, int& NewHeight) {
  if (PNGImage().Empty()) return false;  // any size while there is no picture
  const TFrameSize Frame = FrameSize();
  NewWidth = Frame.Width;
  NewHeight = Frame.Height;
  return true;
}

void TPNGButton::SetNumGlyphs(int32_t Value) {
  if (Value == FNumGlyphs || Value <= 0) return;
  FNumGlyphs = Value;
  if (AutoSize()) AdjustSize();
}

void TPNGButton::SetStateMax(int32_t Value) {
  if (Value == FStateMax || Value <= 0) return;
  FStateMax = Value;
  if (FStateIndex >= Value) FStateIndex = Value - 1;
  if (AutoSize()) AdjustSize();
  Invalidate();
}

void TPNGButton::SetStateIndex(int32_t Value) {
  if (Value == FStateIndex || Value < 0) return;
  FStateIndex = Value;
  Invalidate();
}

void TPNGButton::SetSplitStyle(TSplitStyle Value) {
  if (Value == FSplitStyle) return;
  FSplitStyle = Value;
  SetBounds(Left(), Top(), Height(), Width());
}

void TPNGButton::SetDown(bool Value) { SetAndRepaint(*this, FDown, Value); }

void TPNGButton::SetStretch(bool Value) { SetAndRepaint(*this, FStretch, Value); }

void TPNGButton::SetCenter(bool Value) { SetAndRepaint(*this, FCenter, Value); }

void TPNGButton::Paint(HDC DC) {
  if (PNGImage().Empty()) return;
  const TFrameSize Frame = FrameSize();
  const int StateFrame =
      ButtonStateFrame(FNumGlyphs, {Enabled(), FDown, LeftButtonHeld(), FMouseIn});
  const TDrawRect Source = ButtonSourceRect(Frame, FStateIndex, StateFrame, FSplitStyle);
  const TDrawRect Dest = ButtonDestRect(Width(), Height(), Frame, FStretch, FCenter);
  DrawThreeSlice(&PNGImage(), DC, Dest, Source);
  TForm* Form = GetParentForm(this);
  if (Form && Form->ShowsFocusCue(this)) DrawFocusCue(DC, Width(), Height());
}

long TPNGButton::AccessibleRole() const { return ROLE_SYSTEM_PUSHBUTTON; }

void TPNGButton::MouseEnter() {
  TPNGControl::MouseEnter();
  if (!FMouseIn) {
    FMouseIn = true;
    Invalidate();
  }
}

void TPNGButton::MouseLeave() {
  TPNGControl::MouseLeave();
  if (FMouseIn) {
    FMouseIn = false;
    Invalidate();
  }
}

void TPNGButton::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  TPNGControl::MouseDown(Button, Shift, X, Y);
  if (Button == mbLeft) Invalidate();
}

void TPNGButton::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
  TPNGControl::MouseUp(Button, Shift, X, Y);
  if (Button == mbLeft) Invalidate();
}

void TPNGButton::Click() {
  if (ModalResult > 0) {
    if (TForm* Form = GetParentForm(this)) Form->SetModalResult(ModalResult);
    return;
  }
  TPNGControl::Click();
}

// TPNGCaptionButton

void TPNGCaptionButton::SetShowCaption(bool Value) { SetAndRepaint(*this, FShowCaption, Value); }

void TPNGCaptionButton::SetCaptionAligh(TCaptionALign Value) {
  SetAndRepaint(*this, FCaptionAligh, Value);
}

void TPNGCaptionButton::SetOffX(int32_t Value) { SetAndRepaint(*this, FOffX, Value); }

void TPNGCaptionButton::SetOffY(int32_t Value) { SetAndRepaint(*this, FOffY, Value); }

void TPNGCaptionButton::Paint(HDC DC) {
  static const UINT AlignFlags[] = {DT_CENTER, DT_LEFT, DT_RIGHT};
  TPNGButton::Paint(DC);
  if (!FShowCaption && !PNGImage().Empty()) return;
  HDC Previous = Canvas().Handle();
  Canvas().SetHandle(DC);  // selects the font, transparent background
  Canvas().Font().Assign(Font());
  TRect R(-FOffX, -FOffY, Width(), Height());
  Canvas().TextRect(R, Caption(), DT_SINGLELINE | DT_VCENTER | DT_END_ELLIPSIS | AlignFlags[FCaptionAligh]);
  Canvas().SetHandle(Previous);
}
