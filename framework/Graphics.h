// Colours, rectangles, fonts, a canvas over a device context and the
// pictures a TImage shows.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>

#include "framework/Classes.h"

// 0x00BBGGRR, or a system colour: 0x80000000 | COLOR_xxx index.
using TColor = std::uint32_t;

constexpr TColor clBlack = 0x000000;
constexpr TColor clWhite = 0xFFFFFF;
constexpr TColor clSilver = 0xC0C0C0;
constexpr TColor clGray = 0x808080;
constexpr TColor clRed = 0x0000FF;
constexpr TColor clLime = 0x00FF00;
constexpr TColor clBlue = 0xFF0000;
constexpr TColor clBtnFace = 0x80000000 | COLOR_BTNFACE;
constexpr TColor clBtnHighlight = 0x80000000 | COLOR_BTNHIGHLIGHT;
constexpr TColor clBtnShadow = 0x80000000 | COLOR_BTNSHADOW;
constexpr TColor clWindow = 0x80000000 | COLOR_WINDOW;
constexpr TColor clWindowText = 0x80000000 | COLOR_WINDOWTEXT;

COLORREF ColorToRGB(TColor Color);

// Left, top, right, bottom; right and bottom exclusive. Passes as RECT.
struct TRect : RECT {
  TRect() : RECT{0, 0, 0, 0} {}
  TRect(int ALeft, int ATop, int ARight, int ABottom) : RECT{ALeft, ATop, ARight, ABottom} {}
  explicit TRect(const RECT& R) : RECT(R) {}
  int Width() const { return right - left; }
  int Height() const { return bottom - top; }
};

using TPoint = POINT;

// A logical font. The platform font is created on first use of Handle() and
// again after each change; every change runs OnChange.
class TFont : public TObject {
 public:
  TFont() = default;
  ~TFont() override;
  TFont(const TFont&) = delete;
  TFont& operator=(const TFont&) = delete;

  void Assign(const TFont& Source);

  const std::string& Name() const { return FName; }
  void SetName(const std::string& Value);
  // Negative: character height in pixels; positive: cell height.
  int Height() const { return FHeight; }
  void SetHeight(int Value);
  BYTE Charset() const { return FCharset; }
  void SetCharset(BYTE Value);
  TColor Color() const { return FColor; }
  void SetColor(TColor Value);

  HFONT Handle();

  TNotifyEvent OnChange;

 private:
  void Changed();

  std::string FName = "MS Sans Serif";
  int FHeight = -11;
  BYTE FCharset = DEFAULT_CHARSET;
  TColor FColor = clWindowText;
  HFONT FHandle = nullptr;
};

// A device context with a font selected into it. Text is always drawn with
// a transparent background.
class TCanvas : public TObject {
 public:
  TCanvas();
  ~TCanvas() override;
  TCanvas(const TCanvas&) = delete;
  TCanvas& operator=(const TCanvas&) = delete;

  HDC Handle() const { return FHandle; }
  // Binds the canvas to DC (0 unbinds and gives the DC its old font back).
  void SetHandle(HDC DC);
  // Changes reach the bound DC at once.
  TFont& Font() { return FFont; }

  void FillRect(const TRect& R, TColor Color);
  // Draws GBK text with the canvas font; R is updated when Format has
  // DT_CALCRECT.
  int TextRect(TRect& R, const std::string& Text, UINT Format);

 private:
  void SelectFont();

  HDC FHandle = nullptr;
  HGDIOBJ FOldFont = nullptr;
  TFont FFont;
};

// A picture that can draw itself scaled into a rectangle.
class TGraphic : public TObject {
 public:
  virtual int Width() const = 0;
  virtual int Height() const = 0;
  bool Empty() const { return Width() < 1 || Height() < 1; }
  virtual void Draw(HDC DC, const TRect& Dest) const = 0;
  // Sizes from now on are pixels at PPI dots per inch (96 at first).
  virtual void SetPixelsPerInch(int) {}
};
