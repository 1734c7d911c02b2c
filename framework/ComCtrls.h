// The platform's progress bar.
#pragma once

#include <string>

#include "framework/Controls.h"

class TProgressBar : public TWinControl {
 public:
  explicit TProgressBar(TComponent* AOwner);

  int Min() const { return FMin; }
  void SetMin(int Value);
  int Max() const { return FMax; }
  void SetMax(int Value);
  // Kept within Min and Max.
  int Position() const { return FPosition; }
  void SetPosition(int Value);

  long AccessibleRole() const override;
  // The position as a percentage of the range, "37%".
  std::wstring AccessibleValue() const override;

 protected:
  void CreateParams(TCreateParams& Params) override;
  void CreateWnd() override;

 private:
  void ApplyRange();

  int FMin = 0;
  int FMax = 100;
  int FPosition = 0;
};
