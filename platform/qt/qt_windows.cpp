// Windows and the system's controls on Qt Widgets: the top-level window,
// and the children on the widgets of qt_widgets.h (custom-drawn surfaces,
// edit boxes, sliders) and QGroupBox. Every write applies at once. Places
// and sizes are device pixels; qt_compose.cpp turns them into Qt's logical
// ones and paints the custom-drawn windows.

#include <QApplication>
#include <QCloseEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QPainter>
#include <QPalette>
#include <QScreen>
#include <QThread>

#include <algorithm>
#include <cmath>

#include "platform/qt/qt_services.h"
#include "platform/qt/qt_widgets.h"

namespace tinctora::qtb {

namespace {

// A device length as Qt's logical one at a scale: lengths the program
// gives at whole layout units come back to exactly those units.
int LogicalLength(int device, double scale) { return std::max(0, static_cast<int>(std::floor(device / scale + 0.5))); }

// Whether the window manager lists `atom` in the root's _NET_SUPPORTED.
bool ManagerSupports(xcb_connection_t* c, xcb_window_t root, xcb_atom_t atom) {
  const Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
      c, xcb_get_property(c, 0, root, InternAtom(c, "_NET_SUPPORTED"), XCB_ATOM_ATOM, 0, 4096), nullptr));
  if (!reply || reply->format != 32) return false;
  const auto* atoms = static_cast<const xcb_atom_t*>(xcb_get_property_value(reply.get()));
  const int count = xcb_get_property_value_length(reply.get()) / 4;
  return std::find(atoms, atoms + count, atom) != atoms + count;
}

// The frame the window manager will put around a window not yet mapped
// (_NET_REQUEST_FRAME_EXTENTS), so that the window can be centred by its
// outer size. None when there is no manager or it does not answer at once.
QMargins AnnouncedFrame(xcb_connection_t* c, xcb_window_t root, xcb_window_t window) {
  const xcb_atom_t request = InternAtom(c, "_NET_REQUEST_FRAME_EXTENTS");
  const xcb_atom_t extents = InternAtom(c, "_NET_FRAME_EXTENTS");
  if (request == XCB_ATOM_NONE || extents == XCB_ATOM_NONE || !ManagerSupports(c, root, request)) return {};
  xcb_client_message_event_t message{};
  message.response_type = XCB_CLIENT_MESSAGE;
  message.format = 32;
  message.window = window;
  message.type = request;
  xcb_send_event(c, 0, root, XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                 reinterpret_cast<const char*>(&message));
  xcb_flush(c);
  // The manager answers by setting the property; it is read back a few
  // times rather than waited for, so that a silent manager costs little.
  for (int attempt = 0; attempt < 40; ++attempt) {
    const Reply<xcb_get_property_reply_t> reply(
        xcb_get_property_reply(c, xcb_get_property(c, 0, window, extents, XCB_ATOM_CARDINAL, 0, 4), nullptr));
    if (reply && reply->format == 32 && xcb_get_property_value_length(reply.get()) == 16) {
      const auto* v = static_cast<const std::uint32_t*>(xcb_get_property_value(reply.get()));
      return QMargins(static_cast<int>(v[0]), static_cast<int>(v[2]), static_cast<int>(v[1]), static_cast<int>(v[3]));
    }
    QThread::msleep(5);
  }
  return {};
}

// The widget of a bordered control, around its client widget: the border
// itself is drawn by the top level's composition, one device pixel wide.
class BorderFrame : public QWidget {
 public:
  using QWidget::QWidget;
};

class TopWindow : public QWidget {
 public:
  TopWindow(Registry& registry, Qt::WindowFlags flags) : QWidget(nullptr, flags), registry_(registry) {}
  void SetId(WindowId id) { id_ = id; }

  void ReportColours() {
    QPointer<TopWindow> self(this);
    QMetaObject::invokeMethod(
        this,
        [self] {
          if (self && self->registry_.sink != nullptr && self->registry_.Find(self->id_) != nullptr) {
            self->registry_.sink->OnColoursChanged();
          }
        },
        Qt::QueuedConnection);
  }

