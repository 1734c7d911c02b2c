#include "framework/Controls.h"

#include <windowsx.h>

#include <algorithm>
#include <stdexcept>

#include "framework/Accessible.h"
#include "framework/Forms.h"
#include "framework/GbkText.h"

namespace {

const char* const kObjectProp = "ZrControl";
thread_local TWinControl* CreationControl = nullptr;

TShiftState ShiftFromKeys(WPARAM Keys) {
  TShiftState Shift = 0;
  if (Keys & MK_SHIFT) Shift |= ssShift;
  if (Keys & MK_CONTROL) Shift |= ssCtrl;
  if (Keys & MK_LBUTTON) Shift |= ssLeft;
  if (Keys & MK_RBUTTON) Shift |= ssRight;
  if (Keys & MK_MBUTTON) Shift |= ssMiddle;
  if (GetKeyState(VK_MENU) < 0) Shift |= ssAlt;
  return Shift;
}

bool IsMouseMessage(UINT Msg) {
  return Msg == WM_MOUSEMOVE || (Msg >= WM_LBUTTONDOWN && Msg <= WM_MBUTTONDBLCLK);
}

}  // namespace

// TControl

TControl::TControl(TComponent* AOwner) : TComponent(AOwner) {
  FFont.OnChange = [this](TObject*) {
    if (!FAssigningParentFont) FParentFont = false;
    FontChanged();
  };
}

TControl::~TControl() {
  MarkDestroying();
  SetParent(nullptr);
}

void TControl::SetParent(TWinControl* AParent) {
  if (AParent == FParent) return;
  if (FParent) FParent->RemoveControl(this);
  if (AParent) AParent->InsertControl(this);
}

void TControl::ApplyAutoSize(int& AWidth, int& AHeight) {
  if (!FAutoSize) return;
  int W = AWidth, H = AHeight;
  if (CanAutoSize(W, H)) {
    AWidth = W;
    AHeight = H;
  }
}

bool TControl::CanAutoSize(int&, int&) { return false; }

void TControl::SetBounds(int ALeft, int ATop, int AWidth, int AHeight) {
  ApplyAutoSize(AWidth, AHeight);
  if (ALeft == FLeft && ATop == FTop && AWidth == FWidth && AHeight == FHeight) return;
  TRect Old = BoundsRect();
  FLeft = ALeft;
  FTop = ATop;
  FWidth = AWidth;
  FHeight = AHeight;
  if (FVisible) {
    InvalidateBounds(Old);
    Invalidate();
  }
  UpdateAnchorRules();
}

void TControl::UpdateAnchorRules() {
  if (!FParent || FParent->FAnchoring) return;
  TRect Client = FParent->ClientRect();
  FAnchorRight = Client.Width() - (FLeft + FWidth);
  FAnchorBottom = Client.Height() - (FTop + FHeight);
}

void TControl::SetVisible(bool Value) {
  if (Value == FVisible) return;
  FVisible = Value;
  InvalidateBounds(BoundsRect());
  if (!FParent) return;
  if (!Value) FParent->ReleaseControlCapture(this);
}

void TControl::SetEnabled(bool Value) {
  if (Value == FEnabled) return;
  FEnabled = Value;
  if (!Value && FParent) FParent->ReleaseControlCapture(this);
  EnabledChanged();
}

void TControl::SetAutoSize(bool Value) {
  if (Value == FAutoSize) return;
  FAutoSize = Value;
  if (Value) AdjustSize();
}

void TControl::SetCaption(const std::string& Value) {
  if (Value == FCaption) return;
  FCaption = Value;
  TextChanged();
}

void TControl::SetColor(TColor Value) {
  FParentColor = false;
  StoreColor(Value);
}

void TControl::StoreColor(TColor Value) {
  if (Value == FColor) return;
  FColor = Value;
  ColorChanged();
}

void TControl::SetParentColor(bool Value) {
  FParentColor = Value;
  ParentColorChanged();
}

void TControl::ParentColorChanged() {
  if (FParentColor && FParent) StoreColor(FParent->Color());
}

void TControl::SetParentFont(bool Value) {
  FParentFont = Value;
  if (Value) ParentFontChanged();
}

