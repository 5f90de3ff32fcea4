// Windows and the system's controls: the top-level window, the custom-drawn
// child windows, EDIT for edit boxes, the track bar for sliders and the
// BUTTON group box. The system's controls are subclassed so that mouse
// messages reach the program first and every insertion into an edit box is
// offered to it.


#include <algorithm>

#include "colour/gbk.h"
#include "platform/win32/win32_services.h"

#include <imm.h>
#include <windowsx.h>
#include <commctrl.h>

namespace tinctora::win32 {

namespace {

Registry* g_registry = nullptr;

// Child control ids start above the dialog manager's IDOK and IDCANCEL, so
// that Esc and Enter reach the top level as its own commands.
int g_nextChildId = 1000;

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

bool IsWithin(HWND window, HWND ancestor) {
  for (HWND w = window; w != nullptr; w = GetParent(w)) {
    if (w == ancestor) return true;
  }
  return false;
}

Rect ScreenRectOf(const RECT& r) { return {r.left, r.top, r.right, r.bottom}; }

// ---- edit boxes --------------------------------------------------------------

std::wstring EditWideText(HWND box) {
  const int length = GetWindowTextLengthW(box);
  std::wstring text(static_cast<std::size_t>(std::max(0, length)) + 1, L'\0');
  const int got = GetWindowTextW(box, text.data(), length + 1);
  text.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
  return text;
}

struct Selection {
  std::size_t start = 0;
  std::size_t end = 0;
};

Selection EditSelection(HWND box, std::size_t length) {
  DWORD start = 0;
  DWORD end = 0;
  SendMessageW(box, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
  Selection s{std::min<std::size_t>(start, length), std::min<std::size_t>(end, length)};
  if (s.end < s.start) std::swap(s.start, s.end);
  return s;
}

// Offers `gbk` in place of the box's selection; the bytes the program takes,
// whole characters only.
std::size_t Offer(Registry& registry, NativeWindow& box, TextView gbk, platform::Insertion how) {
  if (registry.sink == nullptr) return gbk.size();
  const std::wstring text = EditWideText(box.hwnd);
  const Selection s = EditSelection(box.hwnd, text.size());
  const std::size_t kept =
      Narrow(std::wstring_view(text).substr(0, s.start)).size() + Narrow(std::wstring_view(text).substr(s.end)).size();
  const std::size_t accepted = registry.sink->AcceptedBytes(IdOf(box.hwnd), gbk, kept, how);
  return colour::GbkFitPrefix(gbk, std::min(accepted, gbk.size())).size();
}

std::optional<std::wstring> ClipboardUnicodeText(HWND owner) {
  if (!OpenClipboard(owner)) return std::nullopt;
  std::optional<std::wstring> text;
  if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
    if (const auto* chars = static_cast<const wchar_t*>(GlobalLock(data))) {
      const std::size_t limit = GlobalSize(data) / sizeof(wchar_t);
      text = std::wstring(chars, std::find(chars, chars + limit, L'\0'));
      GlobalUnlock(data);
    }
  }
  CloseClipboard();
  return text;
}

// What an edit box does with a message before its own window procedure
// sees it; true when the message is answered.
bool EditMessage(Registry& registry, NativeWindow& box, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  switch (message) {
    case WM_CHAR:
    case WM_IME_CHAR: {
      if (box.edit.readOnly) return false;
      const auto unit = static_cast<wchar_t>(wParam);
      // Control characters (Backspace, the box's Ctrl shortcuts) are no insertion.
      if (unit < 0x20 || unit == 0x7F) return false;
      if (IS_HIGH_SURROGATE(unit)) {
        box.highSurrogate = unit;
        result = 0;
        return true;
      }
      std::wstring character(1, unit);
      const wchar_t high = box.highSurrogate;
      box.highSurrogate = 0;
      if (IS_LOW_SURROGATE(unit) && high != 0) character.insert(character.begin(), high);
      const Text gbk = Narrow(character);
      if (gbk.empty() || Offer(registry, box, gbk, platform::Insertion::Typed) < gbk.size()) {
        result = 0;
        return true;
      }
      if (character.size() == 2) CallWindowProcW(box.nativeProc, box.hwnd, message, character[0], lParam);
      result = CallWindowProcW(box.nativeProc, box.hwnd, message, unit, lParam);
      return true;
    }
    case WM_IME_COMPOSITION:
      // The default handling turns the result string into WM_IME_CHAR
      // messages, each of which is offered above; the box's own handling
      // would insert the string directly.
      if (lParam & GCS_RESULTSTR) {
        result = DefWindowProcW(box.hwnd, message, wParam, lParam);
        return true;
      }
      return false;
    case WM_PASTE: {
      // Ctrl+V, Shift+Insert and the box's menu all paste through here.
      result = 0;
      if (box.edit.readOnly) return true;
      const std::optional<std::wstring> clip = ClipboardUnicodeText(box.hwnd);
      if (!clip) return true;
      const Text gbk = Narrow(*clip);
      if (gbk.empty()) return true;
      const std::size_t taken = Offer(registry, box, gbk, platform::Insertion::Pasted);
      const std::wstring text = EditWideText(box.hwnd);
      const Selection s = EditSelection(box.hwnd, text.size());
      if (taken == 0 && s.start == s.end) return true;
      const std::wstring insert = Wide(TextView(gbk).substr(0, taken));
      SendMessageW(box.hwnd, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(insert.c_str()));
      return true;
    }
    default: return false;
  }
}

// The window procedure of the subclassed system controls.
LRESULT CALLBACK ControlProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  Registry& registry = TheRegistry();
  NativeWindow* window = registry.Find(hwnd);
  if (window == nullptr) return DefWindowProcW(hwnd, message, wParam, lParam);
  const WNDPROC native = window->nativeProc;
  if (message == WM_NCDESTROY) {
    SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(native));
    registry.Remove(hwnd);
    return CallWindowProcW(native, hwnd, message, wParam, lParam);
  }
  LRESULT result = 0;
  if (registry.Common(*window, message, wParam, lParam, result)) return result;
  // A handler may have destroyed the window.
  if (registry.Find(hwnd) != window) return 0;
  if (window->kind == platform::NativeKind::EditBox &&
      EditMessage(registry, *window, message, wParam, lParam, result)) {
    return result;
  }
  // A group box lets the mouse through to what lies under it; this one is
  // a control of its own, as the layout's hit test expects.
  if (window->kind == platform::NativeKind::GroupFrame && message == WM_NCHITTEST) return HTCLIENT;
  // The group box draws only its frame and caption; its parent clips its
  // children out, so the box fills the rest itself.
  if (window->kind == platform::NativeKind::GroupFrame && message == WM_ERASEBKGND) {
    RECT r;
    GetClientRect(hwnd, &r);
    FillRect(reinterpret_cast<HDC>(wParam), &r, GetSysColorBrush(COLOR_BTNFACE));
    return 1;
  }
  return CallWindowProcW(native, hwnd, message, wParam, lParam);
}

}  // namespace

