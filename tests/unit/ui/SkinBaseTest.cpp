// The skinned window base on real windows: layout on resizing, moving by the
// top strip with real mouse input, quiet minimise and maximise, shadow
// stacking, the creation settings.
#include <gtest/gtest.h>

#include <memory>
#include <thread>
#include <vector>

#include "framework/Application.h"
#include "tests/unit/framework/FrameworkTest.h"
#include "tests/unit/ui/UiTest.h"
#include "ui/frmSkinBase2.h"
#include "ui/uFunction.h"
#include "ui/uTransLabel.h"
#include "ui/ufrmShadowFrame.h"

using namespace fwtest;

namespace {

// The system's animation setting as Wine lacks it: a memory, and a record of
// every call that reads or writes it.
struct TAnimationCall { UINT Action, UiParam, CbSize; int MinAnimate; UINT WinIni; };
int AnimationSetting = 0;
std::vector<TAnimationCall> AnimationCalls;

BOOL WINAPI RecordingParametersInfo(UINT Action, UINT UiParam, PVOID Param, UINT WinIni) {
  auto* Info = static_cast<ANIMATIONINFO*>(Param);
  if (Action == SPI_GETANIMATION) Info->iMinAnimate = AnimationSetting;
  if (Action == SPI_SETANIMATION) AnimationSetting = Info->iMinAnimate;
  AnimationCalls.push_back({Action, UiParam, Info->cbSize, Info->iMinAnimate, WinIni});
  return TRUE;
}

struct RecordedAnimation {
  explicit RecordedAnimation(int Setting) {
    AnimationSetting = Setting;
    AnimationCalls.clear();
    AnimationParametersInfo = RecordingParametersInfo;
  }
  ~RecordedAnimation() { AnimationParametersInfo = SystemParametersInfoA; }
};

// Records the animation setting while the window changes its show state,
// and the platform's move loops.
class TRecordingSkin : public TFormSkinBase2 {
 public:
  using TFormSkinBase2::TFormSkinBase2;
  std::vector<int> AnimationWhileSizing;
  int MoveLoops = 0;
  UINT FullDragDuringMove = 77;
  LRESULT WndProc(UINT Msg, WPARAM WParam, LPARAM LParam) override {
    if (Msg == WM_ENTERSIZEMOVE) {
      ++MoveLoops;
      SystemParametersInfoA(SPI_GETDRAGFULLWINDOWS, 0, &FullDragDuringMove, 0);
    }
    if (Msg == WM_SIZE && (WParam == SIZE_MINIMIZED || WParam == SIZE_MAXIMIZED))
      AnimationWhileSizing.push_back(AnimationSetting);
    return TFormSkinBase2::WndProc(Msg, WParam, LParam);
  }
};

// System commands that reach the platform's default handling.
std::vector<WPARAM> DefaultSysCommands;
LRESULT CALLBACK CbtHook(int Code, WPARAM WParam, LPARAM LParam) {
  if (Code == HCBT_SYSCOMMAND) DefaultSysCommands.push_back(WParam);
  return CallNextHookEx(nullptr, Code, WParam, LParam);
}

COLORREF ScreenColour(HWND Wnd, int X, int Y) {
  POINT P{X, Y};
  ClientToScreen(Wnd, &P);
  HDC Screen = GetDC(nullptr);
  const COLORREF C = GetPixel(Screen, P.x, P.y);
  ReleaseDC(nullptr, Screen);
  return C;
}

// An application with a hidden main form and one skinned window on it.
struct SkinFixture {
  ScopedApplication Scope;
  TForm* Main = nullptr;
  TRecordingSkin* Form = nullptr;

