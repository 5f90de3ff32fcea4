// The Wayland screen: frozen pictures of the outputs during a pick, shown
// in full-screen windows of the program; the program's own pixels outside
// a pick. See wl_screen.h for how a pick maps onto the seam.

#include "platform/qt/wayland/wl_screen.h"

#include <QGuiApplication>
#include <QEnterEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QScreen>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "platform/qt/wayland/frozen_layout.h"
#include "platform/qt/wayland/portal.h"
#include "platform/qt/wayland/screencopy.h"

namespace tinctora::qtb {

// ---- the overlay ---------------------------------------------------------------------

// One output's frozen picture, full-screen on that output, with the pick's
// cursor; after a nudge, a frame around the virtual pointer's pixel.
class FrozenView final : public QWidget {
 public:
  FrozenView(WaylandScreen& owner, std::size_t index, QScreen* screen, const QImage& picture, double scale)
      : owner_(owner), index_(index), picture_(picture), scale_(scale) {
    setWindowTitle(QStringLiteral("Tinctora pick"));
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_DeleteOnClose, false);
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    setScreen(screen);
    setGeometry(screen->geometry());
  }

  // Shows the program's window live at a place of this output (logical
  // units), over the frozen picture of it.
  void ShowLive(QWidget* window, QPointF at) {
    live_ = window;
    liveAt_ = at;
    UpdateLive();
  }
  void UpdateLive() {
    if (live_) update(QRectF(liveAt_, QSizeF(live_->size())).toAlignedRect());
  }

  // The virtual pointer's pixel on this output's picture, or none.
  void MarkPixel(std::optional<QPoint> pixel) {
    if (mark_ == pixel) return;
    mark_ = pixel;
    update();
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    // The picture's physical pixels over the window's logical area.
    painter.drawImage(QRectF(rect()), picture_);
    if (live_) {
      // The program's own window as it is now: the pick's readout, live.
      painter.save();
      painter.translate(liveAt_);
      live_->render(&painter, QPoint(), QRegion(), QWidget::DrawWindowBackground | QWidget::DrawChildren);
      painter.restore();
    }
    if (mark_) {
      // Two square rings centred on the pixel, in the picture's pixels: black
      // two pixels out, white three out, so the frame shows on any ground.
      painter.scale(1.0 / scale_, 1.0 / scale_);
      const auto ring = [&painter, this](int out, const QColor& colour) {
        const int x = mark_->x(), y = mark_->y(), side = 2 * out + 1;
        painter.fillRect(QRectF(x - out, y - out, side, 1), colour);
        painter.fillRect(QRectF(x - out, y + out, side, 1), colour);
        painter.fillRect(QRectF(x - out, y - out, 1, side), colour);
        painter.fillRect(QRectF(x + out, y - out, 1, side), colour);
      };
      ring(2, Qt::black);
      ring(3, Qt::white);
    }
    if (!painted_) {
      painted_ = true;
      owner_.OverlayPainted();
    }
  }
  // The window's position of an event keeps the compositor's fraction of a
  // unit, which a physical pixel at a scale above 1 needs; Qt 6.4 rounds
  // the widget's one to whole units.
  void mouseMoveEvent(QMouseEvent* e) override {
    owner_.OverlayEntered(index_, e->scenePosition());
    owner_.OverlayPointer(index_, e->scenePosition(), WaylandScreen::OverlayButton::None, e->modifiers());
  }
  void enterEvent(QEnterEvent* e) override { owner_.OverlayEntered(index_, e->scenePosition()); }
  void mousePressEvent(QMouseEvent* e) override {
    // The press only takes the pick there: the release ends it.
    owner_.OverlayPointer(index_, e->scenePosition(), WaylandScreen::OverlayButton::Press, e->modifiers());
  }
  void mouseReleaseEvent(QMouseEvent* e) override {
    if (e->button() != Qt::LeftButton) return;
    owner_.OverlayPointer(index_, e->scenePosition(), WaylandScreen::OverlayButton::Release, e->modifiers());
  }
  void mouseDoubleClickEvent(QMouseEvent* e) override { mousePressEvent(e); }
  void keyPressEvent(QKeyEvent* e) override { owner_.OverlayKey(e->key(), e->modifiers()); }
  void closeEvent(QCloseEvent* e) override {
    // The compositor asked the overlay to go: the pick has lost it.
    e->ignore();
    owner_.OverlayLost();
  }

