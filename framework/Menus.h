// Pop-up menus with items that run their OnClick.
#pragma once

#include <string>
#include <vector>

#include "framework/Classes.h"

class TPopupMenu;

class TMenuItem : public TComponent {
 public:
  explicit TMenuItem(TComponent* AOwner) : TComponent(AOwner) {}
  ~TMenuItem() override;

  std::string Caption;
  bool Enabled = true;
  TNotifyEvent OnClick;

  void Click();

 private:
  friend class TPopupMenu;
  TPopupMenu* FMenu = nullptr;
};

class TPopupMenu : public TComponent {
 public:
  explicit TPopupMenu(TComponent* AOwner) : TComponent(AOwner) {}
  ~TPopupMenu() override;

  // The menu shows its items in the order they were added.
  void Add(TMenuItem* Item);
  void Remove(TMenuItem* Item);
  int Count() const { return static_cast<int>(FItems.size()); }
  TMenuItem* Items(int Index) const { return FItems.at(Index); }

  // Shows the menu at the screen point and returns once it is closed, after
  // running the chosen item's OnClick.
  void Popup(int X, int Y);

 private:
  std::vector<TMenuItem*> FItems;
};