void TControl::ParentFontChanged() {
  if (!FParentFont || !FParent) return;
  FAssigningParentFont = true;
  FFont.Assign(FParent->Font());
  FAssigningParentFont = false;
}

void TControl::InvalidateBounds(const TRect& R) {
  if (FParent && FParent->HandleAllocated()) InvalidateRect(FParent->Handle(), &R, FALSE);
}

void TControl::Invalidate() {
  if (FVisible) InvalidateBounds(BoundsRect());
}

bool TControl::MouseCapture() const { return FParent && FParent->FCaptureControl == this; }

void TControl::Paint(HDC) {}

int TControl::HitTest(int X, int Y) {
  return X >= 0 && Y >= 0 && X < FWidth && Y < FHeight ? HTCLIENT : HTNOWHERE;
}

void TControl::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  if (OnMouseDown) OnMouseDown(this, Button, Shift, X, Y);
}

void TControl::MouseMove(TShiftState Shift, int X, int Y) {
  if (OnMouseMove) OnMouseMove(this, Shift, X, Y);
}

void TControl::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
  if (OnMouseUp) OnMouseUp(this, Button, Shift, X, Y);
}

void TControl::Click() {
  if (OnClick) OnClick(this);
}

void TControl::DblClick() {
  if (OnDblClick) OnDblClick(this);
}

void TControl::MouseEnter() {
  if (OnMouseEnter) OnMouseEnter(this);
}

void TControl::MouseLeave() {
  if (OnMouseLeave) OnMouseLeave(this);
}

void TControl::DispatchMouse(UINT Msg, WPARAM Keys, int X, int Y) {
  TShiftState Shift = ShiftFromKeys(Keys);
  switch (Msg) {
    case WM_MOUSEMOVE:
      MouseMove(Shift, X, Y);
      break;
    case WM_LBUTTONDOWN:
      FLeftHeld = true;
      FClicked = true;
      MouseDown(mbLeft, Shift, X, Y);
      break;
    case WM_LBUTTONDBLCLK:
      // The second press of a double-click reports no further click.
      FLeftHeld = true;
      FClicked = false;
      DblClick();
      MouseDown(mbLeft, Shift | ssDouble, X, Y);
      break;
    case WM_LBUTTONUP: {
      bool Inside = X >= 0 && Y >= 0 && X < ClientWidth() && Y < ClientHeight();
      bool IsClick = FClicked && Inside;
      FLeftHeld = false;
      FClicked = false;
      if (IsClick) Click();
      MouseUp(mbLeft, Shift, X, Y);
      break;
    }
    case WM_RBUTTONDOWN:
    case WM_RBUTTONDBLCLK:
      MouseDown(mbRight, Shift | (Msg == WM_RBUTTONDBLCLK ? TShiftState(ssDouble) : 0), X, Y);
      break;
    case WM_RBUTTONUP:
      MouseUp(mbRight, Shift, X, Y);
      break;
    case WM_MBUTTONDOWN:
    case WM_MBUTTONDBLCLK:
      MouseDown(mbMiddle, Shift | (Msg == WM_MBUTTONDBLCLK ? TShiftState(ssDouble) : 0), X, Y);
      break;
    case WM_MBUTTONUP:
      MouseUp(mbMiddle, Shift, X, Y);
      break;
  }
}

void TControl::CancelPress() {
  if (!FLeftHeld && !FClicked) return;
  FLeftHeld = false;
  FClicked = false;
  Invalidate();
}

// TWinControl

TWinControl::TWinControl(TComponent* AOwner) : TControl(AOwner) {}

TWinControl::~TWinControl() {
  MarkDestroying();
  while (!FControls.empty()) delete FControls.back();
  while (!FWinControls.empty()) delete FWinControls.back();
  DestroyHandle();
  if (FBrush) DeleteObject(FBrush);
}

TWinControl* TWinControl::FindControl(HWND Wnd) {
  return Wnd ? static_cast<TWinControl*>(GetPropA(Wnd, kObjectProp)) : nullptr;
}

HWND TWinControl::Handle() {
  if (!FHandle) CreateWnd();
  return FHandle;
}

