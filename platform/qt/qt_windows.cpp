// Windows and the system's controls on Qt Widgets: the top-level window,
// and the children on the widgets of qt_widgets.h (custom-drawn surfaces,
// edit boxes, sliders) and QGroupBox. Every write applies at once.

#include <QApplication>
#include <QCloseEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QPainter>
#include <QPalette>
#include <QThread>

#include <algorithm>

#include "platform/qt/qt_services.h"
#include "platform/qt/qt_widgets.h"

namespace tinctora::qtb {

namespace {

// The plain one-pixel frame a bordered control has outside its client area.
constexpr QRgb kBorderColour = qRgb(0x64, 0x64, 0x64);

QRect ToQRect(const Rect& r) { return QRect(r.left, r.top, std::max(0, r.Width()), std::max(0, r.Height())); }

Rect FromQRect(const QRect& r) { return {r.x(), r.y(), r.x() + r.width(), r.y() + r.height()}; }

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

// The frame around a top-level window's client area: as the manager drew
// it once shown, as it announced it before.
QMargins FrameOf(const NativeWindow& window) {
  if (!window.shownOnce) return window.announcedFrame;
  const QRect frame = window.outer->frameGeometry();
  const QRect client = window.outer->geometry();
  return QMargins(client.left() - frame.left(), client.top() - frame.top(), frame.right() - client.right(),
                  frame.bottom() - client.bottom());
}

Rect GlobalRect(const QWidget* widget) {
  const QPoint origin = widget->mapToGlobal(QPoint(0, 0));
  return {origin.x(), origin.y(), origin.x() + widget->width(), origin.y() + widget->height()};
}

// Draws the frame of a bordered control around its client widget.
class BorderFrame : public QWidget {
 public:
  using QWidget::QWidget;

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    painter.setPen(QColor::fromRgb(kBorderColour));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(0, 0, width() - 1, height() - 1);
  }
};

class TopWindow : public QWidget {
 public:
  TopWindow(Registry& registry, Qt::WindowFlags flags) : QWidget(nullptr, flags), registry_(registry) {}
  void SetId(WindowId id) { id_ = id; }

 protected:
  bool event(QEvent* event) override {
    if (registry_.sink != nullptr) {
      if (event->type() == QEvent::WindowActivate) registry_.sink->OnActivate(id_, true);
      if (event->type() == QEvent::WindowDeactivate) registry_.sink->OnActivate(id_, false);
    }
    return QWidget::event(event);
  }
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

}  // namespace

// ---- QtWindows ---------------------------------------------------------------------

QtWindows::QtWindows(Registry& registry) : registry_(registry) {}

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
  // The window manager adds the frame: the client area gets the client size.
  if (params.resizable) {
    widget->resize(params.clientWidth, params.clientHeight);
  } else {
    widget->setFixedSize(params.clientWidth, params.clientHeight);
  }
  const Pixel background = params.background.value_or(FaceColour());
  QPalette palette = widget->palette();
  palette.setColor(QPalette::Window, QColor::fromRgb(ToQRgb(background)));
  widget->setPalette(palette);
  widget->setAutoFillBackground(true);
  auto window = std::make_unique<NativeWindow>();
  window->topLevel = true;
  window->outer = widget;
  window->inner = widget;
  window->owned = OwnedWidget(widget);
  NativeWindow& made = registry_.Add(std::move(window));
  widget->SetId(made.id);
  made.announcedFrame = AnnouncedFrame(registry_.connection, registry_.root, static_cast<xcb_window_t>(widget->winId()));
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
      edit->setFont(font_.NativeNarrow());
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
      break;
    }
  }
  window->inner = inner;
  if (window->outer == nullptr) window->outer = inner;
  ForwardMouseOf(registry_, inner);
  NativeWindow& made = registry_.Add(std::move(window));
  if (auto* s = dynamic_cast<SurfaceWidget*>(inner)) s->SetId(made.id);
  if (auto* e = dynamic_cast<EditWidget*>(inner)) e->SetId(made.id);
  if (auto* s = dynamic_cast<SliderWidget*>(inner)) s->SetId(made.id);
  // Created hidden; SetVisible shows it.
  made.outer->hide();
  SetBounds(made.id, params.bounds);
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
}

void QtWindows::Show(WindowId top) {
  NativeWindow* window = registry_.Find(top);
  if (window == nullptr) return;
  window->outer->show();
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
    // The frame's top-left corner goes to the point; the client area keeps
    // the size the frame leaves of the outer one. The native window exists
    // from the start, so Qt places it by its client area.
    const QMargins f = FrameOf(*window);
    widget->move(outer.left + f.left(), outer.top + f.top());
    const QSize size(std::max(0, outer.Width() - f.left() - f.right()),
                     std::max(0, outer.Height() - f.top() - f.bottom()));
    if (widget->minimumSize() == widget->maximumSize()) {
      if (window->shownOnce) widget->setFixedSize(size);
    } else {
      widget->resize(size);
    }
    return;
  }
  widget->setGeometry(ToQRect(outer));
  if (window->border) {
    window->inner->setGeometry(1, 1, std::max(0, outer.Width() - 2), std::max(0, outer.Height() - 2));
  }
}

Rect QtWindows::WindowRect(WindowId id) const {
  const NativeWindow* window = registry_.Find(id);
  if (window == nullptr) return {};
  if (window->topLevel) {
    // Before the manager has framed the window, the frame it announced goes
    // around the client area.
    const QMargins f = FrameOf(*window);
    return FromQRect(window->outer->geometry().marginsAdded(f));
  }
  if (window->popup) return FromQRect(window->outer->geometry());
  return GlobalRect(window->outer);
}

Rect QtWindows::ClientRect(WindowId id) const {
  const NativeWindow* window = registry_.Find(id);
  if (window == nullptr) return {};
  if (window->topLevel || window->popup) return FromQRect(window->inner->geometry());
  return GlobalRect(window->inner);
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
    if (surface != nullptr && surface->Dirty() && surface->isVisible()) surface->repaint();
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
  QWidget* inner = window->inner;
  if (!inner->rect().contains(client.x, client.y)) return platform::kInvalidPixel;
  // A sibling lying above hides the point.
  if (QWidget* parent = window->outer->parentWidget()) {
    const QPoint inParent = inner->mapTo(parent, QPoint(client.x, client.y));
    const QObjectList& siblings = parent->children();
    const qsizetype own = siblings.indexOf(window->outer);
    for (qsizetype i = own + 1; i < siblings.size(); ++i) {
      const auto* sibling = qobject_cast<const QWidget*>(siblings[i]);
      if (sibling != nullptr && sibling->isVisible() && sibling->geometry().contains(inParent)) {
        return platform::kInvalidPixel;
      }
    }
  }
  if (auto* surface = dynamic_cast<SurfaceWidget*>(inner)) return surface->ShownPixel(client);
  const QImage shot = inner->grab(QRect(client.x, client.y, 1, 1)).toImage();
  return shot.isNull() ? platform::kInvalidPixel : FromQRgb(shot.pixel(0, 0));
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

}  // namespace tinctora::qtb