  explicit SkinFixture(TBorderIcons Icons = biSystemMenu) {
    Scope.App().ShowMainForm = false;
    Scope.App().CreateForm(Main);
    Main->SetBounds(200, 150, 500, 400);
    Form = new TRecordingSkin(&Scope.App());
    Form->SetBorderIcons(Icons);
    Form->Show();
    zrtest::PumpMessages(100);
  }
  ~SkinFixture() {
    MouseLeftUp();
    delete Form;
  }
  HWND Wnd() { return Form->Handle(); }
  RECT WindowRect() {
    RECT R;
    GetWindowRect(Wnd(), &R);
    return R;
  }
};

TEST(SkinBase, CreationSettings) {
  SkinFixture F;
  EXPECT_EQ(GetWindowLongA(F.Form->Handle(), GWL_STYLE) & (WS_CAPTION | WS_THICKFRAME), 0);
  EXPECT_EQ(F.Form->ClientWidth(), 328);
  EXPECT_EQ(F.Form->ClientHeight(), 227);
  EXPECT_EQ(F.Form->Width(), 328);  // borderless: window size = client size
  EXPECT_TRUE(F.Form->DoubleBuffered);
  EXPECT_TRUE(GetWindowLongA(F.Wnd(), GWL_EXSTYLE) & WS_EX_TOPMOST);
  EXPECT_EQ(F.Form->Font().Name(), "宋体");
  EXPECT_EQ(F.Form->Font().Height(), -12);
  EXPECT_EQ(F.Form->Font().Color(), clSilver);
  // Centred over the main window.
  EXPECT_EQ(F.Form->Left(), 200 + (500 - 328) / 2);
  EXPECT_EQ(F.Form->Top(), 150 + (400 - 227) / 2);
  EXPECT_EQ(F.Form->Controls(0), F.Form->imgMainBG);  // painted below everything else
  EXPECT_EQ(F.Form->btnClose->Width(), 30);
  EXPECT_EQ(F.Form->btnClose->Height(), 40);
}

TEST(SkinBase, CreateMasksFloatingPointExceptions) {
  unsigned short Before = 0x037F &~ 0x3F;  // every exception unmasked
  asm volatile("fldcw %0" : : "m"(Before));
  SkinFixture F;
  unsigned short After = 0;
  asm volatile("fnstcw %0" : "=m"(After));
  EXPECT_EQ(After & ~0x40, 0x133F);  // bit 6 is reserved and reads as set
  volatile double Zero = 0.0;
  volatile double Quotient = 1.0 / Zero;  // does not trap
  EXPECT_GT(Quotient, 1e300);
}

TEST(SkinBase, BackgroundAndCloseButtonFollowTheSize) {
  SkinFixture F;
  const int sizes[][2] = {{328, 227}, {412, 252}, {500, 320}, {200, 150}};
  for (const auto& s : sizes) {
    F.Form->SetBounds(F.Form->Left(), F.Form->Top(), s[0], s[1]);
    zrtest::PumpMessages(50);
    EXPECT_EQ(F.Form->imgMainBG->Left(), 0);
    EXPECT_EQ(F.Form->imgMainBG->Width(), s[0]);
    EXPECT_EQ(F.Form->imgMainBG->Height(), s[1]);
    EXPECT_EQ(F.Form->btnClose->Left(), s[0] - 30 - 8) << s[0];
    EXPECT_EQ(F.Form->btnClose->Top(), 0);
    // On screen: the title band reaches the right edge, white below it.
    EXPECT_TRUE(Near(ScreenColour(F.Wnd(), s[0] - 3, 25), RGB(46, 196, 247), 24)) << s[0];
    EXPECT_TRUE(Near(ScreenColour(F.Wnd(), s[0] / 2, s[1] - 20), RGB(255, 255, 255), 4)) << s[0];
    if (s[0] >= 330) {  // grown: the one-pixel grey frame stays at the edges
      const COLORREF Frame = RGB(128, 130, 127);
      EXPECT_TRUE(Near(ScreenColour(F.Wnd(), s[0] - 1, s[1] / 2), Frame, 16)) << s[0];
      EXPECT_TRUE(Near(ScreenColour(F.Wnd(), s[0] / 2, s[1] - 1), Frame, 16)) << s[0];
    }
  }
  zrtest::SaveScreenshot(F.Wnd(), "ui_skin_base_resized");
}

TEST(SkinBase, ADpiChangeScalesTheLayoutIntoTheSuggestedRectangle) {
  SkinFixture F;
  // 120: between the drawn scales, the 1.5x pictures shrunk; then back.
  for (int Dpi : {120, 192, 96}) {
    SCOPED_TRACE(Dpi);
    auto Scaled = [Dpi](int V) { return MulDiv(V, Dpi, 96); };
    RECT Suggested{40, 30, 40 + Scaled(328), 30 + Scaled(227)};
    SendMessageA(F.Wnd(), WM_DPICHANGED, MAKEWPARAM(Dpi, Dpi), reinterpret_cast<LPARAM>(&Suggested));
    zrtest::PumpMessages(50);
    RECT R = F.WindowRect();
    EXPECT_TRUE(EqualRect(&R, &Suggested));
    EXPECT_EQ(F.Form->Font().Height(), Scaled(-12));
    EXPECT_EQ(F.Form->imgMainBG->Width(), Scaled(328));
    EXPECT_NEAR(F.Form->btnClose->Width(), Scaled(30), 1);
    EXPECT_EQ(F.Form->btnClose->Height(), Scaled(40));
    EXPECT_EQ(F.Form->btnClose->Left() + F.Form->btnClose->Width(), Scaled(328) - Scaled(8));
    // The close button's normal frame: its grey-blue cross, not another frame.
    const int Cross = F.Form->btnClose->Left() + F.Form->btnClose->Width() / 2;
    EXPECT_TRUE(Near(ScreenColour(F.Wnd(), Cross, Scaled(18)), RGB(58, 86, 118), 48));
  }
}

TEST(SkinBase, WithoutSystemMenuTheCloseButtonIsHidden) {
  SkinFixture With(biSystemMenu);
  EXPECT_TRUE(With.Form->btnClose->Visible());
  SkinFixture Without(biMinimize);
  EXPECT_FALSE(Without.Form->btnClose->Visible());
}

TEST(SkinBase, CloseButtonEndsTheModalRunWithCancel) {
  SkinFixture F;
  F.Form->Hide();
  int Result = -1;
  Later(300, [&] {
    MouseTo(F.Wnd(), F.Form->Width() - 8 - 15, 18);
    MouseLeftDown();
    MouseLeftUp();
  });
  Result = F.Form->ShowModal();
  EXPECT_EQ(Result, mrCancel);
}

// Presses a button at a client point, moves the mouse by (40, 30) while it
// is held and releases it; the move loop of a drag runs meanwhile.
void PressAndDrag(HWND Wnd, int X, int Y, DWORD Down, DWORD Up) {
  MouseTo(Wnd, X, Y);
  POINT P{X, Y};
  ClientToScreen(Wnd, &P);
  std::thread Mover([=] {
    Sleep(300);
    for (int Step = 1; Step <= 4; ++Step) {
      SetCursorPos(P.x + 10 * Step, P.y + 7 * Step + (Step == 4 ? 2 : 0));
      INPUT In{};
      In.type = INPUT_MOUSE;
      In.mi.dwFlags = MOUSEEVENTF_MOVE;
      SendInput(1, &In, sizeof(In));
      Sleep(60);
    }
    INPUT In{};
    In.type = INPUT_MOUSE;
    In.mi.dwFlags = Up;
    SendInput(1, &In, sizeof(In));
  });
  INPUT In{};
  In.type = INPUT_MOUSE;
  In.mi.dwFlags = Down;
  SendInput(1, &In, sizeof(In));
  zrtest::PumpMessages(1000);
  Mover.join();
  zrtest::PumpMessages(100);
}

// The platform's move loop follows the mouse from the press to the release.
// (Wine's loop leaves the window where it is for the command's hit code 7;
// Windows moves it.)
TEST(SkinBase, LeftPressInTheTopStripStartsTheMove) {
  struct Case { const char* name; int y; DWORD down, up; bool moves; };
  const Case cases[] = {
      {"left at 80", 80, MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP, true},
      {"left at 81", 81, MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP, false},
      {"left at 10", 10, MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP, true},
      {"right at 10", 10, MOUSEEVENTF_RIGHTDOWN, MOUSEEVENTF_RIGHTUP, false},
      {"middle at 10", 10, MOUSEEVENTF_MIDDLEDOWN, MOUSEEVENTF_MIDDLEUP, false},
  };
  for (const auto& c : cases) {
    SkinFixture F;
    PressAndDrag(F.Wnd(), 100, c.y, c.down, c.up);
    EXPECT_EQ(F.Form->MoveLoops, c.moves ? 1 : 0) << c.name;
    EXPECT_EQ(GetCapture(), nullptr) << c.name;  // the loop has ended with the release
  }
}

TEST(SkinBase, DragWithFullWindowsOnlyDuringTheMove) {
  UINT Saved = 0;
  SystemParametersInfoA(SPI_GETDRAGFULLWINDOWS, 0, &Saved, 0);
  for (UINT Before : {0u, 1u}) {
    SystemParametersInfoA(SPI_SETDRAGFULLWINDOWS, Before, nullptr, 0);
    SkinFixture F;
    F.Form->imgMainBG->OnMouseDown = [&](TObject*, TMouseButton, TShiftState, int, int) {
      DragWindow(F.Form, false);
    };
    PressAndDrag(F.Wnd(), 100, 100, MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP);
    EXPECT_EQ(F.Form->MoveLoops, 1);
    EXPECT_EQ(F.Form->FullDragDuringMove, 1u) << Before;
    UINT After = 77;
    SystemParametersInfoA(SPI_GETDRAGFULLWINDOWS, 0, &After, 0);
    EXPECT_EQ(After, Before);
  }
  SystemParametersInfoA(SPI_SETDRAGFULLWINDOWS, Saved, nullptr, 0);
}

TEST(SkinBase, PressOnAControlAboveTheBackgroundDoesNotMove) {
  SkinFixture F;
  auto* Label = new TLabel(F.Form);
  Label->SetCaption("升级进度");
  Label->SetBounds(40, 20, 60, 20);
  Label->SetParent(F.Form);
  zrtest::PumpMessages(50);
  PressAndDrag(F.Wnd(), 45, 25, MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP);
  EXPECT_EQ(F.Form->MoveLoops, 0);
}

TEST(QuietForm, AnimationIsOffOnlyDuringTheShowWindowCall) {
  SkinFixture F;
  RecordedAnimation On(1);
  F.Form->Perform(WM_SYSCOMMAND, SC_MINIMIZE, 0);
  EXPECT_TRUE(IsIconic(F.Wnd()));
  EXPECT_EQ(F.Form->AnimationWhileSizing, std::vector<int>{0});
  EXPECT_EQ(AnimationSetting, -1);  // on again, written back as -1
  ASSERT_EQ(AnimationCalls.size(), 3u);
  const TAnimationCall expected[] = {{SPI_GETANIMATION, 8, 8, 1, 0},
                                     {SPI_SETANIMATION, 8, 8, 0, 0},
                                     {SPI_SETANIMATION, 8, 8, -1, 0}};
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(AnimationCalls[i].Action, expected[i].Action) << i;
    EXPECT_EQ(AnimationCalls[i].UiParam, expected[i].UiParam) << i;
    EXPECT_EQ(AnimationCalls[i].CbSize, expected[i].CbSize) << i;
    EXPECT_EQ(AnimationCalls[i].MinAnimate, expected[i].MinAnimate) << i;
    EXPECT_EQ(AnimationCalls[i].WinIni, expected[i].WinIni) << i;
  }
  F.Form->Perform(WM_SYSCOMMAND, SC_RESTORE, 0);
  EXPECT_FALSE(IsIconic(F.Wnd()));
  F.Form->Perform(WM_SYSCOMMAND, SC_MAXIMIZE, 0);
  EXPECT_TRUE(IsZoomed(F.Wnd()));
  EXPECT_EQ(F.Form->AnimationWhileSizing, (std::vector<int>{0, 0}));
  EXPECT_EQ(AnimationSetting, -1);
}

