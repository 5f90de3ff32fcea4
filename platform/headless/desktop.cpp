#include "platform/headless/desktop.h"

#include <algorithm>

#include "ui/paint.h"

namespace tinctora::headless {

namespace {

constexpr Pixel kInvalid = 0xFFFFFFFFu;
constexpr Pixel kBorder = ui::RgbHex(0x646464);
constexpr Pixel kFace = ui::RgbHex(0xF0F0F0);
constexpr Pixel kDesktop = ui::RgbHex(0x3A6EA5);
constexpr int kBackspace = 0x08;
constexpr int kPageUp = 0x21;
constexpr int kPageDown = 0x22;
constexpr int kEnd = 0x23;
constexpr int kHome = 0x24;

Rect Inset(const Rect& r, int left, int top, int right, int bottom) {
  return {r.left + left, r.top + top, r.right - right, r.bottom - bottom};
}

Rect Offset(const Rect& r, int dx, int dy) { return {r.left + dx, r.top + dy, r.right + dx, r.bottom + dy}; }

// A 16-bit display keeps 5 bits of red and blue and 6 of green.
Pixel Quantise(Pixel p, int bitsPerPixel) {
  if (bitsPerPixel > 16) return p;
  return p & ui::RgbPixel(0xF8, 0xFC, 0xF8);
}

std::size_t GbkCharLength(TextView text, std::size_t at) {
  return static_cast<unsigned char>(text[at]) >= 0x80 && at + 1 < text.size() ? 2 : 1;
}

// Removes the last character of a GBK text.
void PopChar(Text& text) {
  std::size_t at = 0;
  std::size_t last = 0;
  while (at < text.size()) {
    last = at;
    at += GbkCharLength(text, at);
  }
  text.resize(last);
}

// The longest prefix of text of at most limit bytes that does not split a character.
TextView FitBytes(TextView text, std::size_t limit) {
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t next = at + GbkCharLength(text, at);
    if (next > limit) break;
    at = next;
  }
  return text.substr(0, at);
}

void DrawText(Image& image, const ui::Font& font, TextView text, int x, int y, Pixel colour) {
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t length = GbkCharLength(text, at);
    const TextView ch = text.substr(at, length);
    font.DrawChar(image, x, y, ch, colour);
    x += font.CharWidth(ch);
    at += length;
  }
}

int TextWidth(const ui::Font& font, TextView text) {
  int width = 0;
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t length = GbkCharLength(text, at);
    width += font.CharWidth(text.substr(at, length));
    at += length;
  }
  return width;
}

void FillRect(Image& image, const Rect& r, Pixel colour) {
  const int left = std::max(0, r.left);
  const int right = std::min(image.Width(), r.right);
  for (int y = std::max(0, r.top); y < std::min(image.Height(), r.bottom); ++y) {
    Pixel* row = image.Row(y);
    std::fill(row + left, row + std::max(left, right), colour);
  }
}

void FrameRect(Image& image, const Rect& r, Pixel colour) {
  FillRect(image, {r.left, r.top, r.right, r.top + 1}, colour);
  FillRect(image, {r.left, r.bottom - 1, r.right, r.bottom}, colour);
  FillRect(image, {r.left, r.top, r.left + 1, r.bottom}, colour);
  FillRect(image, {r.right - 1, r.top, r.right, r.bottom}, colour);
}

}  // namespace

struct Desktop::Win {
  WindowId id = 0;
  WindowId parent = 0;
  platform::NativeKind kind = platform::NativeKind::Surface;
  bool topLevel = false;
  Rect bounds;  // outer; the parent's client coordinates, screen for the top level
  bool border = false;
  bool visible = false;
  bool tabStop = false;
  Text text;
  bool allSelected = false;
  platform::EditSettings edit;
  platform::SliderSettings slider;
  int position = 0;
  std::vector<WindowId> children;  // bottom first
  mutable Image client;            // the painted client area
  mutable bool nativeDirty = true;
  platform::CursorId cursor = 0;
  platform::TopLevelSpec params;
};

Desktop::Desktop() {
  Display primary;
  primary.bounds = {0, 0, 1920, 1080};
  primary.bitsPerPixel = 32;
  primary.picture = Image(1920, 1080, kDesktop);
  displays_.push_back(std::move(primary));
}

Desktop::~Desktop() = default;

platform::Platform Desktop::Services() {
  platform::Platform p;
  p.windows = this;
  p.screen = this;
  p.hotKeys = this;
  p.clipboard = this;
  p.dialogs = this;
  p.loop = this;
  return p;
}

// ---- set-up ----------------------------------------------------------------