// ---- Registry ----------------------------------------------------------------

Registry& TheRegistry() { return *g_registry; }

void SetTheRegistry(Registry* registry) { g_registry = registry; }

NativeWindow& Registry::Add(HWND hwnd) {
  auto window = std::make_unique<NativeWindow>();
  window->hwnd = hwnd;
  NativeWindow& made = *window;
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
  windows_.erase(hwnd);
}

std::vector<NativeWindow*> Registry::All() const {
  std::vector<NativeWindow*> all;
  all.reserve(windows_.size());
  for (const auto& [hwnd, window] : windows_) all.push_back(window.get());
  return all;
}

bool Registry::Common(NativeWindow& window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  const HWND hwnd = window.hwnd;
  if (const std::optional<platform::MouseAction> action = MouseActionOf(message)) {
    if (sink == nullptr) return false;
    platform::MouseMessage m;
    m.target = IdOf(hwnd);
    m.action = *action;
    m.client = {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    m.keys = MouseKeyBits(wParam);
    if (window.popup && *action != platform::MouseAction::Move && *action != platform::MouseAction::LeftUp &&
        *action != platform::MouseAction::RightUp) {
      // The open popup holds the capture: a press outside it dismisses it.
      RECT client;
      GetClientRect(hwnd, &client);
      if (!PtInRect(&client, POINT{m.client.x, m.client.y})) {
        sink->OnPopupDismissed(IdOf(hwnd));
        result = 0;
        return true;
      }
    }
    const bool passOn = sink->OnMouse(m);
    result = 0;
    // A custom-drawn window has no native behaviour to pass the message to.
    return !passOn || window.kind == platform::NativeKind::Surface || window.popup;
  }
  switch (message) {
    case WM_CAPTURECHANGED:
      if (hwnd == capture && !releasing) {
        capture = nullptr;
        if (sink != nullptr) sink->OnCaptureLost(IdOf(hwnd));
      }
      if (hwnd == runningPopup && !popupClosed && !releasing && sink != nullptr) sink->OnPopupDismissed(IdOf(hwnd));
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
      NativeWindow* child = Find(reinterpret_cast<HWND>(lParam));
      if (child == nullptr || child->kind != platform::NativeKind::EditBox || !child->brush) return false;
      const auto dc = reinterpret_cast<HDC>(wParam);
      SetTextColor(dc, child->edit.textColour & 0xFFFFFF);
      SetBkColor(dc, child->edit.background & 0xFFFFFF);
      result = reinterpret_cast<LRESULT>(child->brush.get());
      return true;
    }
    case WM_HSCROLL: {
      NativeWindow* slider = Find(reinterpret_cast<HWND>(lParam));
      if (slider == nullptr || slider->kind != platform::NativeKind::Slider) return false;
      const std::optional<platform::ScrollCode> code = ScrollCodeOf(LOWORD(wParam));
      if (code && sink != nullptr) sink->OnSliderScroll(IdOf(slider->hwnd), *code);
      result = 0;
      return true;
    }
    case WM_COMMAND: {
      NativeWindow* box = Find(reinterpret_cast<HWND>(lParam));
      if (box == nullptr || box->kind != platform::NativeKind::EditBox) return false;
      // A program write reports its change itself, once.
      if (HIWORD(wParam) == EN_CHANGE && !box->programWrite && sink != nullptr) sink->OnEditChanged(IdOf(box->hwnd));
      result = 0;
      return true;
    }
    default: return false;
  }
}

