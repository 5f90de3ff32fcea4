// Windows and the system's controls on Qt Widgets: the top-level window, the
// custom-drawn surfaces, edit boxes on QLineEdit, sliders on QSlider and
// group frames on QGroupBox.

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPalette>

#include <QThread>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "platform/qt/qt_services.h"

namespace tinctora::qtb {

namespace {

// What a custom-drawn window shows is kept in the program's own pixel order
// (red in the lowest byte, the top byte unused), which Qt reads as RGBX:
// the program's images are copied row by row, and Qt converts them only
// when it paints.
constexpr QImage::Format kSurfaceFormat = QImage::Format_RGBX8888;
static_assert(Q_BYTE_ORDER == Q_LITTLE_ENDIAN, "the program's pixels are RGBX bytes in memory");

// The plain one-pixel frame a bordered control has outside its client area.
constexpr QRgb kBorderColour = qRgb(0x64, 0x64, 0x64);

QRect ToQRect(const Rect& r) { return QRect(r.left, r.top, std::max(0, r.Width()), std::max(0, r.Height())); }

Rect FromQRect(const QRect& r) { return {r.x(), r.y(), r.x() + r.width(), r.y() + r.height()}; }

xcb_atom_t Atom(xcb_connection_t* c, const char* name) {
  xcb_intern_atom_reply_t* reply =
      xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, static_cast<std::uint16_t>(std::strlen(name)), name), nullptr);
  const xcb_atom_t atom = reply != nullptr ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
  std::free(reply);
  return atom;
}

// Whether the window manager lists `atom` in the root's _NET_SUPPORTED.
bool ManagerSupports(xcb_connection_t* c, xcb_window_t root, xcb_atom_t atom) {
  xcb_get_property_reply_t* reply = xcb_get_property_reply(
      c, xcb_get_property(c, 0, root, Atom(c, "_NET_SUPPORTED"), XCB_ATOM_ATOM, 0, 4096), nullptr);
  bool found = false;
  if (reply != nullptr && reply->format == 32) {
    const auto* atoms = static_cast<const xcb_atom_t*>(xcb_get_property_value(reply));
    const int count = xcb_get_property_value_length(reply) / 4;
    found = std::find(atoms, atoms + count, atom) != atoms + count;
  }
  std::free(reply);
  return found;
}

// The frame the window manager will put around a window not yet mapped
// (_NET_REQUEST_FRAME_EXTENTS), so that the window can be centred by its
// outer size. None when there is no manager or it does not answer at once.
QMargins AnnouncedFrame(xcb_connection_t* c, xcb_window_t root, xcb_window_t window) {
  const xcb_atom_t request = Atom(c, "_NET_REQUEST_FRAME_EXTENTS");
  const xcb_atom_t extents = Atom(c, "_NET_FRAME_EXTENTS");
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
    xcb_get_property_reply_t* reply =
        xcb_get_property_reply(c, xcb_get_property(c, 0, window, extents, XCB_ATOM_CARDINAL, 0, 4), nullptr);
    QMargins frame;
    bool answered = false;
    if (reply != nullptr && reply->format == 32 && xcb_get_property_value_length(reply) == 16) {
      const auto* v = static_cast<const std::uint32_t*>(xcb_get_property_value(reply));
      frame = QMargins(static_cast<int>(v[0]), static_cast<int>(v[2]), static_cast<int>(v[1]), static_cast<int>(v[3]));
      answered = true;
    }
    std::free(reply);
    if (answered) return frame;
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

// The longest prefix of a GBK text of at most `limit` bytes that keeps its
// characters whole.
std::size_t WholeCharacters(TextView gbk, std::size_t limit) {
  std::size_t at = 0;
  while (at < gbk.size()) {
    const std::size_t length = static_cast<unsigned char>(gbk[at]) >= 0x81 && at + 1 < gbk.size() ? 2 : 1;
    if (at + length > limit) break;
    at += length;
  }
  return at;
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

// Every mouse message of a client widget goes to the sink first.
class MouseForwarder : public QObject {
 public:
  MouseForwarder(Registry& registry, QObject* parent) : QObject(parent), registry_(registry) {}

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    auto* widget = qobject_cast<QWidget*>(watched);
    return widget != nullptr && registry_.ForwardMouse(widget, event);
  }

 private:
  Registry& registry_;
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
    const int key = VirtualKeyOf(event->key());
    NativeWindow* focus = registry_.Owning(QApplication::focusWidget());
    if (key != 0 && registry_.sink != nullptr && registry_.sink->OnKeyDown(focus != nullptr ? focus->id : id_, key)) {
      event->accept();
      return;
    }
    event->ignore();
  }

 private:
  Registry& registry_;
  WindowId id_ = 0;
};

