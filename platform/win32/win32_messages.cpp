// The edge where the system's messages enter: every window procedure of the
// backend, turning WM_* messages into the sink's calls. Mouse messages
// reach the program before the window they are addressed to; the system's
// controls are subclassed so that the program hears of the user's input
// before they take it.

#include "platform/win32/win32_services.h"

#include <commctrl.h>
#include <imm.h>
#include <windowsx.h>

namespace tinctora::win32 {

namespace {

std::optional<platform::ScrollCode> ScrollCodeOf(int code) {
  using platform::ScrollCode;
  switch (code) {
    case TB_LINEUP: return ScrollCode::LineUp;
    case TB_LINEDOWN: return ScrollCode::LineDown;
    case TB_PAGEUP: return ScrollCode::PageUp;
    case TB_PAGEDOWN: return ScrollCode::PageDown;
    case TB_TOP: return ScrollCode::Top;
    case TB_BOTTOM: return ScrollCode::Bottom;
    case TB_THUMBTRACK: return ScrollCode::ThumbTrack;
    case TB_THUMBPOSITION: return ScrollCode::ThumbPosition;
    case TB_ENDTRACK: return ScrollCode::EndScroll;
    default: return std::nullopt;
  }
}

std::optional<platform::MouseAction> MouseActionOf(UINT message) {
  using platform::MouseAction;
  switch (message) {
    case WM_MOUSEMOVE: return MouseAction::Move;
    // A quick second press is a press.
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: return MouseAction::LeftDown;
    case WM_LBUTTONUP: return MouseAction::LeftUp;
    case WM_RBUTTONDOWN:
    case WM_RBUTTONDBLCLK: return MouseAction::RightDown;
    case WM_RBUTTONUP: return MouseAction::RightUp;
    default: return std::nullopt;
  }
}

int MouseKeyBits(WPARAM wParam) {
  int bits = 0;
  if (wParam & MK_CONTROL) bits |= platform::ModCtrl;
  if (wParam & MK_SHIFT) bits |= platform::ModShift;
  if (GetKeyState(VK_MENU) < 0) bits |= platform::ModAlt;
  return bits;
}

// The user's input a system control takes: the program hands it what it
// has written and not yet shown before each of these.
bool TakesInput(UINT message) {
  switch (message) {
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
    case WM_CHAR:
    case WM_IME_CHAR:
    case WM_PASTE:
    case WM_CUT:
    case WM_CLEAR:
    case WM_UNDO:
    case WM_SETFOCUS:
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_LBUTTONDBLCLK:
    case WM_RBUTTONDOWN:
    case WM_RBUTTONUP:
    case WM_RBUTTONDBLCLK:
    case WM_MBUTTONDOWN:
    case WM_MBUTTONUP:
    case WM_MOUSEWHEEL: return true;
    default: return false;
  }
}

// Messages with which the user changes an edit box's text (typing,
// deleting, cutting, pasting, undoing, the box's own menu).
bool IsUserEdit(UINT message) {
  switch (message) {
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
    case WM_CHAR:
    case WM_SYSCHAR:
    case WM_IME_CHAR:
    case WM_IME_COMPOSITION:
    case WM_PASTE:
    case WM_CUT:
    case WM_CLEAR:
    case WM_UNDO:
    case EM_UNDO:
    case WM_CONTEXTMENU: return true;
    default: return false;
  }
}

NativeWindow* WindowOf(HWND hwnd) { return reinterpret_cast<NativeWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA)); }

