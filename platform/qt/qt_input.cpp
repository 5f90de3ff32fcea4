// Where input enters the backend and becomes the sink's calls: the raw XCB
// events Qt passes through its native event filter (the hot keys' presses,
// the end of a pointer grab, the pointer's motion counted, and taken there
// while a custom-drawn window holds the capture), and Qt's own mouse and
// key events on the program's widgets.

#include <QApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QKeyEvent>
#include <QMouseEvent>

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "platform/qt/qt_services.h"
#include "platform/qt/x_events.h"
#include "platform/qt/x_grab.h"

namespace tinctora::qtb {

namespace {

// Keeps the latest pointer events: a Qt event comes soon after its X event.
void Remember(Registry& registry, const Registry::RawPointer& raw) {
  constexpr std::size_t kKept = 512;
  registry.rawPointer.push_back(raw);
  if (registry.rawPointer.size() > kKept) registry.rawPointer.pop_front();
}

// Where the X server put the pointer with the event Qt made `mouse` from;
// nothing for an event not from the server.
std::optional<Point> ServerPosition(Registry& registry, const QMouseEvent& mouse, Point rounded) {
  const QScreen* screen = QGuiApplication::screenAt(mouse.globalPosition().toPoint());
  const double dpr = screen != nullptr ? screen->devicePixelRatio() : 1.0;
  // Qt's position is the logical one rounded: within a logical unit.
  const int slack = static_cast<int>(std::ceil(dpr));
  auto& raw = registry.rawPointer;
  for (auto it = raw.begin(); it != raw.end(); ++it) {
    if (it->time != static_cast<std::uint32_t>(mouse.timestamp())) continue;
    if (std::abs(it->at.x - rounded.x) > slack || std::abs(it->at.y - rounded.y) > slack) continue;
    // Qt delivers the server's events in order: the ones before are spent.
    // This one is kept: Qt may make a movement of its own to the place of a
    // press or release, with the same time, before the button's event.
    raw.erase(raw.begin(), it);
    return raw.front().at;
  }
  return std::nullopt;
}

// Every mouse event of a client widget goes to the sink first.
class MouseForwarder : public QObject {
 public:
  MouseForwarder(Registry& registry, QObject* parent) : QObject(parent), registry_(registry) {}

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    auto* widget = qobject_cast<QWidget*>(watched);
    return widget != nullptr && ForwardMouse(registry_, widget, event);
  }

 private:
  Registry& registry_;
};

}  // namespace

// Modifier bits of the program from Qt's.
int ModifierBitsOf(Qt::KeyboardModifiers modifiers) {
  int bits = 0;
  if (modifiers & Qt::ControlModifier) bits |= platform::ModCtrl;
  if (modifiers & Qt::ShiftModifier) bits |= platform::ModShift;
  if (modifiers & Qt::AltModifier) bits |= platform::ModAlt;
  return bits;
}

// Modifier bits of the program from the X server's modifier mask (Mod1 is
// Alt, as Qt takes it too).
int ModifierBitsOfX(std::uint32_t mask) {
  int bits = 0;
  if (mask & XCB_MOD_MASK_CONTROL) bits |= platform::ModCtrl;
  if (mask & XCB_MOD_MASK_SHIFT) bits |= platform::ModShift;
  if (mask & XCB_MOD_MASK_1) bits |= platform::ModAlt;
  return bits;
}

// The Windows virtual-key code of a Qt key, or 0 when the program has none.
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

// ---- raw XCB events -----------------------------------------------------------------

NativeInput::NativeInput(Registry& registry, const QtHotKeys& hotKeys) : registry_(registry), hotKeys_(hotKeys) {
  // Qt takes the pointer's motion from the X Input extension when the
  // server has it, as generic events of that extension.
  xcb_connection_t* c = registry_.connection;
  const char kInput[] = "XInputExtension";
  const Reply<xcb_query_extension_reply_t> input(
      xcb_query_extension_reply(c, xcb_query_extension(c, sizeof kInput - 1, kInput), nullptr));
  if (input && input->present) inputOpcode_ = input->major_opcode;
  frameExtents_ = InternAtom(c, "_NET_FRAME_EXTENTS");
  QCoreApplication::instance()->installNativeEventFilter(this);
}

NativeInput::~NativeInput() {
  if (QCoreApplication::instance() != nullptr) QCoreApplication::instance()->removeNativeEventFilter(this);
}

void NativeInput::NoteUngrab(std::uint8_t mode, std::uint16_t sequence) {
  // The server ended the program's pointer grab (its window became
  // unviewable, another client grabbed the pointer): the capture holder has
  // lost the capture. A release the program asked for has already cleared
  // the capture.
  if (mode != XCB_NOTIFY_MODE_UNGRAB) return;
  if (static_cast<std::int16_t>(sequence - registry_.grabMarker) <= 0) return;
  CaptureLost();
}