void TWinControl::CreateParams(TCreateParams& Params) {
  Params.Caption = Caption();
  Params.Style = WS_CHILD | WS_CLIPCHILDREN | WS_CLIPSIBLINGS;
  if (FVisible) Params.Style |= WS_VISIBLE;
  if (!Enabled()) Params.Style |= WS_DISABLED;
  if (TabStop) Params.Style |= WS_TABSTOP;
  Params.X = FLeft;
  Params.Y = FTop;
  Params.Width = FWidth;
  Params.Height = FHeight;
  Params.WindowClass.style = CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW;
  Params.WindowClass.lpfnWndProc = DefWindowProcW;
  Params.WindowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
  Params.WinClassName = "TWinControl";
}

void TWinControl::CreateSubClass(TCreateParams& Params, const char* ControlClassName) {
  Params.SubClassName = ControlClassName;
  Params.PlatformControl = true;
}

namespace {

void LookUpSubClass(TCreateParams& Params) {
  if (!GetClassInfoW(nullptr, GbkToWide(Params.SubClassName).c_str(), &Params.WindowClass))
    throw std::runtime_error(std::string("unknown window class ") + Params.SubClassName);
}

}  // namespace

void TWinControl::CreateWnd() {
  TCreateParams Params;
  CreateParams(Params);
  if (Params.SubClassName) LookUpSubClass(Params);
  if (Parent()) {
    Params.WndParent = Parent()->Handle();
    if (FHandle) return;  // creating the parent created its children
  }
  if ((Params.Style & WS_CHILD) && !Params.WndParent)
    throw std::logic_error("a child control needs a parent window");
  HINSTANCE Instance = GetModuleHandleA(nullptr);
  // Unicode windows: their texts are kept whole under any code page.
  std::wstring ClassName = GbkToWide(Params.WinClassName);
  WNDCLASSW Registered{};
  if (!GetClassInfoW(Instance, ClassName.c_str(), &Registered)) {
    WNDCLASSW Class = Params.WindowClass;
    Class.lpfnWndProc = StdWndProc;
    Class.hInstance = Instance;
    Class.lpszClassName = ClassName.c_str();
    RegisterClassW(&Class);
  }
  FDefWndProc = Params.WindowClass.lpfnWndProc;
  FPlatformControl = Params.PlatformControl;
  CreationControl = this;
  HWND Wnd = CreateWindowExW(Params.ExStyle, ClassName.c_str(), GbkToWide(Params.Caption).c_str(),
                             Params.Style, Params.X, Params.Y, Params.Width, Params.Height,
                             Params.WndParent, nullptr, Instance, nullptr);
  CreationControl = nullptr;
  if (!Wnd) throw std::runtime_error("window creation failed");
  if (FPlatformControl) SendMessageA(Wnd, WM_SETFONT, reinterpret_cast<WPARAM>(Font().Handle()), 0);
  UpdateBounds();
  if (Parent()) TakeSiblingPlace();
  // A window that is not shown makes none for its children: a form that is
  // never shown never loads what their classes need.
  if (FVisible) CreateChildWindows();
}

void TWinControl::CreateChildWindows() {
  for (TWinControl* Child : FWinControls)
    if (Child->FVisible) Child->HandleNeeded();
}

void TWinControl::TakeSiblingPlace() {
  // A new child window goes below its siblings; the first child is on top.
  const std::vector<TWinControl*>& Siblings = Parent()->FWinControls;
  auto Self = std::find(Siblings.begin(), Siblings.end(), this);
  if (Self == Siblings.end() || std::none_of(Self + 1, Siblings.end(), [](TWinControl* C) { return C->FHandle; }))
    return;
  HWND Above = HWND_TOP;
  for (auto It = Siblings.begin(); It != Self; ++It)
    if ((*It)->FHandle) Above = (*It)->FHandle;
  SetWindowPos(FHandle, Above, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_NOOWNERZORDER);
}

void TWinControl::DestroyHandle() {
  if (!FHandle) return;
  SetMouseControl(nullptr);
  DestroyWindow(FHandle);  // WM_NCDESTROY clears FHandle
  FHandle = nullptr;
}