  // Tells the program once the window is shown at another scale (its
  // display's changed, or it went to another display), from the loop.
  void CheckScale() {
    NativeWindow* window = registry_.Find(id_);
    if (window == nullptr || ScaleOf(this) == window->reportedScale) return;
    window->reportedScale = ScaleOf(this);
    QPointer<TopWindow> self(this);
    QMetaObject::invokeMethod(
        this,
        [self] {
          if (self && self->registry_.sink != nullptr && self->registry_.Find(self->id_) != nullptr) {
            self->registry_.sink->OnScaleChanged(self->id_);
          }
        },
        Qt::QueuedConnection);
  }

 protected:
  bool event(QEvent* event) override {
    if (registry_.sink != nullptr) {
      if (event->type() == QEvent::WindowActivate) registry_.sink->OnActivate(id_, true);
      if (event->type() == QEvent::WindowDeactivate) registry_.sink->OnActivate(id_, false);
    }
    switch (event->type()) {
      case QEvent::Move:
      case QEvent::Resize:
      case QEvent::Show:
      case QEvent::Hide:
        // Where the server has the window is read again when next asked.
        if (NativeWindow* window = registry_.Find(id_)) window->placed.known = false;
        CheckScale();
        break;
      case QEvent::ApplicationPaletteChange:
        // The desktop's colours changed (its theme, a colour scheme): the
        // program hears of it from the loop, once every widget has its
        // new palette.
        ReportColours();
        break;
      case QEvent::ScreenChangeInternal:
#if QT_VERSION >= QT_VERSION_CHECK(6, 6, 0)
      case QEvent::DevicePixelRatioChange:
#endif
        CheckScale();
        break;
      default: break;
    }
    return QWidget::event(event);
  }
  void paintEvent(QPaintEvent* event) override { Compose(registry_, this, event->region()); }
  void closeEvent(QCloseEvent* event) override {
    // The program decides whether and how the window goes.
    event->ignore();
    if (registry_.sink != nullptr) registry_.sink->OnCloseRequested(id_);
  }
  // Keys the focused control left alone arrive here.
  void keyPressEvent(QKeyEvent* event) override {
    const NativeWindow* focus = registry_.Owning(QApplication::focusWidget());
    if (ForwardKey(registry_, focus != nullptr ? focus->id : id_, *event)) {
      event->accept();
      return;
    }
    event->ignore();
  }

 private:
  Registry& registry_;
  WindowId id_ = 0;
};

template <class Widget>
Widget* WidgetOf(const Registry& registry, WindowId id) {
  const NativeWindow* window = registry.Find(id);
  return window != nullptr ? dynamic_cast<Widget*>(window->inner) : nullptr;
}

// Qt's size hints give the window manager its logical sizes scaled, and a
// resize step of the scale rounded (2 pixels at 1.5), which makes the
// manager round odd sizes away. The hints are written again in physical
// pixels: steps of one pixel, and a fixed window fixed at its exact size.
void FixSizeHints(xcb_connection_t* c, xcb_window_t window, const QSize& size, bool fixed) {
  constexpr std::uint32_t kMinSize = 16, kMaxSize = 32, kResizeStep = 64, kBaseSize = 256;
  constexpr int kFields = 18;
  const Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
      c, xcb_get_property(c, 0, window, XCB_ATOM_WM_NORMAL_HINTS, XCB_ATOM_WM_SIZE_HINTS, 0, kFields), nullptr));
  std::uint32_t hints[kFields] = {};
  if (reply && reply->format == 32) {
    const int count = std::min(kFields, xcb_get_property_value_length(reply.get()) / 4);
    std::copy_n(static_cast<const std::uint32_t*>(xcb_get_property_value(reply.get())), count, hints);
  }
  hints[0] &= ~(kResizeStep | kBaseSize);
  if (fixed) {
    hints[0] |= kMinSize | kMaxSize;
    hints[5] = hints[7] = static_cast<std::uint32_t>(size.width());
    hints[6] = hints[8] = static_cast<std::uint32_t>(size.height());
  }
  xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_NORMAL_HINTS, XCB_ATOM_WM_SIZE_HINTS, 32, kFields,
                      hints);
}

