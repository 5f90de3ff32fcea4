// Where the program's windows lie and how the custom-drawn ones reach the
// screen, at any scale.
//
// The program hands over device pixels: every edge at its layout place
// rounded at the window's scale, a plain border one device pixel wide. Qt
// places widgets in logical units (device pixels over the scale), which
// cannot say "one device pixel" or an edge at 17.5 units. So the backend
// keeps each child's device rectangle itself and answers every question
// about places from it (ClientRect, mouse positions, VisiblePixel), gives
// the widgets the nearest logical rectangle (for Qt's focus, cursors,
// stacking and the native controls' own painting), and paints the
// custom-drawn windows and the borders itself: each top level composes
// them in its paint event with the painter's scale undone, so that a
// presented image lands 1:1 on exactly the device pixels the program
// gave it, whatever Qt's rounding of the logical rectangles. Their widgets
// are transparent. The system's controls (edit boxes, sliders, group
// boxes) paint themselves over the composed ones, at their logical
// rectangles, which lie within a device pixel of the program's.

#include <QGuiApplication>
#include <QPaintEvent>
#include <QPainter>
#include <QScreen>

#include <algorithm>
#include <cmath>
#include <functional>
#include <vector>

#include "platform/qt/qt_services.h"
#include "platform/qt/qt_widgets.h"

namespace tinctora::qtb {

namespace {

// The plain one-pixel frame a bordered control has outside its client area.
constexpr QRgb kBorderColour = qRgb(0x64, 0x64, 0x64);

// A device edge as the logical place nearest it. Edges the program places
// at whole layout units come back to exactly those units.
int LogicalEdge(int device, double scale) { return static_cast<int>(std::floor(device / scale + 0.5)); }

Rect Offset(const Rect& r, int dx, int dy) { return {r.left + dx, r.top + dy, r.right + dx, r.bottom + dy}; }

Rect Intersect(const Rect& a, const Rect& b) {
  return {std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right), std::min(a.bottom, b.bottom)};
}

// The logical rectangle of a top level that covers a device rectangle of
// its client area, with a unit to spare on every side: Qt rounds repaint
// regions to device pixels its own way.
QRect LogicalCover(const Rect& device, double scale) {
  const int left = static_cast<int>(std::floor(device.left / scale)) - 1;
  const int top = static_cast<int>(std::floor(device.top / scale)) - 1;
  const int right = static_cast<int>(std::ceil(device.right / scale)) + 1;
  const int bottom = static_cast<int>(std::ceil(device.bottom / scale)) + 1;
  return QRect(QPoint(left, top), QPoint(right - 1, bottom - 1));
}

// The screen holding a logical point, the primary one when none does.
QScreen* ScreenAtLogical(const QPointF& logical) {
  if (QScreen* screen = QGuiApplication::screenAt(logical.toPoint())) return screen;
  return QGuiApplication::primaryScreen();
}

// A screen's rectangle in physical pixels: Qt keeps a screen's top-left
// corner the same in logical and physical coordinates.
QRect PhysicalGeometry(const QScreen* screen) {
  const QRect logical = screen->geometry();
  const double dpr = screen->devicePixelRatio();
  return QRect(logical.topLeft(), QSize(static_cast<int>(std::floor(logical.width() * dpr + 0.5)),
                                        static_cast<int>(std::floor(logical.height() * dpr + 0.5))));
}

bool IsComposed(const NativeWindow& window) { return dynamic_cast<SurfaceWidget*>(window.inner) != nullptr; }

// The program's windows among a widget's children, in Qt's stacking order
// (bottom first), with the widgets that are no window of the program but
// may hold some (none today) left out.
template <class Visit>
void ForEachChildWindow(const Registry& registry, const QWidget* parent, Visit&& visit) {
  for (QObject* object : parent->children()) {
    auto* widget = qobject_cast<QWidget*>(object);
    if (widget == nullptr || widget->isWindow()) continue;
    NativeWindow* window = registry.Owning(widget);
    if (window == nullptr || window->outer != widget) continue;
    visit(*window);
  }
}

}  // namespace

double ScaleOf(const QWidget* widget) {
  const double scale = widget->window()->devicePixelRatioF();
  return scale > 0 ? scale : 1.0;
}

NativeWindow* TopOf(const Registry& registry, const NativeWindow& window) {
  const NativeWindow* at = &window;
  while (!at->topLevel && !at->popup) {
    const NativeWindow* parent = registry.Find(at->parent);
    if (parent == nullptr) break;
    at = parent;
  }
  return const_cast<NativeWindow*>(at);
}

