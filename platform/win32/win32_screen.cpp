// The screen, the pointer and the cursor: pixels through the screen's DC
// (GetPixel, BitBlt into a DIB section), the displays from
// EnumDisplayMonitors with each one's DPI, the pointer and the capture from
// user32. The process is per-monitor DPI aware, so all of it is in physical
// pixels.

#include <algorithm>

#include "platform/win32/win32_services.h"

namespace tinctora::win32 {

namespace {

Rect RectOf(const RECT& r) { return {r.left, r.top, r.right, r.bottom}; }

BOOL CALLBACK AddMonitor(HMONITOR monitor, HDC, LPRECT, LPARAM data) {
  auto& displays = *reinterpret_cast<std::vector<platform::Display>*>(data);
  MONITORINFO info{};
  info.cbSize = sizeof info;
  if (!GetMonitorInfoW(monitor, &info)) return TRUE;
  const platform::Display display{RectOf(info.rcMonitor), RectOf(info.rcWork),
                                  static_cast<double>(MonitorDpi(monitor)) / kLayoutDpi};
  if (info.dwFlags & MONITORINFOF_PRIMARY) {
    displays.insert(displays.begin(), display);
  } else {
    displays.push_back(display);
  }
  return TRUE;
}

// The rows of a monochrome bitmap are padded to 16 bits.
std::vector<std::uint8_t> MaskBits(const gfx::Picture& picture, bool masked) {
  const int w = picture.Width();
  const int h = picture.Height();
  const int stride = ((w + 15) / 16) * 2;
  std::vector<std::uint8_t> bits(static_cast<std::size_t>(stride) * static_cast<std::size_t>(h), 0);
  if (!masked) return bits;
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      if (picture.mask[static_cast<std::size_t>(y) * static_cast<std::size_t>(w) + static_cast<std::size_t>(x)] != 0) {
        bits[static_cast<std::size_t>(y) * stride + static_cast<std::size_t>(x / 8)] |=
            static_cast<std::uint8_t>(0x80u >> (x % 8));
      }
    }
  }
  return bits;
}

}  // namespace

Win32Screen::~Win32Screen() { registry_.cursors.clear(); }

std::vector<platform::Display> Win32Screen::Displays() const {
  // Asked for every movement of a pick: enumerated again only after the
  // system reported a change (WM_DISPLAYCHANGE, WM_DPICHANGED,
  // WM_SETTINGCHANGE).
  if (registry_.displays) return *registry_.displays;
  std::vector<platform::Display> displays;
  EnumDisplayMonitors(nullptr, nullptr, &AddMonitor, reinterpret_cast<LPARAM>(&displays));
  if (displays.empty()) {
    const Rect screen{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    RECT work{};
    const bool haveWork = SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0) != 0;
    displays.push_back({screen, haveWork ? RectOf(work) : screen, static_cast<double>(SystemDpi()) / kLayoutDpi});
  }
  registry_.displays = displays;
  return displays;
}

void Win32Screen::ShowOwnDrawing(const Rect& screen) const {
  // Wine keeps what a window drew in a surface of its own and hands it to
  // the X server when the thread next looks for a message and finds none:
  // a look for a message no one ever posts does that. Only there: the look
  // also delivers messages other threads send, which a read should not.
  static const bool underWine = GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
  if (!underWine || !registry_.drawn) return;
  bool over = false;
  for (const NativeWindow* window : registry_.All()) {
    if (!(window->topLevel || window->popup) || !IsWindowVisible(window->hwnd)) continue;
    RECT r{};
    if (!GetWindowRect(window->hwnd, &r)) continue;
    if (screen.left < r.right && r.left < screen.right && screen.top < r.bottom && r.top < screen.bottom) {
      over = true;
      break;
    }
  }
  if (!over) return;
  GdiFlush();
  // The look may call the program inside the read, through what other
  // threads send: it is made only when something was drawn since.
  MSG message{};
  PeekMessageW(&message, nullptr, kNeverPosted, kNeverPosted, PM_NOREMOVE | PM_NOYIELD);
  registry_.drawn = false;
}

colour::ColourValue Win32Screen::PixelAt(Point screen) const {
  ShowOwnDrawing({screen.x, screen.y, screen.x + 1, screen.y + 1});
  ScreenDc dc;
  if (dc.get() == nullptr) return colour::InvalidColour;
  const COLORREF c = GetPixel(dc.get(), screen.x, screen.y);
  if (c == CLR_INVALID) return colour::InvalidColour;
  return static_cast<colour::ColourValue>(c & 0xFFFFFF);
}

bool Win32Screen::ReadRect(const Rect& screen, Image& out) const {
  if (screen.Empty()) return false;
  ShowOwnDrawing(screen);
  ScreenDc dc;
  if (dc.get() == nullptr) return false;
  // The zoom view's square, read for every movement of a pick, goes through
  // one DIB section kept for it; a larger read gets one of its own, so
  // the kept one stays small.
  DibSurface single;
  const bool small = screen.Width() <= kKeptSnapshotSide && screen.Height() <= kKeptSnapshotSide;
  DibSurface& snapshot = small ? snapshot_ : single;
  if (!(small ? snapshot.EnsureAtLeast(screen.Width(), screen.Height()) : snapshot.Ensure(screen.Width(), screen.Height()))) {
    return false;
  }
  if (!BitBlt(snapshot.Dc(), 0, 0, screen.Width(), screen.Height(), dc.get(), screen.left, screen.top, SRCCOPY)) {
    return false;
  }
  GdiFlush();
  out.Reset(screen.Width(), screen.Height());
  for (int y = 0; y < screen.Height(); ++y) {
    const std::uint32_t* src = snapshot.Row(y);
    Pixel* dst = out.Row(y);
    for (int x = 0; x < screen.Width(); ++x) dst[x] = FromDib(src[x]);
  }
  return true;
}

