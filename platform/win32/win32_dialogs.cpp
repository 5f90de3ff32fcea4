// Modal choices: TrackPopupMenu for popup menus, ChooseColor for the
// colour dialog. The menus' items are drawn by the backend (owner-drawn), in
// the program's GUI font at the owner's DPI: the system would draw them in
// its own menu font, which is not the face of the program's labels and boxes.

#include "platform/win32/win32_services.h"

#include <commctrl.h>
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

// What the owner-drawn items of one menu are drawn with.
struct MenuLook {
  std::vector<std::wstring> captions;  // item id i + 1 is captions[i]
  HFONT font = nullptr;
  int lineHeight = 0;
  UINT dpi = kLayoutDpi;

  int Px(int units) const { return MulDiv(units, static_cast<int>(dpi), kLayoutDpi); }
  const std::wstring* Caption(UINT id, ULONG_PTR data) const {
    if (id < 1 || id > captions.size() || data != reinterpret_cast<ULONG_PTR>(&captions[id - 1])) return nullptr;
    return &captions[id - 1];
  }
};

constexpr UINT kMenuText = DT_SINGLELINE | DT_VCENTER | DT_LEFT;
// Room beside the text: the left one where the system draws a check mark.
constexpr int kMenuLeft = 20;
constexpr int kMenuRight = 12;
constexpr int kMenuPadding = 4;  // above and below the line

// Answers the owner's WM_MEASUREITEM and WM_DRAWITEM for the menu's items
// while it is open; every other message goes on to the owner.
LRESULT CALLBACK MenuOwnerProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR data) {
  const auto& look = *reinterpret_cast<const MenuLook*>(data);
  if (message == WM_MEASUREITEM) {
    auto& item = *reinterpret_cast<MEASUREITEMSTRUCT*>(lParam);
    const std::wstring* caption = item.CtlType == ODT_MENU ? look.Caption(item.itemID, item.itemData) : nullptr;
    if (caption != nullptr) {
      RECT text{};
      // The font leaves the DC before the DC goes back.
      if (const WindowDc dc(hwnd); dc.get() != nullptr) {
        const Selected font(dc.get(), look.font);
        DrawTextW(dc.get(), caption->c_str(), static_cast<int>(caption->size()), &text, kMenuText | DT_CALCRECT);
      }
      item.itemWidth = static_cast<UINT>(text.right + look.Px(kMenuLeft + kMenuRight));
      item.itemHeight = static_cast<UINT>(look.lineHeight + 2 * look.Px(kMenuPadding));
      return TRUE;
    }
  } else if (message == WM_DRAWITEM) {
    const auto& item = *reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
    const std::wstring* caption = item.CtlType == ODT_MENU ? look.Caption(item.itemID, item.itemData) : nullptr;
    if (caption != nullptr) {
      const bool selected = (item.itemState & ODS_SELECTED) != 0;
      const bool grayed = (item.itemState & (ODS_GRAYED | ODS_DISABLED)) != 0;
      FillRect(item.hDC, &item.rcItem, GetSysColorBrush(selected ? COLOR_HIGHLIGHT : COLOR_MENU));
      const Selected font(item.hDC, look.font);
      const int oldMode = SetBkMode(item.hDC, TRANSPARENT);
      const COLORREF oldColour = SetTextColor(
          item.hDC, GetSysColor(grayed ? COLOR_GRAYTEXT : selected ? COLOR_HIGHLIGHTTEXT : COLOR_MENUTEXT));
      RECT text = item.rcItem;
      text.left += look.Px(kMenuLeft);
      text.right -= look.Px(kMenuRight);
      DrawTextW(item.hDC, caption->c_str(), static_cast<int>(caption->size()), &text,
                kMenuText | ((item.itemState & ODS_NOACCEL) != 0 ? DT_HIDEPREFIX : 0));
      SetTextColor(item.hDC, oldColour);
      SetBkMode(item.hDC, oldMode);
      return TRUE;
    }
  }
  return DefSubclassProc(hwnd, message, wParam, lParam);
}

// The owner answers for the menu's items for the scope's lifetime.
class MenuOwner {
 public:
  MenuOwner(HWND owner, const MenuLook& look)
      : owner_(owner), ok_(SetWindowSubclass(owner, &MenuOwnerProc, kId, reinterpret_cast<DWORD_PTR>(&look))) {}
  ~MenuOwner() {
    if (ok_) RemoveWindowSubclass(owner_, &MenuOwnerProc, kId);
  }
  MenuOwner(const MenuOwner&) = delete;
  MenuOwner& operator=(const MenuOwner&) = delete;
  bool Ok() const { return ok_; }

 private:
  static constexpr UINT_PTR kId = 0x4D454E55;  // apart from the controls' subclass
  HWND owner_;
  bool ok_;
};

}  // namespace

std::optional<int> Win32Dialogs::TrackPopupMenu(WindowId ownerId, std::span<const Text> items, Point at) {
  const HWND owner = registry_.Find(ownerId) != nullptr ? HwndOf(ownerId) : registry_.top;
  Menu menu;
  if (menu.get() == nullptr || owner == nullptr) return std::nullopt;
  MenuLook look;
  look.dpi = registry_.DpiOf(owner);
  const Win32Font& font = registry_.Font(look.dpi);
  look.font = font.Native();
  look.lineHeight = font.LineHeight();
  look.captions.reserve(items.size());
  for (const Text& item : items) look.captions.push_back(Wide(item));
  const MenuOwner drawing(owner, look);
  // Item ids from 1: 0 is what TrackPopupMenu returns for no choice. Drawn
  // by the owner, each item's data is its caption; in the system's font
  // where the owner cannot draw them.
  for (std::size_t i = 0; i < look.captions.size(); ++i) {
    const std::wstring& caption = look.captions[i];
    if (drawing.Ok() && look.font != nullptr) {
      AppendMenuW(menu.get(), MF_OWNERDRAW, i + 1, reinterpret_cast<LPCWSTR>(&caption));
    } else {
      AppendMenuW(menu.get(), MF_STRING, i + 1, caption.c_str());
    }
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