Rect AbsoluteOuter(const Registry& registry, const NativeWindow& window) {
  if (window.topLevel || window.popup) {
    const NativeWindow& top = *TopOf(registry, window);
    const Placement& placed = PlacementOf(registry, const_cast<NativeWindow&>(top));
    return {0, 0, placed.width, placed.height};
  }
  const NativeWindow* parent = registry.Find(window.parent);
  if (parent == nullptr) return window.device;
  const Rect client = AbsoluteClient(registry, *parent);
  return Offset(window.device, client.left, client.top);
}

Rect AbsoluteClient(const Registry& registry, const NativeWindow& window) {
  const Rect outer = AbsoluteOuter(registry, window);
  if (!window.border) return outer;
  return {outer.left + 1, outer.top + 1, std::max(outer.left + 1, outer.right - 1),
          std::max(outer.top + 1, outer.bottom - 1)};
}

const Placement& PlacementOf(const Registry& registry, NativeWindow& top) {
  Placement& placed = top.placed;
  if (placed.known) return placed;
  if (top.popup) {
    // Exactly where the program put it (CreatePopup holds the server to it).
    placed = {true, {top.device.left, top.device.top}, top.device.Width(), top.device.Height(), {}};
    return placed;
  }
  const QWidget* widget = top.outer;
  const auto window = static_cast<xcb_window_t>(widget->internalWinId());
  xcb_connection_t* c = registry.connection;
  if (window == 0 || c == nullptr) {
    // No native window yet: Qt's logical geometry, scaled.
    const double s = ScaleOf(widget);
    const QRect g = widget->geometry();
    return placed = {false,
                     {static_cast<int>(std::floor(g.x() * s + 0.5)), static_cast<int>(std::floor(g.y() * s + 0.5))},
                     static_cast<int>(std::floor(g.width() * s + 0.5)),
                     static_cast<int>(std::floor(g.height() * s + 0.5)),
                     top.announcedFrame};
  }
  const xcb_atom_t extents = InternAtom(c, "_NET_FRAME_EXTENTS");
  const auto where = xcb_translate_coordinates(c, window, registry.root, 0, 0);
  const auto size = xcb_get_geometry(c, window);
  const auto frame = xcb_get_property(c, 0, window, extents, XCB_ATOM_CARDINAL, 0, 4);
  const Reply<xcb_translate_coordinates_reply_t> whereReply(xcb_translate_coordinates_reply(c, where, nullptr));
  const Reply<xcb_get_geometry_reply_t> sizeReply(xcb_get_geometry_reply(c, size, nullptr));
  const Reply<xcb_get_property_reply_t> frameReply(xcb_get_property_reply(c, frame, nullptr));
  if (!whereReply || !sizeReply) {
    placed.known = false;
    return placed;
  }
  placed.origin = {whereReply->dst_x, whereReply->dst_y};
  placed.width = sizeReply->width;
  placed.height = sizeReply->height;
  placed.frame = top.announcedFrame;
  if (top.shownOnce) {
    placed.frame = {};
    if (frameReply && frameReply->format == 32 && xcb_get_property_value_length(frameReply.get()) == 16) {
      const auto* v = static_cast<const std::uint32_t*>(xcb_get_property_value(frameReply.get()));
      placed.frame = QMargins(static_cast<int>(v[0]), static_cast<int>(v[2]), static_cast<int>(v[1]),
                              static_cast<int>(v[3]));
    }
  }
  placed.known = true;
  return placed;
}

void ForgetPlacements(const Registry& registry) {
  for (NativeWindow* window : registry.All()) window->placed.known = false;
}

Rect ScreenClient(const Registry& registry, const NativeWindow& window) {
  NativeWindow& top = *TopOf(registry, window);
  const Point origin = PlacementOf(registry, top).origin;
  return Offset(AbsoluteClient(registry, window), origin.x, origin.y);
}

Point PhysicalPoint(const QPointF& logical) {
  const QScreen* screen = ScreenAtLogical(logical);
  const QPointF origin = screen->geometry().topLeft();
  const double dpr = screen->devicePixelRatio();
  return {static_cast<int>(origin.x() + std::floor((logical.x() - origin.x()) * dpr + 0.5)),
          static_cast<int>(origin.y() + std::floor((logical.y() - origin.y()) * dpr + 0.5))};
}

QPoint LogicalPoint(Point physical) {
  const QScreen* screen = QGuiApplication::primaryScreen();
  for (QScreen* candidate : QGuiApplication::screens()) {
    if (PhysicalGeometry(candidate).contains(physical.x, physical.y)) {
      screen = candidate;
      break;
    }
  }
  if (screen == nullptr) return {physical.x, physical.y};
  const QPoint origin = screen->geometry().topLeft();
  const double dpr = screen->devicePixelRatio();
  return {origin.x() + LogicalEdge(physical.x - origin.x(), dpr), origin.y() + LogicalEdge(physical.y - origin.y(), dpr)};
}