// ---- custom-drawn windows ----------------------------------------------------------

void StoreImage(NativeWindow& window, const Image& client) {
  if (!window.shown.Ensure(client.Width(), client.Height())) return;
  for (int y = 0; y < client.Height(); ++y) {
    const Pixel* src = client.Row(y);
    std::uint32_t* dst = window.shown.Row(y);
    for (int x = 0; x < client.Width(); ++x) dst[x] = ToDib(src[x]);
  }
}

namespace {
bool g_inPaint = false;
}

void PaintSurface(NativeWindow& window) {
  const HWND hwnd = window.hwnd;
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(hwnd, &ps);
  if (dc == nullptr) return;
  Registry& registry = TheRegistry();
  if (registry.sink != nullptr) {
    const bool outer = g_inPaint;
    g_inPaint = true;
    registry.sink->OnPaint(IdOf(hwnd));
    g_inPaint = outer;
  }
  // The program may have destroyed the window from its handler.
  if (registry.Find(hwnd) == &window && window.shown.Valid()) {
    const RECT& r = ps.rcPaint;
    BitBlt(dc, r.left, r.top, r.right - r.left, r.bottom - r.top, window.shown.Dc(), r.left, r.top, SRCCOPY);
  } else {
    FillRect(dc, &ps.rcPaint, GetSysColorBrush(COLOR_BTNFACE));
  }
  EndPaint(hwnd, &ps);
}

