// Custom-drawn windows (and popups): the program paints their client area
// into an image in answer to OnPaint; the backend keeps it in a DIB section
// and shows it in WM_PAINT. A direct drawing goes straight onto the window,
// one pixel to one, and is not kept. Pixels are read back from the window's
// DC, clipped as the window's own drawing is.

#include <algorithm>

#include "platform/win32/win32_services.h"

namespace tinctora::win32 {

namespace {

// Copies a control layer image into a window's DIB.
void StoreImage(NativeWindow& window, const Image& client) {
  if (!window.shown.Ensure(client.Width(), client.Height())) return;
  for (int y = 0; y < client.Height(); ++y) {
    const Pixel* src = client.Row(y);
    std::uint32_t* dst = window.shown.Row(y);
    for (int x = 0; x < client.Width(); ++x) dst[x] = ToDib(src[x]);
  }
}

// The window's client rectangle in its own coordinates, if the system tells it.
std::optional<RECT> ClientOf(HWND hwnd) {
  RECT r{};
  if (!GetClientRect(hwnd, &r)) return std::nullopt;
  return r;
}

class PaintScope {
 public:
  explicit PaintScope(Registry& registry) : registry_(registry) { ++registry_.painting; }
  ~PaintScope() { --registry_.painting; }
  PaintScope(const PaintScope&) = delete;
  PaintScope& operator=(const PaintScope&) = delete;

 private:
  Registry& registry_;
};

}  // namespace

void PaintSurface(NativeWindow& window) {
  const HWND hwnd = window.hwnd;
  Registry& registry = *window.registry;
  registry.drawn = true;
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(hwnd, &ps);
  if (dc == nullptr) return;
  if (registry.sink != nullptr) {
    const PaintScope painting(registry);
    registry.sink->OnPaint(IdOf(hwnd));
  }
  // The program may have destroyed the window from its handler.
  const RECT& r = ps.rcPaint;
  const bool shown = registry.Find(hwnd) == &window && window.shown.Valid() &&
                     BitBlt(dc, r.left, r.top, r.right - r.left, r.bottom - r.top, window.shown.Dc(), r.left, r.top,
                            SRCCOPY);
  if (!shown) FillRect(dc, &ps.rcPaint, GetSysColorBrush(COLOR_BTNFACE));
  EndPaint(hwnd, &ps);
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
  registry_.drawn = true;
  if (window == nullptr) return;
  StoreImage(*window, client);
  // In answer to a paint, the paint shows it; otherwise it is shown now,
  // or by a paint when the window's DC takes no drawing.
  if (registry_.painting > 0 || !window->shown.Valid() || !IsWindowVisible(window->hwnd)) return;
  WindowDc dc(window->hwnd);
  if (dc.get() == nullptr ||
      !BitBlt(dc.get(), 0, 0, window->shown.Width(), window->shown.Height(), window->shown.Dc(), 0, 0, SRCCOPY)) {
    InvalidateRect(window->hwnd, nullptr, FALSE);
  }
}

void Win32Windows::DrawDirect(WindowId id, const Image& pixels, Point at) {
  NativeWindow* window = registry_.Find(id);
  registry_.drawn = true;
  if (window == nullptr || !IsWindowVisible(window->hwnd)) return;
  const std::optional<RECT> client = ClientOf(window->hwnd);
  if (!client) return;
  const int left = std::max<int>(client->left, at.x);
  const int top = std::max<int>(client->top, at.y);
  const int right = std::min<int>(client->right, at.x + pixels.Width());
  const int bottom = std::min<int>(client->bottom, at.y + pixels.Height());
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
  if (dc.get() == nullptr) return;
  // A drawing the system refuses is lost, as a direct drawing may be: the
  // next repaint shows what was presented.
  StretchDIBits(dc.get(), left, top, w, h, 0, 0, w, h, buffer.data(), &info, DIB_RGB_COLORS, SRCCOPY);
}

Pixel Win32Windows::VisiblePixel(WindowId id, Point client) const {
  const NativeWindow* window = registry_.Find(id);
  if (window == nullptr || !IsWindowVisible(window->hwnd)) return platform::kInvalidPixel;
  const std::optional<RECT> own = ClientOf(window->hwnd);
  if (!own || !PtInRect(&*own, POINT{client.x, client.y})) return platform::kInvalidPixel;
  POINT screen{client.x, client.y};
  if (!ClientToScreen(window->hwnd, &screen)) return platform::kInvalidPixel;
  // Clipped to every ancestor's client area and away from the siblings
  // lying above, as the window's own drawing context is.
  for (HWND w = window->hwnd; (GetWindowLongW(w, GWL_STYLE) & WS_CHILD) != 0;) {
    const HWND parent = GetParent(w);
    if (parent == nullptr) break;
    std::optional<RECT> pc = ClientOf(parent);
    if (!pc) return platform::kInvalidPixel;
    MapWindowPoints(parent, nullptr, reinterpret_cast<POINT*>(&*pc), 2);
    if (!PtInRect(&*pc, screen)) return platform::kInvalidPixel;
    for (HWND above = GetWindow(w, GW_HWNDPREV); above != nullptr; above = GetWindow(above, GW_HWNDPREV)) {
      RECT ar{};
      if (IsWindowVisible(above) && GetWindowRect(above, &ar) && PtInRect(&ar, screen)) return platform::kInvalidPixel;
    }
    w = parent;
  }
  // What waits to be painted there is painted first, so the pixel is the
  // one the window shows once it is up to date.
  UpdateWindow(window->hwnd);
  WindowDc dc(window->hwnd);
  if (dc.get() == nullptr) return platform::kInvalidPixel;
  const COLORREF c = GetPixel(dc.get(), client.x, client.y);
  return c == CLR_INVALID ? platform::kInvalidPixel : static_cast<Pixel>(c & 0xFFFFFF);
}

}  // namespace tinctora::win32
