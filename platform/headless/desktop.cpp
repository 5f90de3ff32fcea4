#include "platform/headless/desktop_internal.h"

#include <cmath>

namespace tinctora::headless {

using namespace internal;

Desktop::Desktop() {
  colours_ = kUsualColours;
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
  p.popups = this;
  p.screen = this;
  p.hotKeys = &hotKeys_;
  p.clipboard = &clipboard_;
  p.dialogs = this;
  p.loop = this;
  return p;
}

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

void Desktop::StealCapture() {
  const WindowId old = capture_;
  capture_ = ForeignWindow;
  // A track bar whose thumb was being dragged lets go of it.
  if (sliderDrag_ && sliderDrag_->slider == old) EndSliderDrag();
  if (old != 0 && old != ForeignWindow && sink_ != nullptr) sink_->OnCaptureLost(old);
  Pump();
}

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
  // Made on the primary display, at its scale, its frame the system's.
  scale_ = displays_.empty() ? 1.0 : displays_.front().scale;
  const FrameMetrics frame = ScaledFrame();
  win->bounds = {0, 0, params.clientWidth + frame.left + frame.right, params.clientHeight + frame.top + frame.bottom};
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
  made.client.Reset(c.Width(), c.Height(), colours_.face);
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
  hotKeys_.DropOwner(id);
  if (Win* parent = Find(win->parent)) {
    std::erase(parent->children, id);
  }
  windows_.erase(id);
}

void Desktop::SetVisible(WindowId window, bool visible) {
  if (Win* win = Find(window)) win->visible = visible;
}

void Desktop::Show(WindowId top) {
  Win* win = Find(top);
  if (win == nullptr) return;
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
  if (win->topLevel) {
    // A top-level window moves; its size is its client area's and frame's.
    win->bounds = {outer.left, outer.top, outer.left + win->bounds.Width(), outer.top + win->bounds.Height()};
    frameDirty_ = true;
    FollowDisplayScale();
    return;
  }
  win->bounds = outer;
  const Rect c = ClientScreenRect(*win);
  win->direct = nullptr;
  win->client.Reset(c.Width(), c.Height(), colours_.face);
  win->nativeDirty = true;
  if (win->kind == platform::NativeKind::Surface) dirty_.insert(window);
}

Rect Desktop::OuterScreenRect(const Win& win) const {
  if (win.topLevel || win.popup) return win.bounds;
  const Win* parent = Find(win.parent);
  if (parent == nullptr) return win.bounds;
  const Rect origin = ClientScreenRect(*parent);
  return Offset(win.bounds, origin.left, origin.top);
}

Rect Desktop::ClientScreenRect(const Win& win) const {
  const Rect outer = OuterScreenRect(win);
  if (win.topLevel) {
    const FrameMetrics frame = ScaledFrame();
    return Inset(outer, frame.left, frame.top, frame.right, frame.bottom);
  }
  if (win.popup) return outer;
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
  for (const Win* w = &win; w != nullptr; w = w->topLevel || w->popup ? nullptr : Find(w->parent)) {
    if (!w->visible) return false;
  }
  return true;
}

bool Desktop::Visible(WindowId window) const {
  const Win* win = Find(window);
  return win != nullptr && ShownOnScreen(*win);
}

void Desktop::SetFocus(WindowId window) {
  if (Find(window) != nullptr) focus_ = window;
}

Pixel Desktop::FaceColour() const { return colours_.face; }

void Desktop::SetHighContrast(bool on) {
  const platform::SystemColours colours = on ? kHighContrastColours : kUsualColours;
  if (colours == colours_) return;
  colours_ = colours;
  // The system's own drawing follows at once; what the program paints is
  // its own business, told by a message.
  for (const auto& [id, win] : windows_) win->nativeDirty = true;
  frameDirty_ = true;
  if (top_ == 0) return;
  Message m;
  m.type = Message::Type::Colours;
  Post(m);
  Pump();
}

Rect Desktop::PrimaryDisplay() const { return displays_.empty() ? Rect{} : displays_.front().bounds; }

std::vector<platform::Display> Desktop::Displays() const {
  std::vector<platform::Display> out;
  out.reserve(displays_.size());
  for (const Display& d : displays_) {
    const Rect work{d.bounds.left, d.bounds.top, d.bounds.right,
                    std::max(d.bounds.top, d.bounds.bottom - std::max(0, d.panel))};
    out.push_back({d.bounds, work, d.scale});
  }
  return out;
}

int Desktop::Px(int length) const { return static_cast<int>(std::floor(length * scale_ + 0.5)); }

FrameMetrics Desktop::ScaledFrame() const {
  return {Px(frame_.left), Px(frame_.top), Px(frame_.right), Px(frame_.bottom)};
}

const gfx::Font& Desktop::DefaultGuiFont(double scale) const {
  std::unique_ptr<BuiltinFont>& font = fonts_[scale];
  if (!font) font = std::make_unique<BuiltinFont>(scale);
  return *font;
}

int Desktop::CursorSize(double scale) const { return static_cast<int>(std::floor(32 * scale + 0.5)); }

void Desktop::SetClientSize(WindowId top, int width, int height) {
  Win* win = Find(top);
  if (win == nullptr || !win->topLevel) return;
  const FrameMetrics frame = ScaledFrame();
  win->bounds.right = win->bounds.left + std::max(0, width) + frame.left + frame.right;
  win->bounds.bottom = win->bounds.top + std::max(0, height) + frame.top + frame.bottom;
  frameDirty_ = true;
}

void Desktop::FollowDisplayScale() {
  Win* win = Find(top_);
  if (win == nullptr) return;
  // The display the window lies most on; none, the primary.
  double scale = displays_.empty() ? 1.0 : displays_.front().scale;
  long long most = 0;
  for (const Display& d : displays_) {
    const long long w = std::min(d.bounds.right, win->bounds.right) - std::max(d.bounds.left, win->bounds.left);
    const long long h = std::min(d.bounds.bottom, win->bounds.bottom) - std::max(d.bounds.top, win->bounds.top);
    if (w > 0 && h > 0 && w * h > most) {
      most = w * h;
      scale = d.scale;
    }
  }
  if (scale == scale_) return;
  // As the system does: the frame keeps its top-left corner and the client
  // area grows with the scale until the program sizes it exactly.
  const Rect client = ClientScreenRect(*win);
  const double ratio = scale / scale_;
  scale_ = scale;
  SetClientSize(top_, static_cast<int>(client.Width() * ratio), static_cast<int>(client.Height() * ratio));
  for (auto& [id, child] : windows_) child->nativeDirty = true;
  if (sink_ != nullptr) sink_->OnScaleChanged(top_);
}

void Desktop::DragWindowTo(Point screen) {
  Win* win = Find(top_);
  if (win == nullptr) return;
  win->bounds = {screen.x, screen.y, screen.x + win->bounds.Width(), screen.y + win->bounds.Height()};
  frameDirty_ = true;
  FollowDisplayScale();
  Pump();
}

}  // namespace tinctora::headless
