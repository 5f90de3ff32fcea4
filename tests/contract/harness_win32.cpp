// The Win32 backend's harness: the user's actions are the messages the
// system would send or post to the program's real windows (WM_CHAR,
// WM_KEYDOWN, WM_PASTE with the clipboard set, the mouse buttons), pumped
// through the backend's own loop; the other programs are a window of the
// harness's own, which takes the capture, holds hot keys and reads the
// clipboard. The scale of a run is the system's: under Wine, the prefix's
// DPI (LogPixels), which tools/test-windows-core sets to 144 for the run at
// 150 %.

#include <windows.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "text/gbk.h"
#include "platform/win32/win32_platform.h"
#include "tests/contract/harness.h"

namespace tinctora::contract {
namespace {

// The hot-key id the other program holds its key under.
constexpr int kHeldHotKeyId = 0x4000;

std::wstring Wide(TextView gbk) {
  const std::u16string utf16 = text::GbkToUtf16(gbk);
  return std::wstring(reinterpret_cast<const wchar_t*>(utf16.data()), utf16.size());
}

UINT SystemModifiers(int modifiers) {
  UINT mods = 0;
  if (modifiers & platform::ModCtrl) mods |= MOD_CONTROL;
  if (modifiers & platform::ModShift) mods |= MOD_SHIFT;
  if (modifiers & platform::ModAlt) mods |= MOD_ALT;
  return mods;
}

class Win32Harness final : public Harness {
 public:
  Win32Harness() : system_(win32::Win32System::Create()) {
    // The other program's window: a plain static control, never shown.
    other_ = CreateWindowExW(0, L"STATIC", L"other program", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                             GetModuleHandleW(nullptr), nullptr);
  }
  ~Win32Harness() override {
    RestoreColours();
    if (GetCapture() == other_) ReleaseCapture();
    if (other_ != nullptr) DestroyWindow(other_);
    system_.reset();
  }
  Win32Harness(const Win32Harness&) = delete;
  Win32Harness& operator=(const Win32Harness&) = delete;

  bool Ready() const { return system_ != nullptr && other_ != nullptr; }

  platform::Platform Services() override { return system_->Services(); }

  void Run(int ms) override {
    const DWORD start = GetTickCount();
    do {
      Services().loop->ProcessPending();
      const DWORD spent = GetTickCount() - start;
      if (spent >= static_cast<DWORD>(ms)) break;
      MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(ms) - spent, QS_ALLINPUT);
    } while (true);
    Services().loop->ProcessPending();
  }

  void Type(TextView character) override {
    // One WM_CHAR a UTF-16 unit, as the system translates a key.
    for (const wchar_t unit : Wide(character)) PostMessageW(GetFocus(), WM_CHAR, unit, 1);
    Pump();
  }

  void Key(int virtualKey) override {
    const HWND focus = GetFocus();
    const UINT scan = MapVirtualKeyW(static_cast<UINT>(virtualKey), MAPVK_VK_TO_VSC);
    const LPARAM down = 1 | static_cast<LPARAM>(scan << 16);
    PostMessageW(focus, WM_KEYDOWN, static_cast<WPARAM>(virtualKey), down);
    // The loop translates the key into its character, if it has one.
    Pump();
    PostMessageW(focus, WM_KEYUP, static_cast<WPARAM>(virtualKey), down | (1 << 30) | (1u << 31));
    Pump();
  }

  void Paste(TextView text) override {
    SetClipboard(Wide(text));
    // Ctrl+V: the edit control sends itself WM_PASTE.
    PostMessageW(GetFocus(), WM_PASTE, 0, 0);
    Pump();
  }

  void Click(WindowId window, Point client) override {
    const HWND hwnd = reinterpret_cast<HWND>(window);
    POINT at{client.x, client.y};
    ClientToScreen(hwnd, &at);
    SetCursorPos(at.x, at.y);
    Pump();
    const LPARAM where = MAKELPARAM(client.x, client.y);
    PostMessageW(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, where);
    PostMessageW(hwnd, WM_LBUTTONUP, 0, where);
    Pump();
  }