TEST(QuietForm, AnimationThatIsOffIsLeftAlone) {
  SkinFixture F;
  RecordedAnimation Off(0);
  F.Form->Perform(WM_SYSCOMMAND, SC_MINIMIZE, 0);
  EXPECT_TRUE(IsIconic(F.Wnd()));
  ASSERT_EQ(AnimationCalls.size(), 1u);  // only read
  EXPECT_EQ(AnimationCalls[0].Action, UINT(SPI_GETANIMATION));
  EXPECT_EQ(AnimationSetting, 0);
}

TEST(QuietForm, CommandWordWithLowBitsGetsTheDefaultHandling) {
  SkinFixture F;
  RecordedAnimation On(1);
  DefaultSysCommands.clear();
  HHOOK Hook = SetWindowsHookExA(WH_CBT, CbtHook, nullptr, GetCurrentThreadId());
  F.Form->Perform(WM_SYSCOMMAND, SC_MINIMIZE, 0);
  F.Form->Perform(WM_SYSCOMMAND, SC_RESTORE, 0);
  EXPECT_TRUE(DefaultSysCommands.empty());  // intercepted
  const size_t Quiet = AnimationCalls.size();
  F.Form->Perform(WM_SYSCOMMAND, SC_MINIMIZE | 1, 0);
  F.Form->Perform(WM_SYSCOMMAND, SC_MAXIMIZE | 2, 0);
  UnhookWindowsHookEx(Hook);
  EXPECT_EQ(DefaultSysCommands, (std::vector<WPARAM>{SC_MINIMIZE | 1, SC_MAXIMIZE | 2}));
  EXPECT_EQ(AnimationCalls.size(), Quiet);  // the animation setting is not touched
}

