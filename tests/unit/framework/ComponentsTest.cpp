#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>
#include <shellapi.h>

#include <memory>
#include <vector>

#include "framework/ComCtrls.h"
#include "framework/ExtCtrls.h"
#include "framework/Forms.h"
#include "framework/Menus.h"
#include "framework/StdCtrls.h"
#include "tests/support/TestSupport.h"
#include "tests/unit/framework/FrameworkTest.h"

using namespace fwtest;

TEST(Strings, SplitLinesBreaksAtEveryKindOfLineBreak) {
  struct {
    const char* Text;
    std::vector<std::string> Lines;
  } Cases[] = {
      {"", {}},
      {"a", {"a"}},
      {"a\r\nb", {"a", "b"}},
      {"a\nb\rc", {"a", "b", "c"}},
      {"a\r\n", {"a"}},
      {"a\n\nb", {"a", "", "b"}},
      {"\r\n", {""}},
  };
  for (const auto& C : Cases) EXPECT_EQ(SplitLines(C.Text), C.Lines) << C.Text;
}

TEST(Timer, RunsWhileEnabledAndStopsWhenDisabled) {
  TTimer Timer(nullptr);
  int Ticks = 0;
  Timer.OnTimer = [&](TObject* Sender) {
    EXPECT_EQ(Sender, &Timer);
    ++Ticks;
  };
  Timer.SetInterval(40);
  EXPECT_TRUE(PumpUntil([&] { return Ticks >= 3; }));
  Timer.SetEnabled(false);
  int Stopped = Ticks;
  zrtest::PumpMessages(200);
  EXPECT_EQ(Ticks, Stopped);
  Timer.SetEnabled(true);
  EXPECT_TRUE(PumpUntil([&] { return Ticks > Stopped; }));
  Timer.SetInterval(0);
  Stopped = Ticks;
  zrtest::PumpMessages(200);
  EXPECT_EQ(Ticks, Stopped);
}

TEST(Timer, FreedOwnerStopsItsTimer) {
  int Ticks = 0;
  auto* Owner = new TComponent(nullptr);
  auto* Timer = new TTimer(Owner);
  Timer->SetInterval(20);
  Timer->OnTimer = [&](TObject*) { ++Ticks; };
  delete Owner;
  zrtest::PumpMessages(150);
  EXPECT_EQ(Ticks, 0);
}

namespace {

bool IconExists(TTrayIcon& Icon) {
  NOTIFYICONDATAA Data{};
  Data.cbSize = sizeof(Data);
  Data.hWnd = Icon.Handle();
  Data.uID = 1;
  Data.uFlags = NIF_TIP;
  lstrcpyA(Data.szTip, Icon.Hint().c_str());
  return Shell_NotifyIconA(NIM_MODIFY, &Data) != FALSE;
}

void Notify(TTrayIcon& Icon, UINT MouseMsg) {
  SendMessageA(Icon.Handle(), TTrayIcon::WM_TRAYNOTIFY, 1, MouseMsg);
}

// Picks the Index-th item (from 0) of the pop-up menu that is open.
void ChooseMenuItem(int Index) {
  Later(150, [Index] {
    HWND Menu = FindWindowA("#32768", nullptr);
    zrtest::SaveScreenshot(Menu, "framework_popup_menu");
    for (int I = 0; I <= Index; ++I) PostMessageA(Menu, WM_KEYDOWN, VK_DOWN, 0);
    PostMessageA(Menu, WM_KEYDOWN, VK_RETURN, 0);
  });
}

struct TrayFixture : ::testing::Test {
  ScopedApplication Scope;
  TTrayIcon Icon{nullptr};
  int Clicks = 0;
  void SetUp() override {
    Icon.SetIcon(Scope.App().Icon);
    Icon.SetHint("泽润影音升级程序");
    Icon.OnClick = [this](TObject*) { ++Clicks; };
  }
};

}  // namespace

TEST_F(TrayFixture, VisibleIconIsInTheNotificationArea) {
  EXPECT_FALSE(IconExists(Icon));
  Icon.SetVisible(true);
  EXPECT_TRUE(IconExists(Icon));
  Icon.SetVisible(false);
  EXPECT_FALSE(IconExists(Icon));
}