// An edit box. What it takes is the program's decision: every typed
// character and every paste is offered to EventSink::AcceptedBytes first,
// and the box has no length limit of its own.
class EditWidget : public QLineEdit, public Deferred {
 public:
  EditWidget(Registry& registry, QWidget* parent) : QLineEdit(parent), registry_(registry) {
    setFrame(false);
    setDragEnabled(false);
    setAcceptDrops(false);
    connect(this, &QLineEdit::textChanged, this, [this] {
      if (registry_.sink != nullptr) registry_.sink->OnEditChanged(id_);
    });
  }
  void SetId(WindowId id) { id_ = id; }

  // A program write: the program reads it back at once, the box shows it
  // with the next frame.
  void Write(TextView text) {
    pending_ = Text(text);
    registry_.Defer(id_);
  }
  Text Read() const { return pending_ ? *pending_ : ToGbk(this->text()); }
  void FlushNative() override {
    if (!pending_) return;
    const QString text = FromGbk(*pending_);
    pending_.reset();
    // An unchanged text is not set again: setting it costs a relayout.
    if (text == this->text()) return;
    const QSignalBlocker quiet(this);
    setText(text);
  }

  // Offers `text` in place of the selection; inserts the part the program takes.
  void Offer(const QString& text, platform::Insertion how) {
    if (isReadOnly() || registry_.sink == nullptr) return;
    const Text gbk = ToGbk(text);
    if (gbk.empty()) return;
    const std::size_t whole = ToGbk(this->text()).size();
    const std::size_t selected = hasSelectedText() ? ToGbk(selectedText()).size() : 0;
    const std::size_t accepted = registry_.sink->AcceptedBytes(id_, gbk, whole - selected, how);
    const std::size_t taken = WholeCharacters(gbk, std::min(accepted, gbk.size()));
    if (taken == 0) return;
    insert(FromGbk(TextView(gbk).substr(0, taken)));
  }

  void PasteFrom(QClipboard::Mode mode) {
    // The whole text is offered: how much of it a box takes is the program's rule.
    Offer(QGuiApplication::clipboard()->text(mode), platform::Insertion::Pasted);
  }

 protected:
  bool event(QEvent* event) override {
    // The user works on the text the program last wrote.
    switch (event->type()) {
      case QEvent::KeyPress:
      case QEvent::ShortcutOverride:
      case QEvent::InputMethod:
      case QEvent::MouseButtonPress:
      case QEvent::MouseButtonDblClick:
      case QEvent::ContextMenu:
      case QEvent::FocusIn: FlushNative(); break;
      default: break;
    }
    return QLineEdit::event(event);
  }
  void keyPressEvent(QKeyEvent* event) override {
    if (event->matches(QKeySequence::Paste)) {
      PasteFrom(QClipboard::Clipboard);
      event->accept();
      return;
    }
    const QString text = event->text();
    const bool command = event->modifiers() & (Qt::ControlModifier | Qt::MetaModifier);
    const bool printable = !text.isEmpty() && std::all_of(text.begin(), text.end(), [](QChar c) { return c.isPrint(); });
    if (printable && !command) {
      // One character at a time, as the keyboard delivers them.
      for (const char32_t c : text.toUcs4()) Offer(QString::fromUcs4(&c, 1), platform::Insertion::Typed);
      event->accept();
      return;
    }
    QLineEdit::keyPressEvent(event);
  }
  void inputMethodEvent(QInputMethodEvent* event) override {
    const QString commit = event->commitString();
    if (commit.isEmpty()) {
      QLineEdit::inputMethodEvent(event);
      return;
    }
    for (const char32_t c : commit.toUcs4()) Offer(QString::fromUcs4(&c, 1), platform::Insertion::Typed);
    event->accept();
  }
  void mouseReleaseEvent(QMouseEvent* event) override {
    // The middle button pastes the primary selection on X11.
    if (event->button() == Qt::MiddleButton) {
      PasteFrom(QClipboard::Selection);
      event->accept();
      return;
    }
    QLineEdit::mouseReleaseEvent(event);
  }
  // The box's own menu, with Paste going through the program like Ctrl+V.
  void contextMenuEvent(QContextMenuEvent* event) override {
    QMenu menu(this);
    const bool writable = !isReadOnly();
    const bool selection = hasSelectedText();
    const auto add = [&menu](const QString& text, QKeySequence::StandardKey key, bool enabled, auto slot) {
      QAction* action = menu.addAction(text, slot);
      action->setShortcut(QKeySequence(key));
      action->setEnabled(enabled);
    };
    add(tr("&Undo"), QKeySequence::Undo, writable && isUndoAvailable(), [this] { undo(); });
    add(tr("&Redo"), QKeySequence::Redo, writable && isRedoAvailable(), [this] { redo(); });
    menu.addSeparator();
    add(tr("Cu&t"), QKeySequence::Cut, writable && selection && echoMode() == Normal, [this] { cut(); });
    add(tr("&Copy"), QKeySequence::Copy, selection && echoMode() == Normal, [this] { copy(); });
    add(tr("&Paste"), QKeySequence::Paste, writable && !QGuiApplication::clipboard()->text().isEmpty(),
        [this] { PasteFrom(QClipboard::Clipboard); });
    add(tr("Delete"), QKeySequence::Delete, writable && selection, [this] { del(); });
    menu.addSeparator();
    add(tr("Select All"), QKeySequence::SelectAll, !text().isEmpty() && selectedText() != text(), [this] { selectAll(); });
    menu.exec(event->globalPos());
  }