LRESULT CALLBACK TWinControl::StdWndProc(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam) {
  CountHandledMessage();
  TWinControl* Control = FindControl(Wnd);
  if (!Control && CreationControl) {
    Control = CreationControl;
    CreationControl = nullptr;
    Control->FHandle = Wnd;
    SetPropA(Wnd, kObjectProp, Control);
  }
  if (!Control) return DefWindowProcW(Wnd, Msg, WParam, LParam);
  LRESULT Result = 0;
  try {
    // A control being destroyed has lost its derived parts: only the
    // platform's handling is safe.
    Result = Control->Destroying() ? Control->DefaultHandler(Msg, WParam, LParam)
                                   : Control->WndProc(Msg, WParam, LParam);
  } catch (...) {
    // Exceptions must not unwind through the system's frames; the failure
    // stays inside the handler that raised it.
  }
  if (Msg == WM_NCDESTROY) {
    RemovePropA(Wnd, kObjectProp);
    Control->FHandle = nullptr;
  }
  return Result;
}

LRESULT TWinControl::DefaultHandler(UINT Msg, WPARAM WParam, LPARAM LParam) {
  return CallWindowProcW(FDefWndProc ? FDefWndProc : DefWindowProcW, FHandle, Msg, WParam, LParam);
}

LRESULT TWinControl::WndProc(UINT Msg, WPARAM WParam, LPARAM LParam) {
  if (IsMouseMessage(Msg)) return MouseMessage(Msg, WParam, LParam);
  switch (Msg) {
    case WM_PAINT:
      if (FPlatformControl && !DoubleBuffered) break;
      WMPaint();
      return 0;
    case WM_ERASEBKGND:
      if (FPlatformControl) break;
      return 1;  // the background is painted with everything else
    case WM_PRINTCLIENT:
      if (FPlatformControl) break;
      PaintTo(reinterpret_cast<HDC>(WParam));
      return 0;
    case WM_MOUSELEAVE:
      FTrackingLeave = false;
      if (!FCaptureControl) SetMouseControl(nullptr);
      break;
    case WM_CAPTURECHANGED:
      if (reinterpret_cast<HWND>(LParam) != FHandle && FCaptureControl) {
        TControl* Lost = FCaptureControl;
        FCaptureControl = nullptr;
        Lost->CancelPress();
      }
      break;
    case WM_MOVE:
      UpdateBounds();
      break;
    case WM_SIZE:
      UpdateBounds();
      ApplyAnchors();
      break;
    case WM_GETOBJECT:
      // The platform cannot see painted controls; its own controls answer
      // for themselves unless they name a role.
      if (static_cast<LONG>(LParam) == OBJID_CLIENT && (!FPlatformControl || AccessibleRole()))
        return AccessibleObjectResult(this, WParam);
      break;
    case WM_KEYDOWN:
      // In a platform child, Tab, Enter and Esc still work the form.
      if (FPlatformControl && (WParam == VK_TAB || WParam == VK_RETURN || WParam == VK_ESCAPE))
        return SendMessageA(GetAncestor(FHandle, GA_ROOT), Msg, WParam, LParam);
      break;
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORLISTBOX:
      if (TWinControl* Child = FindControl(reinterpret_cast<HWND>(LParam)))
        return reinterpret_cast<LRESULT>(Child->CtlColor(reinterpret_cast<HDC>(WParam)));
      break;
  }
  return DefaultHandler(Msg, WParam, LParam);
}

TControl* TWinControl::ControlAtPos(POINT P) const {
  for (auto It = FControls.rbegin(); It != FControls.rend(); ++It) {
    TControl* C = *It;
    if (!C->Visible() || !C->Enabled()) continue;
    if (C->HitTest(P.x - C->Left(), P.y - C->Top()) != HTNOWHERE) return C;
  }
  return nullptr;
}

