#include "ui/uTransLabel.h"

#include "framework/GbkText.h"

void TLabel::SetCaptionW(const std::u16string& Value) {
  if (Value == FCaptionW) return;
  FCaptionW = Value;
  TextChanged();  // measures again and repaints
}

std::wstring TLabel::DisplayText() const {
  if (!FCaptionW.empty()) return std::wstring(FCaptionW.begin(), FCaptionW.end());
  return GbkToWide(Caption());
}

void TLabel::DoDrawText(TRect& Rect, UINT Flags) {
  // 1. CaptionW, else the 8-bit caption, which is GBK.
  std::wstring Text = DisplayText();
  // 2. An empty label still has the height of one line.
  if ((Flags & DT_CALCRECT) && (Text.empty() || Text == L"&")) Text += L' ';
  // 3. The label's font.
  HDC DC = Canvas().Handle();
  Canvas().Font().Assign(Font());
  // 4. Enabled: once; disabled: embossed in the button highlight and shadow colours.
  if (Enabled()) {
    DrawTextW(DC, Text.c_str(), int(Text.size()), &Rect, Flags);
    return;
  }
  const COLORREF Old = GetTextColor(DC);
  OffsetRect(&Rect, 1, 1);
  SetTextColor(DC, GetSysColor(COLOR_BTNHIGHLIGHT));
  DrawTextW(DC, Text.c_str(), int(Text.size()), &Rect, Flags);
  OffsetRect(&Rect, -1, -1);
  SetTextColor(DC, GetSysColor(COLOR_BTNSHADOW));
  DrawTextW(DC, Text.c_str(), int(Text.size()), &Rect, Flags);
  SetTextColor(DC, Old);
}
