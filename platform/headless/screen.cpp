#include "platform/headless/desktop_internal.h"

namespace tinctora::headless {

using namespace internal;

colour::ColourValue Desktop::PixelAt(Point screen) const {
  ++screenReads_;
  return ShownPixel(screen);
}

colour::ColourValue Desktop::ShownPixel(Point screen) const {
  for (const Rect& r : unreadable_) {
    if (r.Contains(screen.x, screen.y)) return static_cast<colour::ColourValue>(kInvalid);
  }
  FlushPaint({screen.x, screen.y, screen.x + 1, screen.y + 1});
  return static_cast<colour::ColourValue>(ComposeAt(screen));
}

void Desktop::ComposeRect(const Rect& screen, Image& out, Pixel outside) const {
  out.Reset(screen.Width(), screen.Height(), outside);
  FlushPaint(screen);
  const Win* top = Find(top_);
  const bool overWindow = openPopup_ != 0 ||
                          (top != nullptr && top->visible &&
                           !(screen.right <= top->bounds.left || screen.left >= top->bounds.right ||
                             screen.bottom <= top->bounds.top || screen.top >= top->bounds.bottom));
  for (const Display& d : displays_) {
    const int top0 = std::max(screen.top, d.bounds.top);
    const int bottom0 = std::min(screen.bottom, d.bounds.bottom);
    const int left0 = std::max(screen.left, d.bounds.left);
    const int right0 = std::min(screen.right, d.bounds.right);
    if (left0 >= right0 || top0 >= bottom0) continue;
    for (int y = top0; y < bottom0; ++y) {
      Pixel* row = out.Row(y - screen.top);
      if (!overWindow && d.bitsPerPixel > 16) {
        const Pixel* src = d.picture.Row(y - d.bounds.top);
        std::copy(src + (left0 - d.bounds.left), src + (right0 - d.bounds.left), row + (left0 - screen.left));
        continue;
      }
      for (int x = left0; x < right0; ++x) row[x - screen.left] = ComposeAt({x, y});
    }
  }
}

bool Desktop::ReadRect(const Rect& screen, Image& out) const {
  ++screenReads_;
  // The program clips to the displays itself; a read across their edges is
  // refused as a real screen read would be.
  const bool onOneDisplay = std::any_of(displays_.begin(), displays_.end(), [&](const Display& d) {
    return screen.left >= d.bounds.left && screen.top >= d.bounds.top && screen.right <= d.bounds.right &&
           screen.bottom <= d.bounds.bottom;
  });
  if (screen.Empty() || !onOneDisplay) return false;
  // A read that touches an unreadable area fails as a whole, as a pixel
  // read there does.
  const bool touchesUnreadable = std::any_of(unreadable_.begin(), unreadable_.end(), [&](const Rect& r) {
    return r.left < screen.right && screen.left < r.right && r.top < screen.bottom && screen.top < r.bottom;
  });
  if (touchesUnreadable) return false;
  ComposeRect(screen, out, kInvalid);
  return true;
}

int Desktop::BitsPerPixel() const { return displays_.empty() ? 32 : displays_.front().bitsPerPixel; }

void Desktop::SetCursorPos(Point screen) {
  // The pointer stays on some display: move it to the nearest point of the
  // nearest display.
  Point best = screen;
  long bestDistance = -1;
  for (const Display& d : displays_) {
    const Point p{std::clamp(screen.x, d.bounds.left, d.bounds.right - 1),
                  std::clamp(screen.y, d.bounds.top, d.bounds.bottom - 1)};
    const long dx = p.x - screen.x;
    const long dy = p.y - screen.y;
    const long distance = dx * dx + dy * dy;
    if (bestDistance < 0 || distance < bestDistance) {
      bestDistance = distance;
      best = p;
    }
  }
  pointer_ = best;
  PostMouse(platform::MouseAction::Move);
}

void Desktop::SetCapture(WindowId window) {
  const WindowId old = capture_;
  capture_ = window;
  if (old != 0 && old != window && old != ForeignWindow && sink_ != nullptr) sink_->OnCaptureLost(old);
}

void Desktop::ReleaseCapture() {
  // The program's own release: nothing is reported.
  if (capture_ != ForeignWindow) capture_ = 0;
}

platform::CursorId Desktop::CreateCursor(const gfx::CursorImage& image) {
  const platform::CursorId id = nextCursor_++;
  cursors_.emplace(id, image);
  return id;
}

void Desktop::DestroyCursor(platform::CursorId cursor) {
  cursors_.erase(cursor);
  for (auto& [id, win] : windows_) {
    if (win->cursor == cursor) win->cursor = 0;
  }
}

void Desktop::SetWindowCursor(WindowId window, platform::CursorId cursor) {
  if (Win* win = Find(window)) win->cursor = cursor;
}

const gfx::CursorImage* Desktop::PointerCursor() const {
  const WindowId over = capture_ != 0 ? capture_ : HitTest(pointer_);
  const Win* win = Find(over);
  if (win == nullptr || win->cursor == 0) return nullptr;
  const auto it = cursors_.find(win->cursor);
  return it == cursors_.end() ? nullptr : &it->second;
}

}  // namespace tinctora::headless