LRESULT CALLBACK SurfaceProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  Registry& registry = TheRegistry();
  NativeWindow* window = registry.Find(hwnd);
  if (window == nullptr) return DefWindowProcW(hwnd, message, wParam, lParam);
  LRESULT result = 0;
  if (registry.Common(*window, message, wParam, lParam, result)) return result;
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

// ---- the top-level window ------------------------------------------------------------

LRESULT CALLBACK TopProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  Registry& registry = TheRegistry();
  NativeWindow* window = registry.Find(hwnd);
  if (window == nullptr) return DefWindowProcW(hwnd, message, wParam, lParam);
  EventSink* sink = registry.sink;
  const WindowId id = IdOf(hwnd);
  LRESULT result = 0;
  // The dialog manager's Esc and Enter, for the focused control's sake.
  if (message == WM_COMMAND && lParam == 0 && (LOWORD(wParam) == IDCANCEL || LOWORD(wParam) == IDOK)) {
    const HWND focus = GetFocus();
    const WindowId target = registry.Find(focus) != nullptr ? IdOf(focus) : id;
    if (sink != nullptr) sink->OnKeyDown(target, LOWORD(wParam) == IDCANCEL ? platform::KeyEscape : platform::KeyReturn);
    return 0;
  }
  if (registry.Common(*window, message, wParam, lParam, result)) return result;
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
      // the window.
      PostMessageW(hwnd, kMsgActivate, active ? 1 : 0, 0);
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
        RECT r;
        GetClientRect(hwnd, &r);
        FillRect(reinterpret_cast<HDC>(wParam), &r, window->brush.get());
        return 1;
      }
      break;
    case WM_DPICHANGED:
      // The program works in physical pixels: the window keeps its size on
      // a display of another scale.
      return 0;
    default: break;
  }
  return DefWindowProcW(hwnd, message, wParam, lParam);
}

// ---- Win32Windows ------------------------------------------------------------------

Win32Windows::Win32Windows(Registry& registry) : registry_(registry) { registry_.guiFont = font_.Native(); }

Win32Windows::~Win32Windows() {
  if (registry_.top != nullptr) {
    registry_.sink = nullptr;
    DestroyWindow(registry_.top);
  }
}

WindowId Win32Windows::CreateTopLevel(const platform::TopLevelSpec& params) {
  DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
  if (params.minimiseBox) style |= WS_MINIMIZEBOX;
  if (params.maximiseBox) style |= WS_MAXIMIZEBOX;
  if (params.resizable) style |= WS_THICKFRAME;
  DWORD exStyle = WS_EX_APPWINDOW | WS_EX_CONTROLPARENT;
  if (params.alwaysOnTop) exStyle |= WS_EX_TOPMOST;
  const std::wstring caption = Wide(params.caption);
  // The system sizes a window by its outer rectangle.
  HWND hwnd = CreateWindowExW(exStyle, kTopClass, caption.c_str(), style, 0, 0, params.outerWidth,
                              params.outerHeight, nullptr, nullptr, registry_.instance, nullptr);
  if (hwnd == nullptr) return 0;
  NativeWindow& window = registry_.Add(hwnd);
  window.topLevel = true;
  if (params.background) window.brush.reset(CreateSolidBrush(*params.background & 0xFFFFFF));
  registry_.top = hwnd;
  return IdOf(hwnd);
}