// Qt asks the server for the top level's logical rectangle scaled, each
// edge rounded from its place: at 1.5 a window 459 units wide at an odd
// place comes out 688 pixels wide, not 689. After each of Qt's requests
// the server is asked for the exact client place and size the program
// gave (the window's gravity is static: the place is the client area's).
void PlaceNatively(const Registry& registry, NativeWindow& window) {
  const auto native = static_cast<xcb_window_t>(window.outer->internalWinId());
  if (native == 0 || registry.connection == nullptr || window.wantedSize.isEmpty()) return;
  FixSizeHints(registry.connection, native, window.wantedSize,
               window.outer->minimumSize() == window.outer->maximumSize());
  std::uint16_t mask = XCB_CONFIG_WINDOW_WIDTH | XCB_CONFIG_WINDOW_HEIGHT;
  std::vector<std::uint32_t> values;
  if (window.wantedOrigin) {
    mask |= XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y;
    values.push_back(static_cast<std::uint32_t>(window.wantedOrigin->x));
    values.push_back(static_cast<std::uint32_t>(window.wantedOrigin->y));
  }
  values.push_back(static_cast<std::uint32_t>(window.wantedSize.width()));
  values.push_back(static_cast<std::uint32_t>(window.wantedSize.height()));
  xcb_configure_window(registry.connection, native, mask, values.data());
  xcb_flush(registry.connection);
  // Until the server says otherwise, the window is where it was sent.
  if (window.placed.known) {
    if (window.wantedOrigin) window.placed.origin = *window.wantedOrigin;
    window.placed.width = window.wantedSize.width();
    window.placed.height = window.wantedSize.height();
  }
}

}  // namespace

// ---- QtWindows ---------------------------------------------------------------------

QtWindows::QtWindows(Registry& registry) : registry_(registry) {
  // A display's scale changes without the window moving when the desktop's
  // resolution (Xft.dpi) changes.
  const auto watch = [this](QScreen* screen) {
    const auto check = [this] {
      for (NativeWindow* window : registry_.All()) {
        if (auto* top = dynamic_cast<TopWindow*>(window->outer); top != nullptr && window->topLevel) top->CheckScale();
      }
    };
    QObject::connect(screen, &QScreen::logicalDotsPerInchChanged, &connections_, check);
    QObject::connect(screen, &QScreen::physicalDotsPerInchChanged, &connections_, check);
    QObject::connect(screen, &QScreen::geometryChanged, &connections_, check);
  };
  for (QScreen* screen : QGuiApplication::screens()) watch(screen);
  QObject::connect(qApp, &QGuiApplication::screenAdded, &connections_, watch);
}

QtWindows::~QtWindows() {
  std::vector<WindowId> tops;
  for (const NativeWindow* window : registry_.All()) {
    if (window->topLevel) tops.push_back(window->id);
  }
  // No event of theirs is running now: the windows go at once.
  for (const WindowId top : tops) {
    const std::unique_ptr<QWidget> widget(registry_.Find(top)->owned.release());
    RemoveTree(top);
  }
}

WindowId QtWindows::CreateTopLevel(const platform::TopLevelSpec& params) {
  Qt::WindowFlags flags = Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint;
  if (params.minimiseBox) flags |= Qt::WindowMinimizeButtonHint;
  if (params.maximiseBox) flags |= Qt::WindowMaximizeButtonHint;
  if (params.alwaysOnTop) flags |= Qt::WindowStaysOnTopHint;
  auto* widget = new TopWindow(registry_, flags);
  widget->setWindowTitle(FromGbk(params.caption));
  // The window manager adds the frame: the client area gets the client
  // size, in Qt's logical units at the primary display's scale, where the
  // window opens.
  const double s = ScaleOf(widget);
  const QSize size(LogicalLength(params.clientWidth, s), LogicalLength(params.clientHeight, s));
  if (params.resizable) {
    widget->resize(size);
  } else {
    widget->setFixedSize(size);
  }
  // Without a colour of its own the window keeps the application's
  // palette, whose face follows the desktop's colours.
  if (params.background) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, QColor::fromRgb(ToQRgb(*params.background)));
    widget->setPalette(palette);
  }
  // The composition fills the window's ground where its windows leave it
  // (Compose), so Qt fills nothing first.
  widget->setAttribute(Qt::WA_OpaquePaintEvent);
  auto window = std::make_unique<NativeWindow>();
  window->topLevel = true;
  window->outer = widget;
  window->inner = widget;
  window->owned = OwnedWidget(widget);
  NativeWindow& made = registry_.Add(std::move(window));
  widget->SetId(made.id);
  // Its client area's own messages, and those Qt hands it for a pixel that
  // a child's device rectangle holds but not its logical one.
  ForwardMouseOf(registry_, widget);
  if (registry_.connection != nullptr) {
    made.announcedFrame = AnnouncedFrame(registry_.connection, registry_.root, static_cast<xcb_window_t>(widget->winId()));
  }
  made.reportedScale = ScaleOf(widget);
  made.wantedSize = QSize(params.clientWidth, params.clientHeight);
  PlaceNatively(registry_, made);
  return made.id;
}

