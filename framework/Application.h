// The application object: the hidden application window, the main form and
// the message loop.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "framework/Classes.h"
#include "framework/Forms.h"

class TApplication : public TComponent {
 public:
  explicit TApplication(TComponent* AOwner);
  ~TApplication() override;

  void Initialize();
  // false: the main form stays hidden when Run starts.
  bool ShowMainForm = true;
  void SetTitle(const std::string& Value);
  std::string Title() const { return FTitle; }
  HICON Icon = nullptr;  // loaded with the application window

  // ref = new T(this); the first form created becomes the main form.
  template <class T>
  void CreateForm(T*& ref) {
    ref = new T(this);
    AddForm(ref);
  }
  TForm* MainForm() const { return FMainForm; }
  // The hidden application window. A WM_CLOSE posted to it closes the main
  // form; a granted close of the main form ends Run.
  HWND Handle() const;

  // Shows the main form (unless ShowMainForm is false) and dispatches
  // messages until the application terminates; returns at once without a
  // main form.
  void Run();
  // Every modal run and Run end as soon as they see it.
  void Terminate();
  bool Terminated() const { return FTerminated; }
  // Restores minimised forms; hidden ones stay hidden.
  void Restore();
  // Brings the form the user should answer (the top visible, enabled one)
  // to the foreground.
  void BringToFront();
  // Runs first for each message to the application window; true when it
  // handled the message.
  std::function<bool(UINT Msg)> OnWindowMessage;
  // Dispatches the messages waiting in the queue, then returns.
  void ProcessMessages();
  // Dispatches one message, waiting for one if none is there.
  void HandleMessage();
  // Runs when the session ends (log-off, shut-down), before the system ends
  // the process. The query before never holds the session up.
  std::function<void()> OnEndSession;

 private:
  friend class TForm;

  void AddForm(TForm* Form);
  bool ProcessMessage();
  LRESULT WndProc(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam);

  TForm* FMainForm = nullptr;
  mutable HWND FHandle = nullptr;
  std::string FTitle;
  bool FTerminated = false;
};

// Created when the program starts and never freed: the process ends with it.
extern TApplication* Application;

// Asks the application window to close, which ends the message loop.
void PostApplicationClose();
