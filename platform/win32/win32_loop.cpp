// The message loop, with the dialog manager's keys: Tab and Shift+Tab move
// between the tab stops, Esc and Enter reach the top level as IDCANCEL and
// IDOK when the focused control does not use them. Display frames come
// from a timer of a message-only window, which every modal loop (a popup's,
// a menu's, a dialog's) dispatches as this one does.

#include "platform/win32/win32_services.h"

namespace tinctora::win32 {

namespace {

constexpr wchar_t kFrameClass[] = L"TinctoraFrames";
constexpr UINT_PTR kFrameTimer = 1;
constexpr UINT kFrameMs = 16;
// The frame, posted when the system has no timer to spare.
constexpr UINT kMsgFrame = WM_APP + 3;

void Dispatch(Registry& registry, MSG& msg) {
  if (registry.top != nullptr && IsDialogMessageW(registry.top, &msg)) return;
  TranslateMessage(&msg);
  DispatchMessageW(&msg);
}

}  // namespace

Win32Loop::Win32Loop(Registry& registry) : registry_(registry) {
  WNDCLASSEXW frames{};
  frames.cbSize = sizeof frames;
  frames.lpfnWndProc = &Win32Loop::FrameProc;
  frames.hInstance = registry_.instance;
  frames.lpszClassName = kFrameClass;
  if (RegisterClassExW(&frames) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return;
  frameWindow_.reset(CreateWindowExW(0, kFrameClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, registry_.instance,
                                     nullptr));
  if (frameWindow_) SetWindowLongPtrW(frameWindow_.get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

LRESULT CALLBACK Win32Loop::FrameProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* loop = reinterpret_cast<Win32Loop*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (loop != nullptr && ((message == WM_TIMER && wParam == kFrameTimer) || message == kMsgFrame)) {
    KillTimer(hwnd, kFrameTimer);
    loop->DeliverFrame();
    return 0;
  }
  return DefWindowProcW(hwnd, message, wParam, lParam);
}

void Win32Loop::DeliverFrame() {
  if (!frameWaiting_) return;
  frameWaiting_ = false;
  if (registry_.sink != nullptr) registry_.sink->OnFrame();
}

void Win32Loop::RequestFrame() {
  if (frameWaiting_ || !frameWindow_) return;
  frameDue_ = GetTickCount() + kFrameMs;
  frameWaiting_ = SetTimer(frameWindow_.get(), kFrameTimer, kFrameMs, nullptr) != 0 ||
                  PostMessageW(frameWindow_.get(), kMsgFrame, 0, 0);
}

void Win32Loop::Pause(int milliseconds) {
  if (milliseconds <= 0) return;
  // Messages other programs send are answered meanwhile: the system holds
  // the sender until they are. Another program that empties the clipboard
  // the program owns waits on its WM_DESTROYCLIPBOARD, and a copy waiting
  // for that program to let go of the clipboard would otherwise wait in
  // vain. Nothing posted is dispatched.
  const ULONGLONG until = GetTickCount64() + static_cast<ULONGLONG>(milliseconds);
  for (ULONGLONG now = GetTickCount64(); now < until; now = GetTickCount64()) {
    const DWORD woke = MsgWaitForMultipleObjectsEx(0, nullptr, static_cast<DWORD>(until - now), QS_SENDMESSAGE, 0);
    if (woke != WAIT_OBJECT_0) break;
    MSG message{};
    PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
  }
}

void Win32Loop::FrameIfDue() {
  // The system sends WM_TIMER only when no other message waits: under a
  // steady stream of input (a 1000 Hz mouse during a pick) it would never
  // come, so the loop delivers a frame that is due itself.
  if (!frameWaiting_ || static_cast<LONG>(GetTickCount() - frameDue_) < 0) return;
  KillTimer(frameWindow_.get(), kFrameTimer);
  DeliverFrame();
}

void Win32Loop::Run() {
  MSG msg;
  while (!quitting_) {
    const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
    if (got <= 0) break;
    Dispatch(registry_, msg);
    FrameIfDue();
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
