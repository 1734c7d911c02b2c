#include "framework/Graphics.h"

#include "framework/GbkText.h"

COLORREF ColorToRGB(TColor Color) {
  if (Color & 0x80000000) return GetSysColor(static_cast<int>(Color & 0xFF));
  return static_cast<COLORREF>(Color & 0xFFFFFF);
}

TFont::~TFont() {
  if (FHandle) DeleteObject(FHandle);
}

void TFont::Assign(const TFont& Source) {
  if (Source.FName == FName && Source.FHeight == FHeight && Source.FCharset == FCharset &&
      Source.FColor == FColor)
    return;
  FName = Source.FName;
  FHeight = Source.FHeight;
  FCharset = Source.FCharset;
  FColor = Source.FColor;
  Changed();
}

void TFont::SetName(const std::string& Value) {
  if (Value == FName) return;
  FName = Value;
  Changed();
}

void TFont::SetHeight(int Value) {
  if (Value == FHeight) return;
  FHeight = Value;
  Changed();
}

void TFont::SetCharset(BYTE Value) {
  if (Value == FCharset) return;
  FCharset = Value;
  Changed();
}

void TFont::SetColor(TColor Value) {
  if (Value == FColor) return;
  FColor = Value;
  Changed();
}

HFONT TFont::Handle() {
  if (!FHandle) {
    LOGFONTW Log{};
    Log.lfHeight = FHeight;
    Log.lfWeight = FW_NORMAL;
    Log.lfCharSet = FCharset;
    Log.lfOutPrecision = OUT_DEFAULT_PRECIS;
    Log.lfClipPrecision = CLIP_DEFAULT_PRECIS;
    Log.lfQuality = DEFAULT_QUALITY;
    Log.lfPitchAndFamily = DEFAULT_PITCH;
    lstrcpynW(Log.lfFaceName, GbkToWide(FName).c_str(), LF_FACESIZE);
    FHandle = CreateFontIndirectW(&Log);
  }
  return FHandle;
}

void TFont::Changed() {
  // The old font may still be selected into a canvas: delete it only after
  // OnChange has selected the new one.
  HFONT Old = FHandle;
  FHandle = nullptr;
  if (OnChange) OnChange(this);
  if (Old) DeleteObject(Old);
}

TCanvas::TCanvas() {
  FFont.OnChange = [this](TObject*) { SelectFont(); };
}

TCanvas::~TCanvas() { SetHandle(nullptr); }

void TCanvas::SetHandle(HDC DC) {
  if (DC == FHandle) return;
  if (FHandle && FOldFont) SelectObject(FHandle, FOldFont);
  FHandle = DC;
  FOldFont = nullptr;
  if (!FHandle) return;
  SetBkMode(FHandle, TRANSPARENT);
  SelectFont();
}

void TCanvas::SelectFont() {
  if (!FHandle) return;
  HGDIOBJ Old = SelectObject(FHandle, FFont.Handle());
  if (!FOldFont) FOldFont = Old;
  SetTextColor(FHandle, ColorToRGB(FFont.Color()));
}

void TCanvas::FillRect(const TRect& R, TColor Color) {
  HBRUSH Brush = CreateSolidBrush(ColorToRGB(Color));
  ::FillRect(FHandle, &R, Brush);
  DeleteObject(Brush);
}

int TCanvas::TextRect(TRect& R, const std::string& Text, UINT Format) {
  std::wstring Wide = GbkToWide(Text);
  return DrawTextW(FHandle, Wide.c_str(), static_cast<int>(Wide.size()), &R, Format);
}
