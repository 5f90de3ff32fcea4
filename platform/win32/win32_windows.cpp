// Windows and the system's controls: the top-level window, the custom-drawn
// child windows, EDIT for edit boxes, the track bar for sliders and the
// BUTTON group box. What each kind does is in its own file
// (win32_surface.cpp, win32_edit.cpp, win32_slider.cpp); the messages they
// get are decoded in win32_messages.cpp.

#include <algorithm>

#include "platform/win32/win32_services.h"

#include <commctrl.h>

namespace tinctora::win32 {

namespace {

bool IsWithin(HWND window, HWND ancestor) {
  for (HWND w = window; w != nullptr; w = GetParent(w)) {
    if (w == ancestor) return true;
  }
  return false;
}

Rect ScreenRectOf(const RECT& r) { return {r.left, r.top, r.right, r.bottom}; }

}  // namespace

Win32Windows::Win32Windows(Registry& registry) : registry_(registry) {}

Win32Windows::~Win32Windows() {
  // The program hears nothing of the windows going with the backend.
  registry_.sink = nullptr;
  top_.reset();
}

WindowId Win32Windows::CreateTopLevel(const platform::TopLevelSpec& params) {
  DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
  if (params.minimiseBox) style |= WS_MINIMIZEBOX;
  if (params.maximiseBox) style |= WS_MAXIMIZEBOX;
  if (params.resizable) style |= WS_THICKFRAME;
  DWORD exStyle = WS_EX_APPWINDOW | WS_EX_CONTROLPARENT;
  if (params.alwaysOnTop) exStyle |= WS_EX_TOPMOST;
  const std::wstring caption = Wide(params.caption);
  // The system sizes a window by its outer rectangle, whose frame depends
  // on the DPI of the display the window is made on: it gets its size once
  // it exists.
  OwnedWindow made(CreateWindowExW(exStyle, kTopClass, caption.c_str(), style, 0, 0, std::max(1, params.clientWidth),
                                   std::max(1, params.clientHeight), nullptr, nullptr, registry_.instance, nullptr));
  if (!made) return 0;
  NativeWindow* window = registry_.Add(made.get(), platform::NativeKind::Surface, false);
  if (window == nullptr) return 0;
  window->topLevel = true;
  window->dpi = WindowDpi(made.get());
  FitClientArea(*window, params.clientWidth, params.clientHeight);
  SetIcons(*window);
  if (params.background) window->brush.reset(CreateSolidBrush(*params.background & 0xFFFFFF));
  registry_.top = made.get();
  top_ = std::move(made);
  return IdOf(top_.get());
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
  // A child goes with its parent; until it is in the table it is this one's.
  OwnedWindow made(CreateWindowExW(exStyle, className, text.c_str(), style, b.left, b.top, std::max(0, b.Width()),
                                   std::max(0, b.Height()), parent,
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(registry_.nextChildId++)),
                                   registry_.instance, nullptr));
  if (!made) return 0;
  const bool systemControl = params.kind != platform::NativeKind::Surface;
  NativeWindow* window = registry_.Add(made.get(), params.kind, systemControl);
  if (window == nullptr) return 0;
  const HWND hwnd = made.release();
  if (systemControl) {
    const HFONT font = registry_.Font(registry_.DpiOf(hwnd)).Native();
    SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  }
  if (params.kind == platform::NativeKind::EditBox) SetUpEdit(*window, params);
  if (params.kind == platform::NativeKind::Slider) SetUpSlider(*window, params.slider);
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
  if (top_.get() == hwnd) {
    top_.reset();
  } else {
    DestroyWindow(hwnd);
  }
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
  if (window->topLevel) {
    // The frame's top-left corner; the size is the client area's and the frame's.
    SetWindowPos(window->hwnd, nullptr, outer.left, outer.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    return;
  }
  SetWindowPos(window->hwnd, nullptr, outer.left, outer.top, std::max(0, outer.Width()), std::max(0, outer.Height()),
               SWP_NOZORDER | SWP_NOACTIVATE);
}

void Win32Windows::SetClientSize(WindowId id, int width, int height) {
  NativeWindow* window = registry_.Find(id);
  if (window == nullptr || !window->topLevel) return;
  FitClientArea(*window, width, height);
}

double Win32Windows::Scale(WindowId id) const {
  const NativeWindow* window = registry_.Find(id);
  if (window == nullptr) return 1.0;
  return static_cast<double>(window->topLevel ? window->dpi : registry_.DpiOf(window->hwnd)) / kLayoutDpi;
}

const gfx::Font& Win32Windows::DefaultGuiFont(double scale) const { return registry_.Font(DpiOfScale(scale)); }

void FitClientArea(NativeWindow& top, int width, int height) {
  const HWND hwnd = top.hwnd;
  width = std::max(0, width);
  height = std::max(0, height);
  const auto style = static_cast<DWORD>(GetWindowLongW(hwnd, GWL_STYLE));
  const auto exStyle = static_cast<DWORD>(GetWindowLongW(hwnd, GWL_EXSTYLE));
  const SIZE outer = OuterSize(width, height, style, exStyle, top.dpi);
  if (IsIconic(hwnd)) {
    // A minimised window takes the size it is restored to.
    WINDOWPLACEMENT placement{};
    placement.length = sizeof placement;
    if (GetWindowPlacement(hwnd, &placement)) {
      RECT& r = placement.rcNormalPosition;
      r.right = r.left + outer.cx;
      r.bottom = r.top + outer.cy;
      SetWindowPlacement(hwnd, &placement);
    }
    return;
  }
  constexpr UINT kResize = SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE;
  SetWindowPos(hwnd, nullptr, 0, 0, outer.cx, outer.cy, kResize);
  // Where the frame drawn differs from the one computed (a system that
  // scales no frame for the DPI, a caption that grew), the difference is
  // made up once.
  RECT client{};
  RECT frame{};
  if (GetClientRect(hwnd, &client) && GetWindowRect(hwnd, &frame) &&
      (client.right != width || client.bottom != height)) {
    SetWindowPos(hwnd, nullptr, 0, 0, frame.right - frame.left + width - client.right,
                 frame.bottom - frame.top + height - client.bottom, kResize);
  }
}

void SetControlFonts(NativeWindow& top) {
  Registry& registry = *top.registry;
  const HFONT font = registry.Font(top.dpi).Native();
  for (NativeWindow* window : registry.All()) {
    if (window->kind == platform::NativeKind::Surface || window->topLevel || window->popup) continue;
    if (GetAncestor(window->hwnd, GA_ROOT) != top.hwnd) continue;
    SendMessageW(window->hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
  }
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

void Win32Windows::SetFocus(WindowId id) {
  if (NativeWindow* window = registry_.Find(id)) ::SetFocus(window->hwnd);
}

WindowId Win32Windows::Focus() const {
  const HWND focus = GetFocus();
  return registry_.Find(focus) != nullptr ? IdOf(focus) : 0;
}

Pixel Win32Windows::FaceColour() const { return static_cast<Pixel>(GetSysColor(COLOR_BTNFACE) & 0xFFFFFF); }

platform::SystemColours Win32Windows::Colours() const {
  const auto colour = [](int index) { return static_cast<Pixel>(GetSysColor(index) & 0xFFFFFF); };
  platform::SystemColours colours;
  HIGHCONTRASTW contrast{};
  contrast.cbSize = sizeof(contrast);
  colours.highContrast = SystemParametersInfoW(SPI_GETHIGHCONTRAST, sizeof(contrast), &contrast, 0) != FALSE &&
                         (contrast.dwFlags & HCF_HIGHCONTRASTON) != 0;
  colours.face = colour(COLOR_BTNFACE);
  colours.faceText = colour(COLOR_BTNTEXT);
  colours.window = colour(COLOR_WINDOW);
  colours.windowText = colour(COLOR_WINDOWTEXT);
  return colours;
}

}  // namespace tinctora::win32