LRESULT TWinControl::MouseMessage(UINT Msg, WPARAM WParam, LPARAM LParam) {
  POINT P{GET_X_LPARAM(LParam), GET_Y_LPARAM(LParam)};
  if (FPlatformControl) {
    DispatchMouse(Msg, WParam, P.x, P.y);
    return DefaultHandler(Msg, WParam, LParam);
  }
  if (Msg == WM_MOUSEMOVE) {
    if (!FTrackingLeave) {
      TRACKMOUSEEVENT Track{sizeof(Track), TME_LEAVE, FHandle, 0};
      FTrackingLeave = TrackMouseEvent(&Track) != FALSE;
    }
    SetMouseControl(ControlAtPos(P));
  }
  TControl* Target = FCaptureControl ? FCaptureControl : ControlAtPos(P);
  if (!Target) Target = this;
  if (Msg == WM_LBUTTONDOWN || Msg == WM_LBUTTONDBLCLK) {
    FCaptureControl = Target;
    SetCapture(FHandle);
  } else if (Msg == WM_LBUTTONUP && FCaptureControl) {
    // Released before the click runs: a click may start a modal run.
    FCaptureControl = nullptr;
    ReleaseCapture();
  }
  int X = Target == this ? P.x : P.x - Target->Left();
  int Y = Target == this ? P.y : P.y - Target->Top();
  Target->DispatchMouse(Msg, WParam, X, Y);
  if (Msg == WM_LBUTTONUP && FHandle) SetMouseControl(ControlAtPos(P));
  return Target == this ? DefaultHandler(Msg, WParam, LParam) : 0;
}

void TWinControl::SetMouseControl(TControl* AControl) {
  if (AControl == FMouseControl) return;
  TControl* Old = FMouseControl;
  FMouseControl = AControl;
  if (Old) Old->MouseLeave();
  if (AControl) AControl->MouseEnter();
}

void TWinControl::ReleaseControlCapture(TControl* AControl) {
  if (FCaptureControl == AControl) {
    FCaptureControl = nullptr;
    if (FHandle && GetCapture() == FHandle) ReleaseCapture();
  }
  AControl->CancelPress();
}

void TWinControl::InsertControl(TControl* AControl) {
  AControl->FParent = this;
  if (AControl->IsWindowed()) {
    auto* Child = static_cast<TWinControl*>(AControl);
    FWinControls.push_back(Child);
    if (Child->FHandle && FHandle)
      ::SetParent(Child->FHandle, FHandle);
    else if (FHandle && FVisible && Child->FVisible)
      Child->HandleNeeded();
  } else {
    FControls.push_back(AControl);
    AControl->Invalidate();
  }
  AControl->ParentFontChanged();
  AControl->ParentColorChanged();
  AControl->UpdateAnchorRules();
}

void TWinControl::RemoveControl(TControl* AControl) {
  if (FMouseControl == AControl) FMouseControl = nullptr;
  TForm* Form = GetParentForm(this);
  if (Form && Form->ActiveControl() == AControl) Form->SetActiveControl(nullptr);
  if (FCaptureControl == AControl) {
    FCaptureControl = nullptr;
    if (FHandle && GetCapture() == FHandle) ReleaseCapture();
  }
  // Looked up in both lists: from a destructor, IsWindowed() no longer
  // tells the truth.
  auto Windowed = std::find(FWinControls.begin(), FWinControls.end(), AControl);
  if (Windowed != FWinControls.end()) {
    FWinControls.erase(Windowed);
    static_cast<TWinControl*>(AControl)->DestroyHandle();
  } else {
    AControl->Invalidate();
    FControls.erase(std::find(FControls.begin(), FControls.end(), AControl));
  }
  AControl->FParent = nullptr;
}

void TWinControl::SetBounds(int ALeft, int ATop, int AWidth, int AHeight) {
  ApplyAutoSize(AWidth, AHeight);
  if (ALeft == FLeft && ATop == FTop && AWidth == FWidth && AHeight == FHeight) return;
  FLeft = ALeft;
  FTop = ATop;
  FWidth = AWidth;
  FHeight = AHeight;
  if (FHandle)
    SetWindowPos(FHandle, nullptr, ALeft, ATop, AWidth, AHeight, SWP_NOZORDER | SWP_NOACTIVATE);
  else
    ApplyAnchors();
  UpdateAnchorRules();
}

