#include "framework/Accessible.h"

#include <oleacc.h>

#include <string>
#include <vector>

#include "framework/Forms.h"
#include "framework/GbkText.h"

namespace {

HRESULT Answer(BSTR* Out, const std::wstring& Text) {
  *Out = Text.empty() ? nullptr : SysAllocStringLen(Text.data(), static_cast<UINT>(Text.size()));
  return *Out ? S_OK : S_FALSE;
}

// What the control names itself, else its caption.
std::wstring NameOf(const TControl& Control) {
  std::wstring Own = Control.AccessibleName();
  if (!Own.empty()) return Own;
  return GbkToWide(Control.Caption());
}

// The window's own object; its children are numbered from 1: first the
// painted controls shown, then the visible windowed controls, which answer
// for themselves. The control is looked up through the window on every
// call, so a client that keeps the object past the window finds nothing.
class TAccessible final : public IAccessible {
 public:
  TAccessible(HWND Wnd, IAccessible* Standard) : FWnd(Wnd), FStandard(Standard) {}
  TAccessible(const TAccessible&) = delete;
  TAccessible& operator=(const TAccessible&) = delete;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID Id, void** Out) override {
    if (Id == __uuidof(IUnknown) || Id == __uuidof(IDispatch) || Id == __uuidof(IAccessible)) {
      *Out = static_cast<IAccessible*>(this);
      AddRef();
      return S_OK;
    }
    *Out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&FRefs); }
  ULONG STDMETHODCALLTYPE Release() override {
    const LONG Refs = InterlockedDecrement(&FRefs);
    if (Refs == 0) {
      FStandard->Release();
      delete this;
    }
    return Refs;
  }

  // No type information: clients call the interface directly.
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* Count) override {
    *Count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
    return E_NOTIMPL;
  }

  HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** Parent) override { return FStandard->get_accParent(Parent); }

  HRESULT STDMETHODCALLTYPE get_accChildCount(long* Count) override {
    *Count = static_cast<long>(Painted().size() + Windowed().size());
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE get_accChild(VARIANT Id, IDispatch** Child) override {
    *Child = nullptr;
    if (Id.vt != VT_I4) return E_INVALIDARG;
    const long Index = Id.lVal - 1 - static_cast<long>(Painted().size());
    const std::vector<HWND> Windows = Windowed();
    if (Index < 0) return Id.lVal > 0 ? S_FALSE : E_INVALIDARG;  // a painted control is a simple element
    if (Index >= static_cast<long>(Windows.size())) return E_INVALIDARG;
    return AccessibleObjectFromWindow(Windows[Index], OBJID_WINDOW, __uuidof(IDispatch),
                                      reinterpret_cast<void**>(Child));
  }

  HRESULT STDMETHODCALLTYPE get_accName(VARIANT Id, BSTR* Name) override {
    TControl* C = IsSelf(Id) ? Control() : PaintedChild(Id);
    if (!C) return E_INVALIDARG;
    // A window without a role of its own keeps the platform's name.
    if (IsSelf(Id) && !C->AccessibleRole()) return FStandard->get_accName(Id, Name);
    return Answer(Name, NameOf(*C));
  }

  HRESULT STDMETHODCALLTYPE get_accValue(VARIANT Id, BSTR* Value) override {
    TControl* C = IsSelf(Id) ? Control() : PaintedChild(Id);
    if (!C) return E_INVALIDARG;
    std::wstring Own = C->AccessibleValue();
    return Own.empty() && IsSelf(Id) ? FStandard->get_accValue(Id, Value) : Answer(Value, Own);
  }

  HRESULT STDMETHODCALLTYPE get_accRole(VARIANT Id, VARIANT* Role) override {
    TControl* C = IsSelf(Id) ? Control() : PaintedChild(Id);
    if (!C) return E_INVALIDARG;
    if (IsSelf(Id) && !C->AccessibleRole()) return FStandard->get_accRole(Id, Role);
    Role->vt = VT_I4;
    Role->lVal = C->AccessibleRole();
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE get_accState(VARIANT Id, VARIANT* State) override {
    if (IsSelf(Id)) return FStandard->get_accState(Id, State);
    TControl* C = PaintedChild(Id);
    if (!C) return E_INVALIDARG;
    TForm* Form = GetParentForm(C);
    long Flags = 0;
    if (!C->Enabled()) Flags |= STATE_SYSTEM_UNAVAILABLE;
    if (C->TabStop) Flags |= STATE_SYSTEM_FOCUSABLE;
    if (Form && Form->ActiveControl() == C && GetFocus() == FWnd) Flags |= STATE_SYSTEM_FOCUSED;
    if (Form && Form->DefaultControl == C) Flags |= STATE_SYSTEM_DEFAULT;
    State->vt = VT_I4;
    State->lVal = Flags;
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT Id, BSTR* Text) override {
    return IsSelf(Id) ? FStandard->get_accDescription(Id, Text) : Answer(Text, L"");
  }
  HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT Id, BSTR* Text) override {
    return IsSelf(Id) ? FStandard->get_accHelp(Id, Text) : Answer(Text, L"");
  }
  HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* File, VARIANT Id, long* Topic) override {
    if (IsSelf(Id)) return FStandard->get_accHelpTopic(File, Id, Topic);
    *Topic = 0;
    return Answer(File, L"");
  }
  HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT Id, BSTR* Text) override {
    return IsSelf(Id) ? FStandard->get_accKeyboardShortcut(Id, Text) : Answer(Text, L"");
  }

  HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* Focus) override {
    TForm* Form = dynamic_cast<TForm*>(Control());
    if (!Form || GetFocus() != FWnd || !Form->ActiveControl()) return FStandard->get_accFocus(Focus);
    const std::vector<TControl*> Children = Painted();
    for (size_t I = 0; I < Children.size(); ++I)
      if (Children[I] == Form->ActiveControl()) {
        Focus->vt = VT_I4;
        Focus->lVal = static_cast<long>(I + 1);
        return S_OK;
      }
    return FStandard->get_accFocus(Focus);
  }
  HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* Selection) override {
    return FStandard->get_accSelection(Selection);
  }

  HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT Id, BSTR* Action) override {
    if (IsSelf(Id)) return FStandard->get_accDefaultAction(Id, Action);
    TControl* C = PaintedChild(Id);
    if (!C) return E_INVALIDARG;
    return Answer(Action, C->AccessibleRole() == ROLE_SYSTEM_PUSHBUTTON ? L"按下" : L"");
  }

  HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT Id) override {
    if (IsSelf(Id)) return FStandard->accDoDefaultAction(Id);
    TControl* C = PaintedChild(Id);
    if (!C) return E_INVALIDARG;
    if (C->AccessibleRole() != ROLE_SYSTEM_PUSHBUTTON || !C->Enabled()) return DISP_E_MEMBERNOTFOUND;
    C->Press();
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE accSelect(long Flags, VARIANT Id) override {
    return IsSelf(Id) ? FStandard->accSelect(Flags, Id) : DISP_E_MEMBERNOTFOUND;
  }

  HRESULT STDMETHODCALLTYPE accLocation(long* Left, long* Top, long* Width, long* Height, VARIANT Id) override {
    if (IsSelf(Id)) return FStandard->accLocation(Left, Top, Width, Height, Id);
    TControl* C = PaintedChild(Id);
    if (!C) return E_INVALIDARG;
    POINT Origin{C->Left(), C->Top()};
    ClientToScreen(FWnd, &Origin);
    *Left = Origin.x;
    *Top = Origin.y;
    *Width = C->Width();
    *Height = C->Height();
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE accNavigate(long Direction, VARIANT Start, VARIANT* End) override {
    if (IsSelf(Start)) return FStandard->accNavigate(Direction, Start, End);
    if (!PaintedChild(Start)) return E_INVALIDARG;
    const long Next = Start.lVal + (Direction == NAVDIR_NEXT ? 1 : Direction == NAVDIR_PREVIOUS ? -1 : 0);
    End->vt = VT_EMPTY;
    if (Next == Start.lVal || Next < 1 || Next > static_cast<long>(Painted().size())) return S_FALSE;
    End->vt = VT_I4;
    End->lVal = Next;
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE accHitTest(long X, long Y, VARIANT* Hit) override {
    POINT P{X, Y};
    ScreenToClient(FWnd, &P);
    // Windowed children lie above every painted control.
    HWND Child = ChildWindowFromPointEx(FWnd, P, CWP_SKIPINVISIBLE | CWP_SKIPTRANSPARENT);
    if (Child && Child != FWnd) return FStandard->accHitTest(X, Y, Hit);
    const std::vector<TControl*> Children = Painted();
    // The topmost first: a later control paints over an earlier one.
    for (size_t I = Children.size(); I-- > 0;) {
      const TRect Bounds = Children[I]->BoundsRect();
      if (PtInRect(&Bounds, P)) {
        Hit->vt = VT_I4;
        Hit->lVal = static_cast<long>(I + 1);
        return S_OK;
      }
    }
    // Windowed children and the window itself.
    return FStandard->accHitTest(X, Y, Hit);
  }

  HRESULT STDMETHODCALLTYPE put_accName(VARIANT, BSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_accValue(VARIANT, BSTR) override { return E_NOTIMPL; }

 private:
  TWinControl* Control() const { return TWinControl::FindControl(FWnd); }

  static bool IsSelf(const VARIANT& Id) { return Id.vt == VT_I4 && Id.lVal == CHILDID_SELF; }

  std::vector<TControl*> Painted() const {
    std::vector<TControl*> Children;
    if (TWinControl* Self = Control())
      for (int I = 0; I < Self->ControlCount(); ++I) {
        TControl* C = Self->Controls(I);
        if (C->Visible() && C->AccessibleRole()) Children.push_back(C);
      }
    return Children;
  }

  std::vector<HWND> Windowed() const {
    std::vector<HWND> Children;
    if (TWinControl* Self = Control())
      for (int I = 0; I < Self->WinControlCount(); ++I) {
        TWinControl* C = Self->WinControls(I);
        if (C->Visible() && C->HandleAllocated()) Children.push_back(C->Handle());
      }
    return Children;
  }

  TControl* PaintedChild(const VARIANT& Id) const {
    if (Id.vt != VT_I4 || Id.lVal < 1) return nullptr;
    const std::vector<TControl*> Children = Painted();
    return Id.lVal <= static_cast<long>(Children.size()) ? Children[Id.lVal - 1] : nullptr;
  }

  LONG FRefs = 1;
  HWND FWnd;
  IAccessible* FStandard;
};

}  // namespace

LRESULT AccessibleObjectResult(TWinControl* Control, WPARAM WParam) {
  // The object is handed to other processes through COM, on the thread of
  // its window.
  static const HRESULT ComReady = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  (void)ComReady;
  HWND Wnd = Control->Handle();
  IAccessible* Standard = nullptr;
  if (FAILED(CreateStdAccessibleObject(Wnd, OBJID_CLIENT, __uuidof(IAccessible),
                                       reinterpret_cast<void**>(&Standard))))
    return 0;
  TAccessible* Object = new TAccessible(Wnd, Standard);
  const LRESULT Result = LresultFromObject(__uuidof(IAccessible), WParam, Object);
  Object->Release();
  return Result;
}