void Desktop::SetDisplays(std::vector<Display> displays) {
  displays_ = std::move(displays);
  for (Display& d : displays_) {
    if (d.picture.Width() != d.bounds.Width() || d.picture.Height() != d.bounds.Height()) {
      d.picture = Image(d.bounds.Width(), d.bounds.Height(), kDesktop);
    }
  }
}

void Desktop::AddDisplay(const Rect& bounds, int bitsPerPixel, Pixel fill) {
  Display d;
  d.bounds = bounds;
  d.bitsPerPixel = bitsPerPixel;
  d.picture = Image(bounds.Width(), bounds.Height(), fill);
  displays_.push_back(std::move(d));
}

void Desktop::FillDesktop(const Rect& screen, Pixel colour) {
  for (Display& d : displays_) {
    FillRect(d.picture, Offset(screen, -d.bounds.left, -d.bounds.top), colour);
  }
}

void Desktop::PutDesktopPixel(Point screen, Pixel colour) { FillDesktop({screen.x, screen.y, screen.x + 1, screen.y + 1}, colour); }

void Desktop::DrawOnDesktop(Point screen, const Image& image) {
  for (Display& d : displays_) {
    for (int y = 0; y < image.Height(); ++y) {
      const int dy = screen.y + y - d.bounds.top;
      if (dy < 0 || dy >= d.picture.Height()) continue;
      for (int x = 0; x < image.Width(); ++x) {
        const int dx = screen.x + x - d.bounds.left;
        if (dx >= 0 && dx < d.picture.Width()) d.picture.Set(dx, dy, image.At(x, y));
      }
    }
  }
}

void Desktop::HoldHotKey(int modifiers, int virtualKey, bool hold) {
  const auto key = std::make_pair(modifiers, virtualKey);
  if (hold) {
    hotKeys_.emplace(key, HotKeyEntry{0, 0});
  } else {
    const auto it = hotKeys_.find(key);
    if (it != hotKeys_.end() && it->second.owner == 0) hotKeys_.erase(it);
  }
}

void Desktop::StealCapture() {
  const WindowId old = capture_;
  capture_ = ForeignWindow;
  if (old != 0 && old != ForeignWindow && sink_ != nullptr) sink_->OnCaptureLost(old);
  Pump();
}

// ---- windows ---------------------------------------------------------------

Desktop::Win* Desktop::Find(WindowId id) const {
  const auto it = windows_.find(id);
  return it == windows_.end() ? nullptr : it->second.get();
}

WindowId Desktop::CreateTopLevel(const platform::TopLevelSpec& params) {
  auto win = std::make_unique<Win>();
  win->id = nextId_++;
  win->topLevel = true;
  win->params = params;
  win->text = params.caption;
  win->bounds = {0, 0, params.outerWidth, params.outerHeight};
  const WindowId id = win->id;
  windows_.emplace(id, std::move(win));
  top_ = id;
  frameDirty_ = true;
  return id;
}

WindowId Desktop::CreateChild(WindowId parent, const platform::ChildSpec& params) {
  Win* owner = Find(parent);
  if (owner == nullptr) return 0;
  auto win = std::make_unique<Win>();
  win->id = nextId_++;
  win->parent = parent;
  win->kind = params.kind;
  win->bounds = params.bounds;
  win->border = params.border;
  win->tabStop = params.tabStop;
  win->text = params.text;
  win->edit = params.edit;
  win->slider = params.slider;
  win->position = std::clamp(params.slider.position, params.slider.minimum, params.slider.maximum);
  const WindowId id = win->id;
  // Later siblings lie above earlier ones.
  owner->children.push_back(id);
  windows_.emplace(id, std::move(win));
  Win& made = *Find(id);
  const Rect c = ClientScreenRect(made);
  made.client.Reset(c.Width(), c.Height(), kFace);
  return id;
}

void Desktop::Destroy(WindowId top) {
  if (Find(top) == nullptr) return;
  // The window and its controls still exist while it handles its destruction.
  if (sink_ != nullptr) sink_->OnDestroyed(top);
  RemoveWindow(top);
  if (top == top_) {
    top_ = 0;
    active_ = false;
  }
}

void Desktop::RemoveWindow(WindowId id) {
  Win* win = Find(id);
  if (win == nullptr) return;
  const std::vector<WindowId> children = win->children;
  for (WindowId child : children) RemoveWindow(child);
  if (capture_ == id) capture_ = 0;
  if (focus_ == id) focus_ = 0;
  dirty_.erase(id);
  for (auto it = hotKeys_.begin(); it != hotKeys_.end();) {
    it = it->second.owner == id ? hotKeys_.erase(it) : std::next(it);
  }
  if (Win* parent = Find(win->parent)) {
    std::erase(parent->children, id);
  }
  windows_.erase(id);
}