  bool MoveThenMoveOn(WindowId window, Point client, Point then) override {
    const HWND hwnd = reinterpret_cast<HWND>(window);
    POINT first{client.x, client.y};
    POINT second{then.x, then.y};
    if (!ClientToScreen(hwnd, &first) || !ClientToScreen(hwnd, &second)) return false;
    SetCursorPos(first.x, first.y);
    // The movement is made while the pointer is at the first point (a
    // posted message carries where the pointer was when it was posted);
    // the pointer goes on before the program gets to it.
    PostMessageW(hwnd, WM_MOUSEMOVE, 0, MAKELPARAM(client.x, client.y));
    SetCursorPos(second.x, second.y);
    return true;
  }

  void StealCapture() override {
    SetCapture(other_);
    Pump();
  }

  bool HoldHotKey(int modifiers, int virtualKey) override {
    return RegisterHotKey(other_, kHeldHotKeyId, SystemModifiers(modifiers), static_cast<UINT>(virtualKey)) != 0;
  }

  void ReleaseHotKey(int, int) override { UnregisterHotKey(other_, kHeldHotKeyId); }

  bool ChangeColours() override {
    // The system's colours for the face and its text, as the colour
    // settings change them: SetSysColors tells every top-level window.
    const int which[] = {COLOR_BTNFACE, COLOR_BTNTEXT};
    if (!saved_) saved_ = {GetSysColor(COLOR_BTNFACE), GetSysColor(COLOR_BTNTEXT)};
    const COLORREF face = (*saved_)[0] == RGB(0x20, 0x30, 0x40) ? RGB(0x40, 0x30, 0x20) : RGB(0x20, 0x30, 0x40);
    const COLORREF colours[] = {face, RGB(0xFF, 0xFF, 0x00)};
    return SetSysColors(2, which, colours) != FALSE;
  }
  void RestoreColours() override {
    if (!saved_) return;
    const int which[] = {COLOR_BTNFACE, COLOR_BTNTEXT};
    SetSysColors(2, which, saved_->data());
    saved_.reset();
  }

  std::optional<Text> ClipboardText() override {
    // The plain text as a program of the same code page reads it.
    if (!OpenClipboard(other_)) return std::nullopt;
    std::optional<Text> text;
    if (HANDLE data = GetClipboardData(CF_TEXT)) {
      if (const auto* bytes = static_cast<const char*>(GlobalLock(data))) {
        const std::size_t limit = GlobalSize(data);
        text = Text(bytes, std::find(bytes, bytes + limit, '\0'));
        GlobalUnlock(data);
      }
    }
    CloseClipboard();
    return text;
  }

 private:
  // Delivers what has been posted, as the program's loop does.
  void Pump() { Services().loop->ProcessPending(); }

  void SetClipboard(const std::wstring& text) {
    if (!OpenClipboard(other_)) return;
    EmptyClipboard();
    const std::size_t size = (text.size() + 1) * sizeof(wchar_t);
    if (HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, size)) {
      if (void* bytes = GlobalLock(memory)) {
        std::memcpy(bytes, text.c_str(), size);
        GlobalUnlock(memory);
        if (SetClipboardData(CF_UNICODETEXT, memory) == nullptr) GlobalFree(memory);
      } else {
        GlobalFree(memory);
      }
    }
    CloseClipboard();
  }

  std::unique_ptr<win32::Win32System> system_;
  HWND other_ = nullptr;
  // The system's face colours before ChangeColours.
  std::optional<std::array<COLORREF, 2>> saved_;
};

// Says once when the system's DPI is not the run's: the scale cases then
// fail, and the reason is the system's setting rather than the backend.
void WarnOfAnotherScale() {
  static bool warned = false;
  if (warned) return;
  warned = true;
  HDC screen = GetDC(nullptr);
  const int dpi = GetDeviceCaps(screen, LOGPIXELSX);
  ReleaseDC(nullptr, screen);
  const int wanted = static_cast<int>(std::lround(TestScale() * 96));
  if (dpi != wanted) {
    std::fprintf(stderr, "note: the system shows windows at %d DPI, this run is for %d DPI (%g %%); under Wine, "
                         "the prefix's LogPixels sets it\n", dpi, wanted, TestScale() * 100);
  }
}

}  // namespace

std::unique_ptr<Harness> MakeHarness() {
  auto harness = std::make_unique<Win32Harness>();
  if (!harness->Ready()) return nullptr;
  WarnOfAnotherScale();
  return harness;
}

}  // namespace tinctora::contract
