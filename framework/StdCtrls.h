// The painted label base and the platform's list box and memo.
#pragma once

#include <string>

#include "framework/Classes.h"
#include "framework/Controls.h"

enum TTextLayout { tlTop, tlCenter, tlBottom };

// A painted label, left-aligned, "&" marking the next character as an
// accelerator. While AutoSize is on (the default) its size is the size of
// its text. Override DoDrawText to draw another text the same way.
class TCustomLabel : public TControl {
 public:
  explicit TCustomLabel(TComponent* AOwner);

  bool Transparent() const { return FTransparent; }
  void SetTransparent(bool Value);
  TTextLayout Layout() const { return FLayout; }
  void SetLayout(TTextLayout Value);
  bool WordWrap() const { return FWordWrap; }
  void SetWordWrap(bool Value);

  void Paint(HDC DC) override;
  long AccessibleRole() const override;

 protected:
  // Draws (or with DT_CALCRECT measures) the text in Rect on Canvas().
  virtual void DoDrawText(TRect& Rect, UINT Flags);
  bool CanAutoSize(int& NewWidth, int& NewHeight) override;
  void TextChanged() override;
  void FontChanged() override;

 private:
  void Changed();

  bool FTransparent = false;
  TTextLayout FLayout = tlTop;
  bool FWordWrap = false;
};

// The platform list box; its items live in the window, which is created on
// first use of Items().
class TListBox : public TWinControl {
 public:
  explicit TListBox(TComponent* AOwner);
  ~TListBox() override;

  TStrings& Items() { return *FItems; }
  // -1: no selection. Selecting scrolls the item into view.
  int ItemIndex();
  void SetItemIndex(int Value);
  // 0: the height the font gives.
  int ItemHeight() const { return FItemHeight; }
  void SetItemHeight(int Value);

 protected:
  void CreateParams(TCreateParams& Params) override;
  void CreateWnd() override;
  void FontChanged() override;
  void ChangeScale(int M, int D) override;

 private:
  void ApplyItemHeight();

  TStrings* FItems;
  int FItemHeight = 0;
};

// The platform's multi-line edit; lines break at the control's width, and
// a vertical scroll bar shows when they do not all fit.
class TMemo : public TWinControl {
 public:
  explicit TMemo(TComponent* AOwner);
  ~TMemo() override;

  // Setting Lines' text turns every line break (CR LF, LF or CR) into a new
  // line.
  TStrings& Lines() { return *FLines; }
  bool ReadOnly() const { return FReadOnly; }
  void SetReadOnly(bool Value);
  // Shows the scroll bar exactly when the text is taller than the memo.
  void FitScrollBar();

 protected:
  void CreateParams(TCreateParams& Params) override;
  void CreateWnd() override;

 private:
  TStrings* FLines;
  bool FReadOnly = false;
};