WindowId Win32Windows::CreateChild(WindowId parentId, const platform::ChildSpec& params) {
  const HWND parent = HwndOf(parentId);
  if (registry_.Find(parent) == nullptr) return 0;
  DWORD style = WS_CHILD | WS_CLIPSIBLINGS;
  DWORD exStyle = 0;
  if (params.border) style |= WS_BORDER;
  if (params.tabStop) style |= WS_TABSTOP;
  const wchar_t* className = kSurfaceClass;
  std::wstring text;
  switch (params.kind) {
    case platform::NativeKind::Surface:
      style |= WS_CLIPCHILDREN;
      // Edit boxes inside a custom-drawn box take part in Tab's cycle.
      exStyle |= WS_EX_CONTROLPARENT;
      break;
    case platform::NativeKind::EditBox:
      className = L"EDIT";
      style |= ES_AUTOHSCROLL;
      if (params.edit.align == platform::TextAlign::Centre) style |= ES_CENTER;
      if (params.edit.align == platform::TextAlign::Right) style |= ES_RIGHT;
      if (params.edit.readOnly) style |= ES_READONLY;
      text = Wide(params.text);
      break;
    case platform::NativeKind::Slider:
      className = TRACKBAR_CLASSW;
      style |= TBS_HORZ | TBS_TOP | TBS_AUTOTICKS;
      break;
    case platform::NativeKind::GroupFrame:
      className = L"BUTTON";
      style |= BS_GROUPBOX | WS_CLIPCHILDREN;
      exStyle |= WS_EX_CONTROLPARENT;
      text = Wide(params.text);
      break;
  }
  const Rect& b = params.bounds;
  HWND hwnd = CreateWindowExW(exStyle, className, text.c_str(), style, b.left, b.top, std::max(0, b.Width()),
                              std::max(0, b.Height()), parent,
                              reinterpret_cast<HMENU>(static_cast<INT_PTR>(g_nextChildId++)), registry_.instance,
                              nullptr);
  if (hwnd == nullptr) return 0;
  NativeWindow& window = registry_.Add(hwnd);
  window.kind = params.kind;
  if (params.kind != platform::NativeKind::Surface) {
    SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(registry_.guiFont), FALSE);
    window.nativeProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&ControlProc)));
  }
  if (params.kind == platform::NativeKind::EditBox) {
    window.edit = params.edit;
    window.brush.reset(CreateSolidBrush(params.edit.background & 0xFFFFFF));
    // No native limit: what a box takes is the program's rule, and a limit
    // would also cut the program's own writes.
    SendMessageW(hwnd, EM_LIMITTEXT, 0, 0);
  }
  if (params.kind == platform::NativeKind::Slider) {
    const platform::SliderSettings& s = params.slider;
    SendMessageW(hwnd, TBM_SETRANGEMIN, FALSE, s.minimum);
    SendMessageW(hwnd, TBM_SETRANGEMAX, FALSE, s.maximum);
    if (s.tickFrequency > 0) SendMessageW(hwnd, TBM_SETTICFREQ, static_cast<WPARAM>(s.tickFrequency), 0);
    SendMessageW(hwnd, TBM_SETLINESIZE, 0, s.lineStep);
    SendMessageW(hwnd, TBM_SETPAGESIZE, 0, s.pageStep);
    SendMessageW(hwnd, TBM_SETPOS, TRUE, std::clamp(s.position, s.minimum, s.maximum));
  }
  return IdOf(hwnd);
}

void Win32Windows::Destroy(WindowId top) {
  const HWND hwnd = HwndOf(top);
  NativeWindow* window = registry_.Find(hwnd);
  if (window == nullptr) return;
  // A capture held inside the window goes with it, without a loss reported.
  if (registry_.capture != nullptr && IsWithin(registry_.capture, hwnd)) {
    registry_.releasing = true;
    ::ReleaseCapture();
    registry_.releasing = false;
    registry_.capture = nullptr;
  }
  if (!window->destroyNotified) {
    window->destroyNotified = true;
    if (registry_.sink != nullptr) registry_.sink->OnDestroyed(top);
  }
  DestroyWindow(hwnd);
}

