// Painted controls (no window of their own) and windowed controls.
//
// Override points for controls built on these classes:
//   TControl::Paint(HDC)         draw the control; the DC's origin is the
//                                control's top-left corner and drawing is
//                                clipped to its bounds. Canvas() is bound to
//                                the same DC while the parent paints.
//   TControl::HitTest(X, Y)      HTCLIENT inside the control; a control that
//                                answers HTNOWHERE is skipped and the mouse
//                                input goes to what lies beneath it.
//   TControl::CanAutoSize(W, H)  the size the control wants while AutoSize
//                                is on; every size change is replaced by it.
//   TControl::MouseDown/MouseMove/MouseUp/Click/DblClick/MouseEnter/
//   MouseLeave                   run after the framework's own handling of
//                                the message (held state, capture); Click
//                                runs before MouseUp. The base versions run
//                                the On... events.
//   TControl::TextChanged/FontChanged/EnabledChanged  after the property
//                                changed; the base versions repaint.
//   TControl::AccessibleRole/AccessibleName/AccessibleValue  what assistive
//                                technology is told of the control.
//   TWinControl::WndProc         every message of the window; call the base
//                                class for what is not handled, which ends
//                                in DefaultHandler (the platform's handling).
//   TWinControl::CreateParams    window class, styles and bounds used when
//                                the window is created.
//   TWinControl::CreateWnd       creates the window; platform controls push
//                                their stored settings after the base call.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "framework/Classes.h"
#include "framework/Graphics.h"

enum TAnchorKind : unsigned { akLeft = 1, akTop = 2, akRight = 4, akBottom = 8 };
using TAnchors = unsigned;

enum TMouseButton { mbLeft, mbRight, mbMiddle };

enum TShiftFlag : unsigned {
  ssShift = 1,
  ssAlt = 2,
  ssCtrl = 4,
  ssLeft = 8,
  ssRight = 16,
  ssMiddle = 32,
  ssDouble = 64
};
using TShiftState = unsigned;

using TMouseEvent =
    std::function<void(TObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y)>;
using TMouseMoveEvent = std::function<void(TObject* Sender, TShiftState Shift, int X, int Y)>;

class TWinControl;

class TControl : public TComponent {
 public:
  explicit TControl(TComponent* AOwner);
  ~TControl() override;

  TWinControl* Parent() const { return FParent; }
  void SetParent(TWinControl* AParent);
  virtual bool IsWindowed() const { return false; }

  // In the parent's client coordinates (screen coordinates for forms).
  int Left() const { return FLeft; }
  int Top() const { return FTop; }
  int Width() const { return FWidth; }
  int Height() const { return FHeight; }
  void SetLeft(int Value) { SetBounds(Value, FTop, FWidth, FHeight); }
  void SetTop(int Value) { SetBounds(FLeft, Value, FWidth, FHeight); }
  void SetWidth(int Value) { SetBounds(FLeft, FTop, Value, FHeight); }
  void SetHeight(int Value) { SetBounds(FLeft, FTop, FWidth, Value); }
  virtual void SetBounds(int ALeft, int ATop, int AWidth, int AHeight);
  TRect BoundsRect() const { return TRect(FLeft, FTop, FLeft + FWidth, FTop + FHeight); }
  virtual TRect ClientRect() const { return TRect(0, 0, FWidth, FHeight); }
  int ClientWidth() const { return ClientRect().Width(); }
  int ClientHeight() const { return ClientRect().Height(); }
  void SetClientWidth(int Value) { SetWidth(FWidth - ClientWidth() + Value); }
  void SetClientHeight(int Value) { SetHeight(FHeight - ClientHeight() + Value); }

  bool Visible() const { return FVisible; }
  virtual void SetVisible(bool Value);
  void Show() { SetVisible(true); }
  void Hide() { SetVisible(false); }
  bool Enabled() const { return FEnabled; }
  void SetEnabled(bool Value);
  // Edges of the parent the control keeps its distance to when the parent
  // is resized; both opposite edges: the control stretches.
  TAnchors Anchors = akLeft | akTop;
  bool AutoSize() const { return FAutoSize; }
  void SetAutoSize(bool Value);
  // Applies the auto-size rule again, e.g. after the picture changed.
  void AdjustSize() { SetBounds(FLeft, FTop, FWidth, FHeight); }