void Desktop::SetVisible(WindowId window, bool visible) {
  if (Win* win = Find(window)) win->visible = visible;
}

void Desktop::ShowCentred(WindowId top) {
  Win* win = Find(top);
  if (win == nullptr) return;
  const Rect primary = PrimaryDisplay();
  const int w = win->bounds.Width();
  const int h = win->bounds.Height();
  const int left = primary.left + (primary.Width() - w) / 2;
  const int topEdge = primary.top + (primary.Height() - h) / 2;
  win->bounds = {left, topEdge, left + w, topEdge + h};
  win->visible = true;
  frameDirty_ = true;
  SetActive(true);
}

void Desktop::SetActive(bool active) {
  if (top_ == 0 || active == active_) return;
  active_ = active;
  frameDirty_ = true;
  if (!active) {
    // Another window comes to the front and covers this one: what the
    // program drew straight onto its controls is lost.
    for (const auto& [id, win] : windows_) {
      if (win->kind == platform::NativeKind::Surface && !win->topLevel) dirty_.insert(id);
    }
  }
  if (sink_ != nullptr) sink_->OnActivate(top_, active);
  Pump();
}

void Desktop::SetCaption(WindowId window, TextView text) {
  if (Win* win = Find(window)) {
    win->text = Text(text);
    if (win->topLevel) frameDirty_ = true;
  }
}

void Desktop::SetBounds(WindowId window, const Rect& outer) {
  Win* win = Find(window);
  if (win == nullptr) return;
  win->bounds = outer;
  if (win->topLevel) {
    frameDirty_ = true;
    return;
  }
  const Rect c = ClientScreenRect(*win);
  win->client.Reset(c.Width(), c.Height(), kFace);
  win->nativeDirty = true;
  if (win->kind == platform::NativeKind::Surface) dirty_.insert(window);
}

Rect Desktop::OuterScreenRect(const Win& win) const {
  if (win.topLevel) return win.bounds;
  const Win* parent = Find(win.parent);
  if (parent == nullptr) return win.bounds;
  const Rect origin = ClientScreenRect(*parent);
  return Offset(win.bounds, origin.left, origin.top);
}

Rect Desktop::ClientScreenRect(const Win& win) const {
  const Rect outer = OuterScreenRect(win);
  if (win.topLevel) return Inset(outer, frame_.left, frame_.top, frame_.right, frame_.bottom);
  const int b = win.border ? 1 : 0;
  Rect client = Inset(outer, b, b, b, b);
  if (client.right < client.left) client.right = client.left;
  if (client.bottom < client.top) client.bottom = client.top;
  return client;
}

Rect Desktop::WindowRect(WindowId window) const {
  const Win* win = Find(window);
  return win == nullptr ? Rect{} : OuterScreenRect(*win);
}

Rect Desktop::ClientRect(WindowId window) const {
  const Win* win = Find(window);
  return win == nullptr ? Rect{} : ClientScreenRect(*win);
}

bool Desktop::ShownOnScreen(const Win& win) const {
  for (const Win* w = &win; w != nullptr; w = w->topLevel ? nullptr : Find(w->parent)) {
    if (!w->visible) return false;
  }
  return true;
}

bool Desktop::Visible(WindowId window) const {
  const Win* win = Find(window);
  return win != nullptr && ShownOnScreen(*win);
}

void Desktop::Invalidate(WindowId surface) {
  if (Find(surface) != nullptr) dirty_.insert(surface);
}