TEST_F(TrayFixture, ClickIsALeftPressFollowedByARelease) {
  Icon.SetVisible(true);
  Notify(Icon, WM_LBUTTONUP);  // a release alone
  EXPECT_EQ(Clicks, 0);
  Notify(Icon, WM_LBUTTONDOWN);
  EXPECT_EQ(Clicks, 0);
  Notify(Icon, WM_LBUTTONUP);
  EXPECT_EQ(Clicks, 1);
  Notify(Icon, WM_LBUTTONUP);
  EXPECT_EQ(Clicks, 1);
}

TEST_F(TrayFixture, RestartedShellGetsTheVisibleIconAgain) {
  UINT TaskbarCreated = RegisterWindowMessageA("TaskbarCreated");
  Icon.SetVisible(true);
  NOTIFYICONDATAA Data{};
  Data.cbSize = sizeof(Data);
  Data.hWnd = Icon.Handle();
  Data.uID = 1;
  ASSERT_TRUE(Shell_NotifyIconA(NIM_DELETE, &Data));  // the shell forgot it
  DWORD_PTR Result = 0;  // as the shell says it: to every top-level window
  SendMessageTimeoutA(HWND_BROADCAST, TaskbarCreated, 0, 0, SMTO_ABORTIFHUNG, 2000, &Result);
  EXPECT_TRUE(IconExists(Icon));
  Icon.SetVisible(false);
  SendMessageA(Icon.Handle(), TaskbarCreated, 0, 0);
  EXPECT_FALSE(IconExists(Icon));  // a hidden icon stays away
}

TEST_F(TrayFixture, RightReleaseOpensThePopupMenuAndRunsTheChosenItem) {
  TPopupMenu Menu(nullptr);
  TMenuItem Show(nullptr), Quit(nullptr);
  Show.Caption = "显示窗体";
  Quit.Caption = "退出升级";
  std::string Chosen;
  Show.OnClick = [&](TObject*) { Chosen += "show "; };
  Quit.OnClick = [&](TObject*) { Chosen += "quit "; };
  Menu.Add(&Show);
  Menu.Add(&Quit);
  Icon.PopupMenu = &Menu;
  Icon.SetVisible(true);
  ChooseMenuItem(1);
  Notify(Icon, WM_RBUTTONUP);
  EXPECT_EQ(Chosen, "quit ");
  EXPECT_EQ(Clicks, 0);
  Quit.Enabled = false;
  ChooseMenuItem(1);
  Notify(Icon, WM_RBUTTONUP);
  EXPECT_EQ(Chosen, "quit ");  // a disabled item does not run
}

TEST(PopupMenu, FreedItemLeavesTheMenu) {
  TPopupMenu Menu(nullptr);
  auto* Item = new TMenuItem(nullptr);
  Menu.Add(Item);
  ASSERT_EQ(Menu.Count(), 1);
  delete Item;
  EXPECT_EQ(Menu.Count(), 0);
}

namespace {
struct ControlsFixture : ::testing::Test {
  ScopedApplication Scope;
  TForm* Form = NewTestForm(&Scope.App(), 300, 200, 412, 252, 0xF5F5F5);
};
}  // namespace

