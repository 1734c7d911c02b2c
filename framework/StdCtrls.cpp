#include "framework/StdCtrls.h"

#include <oleacc.h>

#include <vector>

#include "framework/GbkText.h"

namespace {

std::string WindowText(HWND Wnd) {
  int Length = GetWindowTextLengthW(Wnd);
  std::wstring Text(static_cast<size_t>(Length) + 1, L'\0');
  Text.resize(static_cast<size_t>(GetWindowTextW(Wnd, &Text[0], Length + 1)));
  return WideToGbk(Text);
}

// Every CR LF, lone LF or lone CR becomes CR LF, as the edit control needs.
std::string AdjustLineBreaks(const std::string& Text) {
  std::string Result;
  std::vector<std::string> Lines = SplitLines(Text);
  for (size_t I = 0; I < Lines.size(); ++I) Result += (I ? "\r\n" : "") + Lines[I];
  if (!Text.empty() && (Text.back() == '\n' || Text.back() == '\r')) Result += "\r\n";
  return Result;
}

void SetRedraw(HWND Wnd, bool Updating) {
  SendMessageA(Wnd, WM_SETREDRAW, Updating ? FALSE : TRUE, 0);
  if (!Updating) InvalidateRect(Wnd, nullptr, TRUE);
}

// Until the list box has a window (it may never be shown), its items are
// kept here and handed to the window when it is made.
class TListBoxStrings : public TStrings {
 public:
  explicit TListBoxStrings(TListBox& ListBox) : FListBox(ListBox) {}

  int Count() const override {
    return Held() ? static_cast<int>(FHeld.size()) : static_cast<int>(Send(LB_GETCOUNT, 0, 0));
  }
  std::string Get(int Index) const override {
    if (Held()) return Index >= 0 && Index < Count() ? FHeld[Index] : std::string();
    LRESULT Length = Send(LB_GETTEXTLEN, Index, 0);
    if (Length == LB_ERR) return std::string();
    std::wstring Text(static_cast<size_t>(Length) + 1, L'\0');
    Send(LB_GETTEXT, Index, reinterpret_cast<LPARAM>(&Text[0]));
    Text.resize(static_cast<size_t>(Length));
    return WideToGbk(Text);
  }
  int Add(const std::string& S) override {
    if (Held()) {
      FHeld.push_back(S);
      return Count() - 1;
    }
    return static_cast<int>(Send(LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(GbkToWide(S).c_str())));
  }
  void Clear() override {
    if (Held())
      FHeld.clear();
    else
      Send(LB_RESETCONTENT, 0, 0);
  }
  // Called once the window exists.
  void HandOver() {
    std::vector<std::string> Items;
    Items.swap(FHeld);
    for (const std::string& Item : Items) Add(Item);
  }

 protected:
  void SetUpdateState(bool Updating) override {
    if (!Held()) SetRedraw(FListBox.Handle(), Updating);
  }

 private:
  bool Held() const { return !FListBox.HandleAllocated(); }

  LRESULT Send(UINT Msg, WPARAM WParam, LPARAM LParam) const {
    return SendMessageW(FListBox.Handle(), Msg, WParam, LParam);
  }

  TListBox& FListBox;
  std::vector<std::string> FHeld;
};

// Lines of the memo's text; a wrapped line counts as one.
// Until the memo has a window, its text is its caption, which the window
// starts with.
class TMemoStrings : public TStrings {
 public:
  explicit TMemoStrings(TMemo& Memo) : FMemo(Memo) {}

