// Top-level windows, all borderless: position, stacking, close requests
// and modal runs.
//
// Close rules:
//   Close() in a modal run sets ModalResult 2; the run then asks CloseQuery
//   and, when refused, resets ModalResult to 0 and goes on.
//   A ModalResult set by anyone during the run is treated the same way.
//   While the application is terminating, a modal run ends at once with 2
//   without asking CloseQuery.
//   Close() outside a modal run asks CloseQuery; a granted close hides the
//   form, or, for the application's main form, terminates the application.
//
// Keyboard, as in a dialog of the platform: Tab and Shift+Tab move the focus
// between the painted controls with TabStop; Enter presses the focused one,
// else DefaultControl; Esc presses CancelControl, else DefaultControl;
// Space presses the focused one. Each press is the control's click. The
// focused control shows a cue only after the first Tab (unless the system
// always shows them), as the platform's dialogs do.
//
// OnCreate runs once after the constructors: CreateForm runs it, otherwise
// the first creation of the window (Show, ShowModal, Handle) does.
#pragma once

#include <functional>

#include "framework/Controls.h"
#include "framework/DisplayScale.h"

enum TBorderIcon : unsigned { biSystemMenu = 1, biMinimize = 2, biMaximize = 4 };
using TBorderIcons = unsigned;

// Where the form goes when first shown. poMonitorCenter: the middle of the
// work area of the monitor that holds CenterOn's window, or of the monitor
// under the pointer when it gives none.
enum TPosition { poDesigned, poScreenCenter, poDesktopCenter, poMainFormCenter, poMonitorCenter };

enum TFormStyle { fsNormal, fsStayOnTop };

constexpr int mrNone = 0;
constexpr int mrOk = 1;
constexpr int mrCancel = 2;

using TCloseQueryEvent = std::function<void(TObject* Sender, bool& CanClose)>;

class TForm : public TWinControl {
 public:
  explicit TForm(TComponent* AOwner);
  ~TForm() override;

  TBorderIcons BorderIcons() const { return FBorderIcons; }
  void SetBorderIcons(TBorderIcons Value);
  TFormStyle FormStyle() const { return FFormStyle; }
  void SetFormStyle(TFormStyle Value);
  TPosition Position = poDesigned;
  // Asked when the form is first shown, for poMonitorCenter.
  std::function<HWND()> CenterOn;

  void SetVisible(bool Value) override;
  void Close();
  virtual bool CloseQuery();
  int ShowModal();
  bool Modal() const { return FModal; }
  int ModalResult() const { return FModalResult; }
  void SetModalResult(int Value) { FModalResult = Value; }

  // The painted control with the keyboard focus, or null.
  TControl* ActiveControl() const { return FActiveControl; }
  void SetActiveControl(TControl* Value);
  TControl* DefaultControl = nullptr;
  TControl* CancelControl = nullptr;
  // Whether Control should draw its focus cue now.
  bool ShowsFocusCue(const TControl* Control);

  // Runs OnCreate unless it has run already.
  void DoCreate();

  // The dpi the layout is scaled for: 96 until the window is made, then the
  // dpi of its monitor.
  int PixelsPerInch() const { return FPixelsPerInch; }
  // A length written for 96 dpi, in the form's scale.
  int ScaleValue(int Value) const { return MulDiv(Value, FPixelsPerInch, kDesignPixelsPerInch); }
  // Scales the layout from the current dpi to NewPPI.
  void ScaleForPPI(int NewPPI);
  // The controls, the font and the client size; the position stays.
  void ChangeScale(int M, int D) override;

  TNotifyEvent OnCreate;
  TCloseQueryEvent OnCloseQuery;

  LRESULT WndProc(UINT Msg, WPARAM WParam, LPARAM LParam) override;

 protected:
  void CreateParams(TCreateParams& Params) override;
  void CreateWnd() override;

 private:
  bool DialogKey(WPARAM Key, LPARAM Flags);
  void SelectNext(bool Forward);
  void CloseModal();
  void RunModalLoop();
  void ApplyPosition();
  void UpdateStyles();
  // WM_DPICHANGED: the layout for the new dpi, in the suggested rectangle.
  void DpiChanged(int NewPPI, const RECT& Suggested);

  TBorderIcons FBorderIcons = biSystemMenu | biMinimize | biMaximize;
  TFormStyle FFormStyle = fsNormal;
  int FModalResult = mrNone;
  bool FModal = false;
  bool FCreated = false;
  bool FPositioned = false;
  int FPixelsPerInch = kDesignPixelsPerInch;
  TControl* FActiveControl = nullptr;
  bool FFocusCues = false;
};

// The form that contains a control, or null.
TForm* GetParentForm(TControl* Control);