  const std::string& Caption() const { return FCaption; }
  void SetCaption(const std::string& Value);
  TColor Color() const { return FColor; }
  // Clears ParentColor.
  void SetColor(TColor Value);
  // While true the colour follows the parent's.
  bool ParentColor() const { return FParentColor; }
  void SetParentColor(bool Value);
  TFont& Font() { return FFont; }
  // While true the font follows the parent's; changing Font clears it.
  bool ParentFont() const { return FParentFont; }
  void SetParentFont(bool Value);

  // Makes the parent repaint the control's area.
  virtual void Invalidate();
  // From a left press (or double-click) on the control to the release.
  bool LeftButtonHeld() const { return FLeftHeld; }
  bool MouseCapture() const;

  TCanvas& Canvas() { return FCanvas; }

  virtual void Paint(HDC DC);
  virtual int HitTest(int X, int Y);
  // Moves the control to another display scale: M is the new dpi, D the
  // old. Bounds, the distances of the anchors and a font of its own are
  // multiplied by M / D; a windowed control scales its children first.
  virtual void ChangeScale(int M, int D);

  // A painted control with TabStop takes the form's keyboard focus while
  // it is visible and enabled; a windowed one gets WS_TABSTOP.
  bool TabStop = false;
  // The click handling, run by a key or by assistive technology.
  void Press() { Click(); }
  // An MSAA role (ROLE_SYSTEM_...); 0: a painted control is not shown to
  // assistive technology, a windowed one is left to the platform.
  virtual long AccessibleRole() const { return 0; }
  // Empty: the caption, or for a window the platform's name.
  virtual std::wstring AccessibleName() const { return {}; }
  virtual std::wstring AccessibleValue() const { return {}; }

  TNotifyEvent OnClick;
  TNotifyEvent OnDblClick;
  TNotifyEvent OnMouseEnter;
  TNotifyEvent OnMouseLeave;
  TMouseEvent OnMouseDown;
  TMouseEvent OnMouseUp;
  TMouseMoveEvent OnMouseMove;

 protected:
  virtual bool CanAutoSize(int& NewWidth, int& NewHeight);
  virtual void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y);
  virtual void MouseMove(TShiftState Shift, int X, int Y);
  virtual void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y);
  virtual void Click();
  virtual void DblClick();
  virtual void MouseEnter();
  virtual void MouseLeave();
  virtual void TextChanged() { Invalidate(); }
  virtual void FontChanged() { Invalidate(); }
  virtual void EnabledChanged() { Invalidate(); }
  virtual void ColorChanged() { Invalidate(); }

  // The auto-size rule applied to a requested size.
  void ApplyAutoSize(int& AWidth, int& AHeight);
  // Remembers the distances to the parent's edges for the anchors.
  void UpdateAnchorRules();
  // Multiplies the height of a font of the control's own by M / D.
  void ScaleFont(int M, int D);

  int FLeft = 0;
  int FTop = 0;
  int FWidth = 0;
  int FHeight = 0;
  bool FVisible = true;

 private:
  friend class TWinControl;

  void DispatchMouse(UINT Msg, WPARAM Keys, int X, int Y);
  void CancelPress();
  void ParentFontChanged();
  void ParentColorChanged();
  void StoreColor(TColor Value);
  void InvalidateBounds(const TRect& R);

  TWinControl* FParent = nullptr;
  bool FEnabled = true;
  bool FAutoSize = false;
  std::string FCaption;
  TColor FColor = clBtnFace;
  TFont FFont;
  bool FParentFont = true;
  bool FParentColor = true;
  bool FAssigningParentFont = false;
  bool FLeftHeld = false;
  bool FClicked = false;
  int FAnchorRight = 0;
  int FAnchorBottom = 0;
  TCanvas FCanvas;
};