void Desktop::Present(WindowId surface, const Image& client) {
  Win* win = Find(surface);
  if (win == nullptr) return;
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

void Desktop::DrawStretched(WindowId surface, const Image& picture, const Rect& client,
                            ui::StretchQuality quality) {
  Win* win = Find(surface);
  if (win == nullptr || !ShownOnScreen(*win)) return;
  if (dirty_.erase(surface) != 0) PaintOne(surface);
  // Straight onto what the window shows, as the system's stretch does.
  ui::StretchInto(picture, win->client, client, quality);
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

void Desktop::SetEditText(WindowId box, TextView text) {
  Win* win = Find(box);
  if (win == nullptr) return;
  win->text = Text(text);
  win->allSelected = false;
  win->nativeDirty = true;
  // The control reports every change of its text, a program's write included.
  if (sink_ != nullptr) sink_->OnEditChanged(box);
}

Text Desktop::EditText(WindowId box) const {
  const Win* win = Find(box);
  return win == nullptr ? Text() : win->text;
}

void Desktop::SetSliderPosition(WindowId slider, int position) {
  Win* win = Find(slider);
  if (win == nullptr) return;
  win->position = std::clamp(position, win->slider.minimum, win->slider.maximum);
  win->nativeDirty = true;
}

int Desktop::SliderPosition(WindowId slider) const {
  const Win* win = Find(slider);
  return win == nullptr ? 0 : win->position;
}

void Desktop::SetFocus(WindowId window) {
  if (Find(window) != nullptr) focus_ = window;
}

Pixel Desktop::FaceColour() const { return kFace; }

// ---- composing the screen ----------------------------------------------------

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
  frameImage_.Reset(w, h, kFace);
  const Pixel titleColour = active_ ? ui::RgbHex(0x0078D7) : ui::RgbHex(0xAAAAAA);
  const Pixel titleText = active_ ? ui::RgbHex(0xFFFFFF) : ui::RgbHex(0x303030);
  FrameRect(frameImage_, {0, 0, w, h}, kBorder);
  FillRect(frameImage_, {1, 1, w - 1, frame_.top - 1}, titleColour);
  const int textTop = std::max(1, (frame_.top - font_.LineHeight()) / 2);
  DrawText(frameImage_, font_, top->text, frame_.left + 6, textTop, titleText);
  // Minimise and close boxes at the right end of the title bar.
  const int boxSize = std::max(4, frame_.top - 8);
  const int closeLeft = w - frame_.right - boxSize - 4;
  const int minLeft = closeLeft - boxSize - 6;
  const int boxTop = (frame_.top - boxSize) / 2;
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
      const int textWidth = TextWidth(font_, win.text);
      int x = 1;
      if (win.edit.align == platform::TextAlign::Centre) x = (w - textWidth) / 2;
      if (win.edit.align == platform::TextAlign::Right) x = w - 1 - textWidth;
      const int y = (h - font_.LineHeight()) / 2;
      DrawText(img, font_, win.text, x, y, win.edit.textColour);
      return;
    }
    case platform::NativeKind::Slider: {
      img.Fill(kFace);
      const Rect thumb = SliderThumb(win);
      const int trackY = thumb.top + thumb.Height() / 2;
      FillRect(img, {8, trackY - 2, w - 8, trackY + 2}, ui::RgbHex(0xE7EAEA));
      FrameRect(img, {8, trackY - 2, w - 8, trackY + 2}, ui::RgbHex(0xD6D6D6));
      const int span = std::max(1, win.slider.maximum - win.slider.minimum);
      if (win.slider.tickFrequency > 0) {
        for (int v = win.slider.minimum; v <= win.slider.maximum; v += win.slider.tickFrequency) {
          const int tx = 13 + (w - 26) * (v - win.slider.minimum) / span;
          FillRect(img, {tx, thumb.top - 5, tx + 1, thumb.top - 2}, ui::RgbHex(0x000000));
        }
      }
      FillRect(img, thumb, ui::RgbHex(0x007AD9));
      return;
    }
    case platform::NativeKind::GroupFrame: {
      img.Fill(kFace);
      const int lineY = font_.LineHeight() / 2;
      FrameRect(img, {0, lineY, w, h}, ui::RgbHex(0xDCDCDC));
      if (!win.text.empty()) {
        FillRect(img, {7, 0, 9 + TextWidth(font_, win.text), font_.LineHeight()}, kFace);
        DrawText(img, font_, win.text, 8, 0, ui::RgbHex(0x000000));
      }
      return;
    }
  }
}

Pixel Desktop::WindowPixel(const Win& win, Point screen) const {
  const Rect outer = OuterScreenRect(win);
  if (win.topLevel) {
    if (frameDirty_) RenderFrame();
    const Rect client = ClientScreenRect(win);
    if (!client.Contains(screen.x, screen.y)) return frameImage_.At(screen.x - outer.left, screen.y - outer.top);
    return win.params.background == 0 ? kFace : win.params.background;
  }
  const Rect client = ClientScreenRect(win);
  if (!client.Contains(screen.x, screen.y)) return kBorder;
  RenderNative(win);
  const int x = screen.x - client.left;
  const int y = screen.y - client.top;
  if (x >= win.client.Width() || y >= win.client.Height()) return kFace;
  return win.client.At(x, y);
}

Pixel Desktop::ComposeAt(Point screen) const {
  const Display* d = DisplayAt(screen);
  if (d == nullptr) return kInvalid;
  const WindowId hit = HitTest(screen);
  const Pixel p = hit == 0 ? DesktopPixel(screen) : WindowPixel(*Find(hit), screen);
  return Quantise(p, d->bitsPerPixel);
}