TRect TWinControl::ClientRect() const {
  RECT R{0, 0, 0, 0};
  if (FHandle) {
    GetClientRect(FHandle, &R);
    return TRect(R);
  }
  // No window yet: what the window's frame would leave of the bounds.
  TCreateParams Params;
  const_cast<TWinControl*>(this)->CreateParams(Params);
  AdjustWindowRectEx(&R, Params.Style, FALSE, Params.ExStyle);
  return TRect(0, 0, std::max(0, FWidth - int(R.right - R.left)),
               std::max(0, FHeight - int(R.bottom - R.top)));
}

void TWinControl::SetVisible(bool Value) {
  if (Value == FVisible) return;
  FVisible = Value;
  if (!FHandle && Value && (!Parent() || Parent()->HandleAllocated())) HandleNeeded();
  if (FHandle && Value) CreateChildWindows();
  if (FHandle) ShowWindow(FHandle, Value ? SW_SHOW : SW_HIDE);
  if (!Value) SetMouseControl(nullptr);
}

void TWinControl::Invalidate() {
  if (FHandle) InvalidateRect(FHandle, nullptr, FALSE);
}

void TWinControl::FontChanged() {
  if (FHandle && FPlatformControl)
    SendMessageA(FHandle, WM_SETFONT, reinterpret_cast<WPARAM>(Font().Handle()), TRUE);
  for (TControl* C : FControls) C->ParentFontChanged();
  for (TWinControl* C : FWinControls) C->ParentFontChanged();
  Invalidate();
}

void TWinControl::EnabledChanged() {
  if (FHandle) EnableWindow(FHandle, Enabled());
  Invalidate();
}

void TWinControl::TextChanged() {
  if (FHandle) SetWindowTextW(FHandle, GbkToWide(Caption()).c_str());
}

void TWinControl::ColorChanged() {
  if (FBrush) {
    DeleteObject(FBrush);
    FBrush = nullptr;
  }
  for (TControl* C : FControls) C->ParentColorChanged();
  for (TWinControl* C : FWinControls) C->ParentColorChanged();
  Invalidate();
}

HBRUSH TWinControl::CtlColor(HDC DC) {
  SetTextColor(DC, ColorToRGB(Font().Color()));
  SetBkColor(DC, ColorToRGB(Color()));
  if (!FBrush) FBrush = CreateSolidBrush(ColorToRGB(Color()));
  return FBrush;
}

namespace {

// The paint's DC and, when double-buffered, its off-screen copy: released
// and the paint ended on every way out, also when a handler throws.
struct TPaintScope {
  HWND Wnd;
  PAINTSTRUCT PS;
  HDC DC;
  explicit TPaintScope(HWND AWnd) : Wnd(AWnd), DC(BeginPaint(AWnd, &PS)) {}
  ~TPaintScope() { EndPaint(Wnd, &PS); }
};

struct TMemoryBitmap {
  HDC DC;
  HBITMAP Bitmap;
  HGDIOBJ Old;
  TMemoryBitmap(HDC Screen, int Width, int Height)
      : DC(CreateCompatibleDC(Screen)),
        Bitmap(CreateCompatibleBitmap(Screen, std::max(1, Width), std::max(1, Height))),
        Old(SelectObject(DC, Bitmap)) {}
  ~TMemoryBitmap() {
    SelectObject(DC, Old);
    DeleteObject(Bitmap);
    DeleteDC(DC);
  }
};

}  // namespace

void TWinControl::WMPaint() {
  TPaintScope Paint(FHandle);
  if (!DoubleBuffered) {
    PaintHandler(Paint.DC);
    return;
  }
  const RECT& Area = Paint.PS.rcPaint;
  TRect Client = ClientRect();
  TMemoryBitmap Memory(Paint.DC, Client.Width(), Client.Height());
  IntersectClipRect(Memory.DC, Area.left, Area.top, Area.right, Area.bottom);
  if (FPlatformControl) DefaultHandler(WM_ERASEBKGND, reinterpret_cast<WPARAM>(Memory.DC), 0);
  PaintHandler(Memory.DC);
  BitBlt(Paint.DC, Area.left, Area.top, Area.right - Area.left, Area.bottom - Area.top, Memory.DC, Area.left,
         Area.top, SRCCOPY);
}

