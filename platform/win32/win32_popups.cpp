// Popup windows the control layer paints and hit-tests itself: a borderless
// topmost window that never takes the activation. While its modal loop runs
// it holds the mouse capture, so a press outside it arrives here and ends it
// as a dismissal; keys go to the program as the popup's.


#include <algorithm>

#include "platform/win32/win32_services.h"

#include <commctrl.h>

namespace tinctora::win32 {

Win32Popups::Win32Popups(Registry& registry) : registry_(registry) {}

Win32Popups::~Win32Popups() {
  tooltip_.reset();
  popups_.clear();
}

WindowId Win32Popups::CreatePopup(WindowId ownerId, const Rect& screen) {
  const HWND owner = HwndOf(ownerId);
  if (registry_.Find(owner) == nullptr) return 0;
  // Exactly where the program puts it: keeping it on a display is the
  // program's business.
  OwnedWindow made(CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE, kPopupClass, L"", WS_POPUP,
                                   screen.left, screen.top, std::max(1, screen.Width()), std::max(1, screen.Height()),
                                   owner, nullptr, registry_.instance, nullptr));
  if (!made) return 0;
  NativeWindow* window = registry_.Add(made.get(), platform::NativeKind::Surface, false);
  if (window == nullptr) return 0;
  window->popup = true;
  const HWND hwnd = made.get();
  popups_[hwnd] = std::move(made);
  return IdOf(hwnd);
}

void Win32Popups::RunPopup(WindowId id) {
  const HWND hwnd = HwndOf(id);
  NativeWindow* window = registry_.Find(hwnd);
  if (window == nullptr || registry_.runningPopup != nullptr) return;
  if (window->closeRequested) {
    window->closeRequested = false;
    return;
  }
  registry_.runningPopup = hwnd;
  registry_.popupClosed = false;
  SetWindowPos(hwnd, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
  UpdateWindow(hwnd);
  ::SetCapture(hwnd);
  MSG msg;
  while (!registry_.popupClosed && registry_.runningPopup == hwnd) {
    const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
    if (got == 0) {
      // The loop's end is for the outer loop too.
      PostQuitMessage(static_cast<int>(msg.wParam));
      break;
    }
    if (got < 0) break;
    switch (msg.message) {
      case WM_KEYDOWN:
      case WM_SYSKEYDOWN:
        if (registry_.sink != nullptr) registry_.sink->OnKeyDown(id, static_cast<int>(msg.wParam));
        continue;
      case WM_KEYUP:
      case WM_SYSKEYUP:
      case WM_CHAR:
      case WM_SYSCHAR:
      case WM_DEADCHAR:
      case WM_SYSDEADCHAR:
        continue;
      default: break;
    }
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  if (registry_.runningPopup == hwnd) registry_.runningPopup = nullptr;
  registry_.popupClosed = false;
  if (registry_.Find(hwnd) != nullptr) {
    registry_.releasing = true;
    if (GetCapture() == hwnd) ::ReleaseCapture();
    registry_.releasing = false;
    ShowWindow(hwnd, SW_HIDE);
  }
}

void Win32Popups::ClosePopup(WindowId id) {
  const HWND hwnd = HwndOf(id);
  if (registry_.runningPopup == hwnd) {
    registry_.popupClosed = true;
    PostMessageW(hwnd, WM_NULL, 0, 0);
  } else if (NativeWindow* window = registry_.Find(hwnd)) {
    window->closeRequested = true;
  }
}

void Win32Popups::DestroyPopup(WindowId id) {
  const HWND hwnd = HwndOf(id);
  NativeWindow* window = registry_.Find(hwnd);
  if (window == nullptr || !window->popup) return;
  if (tooltipOwner_ == hwnd) {
    tooltip_.reset();
    tooltipOwner_ = nullptr;
  }
  if (const auto it = popups_.find(hwnd); it != popups_.end()) {
    popups_.erase(it);
  } else {
    DestroyWindow(hwnd);
  }
}

void Win32Popups::ShowTooltip(WindowId id, const Rect& client, TextView text) {
  const HWND popup = HwndOf(id);
  if (registry_.Find(popup) == nullptr) return;
  if (tooltipOwner_ != popup) {
    tooltip_.reset(CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP,
                                   CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, popup, nullptr,
                                   registry_.instance, nullptr));
    tooltipOwner_ = tooltip_ ? popup : nullptr;
    if (!tooltip_) return;
    const HFONT font = registry_.Font(registry_.DpiOf(popup)).Native();
    SendMessageW(tooltip_.get(), WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    TOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.uFlags = TTF_TRACK | TTF_ABSOLUTE;
    tool.hwnd = popup;
    tool.uId = 1;
    tool.lpszText = const_cast<wchar_t*>(L"");
    SendMessageW(tooltip_.get(), TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
  }
  TOOLINFOW tool{};
  tool.cbSize = sizeof tool;
  tool.hwnd = popup;
  tool.uId = 1;
  if (text.empty()) {
    SendMessageW(tooltip_.get(), TTM_TRACKACTIVATE, FALSE, reinterpret_cast<LPARAM>(&tool));
    return;
  }
  std::wstring wide = Wide(text);
  tool.lpszText = wide.data();
  SendMessageW(tooltip_.get(), TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
  // Just below the rectangle it names.
  POINT at{client.left, client.bottom + 4};
  if (!ClientToScreen(popup, &at)) return;
  SendMessageW(tooltip_.get(), TTM_TRACKPOSITION, 0, MAKELPARAM(at.x, at.y));
  SendMessageW(tooltip_.get(), TTM_TRACKACTIVATE, TRUE, reinterpret_cast<LPARAM>(&tool));
}

}  // namespace tinctora::win32