colour::ColourValue Desktop::PixelAt(Point screen) const {
  for (const Rect& r : unreadable_) {
    if (r.Contains(screen.x, screen.y)) return static_cast<colour::ColourValue>(kInvalid);
  }
  FlushPaint({screen.x, screen.y, screen.x + 1, screen.y + 1});
  return static_cast<colour::ColourValue>(ComposeAt(screen));
}

void Desktop::Snapshot(const Rect& screen, Image& out, Pixel outside) const {
  out.Reset(screen.Width(), screen.Height(), outside);
  FlushPaint(screen);
  const Win* top = Find(top_);
  const bool overWindow = top != nullptr && top->visible &&
                          !(screen.right <= top->bounds.left || screen.left >= top->bounds.right ||
                            screen.bottom <= top->bounds.top || screen.top >= top->bounds.bottom);
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

Image Desktop::Render(const Rect& screen) {
  Image out;
  Snapshot(screen, out, ui::RgbHex(0x000000));
  return out;
}

int Desktop::BitsPerPixel() const { return displays_.empty() ? 32 : displays_.front().bitsPerPixel; }

Rect Desktop::PrimaryDisplay() const { return displays_.empty() ? Rect{} : displays_.front().bounds; }

// ---- pointer, capture and cursors --------------------------------------------

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
  const WindowId old = capture_;
  capture_ = 0;
  if (old != 0 && old != ForeignWindow && sink_ != nullptr) sink_->OnCaptureLost(old);
}