 private:
  WaylandScreen& owner_;
  std::size_t index_;
  QImage picture_;
  double scale_;
  std::optional<QPoint> mark_;
  QPointer<QWidget> live_;
  QPointF liveAt_;
  bool painted_ = false;
};

// A repaint the program's window asks for during a pick shows on the
// overlay that shows the window live (the window itself lies under the
// overlay, where the compositor may not let it paint at all); the
// movements' own repaints are shown as they are delivered.
class LiveUpdates final : public QObject {
 public:
  explicit LiveUpdates(WaylandScreen& owner) : owner_(owner) {}

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::UpdateRequest || event->type() == QEvent::UpdateLater) owner_.LiveWindowChanged();
    if (event->type() == QEvent::Hide) owner_.PickWindowGone();
    return false;
  }

 private:
  WaylandScreen& owner_;
};

void WaylandScreen::PickWindowGone() {
  // The program hid or destroyed the window the pick started in: the
  // overlays go with it. The program, which did it, is not told.
  if (!frozen_.empty() || waiting_) Thaw();
}

void WaylandScreen::LiveWindowChanged() {
  for (const std::unique_ptr<FrozenView>& view : overlays_) view->UpdateLive();
}

// ---- hot keys ------------------------------------------------------------------------

bool WaylandHotKeys::Register(WindowId owner, int nativeId, int modifiers, int virtualKey) {
  if (virtualKey == 0) return false;
  for (const auto& [key, held] : keys_) {
    if (held == std::pair{modifiers, virtualKey}) return false;  // taken already
  }
  keys_[{owner, nativeId}] = {modifiers, virtualKey};
  return true;
}

bool WaylandHotKeys::Unregister(WindowId owner, int nativeId) { return keys_.erase({owner, nativeId}) > 0; }

std::optional<QtHotKeys::Hit> WaylandHotKeys::Match(int modifiers, int virtualKey) const {
  for (const auto& [key, held] : keys_) {
    if (held == std::pair{modifiers, virtualKey}) return QtHotKeys::Hit{key.first, key.second};
  }
  return std::nullopt;
}

// ---- the screen ------------------------------------------------------------------------

namespace {

CaptureWay CaptureWayFromEnvironment() {
  const QByteArray named = qgetenv("TINCTORA_WAYLAND_CAPTURE").trimmed().toLower();
  if (named == "screencopy") return CaptureWay::Screencopy;
  if (named == "portal") return CaptureWay::Portal;
  if (named == "pickcolor") return CaptureWay::PickColour;
  if (!named.isEmpty() && named != "auto") {
    std::fprintf(stderr, "tinctora: TINCTORA_WAYLAND_CAPTURE=%s is not screencopy, portal or pickcolor; trying each\n",
                 named.constData());
  }
  return CaptureWay::Automatic;
}

// A rectangle of a screen in the program's window coordinates (outside a
// pick), as Qt places the program's windows: the screen's corner where it
// lies in the layout, device pixels from there.
Rect OnScreenInDevicePixels(const QScreen& screen, const QRect& logical) {
  const QPoint corner = screen.geometry().topLeft();
  const double dpr = screen.devicePixelRatio();
  const auto edge = [dpr](int from, int at) { return from + static_cast<int>(std::floor((at - from) * dpr + 0.5)); };
  return {edge(corner.x(), logical.left()), edge(corner.y(), logical.top()), edge(corner.x(), logical.right() + 1),
          edge(corner.y(), logical.bottom() + 1)};
}

}  // namespace

