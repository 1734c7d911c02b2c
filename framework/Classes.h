// Object and component base of the window framework: ownership, events,
// string lists and hidden utility windows.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

class TObject {
 public:
  virtual ~TObject() = default;
};

using TNotifyEvent = std::function<void(TObject* Sender)>;

// A component owns the components created with it as owner and frees them,
// last created first, when it is freed itself.
class TComponent : public TObject {
 public:
  explicit TComponent(TComponent* AOwner);
  ~TComponent() override;
  TComponent(const TComponent&) = delete;
  TComponent& operator=(const TComponent&) = delete;

  TComponent* Owner() const { return FOwner; }
  int ComponentCount() const { return static_cast<int>(FComponents.size()); }
  TComponent* Components(int Index) const { return FComponents.at(Index); }
  // True from the start of the destructor on.
  bool Destroying() const { return FDestroying; }

  std::string Name;

 protected:
  // Derived destructors that release resources call this first, so that
  // code reached from them can see the object is going away.
  void MarkDestroying() { FDestroying = true; }

 private:
  void InsertComponent(TComponent* AComponent);
  void RemoveComponent(TComponent* AComponent);

  TComponent* FOwner = nullptr;
  std::vector<TComponent*> FComponents;
  bool FDestroying = false;
};

// A list of 8-bit texts, the common face of list box items and memo lines.
class TStrings : public TObject {
 public:
  virtual int Count() const = 0;
  virtual std::string Get(int Index) const = 0;
  virtual int Add(const std::string& S) = 0;
  virtual void Clear() = 0;
  // Lines joined with CR LF after each line.
  virtual std::string Text() const;
  // Splits at CR LF, LF or CR and replaces the whole list.
  virtual void SetText(const std::string& Value);
  // Nested; repainting of the owning control is suspended until the
  // outermost EndUpdate.
  void BeginUpdate();
  void EndUpdate();

 protected:
  virtual void SetUpdateState(bool Updating) = 0;

 private:
  int FUpdateCount = 0;
};

// Splits a text into lines at CR LF, LF or CR; a final line break does not
// start another line.
std::vector<std::string> SplitLines(const std::string& Text);

// A hidden window whose messages go to Method; unhandled ones should go to
// DefWindowProcA. A message-only window unless Broadcasts: only top-level
// windows receive messages sent to all (the session's end, the shell's
// "TaskbarCreated"), and they cost the display far more to make.
using TWndMethod = std::function<LRESULT(HWND, UINT, WPARAM, LPARAM)>;
// Messages the framework's windows of this thread have handled so far; a
// message loop compares it to notice messages that other threads sent.
unsigned long HandledMessageCount();
void CountHandledMessage();
HWND AllocateHWnd(TWndMethod Method, const char* ClassName = "TPUtilWindow", bool Broadcasts = false);
void DeallocateHWnd(HWND Wnd);