platform::CursorId Desktop::CreateCursor(const ui::CursorImage& image) {
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

const ui::CursorImage* Desktop::PointerCursor() const {
  const WindowId over = capture_ != 0 ? capture_ : HitTest(pointer_);
  const Win* win = Find(over);
  if (win == nullptr || win->cursor == 0) return nullptr;
  const auto it = cursors_.find(win->cursor);
  return it == cursors_.end() ? nullptr : &it->second;
}

// ---- messages ----------------------------------------------------------------

void Desktop::Post(Message message) { queue_.push_back(message); }

void Desktop::PostMouse(platform::MouseAction action) {
  WindowId target = capture_ != 0 ? capture_ : HitTest(pointer_);
  if (target == 0 || target == ForeignWindow) return;
  const Win* win = Find(target);
  if (win == nullptr) return;
  const Rect client = ClientScreenRect(*win);
  // A window's title bar and borders get the system's non-client messages,
  // which the program never sees.
  if (capture_ == 0 && !client.Contains(pointer_.x, pointer_.y)) return;
  Message m;
  m.type = Message::Type::Mouse;
  m.mouse.target = target;
  m.mouse.action = action;
  m.mouse.client = {pointer_.x - client.left, pointer_.y - client.top};
  m.mouse.keys = modifiers_;
  Post(m);
}

void Desktop::SetBusy(bool busy) {
  busy_ = busy;
  if (!busy_) Pump();
}

void Desktop::Pump() {
  // Messages wait while the program is busy, unless it asks for them itself.
  if (busy_ && pumpDepth_ == 0) return;
  ++pumpDepth_;
  while (!queue_.empty()) {
    const Message m = queue_.front();
    queue_.pop_front();
    Dispatch(m);
  }
  --pumpDepth_;
}

void Desktop::Run() {
  // The simulated loop runs only as far as the messages already waiting.
  if (!quit_) Pump();
}

void Desktop::ProcessPending() {
  const bool busy = busy_;
  busy_ = false;
  Pump();
  busy_ = busy;
}

void Desktop::PostCommand(WindowId owner, int command) {
  Message m;
  m.type = Message::Type::Command;
  m.owner = owner;
  m.value = command;
  Post(m);
}

void Desktop::Dispatch(const Message& message) {
  if (sink_ == nullptr) return;
  switch (message.type) {
    case Message::Type::Mouse:
      if (Find(message.mouse.target) == nullptr) return;
      if (sink_->OnMouse(message.mouse)) NativeMouse(message.mouse);
      return;
    case Message::Type::HotKey:
      sink_->OnHotKey(message.owner, message.value);
      return;
    case Message::Type::Command:
      sink_->OnCommand(message.owner, message.value);
      return;
  }
}

Rect Desktop::SliderThumb(const Win& slider) const {
  const int w = slider.client.Width();
  const int h = slider.client.Height();
  const int span = std::max(1, slider.slider.maximum - slider.slider.minimum);
  const int centre = 13 + (w - 26) * (slider.position - slider.slider.minimum) / span;
  const int top = std::max(0, h / 2 - 6);
  return {centre - 5, top, centre + 6, std::min(h, top + 18)};
}

int Desktop::SliderPositionAt(const Win& slider, int clientX) const {
  const int w = slider.client.Width();
  const int span = slider.slider.maximum - slider.slider.minimum;
  const int usable = std::max(1, w - 26);
  const int offset = std::clamp(clientX - 13, 0, usable);
  return slider.slider.minimum + (offset * span + usable / 2) / usable;
}

void Desktop::Notify(WindowId slider, platform::ScrollCode code) {
  if (sink_ != nullptr) sink_->OnSliderScroll(slider, code);
}

void Desktop::NativeMouse(const platform::MouseMessage& message) {
  Win* win = Find(message.target);
  if (win == nullptr) return;
  using platform::MouseAction;
  if (message.action == MouseAction::LeftDown && win->tabStop) focus_ = win->id;
  if (win->kind != platform::NativeKind::Slider) return;
  if (message.action == MouseAction::LeftDown) {
    const bool onThumb = SliderThumb(*win).Contains(message.client.x, message.client.y);
    sliderDrag_ = SliderDrag{win->id, onThumb};
    if (!onThumb) {
      const bool up = message.client.x > SliderThumb(*win).left;
      win->position = std::clamp(win->position + (up ? win->slider.pageStep : -win->slider.pageStep),
                                 win->slider.minimum, win->slider.maximum);
      win->nativeDirty = true;
      Notify(win->id, up ? platform::ScrollCode::PageDown : platform::ScrollCode::PageUp);
    }
  } else if (message.action == MouseAction::Move && sliderDrag_ && sliderDrag_->slider == win->id &&
             sliderDrag_->onThumb) {
    const int position = sliderDrag_->target.value_or(SliderPositionAt(*win, message.client.x));
    if (position != win->position) {
      win->position = position;
      win->nativeDirty = true;
      Notify(win->id, platform::ScrollCode::ThumbTrack);
    }
  } else if (message.action == MouseAction::LeftUp && sliderDrag_ && sliderDrag_->slider == win->id) {
    if (sliderDrag_->onThumb) Notify(win->id, platform::ScrollCode::ThumbPosition);
    Notify(win->id, platform::ScrollCode::EndScroll);
    sliderDrag_.reset();
    if (capture_ == win->id) capture_ = 0;
  }
}

// ---- the user's actions --------------------------------------------------------

void Desktop::MovePointer(Point screen) {
  pointer_ = screen;
  PostMouse(platform::MouseAction::Move);
  Pump();
}

void Desktop::Press(Button button) {
  if (button == Button::Left) {
    leftDown_ = true;
    PostMouse(platform::MouseAction::LeftDown);
    // A track bar holds the mouse while its thumb is dragged.
    const WindowId target = capture_ != 0 ? capture_ : HitTest(pointer_);
    if (const Win* win = Find(target); win != nullptr && win->kind == platform::NativeKind::Slider &&
                                       capture_ == 0) {
      Pump();
      if (sliderDrag_ && sliderDrag_->slider == target) capture_ = target;
      return;
    }
  } else {
    rightDown_ = true;
    PostMouse(platform::MouseAction::RightDown);
  }
  Pump();
}

void Desktop::Release(Button button) {
  if (capture_ == ForeignWindow) {
    // The other program's drag ends; the release is its own.
    capture_ = 0;
    (button == Button::Left ? leftDown_ : rightDown_) = false;
    Pump();
    return;
  }
  if (button == Button::Left) {
    leftDown_ = false;
    PostMouse(platform::MouseAction::LeftUp);
  } else {
    rightDown_ = false;
    PostMouse(platform::MouseAction::RightUp);
  }
  Pump();
}

void Desktop::PressAndRelease(Button button) {
  const bool left = button == Button::Left;
  // Both have happened before the program sees either: the button is up.
  (left ? leftDown_ : rightDown_) = false;
  PostMouse(left ? platform::MouseAction::LeftDown : platform::MouseAction::RightDown);
  PostMouse(left ? platform::MouseAction::LeftUp : platform::MouseAction::RightUp);
  Pump();
}

void Desktop::KeyDown(int virtualKey) {
  const auto hot = hotKeys_.find({modifiers_, virtualKey});
  if (hot != hotKeys_.end()) {
    // A registered hot key goes to its owner only, whatever has the focus.
    if (hot->second.owner != 0) {
      Message m;
      m.type = Message::Type::HotKey;
      m.owner = hot->second.owner;
      m.value = hot->second.id;
      Post(m);
    }
    Pump();
    return;
  }
  Win* focus = Find(focus_);
  if (focus != nullptr && focus->kind == platform::NativeKind::Slider) {
    const int line = focus->slider.lineStep;
    const int page = focus->slider.pageStep;
    std::optional<std::pair<int, platform::ScrollCode>> step;
    switch (virtualKey) {
      case platform::KeyLeft: step = {{focus->position - line, platform::ScrollCode::LineUp}}; break;
      case platform::KeyUp: step = {{focus->position - line, platform::ScrollCode::LineUp}}; break;
      case platform::KeyRight: step = {{focus->position + line, platform::ScrollCode::LineDown}}; break;
      case platform::KeyDown: step = {{focus->position + line, platform::ScrollCode::LineDown}}; break;
      case kPageUp: step = {{focus->position - page, platform::ScrollCode::PageUp}}; break;
      case kPageDown: step = {{focus->position + page, platform::ScrollCode::PageDown}}; break;
      case kHome: step = {{focus->slider.minimum, platform::ScrollCode::Top}}; break;
      case kEnd: step = {{focus->slider.maximum, platform::ScrollCode::Bottom}}; break;
      default: break;
    }
    if (step) {
      focus->position = std::clamp(step->first, focus->slider.minimum, focus->slider.maximum);
      focus->nativeDirty = true;
      Notify(focus->id, step->second);
      Notify(focus->id, platform::ScrollCode::EndScroll);
      Pump();
      return;
    }
  }
  if (focus != nullptr && focus->kind == platform::NativeKind::EditBox && virtualKey == kBackspace) {
    Backspace();
    return;
  }
  if (sink_ != nullptr) sink_->OnKeyDown(focus_, virtualKey);
  Pump();
}

void Desktop::EditReplaceSelection(Win& box, TextView text, bool typed) {
  Text next = box.allSelected ? Text() : box.text;
  TextView insert = text;
  if (box.edit.maxLength > 0) {
    const std::size_t room = next.size() >= static_cast<std::size_t>(box.edit.maxLength)
                                 ? 0
                                 : static_cast<std::size_t>(box.edit.maxLength) - next.size();
    if (typed && insert.size() > room) return;  // the keystroke is refused
    insert = FitBytes(insert, room);
  }
  if (insert.empty() && !box.allSelected) return;
  next.append(insert);
  box.allSelected = false;
  box.text = std::move(next);
  box.nativeDirty = true;
  if (sink_ != nullptr) sink_->OnEditChanged(box.id);
}

void Desktop::Type(TextView text) {
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t length = GbkCharLength(text, at);
    const TextView ch = text.substr(at, length);
    at += length;
    Win* box = Find(focus_);
    if (box == nullptr || box->kind != platform::NativeKind::EditBox || box->edit.readOnly) continue;
    const std::uint32_t code = length == 2 ? (static_cast<unsigned char>(ch[0]) << 8) | static_cast<unsigned char>(ch[1])
                                           : static_cast<unsigned char>(ch[0]);
    if (code >= 32 && sink_ != nullptr && !sink_->AcceptTypedChar(box->id, code)) continue;
    EditReplaceSelection(*box, ch, true);
    Pump();
  }
}

