// System-wide hot keys: RegisterHotKey for the owner window, whose
// WM_HOTKEY reaches the program as OnHotKey.

#include "platform/win32/win32_services.h"

namespace tinctora::win32 {

namespace {

// The program's modifier bits are not the system's MOD_* values.
UINT SystemModifiers(int modifiers) {
  UINT mods = 0;
  if (modifiers & platform::ModCtrl) mods |= MOD_CONTROL;
  if (modifiers & platform::ModShift) mods |= MOD_SHIFT;
  if (modifiers & platform::ModAlt) mods |= MOD_ALT;
  return mods;
}

}  // namespace

// The id goes to the system as the program hands it out: which ids are
// valid is the program's rule.
bool Win32HotKeys::Register(WindowId owner, int nativeId, int modifiers, int virtualKey) {
  return RegisterHotKey(HwndOf(owner), nativeId, SystemModifiers(modifiers), static_cast<UINT>(virtualKey)) != 0;
}

bool Win32HotKeys::Unregister(WindowId owner, int nativeId) { return UnregisterHotKey(HwndOf(owner), nativeId) != 0; }

}  // namespace tinctora::win32
