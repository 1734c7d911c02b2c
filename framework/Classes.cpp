#include "framework/Classes.h"

#include <algorithm>

#include "framework/GbkText.h"

TComponent::TComponent(TComponent* AOwner) {
  if (AOwner) AOwner->InsertComponent(this);
}

TComponent::~TComponent() {
  FDestroying = true;
  while (!FComponents.empty()) {
    TComponent* Last = FComponents.back();
    delete Last;  // removes itself from FComponents
  }
  if (FOwner) FOwner->RemoveComponent(this);
}

void TComponent::InsertComponent(TComponent* AComponent) {
  AComponent->FOwner = this;
  FComponents.push_back(AComponent);
}

void TComponent::RemoveComponent(TComponent* AComponent) {
  auto It = std::find(FComponents.begin(), FComponents.end(), AComponent);
  if (It != FComponents.end()) FComponents.erase(It);
  AComponent->FOwner = nullptr;
}

std::vector<std::string> SplitLines(const std::string& Text) {
  std::vector<std::string> Lines;
  std::string Line;
  for (size_t I = 0; I < Text.size(); ++I) {
    char C = Text[I];
    if (C != '\r' && C != '\n') {
      Line += C;
      continue;
    }
    if (C == '\r' && I + 1 < Text.size() && Text[I + 1] == '\n') ++I;
    Lines.push_back(Line);
    Line.clear();
  }
  if (!Line.empty()) Lines.push_back(Line);
  return Lines;
}

std::string TStrings::Text() const {
  std::string Result;
  for (int I = 0; I < Count(); ++I) Result += Get(I) + "\r\n";
  return Result;
}

void TStrings::SetText(const std::string& Value) {
  BeginUpdate();
  try {
    Clear();
    for (const std::string& Line : SplitLines(Value)) Add(Line);
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

void TStrings::BeginUpdate() {
  if (FUpdateCount++ == 0) SetUpdateState(true);
}

void TStrings::EndUpdate() {
  if (FUpdateCount > 0 && --FUpdateCount == 0) SetUpdateState(false);
}

namespace {

thread_local unsigned long HandledMessages = 0;

LRESULT CALLBACK UtilWndProc(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam) {
  CountHandledMessage();
  auto* Method = reinterpret_cast<TWndMethod*>(GetWindowLongPtrW(Wnd, GWLP_USERDATA));
  if (Msg == WM_NCCREATE) {
    Method = static_cast<TWndMethod*>(reinterpret_cast<CREATESTRUCTW*>(LParam)->lpCreateParams);
    SetWindowLongPtrW(Wnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(Method));
  }
  if (!Method || !*Method) return DefWindowProcW(Wnd, Msg, WParam, LParam);
  try {
    return (*Method)(Wnd, Msg, WParam, LParam);
  } catch (...) {
    // Exceptions must not unwind through the system's frames.
    return 0;
  }
}

}  // namespace

unsigned long HandledMessageCount() { return HandledMessages; }

void CountHandledMessage() { ++HandledMessages; }

HWND AllocateHWnd(TWndMethod Method, const char* ClassName, bool Broadcasts) {
  HINSTANCE Instance = GetModuleHandleA(nullptr);
  std::wstring Name = GbkToWide(ClassName);
  WNDCLASSW Class{};
  if (!GetClassInfoW(Instance, Name.c_str(), &Class)) {
    Class.lpfnWndProc = UtilWndProc;
    Class.hInstance = Instance;
    Class.lpszClassName = Name.c_str();
    RegisterClassW(&Class);
  }
  auto* Stored = new TWndMethod(std::move(Method));
  HWND Wnd = CreateWindowExW(WS_EX_TOOLWINDOW, Name.c_str(), L"", WS_POPUP, 0, 0, 0, 0,
                             Broadcasts ? nullptr : HWND_MESSAGE, nullptr, Instance, Stored);
  if (!Wnd) delete Stored;
  return Wnd;
}

void DeallocateHWnd(HWND Wnd) {
  if (!Wnd) return;
  auto* Method = reinterpret_cast<TWndMethod*>(GetWindowLongPtrW(Wnd, GWLP_USERDATA));
  SetWindowLongPtrW(Wnd, GWLP_USERDATA, 0);
  DestroyWindow(Wnd);
  delete Method;
}