 private:
  Registry& registry_;
  WindowId id_ = 0;
  std::optional<Text> pending_;
};

// A horizontal track bar whose keys and notifications follow the Windows
// track bar: Left, Up and PageUp toward the minimum.
class SliderWidget : public QSlider, public Deferred {
 public:
  SliderWidget(Registry& registry, QWidget* parent, const platform::SliderSettings& s)
      : QSlider(Qt::Horizontal, parent), registry_(registry) {
    setRange(s.minimum, s.maximum);
    setValue(std::clamp(s.position, s.minimum, s.maximum));
    setSingleStep(s.lineStep);
    setPageStep(s.pageStep);
    setTickPosition(QSlider::TicksAbove);
    setTickInterval(s.tickFrequency);
    connect(this, &QAbstractSlider::actionTriggered, this, [this](int action) {
      // The user's action moves the thumb from where it is shown; a program
      // write still waiting for the frame is older than it and gives way.
      pending_.reset();
      Notify(CodeOf(action));
    });
  }
  void SetId(WindowId id) { id_ = id; }

  // A program write: read back at once, shown with the next frame.
  void Write(int position) {
    pending_ = std::clamp(position, minimum(), maximum());
    registry_.Defer(id_);
  }
  // During a notification the thumb has moved and the value not yet.
  int Read() const { return pending_ ? *pending_ : sliderPosition(); }
  void FlushNative() override {
    if (!pending_) return;
    const int position = *pending_;
    pending_.reset();
    const QSignalBlocker quiet(this);
    setValue(position);
  }

 protected:
  bool event(QEvent* event) override {
    switch (event->type()) {
      case QEvent::KeyPress:
      case QEvent::MouseButtonPress:
      case QEvent::MouseButtonDblClick:
      case QEvent::Wheel: FlushNative(); break;
      default: break;
    }
    return QSlider::event(event);
  }
  void keyPressEvent(QKeyEvent* event) override {
    SliderAction action = SliderNoAction;
    switch (event->key()) {
      case Qt::Key_Left:
      case Qt::Key_Up: action = SliderSingleStepSub; break;
      case Qt::Key_Right:
      case Qt::Key_Down: action = SliderSingleStepAdd; break;
      case Qt::Key_PageUp: action = SliderPageStepSub; break;
      case Qt::Key_PageDown: action = SliderPageStepAdd; break;
      case Qt::Key_Home: action = SliderToMinimum; break;
      case Qt::Key_End: action = SliderToMaximum; break;
      default: event->ignore(); return;
    }
    triggerAction(action);
    Notify(platform::ScrollCode::EndScroll);
    event->accept();
  }
  void mouseReleaseEvent(QMouseEvent* event) override {
    const bool dragging = isSliderDown();
    QSlider::mouseReleaseEvent(event);
    if (event->button() != Qt::LeftButton) return;
    if (dragging) Notify(platform::ScrollCode::ThumbPosition);
    Notify(platform::ScrollCode::EndScroll);
  }