  int Count() const override { return static_cast<int>(SplitLines(Text()).size()); }
  std::string Get(int Index) const override {
    std::vector<std::string> Lines = SplitLines(Text());
    return Index >= 0 && Index < static_cast<int>(Lines.size()) ? Lines[Index] : std::string();
  }
  int Add(const std::string& S) override {
    std::string Current = Text();
    if (!Current.empty() && Current.compare(Current.size() - 1, 1, "\n") != 0) Current += "\r\n";
    SetText(Current + S + "\r\n");
    return Count() - 1;
  }
  void Clear() override { SetText(std::string()); }
  std::string Text() const override {
    return Held() ? FMemo.Caption() : WindowText(FMemo.Handle());
  }
  void SetText(const std::string& Value) override {
    if (Held()) {
      FMemo.SetCaption(AdjustLineBreaks(Value));
      return;
    }
    SetWindowTextW(FMemo.Handle(), GbkToWide(AdjustLineBreaks(Value)).c_str());
    FMemo.FitScrollBar();
  }

 protected:
  void SetUpdateState(bool Updating) override {
    if (!Held()) SetRedraw(FMemo.Handle(), Updating);
  }

 private:
  bool Held() const { return !FMemo.HandleAllocated(); }

  TMemo& FMemo;
};

}  // namespace

// TCustomLabel

long TCustomLabel::AccessibleRole() const { return ROLE_SYSTEM_STATICTEXT; }

TCustomLabel::TCustomLabel(TComponent* AOwner) : TControl(AOwner) {
  FWidth = 65;
  FHeight = 17;
  SetAutoSize(true);
}

void TCustomLabel::Changed() {
  AdjustSize();
  Invalidate();
}

void TCustomLabel::TextChanged() { Changed(); }

void TCustomLabel::FontChanged() { Changed(); }

void TCustomLabel::SetTransparent(bool Value) {
  if (Value == FTransparent) return;
  FTransparent = Value;
  Invalidate();
}

void TCustomLabel::SetLayout(TTextLayout Value) {
  if (Value == FLayout) return;
  FLayout = Value;
  Invalidate();
}

void TCustomLabel::SetWordWrap(bool Value) {
  if (Value == FWordWrap) return;
  FWordWrap = Value;
  Changed();
}

bool TCustomLabel::CanAutoSize(int& NewWidth, int& NewHeight) {
  HDC ScreenDC = GetDC(nullptr);
  HDC Previous = Canvas().Handle();
  Canvas().SetHandle(ScreenDC);
  TRect R(0, 0, NewWidth, NewHeight);
  DoDrawText(R, DT_EXPANDTABS | DT_CALCRECT | (FWordWrap ? DT_WORDBREAK : 0));
  Canvas().SetHandle(Previous);
  ReleaseDC(nullptr, ScreenDC);
  NewWidth = R.right;
  NewHeight = R.bottom;
  return true;
}

void TCustomLabel::DoDrawText(TRect& Rect, UINT Flags) {
  std::string Text = Caption();
  // An empty label still has the height of one line.
  if ((Flags & DT_CALCRECT) && (Text.empty() || Text == "&")) Text += ' ';
  TCanvas& C = Canvas();
  C.Font().Assign(Font());
  if (Enabled()) {
    C.TextRect(Rect, Text, Flags);
    return;
  }
  OffsetRect(&Rect, 1, 1);
  C.Font().SetColor(clBtnHighlight);
  C.TextRect(Rect, Text, Flags);
  OffsetRect(&Rect, -1, -1);
  C.Font().SetColor(clBtnShadow);
  C.TextRect(Rect, Text, Flags);
}

void TCustomLabel::Paint(HDC DC) {
  HDC Previous = Canvas().Handle();
  Canvas().SetHandle(DC);
  TRect R = ClientRect();
  if (!FTransparent) Canvas().FillRect(R, Color());
  UINT Flags = DT_EXPANDTABS | (FWordWrap ? DT_WORDBREAK : 0);
  if (FLayout != tlTop) {
    TRect Measured = R;
    DoDrawText(Measured, Flags | DT_CALCRECT);
    int Gap = Height() - Measured.bottom;
    OffsetRect(&R, 0, FLayout == tlBottom ? Gap : Gap / 2);
  }
  DoDrawText(R, Flags);
  Canvas().SetHandle(Previous);
}

// TListBox