void Desktop::Backspace() {
  Win* box = Find(focus_);
  if (box == nullptr || box->kind != platform::NativeKind::EditBox || box->edit.readOnly) return;
  if (box->allSelected) {
    box->text.clear();
    box->allSelected = false;
  } else if (box->text.empty()) {
    return;
  } else {
    PopChar(box->text);
  }
  box->nativeDirty = true;
  if (sink_ != nullptr) sink_->OnEditChanged(box->id);
  Pump();
}

void Desktop::SelectAll() {
  if (Win* box = Find(focus_); box != nullptr && box->kind == platform::NativeKind::EditBox) box->allSelected = true;
}

void Desktop::Paste() {
  Win* box = Find(focus_);
  if (box == nullptr || box->kind != platform::NativeKind::EditBox || box->edit.readOnly || !clipboardText_) return;
  // Pasted text is not filtered; only the length limit applies.
  EditReplaceSelection(*box, *clipboardText_, false);
  Pump();
}

void Desktop::FocusWindow(WindowId window) {
  Win* win = Find(window);
  if (win == nullptr) return;
  focus_ = window;
  // Moving the focus into an edit box with the keyboard selects its text.
  if (win->kind == platform::NativeKind::EditBox) win->allSelected = true;
}

void Desktop::CloseWindow(WindowId top) {
  if (sink_ != nullptr && Find(top) != nullptr) sink_->OnCloseRequested(top);
  Pump();
}