 private:
  static std::optional<platform::ScrollCode> CodeOf(int action) {
    using platform::ScrollCode;
    switch (action) {
      case SliderSingleStepSub: return ScrollCode::LineUp;
      case SliderSingleStepAdd: return ScrollCode::LineDown;
      case SliderPageStepSub: return ScrollCode::PageUp;
      case SliderPageStepAdd: return ScrollCode::PageDown;
      case SliderToMinimum: return ScrollCode::Top;
      case SliderToMaximum: return ScrollCode::Bottom;
      case SliderMove: return ScrollCode::ThumbTrack;
      default: return std::nullopt;
    }
  }
  void Notify(std::optional<platform::ScrollCode> code) {
    if (code && registry_.sink != nullptr) registry_.sink->OnSliderScroll(id_, *code);
  }

  Registry& registry_;
  WindowId id_ = 0;
  std::optional<int> pending_;
};

}  // namespace

// ---- Registry ----------------------------------------------------------------

NativeWindow& Registry::Add(std::unique_ptr<NativeWindow> window) {
  window->id = next_++;
  NativeWindow& made = *window;
  byWidget_[made.inner] = made.id;
  byWidget_[made.outer] = made.id;
  windows_.emplace(made.id, std::move(window));
  return made;
}

NativeWindow* Registry::Find(WindowId id) const {
  const auto it = windows_.find(id);
  return it == windows_.end() ? nullptr : it->second.get();
}

void Registry::Remove(WindowId id) {
  const auto it = windows_.find(id);
  if (it == windows_.end()) return;
  byWidget_.erase(it->second->inner);
  byWidget_.erase(it->second->outer);
  if (capture == id) capture = 0;
  windows_.erase(it);
}

std::vector<NativeWindow*> Registry::All() const {
  std::vector<NativeWindow*> all;
  all.reserve(windows_.size());
  for (const auto& [id, window] : windows_) all.push_back(window.get());
  return all;
}

void Registry::Defer(WindowId id) {
  if (std::find(deferred_.begin(), deferred_.end(), id) == deferred_.end()) deferred_.push_back(id);
  if (!frame_) {
    frame_ = std::make_unique<QTimer>();
    frame_->setSingleShot(true);
    frame_->setTimerType(Qt::PreciseTimer);
    // About one frame of a 60 Hz display.
    frame_->setInterval(16);
    QObject::connect(frame_.get(), &QTimer::timeout, [this] { FlushFrame(); });
  }
  if (!frame_->isActive()) frame_->start();
}

void Registry::FlushFrame() {
  if (frame_) frame_->stop();
  // A flush can defer again (a repaint asks the program, which may write).
  std::vector<WindowId> due;
  due.swap(deferred_);
  for (const WindowId id : due) {
    if (NativeWindow* window = Find(id); window != nullptr && window->deferred != nullptr) {
      window->deferred->FlushNative();
    }
  }
}

NativeWindow* Registry::Owning(const QWidget* widget) const {
  for (const QWidget* w = widget; w != nullptr; w = w->parentWidget()) {
    const auto it = byWidget_.find(w);
    if (it != byWidget_.end()) return Find(it->second);
  }
  return nullptr;
}

bool Registry::ForwardMouse(QWidget* widget, QEvent* event) {
  switch (event->type()) {
    case QEvent::MouseMove:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseButtonRelease: break;
    default: return false;
  }
  const auto* mouse = static_cast<const QMouseEvent*>(event);
  platform::MouseAction action;
  switch (event->type()) {
    case QEvent::MouseMove: action = platform::MouseAction::Move; break;
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
      if (mouse->button() == Qt::LeftButton) action = platform::MouseAction::LeftDown;
      else if (mouse->button() == Qt::RightButton) action = platform::MouseAction::RightDown;
      else return false;
      break;
    case QEvent::MouseButtonRelease:
      if (mouse->button() == Qt::LeftButton) action = platform::MouseAction::LeftUp;
      else if (mouse->button() == Qt::RightButton) action = platform::MouseAction::RightUp;
      else return false;
      break;
    default: return false;
  }
  NativeWindow* window = Owning(widget);
  if (window == nullptr || sink == nullptr) return false;
  platform::MouseMessage message;
  message.target = window->id;
  const QPoint at = window->inner->mapFromGlobal(mouse->globalPosition().toPoint());
  message.client = {at.x(), at.y()};
  message.action = action;
  message.keys = ModifierBitsOf(mouse->modifiers());
  if (action == platform::MouseAction::Move) ++motions.handled;
  const QPointF global = mouse->globalPosition();
  const std::optional<Point> outer = dispatchedPointer;
  dispatchedPointer = Point{static_cast<int>(std::floor(global.x())), static_cast<int>(std::floor(global.y()))};
  const bool passOn = sink->OnMouse(message);
  dispatchedPointer = outer;
  // A custom-drawn window has no native behaviour to pass the message to.
  return !passOn || window->kind == platform::NativeKind::Surface;
}