// A mouse message: to the program first. True when `result` answers it and
// the window's own handling must not run.
bool Mouse(NativeWindow& window, platform::MouseAction action, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  Registry& registry = *window.registry;
  if (registry.sink == nullptr) return false;
  const HWND hwnd = window.hwnd;
  platform::MouseMessage m;
  m.target = IdOf(hwnd);
  m.action = action;
  m.client = {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
  m.keys = MouseKeyBits(wParam);
  result = 0;
  // While the program handles the message, the pointer is where it was made.
  const DWORD made = GetMessagePos();
  const MessagePointScope at(registry, {GET_X_LPARAM(made), GET_Y_LPARAM(made)});
  using platform::MouseAction;
  if (window.popup && action != MouseAction::Move && action != MouseAction::LeftUp &&
      action != MouseAction::RightUp) {
    // The open popup holds the capture: a press outside it dismisses it.
    RECT client{};
    if (GetClientRect(hwnd, &client) && !PtInRect(&client, POINT{m.client.x, m.client.y})) {
      registry.sink->OnPopupDismissed(IdOf(hwnd));
      return true;
    }
  }
  const bool passOn = registry.sink->OnMouse(m);
  // A custom-drawn window has no native behaviour to pass the message to.
  return !passOn || window.kind == platform::NativeKind::Surface || window.popup;
}

// The handling every window of the program shares; true when `result`
// answers the message and the window's own handling must not run.
bool Common(NativeWindow& window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  if (const std::optional<platform::MouseAction> action = MouseActionOf(message)) {
    return Mouse(window, *action, wParam, lParam, result);
  }
  Registry& registry = *window.registry;
  EventSink* sink = registry.sink;
  const HWND hwnd = window.hwnd;
  switch (message) {
    case WM_CAPTURECHANGED:
      if (hwnd == registry.capture && !registry.releasing) {
        registry.capture = nullptr;
        if (sink != nullptr) sink->OnCaptureLost(IdOf(hwnd));
      }
      if (hwnd == registry.runningPopup && !registry.popupClosed && !registry.releasing && sink != nullptr) {
        sink->OnPopupDismissed(IdOf(hwnd));
      }
      return false;
    case WM_SETCURSOR:
      if (reinterpret_cast<HWND>(wParam) == hwnd && LOWORD(lParam) == HTCLIENT && window.cursor != nullptr) {
        SetCursor(window.cursor);
        result = TRUE;
        return true;
      }
      return false;
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORSTATIC: {
      NativeWindow* child = registry.Find(reinterpret_cast<HWND>(lParam));
      if (child == nullptr || child->kind != platform::NativeKind::EditBox || !child->brush) return false;
      const auto dc = reinterpret_cast<HDC>(wParam);
      SetTextColor(dc, child->edit.textColour & 0xFFFFFF);
      SetBkColor(dc, child->edit.background & 0xFFFFFF);
      result = reinterpret_cast<LRESULT>(child->brush.get());
      return true;
    }
    case WM_HSCROLL: {
      // Only the user's moves: TBM_SETPOS notifies nobody.
      NativeWindow* slider = registry.Find(reinterpret_cast<HWND>(lParam));
      if (slider == nullptr || slider->kind != platform::NativeKind::Slider) return false;
      const std::optional<platform::ScrollCode> code = ScrollCodeOf(LOWORD(wParam));
      if (code && sink != nullptr) sink->OnSliderScroll(IdOf(slider->hwnd), *code);
      result = 0;
      return true;
    }
    case WM_COMMAND: {
      NativeWindow* box = registry.Find(reinterpret_cast<HWND>(lParam));
      if (box == nullptr || box->kind != platform::NativeKind::EditBox) return false;
      // Noted for the box's handling of the user's message; a program
      // write is no message of the user's and is never reported.
      if (HIWORD(wParam) == EN_CHANGE && box->userEdit != nullptr) *box->userEdit = true;
      result = 0;
      return true;
    }
    default: return false;
  }
}

// Where a handler of the program destroyed the window, nothing more of it
// may be touched.
bool Gone(Registry& registry, HWND hwnd, const NativeWindow& window) { return registry.Find(hwnd) != &window; }

}  // namespace

