// The table of the program's native windows. Each window reaches its entry
// through itself: the program's own classes keep it in GWLP_USERDATA, the
// system's controls in the data of their subclass.

#include "platform/win32/win32_internal.h"

#include <commctrl.h>

namespace tinctora::win32 {

namespace {
// The one subclass the backend puts on a system control.
constexpr UINT_PTR kSubclassId = 1;
}  // namespace

NativeWindow* Registry::Add(HWND hwnd, platform::NativeKind kind, bool systemControl) {
  auto window = std::make_unique<NativeWindow>();
  window->hwnd = hwnd;
  window->registry = this;
  window->kind = kind;
  NativeWindow* made = window.get();
  if (systemControl) {
    if (!SetWindowSubclass(hwnd, &ControlProc, kSubclassId, reinterpret_cast<DWORD_PTR>(made))) return nullptr;
  } else {
    SetLastError(0);
    if (SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(made)) == 0 && GetLastError() != 0) {
      return nullptr;
    }
  }
  windows_[hwnd] = std::move(window);
  return made;
}

NativeWindow* Registry::Find(HWND hwnd) const {
  if (hwnd == nullptr) return nullptr;
  const auto it = windows_.find(hwnd);
  return it == windows_.end() ? nullptr : it->second.get();
}

void Registry::Remove(HWND hwnd) {
  if (capture == hwnd) capture = nullptr;
  if (top == hwnd) top = nullptr;
  if (runningPopup == hwnd) runningPopup = nullptr;
  const auto it = windows_.find(hwnd);
  if (it == windows_.end()) return;
  // Messages that still come (the last of the destruction) find nothing.
  if (it->second->kind == platform::NativeKind::Surface || it->second->topLevel || it->second->popup) {
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
  }
  windows_.erase(it);
}

UINT Registry::DpiOf(HWND hwnd) const {
  // A control's top level, or a popup's owner.
  if (const NativeWindow* root = Find(GetAncestor(hwnd, GA_ROOTOWNER)); root != nullptr && root->topLevel) {
    return root->dpi;
  }
  return WindowDpi(hwnd);
}

std::vector<NativeWindow*> Registry::All() const {
  std::vector<NativeWindow*> all;
  all.reserve(windows_.size());
  for (const auto& [hwnd, window] : windows_) all.push_back(window.get());
  return all;
}

}  // namespace tinctora::win32