int ModifierBitsOf(Qt::KeyboardModifiers modifiers) {
  int bits = 0;
  if (modifiers & Qt::ControlModifier) bits |= platform::ModCtrl;
  if (modifiers & Qt::ShiftModifier) bits |= platform::ModShift;
  if (modifiers & Qt::AltModifier) bits |= platform::ModAlt;
  return bits;
}

int VirtualKeyOf(int qtKey) {
  switch (qtKey) {
    case Qt::Key_Backspace: return platform::KeyBackspace;
    case Qt::Key_Tab: return platform::KeyTab;
    case Qt::Key_Return:
    case Qt::Key_Enter: return platform::KeyReturn;
    case Qt::Key_Escape: return platform::KeyEscape;
    case Qt::Key_PageUp: return platform::KeyPageUp;
    case Qt::Key_PageDown: return platform::KeyPageDown;
    case Qt::Key_End: return platform::KeyEnd;
    case Qt::Key_Home: return platform::KeyHome;
    case Qt::Key_Left: return platform::KeyLeft;
    case Qt::Key_Up: return platform::KeyUp;
    case Qt::Key_Right: return platform::KeyRight;
    case Qt::Key_Down: return platform::KeyDown;
    case Qt::Key_Delete: return platform::KeyDelete;
    case Qt::Key_Space: return 0x20;
    default: break;
  }
  if ((qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9) || (qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z)) return qtKey;
  if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F24) return 0x70 + (qtKey - Qt::Key_F1);
  return 0;
}

// ---- SurfaceWidget ---------------------------------------------------------------

SurfaceWidget::SurfaceWidget(Registry& registry, QWidget* parent, Qt::WindowFlags flags)
    : QWidget(parent, flags), registry_(registry) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  setAttribute(Qt::WA_NoSystemBackground);
}

void SurfaceWidget::TakePresent(const Image& client) {
  QImage shown(client.Width(), client.Height(), kSurfaceFormat);
  const auto bytes = static_cast<std::size_t>(client.Width()) * sizeof(Pixel);
  for (int y = 0; y < client.Height(); ++y) std::memcpy(shown.scanLine(y), client.Row(y), bytes);
  shown_ = std::move(shown);
  dirty_ = false;
  if (!inPaint_) RequestUpdate();
}

void SurfaceWidget::RequestUpdate() {
  updatePending_ = true;
  registry_.Defer(id_);
}

void SurfaceWidget::FlushNative() {
  if (updatePending_) {
    // A whole repaint asks the program again, which replaces any direct drawing.
    updatePending_ = false;
    directPending_ = QRegion();
    update();
    return;
  }
  if (directPending_.isEmpty()) return;
  const QRegion area = directPending_;
  directPending_ = QRegion();
  direct_ = true;
  repaint(area);
  direct_ = false;
}

void SurfaceWidget::DrawDirect(const Image& pixels, Point at) {
  if (shown_.size() != size() || shown_.format() != kSurfaceFormat) {
    QImage resized(size(), kSurfaceFormat);
    resized.fill(Qt::black);
    shown_ = std::move(resized);
  }
  const QRect area = QRect(at.x, at.y, pixels.Width(), pixels.Height()).intersected(rect());
  if (area.isEmpty()) return;
  const auto bytes = static_cast<std::size_t>(area.width()) * sizeof(Pixel);
  for (int y = area.top(); y <= area.bottom(); ++y) {
    std::memcpy(shown_.scanLine(y) + area.left() * sizeof(Pixel), pixels.Row(y - at.y) + (area.left() - at.x), bytes);
  }
  // Shown with the next frame and not kept: the next paint asks the program again.
  directPending_ += area;
  registry_.Defer(id_);
}

Pixel SurfaceWidget::ShownPixel(Point client) const {
  if (!shown_.rect().contains(client.x, client.y)) return platform::kInvalidPixel;
  return FromQRgb(shown_.pixel(client.x, client.y));
}