TEST(QuietForm, MaximiseAndRestore) {
  SkinFixture F;
  F.Form->Perform(WM_SYSCOMMAND, SC_MAXIMIZE, 0);
  EXPECT_TRUE(IsZoomed(F.Wnd()));
  F.Form->Perform(WM_SYSCOMMAND, SC_RESTORE, 0);
  EXPECT_FALSE(IsZoomed(F.Wnd()));
  // A double-click on a caption hit code toggles; other hit codes do nothing.
  F.Form->Perform(WM_NCLBUTTONDBLCLK, HTCLIENT, 0);
  EXPECT_FALSE(IsZoomed(F.Wnd()));
  F.Form->Perform(WM_NCLBUTTONDBLCLK, HTCAPTION, 0);
  EXPECT_TRUE(IsZoomed(F.Wnd()));
  F.Form->Perform(WM_NCLBUTTONDBLCLK, HTCAPTION, 0);
  EXPECT_FALSE(IsZoomed(F.Wnd()));
}

// A top-level window of class "TFormShadow" of this thread.
HWND NewShadowWindow(const RECT& R) {
  static bool Registered = false;
  if (!Registered) {
    WNDCLASSA Class{};
    Class.lpfnWndProc = DefWindowProcA;
    Class.hInstance = GetModuleHandleA(nullptr);
    Class.lpszClassName = "TFormShadow";
    RegisterClassA(&Class);
    Registered = true;
  }
  return CreateWindowExA(WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE, "TFormShadow", "", WS_POPUP | WS_VISIBLE,
                         R.left, R.top, R.right - R.left, R.bottom - R.top, nullptr, nullptr,
                         GetModuleHandleA(nullptr), nullptr);
}