void PlaceChild(const Registry& registry, NativeWindow& window) {
  if (window.topLevel || window.popup) return;
  const NativeWindow* top = TopOf(registry, window);
  const double s = ScaleOf(top->outer);
  const auto logical = [s](const Rect& r) {
    const int left = LogicalEdge(r.left, s);
    const int top = LogicalEdge(r.top, s);
    return QRect(left, top, std::max(0, LogicalEdge(r.right, s) - left), std::max(0, LogicalEdge(r.bottom, s) - top));
  };
  // Logical places are taken from the top level's origin, as the device
  // ones are, so that rounding never adds up down the tree.
  const Rect outer = AbsoluteOuter(registry, window);
  QWidget* parent = window.outer->parentWidget();
  const QPoint parentOrigin = parent != nullptr ? parent->mapTo(top->outer, QPoint(0, 0)) : QPoint(0, 0);
  const QRect outerLogical = logical(outer);
  window.outer->setGeometry(outerLogical.translated(-parentOrigin));
  if (window.border) {
    const Rect client = AbsoluteClient(registry, window);
    QRect inner = logical(client);
    if (!IsComposed(window)) {
      // A control of the system's paints its logical rectangle, which must
      // not reach over the one-pixel border: its edges are rounded inward,
      // and the composition fills the pixel it may leave with its ground.
      const int left = static_cast<int>(std::ceil(client.left / s));
      const int top = static_cast<int>(std::ceil(client.top / s));
      inner = QRect(left, top, std::max(0, static_cast<int>(std::floor(client.right / s)) - left),
                    std::max(0, static_cast<int>(std::floor(client.bottom / s)) - top));
    }
    window.inner->setGeometry(inner.translated(-outerLogical.topLeft()));
  }
  for (NativeWindow* child : registry.All()) {
    if (child->parent == window.id && !child->popup) PlaceChild(registry, *child);
  }
}

namespace {

// The part of the top level to paint again for a window, or a part of its
// client area, in logical units covering every device pixel of it.
std::optional<QRect> PaintArea(const Registry& registry, const NativeWindow& window, const std::optional<Rect>& part) {
  const NativeWindow* top = TopOf(registry, window);
  Rect area = AbsoluteOuter(registry, window);
  if (part) {
    const Rect client = AbsoluteClient(registry, window);
    area = Intersect(Offset(*part, client.left, client.top), client);
  }
  if (area.Empty()) return std::nullopt;
  return LogicalCover(area, ScaleOf(top->outer));
}

}  // namespace

void RequestPaint(const Registry& registry, const NativeWindow& window, const std::optional<Rect>& part) {
  if (const std::optional<QRect> area = PaintArea(registry, window, part)) TopOf(registry, window)->outer->update(*area);
}

void PaintNow(const Registry& registry, const NativeWindow& window, const std::optional<Rect>& part) {
  if (const std::optional<QRect> area = PaintArea(registry, window, part)) TopOf(registry, window)->outer->repaint(*area);
}