WindowId QtWindows::CreateChild(WindowId parentId, const platform::ChildSpec& params) {
  NativeWindow* parent = registry_.Find(parentId);
  if (parent == nullptr) return 0;
  auto window = std::make_unique<NativeWindow>();
  window->parent = parentId;
  window->kind = params.kind;
  window->border = params.border;
  QWidget* host = parent->inner;
  if (params.border) {
    window->outer = new BorderFrame(host);
    host = window->outer;
  }
  QWidget* inner = nullptr;
  bool layered = false;
  // Edit boxes and sliders take the focus from a click only once the
  // program has let the press through (ForwardMouse): Qt would give it
  // before any event filter sees the press.
  const Qt::FocusPolicy focus = params.tabStop ? Qt::TabFocus : Qt::NoFocus;
  switch (params.kind) {
    case platform::NativeKind::Surface: {
      auto* surface = new SurfaceWidget(registry_, host);
      surface->setFocusPolicy(params.tabStop ? Qt::StrongFocus : Qt::NoFocus);
      inner = surface;
      break;
    }
    case platform::NativeKind::EditBox: {
      auto* edit = new EditWidget(registry_, host);
      {
        const QSignalBlocker quiet(edit);
        edit->setText(FromGbk(params.text));
      }
      QPalette palette = edit->palette();
      palette.setColor(QPalette::Base, QColor::fromRgb(ToQRgb(params.edit.background)));
      palette.setColor(QPalette::Text, QColor::fromRgb(ToQRgb(params.edit.textColour)));
      edit->setPalette(palette);
      const Qt::Alignment align = params.edit.align == platform::TextAlign::Centre ? Qt::AlignHCenter
                                  : params.edit.align == platform::TextAlign::Right ? Qt::AlignRight
                                                                                     : Qt::AlignLeft;
      edit->setAlignment(align | Qt::AlignVCenter);
      edit->setReadOnly(params.edit.readOnly);
      // The boxes were sized for notations in a font whose digits are half
      // as wide as a Chinese character, with a one-pixel margin: the widest
      // notation fills its box.
      // Qt scales the font with the window (12 logical pixels are 18
      // device pixels at 1.5).
      // A box holds a line of Latin text or Chinese characters: it is laid
      // out without the typographic shaping Latin text does not need, as a
      // system's edit control draws it (scripts that need shaping keep it).
      QFont font = static_cast<const QtFont&>(DefaultGuiFont(1.0)).NativeNarrow();
      font.setStyleStrategy(QFont::StyleStrategy(font.styleStrategy() | QFont::PreferNoShaping));
      edit->setFont(font);
      edit->setTextMargins(-1, 0, -1, 0);
      edit->setFocusPolicy(focus);
      inner = edit;
      break;
    }
    case platform::NativeKind::Slider: {
      auto* slider = new SliderWidget(registry_, host, params.slider);
      slider->setFocusPolicy(focus);
      inner = slider;
      break;
    }
    case platform::NativeKind::GroupFrame: {
      auto* group = new QGroupBox(FromGbk(params.text), host);
      group->setFocusPolicy(Qt::NoFocus);
      inner = group;
      layered = true;
      break;
    }
  }
  window->inner = inner;
  if (window->outer == nullptr) window->outer = inner;
  ForwardMouseOf(registry_, inner);
  NativeWindow& made = registry_.Add(std::move(window));
  // The group box paints over what lies under it: the windows it holds
  // are painted by a layer above its own painting.
  if (layered) new ComposeLayer(registry_, made.id, inner);
  if (auto* s = dynamic_cast<SurfaceWidget*>(inner)) s->SetId(made.id);
  if (auto* e = dynamic_cast<EditWidget*>(inner)) e->SetId(made.id);
  if (auto* s = dynamic_cast<SliderWidget*>(inner)) s->SetId(made.id);
  // Created hidden; SetVisible shows it.
  made.outer->hide();
  made.device = params.bounds;
  PlaceChild(registry_, made);
  return made.id;
}