WaylandScreen::WaylandScreen(Registry& registry, QtWindows& windows, const WaylandHotKeys& hotKeys)
    : registry_(registry),
      windows_(windows),
      hotKeys_(hotKeys),
      way_(CaptureWayFromEnvironment()),
      context_(std::make_unique<QObject>()),
      pickContext_(std::make_unique<QObject>()),
      liveUpdates_(std::make_unique<LiveUpdates>(*this)) {
  // The overlay losing the keyboard to another program loses the pick. Qt
  // reports the program inactive for a moment while the keyboard passes
  // between two of its own windows: the pick ends only if it stays so.
  QObject::connect(qApp, &QGuiApplication::applicationStateChanged, context_.get(), [this](Qt::ApplicationState s) {
    if (s == Qt::ApplicationActive || frozen_.empty()) return;
    QTimer::singleShot(200, context_.get(), [this] {
      if (!frozen_.empty() && QGuiApplication::applicationState() != Qt::ApplicationActive) OverlayLost();
    });
  });
}

WaylandScreen::~WaylandScreen() { overlays_.clear(); }

std::vector<platform::Display> WaylandScreen::Displays() const {
  std::vector<platform::Display> displays;
  if (!frozen_.empty()) {
    // The scale is the one the program's windows are shown at there.
    for (const Frozen& f : frozen_) {
      displays.push_back({f.bounds, f.bounds, f.screen ? f.screen->devicePixelRatio() : f.scale});
    }
    return displays;
  }
  const QScreen* primary = QGuiApplication::primaryScreen();
  for (const QScreen* screen : QGuiApplication::screens()) {
    const Rect bounds = OnScreenInDevicePixels(*screen, screen->geometry());
    const Rect area = OnScreenInDevicePixels(*screen, screen->availableGeometry());
    const platform::Display display{bounds, area.Empty() ? bounds : area, screen->devicePixelRatio()};
    if (screen == primary) {
      displays.insert(displays.begin(), display);
    } else {
      displays.push_back(display);
    }
  }
  return displays;
}

const WaylandScreen::Frozen* WaylandScreen::OutputAt(Point at) const {
  for (const Frozen& f : frozen_) {
    if (f.bounds.Contains(at.x, at.y)) return &f;
  }
  return nullptr;
}

colour::ColourValue WaylandScreen::PixelAt(Point at) const {
  if (colourOnly_) return static_cast<colour::ColourValue>(*colourOnly_);
  if (!frozen_.empty()) {
    const Frozen* f = OutputAt(at);
    if (f == nullptr) return colour::InvalidColour;
    return static_cast<colour::ColourValue>(FromQRgb(f->picture.pixel(at.x - f->bounds.left, at.y - f->bounds.top)));
  }
  // Outside a pick the program's own windows are all there is to read: the
  // topmost window of the program's there, as it is shown.
  for (NativeWindow* window : registry_.All()) {
    if (!window->topLevel && !window->popup) continue;
    if (!window->outer->isVisible()) continue;
    const Rect client = ScreenClient(registry_, *window);
    if (!client.Contains(at.x, at.y)) continue;
    NativeWindow* under = WindowAt(registry_, *window, {at.x - client.left, at.y - client.top});
    if (under == nullptr) under = window;
    const Rect area = ScreenClient(registry_, *under);
    const Pixel p = windows_.VisiblePixel(under->id, {at.x - area.left, at.y - area.top});
    if (p == platform::kInvalidPixel) continue;
    return static_cast<colour::ColourValue>(p);
  }
  return colour::InvalidColour;
}

bool WaylandScreen::ReadRect(const Rect& screen, Image& out) const {
  if (screen.Empty()) return false;
  const Frozen* f = OutputAt({screen.left, screen.top});
  if (f == nullptr || !f->bounds.Contains(screen.right - 1, screen.bottom - 1)) return false;
  out.Reset(screen.Width(), screen.Height());
  for (int y = 0; y < screen.Height(); ++y) {
    const auto* row = reinterpret_cast<const QRgb*>(f->picture.constScanLine(screen.top - f->bounds.top + y));
    Pixel* dst = out.Row(y);
    for (int x = 0; x < screen.Width(); ++x) dst[x] = FromQRgb(row[screen.left - f->bounds.left + x]);
  }
  return true;
}