TEST(ShadowSync, WithoutShadowsNothingIsFound) {
  SkinFixture F;
  ASSERT_EQ(FindWindowA("TFormShadow", nullptr), nullptr);
  F.Form->SetBounds(F.Form->Left() + 5, F.Form->Top(), 328, 227);
  zrtest::PumpMessages(50);
  EXPECT_EQ(F.Form->ShadowWnd(), nullptr);
}

TEST(ShadowSync, FittingShadowIsFoundAndStackedBelow) {
  SkinFixture F;
  RECT R = F.WindowRect();
  InflateRect(&R, 32, 32);
  OffsetRect(&R, 4, 4);  // offset evenly from the window's corner
  HWND Shadow = NewShadowWindow(R);
  ASSERT_NE(Shadow, nullptr);
  SetWindowPos(Shadow, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  zrtest::PumpMessages(200);  // let the display settle the new window's stacking first
  ASSERT_EQ(GetTopWindow(nullptr), Shadow);
  PostMessageA(F.Wnd(), WM_SYNCSHADOW, 0, 0);
  zrtest::PumpMessages(100);
  EXPECT_EQ(F.Form->ShadowWnd(), Shadow);
  EXPECT_EQ(GetWindow(F.Wnd(), GW_HWNDNEXT), Shadow);
  DestroyWindow(Shadow);
  PostMessageA(F.Wnd(), WM_SYNCSHADOW, 0, 0);
  zrtest::PumpMessages(50);
  EXPECT_EQ(F.Form->ShadowWnd(), Shadow);  // once found, kept for the window's life
}

TEST(ShadowSync, ShadowRules) {
  SkinFixture F;
  const RECT W = F.WindowRect();
  struct Case { const char* name; RECT r; bool owned; bool found; };
  const Case cases[] = {
      {"64 larger, even offset", {W.left - 30, W.top - 30, W.right + 34, W.bottom + 34}, false, true},
      {"uneven offset", {W.left - 30, W.top - 28, W.right + 34, W.bottom + 36}, false, false},
      {"wrong size", {W.left - 32, W.top - 32, W.right + 30, W.bottom + 32}, false, false},
      {"names the window", {0, 0, 50, 50}, true, true},
  };
  for (const auto& c : cases) {
    HWND Shadow = NewShadowWindow(c.r);
    if (c.owned) SetPropA(Shadow, ShadowOwnerProp, F.Wnd());
    HWND Found = nullptr;
    SyncShadow(F.Form, Found);
    EXPECT_EQ(Found == Shadow, c.found) << c.name;
    ShowWindow(Shadow, SW_HIDE);  // invisible windows are passed over
    HWND Hidden = nullptr;
    SyncShadow(F.Form, Hidden);
    EXPECT_EQ(Hidden, nullptr) << c.name;
    RemovePropA(Shadow, ShadowOwnerProp);
    DestroyWindow(Shadow);
  }
}

}  // namespace