void QtWindows::RemoveTree(WindowId id) {
  const NativeWindow* top = registry_.Find(id);
  if (top == nullptr) return;
  const QWidget* widget = top->outer;
  for (const NativeWindow* window : registry_.All()) {
    if (window != top && widget->isAncestorOf(window->outer)) registry_.Remove(window->id);
  }
  // The top level's widget goes with it, and its children with that.
  registry_.Remove(id);
}

void QtWindows::Destroy(WindowId top) {
  NativeWindow* window = registry_.Find(top);
  if (window == nullptr) return;
  // A capture held inside the window goes with it, without a loss reported.
  if (NativeWindow* holder = registry_.Find(registry_.capture);
      holder != nullptr && (holder == window || window->outer->isAncestorOf(holder->inner))) {
    holder->inner->releaseMouse();
    registry_.capture = 0;
  }
  if (registry_.sink != nullptr) registry_.sink->OnDestroyed(top);
  RemoveTree(top);
}

void QtWindows::SetVisible(WindowId id, bool visible) {
  NativeWindow* window = registry_.Find(id);
  if (window == nullptr || window->topLevel) return;
  window->outer->setVisible(visible);
  if (window->border) window->inner->setVisible(true);
  // Qt repaints the logical rectangle; the device one may reach a pixel further.
  RequestPaint(registry_, *window);
}

void QtWindows::Show(WindowId top) {
  NativeWindow* window = registry_.Find(top);
  if (window == nullptr) return;
  window->outer->show();
  PlaceNatively(registry_, *window);
  window->outer->raise();
  window->outer->activateWindow();
  window->shownOnce = true;
}

void QtWindows::SetCaption(WindowId id, TextView text) {
  NativeWindow* window = registry_.Find(id);
  if (window == nullptr) return;
  if (window->topLevel) {
    window->outer->setWindowTitle(FromGbk(text));
  } else if (auto* group = qobject_cast<QGroupBox*>(window->inner)) {
    group->setTitle(FromGbk(text));
  }
}

void QtWindows::SetBounds(WindowId id, const Rect& outer) {
  NativeWindow* window = registry_.Find(id);
  if (window == nullptr) return;
  QWidget* widget = window->outer;
  if (window->topLevel) {
    // The frame's top-left corner goes to the point; the native window
    // exists from the start, so Qt places it by its client area.
    const Placement placed = PlacementOf(registry_, *window);
    const Point client{outer.left + placed.frame.left(), outer.top + placed.frame.top()};
    // A window the user may resize keeps the size it has now.
    if (widget->minimumSize() != widget->maximumSize() && placed.known && window->shownOnce) {
      window->wantedSize = QSize(placed.width, placed.height);
    }
    widget->move(LogicalPoint(client));
    window->wantedOrigin = client;
    PlaceNatively(registry_, *window);
    return;
  }
  if (window->popup) return;
  const Rect oldClient = AbsoluteClient(registry_, *window);
  RequestPaint(registry_, *window);
  window->device = outer;
  PlaceChild(registry_, *window);
  const Rect newClient = AbsoluteClient(registry_, *window);
  if (oldClient.Width() != newClient.Width() || oldClient.Height() != newClient.Height()) {
    if (auto* surface = dynamic_cast<SurfaceWidget*>(window->inner)) surface->Invalidate();
  }
  RequestPaint(registry_, *window);
}