void NativeInput::NoteUnmap(xcb_window_t unmapped) {
  // A grab ends when its window stops being viewable. With the pointer
  // inside that window no crossing event says so; the unmapping does. A
  // window the program hid itself is no longer visible to Qt.
  const NativeWindow* holder = registry_.Find(registry_.capture);
  if (holder == nullptr) return;
  const QWidget* top = holder->inner->window();
  if (top->isVisible() && top->internalWinId() == unmapped) CaptureLost();
}

bool DispatchCaptured(Registry& registry, platform::MouseAction action, Point root, std::uint32_t mask) {
  NativeWindow* holder = registry.Find(registry.capture);
  if (holder == nullptr || holder->kind != platform::NativeKind::Surface || registry.sink == nullptr) return false;
  const Rect client = ScreenClient(registry, *holder);
  platform::MouseMessage message;
  message.target = holder->id;
  message.client = {root.x - client.left, root.y - client.top};
  message.action = action;
  message.keys = ModifierBitsOfX(mask);
  if (action == platform::MouseAction::Move) ++registry.motions.handled;
  // While the message is handled, the pointer is where it was made.
  const std::optional<Point> outer = registry.dispatchedPointer;
  registry.dispatchedPointer = root;
  registry.sink->OnMouse(message);
  registry.dispatchedPointer = outer;
  return true;
}

bool NativeInput::TakeMotion(const XInputPointer& pointer) {
  // While a custom-drawn window holds the capture, every movement is its
  // message wherever the pointer is: the motion becomes the message here,
  // where it enters, and Qt never sees it (Qt's own path for it costs as
  // much as the program's handling). Elsewhere Qt keeps the motion, for
  // the system's controls and the windows under the pointer.
  return DispatchCaptured(registry_, platform::MouseAction::Move, pointer.root, pointer.modifiers);
}

void NativeInput::CaptureLost() {
  // The movements made before the loss, which wait for the next frame, are
  // the holder's: handled first.
  if (registry_.pointerGrab != nullptr) registry_.pointerGrab->TakeWaiting();
  const WindowId holder = registry_.capture;
  NativeWindow* window = registry_.Find(holder);
  if (window == nullptr) return;
  registry_.capture = 0;
  window->inner->releaseMouse();
  if (registry_.pointerGrab != nullptr) registry_.pointerGrab->Release();
  if (registry_.sink != nullptr) registry_.sink->OnCaptureLost(holder);
}

bool NativeInput::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) {
  if (eventType != "xcb_generic_event_t") return false;
  const auto* event = static_cast<const xcb_generic_event_t*>(message);
  const std::uint8_t type = event->response_type & 0x7F;
  if (type == XCB_MOTION_NOTIFY || type == XCB_BUTTON_PRESS || type == XCB_BUTTON_RELEASE) {
    // Core pointer events (a server without the X Input extension): the
    // same layout for the three.
    const auto* pointer = reinterpret_cast<const xcb_motion_notify_event_t*>(event);
    Remember(registry_, {pointer->time, {pointer->root_x, pointer->root_y}});
    if (type == XCB_MOTION_NOTIFY) ++registry_.motions.received;
    return false;
  }
  if (type == XCB_UNMAP_NOTIFY) {
    NoteUnmap(reinterpret_cast<const xcb_unmap_notify_event_t*>(event)->window);
    ForgetPlacements(registry_);
    return false;
  }
  // The server or the window manager moved, resized, reparented or mapped
  // a window, or the manager set a frame: where the program's windows lie
  // is read again when next asked.
  if (type == XCB_CONFIGURE_NOTIFY || type == XCB_REPARENT_NOTIFY || type == XCB_MAP_NOTIFY ||
      type == XCB_GRAVITY_NOTIFY) {
    ForgetPlacements(registry_);
    return false;
  }
  if (type == XCB_PROPERTY_NOTIFY) {
    if (reinterpret_cast<const xcb_property_notify_event_t*>(event)->atom == frameExtents_) ForgetPlacements(registry_);
    return false;
  }
  if (type == XCB_GE_GENERIC && inputOpcode_ != 0) {
    if (const std::optional<XInputPointer> pointer = DecodeInputPointer(*event, inputOpcode_)) {
      if (!pointer->master) {
        // The physical device a button went down on: Qt holds its implicit
        // grab until its button goes up.
        if (pointer->kind == XInputPointer::Kind::Press) registry_.pressedDevice = pointer->device;
        return false;
      }
      if (pointer->kind == XInputPointer::Kind::Motion) {
        ++registry_.motions.received;
        if (TakeMotion(*pointer)) return true;
      }
      Remember(registry_, {pointer->time, pointer->root});
      return false;
    }
    // Qt grabs the pointer through the X Input extension when it can; the
    // end of such a grab comes as the extension's crossing events.
    if (const std::optional<std::uint8_t> mode = DecodeInputCrossingMode(*event, inputOpcode_)) {
      NoteUngrab(*mode, event->sequence);
    }
    return false;
  }
  if (type != XCB_KEY_PRESS && type != XCB_KEY_RELEASE) return false;
  const auto* key = reinterpret_cast<const xcb_key_press_event_t*>(event);
  if (key->event != registry_.root) return false;
  const std::optional<QtHotKeys::Hit> hit = hotKeys_.Match(key->detail, key->state);
  if (!hit) return false;
  if (type == XCB_KEY_PRESS && registry_.sink != nullptr) registry_.sink->OnHotKey(hit->owner, hit->nativeId);
  return true;
}

