#include "platform/headless/desktop_internal.h"

namespace tinctora::headless {

using namespace internal;

void Desktop::Invalidate(WindowId surface) {
  if (Find(surface) != nullptr) dirty_.insert(surface);
}

void Desktop::Present(WindowId surface, const Image& client) {
  Win* win = Find(surface);
  if (win == nullptr) return;
  win->direct = nullptr;
  if (win->client.Width() == client.Width() && win->client.Height() == client.Height()) {
    std::copy(client.Pixels().begin(), client.Pixels().end(), win->client.Row(0));
  } else {
    win->client = client;
  }
}

void Desktop::PaintOne(WindowId id) const {
  if (sink_ != nullptr) sink_->OnPaint(id);
}

void Desktop::FlushPaint(const Rect& area) const {
  if (flushing_ || dirty_.empty()) return;
  flushing_ = true;
  // Only what the area shows is painted now; the rest waits until it is seen.
  for (auto it = dirty_.begin(); it != dirty_.end();) {
    const Win* win = Find(*it);
    const Rect r = win != nullptr ? OuterScreenRect(*win) : Rect{};
    const bool seen = win != nullptr && !(r.right <= area.left || r.left >= area.right || r.bottom <= area.top ||
                                          r.top >= area.bottom);
    if (!seen && win != nullptr) {
      ++it;
      continue;
    }
    const WindowId id = *it;
    it = dirty_.erase(it);
    if (win != nullptr) PaintOne(id);
  }
  flushing_ = false;
}

void Desktop::UpdateNow(WindowId window) {
  const Win* win = Find(window);
  if (win == nullptr) return;
  // The window's own pending paint and that of every window inside it.
  std::vector<WindowId> pending;
  for (WindowId id : dirty_) {
    for (const Win* w = Find(id); w != nullptr; w = w->topLevel || w->popup ? nullptr : Find(w->parent)) {
      if (w->id == window) {
        pending.push_back(id);
        break;
      }
    }
  }
  for (WindowId id : pending) {
    dirty_.erase(id);
    PaintOne(id);
  }
}

void Desktop::DrawDirect(WindowId surface, const Image& pixels, Point at) {
  Win* win = Find(surface);
  if (win == nullptr || !ShownOnScreen(*win)) return;
  // The program's pixels are shown from where they lie. A drawing they do
  // not cover goes onto the surface first.
  if (win->direct != nullptr && (win->directAt != at || win->direct->Width() != pixels.Width() ||
                                 win->direct->Height() != pixels.Height())) {
    CopyDirect(*win);
  }
  win->direct = &pixels;
  win->directAt = at;
}

void Desktop::CopyDirect(Win& win) const {
  const Image& pixels = *win.direct;
  const Point at = win.directAt;
  win.direct = nullptr;
  Image& shown = win.client;
  const int left = std::max(0, at.x);
  const int right = std::min(shown.Width(), at.x + pixels.Width());
  if (left >= right) return;
  for (int y = std::max(0, at.y); y < std::min(shown.Height(), at.y + pixels.Height()); ++y) {
    const Pixel* src = pixels.Row(y - at.y) + (left - at.x);
    std::copy(src, src + (right - left), shown.Row(y) + left);
  }
}

Pixel Desktop::VisiblePixel(WindowId window, Point client) const {
  const Win* win = Find(window);
  if (win == nullptr || !ShownOnScreen(*win)) return kInvalid;
  const Rect c = ClientScreenRect(*win);
  const Point p{c.left + client.x, c.top + client.y};
  if (!c.Contains(p.x, p.y)) return kInvalid;
  // Clipped to every ancestor's client area and away from siblings above.
  for (const Win* w = win; !w->topLevel;) {
    const Win* parent = Find(w->parent);
    if (parent == nullptr) break;
    if (!ClientScreenRect(*parent).Contains(p.x, p.y)) return kInvalid;
    bool above = false;
    for (WindowId sibling : parent->children) {
      if (sibling == w->id) {
        above = true;
        continue;
      }
      const Win* s = Find(sibling);
      if (above && s != nullptr && s->visible && OuterScreenRect(*s).Contains(p.x, p.y)) return kInvalid;
    }
    w = parent;
  }
  if (DisplayAt(p) == nullptr) return kInvalid;
  FlushPaint({p.x, p.y, p.x + 1, p.y + 1});
  return ComposeAt(p);
}

const Display* Desktop::DisplayAt(Point screen) const {
  for (const Display& d : displays_) {
    if (d.bounds.Contains(screen.x, screen.y)) return &d;
  }
  return nullptr;
}

Pixel Desktop::DesktopPixel(Point screen) const {
  const Display* d = DisplayAt(screen);
  if (d == nullptr) return kInvalid;
  return d->picture.At(screen.x - d->bounds.left, screen.y - d->bounds.top);
}

WindowId Desktop::HitChild(const Win& parent, Point screen) const {
  for (auto it = parent.children.rbegin(); it != parent.children.rend(); ++it) {
    const Win* child = Find(*it);
    if (child == nullptr || !child->visible) continue;
    if (!OuterScreenRect(*child).Contains(screen.x, screen.y)) continue;
    if (ClientScreenRect(*child).Contains(screen.x, screen.y)) {
      const WindowId inner = HitChild(*child, screen);
      if (inner != 0) return inner;
    }
    return child->id;
  }
  return 0;
}

WindowId Desktop::HitTest(Point screen) const {
  // An open popup lies above every window.
  if (const Win* popup = Find(openPopup_); popup != nullptr && popup->visible &&
                                           popup->bounds.Contains(screen.x, screen.y)) {
    return openPopup_;
  }
  const Win* top = Find(top_);
  if (top == nullptr || !top->visible || !top->bounds.Contains(screen.x, screen.y)) return 0;
  if (!ClientScreenRect(*top).Contains(screen.x, screen.y)) return top_;
  const WindowId child = HitChild(*top, screen);
  return child != 0 ? child : top_;
}

void Desktop::RenderFrame() const {
  const Win* top = Find(top_);
  if (top == nullptr) return;
  const int w = top->bounds.Width();
  const int h = top->bounds.Height();
  frameImage_.Reset(w, h, colours_.face);
  const Pixel titleColour = active_ ? gfx::RgbHex(0x0078D7) : gfx::RgbHex(0xAAAAAA);
  const Pixel titleText = active_ ? gfx::RgbHex(0xFFFFFF) : gfx::RgbHex(0x303030);
  FrameRect(frameImage_, {0, 0, w, h}, kBorder);
  const FrameMetrics frame = ScaledFrame();
  const gfx::Font& font = Font();
  FillRect(frameImage_, {1, 1, w - 1, frame.top - 1}, titleColour);
  const int textTop = std::max(1, (frame.top - font.LineHeight()) / 2);
  DrawText(frameImage_, font, top->text, frame.left + Px(6), textTop, titleText);
  // Minimise and close boxes at the right end of the title bar.
  const int boxSize = std::max(4, frame.top - Px(8));
  const int closeLeft = w - frame.right - boxSize - Px(4);
  const int minLeft = closeLeft - boxSize - Px(6);
  const int boxTop = (frame.top - boxSize) / 2;
  const auto put = [&](int x, int y) {
    if (x >= 0 && y >= 0 && x < frameImage_.Width() && y < frameImage_.Height()) frameImage_.Set(x, y, titleText);
  };
  for (int i = 2; i < boxSize - 2; ++i) {
    put(closeLeft + i, boxTop + i);
    put(closeLeft + boxSize - 1 - i, boxTop + i);
  }
  FillRect(frameImage_, {minLeft + 2, boxTop + boxSize - 4, minLeft + boxSize - 2, boxTop + boxSize - 3}, titleText);
  frameDirty_ = false;
}

void Desktop::RenderNative(const Win& win) const {
  if (!win.nativeDirty) return;
  win.nativeDirty = false;
  Image& img = win.client;
  const int w = img.Width();
  const int h = img.Height();
  switch (win.kind) {
    case platform::NativeKind::Surface:
      return;
    case platform::NativeKind::EditBox: {
      img.Fill(win.edit.background);
      const gfx::Font& font = Font();
      const int textWidth = TextWidth(font, win.text);
      int x = 1;
      if (win.edit.align == platform::TextAlign::Centre) x = (w - textWidth) / 2;
      if (win.edit.align == platform::TextAlign::Right) x = w - 1 - textWidth;
      const int y = (h - font.LineHeight()) / 2;
      DrawText(img, font, win.text, x, y, win.edit.textColour);
      return;
    }
    case platform::NativeKind::Slider: {
      img.Fill(colours_.face);
      const Rect thumb = SliderThumb(win);
      const int trackY = thumb.top + thumb.Height() / 2;
      FillRect(img, {Px(8), trackY - Px(2), w - Px(8), trackY + Px(2)}, gfx::RgbHex(0xE7EAEA));
      FrameRect(img, {Px(8), trackY - Px(2), w - Px(8), trackY + Px(2)}, gfx::RgbHex(0xD6D6D6));
      const int span = std::max(1, win.slider.maximum - win.slider.minimum);
      if (win.slider.tickFrequency > 0) {
        for (int v = win.slider.minimum; v <= win.slider.maximum; v += win.slider.tickFrequency) {
          const int tx = Px(13) + (w - Px(26)) * (v - win.slider.minimum) / span;
          FillRect(img, {tx, thumb.top - Px(5), tx + 1, thumb.top - Px(2)}, colours_.faceText);
        }
      }
      FillRect(img, thumb, gfx::RgbHex(0x007AD9));
      return;
    }
    case platform::NativeKind::GroupFrame: {
      img.Fill(colours_.face);
      const gfx::Font& font = Font();
      const int lineY = font.LineHeight() / 2;
      FrameRect(img, {0, lineY, w, h}, gfx::RgbHex(0xDCDCDC));
      if (!win.text.empty()) {
        FillRect(img, {Px(7), 0, Px(9) + TextWidth(font, win.text), font.LineHeight()}, colours_.face);
        DrawText(img, font, win.text, Px(8), 0, colours_.faceText);
      }
      return;
    }
  }
}

Pixel Desktop::WindowPixel(const Win& win, Point screen) const {
  const Rect outer = OuterScreenRect(win);
  if (win.popup) {
    RenderNative(win);
    const int x = screen.x - outer.left;
    const int y = screen.y - outer.top;
    return x < win.client.Width() && y < win.client.Height() ? win.client.At(x, y) : colours_.face;
  }
  if (win.topLevel) {
    if (frameDirty_) RenderFrame();
    const Rect client = ClientScreenRect(win);
    if (!client.Contains(screen.x, screen.y)) return frameImage_.At(screen.x - outer.left, screen.y - outer.top);
    return win.params.background.value_or(colours_.face);
  }
  const Rect client = ClientScreenRect(win);
  if (!client.Contains(screen.x, screen.y)) return kBorder;
  RenderNative(win);
  const int x = screen.x - client.left;
  const int y = screen.y - client.top;
  if (const Image* direct = win.direct) {
    const int dx = x - win.directAt.x;
    const int dy = y - win.directAt.y;
    if (dx >= 0 && dy >= 0 && dx < direct->Width() && dy < direct->Height()) return direct->At(dx, dy);
  }
  if (x >= win.client.Width() || y >= win.client.Height()) return colours_.face;
  return win.client.At(x, y);
}

Pixel Desktop::ComposeAt(Point screen) const {
  const Display* d = DisplayAt(screen);
  if (d == nullptr) return kInvalid;
  const WindowId hit = HitTest(screen);
  const Pixel p = hit == 0 ? DesktopPixel(screen) : WindowPixel(*Find(hit), screen);
  return Quantise(p, d->bitsPerPixel);
}

Image Desktop::Render(const Rect& screen) {
  Image out;
  ComposeRect(screen, out, gfx::RgbHex(0x000000));
  return out;
}

}  // namespace tinctora::headless
