#include "tests/unit/windows/WindowTestSupport.h"

#include <gtest/gtest.h>

#include "app/uFunction.h"
#include "framework/Application.h"
#include "tests/support/TestSupport.h"

namespace {
std::string CounterFile() { return GetUserDataDir() + "upd.dat"; }
}  // namespace

void SetFailureCounter(int Value) {
  ASSERT_TRUE(WritePrivateProfileStringA("2", "2", std::to_string(Value).c_str(),
                                         CounterFile().c_str()));
}

int FailureCounter() {
  char Text[32] = {};
  GetPrivateProfileStringA("2", "2", "-1000", Text, sizeof Text, CounterFile().c_str());
  return std::atoi(Text);
}

bool TakeApplicationClose() {
  MSG Msg;
  bool Found = false;
  while (PeekMessageA(&Msg, Application->Handle(), WM_CLOSE, WM_CLOSE, PM_REMOVE)) Found = true;
  return Found;
}

TFormUpdateInfo* ShownNotice() {
  for (int I = Application->ComponentCount() - 1; I >= 0; --I) {
    auto* Notice = dynamic_cast<TFormUpdateInfo*>(Application->Components(I));
    if (Notice && Notice != FormUpdateInfo && Notice->Modal() && Notice->Visible()) return Notice;
  }
  return nullptr;
}

ModalScript::Step WaitForNotice(TFormUpdateInfo*& Notice) {
  return [&Notice] {
    Notice = ShownNotice();
    return Notice != nullptr && IsWindowVisible(Notice->Handle());
  };
}

ModalScript::Step WaitVisible(TForm* const& Form, bool Visible) {
  return [&Form, Visible] {
    return Form && Form->Visible() == Visible && (IsWindowVisible(Form->Handle()) != 0) == Visible;
  };
}

void ClickControl(TForm* Form, TControl* Control) {
  zrtest::ClickClient(Form->Handle(), Control->Left() + Control->Width() / 2,
                      Control->Top() + Control->Height() / 2);
}

void Screenshot(TForm* Form, const std::string& Name) {
  EXPECT_TRUE(zrtest::SaveScreenshot(Form->Handle(), Name)) << Name;
}