TEST_F(ControlsFixture, ListBoxAddsSelectsAndKeepsItsItemHeight) {
  auto* List = new TListBox(Form);
  List->SetParent(Form);
  List->SetBounds(40, 115, 329, 63);
  List->SetItemHeight(13);
  List->Font().SetName("宋体");
  List->Font().SetHeight(-13);
  List->Font().SetCharset(GB2312_CHARSET);
  List->Items().BeginUpdate();
  for (const char* Line : {"正在升级......", "two", "three", "four", "five", "下载完成"}) List->Items().Add(Line);
  List->SetItemIndex(List->Items().Count() - 1);
  List->Items().EndUpdate();
  EXPECT_EQ(List->Items().Count(), 6);
  EXPECT_EQ(List->Items().Get(0), "正在升级......");
  EXPECT_EQ(List->ItemIndex(), 5);
  EXPECT_EQ(SendMessageA(List->Handle(), LB_GETITEMHEIGHT, 0, 0), 13);
  EXPECT_GT(SendMessageA(List->Handle(), LB_GETTOPINDEX, 0, 0), 0);  // scrolled to the selection
  EXPECT_TRUE(GetWindowLongPtrA(List->Handle(), GWL_EXSTYLE) & WS_EX_CLIENTEDGE);
  LOGFONTA Log{};
  GetObjectA(reinterpret_cast<HFONT>(SendMessageA(List->Handle(), WM_GETFONT, 0, 0)), sizeof(Log), &Log);
  EXPECT_STREQ(Log.lfFaceName, "宋体");
  EXPECT_EQ(Log.lfHeight, -13);
  List->Font().SetHeight(-16);  // a new font on the window keeps the item height
  GetObjectA(reinterpret_cast<HFONT>(SendMessageA(List->Handle(), WM_GETFONT, 0, 0)), sizeof(Log), &Log);
  EXPECT_EQ(Log.lfHeight, -16);
  EXPECT_EQ(SendMessageA(List->Handle(), LB_GETITEMHEIGHT, 0, 0), 13);
  List->Font().SetHeight(-13);
  Form->Show();
  zrtest::SaveScreenshot(Form->Handle(), "framework_listbox");
  List->Items().Clear();
  EXPECT_EQ(List->Items().Count(), 0);
  EXPECT_EQ(List->ItemIndex(), -1);
}

TEST_F(ControlsFixture, ProgressBarKeepsItsRangeAndPosition) {
  auto* Bar = new TProgressBar(Form);
  Bar->SetMax(100);
  Bar->SetPosition(37);  // before the window exists
  Bar->SetParent(Form);
  Bar->SetBounds(40, 64, 329, 17);
  EXPECT_EQ(SendMessageA(Bar->Handle(), PBM_GETPOS, 0, 0), 37);
  EXPECT_EQ(SendMessageA(Bar->Handle(), PBM_GETRANGE, FALSE, 0), 100);
  Bar->SetPosition(250);
  EXPECT_EQ(Bar->Position(), 100);
  EXPECT_EQ(SendMessageA(Bar->Handle(), PBM_GETPOS, 0, 0), 100);
  Bar->SetPosition(-3);
  EXPECT_EQ(Bar->Position(), 0);
  Bar->SetMax(1000);
  Bar->SetPosition(500);
  Bar->DoubleBuffered = true;
  Form->Show();
  InvalidateRect(Bar->Handle(), nullptr, TRUE);
  UpdateWindow(Bar->Handle());
  zrtest::SaveScreenshot(Form->Handle(), "framework_progressbar");
  // Drawn double-buffered, the bar still shows: filled on the left, empty on the right.
  EXPECT_NE(ScreenPixel(Bar->Handle(), 20, 8), ScreenPixel(Bar->Handle(), 300, 8));
}

TEST_F(ControlsFixture, ReadOnlyMemoShowsEveryLineBreakAsANewLine) {
  auto* Memo = new TMemo(Form);
  Memo->SetReadOnly(true);
  Memo->TabStop = false;
  Memo->SetParent(Form);
  Memo->SetBounds(127, 109, 250, 63);
  Memo->Lines().SetText("1.1版本特性\n    1 优化了P2P下载速度\r\n    2 修改了播放拖放问题");
  EXPECT_EQ(Memo->Lines().Count(), 3);
  EXPECT_EQ(Memo->Lines().Get(2), "    2 修改了播放拖放问题");
  char Text[256] = {};
  GetWindowTextA(Memo->Handle(), Text, sizeof(Text));
  EXPECT_STREQ(Text, "1.1版本特性\r\n    1 优化了P2P下载速度\r\n    2 修改了播放拖放问题");
  LONG_PTR Style = GetWindowLongPtrA(Memo->Handle(), GWL_STYLE);
  EXPECT_TRUE(Style & ES_READONLY);
  EXPECT_FALSE(Style & WS_TABSTOP);
  Memo->Lines().Add("3");
  EXPECT_EQ(Memo->Lines().Count(), 4);
  Form->Show();
  zrtest::SaveScreenshot(Form->Handle(), "framework_memo");
  // Read-only, it keeps the window colour rather than turning grey (left of
  // the scroll bar that four lines bring).
  EXPECT_EQ(ScreenPixel(Memo->Handle(), 200, 50), 0xFFFFFF);
  Memo->Lines().Clear();
  EXPECT_EQ(Memo->Lines().Count(), 0);
}