std::optional<Point> WaylandScreen::CursorPos() const {
  if (registry_.dispatchedPointer) return *registry_.dispatchedPointer;
  if (Picking()) return virtual_;
  // Over the program's windows Qt knows where the pointer is; elsewhere,
  // where it last was.
  return PhysicalPoint(QCursor::pos());
}

void WaylandScreen::SetCursorPos(Point screen) {
  // No client may move the pointer: a pick moves its virtual pointer and
  // reports the movement, as the pointer's own movement would come.
  if (frozen_.empty()) return;
  virtual_ = screen;
  if (registry_.dispatchedPointer) registry_.dispatchedPointer = screen;
  for (std::size_t i = 0; i < overlays_.size(); ++i) {
    const Frozen& f = frozen_[i];
    overlays_[i]->MarkPixel(f.bounds.Contains(screen.x, screen.y)
                                ? std::optional<QPoint>(QPoint(screen.x - f.bounds.left, screen.y - f.bounds.top))
                                : std::nullopt);
  }
  if (movePending_) return;
  movePending_ = true;
  QTimer::singleShot(0, context_.get(), [this] {
    movePending_ = false;
    if (frozen_.empty()) return;
    ++registry_.motions.received;
    Deliver(platform::MouseAction::Move, virtual_, QGuiApplication::keyboardModifiers());
  });
}

bool WaylandScreen::PrimaryButtonDown() const {
  // A pick's button counts as held until the click on the overlay that
  // ends it.
  if (Picking()) return true;
  return (QGuiApplication::mouseButtons() & Qt::LeftButton) != 0;
}

void WaylandScreen::SetCapture(WindowId id) {
  NativeWindow* window = registry_.Find(id);
  if (window == nullptr) return;
  const WindowId old = registry_.capture;
  if (old == id) return;
  if (old != 0) EndCaptureLost();
  registry_.capture = id;
  Freeze();
}

void WaylandScreen::ReleaseCapture() {
  registry_.capture = 0;
  Thaw();
}

void WaylandScreen::Freeze() {
  ++pick_;
  started_.start();
  lastStart_ = {};
  virtual_ = CursorPos().value_or(Point{});
  // The program's window the pick started in: shown live on the overlay,
  // and the pick's end should it go away.
  if (const NativeWindow* holder = registry_.Find(registry_.capture)) {
    pickWindow_ = TopOf(registry_, *holder)->outer;
    livePlaced_ = false;
    pickWindow_->installEventFilter(liveUpdates_.get());
  }
  if (way_ == CaptureWay::Screencopy || (way_ == CaptureWay::Automatic && !screencopyFailed_)) {
    const OutputPictures pictures = CaptureOutputs();
    const QList<QScreen*> screens = QGuiApplication::screens();
    std::vector<Frozen> outputs;
    for (const OutputPicture& o : pictures.outputs) {
      // The toolkit's screen of the output: by name, else by place.
      QScreen* match = nullptr;
      for (QScreen* s : screens) {
        if (!o.name.isEmpty() && s->name() == o.name) match = s;
      }
      for (QScreen* s : screens) {
        if (match == nullptr && s->geometry().topLeft() == o.logicalPosition) match = s;
      }
      if (match == nullptr || o.picture.isNull()) continue;
      outputs.push_back({match, match->geometry(), {}, 1.0, o.picture});
    }
    if (!outputs.empty()) {
      lastStart_.way = "screencopy";
      FreezeWith(std::move(outputs));
      return;
    }
    std::fprintf(stderr, "tinctora: no screencopy: %s\n",
                 qPrintable(pictures.why.isEmpty() ? QStringLiteral("no output matched a screen") : pictures.why));
    // A compositor without screencopy will not have it at the next pick; a
    // copy that failed may work then.
    if (pictures.unavailable) screencopyFailed_ = true;
    if (way_ == CaptureWay::Screencopy) {
      // The pick has not begun yet: it is told it lost the capture once it has.
      const std::uint64_t pick = pick_;
      QTimer::singleShot(0, context_.get(), [this, pick] {
        if (pick == pick_) EndCaptureLost();
      });
      return;
    }
  }
  if (way_ == CaptureWay::PickColour) {
    AskPortalColour();
    return;
  }
  // From the press on, the pointer is the pick's: the press's own release,
  // which may come before the portal's picture, must not end it.
  waiting_ = true;
  registry_.pickOnOverlay = true;
  lastStart_.way = "portal";
  const std::uint64_t pick = pick_;
  RequestPortalScreenshot(pickContext_.get(), [this, pick](const QImage& picture, const QString& why) {
    if (!waiting_ || pick != pick_) return;
    waiting_ = false;
    FromPortal(picture, why);
  });
}

