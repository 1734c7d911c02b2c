#include "ui/frmSkinBase2.h"

#include "skin/skin_ids.h"
#include "ui/uFunction.h"

#if defined(__x86_64__)
#include <xmmintrin.h>
#endif

namespace {

// The top strip of the background that moves the window.
const int DragStripBottom = 80;
const int CloseButtonMargin = 8;
// One frame of the close button's picture.
const int CloseButtonWidth = 30;
const int CloseButtonHeight = 40;

void LoadSkinPicture(TPicture& Picture, int Id) {
  Picture.LoadSkinResource(GetModuleHandleA(nullptr), Id);
}

}  // namespace

void MaskFPUExceptions() {
  unsigned short ControlWord = 0x133F;
  asm volatile("fldcw %0" : : "m"(ControlWord));
#if defined(__x86_64__)
  // Floating point runs on SSE here: mask its exceptions as well.
  _mm_setcsr(_mm_getcsr() | _MM_MASK_MASK);
#endif
}

TFormSkinBase2::TFormSkinBase2(TComponent* AOwner) : TQuietForm(AOwner) {
  SetBorderIcons(biSystemMenu);
  SetClientWidth(328);
  SetClientHeight(227);
  SetColor(clWhite);
  Font().SetName("宋体");
  Font().SetHeight(-12);
  Font().SetCharset(GB2312_CHARSET);
  Font().SetColor(clSilver);
  SetFormStyle(fsStayOnTop);
  Position = poMainFormCenter;

  imgMainBG = new TPNGImage(this);
  imgMainBG->Name = "imgMainBG";
  imgMainBG->SetBounds(0, 0, 330, 228);
  imgMainBG->SetDrawStyle(dsStretch);
  imgMainBG->SetThrough(false);
  LoadSkinPicture(imgMainBG->PNGImage(), IDR_SKIN_BACKGROUND);
  imgMainBG->OnMouseDown = [this](TObject* S, TMouseButton B, TShiftState Sh, int X, int Y) {
    imgFrmBGTopMouseDown(S, B, Sh, X, Y);
  };
  imgMainBG->OnDblClick = [this](TObject* S) { imgFrmBGTopDblClick(S); };
  imgMainBG->SetParent(this);

  btnClose = new TPNGButton(this);
  btnClose->Name = "btnClose";
  btnClose->SetNumGlyphs(4);
  // Its area stays clickable also when the picture cannot be decoded.
  btnClose->SetBounds(0, 0, CloseButtonWidth, CloseButtonHeight);
  btnClose->SetAutoSize(true);
  LoadSkinPicture(btnClose->PNGImage(), IDR_SKIN_CLOSE);
  btnClose->SetBounds(Width() - btnClose->Width() - CloseButtonMargin, 0, btnClose->Width(),
                      btnClose->Height());
  btnClose->Anchors = akTop | akRight;
  btnClose->SetCaption("关闭");  // not drawn: its name for assistive technology
  btnClose->OnClick = [this](TObject* S) { btnCloseClick(S); };
  btnClose->SetParent(this);
}

void TFormSkinBase2::CreateWnd() {
  TQuietForm::CreateWnd();
  // Wine gives a thread back its floating-point control word when a window
  // procedure called from inside the system returns, undoing the mask set
  // on WM_CREATE; set it again once the window exists.
  MaskFPUExceptions();
}

void TFormSkinBase2::btnCloseClick(TObject*) { Close(); }

void TFormSkinBase2::imgFrmBGTopMouseDown(TObject*, TMouseButton Button, TShiftState, int,
                                          int Y) {
  if (Button == mbLeft && Y <= ScaleValue(DragStripBottom)) DragWindow(this, true);
}

// A double-click on the background neither maximises nor restores the window.
void TFormSkinBase2::imgFrmBGTopDblClick(TObject*) {}

void TFormSkinBase2::LayOutCloseButton() {
  btnClose->SetLeft(Width() - btnClose->Width() - ScaleValue(CloseButtonMargin));
}

LRESULT TFormSkinBase2::WndProc(UINT Msg, WPARAM WParam, LPARAM LParam) {
  const LRESULT Result = TQuietForm::WndProc(Msg, WParam, LParam);
  switch (Msg) {
    case WM_CREATE:
      MaskFPUExceptions();
      DoubleBuffered = true;
      break;
    case WM_SIZE:
      // Borderless: the window's size is its client size.
      imgMainBG->SetBounds(0, 0, Width(), Height());
      LayOutCloseButton();
      break;
    case WM_SHOWWINDOW:
      if (BorderIcons() & biSystemMenu)
        LayOutCloseButton();
      else
        btnClose->Hide();
      break;
  }
  return Result;
}
