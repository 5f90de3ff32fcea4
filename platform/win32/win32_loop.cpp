// The message loop, with the dialog manager's keys: Tab and Shift+Tab move
// between the tab stops, Esc and Enter reach the top level as IDCANCEL and
// IDOK when the focused control does not use them.

#include "platform/win32/win32_services.h"

namespace tinctora::win32 {

namespace {

void Dispatch(Registry& registry, MSG& msg) {
  if (registry.top != nullptr && IsDialogMessageW(registry.top, &msg)) return;
  TranslateMessage(&msg);
  DispatchMessageW(&msg);
}

}  // namespace

void Win32Loop::Run() {
  MSG msg;
  while (!quitting_) {
    const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
    if (got <= 0) break;
    Dispatch(registry_, msg);
  }
  quitting_ = false;
}

void Win32Loop::ProcessPending() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      // Left for the loop that runs the program.
      PostQuitMessage(static_cast<int>(msg.wParam));
      return;
    }
    Dispatch(registry_, msg);
  }
}

void Win32Loop::Quit() {
  quitting_ = true;
  PostQuitMessage(0);
}

void Win32Loop::PostCommand(WindowId owner, int command) {
  const HWND target = registry_.Find(owner) != nullptr ? HwndOf(owner) : registry_.top;
  if (target != nullptr) PostMessageW(target, kMsgCommand, static_cast<WPARAM>(command), 0);
}

}  // namespace tinctora::win32