void QtWindows::SetClientSize(WindowId id, int width, int height) {
  NativeWindow* window = registry_.Find(id);
  if (window == nullptr || !window->topLevel) return;
  QWidget* widget = window->outer;
  // The frame's corner stays where the server has it now.
  window->placed.known = false;
  const Placement placed = PlacementOf(registry_, *window);
  if (placed.known && window->shownOnce) window->wantedOrigin = placed.origin;
  const double s = ScaleOf(widget);
  const QSize size(LogicalLength(width, s), LogicalLength(height, s));
  if (widget->minimumSize() == widget->maximumSize()) {
    widget->setFixedSize(size);
  } else {
    widget->resize(size);
  }
  window->wantedSize = QSize(width, height);
  PlaceNatively(registry_, *window);
}

double QtWindows::Scale(WindowId id) const {
  const NativeWindow* window = registry_.Find(id);
  return window == nullptr ? 1.0 : ScaleOf(window->outer);
}

Rect QtWindows::WindowRect(WindowId id) const {
  NativeWindow* window = registry_.Find(id);
  if (window == nullptr) return {};
  if (window->topLevel) {
    // Before the manager has framed the window, the frame it announced goes
    // around the client area.
    const Placement& placed = PlacementOf(registry_, *window);
    const QMargins& f = placed.frame;
    return {placed.origin.x - f.left(), placed.origin.y - f.top(), placed.origin.x + placed.width + f.right(),
            placed.origin.y + placed.height + f.bottom()};
  }
  if (window->popup) return window->device;
  const Rect client = ScreenClient(registry_, *TopOf(registry_, *window));
  const Rect outer = AbsoluteOuter(registry_, *window);
  return {client.left + outer.left, client.top + outer.top, client.left + outer.right, client.top + outer.bottom};
}

Rect QtWindows::ClientRect(WindowId id) const {
  const NativeWindow* window = registry_.Find(id);
  if (window == nullptr) return {};
  return ScreenClient(registry_, *window);
}

void QtWindows::Invalidate(WindowId id) {
  NativeWindow* window = registry_.Find(id);
  if (window == nullptr) return;
  if (auto* surface = dynamic_cast<SurfaceWidget*>(window->inner)) {
    surface->Invalidate();
    return;
  }
  window->inner->update();
}

void QtWindows::UpdateNow(WindowId id) {
  NativeWindow* target = registry_.Find(id);
  if (target == nullptr) return;
  for (NativeWindow* window : registry_.All()) {
    if (window != target && !target->outer->isAncestorOf(window->outer)) continue;
    auto* surface = dynamic_cast<SurfaceWidget*>(window->inner);
    if (surface != nullptr && surface->Dirty() && surface->isVisible()) PaintNow(registry_, *window);
  }
}

void QtWindows::Present(WindowId id, const Image& client) {
  NativeWindow* window = registry_.Find(id);
  if (window == nullptr) return;
  if (auto* surface = dynamic_cast<SurfaceWidget*>(window->inner)) surface->TakePresent(client);
}

void QtWindows::DrawDirect(WindowId id, const Image& pixels, Point at) {
  NativeWindow* window = registry_.Find(id);
  if (window == nullptr) return;
  if (auto* surface = dynamic_cast<SurfaceWidget*>(window->inner)) surface->DrawDirect(pixels, at);
}