void Desktop::DragSliderThumb(WindowId slider, const std::vector<int>& positions) {
  Win* win = Find(slider);
  if (win == nullptr) return;
  const Rect client = ClientScreenRect(*win);
  const Rect thumb = SliderThumb(*win);
  MovePointer({client.left + (thumb.left + thumb.right) / 2, client.top + (thumb.top + thumb.bottom) / 2});
  Press(Button::Left);
  const int span = std::max(1, win->slider.maximum - win->slider.minimum);
  for (int position : positions) {
    const int clamped = std::clamp(position, win->slider.minimum, win->slider.maximum);
    if (sliderDrag_ && sliderDrag_->slider == slider) sliderDrag_->target = clamped;
    const int x = 13 + (win->client.Width() - 26) * (clamped - win->slider.minimum) / span;
    MovePointer({client.left + x, pointer_.y});
  }
  Release(Button::Left);
}

void Desktop::ClickSliderChannel(WindowId slider, bool towardMaximum) {
  Win* win = Find(slider);
  if (win == nullptr) return;
  const Rect client = ClientScreenRect(*win);
  const Rect thumb = SliderThumb(*win);
  const int x = towardMaximum ? std::min(client.Width() - 2, thumb.right + 4) : std::max(1, thumb.left - 4);
  MovePointer({client.left + x, client.top + (thumb.top + thumb.bottom) / 2});
  Press(Button::Left);
  Release(Button::Left);
}

// ---- hot keys ------------------------------------------------------------------

bool Desktop::Register(WindowId owner, int id, int modifiers, int virtualKey) {
  const auto key = std::make_pair(modifiers, virtualKey);
  if (hotKeys_.count(key) != 0) return false;
  hotKeys_.emplace(key, HotKeyEntry{owner, id});
  return true;
}

bool Desktop::Unregister(WindowId owner, int id) {
  for (auto it = hotKeys_.begin(); it != hotKeys_.end(); ++it) {
    if (it->second.owner == owner && it->second.id == id && owner != 0) {
      hotKeys_.erase(it);
      return true;
    }
  }
  return false;
}

bool Desktop::IsHotKeyRegistered(int modifiers, int virtualKey) const {
  return hotKeys_.count({modifiers, virtualKey}) != 0;
}

int Desktop::OwnHotKeyCount() const {
  int count = 0;
  for (const auto& [key, entry] : hotKeys_) count += entry.owner != 0 ? 1 : 0;
  return count;
}

// ---- clipboard -------------------------------------------------------------------

std::optional<platform::Clipboard::Block> Desktop::Allocate(std::size_t size) {
  if (allocationFails_) return std::nullopt;
  return Block{std::vector<std::uint8_t>(size, 0)};
}

bool Desktop::Open() {
  if (clipboardHeld_ || clipboardOpen_) return false;
  clipboardOpen_ = true;
  return true;
}

void Desktop::Empty() {
  if (clipboardOpen_) clipboardText_.reset();
}

void Desktop::SetText(Block block) {
  if (!clipboardOpen_) return;
  const auto end = std::find(block.bytes.begin(), block.bytes.end(), std::uint8_t{0});
  clipboardText_ = Text(block.bytes.begin(), end);
}

void Desktop::Close() { clipboardOpen_ = false; }

// ---- modal choices ---------------------------------------------------------------

std::optional<int> Desktop::TrackPopupMenu(WindowId owner, std::span<const Text> items, Point at) {
  MenuShown shown;
  // The system keeps a menu on the screen.
  shown.at = at;
  shown.items.assign(items.begin(), items.end());
  if (!menuAnswers_.empty()) {
    shown.chosen = menuAnswers_.front().index;
    menuAnswers_.pop_front();
  }
  if (shown.chosen && (*shown.chosen < 0 || static_cast<std::size_t>(*shown.chosen) >= items.size())) {
    shown.chosen.reset();
  }
  menusShown_.push_back(shown);
  return shown.chosen;
}

platform::Dialogs::PopupResult Desktop::ColourPopup(WindowId owner, const Rect& anchor,
                                                    std::span<const Swatch> swatches, TextView otherEntry) {
  popupsShown_.push_back({anchor, std::vector<Swatch>(swatches.begin(), swatches.end()), Text(otherEntry)});
  if (popupAnswers_.empty()) return {};
  const PopupResult answer = popupAnswers_.front();
  popupAnswers_.pop_front();
  return answer;
}

std::optional<colour::ColourValue> Desktop::ChooseColour(WindowId owner, colour::ColourValue initial) {
  dialogsShown_.push_back(initial);
  if (dialogAnswers_.empty()) return std::nullopt;
  const auto answer = dialogAnswers_.front();
  dialogAnswers_.pop_front();
  return answer;
}

}  // namespace tinctora::headless
