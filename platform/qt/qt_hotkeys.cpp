// System-wide hot keys: passive key grabs on the root window, one for each
// keycode of the key and each state of CapsLock and NumLock, so the key
// works whatever the lock keys show. A key another client has grabbed is
// refused (the server answers BadAccess). Their presses arrive through the
// native event filter (qt_input.cpp), which asks Match.

#include <xcb/xcb_keysyms.h>

#include "platform/qt/qt_services.h"

namespace tinctora::qtb {

namespace {

// The lock modifiers a grab is repeated for: CapsLock and NumLock (Mod2 on
// every common keyboard mapping).
constexpr std::uint16_t kLockVariants[] = {0, XCB_MOD_MASK_LOCK, XCB_MOD_MASK_2, XCB_MOD_MASK_LOCK | XCB_MOD_MASK_2};
constexpr std::uint16_t kCompared = XCB_MOD_MASK_SHIFT | XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1;

std::uint16_t XModifiers(int modifiers) {
  std::uint16_t mask = 0;
  if (modifiers & platform::ModCtrl) mask |= XCB_MOD_MASK_CONTROL;
  if (modifiers & platform::ModShift) mask |= XCB_MOD_MASK_SHIFT;
  if (modifiers & platform::ModAlt) mask |= XCB_MOD_MASK_1;
  return mask;
}

// The X key symbol of a Windows virtual-key code; 0 for none.
xcb_keysym_t KeySymOf(int vk) {
  if (vk >= '0' && vk <= '9') return static_cast<xcb_keysym_t>(vk);
  if (vk >= 'A' && vk <= 'Z') return static_cast<xcb_keysym_t>(vk - 'A' + 'a');
  if (vk >= 0x60 && vk <= 0x69) return 0xFFB0 + static_cast<xcb_keysym_t>(vk - 0x60);  // keypad digits
  if (vk >= 0x70 && vk <= 0x87) return 0xFFBE + static_cast<xcb_keysym_t>(vk - 0x70);  // F1 ... F24
  switch (vk) {
    case platform::KeyBackspace: return 0xFF08;
    case platform::KeyTab: return 0xFF09;
    case platform::KeyReturn: return 0xFF0D;
    case platform::KeyEscape: return 0xFF1B;
    case 0x20: return 0x0020;  // space
    case platform::KeyPageUp: return 0xFF55;
    case platform::KeyPageDown: return 0xFF56;
    case platform::KeyEnd: return 0xFF57;
    case platform::KeyHome: return 0xFF50;
    case platform::KeyLeft: return 0xFF51;
    case platform::KeyUp: return 0xFF52;
    case platform::KeyRight: return 0xFF53;
    case platform::KeyDown: return 0xFF54;
    case 0x2D: return 0xFF63;  // insert
    case platform::KeyDelete: return 0xFFFF;
    default: return 0;
  }
}

}  // namespace

void QtHotKeys::FreeSymbols::operator()(xcb_key_symbols_t* table) const { xcb_key_symbols_free(table); }

QtHotKeys::QtHotKeys(Registry& registry) : registry_(registry), symbols_(xcb_key_symbols_alloc(registry.connection)) {}

QtHotKeys::~QtHotKeys() {
  for (const auto& [key, grab] : grabs_) Ungrab(grab);
  xcb_flush(registry_.connection);
}

void QtHotKeys::Ungrab(const Grab& grab) {
  for (const xcb_keycode_t keycode : grab.keycodes) {
    for (const std::uint16_t variant : kLockVariants) {
      xcb_ungrab_key(registry_.connection, keycode, registry_.root, grab.modifiers | variant);
    }
  }
}

bool QtHotKeys::Register(WindowId owner, int nativeId, int modifiers, int virtualKey) {
  const xcb_keysym_t symbol = KeySymOf(virtualKey);
  if (symbol == 0 || !symbols_) return false;
  Grab grab;
  grab.modifiers = XModifiers(modifiers);
  if (const Reply<xcb_keycode_t> codes{xcb_key_symbols_get_keycode(symbols_.get(), symbol)}) {
    for (const xcb_keycode_t* k = codes.get(); *k != XCB_NO_SYMBOL; ++k) grab.keycodes.push_back(*k);
  }
  if (grab.keycodes.empty()) return false;
  // Every grab is checked: one refused variant refuses the key.
  std::vector<xcb_void_cookie_t> cookies;
  for (const xcb_keycode_t keycode : grab.keycodes) {
    for (const std::uint16_t variant : kLockVariants) {
      cookies.push_back(xcb_grab_key_checked(registry_.connection, 0, registry_.root, grab.modifiers | variant, keycode,
                                             XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
    }
  }
  bool refused = false;
  for (const xcb_void_cookie_t cookie : cookies) {
    if (const Reply<xcb_generic_error_t> error{xcb_request_check(registry_.connection, cookie)}) refused = true;
  }
  if (refused) {
    // Only the grabs that succeeded are ours to release; releasing one held
    // by another client does nothing, as the server ignores a foreign grab.
    Ungrab(grab);
    xcb_flush(registry_.connection);
    return false;
  }
  grabs_.insert_or_assign({owner, nativeId}, std::move(grab));
  return true;
}

bool QtHotKeys::Unregister(WindowId owner, int nativeId) {
  const auto it = grabs_.find({owner, nativeId});
  if (it == grabs_.end()) return false;
  Ungrab(it->second);
  xcb_flush(registry_.connection);
  grabs_.erase(it);
  return true;
}

std::optional<QtHotKeys::Hit> QtHotKeys::Match(xcb_keycode_t keycode, std::uint16_t state) const {
  const std::uint16_t compared = state & kCompared;
  for (const auto& [key, grab] : grabs_) {
    if (grab.modifiers != compared) continue;
    if (std::find(grab.keycodes.begin(), grab.keycodes.end(), keycode) == grab.keycodes.end()) continue;
    return Hit{key.first, key.second};
  }
  return std::nullopt;
}

}  // namespace tinctora::qtb