Pixel QtWindows::VisiblePixel(WindowId id, Point client) const {
  const NativeWindow* window = registry_.Find(id);
  if (window == nullptr || !window->inner->isVisible()) return platform::kInvalidPixel;
  const Rect area = AbsoluteClient(registry_, *window);
  const Point at{area.left + client.x, area.top + client.y};
  if (!area.Contains(at.x, at.y)) return platform::kInvalidPixel;
  // A sibling lying above hides the point.
  if (QWidget* parent = window->outer->parentWidget(); parent != nullptr && !window->topLevel && !window->popup) {
    const QObjectList& siblings = parent->children();
    for (qsizetype i = siblings.indexOf(window->outer) + 1; i < siblings.size(); ++i) {
      const auto* sibling = qobject_cast<const QWidget*>(siblings[i]);
      const NativeWindow* other = sibling != nullptr ? registry_.Owning(sibling) : nullptr;
      if (other != nullptr && other->outer == sibling && sibling->isVisible() &&
          AbsoluteOuter(registry_, *other).Contains(at.x, at.y)) {
        return platform::kInvalidPixel;
      }
    }
  }
  if (auto* surface = dynamic_cast<SurfaceWidget*>(window->inner)) return surface->ShownPixel(client);
  // A control of the system's: its own picture, in device pixels.
  QWidget* inner = window->inner;
  const QImage shot = inner->grab().toImage();
  if (shot.isNull()) return platform::kInvalidPixel;
  const double s = ScaleOf(inner);
  const QPoint origin = inner->mapTo(inner->window(), QPoint(0, 0));
  const int x = at.x - static_cast<int>(std::floor(origin.x() * s + 0.5));
  const int y = at.y - static_cast<int>(std::floor(origin.y() * s + 0.5));
  if (!shot.rect().contains(x, y)) return platform::kInvalidPixel;
  return FromQRgb(shot.pixel(x, y));
}

void QtWindows::SetEditText(WindowId id, TextView text) {
  if (auto* edit = WidgetOf<EditWidget>(registry_, id)) edit->Write(text);
}

Text QtWindows::EditText(WindowId id) const {
  const auto* edit = WidgetOf<const EditWidget>(registry_, id);
  return edit == nullptr ? Text() : ToGbk(edit->text());
}

void QtWindows::SetEditSelection(WindowId id, platform::EditRange range) {
  if (auto* edit = WidgetOf<EditWidget>(registry_, id)) edit->Select(range);
}

platform::EditRange QtWindows::EditSelection(WindowId id) const {
  const auto* edit = WidgetOf<const EditWidget>(registry_, id);
  return edit == nullptr ? platform::EditRange{} : edit->Selection();
}

void QtWindows::SetSliderPosition(WindowId id, int position) {
  if (auto* slider = WidgetOf<SliderWidget>(registry_, id)) slider->Write(position);
}

int QtWindows::SliderPosition(WindowId id) const {
  const auto* slider = WidgetOf<const SliderWidget>(registry_, id);
  return slider == nullptr ? 0 : slider->Read();
}

void QtWindows::SetFocus(WindowId id) {
  if (NativeWindow* window = registry_.Find(id)) window->inner->setFocus(Qt::OtherFocusReason);
}

WindowId QtWindows::Focus() const {
  const NativeWindow* window = registry_.Owning(QApplication::focusWidget());
  return window == nullptr ? 0 : window->id;
}

Pixel QtWindows::FaceColour() const { return FromQRgb(QApplication::palette().color(QPalette::Window).rgb()); }

platform::SystemColours QtWindows::Colours() const {
  // Qt 6.4 tells of no high-contrast setting: the palette's colours are the
  // desktop's, and the program keeps its own fixed ones.
  const QPalette palette = QApplication::palette();
  platform::SystemColours colours;
  colours.highContrast = false;
  colours.face = FromQRgb(palette.color(QPalette::Window).rgb());
  colours.faceText = FromQRgb(palette.color(QPalette::WindowText).rgb());
  colours.window = FromQRgb(palette.color(QPalette::Base).rgb());
  colours.windowText = FromQRgb(palette.color(QPalette::Text).rgb());
  return colours;
}

void QtWindows::SetEditColours(WindowId id, Pixel background, Pixel text) {
  auto* edit = WidgetOf<EditWidget>(registry_, id);
  if (edit == nullptr) return;
  QPalette palette = edit->palette();
  palette.setColor(QPalette::Base, QColor::fromRgb(ToQRgb(background)));
  palette.setColor(QPalette::Text, QColor::fromRgb(ToQRgb(text)));
  edit->setPalette(palette);
  edit->update();
}

const gfx::Font& QtWindows::DefaultGuiFont(double scale) const {
  std::unique_ptr<QtFont>& font = fonts_[scale];
  if (!font) font = std::make_unique<QtFont>(scale);
  return *font;
}

}  // namespace tinctora::qtb