void TWinControl::PaintHandler(HDC DC) {
  if (FPlatformControl) {
    // Platform controls paint into a given DC when it comes in wParam.
    DefaultHandler(WM_PAINT, reinterpret_cast<WPARAM>(DC), 0);
    return;
  }
  PaintTo(DC);
}

void TWinControl::PaintTo(HDC DC) {
  PaintWindow(DC);
  PaintControls(DC);
}

void TWinControl::PaintWindow(HDC DC) {
  TRect Client = ClientRect();
  HBRUSH Brush = CreateSolidBrush(ColorToRGB(Color()));
  FillRect(DC, &Client, Brush);
  DeleteObject(Brush);
}

void TWinControl::PaintControls(HDC DC) {
  for (TControl* C : FControls) {
    TRect Bounds = C->BoundsRect();
    if (!C->Visible() || !RectVisible(DC, &Bounds)) continue;
    int Saved = SaveDC(DC);
    OffsetViewportOrgEx(DC, Bounds.left, Bounds.top, nullptr);
    IntersectClipRect(DC, 0, 0, Bounds.Width(), Bounds.Height());
    C->FCanvas.SetHandle(DC);
    C->Paint(DC);
    C->FCanvas.SetHandle(nullptr);
    RestoreDC(DC, Saved);
  }
}

void TWinControl::UpdateBounds() {
  if (!FHandle || IsIconic(FHandle)) return;
  RECT R;
  GetWindowRect(FHandle, &R);
  HWND ParentWnd = GetParent(FHandle);
  if (ParentWnd && (GetWindowLongA(FHandle, GWL_STYLE) & WS_CHILD))
    MapWindowPoints(HWND_DESKTOP, ParentWnd, reinterpret_cast<POINT*>(&R), 2);
  FLeft = R.left;
  FTop = R.top;
  FWidth = R.right - R.left;
  FHeight = R.bottom - R.top;
}

void TWinControl::ApplyAnchors() {
  if (FAnchoring) return;
  FAnchoring = true;
  const TRect Client = ClientRect();
  auto Anchor = [&Client](TControl* C) {
    int L = C->Left(), T = C->Top(), W = C->Width(), H = C->Height();
    if (C->Anchors & akRight) {
      if (C->Anchors & akLeft)
        W = Client.Width() - L - C->FAnchorRight;
      else
        L = Client.Width() - W - C->FAnchorRight;
    }
    if (C->Anchors & akBottom) {
      if (C->Anchors & akTop)
        H = Client.Height() - T - C->FAnchorBottom;
      else
        T = Client.Height() - H - C->FAnchorBottom;
    }
    C->SetBounds(L, T, W, H);
  };
  for (TControl* C : FControls) Anchor(C);
  for (TWinControl* C : FWinControls) Anchor(C);
  FAnchoring = false;
}

// Display scale

void TControl::ScaleFont(int M, int D) {
  if (!FParentFont || !FParent) FFont.SetHeight(MulDiv(FFont.Height(), M, D));
}

void TControl::ChangeScale(int M, int D) {
  ScaleFont(M, D);
  // Edges, not sizes, are scaled: neighbours stay neighbours.
  const int L = MulDiv(FLeft, M, D), T = MulDiv(FTop, M, D);
  SetBounds(L, T, MulDiv(FLeft + FWidth, M, D) - L, MulDiv(FTop + FHeight, M, D) - T);
  FAnchorRight = MulDiv(FAnchorRight, M, D);
  FAnchorBottom = MulDiv(FAnchorBottom, M, D);
}

void TWinControl::ScaleControls(int M, int D) {
  // The distances to the edges are scaled with the children, not measured
  // against the parent's old size.
  FAnchoring = true;
  for (TControl* C : FControls) C->ChangeScale(M, D);
  for (TWinControl* C : FWinControls) C->ChangeScale(M, D);
  FAnchoring = false;
}

void TWinControl::ChangeScale(int M, int D) {
  ScaleControls(M, D);
  TControl::ChangeScale(M, D);
}
