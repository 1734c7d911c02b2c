// What the window suites share: the failure counter file, the application's
// close request, finding the notice being shown, and clicks on controls.
#pragma once

#include <windows.h>

#include <string>

#include "framework/Forms.h"
#include "tests/unit/windows/ModalScript.h"
#include "ui/frmUpdateInfo.h"

// Writes the persistent failure counter.
void SetFailureCounter(int Value);
// The stored counter; -1000 when the file or the key is missing.
int FailureCounter();

// Removes a WM_CLOSE posted to the application window; true when there was one.
bool TakeApplicationClose();

// The notice shown modally right now (not the shared checking notice), or null.
TFormUpdateInfo* ShownNotice();
// A step that waits for a notice and stores it in Notice.
ModalScript::Step WaitForNotice(TFormUpdateInfo*& Notice);
// A step that waits until the form is visible (or hidden).
ModalScript::Step WaitVisible(TForm* const& Form, bool Visible = true);

// A real left click in the middle of the control.
void ClickControl(TForm* Form, TControl* Control);
// A real click on the skin close button of the form.
void ClickCloseButton(TForm* Form);

// Saves the form as it shows on the screen under ZR_ARTIFACTS.
void Screenshot(TForm* Form, const std::string& Name);
