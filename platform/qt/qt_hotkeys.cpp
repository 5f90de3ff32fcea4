// The raw XCB events the backend reads itself: the presses of the hot keys
// and the end of a pointer grab the program did not release.
//
// System-wide hot keys: passive key grabs on the root window, one for each
// keycode of the key and each state of CapsLock and NumLock, so the key
// works whatever the lock keys show. A key another client has grabbed is
// refused (the server answers BadAccess).

#include <QCoreApplication>

#include <cstdlib>
#include <optional>
#include <cstring>

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

// Whether a generic event is a motion of the master pointer in the X Input
// extension's version 2 (the device and its source differ; Qt also
// selects motion of the physical pointers, whose events it does not use
// for the mouse).
bool IsMasterMotion(const xcb_generic_event_t& event, std::uint8_t inputOpcode) {
  constexpr std::uint16_t kMotion = 6;  // XI_Motion
  const auto& generic = reinterpret_cast<const xcb_ge_generic_event_t&>(event);
  if (generic.extension != inputOpcode || generic.event_type != kMotion) return false;
  // The device event's layout as XCB hands it over (full_sequence inserted
  // after the first 32 bytes): deviceid at 10, sourceid at 56.
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(&event);
  std::uint16_t device = 0;
  std::uint16_t source = 0;
  std::memcpy(&device, bytes + 10, sizeof device);
  std::memcpy(&source, bytes + 56, sizeof source);
  return device != source;
}

// The mode of a crossing event of the X Input extension's version 2
// (XI_Enter, XI_Leave; its modes have the core values, Ungrab among them).
std::optional<std::uint8_t> InputCrossingMode(const xcb_generic_event_t& event, std::uint8_t inputOpcode) {
  constexpr std::uint16_t kEnter = 7;  // XI_Enter
  constexpr std::uint16_t kLeave = 8;  // XI_Leave
  const auto& generic = reinterpret_cast<const xcb_ge_generic_event_t&>(event);
  if (generic.extension != inputOpcode || (generic.event_type != kEnter && generic.event_type != kLeave)) {
    return std::nullopt;
  }
  return reinterpret_cast<const std::uint8_t*>(&event)[18];
}

}  // namespace

struct QtHotKeys::Symbols {
  xcb_key_symbols_t* table = nullptr;
};

QtHotKeys::QtHotKeys(Registry& registry) : registry_(registry), symbols_(std::make_unique<Symbols>()) {
  symbols_->table = xcb_key_symbols_alloc(registry_.connection);
  // Qt takes the pointer's motion from the X Input extension when the
  // server has it, as generic events of that extension.
  const char kInput[] = "XInputExtension";
  xcb_query_extension_reply_t* input = xcb_query_extension_reply(
      registry_.connection, xcb_query_extension(registry_.connection, sizeof kInput - 1, kInput), nullptr);
  if (input != nullptr && input->present) inputOpcode_ = input->major_opcode;
  std::free(input);
  QCoreApplication::instance()->installNativeEventFilter(this);
}

QtHotKeys::~QtHotKeys() {
  if (QCoreApplication::instance() != nullptr) QCoreApplication::instance()->removeNativeEventFilter(this);
  for (const auto& [id, grab] : grabs_) Ungrab(grab, std::size(kLockVariants));
  xcb_flush(registry_.connection);
  if (symbols_->table != nullptr) xcb_key_symbols_free(symbols_->table);
}

void QtHotKeys::Ungrab(const Grab& grab, std::size_t variants) {
  for (const xcb_keycode_t keycode : grab.keycodes) {
    for (std::size_t v = 0; v < variants; ++v) {
      xcb_ungrab_key(registry_.connection, keycode, registry_.root, grab.modifiers | kLockVariants[v]);
    }
  }
}

bool QtHotKeys::Register(WindowId owner, int nativeId, int modifiers, int virtualKey) {
  if (grabs_.count(nativeId) != 0 || symbols_->table == nullptr) return false;
  const xcb_keysym_t symbol = KeySymOf(virtualKey);
  if (symbol == 0) return false;
  Grab grab;
  grab.owner = owner;
  grab.modifiers = XModifiers(modifiers);
  if (xcb_keycode_t* codes = xcb_key_symbols_get_keycode(symbols_->table, symbol)) {
    for (xcb_keycode_t* k = codes; *k != XCB_NO_SYMBOL; ++k) grab.keycodes.push_back(*k);
    std::free(codes);
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
    if (xcb_generic_error_t* error = xcb_request_check(registry_.connection, cookie)) {
      refused = true;
      std::free(error);
    }
  }
  if (refused) {
    // Only the grabs that succeeded are ours to release; releasing one held
    // by another client does nothing, as the server ignores a foreign grab.
    Ungrab(grab, std::size(kLockVariants));
    xcb_flush(registry_.connection);
    return false;
  }
  grabs_.emplace(nativeId, std::move(grab));
  return true;
}

bool QtHotKeys::Unregister(WindowId owner, int nativeId) {
  const auto it = grabs_.find(nativeId);
  if (it == grabs_.end() || it->second.owner != owner) return false;
  Ungrab(it->second, std::size(kLockVariants));
  xcb_flush(registry_.connection);
  grabs_.erase(it);
  return true;
}

void QtHotKeys::NoteUngrab(std::uint8_t mode, std::uint16_t sequence) {
  // The server ended the program's pointer grab (its window became
  // unviewable, say): the capture holder has lost the capture. A release
  // the program asked for has already cleared the capture.
  if (mode != XCB_NOTIFY_MODE_UNGRAB) return;
  if (static_cast<std::int16_t>(sequence - registry_.grabMarker) < 0) return;
  const WindowId holder = registry_.capture;
  NativeWindow* window = registry_.Find(holder);
  if (window == nullptr) return;
  registry_.capture = 0;
  window->inner->releaseMouse();
  if (registry_.sink != nullptr) registry_.sink->OnCaptureLost(holder);
}

bool QtHotKeys::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) {
  if (eventType != "xcb_generic_event_t") return false;
  const auto* event = static_cast<const xcb_generic_event_t*>(message);
  const std::uint8_t type = event->response_type & 0x7F;
  if (type == XCB_MOTION_NOTIFY) {
    ++registry_.motions.received;
    return false;
  }
  if (type == XCB_GE_GENERIC && inputOpcode_ != 0) {
    if (IsMasterMotion(*event, inputOpcode_)) ++registry_.motions.received;
    // Qt grabs the pointer through the X Input extension when it can; the
    // end of such a grab comes as the extension's crossing events.
    if (const std::optional<std::uint8_t> mode = InputCrossingMode(*event, inputOpcode_)) {
      NoteUngrab(*mode, event->sequence);
    }
    return false;
  }
  if (type != XCB_KEY_PRESS && type != XCB_KEY_RELEASE) return false;
  const auto* key = reinterpret_cast<const xcb_key_press_event_t*>(event);
  if (key->event != registry_.root) return false;
  const std::uint16_t state = key->state & kCompared;
  for (const auto& [id, grab] : grabs_) {
    if (grab.modifiers != state) continue;
    if (std::find(grab.keycodes.begin(), grab.keycodes.end(), key->detail) == grab.keycodes.end()) continue;
    if (type == XCB_KEY_PRESS && registry_.sink != nullptr) registry_.sink->OnHotKey(grab.owner, id);
    return true;
  }
  return false;
}

}  // namespace tinctora::qtb
