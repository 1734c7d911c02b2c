// Helpers of the framework suite: a fresh application per test, pixels
// painted into memory, deferred actions for modal runs, a recording control.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "framework/Application.h"
#include "framework/Controls.h"
#include "framework/Graphics.h"

namespace fwtest {

// Stands in for the global application object during one test.
class ScopedApplication {
 public:
  ScopedApplication();
  ~ScopedApplication();
  ScopedApplication(const ScopedApplication&) = delete;
  ScopedApplication& operator=(const ScopedApplication&) = delete;
  TApplication& App() { return FApp; }

 private:
  TApplication* FSaved;
  TApplication FApp{nullptr};
};

// A 32-bit top-down bitmap as a picture, copied when drawn.
class TestBitmap : public TGraphic {
 public:
  TestBitmap(int AWidth, int AHeight);
  ~TestBitmap() override;
  TestBitmap(const TestBitmap&) = delete;
  TestBitmap& operator=(const TestBitmap&) = delete;

  int Width() const override { return FWidth; }
  int Height() const override { return FHeight; }
  void Draw(HDC DC, const TRect& Dest) const override;
  // Row-major pixels, 0x00RRGGBB, Width() * Height() of them.
  std::uint32_t* Bits() const { return FBits; }
  HBITMAP Handle() const { return FHandle; }

 private:
  int FWidth;
  int FHeight;
  HBITMAP FHandle = nullptr;
  std::uint32_t* FBits = nullptr;
};

// A 32-bit memory bitmap to paint into; At gives 0xRRGGBB.
class Pixels {
 public:
  Pixels(int Width, int Height, std::uint32_t Fill = 0x000000);
  ~Pixels();
  Pixels(const Pixels&) = delete;
  Pixels& operator=(const Pixels&) = delete;
  HDC DC() const { return FDC; }
  std::uint32_t At(int X, int Y) const;
  // Number of pixels of one colour inside the rectangle.
  int Count(const RECT& R, std::uint32_t Rgb) const;

 private:
  TestBitmap FBitmap;
  HDC FDC;
  HGDIOBJ FOld;
};

// 0x00BBGGRR as 0xRRGGBB.
std::uint32_t Rgb(TColor Color);
// What the screen shows at a client point of the window.
std::uint32_t ScreenPixel(HWND Wnd, int X, int Y);

// Runs Action from a timer message after Ms milliseconds, so that it runs
// inside whatever message loop is then active.
void Later(DWORD Ms, std::function<void()> Action);
// Dispatches messages until Done() or the time-out; returns Done().
bool PumpUntil(const std::function<bool()>& Done, DWORD TimeoutMs = 3000);

// Real mouse input at client coordinates of Wnd; each call lets the
// messages arrive before it returns.
void MouseTo(HWND Wnd, int X, int Y);
void MouseLeftDown();
void MouseLeftUp();
void MouseRightDown();
void MouseRightUp();

// A painted control that fills itself (and tries to paint far outside its
// bounds) and records the input that reaches it.
class Probe : public TControl {
 public:
  Probe(TWinControl* AParent, TColor Fill, int L, int T, int W, int H);

  TColor Fill;
  std::uint32_t CornerColor = 0x00FF00FF;  // drawn at its (0, 0)
  bool PassThrough = false;
  bool WantSize = false;
  int WantWidth = 0, WantHeight = 0;
  std::vector<std::string> Events;
  int Count(const std::string& Event) const;

  void Paint(HDC DC) override;
  int HitTest(int X, int Y) override;

 protected:
  bool CanAutoSize(int& NewWidth, int& NewHeight) override;
  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void Click() override;
  void DblClick() override;
  void MouseEnter() override;
  void MouseLeave() override;
};

// A borderless, stay-on-top form at a fixed place on the screen.
TForm* NewTestForm(TComponent* Owner, int Left, int Top, int Width, int Height, TColor Color);

}  // namespace fwtest
