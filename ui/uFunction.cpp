#include "ui/uFunction.h"

namespace {

// SC_MOVE with the low bits 7: the move follows the mouse, no keyboard step.
const WPARAM SC_DRAGMOVE = 0xF017;

}  // namespace

void DragWindow(TWinControl* Window, bool Immediate) {
  ReleaseCapture();
  if (Immediate) {
    Window->Perform(WM_SYSCOMMAND, SC_DRAGMOVE, 0);
    return;
  }
  UINT Saved = 0;
  SystemParametersInfoA(SPI_GETDRAGFULLWINDOWS, 0, &Saved, SPIF_UPDATEINIFILE);
  SystemParametersInfoA(SPI_SETDRAGFULLWINDOWS, 1, nullptr, SPIF_UPDATEINIFILE);
  struct TRestore {
    UINT Value;
    ~TRestore() { SystemParametersInfoA(SPI_SETDRAGFULLWINDOWS, Value, nullptr, SPIF_UPDATEINIFILE); }
  } Restore{Saved};  // also when the move fails
  Window->Perform(WM_SYSCOMMAND, SC_DRAGMOVE, 0);
}