void WaylandScreen::AskPortalColour() {
  waiting_ = true;
  registry_.pickOnOverlay = true;
  lastStart_.way = "pickcolor";
  const std::uint64_t pick = pick_;
  RequestPortalColour(pickContext_.get(), [this, pick](std::optional<QColor> colour, const QString& why) {
    if (!waiting_ || pick != pick_) return;
    waiting_ = false;
    if (!colour) {
      std::fprintf(stderr, "tinctora: the desktop's colour picker gave no colour: %s\n", qPrintable(why));
      EndCaptureLost();
      return;
    }
    TakeColourOnly(*colour);
  });
}

void WaylandScreen::TakeColourOnly(const QColor& colour) {
  lastStart_.captureMs = static_cast<double>(started_.nsecsElapsed()) / 1e6;
  NativeWindow* holder = registry_.Find(registry_.capture);
  if (holder == nullptr) return;
  // The window says why a pick shows no zoom and no place of its own.
  if (QWidget* top = TopOf(registry_, *holder)->outer; top != nullptr) {
    const QString why = QStringLiteral(" \u2014 colours from the desktop's own picker: it lets no program read the screen");
    if (!top->windowTitle().endsWith(why)) top->setWindowTitle(top->windowTitle() + why);
  }
  // One movement to where the pick started, which reads the colour, and the
  // release that ends it.
  colourOnly_ = FromQRgb(colour.rgb());
  const WindowId holderId = holder->id;
  Deliver(platform::MouseAction::Move, virtual_, QGuiApplication::keyboardModifiers());
  if (registry_.capture == holderId) Deliver(platform::MouseAction::LeftUp, virtual_, QGuiApplication::keyboardModifiers());
  colourOnly_.reset();
}

void WaylandScreen::FromPortal(const QImage& picture, const QString& why) {
  if (picture.isNull()) {
    std::fprintf(stderr, "tinctora: the desktop portal gave no picture: %s\n", qPrintable(why));
    // A desktop without the portal's screenshots may still lend its own
    // colour picker; a screenshot refused or failed ends the pick.
    if (way_ == CaptureWay::Automatic && PortalUnavailable(why)) {
      AskPortalColour();
    } else {
      EndCaptureLost();
    }
    return;
  }
  // One picture of the whole desktop: each screen is cut out of it where
  // it lies in the layout, at the picture's scale.
  QRect all;
  const QList<QScreen*> screens = QGuiApplication::screens();
  for (const QScreen* s : screens) all = all.united(s->geometry());
  if (all.isEmpty()) {
    EndCaptureLost();
    return;
  }
  const QImage whole = picture.convertToFormat(QImage::Format_RGB32);
  const Rect desktop = RectOf(all);
  std::vector<Frozen> outputs;
  for (QScreen* s : screens) {
    const QRect g = s->geometry();
    const Rect cut = ScreenInDesktopPicture(RectOf(g), desktop, whole.width(), whole.height());
    if (cut.Empty()) continue;
    outputs.push_back({s, g, {}, 1.0, whole.copy(cut.left, cut.top, cut.Width(), cut.Height())});
  }
  if (outputs.empty()) {
    EndCaptureLost();
    return;
  }
  FreezeWith(std::move(outputs));
}