LRESULT CALLBACK ControlProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR subclass,
                             DWORD_PTR data) {
  auto& window = *reinterpret_cast<NativeWindow*>(data);
  Registry& registry = *window.registry;
  if (message == WM_NCDESTROY) {
    RemoveWindowSubclass(hwnd, &ControlProc, subclass);
    registry.Remove(hwnd);
    return DefSubclassProc(hwnd, message, wParam, lParam);
  }
  LRESULT result = 0;
  if (Common(window, message, wParam, lParam, result)) return result;
  if (Gone(registry, hwnd, window)) return 0;
  const bool input = window.kind == platform::NativeKind::EditBox || window.kind == platform::NativeKind::Slider;
  if (input && TakesInput(message) && registry.sink != nullptr) {
    registry.sink->BeforeInput(IdOf(hwnd));
    if (Gone(registry, hwnd, window)) return 0;
  }
  switch (window.kind) {
    case platform::NativeKind::EditBox:
      if (message == WM_CHAR || message == WM_IME_CHAR) return TypeIntoEdit(window, message, wParam, lParam);
      if (message == WM_PASTE) return PasteIntoEdit(window);
      // The default handling turns an input method's result string into
      // WM_IME_CHAR messages, each offered as a typed character; the box's
      // own handling would insert the string directly.
      if (message == WM_IME_COMPOSITION && (lParam & GCS_RESULTSTR)) return DefWindowProcW(hwnd, message, wParam, lParam);
      if (IsUserEdit(message)) return HandleUserEdit(window, message, wParam, lParam);
      break;
    case platform::NativeKind::GroupFrame:
      // A group box lets the mouse through to what lies under it; this one
      // is a control of its own, as the layout's hit test expects.
      if (message == WM_NCHITTEST) return HTCLIENT;
      // The group box draws only its frame and caption; its parent clips
      // its children out, so the box fills the rest itself.
      if (message == WM_ERASEBKGND) {
        RECT r{};
        if (GetClientRect(hwnd, &r)) FillRect(reinterpret_cast<HDC>(wParam), &r, GetSysColorBrush(COLOR_BTNFACE));
        return 1;
      }
      break;
    default: break;
  }
  return DefSubclassProc(hwnd, message, wParam, lParam);
}

LRESULT CALLBACK SurfaceProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  NativeWindow* window = WindowOf(hwnd);
  if (window == nullptr) return DefWindowProcW(hwnd, message, wParam, lParam);
  Registry& registry = *window->registry;
  LRESULT result = 0;
  if (Common(*window, message, wParam, lParam, result)) return result;
  switch (message) {
    case WM_NCDESTROY:
      registry.Remove(hwnd);
      break;
    case WM_PAINT:
      PaintSurface(*window);
      return 0;
    case WM_ERASEBKGND:
      return 1;
    case WM_KEYDOWN:
      if (registry.sink != nullptr && registry.sink->OnKeyDown(IdOf(hwnd), static_cast<int>(wParam))) return 0;
      break;
    default: break;
  }
  return DefWindowProcW(hwnd, message, wParam, lParam);
}

LRESULT CALLBACK PopupProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  NativeWindow* window = WindowOf(hwnd);
  if (window == nullptr) return DefWindowProcW(hwnd, message, wParam, lParam);
  LRESULT result = 0;
  if (Common(*window, message, wParam, lParam, result)) return result;
  switch (message) {
    case WM_NCDESTROY:
      window->registry->Remove(hwnd);
      break;
    case WM_PAINT:
      PaintSurface(*window);
      return 0;
    case WM_ERASEBKGND:
      return 1;
    case WM_MOUSEACTIVATE:
      return MA_NOACTIVATE;
    default: break;
  }
  return DefWindowProcW(hwnd, message, wParam, lParam);
}