struct TCreateParams {
  std::string Caption;
  DWORD Style = 0;
  DWORD ExStyle = 0;
  int X = 0;
  int Y = 0;
  int Width = 0;
  int Height = 0;
  HWND WndParent = nullptr;  // filled in from Parent() after CreateParams
  WNDCLASSW WindowClass{};
  // The class is registered under this name on first use: a control that
  // changes WindowClass needs a name of its own.
  std::string WinClassName;
  // Set by CreateSubClass: the window is a platform control that paints
  // itself, of this class. The class is looked up only when the window is
  // made, so that asking a control without one for its client area loads
  // no library.
  bool PlatformControl = false;
  const char* SubClassName = nullptr;
};

class TWinControl : public TControl {
 public:
  explicit TWinControl(TComponent* AOwner);
  // Also frees the controls it parents, whoever owns them.
  ~TWinControl() override;

  bool IsWindowed() const override { return true; }
  // The window, created on first use.
  HWND Handle();
  bool HandleAllocated() const { return FHandle != nullptr; }
  void HandleNeeded() { Handle(); }
  // The framework control that owns a window, or null.
  static TWinControl* FindControl(HWND Wnd);

  // Painted and windowed children, each in the order they were added.
  int ControlCount() const { return static_cast<int>(FControls.size()); }
  TControl* Controls(int Index) const { return FControls.at(Index); }
  int WinControlCount() const { return static_cast<int>(FWinControls.size()); }
  TWinControl* WinControls(int Index) const { return FWinControls.at(Index); }

  // Compose all painting off-screen and copy it to the window in one step.
  bool DoubleBuffered = false;

  void SetBounds(int ALeft, int ATop, int AWidth, int AHeight) override;
  TRect ClientRect() const override;
  void SetVisible(bool Value) override;
  void Invalidate() override;
  void ChangeScale(int M, int D) override;

  // Paints the background and the painted children into DC as the window's
  // own painting does (windowed children are not included).
  void PaintTo(HDC DC);

  virtual LRESULT WndProc(UINT Msg, WPARAM WParam, LPARAM LParam);
  // The platform's handling of a message.
  LRESULT DefaultHandler(UINT Msg, WPARAM WParam, LPARAM LParam);
  // Delivers a message straight to WndProc.
  LRESULT Perform(UINT Msg, WPARAM WParam, LPARAM LParam) { return WndProc(Msg, WParam, LParam); }

 protected:
  virtual void CreateParams(TCreateParams& Params);
  // Makes Params create a platform control of the given window class.
  static void CreateSubClass(TCreateParams& Params, const char* ControlClassName);
  virtual void CreateWnd();
  void DestroyHandle();
  // Fills the background with Color.
  virtual void PaintWindow(HDC DC);
  // Colours of a platform child, answered to WM_CTLCOLOR... on its behalf.
  virtual HBRUSH CtlColor(HDC DC);
  void FontChanged() override;
  void EnabledChanged() override;
  void TextChanged() override;
  void ColorChanged() override;
  bool IsPlatformControl() const { return FPlatformControl; }
  // ChangeScale of every child, painted and windowed.
  void ScaleControls(int M, int D);

 private:
  friend class TControl;
  static LRESULT CALLBACK StdWndProc(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam);

  void InsertControl(TControl* AControl);
  void RemoveControl(TControl* AControl);
  TControl* ControlAtPos(POINT P) const;
  LRESULT MouseMessage(UINT Msg, WPARAM WParam, LPARAM LParam);
  void SetMouseControl(TControl* AControl);
  void ReleaseControlCapture(TControl* AControl);
  void WMPaint();
  void PaintHandler(HDC DC);
  void PaintControls(HDC DC);
  void UpdateBounds();
  // Windows for the visible children that have none yet.
  void CreateChildWindows();
  // A window made out of turn takes its place among its siblings' windows.
  void TakeSiblingPlace();
  // Keeps the anchored children at their distances to the edges.
  void ApplyAnchors();

  HWND FHandle = nullptr;
  WNDPROC FDefWndProc = nullptr;
  bool FPlatformControl = false;
  std::vector<TControl*> FControls;
  std::vector<TWinControl*> FWinControls;
  TControl* FCaptureControl = nullptr;
  TControl* FMouseControl = nullptr;
  bool FTrackingLeave = false;
  bool FAnchoring = false;
  HBRUSH FBrush = nullptr;
};