namespace {

// Paints the custom-drawn windows (and borders) of `from`'s subtree onto a
// widget, `from` itself too when asked. A system's control that holds the
// program's windows (a group box) paints over what lies under it: what it
// holds is painted by its own layer (ComposeLayer) above it, so the
// descent stops there.
void ComposeOn(const Registry& registry, QWidget* paintedOn, NativeWindow& from, bool withFrom, const QRegion& region) {
  NativeWindow* top = TopOf(registry, from);
  const double s = ScaleOf(top->outer);
  // Where the widget's origin lies in device pixels of the top level's
  // client area: Qt puts it at its logical place times the scale, which
  // may fall between pixels. Everything is drawn at whole device pixels
  // from the top level's origin all the same.
  const QPoint logicalOrigin = paintedOn == top->outer ? QPoint(0, 0) : paintedOn->mapTo(top->outer, QPoint(0, 0));
  const QPointF origin(logicalOrigin.x() * s, logicalOrigin.y() * s);
  QPainter painter(paintedOn);
  // Device pixels: the painter's own scale undone, every place a whole
  // pixel, so Qt copies images 1:1.
  painter.setWorldTransform(QTransform::fromScale(1.0 / s, 1.0 / s));
  const auto place = [&origin](const Rect& r) {
    return QRectF(r.left - origin.x(), r.top - origin.y(), r.Width(), r.Height());
  };
  const auto fill = [&painter, &place](const Rect& r, const QColor& colour) {
    if (!r.Empty()) painter.fillRect(place(r), colour);
  };
  // The area to paint as device rectangles of the top level's client
  // area, each grown to cover every device pixel of its logical one: a
  // window none of them touches is left alone (a frame repaints a few
  // boxes and views spread over the window, whose bounding rectangle
  // holds nearly every window).
  std::vector<QRect> touched;
  touched.reserve(static_cast<std::size_t>(region.rectCount()));
  for (const QRect& r : region) {
    const QRect at = r.translated(logicalOrigin);
    touched.emplace_back(QPoint(static_cast<int>(std::floor(at.left() * s)) - 1, static_cast<int>(std::floor(at.top() * s)) - 1),
                         QPoint(static_cast<int>(std::ceil((at.right() + 1) * s)), static_cast<int>(std::ceil((at.bottom() + 1) * s))));
  }
  const auto touches = [&touched](const Rect& r) {
    return std::any_of(touched.begin(), touched.end(), [&r](const QRect& t) {
      return t.left() < r.right && r.left <= t.right() && t.top() < r.bottom && r.top <= t.bottom();
    });
  };
  // A top level of the system's kind paints its own ground, in its face
  // colour, only where none of the windows painted over it covers: a
  // custom-drawn window paints all of its client area and a bordered one
  // its border, so a frame's zoom view and preview are not filled first.
  if (withFrom && !IsComposed(from)) {
    QRegion ground;
    for (const QRect& t : touched) ground += t;
    ForEachChildWindow(registry, from.inner, [&](NativeWindow& child) {
      if (child.outer->isHidden() || (!IsComposed(child) && !child.border)) return;
      const Rect outer = AbsoluteOuter(registry, child);
      if (touches(outer)) ground -= QRect(outer.left, outer.top, outer.Width(), outer.Height());
    });
    const QBrush brush = paintedOn->palette().brush(paintedOn->backgroundRole());
    for (const QRect& r : ground) painter.fillRect(place({r.left(), r.top(), r.right() + 1, r.bottom() + 1}), brush);
  }
  std::function<void(NativeWindow&, bool)> paint = [&](NativeWindow& window, bool self) {
    const Rect outer = AbsoluteOuter(registry, window);
    if (!window.topLevel && !window.popup && !touches(outer)) return;
    if (self) {
      const Rect client = AbsoluteClient(registry, window);
      if (window.border) {
        const QColor line = QColor::fromRgb(kBorderColour);
        fill({outer.left, outer.top, outer.right, outer.top + 1}, line);
        fill({outer.left, outer.bottom - 1, outer.right, outer.bottom}, line);
        fill({outer.left, outer.top, outer.left + 1, outer.bottom}, line);
        fill({outer.right - 1, outer.top, outer.right, outer.bottom}, line);
        // A control of the system's lies within a device pixel of its
        // client area: the area gets the control's own ground first.
        if (!IsComposed(window)) fill(client, window.inner->palette().color(window.inner->backgroundRole()));
      }
      if (auto* surface = dynamic_cast<SurfaceWidget*>(window.inner)) {
        const QRectF at = place(client);
        surface->PaintAt(painter, at.topLeft(), QSize(client.Width(), client.Height()));
      }
      if (window.kind == platform::NativeKind::GroupFrame) return;
    }
    if (window.inner->isHidden()) return;
    ForEachChildWindow(registry, window.inner, [&](NativeWindow& child) {
      if (!child.outer->isHidden()) paint(child, true);
    });
  };
  paint(from, withFrom);
}

}  // namespace

void Compose(const Registry& registry, QWidget* topWidget, const QRegion& region) {
  NativeWindow* top = registry.Owning(topWidget);
  if (top == nullptr || (!top->topLevel && !top->popup)) return;
  ComposeOn(registry, topWidget, *top, true, region);
}

ComposeLayer::ComposeLayer(const Registry& registry, WindowId container, QWidget* parent)
    : QWidget(parent), registry_(registry), container_(container) {
  // Above its control, below what the control holds; the mouse goes
  // through it.
  setAttribute(Qt::WA_TransparentForMouseEvents);
  setGeometry(parent->rect());
  lower();
  parent->installEventFilter(this);
}

bool ComposeLayer::eventFilter(QObject* watched, QEvent* event) {
  if (watched == parentWidget() && event->type() == QEvent::Resize) setGeometry(parentWidget()->rect());
  return false;
}

void ComposeLayer::paintEvent(QPaintEvent* event) {
  if (NativeWindow* container = registry_.Find(container_)) ComposeOn(registry_, this, *container, false, event->region());
}

NativeWindow* WindowAt(const Registry& registry, NativeWindow& top, Point device) {
  NativeWindow* found = nullptr;
  std::function<void(NativeWindow&)> visit = [&](NativeWindow& window) {
    ForEachChildWindow(registry, window.inner, [&](NativeWindow& child) {
      if (child.outer->isHidden() || !AbsoluteOuter(registry, child).Contains(device.x, device.y)) return;
      // Later siblings lie above earlier ones, children above their parent.
      found = &child;
      visit(child);
    });
  };
  visit(top);
  return found;
}

}  // namespace tinctora::qtb