LRESULT CALLBACK TopProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  NativeWindow* window = WindowOf(hwnd);
  if (window == nullptr) return DefWindowProcW(hwnd, message, wParam, lParam);
  Registry& registry = *window->registry;
  EventSink* sink = registry.sink;
  const WindowId id = IdOf(hwnd);
  // The dialog manager's Esc and Enter, for the focused control's sake.
  if (message == WM_COMMAND && lParam == 0 && (LOWORD(wParam) == IDCANCEL || LOWORD(wParam) == IDOK)) {
    const HWND focus = GetFocus();
    const WindowId target = registry.Find(focus) != nullptr ? IdOf(focus) : id;
    if (sink != nullptr) sink->OnKeyDown(target, LOWORD(wParam) == IDCANCEL ? platform::KeyEscape : platform::KeyReturn);
    return 0;
  }
  LRESULT result = 0;
  if (Common(*window, message, wParam, lParam, result)) return result;
  switch (message) {
    case WM_CLOSE:
      // The program decides whether and how the window goes.
      if (sink != nullptr) sink->OnCloseRequested(id);
      return 0;
    case WM_DESTROY:
      if (!window->destroyNotified) {
        window->destroyNotified = true;
        if (sink != nullptr) sink->OnDestroyed(id);
      }
      return 0;
    case WM_NCDESTROY:
      registry.Remove(hwnd);
      return DefWindowProcW(hwnd, message, wParam, lParam);
    case WM_ACTIVATE: {
      const bool active = LOWORD(wParam) != WA_INACTIVE;
      if (!active) {
        const HWND focus = GetFocus();
        if (focus != nullptr && IsChild(hwnd, focus)) window->savedFocus = focus;
        // Another window took the user from an open popup.
        const auto next = reinterpret_cast<HWND>(lParam);
        if (registry.runningPopup != nullptr && !registry.popupClosed && next != registry.runningPopup &&
            sink != nullptr) {
          sink->OnPopupDismissed(IdOf(registry.runningPopup));
        }
      }
      // The program hears of it from the loop, once the system has shown
      // the window; at once when the queue takes no more.
      if (!PostMessageW(hwnd, kMsgActivate, active ? 1 : 0, 0) && sink != nullptr) sink->OnActivate(id, active);
      if (Gone(registry, hwnd, *window)) return 0;
      if (active && window->savedFocus != nullptr && IsWindow(window->savedFocus) && IsChild(hwnd, window->savedFocus)) {
        ::SetFocus(window->savedFocus);
        return 0;
      }
      break;
    }
    case WM_ACTIVATEAPP:
      if (!wParam && registry.runningPopup != nullptr && !registry.popupClosed && sink != nullptr) {
        sink->OnPopupDismissed(IdOf(registry.runningPopup));
      }
      break;
    case kMsgActivate:
      if (sink != nullptr) sink->OnActivate(id, wParam != 0);
      return 0;
    case kMsgCommand:
      if (sink != nullptr) sink->OnCommand(id, static_cast<int>(wParam));
      return 0;
    case WM_HOTKEY:
      if (sink != nullptr) sink->OnHotKey(id, static_cast<int>(wParam));
      return 0;
    case WM_KEYDOWN:
      if (sink != nullptr && sink->OnKeyDown(id, static_cast<int>(wParam))) return 0;
      break;
    case WM_ERASEBKGND:
      if (window->brush) {
        RECT r{};
        if (GetClientRect(hwnd, &r)) FillRect(reinterpret_cast<HDC>(wParam), &r, window->brush.get());
        return 1;
      }
      break;
    case WM_SYSCOLORCHANGE:
      // A top-level window hands the change on to the common controls it
      // holds (the track bars), which keep their colours otherwise.
      for (NativeWindow* child : registry.All()) {
        if (child->kind == platform::NativeKind::Slider && GetAncestor(child->hwnd, GA_ROOT) == hwnd) {
          SendMessageW(child->hwnd, WM_SYSCOLORCHANGE, wParam, lParam);
        }
      }
      if (Gone(registry, hwnd, *window)) return 0;
      if (sink != nullptr) sink->OnColoursChanged();
      return 0;
    case WM_DISPLAYCHANGE:
      // Displays added, removed, moved or of another resolution.
      registry.displays.reset();
      break;
    case WM_SETTINGCHANGE:
      // A work area (the task bar) may have changed, or a display's scale.
      registry.displays.reset();
      [[fallthrough]];
    case WM_THEMECHANGED:
      // High contrast switched on or off, another theme: the program reads
      // the colours again and does nothing when they are unchanged.
      if (sink != nullptr) sink->OnColoursChanged();
      if (Gone(registry, hwnd, *window)) return 0;
      break;
    case WM_DPICHANGED: {
      // The window went to a display of another scale, or its display's
      // scale changed: the frame goes where the system suggests, the
      // controls get the font and the caption its icons at the new DPI, then
      // the program lays the window out again.
      window->dpi = LOWORD(wParam) > 0 ? LOWORD(wParam) : WindowDpi(hwnd);
      registry.displays.reset();
      if (const auto* suggested = reinterpret_cast<const RECT*>(lParam)) {
        SetWindowPos(hwnd, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                     suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
      }
      if (Gone(registry, hwnd, *window)) return 0;
      SetControlFonts(*window);
      SetIcons(*window);
      if (sink != nullptr) sink->OnScaleChanged(id);
      return 0;
    }
    default: break;
  }
  return DefWindowProcW(hwnd, message, wParam, lParam);
}

}  // namespace tinctora::win32