void Win32Windows::SetVisible(WindowId id, bool visible) {
  NativeWindow* window = registry_.Find(id);
  if (window == nullptr || window->topLevel) return;
  ShowWindow(window->hwnd, visible ? SW_SHOWNA : SW_HIDE);
}

void Win32Windows::Show(WindowId top) {
  NativeWindow* window = registry_.Find(top);
  if (window == nullptr) return;
  ShowWindow(window->hwnd, SW_SHOW);
  SetForegroundWindow(window->hwnd);
  UpdateWindow(window->hwnd);
}

void Win32Windows::SetCaption(WindowId id, TextView text) {
  if (NativeWindow* window = registry_.Find(id)) SetWindowTextW(window->hwnd, Wide(text).c_str());
}

void Win32Windows::SetBounds(WindowId id, const Rect& outer) {
  NativeWindow* window = registry_.Find(id);
  if (window == nullptr) return;
  SetWindowPos(window->hwnd, nullptr, outer.left, outer.top, std::max(0, outer.Width()), std::max(0, outer.Height()),
               SWP_NOZORDER | SWP_NOACTIVATE);
}

Rect Win32Windows::WindowRect(WindowId id) const {
  const NativeWindow* window = registry_.Find(id);
  RECT r{};
  if (window == nullptr || !GetWindowRect(window->hwnd, &r)) return {};
  return ScreenRectOf(r);
}

Rect Win32Windows::ClientRect(WindowId id) const {
  const NativeWindow* window = registry_.Find(id);
  RECT r{};
  if (window == nullptr || !GetClientRect(window->hwnd, &r)) return {};
  MapWindowPoints(window->hwnd, nullptr, reinterpret_cast<POINT*>(&r), 2);
  return ScreenRectOf(r);
}

void Win32Windows::Invalidate(WindowId id) {
  if (NativeWindow* window = registry_.Find(id)) InvalidateRect(window->hwnd, nullptr, FALSE);
}

