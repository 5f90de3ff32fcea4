// Modal choices: TrackPopupMenu for popup menus, ChooseColor for the
// colour dialog.


#include "platform/win32/win32_services.h"

#include <commdlg.h>

namespace tinctora::win32 {

namespace {

class Menu {
 public:
  Menu() : menu_(CreatePopupMenu()) {}
  ~Menu() {
    if (menu_ != nullptr) DestroyMenu(menu_);
  }
  Menu(const Menu&) = delete;
  Menu& operator=(const Menu&) = delete;
  HMENU get() const { return menu_; }

 private:
  HMENU menu_;
};

}  // namespace

std::optional<int> Win32Dialogs::TrackPopupMenu(WindowId ownerId, std::span<const Text> items, Point at) {
  const HWND owner = registry_.Find(ownerId) != nullptr ? HwndOf(ownerId) : registry_.top;
  Menu menu;
  if (menu.get() == nullptr || owner == nullptr) return std::nullopt;
  // Item ids from 1: 0 is what TrackPopupMenu returns for no choice.
  for (std::size_t i = 0; i < items.size(); ++i) {
    const std::wstring caption = Wide(items[i]);
    AppendMenuW(menu.get(), MF_STRING, i + 1, caption.c_str());
  }
  // The owner must be the foreground window for a click elsewhere to close
  // the menu, and must get a message afterwards for it to close at once.
  SetForegroundWindow(owner);
  const int chosen = static_cast<int>(::TrackPopupMenu(
      menu.get(), TPM_RETURNCMD | TPM_NONOTIFY | TPM_LEFTALIGN | TPM_TOPALIGN | TPM_RIGHTBUTTON, at.x, at.y, 0, owner,
      nullptr));
  PostMessageW(owner, WM_NULL, 0, 0);
  if (chosen < 1 || static_cast<std::size_t>(chosen) > items.size()) return std::nullopt;
  return chosen - 1;
}

std::optional<colour::ColourValue> Win32Dialogs::ChooseColour(WindowId ownerId, colour::ColourValue initial) {
  CHOOSECOLORW choose{};
  choose.lStructSize = sizeof choose;
  choose.hwndOwner = registry_.Find(ownerId) != nullptr ? HwndOf(ownerId) : registry_.top;
  choose.rgbResult = static_cast<COLORREF>(initial) & 0xFFFFFF;
  choose.lpCustColors = custom_.data();
  choose.Flags = CC_RGBINIT | CC_ANYCOLOR;
  if (!ChooseColorW(&choose)) return std::nullopt;
  return static_cast<colour::ColourValue>(choose.rgbResult & 0xFFFFFF);
}

}  // namespace tinctora::win32