void SurfaceWidget::paintEvent(QPaintEvent* event) {
  if (!direct_ && registry_.sink != nullptr) {
    inPaint_ = true;
    registry_.sink->OnPaint(id_);
    inPaint_ = false;
  }
  QPainter painter(this);
  if (shown_.isNull()) {
    painter.fillRect(event->rect(), palette().color(QPalette::Window));
    return;
  }
  painter.drawImage(event->rect(), shown_, event->rect());
}

void SurfaceWidget::keyPressEvent(QKeyEvent* event) {
  // A popup takes its own keys; elsewhere they go up to the top level.
  const int key = VirtualKeyOf(event->key());
  if (isWindow() && key != 0 && registry_.sink != nullptr && registry_.sink->OnKeyDown(id_, key)) {
    event->accept();
    return;
  }
  event->ignore();
}

void SurfaceWidget::closeEvent(QCloseEvent* event) {
  event->accept();
  if (!closingByProgram && onDismissed) onDismissed();
}

// ---- QtWindows ---------------------------------------------------------------------

QtWindows::QtWindows(Registry& registry) : registry_(registry) {}

QtWindows::~QtWindows() {
  std::vector<WindowId> tops;
  for (const NativeWindow* window : registry_.All()) {
    if (window->topLevel) tops.push_back(window->id);
  }
  for (const WindowId top : tops) RemoveTree(top, true);
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
  const Qt::FocusPolicy focus = params.tabStop ? Qt::StrongFocus : Qt::ClickFocus;
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
  inner->setMouseTracking(true);
  inner->installEventFilter(new MouseForwarder(registry_, inner));
  window->deferred = dynamic_cast<Deferred*>(inner);
  NativeWindow& made = registry_.Add(std::move(window));
  if (auto* s = dynamic_cast<SurfaceWidget*>(inner)) s->SetId(made.id);
  if (auto* e = dynamic_cast<EditWidget*>(inner)) e->SetId(made.id);
  if (auto* s = dynamic_cast<SliderWidget*>(inner)) s->SetId(made.id);
  // Created hidden; SetVisible shows it.
  made.outer->hide();
  SetBounds(made.id, params.bounds);
  return made.id;
}

void QtWindows::RemoveTree(WindowId id, bool now) {
  NativeWindow* top = registry_.Find(id);
  if (top == nullptr) return;
  QWidget* widget = top->outer;
  for (NativeWindow* window : registry_.All()) {
    if (window != top && widget->isAncestorOf(window->outer)) registry_.Remove(window->id);
  }
  registry_.Remove(id);
  widget->hide();
  if (now) {
    delete widget;
  } else {
    // The window may be handling one of its own events now: it goes once that returns.
    widget->deleteLater();
  }
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
  if (auto* surface = dynamic_cast<SurfaceWidget*>(window->inner)) surface->MarkDirty();
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
    surface->MarkDirty();
    surface->RequestUpdate();
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
  // A native control shows what the program last wrote.
  if (window->deferred != nullptr) window->deferred->FlushNative();
  const QImage shot = inner->grab(QRect(client.x, client.y, 1, 1)).toImage();
  return shot.isNull() ? platform::kInvalidPixel : FromQRgb(shot.pixel(0, 0));
}

void QtWindows::SetEditText(WindowId id, TextView text) {
  NativeWindow* window = registry_.Find(id);
  auto* edit = window != nullptr ? dynamic_cast<EditWidget*>(window->inner) : nullptr;
  if (edit == nullptr) return;
  edit->Write(text);
  // Reported once, also when the text did not change.
  if (registry_.sink != nullptr) registry_.sink->OnEditChanged(id);
}

Text QtWindows::EditText(WindowId id) const {
  const NativeWindow* window = registry_.Find(id);
  const auto* edit = window != nullptr ? dynamic_cast<const EditWidget*>(window->inner) : nullptr;
  return edit == nullptr ? Text() : edit->Read();
}

void QtWindows::SetSliderPosition(WindowId id, int position) {
  NativeWindow* window = registry_.Find(id);
  auto* slider = window != nullptr ? dynamic_cast<SliderWidget*>(window->inner) : nullptr;
  if (slider != nullptr) slider->Write(position);
}

int QtWindows::SliderPosition(WindowId id) const {
  const NativeWindow* window = registry_.Find(id);
  const auto* slider = window != nullptr ? dynamic_cast<const SliderWidget*>(window->inner) : nullptr;
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
