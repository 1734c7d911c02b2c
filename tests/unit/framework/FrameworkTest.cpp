#include "tests/unit/framework/FrameworkTest.h"

#include <map>

#include "framework/Forms.h"
#include "tests/support/TestSupport.h"

namespace fwtest {

ScopedApplication::ScopedApplication() : FSaved(Application) { Application = &FApp; }

ScopedApplication::~ScopedApplication() {
  Application = FSaved;
  // A terminated run leaves its quit message behind.
  MSG M;
  while (PeekMessageA(&M, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
  }
}

TestBitmap::TestBitmap(int AWidth, int AHeight) : FWidth(AWidth), FHeight(AHeight) {
  BITMAPINFO Info{};
  Info.bmiHeader.biSize = sizeof(Info.bmiHeader);
  Info.bmiHeader.biWidth = AWidth;
  Info.bmiHeader.biHeight = -AHeight;
  Info.bmiHeader.biPlanes = 1;
  Info.bmiHeader.biBitCount = 32;
  Info.bmiHeader.biCompression = BI_RGB;
  void* Bits = nullptr;
  FHandle = CreateDIBSection(nullptr, &Info, DIB_RGB_COLORS, &Bits, nullptr, 0);
  FBits = static_cast<std::uint32_t*>(Bits);
}

TestBitmap::~TestBitmap() { DeleteObject(FHandle); }

void TestBitmap::Draw(HDC DC, const TRect& Dest) const {
  HDC Source = CreateCompatibleDC(DC);
  HGDIOBJ Old = SelectObject(Source, FHandle);
  StretchBlt(DC, Dest.left, Dest.top, Dest.Width(), Dest.Height(), Source, 0, 0, FWidth, FHeight, SRCCOPY);
  SelectObject(Source, Old);
  DeleteDC(Source);
}

Pixels::Pixels(int Width, int Height, std::uint32_t Fill) : FBitmap(Width, Height) {
  for (int I = 0; I < Width * Height; ++I) FBitmap.Bits()[I] = Fill;
  FDC = CreateCompatibleDC(nullptr);
  FOld = SelectObject(FDC, FBitmap.Handle());
}

Pixels::~Pixels() {
  SelectObject(FDC, FOld);
  DeleteDC(FDC);
}

std::uint32_t Pixels::At(int X, int Y) const {
  GdiFlush();
  return FBitmap.Bits()[Y * FBitmap.Width() + X] & 0xFFFFFF;
}

int Pixels::Count(const RECT& R, std::uint32_t Rgb) const {
  int N = 0;
  for (int Y = R.top; Y < R.bottom; ++Y)
    for (int X = R.left; X < R.right; ++X) N += At(X, Y) == Rgb;
  return N;
}

std::uint32_t Rgb(TColor Color) {
  COLORREF C = ColorToRGB(Color);
  return (GetRValue(C) << 16) | (GetGValue(C) << 8) | GetBValue(C);
}

std::uint32_t ScreenPixel(HWND Wnd, int X, int Y) {
  POINT P{X, Y};
  ClientToScreen(Wnd, &P);
  HDC Screen = GetDC(nullptr);
  COLORREF C = GetPixel(Screen, P.x, P.y);
  ReleaseDC(nullptr, Screen);
  return Rgb(C);
}

namespace {
std::map<UINT_PTR, std::function<void()>> Pending;

void CALLBACK LaterProc(HWND, UINT, UINT_PTR Id, DWORD) {
  KillTimer(nullptr, Id);
  auto It = Pending.find(Id);
  if (It == Pending.end()) return;
  std::function<void()> Action = std::move(It->second);
  Pending.erase(It);
  Action();
}
}  // namespace

void Later(DWORD Ms, std::function<void()> Action) {
  Pending[SetTimer(nullptr, 0, Ms, LaterProc)] = std::move(Action);
}

bool PumpUntil(const std::function<bool()>& Done, DWORD TimeoutMs) {
  DWORD Start = GetTickCount();
  while (!Done()) {
    if (GetTickCount() - Start >= TimeoutMs) return false;
    zrtest::PumpMessages(10);
  }
  return true;
}

void MouseTo(HWND Wnd, int X, int Y) {
  POINT P{X, Y};
  ClientToScreen(Wnd, &P);
  zrtest::MoveMouse(P.x, P.y);
  zrtest::PumpMessages(60);
}

namespace {
void SendButton(DWORD Flags) {
  INPUT In{};
  In.type = INPUT_MOUSE;
  In.mi.dwFlags = Flags;
  SendInput(1, &In, sizeof(In));
  zrtest::PumpMessages(60);
}
}  // namespace

void MouseLeftDown() { SendButton(MOUSEEVENTF_LEFTDOWN); }
void MouseLeftUp() { SendButton(MOUSEEVENTF_LEFTUP); }
void MouseRightDown() { SendButton(MOUSEEVENTF_RIGHTDOWN); }
void MouseRightUp() { SendButton(MOUSEEVENTF_RIGHTUP); }

Probe::Probe(TWinControl* AParent, TColor AFill, int L, int T, int W, int H)
    : TControl(AParent), Fill(AFill) {
  SetBounds(L, T, W, H);
  SetParent(AParent);
}

int Probe::Count(const std::string& Event) const {
  int N = 0;
  for (const std::string& E : Events) N += E == Event;
  return N;
}

void Probe::Paint(HDC DC) {
  RECT Far{-200, -200, Width() + 200, Height() + 200};
  HBRUSH Brush = CreateSolidBrush(ColorToRGB(Fill));
  FillRect(DC, &Far, Brush);
  DeleteObject(Brush);
  SetPixelV(DC, 0, 0, ColorToRGB(CornerColor));
}

int Probe::HitTest(int X, int Y) { return PassThrough ? HTNOWHERE : TControl::HitTest(X, Y); }

bool Probe::CanAutoSize(int& NewWidth, int& NewHeight) {
  if (!WantSize) return false;
  NewWidth = WantWidth;
  NewHeight = WantHeight;
  return true;
}

void Probe::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  Events.push_back(std::string(Button == mbLeft ? "down" : Button == mbRight ? "rdown" : "mdown") +
                   (Shift & ssDouble ? "2" : ""));
  TControl::MouseDown(Button, Shift, X, Y);
}

void Probe::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
  Events.push_back(Button == mbLeft ? "up" : Button == mbRight ? "rup" : "mup");
  TControl::MouseUp(Button, Shift, X, Y);
}

void Probe::Click() {
  Events.push_back("click");
  TControl::Click();
}

void Probe::DblClick() {
  Events.push_back("dblclick");
  TControl::DblClick();
}

void Probe::MouseEnter() {
  Events.push_back("enter");
  TControl::MouseEnter();
}

void Probe::MouseLeave() {
  Events.push_back("leave");
  TControl::MouseLeave();
}

TForm* NewTestForm(TComponent* Owner, int Left, int Top, int Width, int Height, TColor Color) {
  auto* Form = new TForm(Owner);
  // Without icons the window is not handed to a window manager, whose
  // absence on the test display costs seconds at every hide.
  Form->SetBorderIcons(0);
  Form->SetFormStyle(fsStayOnTop);
  Form->SetBounds(Left, Top, Width, Height);
  Form->SetColor(Color);
  return Form;
}

}  // namespace fwtest