void WaylandScreen::FreezeWith(std::vector<Frozen> outputs) {
  lastStart_.captureMs = static_cast<double>(started_.nsecsElapsed()) / 1e6;
  std::vector<OutputPlace> places;
  for (const Frozen& f : outputs) places.push_back({RectOf(f.logical), f.picture.width(), f.picture.height()});
  const std::vector<FrozenPlace> placed = PlaceFrozenOutputs(places);
  for (std::size_t i = 0; i < outputs.size(); ++i) {
    outputs[i].bounds = placed[i].bounds;
    outputs[i].scale = placed[i].scale;
  }
  frozen_ = std::move(outputs);
  pointerPixel_.reset();
  // Where the pointer was, as near as the program's window knows it, until
  // the first movement over an overlay says.
  if (!OutputAt(virtual_)) virtual_ = {frozen_.front().bounds.left, frozen_.front().bounds.top};
  const NativeWindow* holder = registry_.Find(registry_.capture);
  const auto cursor = holder != nullptr ? registry_.cursors.find(holder->cursor) : registry_.cursors.end();
  for (std::size_t i = 0; i < frozen_.size(); ++i) {
    auto view = std::make_unique<FrozenView>(*this, i, frozen_[i].screen, frozen_[i].picture, frozen_[i].scale);
    if (cursor != registry_.cursors.end()) view->setCursor(cursor->second);
    view->showFullScreen();
    overlays_.push_back(std::move(view));
  }
  // The pick's cursor for the whole program while the overlays are up: the
  // pointer goes onto an overlay straight from the window whose cursor it
  // showed, and Qt then restores that window's cursor over the overlay.
  if (cursor != registry_.cursors.end()) {
    QGuiApplication::setOverrideCursor(cursor->second);
    cursorOverridden_ = true;
  }
  if (!overlays_.empty()) {
    overlays_.front()->activateWindow();
    overlays_.front()->setFocus(Qt::ActiveWindowFocusReason);
  }
  registry_.pickOnOverlay = true;
}

void WaylandScreen::OverlayEntered(std::size_t output, QPointF at) {
  // Until the pointer moves over an overlay, the pick is where it came on.
  if (!pointerPixel_ && output < frozen_.size()) {
    virtual_ = PixelUnder(at.x(), at.y(), {frozen_[output].bounds, frozen_[output].scale});
  }
  // The pointer came onto the overlay from the program's window, where the
  // pick started, without moving: the window's place on this output is the
  // pointer's there less its place in the window. The overlay then shows
  // the window live where the picture shows it frozen.
  if (livePlaced_ || output >= overlays_.size() || !pickWindow_) return;
  livePlaced_ = true;
  const NativeWindow* top = registry_.Owning(pickWindow_);
  if (top == nullptr || registry_.lastInWindow.top != top->id) return;
  const QPointF origin = at - registry_.lastInWindow.at;
  const QRectF window(origin, QSizeF(pickWindow_->size()));
  if (!window.intersects(QRectF(overlays_[output]->rect()))) return;
  overlays_[output]->ShowLive(pickWindow_, origin);
}

void WaylandScreen::Thaw() {
  waiting_ = false;
  // A request still open goes, and with it whatever the portal shows; an
  // answer to it can reach no later pick. (Later: its own answer may be
  // what ended the pick.)
  pickContext_.release()->deleteLater();
  pickContext_ = std::make_unique<QObject>();
  ++pick_;
  if (cursorOverridden_) {
    QGuiApplication::restoreOverrideCursor();
    cursorOverridden_ = false;
  }
  registry_.pickOnOverlay = false;
  frozen_.clear();
  if (pickWindow_) pickWindow_->removeEventFilter(liveUpdates_.get());
  pickWindow_.clear();
  // An overlay may be handling the event that ended the pick: it goes once
  // that returns.
  for (std::unique_ptr<FrozenView>& view : overlays_) {
    view->hide();
    view.release()->deleteLater();
  }
  overlays_.clear();
}

void WaylandScreen::EndCaptureLost() {
  const WindowId holder = registry_.capture;
  registry_.capture = 0;
  Thaw();
  if (holder != 0 && registry_.sink != nullptr) registry_.sink->OnCaptureLost(holder);
}