void Win32Windows::UpdateNow(WindowId id) {
  if (NativeWindow* window = registry_.Find(id)) {
    RedrawWindow(window->hwnd, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
  }
}

void Win32Windows::Present(WindowId id, const Image& client) {
  NativeWindow* window = registry_.Find(id);
  if (window == nullptr) return;
  StoreImage(*window, client);
  // In answer to a paint, the paint shows it; otherwise it is shown now.
  if (!g_inPaint && window->shown.Valid() && IsWindowVisible(window->hwnd)) {
    WindowDc dc(window->hwnd);
    BitBlt(dc.get(), 0, 0, window->shown.Width(), window->shown.Height(), window->shown.Dc(), 0, 0, SRCCOPY);
  }
}

void Win32Windows::DrawDirect(WindowId id, const Image& pixels, Point at) {
  NativeWindow* window = registry_.Find(id);
  if (window == nullptr || !IsWindowVisible(window->hwnd)) return;
  RECT client;
  GetClientRect(window->hwnd, &client);
  const int left = std::max<int>(client.left, at.x);
  const int top = std::max<int>(client.top, at.y);
  const int right = std::min<int>(client.right, at.x + pixels.Width());
  const int bottom = std::min<int>(client.bottom, at.y + pixels.Height());
  if (left >= right || top >= bottom) return;
  const int w = right - left;
  const int h = bottom - top;
  // The pixels as they stand, one to one: a stretch is the control layer's,
  // so a picture looks the same on every backend.
  std::vector<std::uint32_t>& buffer = window->direct;
  buffer.resize(static_cast<std::size_t>(w) * static_cast<std::size_t>(h));
  for (int y = 0; y < h; ++y) {
    const Pixel* src = pixels.Row(top - at.y + y) + (left - at.x);
    std::uint32_t* dst = buffer.data() + static_cast<std::ptrdiff_t>(y) * w;
    for (int x = 0; x < w; ++x) dst[x] = ToDib(src[x]);
  }
  const BITMAPINFO info = DibInfo(w, h);
  WindowDc dc(window->hwnd);
  StretchDIBits(dc.get(), left, top, w, h, 0, 0, w, h, buffer.data(), &info, DIB_RGB_COLORS, SRCCOPY);
}

Pixel Win32Windows::VisiblePixel(WindowId id, Point client) const {
  const NativeWindow* window = registry_.Find(id);
  if (window == nullptr || !IsWindowVisible(window->hwnd)) return platform::kInvalidPixel;
  RECT r;
  GetClientRect(window->hwnd, &r);
  if (!PtInRect(&r, POINT{client.x, client.y})) return platform::kInvalidPixel;
  POINT screen{client.x, client.y};
  ClientToScreen(window->hwnd, &screen);
  // Clipped to every ancestor's client area and away from the siblings
  // lying above, as the window's own drawing context is.
  for (HWND w = window->hwnd; (GetWindowLongW(w, GWL_STYLE) & WS_CHILD) != 0;) {
    const HWND parent = GetParent(w);
    if (parent == nullptr) break;
    RECT pc;
    GetClientRect(parent, &pc);
    MapWindowPoints(parent, nullptr, reinterpret_cast<POINT*>(&pc), 2);
    if (!PtInRect(&pc, screen)) return platform::kInvalidPixel;
    for (HWND above = GetWindow(w, GW_HWNDPREV); above != nullptr; above = GetWindow(above, GW_HWNDPREV)) {
      RECT ar;
      if (IsWindowVisible(above) && GetWindowRect(above, &ar) && PtInRect(&ar, screen)) return platform::kInvalidPixel;
    }
    w = parent;
  }
  // What waits to be painted there is painted first, so the pixel is the
  // one the window shows once it is up to date.
  UpdateWindow(window->hwnd);
  WindowDc dc(window->hwnd);
  const COLORREF c = GetPixel(dc.get(), client.x, client.y);
  return c == CLR_INVALID ? platform::kInvalidPixel : static_cast<Pixel>(c & 0xFFFFFF);
}

void Win32Windows::SetEditText(WindowId id, TextView text) {
  NativeWindow* window = registry_.Find(id);
  if (window == nullptr || window->kind != platform::NativeKind::EditBox) return;
  window->programWrite = true;
  SetWindowTextW(window->hwnd, Wide(text).c_str());
  window->programWrite = false;
  // Reported once, also when the text did not change.
  if (registry_.sink != nullptr) registry_.sink->OnEditChanged(id);
}

Text Win32Windows::EditText(WindowId id) const {
  const NativeWindow* window = registry_.Find(id);
  return window == nullptr ? Text() : WindowText(window->hwnd);
}

void Win32Windows::SetSliderPosition(WindowId id, int position) {
  NativeWindow* window = registry_.Find(id);
  if (window == nullptr || window->kind != platform::NativeKind::Slider) return;
  // TBM_SETPOS notifies nobody.
  SendMessageW(window->hwnd, TBM_SETPOS, TRUE, position);
}

int Win32Windows::SliderPosition(WindowId id) const {
  const NativeWindow* window = registry_.Find(id);
  if (window == nullptr || window->kind != platform::NativeKind::Slider) return 0;
  return static_cast<int>(SendMessageW(window->hwnd, TBM_GETPOS, 0, 0));
}

void Win32Windows::SetFocus(WindowId id) {
  if (NativeWindow* window = registry_.Find(id)) ::SetFocus(window->hwnd);
}

WindowId Win32Windows::Focus() const {
  const HWND focus = GetFocus();
  return registry_.Find(focus) != nullptr ? IdOf(focus) : 0;
}

Pixel Win32Windows::FaceColour() const { return static_cast<Pixel>(GetSysColor(COLOR_BTNFACE) & 0xFFFFFF); }

}  // namespace tinctora::win32