int Win32Screen::BitsPerPixel() const {
  ScreenDc dc;
  return dc.get() == nullptr ? 32 : GetDeviceCaps(dc.get(), BITSPIXEL);
}

std::optional<Point> Win32Screen::CursorPos() const {
  // While a mouse message is handled: where it was made.
  if (registry_.messagePoint) return *registry_.messagePoint;
  // Fails while another desktop (a UAC prompt, the lock screen) has the
  // input: the position is then unknown, not (0, 0).
  POINT p{};
  if (!GetCursorPos(&p)) return std::nullopt;
  return Point{p.x, p.y};
}

void Win32Screen::SetCursorPos(Point screen) { ::SetCursorPos(screen.x, screen.y); }

bool Win32Screen::PrimaryButtonDown() const {
  // GetAsyncKeyState reads the physical buttons: with swapped buttons the
  // primary one is the right.
  const int key = GetSystemMetrics(SM_SWAPBUTTON) ? VK_RBUTTON : VK_LBUTTON;
  return (GetAsyncKeyState(key) & 0x8000) != 0;
}

void Win32Screen::SetCapture(WindowId id) {
  NativeWindow* window = registry_.Find(id);
  if (window == nullptr) return;
  if (GetCapture() != window->hwnd) {
    // The window that held it hears of its loss (WM_CAPTURECHANGED).
    ::SetCapture(window->hwnd);
  }
  registry_.capture = window->hwnd;
  // The holder's cursor shows wherever the pointer goes.
  if (window->cursor != nullptr) ::SetCursor(window->cursor);
}

void Win32Screen::ReleaseCapture() {
  registry_.releasing = true;
  if (registry_.capture != nullptr && GetCapture() == registry_.capture) ::ReleaseCapture();
  registry_.releasing = false;
  registry_.capture = nullptr;
}

WindowId Win32Screen::Capture() const {
  const HWND holder = GetCapture();
  return registry_.Find(holder) != nullptr ? IdOf(holder) : 0;
}

int Win32Screen::CursorSize(double scale) const { return MetricForDpi(SM_CXCURSOR, DpiOfScale(scale)); }

CursorId Win32Screen::CreateCursor(const gfx::CursorImage& image) {
  const gfx::Picture& picture = image.picture;
  const int w = picture.Width();
  const int h = picture.Height();
  if (w <= 0 || h <= 0) return 0;
  const auto count = static_cast<std::size_t>(w) * static_cast<std::size_t>(h);
  const bool masked = picture.mask.size() == count;
  const bool blended = picture.alpha.size() == count;
  // The system's own two-bitmap form: where the mask is 1 the screen is
  // kept and XOR-ed with the colour, where it is 0 the colour replaces it.
  const std::vector<std::uint8_t> maskBits = MaskBits(picture, masked && !blended);
  GdiBitmap mask(CreateBitmap(w, h, 1, 1, maskBits.data()));
  const BITMAPINFO info = DibInfo(w, h);
  void* bits = nullptr;
  GdiBitmap colourBitmap(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  if (!mask || !colourBitmap || bits == nullptr) return 0;
  auto* dst = static_cast<std::uint32_t*>(bits);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const std::size_t i = static_cast<std::size_t>(y) * static_cast<std::size_t>(w) + static_cast<std::size_t>(x);
      std::uint32_t value = ToDib(picture.colour.At(x, y) & 0xFFFFFFu);
      // Alpha only for a picture that has it; 0 elsewhere keeps the mask's meaning.
      if (blended) value |= static_cast<std::uint32_t>(picture.alpha[i]) << 24;
      dst[i] = value;
    }
  }
  GdiFlush();
  ICONINFO icon{};
  icon.fIcon = FALSE;
  icon.xHotspot = static_cast<DWORD>(std::clamp(image.hotSpot.x, 0, w - 1));
  icon.yHotspot = static_cast<DWORD>(std::clamp(image.hotSpot.y, 0, h - 1));
  icon.hbmMask = mask.get();
  icon.hbmColor = colourBitmap.get();
  // The system copies both bitmaps.
  OwnedCursor cursor(CreateIconIndirect(&icon));
  if (!cursor) return 0;
  const CursorId id = nextCursor_++;
  registry_.cursors.emplace(id, std::move(cursor));
  return id;
}

void Win32Screen::DestroyCursor(CursorId id) {
  const auto it = registry_.cursors.find(id);
  if (it == registry_.cursors.end()) return;
  const HCURSOR cursor = it->second.get();
  for (NativeWindow* window : registry_.All()) {
    if (window->cursor == cursor) window->cursor = nullptr;
  }
  // No window keeps showing a cursor that is gone.
  if (GetCursor() == cursor) ::SetCursor(LoadCursorW(nullptr, IDC_ARROW));
  registry_.cursors.erase(it);
}

void Win32Screen::SetWindowCursor(WindowId id, CursorId cursorId) {
  NativeWindow* window = registry_.Find(id);
  if (window == nullptr) return;
  const auto it = registry_.cursors.find(cursorId);
  window->cursor = it != registry_.cursors.end() ? it->second.get() : nullptr;
  // Shown at once where it applies now: over the window, or while it holds
  // the capture.
  POINT p{};
  const bool over = GetCursorPos(&p) && WindowFromPoint(p) == window->hwnd;
  if (GetCapture() == window->hwnd || over) {
    ::SetCursor(window->cursor != nullptr ? window->cursor : LoadCursorW(nullptr, IDC_ARROW));
  }
}

}  // namespace tinctora::win32
