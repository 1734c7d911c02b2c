#pragma once
// The label of the skinned windows: the platform label with a UTF-16 caption.

#include <windows.h>

#include <string>

#include "framework/StdCtrls.h"

class TLabel : public TCustomLabel {
 public:
  explicit TLabel(TComponent* AOwner) : TCustomLabel(AOwner) {}

  // Shown instead of Caption when not empty.
  const std::u16string& CaptionW() const { return FCaptionW; }
  void SetCaptionW(const std::u16string& Value);
  std::wstring AccessibleName() const override { return DisplayText(); }

 protected:
  void DoDrawText(TRect& Rect, UINT Flags) override;

 private:
  std::wstring DisplayText() const;

  std::u16string FCaptionW;
};