TListBox::TListBox(TComponent* AOwner) : TWinControl(AOwner), FItems(new TListBoxStrings(*this)) {
  FWidth = 121;
  FHeight = 97;
  SetParentColor(false);
  SetColor(clWindow);
}

TListBox::~TListBox() { delete FItems; }

void TListBox::CreateParams(TCreateParams& Params) {
  TWinControl::CreateParams(Params);
  CreateSubClass(Params, "LISTBOX");
  Params.Style |= WS_VSCROLL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT;
  Params.ExStyle |= WS_EX_CLIENTEDGE;
  Params.WinClassName = "TListBox";
}

void TListBox::CreateWnd() {
  TWinControl::CreateWnd();
  ApplyItemHeight();
  static_cast<TListBoxStrings*>(FItems)->HandOver();
}

void TListBox::FontChanged() {
  TWinControl::FontChanged();
  ApplyItemHeight();  // a new font resets the item height
}

void TListBox::ChangeScale(int M, int D) {
  FItemHeight = MulDiv(FItemHeight, M, D);
  TWinControl::ChangeScale(M, D);
  ApplyItemHeight();
}

void TListBox::ApplyItemHeight() {
  if (HandleAllocated() && FItemHeight > 0)
    SendMessageA(Handle(), LB_SETITEMHEIGHT, 0, FItemHeight);
}

int TListBox::ItemIndex() { return static_cast<int>(SendMessageA(Handle(), LB_GETCURSEL, 0, 0)); }

void TListBox::SetItemIndex(int Value) { SendMessageA(Handle(), LB_SETCURSEL, Value, 0); }

void TListBox::SetItemHeight(int Value) {
  if (Value == FItemHeight || Value < 0) return;
  FItemHeight = Value;
  ApplyItemHeight();
  Invalidate();
}

// TMemo

TMemo::TMemo(TComponent* AOwner) : TWinControl(AOwner), FLines(new TMemoStrings(*this)) {
  FWidth = 185;
  FHeight = 89;
  TabStop = true;
  SetParentColor(false);
  SetColor(clWindow);
}

TMemo::~TMemo() { delete FLines; }

void TMemo::CreateParams(TCreateParams& Params) {
  TWinControl::CreateParams(Params);
  CreateSubClass(Params, "EDIT");
  // With the scroll bar from the start the edit keeps its range up to date;
  // FitScrollBar shows it only when needed.
  Params.Style |= ES_MULTILINE | ES_AUTOVSCROLL | WS_VSCROLL | (FReadOnly ? ES_READONLY : 0);
  Params.ExStyle |= WS_EX_CLIENTEDGE;
  Params.WinClassName = "TMemo";
}

void TMemo::CreateWnd() {
  TWinControl::CreateWnd();
  FitScrollBar();
}

void TMemo::FitScrollBar() {
  HWND Wnd = Handle();
  ShowScrollBar(Wnd, SB_VERT, FALSE);  // measured at the full width
  LRESULT Lines = SendMessageA(Wnd, EM_GETLINECOUNT, 0, 0);
  if (Lines < 2) return;
  // The line height as the edit lays its lines out: the top of line 1 less
  // that of line 0.
  LRESULT First = SendMessageA(Wnd, EM_POSFROMCHAR, 0, 0);
  LRESULT Second = SendMessageA(Wnd, EM_POSFROMCHAR, SendMessageA(Wnd, EM_LINEINDEX, 1, 0), 0);
  int LineHeight = static_cast<short>(HIWORD(Second)) - static_cast<short>(HIWORD(First));
  RECT Area;
  SendMessageA(Wnd, EM_GETRECT, 0, reinterpret_cast<LPARAM>(&Area));
  if (LineHeight > 0 && Lines * LineHeight > Area.bottom - Area.top) ShowScrollBar(Wnd, SB_VERT, TRUE);
}

void TMemo::SetReadOnly(bool Value) {
  if (Value == FReadOnly) return;
  FReadOnly = Value;
  if (HandleAllocated()) SendMessageA(Handle(), EM_SETREADONLY, Value, 0);
}
