// Timer, notification-area icon and picture control.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "framework/Classes.h"
#include "framework/Controls.h"
#include "framework/Graphics.h"

class TPopupMenu;

// Runs OnTimer every Interval milliseconds while Enabled.
class TTimer : public TComponent {
 public:
  explicit TTimer(TComponent* AOwner);
  ~TTimer() override;

  bool Enabled() const { return FEnabled; }
  void SetEnabled(bool Value);
  unsigned Interval() const { return FInterval; }
  // 0 stops the timer. Setting it starts the count again.
  void SetInterval(unsigned Value);

  TNotifyEvent OnTimer;

 private:
  void UpdateTimer();
  LRESULT WndProc(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam);

  HWND FWindow = nullptr;
  bool FEnabled = true;
  unsigned FInterval = 1000;
};

// An icon in the notification area. A left press followed by a release on
// it is a click; releasing the right button brings the application to the
// foreground and opens PopupMenu at the pointer. When the shell restarts,
// a visible icon is added again.
class TTrayIcon : public TComponent {
 public:
  explicit TTrayIcon(TComponent* AOwner);
  ~TTrayIcon() override;

  bool Visible() const { return FVisible; }
  void SetVisible(bool Value);
  const std::string& Hint() const { return FHint; }
  void SetHint(const std::string& Value);
  HICON Icon() const { return FIcon; }
  void SetIcon(HICON Value);

  TPopupMenu* PopupMenu = nullptr;
  TNotifyEvent OnClick;
  TNotifyEvent OnDblClick;

  // The window that receives the icon's notifications.
  HWND Handle();
  // The message the notifications arrive with (lParam: the mouse message).
  static constexpr UINT WM_TRAYNOTIFY = WM_APP + 0x2A0;

 private:
  bool Notify(DWORD Message);
  LRESULT WndProc(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam);
  void MouseNotification(UINT MouseMsg);

  HWND FWindow = nullptr;
  UINT FTaskbarCreated = 0;
  bool FVisible = false;
  bool FPressed = false;
  std::string FHint;
  HICON FIcon = nullptr;
};

// A painted control showing a picture: at its own size at the top-left,
// centred, or stretched over the control.
class TImage : public TControl {
 public:
  explicit TImage(TComponent* AOwner) : TControl(AOwner) {}

  const std::shared_ptr<TGraphic>& Picture() const { return FPicture; }
  void SetPicture(std::shared_ptr<TGraphic> Value);
  bool Stretch() const { return FStretch; }
  void SetStretch(bool Value);
  bool Center() const { return FCenter; }
  void SetCenter(bool Value);

  void Paint(HDC DC) override;
  void ChangeScale(int M, int D) override;

 protected:
  // The picture's size; any size while there is no picture.
  bool CanAutoSize(int& NewWidth, int& NewHeight) override;

 private:
  std::shared_ptr<TGraphic> FPicture;
  bool FStretch = false;
  bool FCenter = false;
};