void WaylandScreen::OverlayPainted() {
  if (lastStart_.shownMs < 0 && started_.isValid()) lastStart_.shownMs = static_cast<double>(started_.nsecsElapsed()) / 1e6;
}

void WaylandScreen::OverlayLost() {
  if (!frozen_.empty()) EndCaptureLost();
}

void WaylandScreen::OverlayPointer(std::size_t output, QPointF local, OverlayButton button,
                                   Qt::KeyboardModifiers keys) {
  if (output >= frozen_.size()) return;
  const Frozen& f = frozen_[output];
  const Point under = PixelUnder(local.x(), local.y(), {f.bounds, f.scale});
  // A press or a release where the pointer last was leaves the pick where
  // the arrow keys took it; anything else takes it to the pointer.
  const bool stays = button != OverlayButton::None && pointerPixel_ && *pointerPixel_ == under;
  pointerPixel_ = under;
  if (!stays) {
    virtual_ = under;
    for (const std::unique_ptr<FrozenView>& view : overlays_) view->MarkPixel(std::nullopt);
    ++registry_.motions.received;
    Deliver(platform::MouseAction::Move, virtual_, keys);
  }
  if (button == OverlayButton::Release && !frozen_.empty()) Deliver(platform::MouseAction::LeftUp, virtual_, keys);
}

void WaylandScreen::OverlayKey(int qtKey, Qt::KeyboardModifiers keys) {
  if (qtKey == Qt::Key_Escape) {
    OverlayLost();
    return;
  }
  const std::optional<QtHotKeys::Hit> hit = hotKeys_.Match(ModifierBitsOf(keys), VirtualKeyOf(qtKey));
  if (hit && registry_.sink != nullptr) registry_.sink->OnHotKey(hit->owner, hit->nativeId);
}

void WaylandScreen::Deliver(platform::MouseAction action, Point at, Qt::KeyboardModifiers keys) {
  NativeWindow* holder = registry_.Find(registry_.capture);
  if (holder == nullptr || registry_.sink == nullptr) return;
  platform::MouseMessage message;
  message.target = holder->id;
  const Rect client = ScreenClient(registry_, *holder);
  message.client = {at.x - client.left, at.y - client.top};
  message.action = action;
  message.keys = ModifierBitsOf(keys);
  if (action == platform::MouseAction::Move) ++registry_.motions.handled;
  const std::optional<Point> outer = registry_.dispatchedPointer;
  registry_.dispatchedPointer = at;
  registry_.sink->OnMouse(message);
  registry_.dispatchedPointer = outer;
  // What the movement wrote shows now; what the program draws at its next
  // display frame, a frame later.
  LiveWindowChanged();
  if (!liveFramePending_) {
    liveFramePending_ = true;
    QTimer::singleShot(20, context_.get(), [this] {
      liveFramePending_ = false;
      LiveWindowChanged();
    });
  }
}

int WaylandScreen::CursorSize(double scale) const {
  // The compositor's cursor size in logical units (XCURSOR_SIZE, which
  // Wayland compositors hand their clients too; 24 without it), at the scale.
  int size = qEnvironmentVariableIntValue("XCURSOR_SIZE");
  if (size <= 0) size = 24;
  cursorScale_ = scale;
  return std::max(1, static_cast<int>(std::floor(size * scale + 0.5)));
}

CursorId WaylandScreen::CreateCursor(const gfx::CursorImage& image) {
  // Made at the scale last asked for: its pixels are the output's pixels.
  return AddCursor(registry_, image, cursorScale_);
}

void WaylandScreen::DestroyCursor(CursorId cursor) { registry_.cursors.erase(cursor); }

void WaylandScreen::SetWindowCursor(WindowId id, CursorId cursor) {
  NativeWindow* window = registry_.Find(id);
  if (window == nullptr) return;
  const QCursor* shown = ShowCursor(registry_, *window, cursor);
  if (registry_.capture != id || shown == nullptr) return;
  for (const std::unique_ptr<FrozenView>& view : overlays_) view->setCursor(*shown);
  if (cursorOverridden_) QGuiApplication::changeOverrideCursor(*shown);
}

}  // namespace tinctora::qtb
