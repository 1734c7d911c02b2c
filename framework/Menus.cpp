#include "framework/Menus.h"

#include <algorithm>

#include "framework/Application.h"
#include "framework/GbkText.h"

TMenuItem::~TMenuItem() {
  if (FMenu) FMenu->Remove(this);
}

void TMenuItem::Click() {
  if (Enabled && OnClick) OnClick(this);
}

TPopupMenu::~TPopupMenu() {
  for (TMenuItem* Item : FItems) Item->FMenu = nullptr;
}

void TPopupMenu::Add(TMenuItem* Item) {
  if (Item->FMenu) Item->FMenu->Remove(Item);
  Item->FMenu = this;
  FItems.push_back(Item);
}

void TPopupMenu::Remove(TMenuItem* Item) {
  auto It = std::find(FItems.begin(), FItems.end(), Item);
  if (It == FItems.end()) return;
  FItems.erase(It);
  Item->FMenu = nullptr;
}

void TPopupMenu::Popup(int X, int Y) {
  HMENU Menu = CreatePopupMenu();
  for (int I = 0; I < Count(); ++I)
    AppendMenuW(Menu, MF_STRING | (FItems[I]->Enabled ? 0 : MF_GRAYED), I + 1,
                GbkToWide(FItems[I]->Caption).c_str());
  // The owner must be the foreground window, or the menu does not close
  // when the user clicks elsewhere.
  HWND Owner = Application->Handle();
  SetForegroundWindow(Owner);
  int Command = static_cast<int>(TrackPopupMenu(
      Menu, TPM_RETURNCMD | TPM_NONOTIFY | TPM_RIGHTBUTTON, X, Y, 0, Owner, nullptr));
  PostMessageA(Owner, WM_NULL, 0, 0);
  DestroyMenu(Menu);
  if (Command >= 1 && Command <= Count()) FItems[Command - 1]->Click();
}