// ---- Qt's input events ----------------------------------------------------------------

bool ForwardMouse(Registry& registry, QWidget* widget, QEvent* event) {
  const auto* mouse = static_cast<const QMouseEvent*>(event);
  platform::MouseAction action;
  switch (event->type()) {
    case QEvent::MouseMove: action = platform::MouseAction::Move; break;
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
      // A double click is a second press, as the program counts clicks itself.
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
  NativeWindow* receiver = registry.Owning(widget);
  if (receiver == nullptr || registry.sink == nullptr) return false;
  // While a pick runs on the frozen screen, the pointer is the overlay's:
  // what still reaches the program's windows (the release of the press that
  // started the pick) is not the pick's.
  registry.lastInWindow = {TopOf(registry, *receiver)->id, mouse->scenePosition()};
  if (registry.qtCatchUp) {
    // The release Qt was sent after a grab of the backend's took the real
    // one, and the movement Qt makes to its place: the program has had both.
    if (event->type() == QEvent::MouseButtonRelease && mouse->buttons() == Qt::NoButton) {
      registry.qtCatchUp = false;
      registry.pressed = 0;
      return true;
    }
    if (event->type() == QEvent::MouseButtonRelease || (event->type() == QEvent::MouseMove && mouse->buttons() != Qt::NoButton)) {
      return true;
    }
    registry.qtCatchUp = false;
  }
  if (registry.pickOnOverlay) {
    if (mouse->buttons() == Qt::NoButton) registry.pressed = 0;
    return true;
  }
  // A control that ignored the event passed it on to its parent's widget.
  const Registry::Reported key{event, static_cast<int>(event->type()), mouse->timestamp(), mouse->globalPosition()};
  if (key == registry.reported) return false;
  registry.reported = key;
  // The event's own position, as the server reported it with the event, in
  // physical pixels: the message and Screen::CursorPos during its handling
  // both use it, wherever the pointer has gone since. An event Qt made
  // itself has only its logical position.
  const Point rounded = PhysicalPoint(mouse->globalPosition());
  const Point at = ServerPosition(registry, *mouse, rounded).value_or(rounded);
  // The window the message is for, found by device pixels: Qt finds the
  // widget under the point by its logical rectangle, which can be a pixel
  // off where two windows meet. The capture holder takes every message; a
  // window a button was pressed in takes them until the buttons are up.
  NativeWindow* window = registry.Find(registry.capture);
  const bool press = action == platform::MouseAction::LeftDown || action == platform::MouseAction::RightDown;
  const bool release = action == platform::MouseAction::LeftUp || action == platform::MouseAction::RightUp;
  if (window == nullptr && !press && (release || mouse->buttons() != Qt::NoButton)) {
    window = registry.Find(registry.pressed);
  }
  if (window == nullptr) {
    NativeWindow& top = *TopOf(registry, *receiver);
    const Rect client = ScreenClient(registry, top);
    window = WindowAt(registry, top, {at.x - client.left, at.y - client.top});
    if (window == nullptr) window = receiver;
  }
  if (press) registry.pressed = window->id;
  if (mouse->buttons() == Qt::NoButton) registry.pressed = 0;
  platform::MouseMessage message;
  message.target = window->id;
  const Rect client = ScreenClient(registry, *window);
  message.client = {at.x - client.left, at.y - client.top};
  message.action = action;
  message.keys = ModifierBitsOf(mouse->modifiers());
  if (action == platform::MouseAction::Move) ++registry.motions.handled;
  const std::optional<Point> outer = registry.dispatchedPointer;
  registry.dispatchedPointer = at;
  const WindowId targetId = window->id;
  const bool passOn = registry.sink->OnMouse(message);
  registry.dispatchedPointer = outer;
  // The handler may have destroyed windows.
  window = registry.Find(targetId);
  if (window == nullptr) return true;
  // A message for another window than the widget Qt chose never reaches
  // that widget.
  if (window != receiver) return true;
  // A press the program lets through gives a native control the focus, as
  // the system's controls take it.
  const bool native = window->kind == platform::NativeKind::EditBox || window->kind == platform::NativeKind::Slider;
  if (passOn && native && press && !window->inner->hasFocus()) window->inner->setFocus(Qt::MouseFocusReason);
  // A custom-drawn window has no native behaviour to pass the message to.
  return !passOn || window->kind == platform::NativeKind::Surface;
}

void ForwardMouseOf(Registry& registry, QWidget* widget) {
  widget->setMouseTracking(true);
  widget->installEventFilter(new MouseForwarder(registry, widget));
}

bool ForwardKey(Registry& registry, WindowId window, const QKeyEvent& event) {
  const int key = VirtualKeyOf(event.key());
  return key != 0 && registry.sink != nullptr && registry.sink->OnKeyDown(window, key);
}

}  // namespace tinctora::qtb