TEST_F(ControlsFixture, SampleWindowWithEveryControl) {
  Form->Font().SetName("宋体");
  Form->Font().SetHeight(-13);
  Form->Font().SetCharset(GB2312_CHARSET);
  auto Picture = std::make_shared<TestBitmap>(40, 40);
  for (int I = 0; I < 1600; ++I) Picture->Bits()[I] = (I / 40) < 20 ? 0x2EC4F7 : 0xF78A2E;
  auto* Image = new TImage(Form);
  Image->SetParent(Form);
  Image->SetBounds(10, 10, 40, 40);
  Image->SetPicture(std::shared_ptr<TGraphic>(Picture));
  auto* Label = new TCustomLabel(Form);
  Label->SetParent(Form);
  Label->SetBounds(60, 20, 0, 0);
  Label->SetTransparent(true);
  Label->SetCaption("升级进度");
  auto* Bar = new TProgressBar(Form);
  Bar->SetParent(Form);
  Bar->SetBounds(40, 64, 329, 17);
  Bar->SetPosition(60);
  auto* List = new TListBox(Form);
  List->SetParent(Form);
  List->SetBounds(40, 115, 160, 63);
  List->Items().Add("正在升级......");
  List->Items().Add("下载完成");
  auto* Memo = new TMemo(Form);
  Memo->SetReadOnly(true);
  Memo->SetParent(Form);
  Memo->SetBounds(210, 115, 160, 63);
  Memo->Lines().SetText("1.1版本特性\n    1 优化了P2P下载速度");
  new Probe(Form, clSilver, 185, 194, 80, 28);
  Form->DoubleBuffered = true;
  Form->Show();
  zrtest::SaveScreenshot(Form->Handle(), "framework_sample_window");
  EXPECT_EQ(ScreenPixel(Form->Handle(), 15, 15), 0x2EC4F7u);
  EXPECT_EQ(ScreenPixel(Form->Handle(), 5, 240), 0xF5F5F5);
}

// A form not yet shown makes no windows for its children: what is set on
// them meanwhile arrives when it shows, and a child asked for its window out
// of turn still takes its place in the children's order.
TEST_F(ControlsFixture, HiddenFormMakesChildWindowsWhenShown) {
  Form->HandleNeeded();
  auto* List = new TListBox(Form);
  auto* Memo = new TMemo(Form);
  auto* Bar = new TProgressBar(Form);
  auto* Hidden = new TMemo(Form);
  Hidden->SetVisible(false);
  for (TWinControl* Child : std::initializer_list<TWinControl*>{List, Memo, Bar, Hidden}) Child->SetParent(Form);
  List->Items().Add("正在升级......");
  List->Items().Add("two");
  Memo->Lines().SetText("a\nb");
  Hidden->Lines().SetText("");
  EXPECT_FALSE(List->HandleAllocated() || Memo->HandleAllocated() || Bar->HandleAllocated() ||
               Hidden->HandleAllocated());
  EXPECT_EQ(List->Items().Count(), 2);
  EXPECT_EQ(Memo->Lines().Get(1), "b");
  HWND Last = Bar->Handle();
  Form->Show();
  EXPECT_FALSE(Hidden->HandleAllocated());
  std::vector<HWND> Order;
  for (HWND W = GetWindow(Form->Handle(), GW_CHILD); W; W = GetWindow(W, GW_HWNDNEXT)) Order.push_back(W);
  EXPECT_EQ(Order, (std::vector<HWND>{List->Handle(), Memo->Handle(), Last}));
  EXPECT_EQ(SendMessageA(List->Handle(), LB_GETCOUNT, 0, 0), 2);
  EXPECT_EQ(List->Items().Get(0), "正在升级......");
  char Text[16] = {};
  GetWindowTextA(Memo->Handle(), Text, sizeof(Text));
  EXPECT_STREQ(Text, "a\r\nb");
  EXPECT_EQ(Hidden->Lines().Text(), "");
}
