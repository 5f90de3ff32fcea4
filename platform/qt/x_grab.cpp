#include "platform/qt/x_grab.h"

#include "platform/qt/qt_services.h"

#include <QGuiApplication>
#include <QImage>
#include <QPixmap>

#include <algorithm>
#include <bit>
#include <cstring>
#include <optional>
#include <vector>

#include <xcb/render.h>

namespace tinctora::qtb {

namespace {

constexpr std::uint16_t kPointerEvents =
    XCB_EVENT_MASK_BUTTON_PRESS | XCB_EVENT_MASK_BUTTON_RELEASE | XCB_EVENT_MASK_POINTER_MOTION;

// Render's picture format of 32-bit pixels 0xAARRGGBB; 0 without one.
std::uint32_t ArgbFormat(xcb_connection_t* c) {
  const Reply<xcb_render_query_version_reply_t> version(
      xcb_render_query_version_reply(c, xcb_render_query_version(c, 0, 8), nullptr));
  if (!version) return 0;
  const Reply<xcb_render_query_pict_formats_reply_t> formats(
      xcb_render_query_pict_formats_reply(c, xcb_render_query_pict_formats(c), nullptr));
  if (!formats) return 0;
  for (auto it = xcb_render_query_pict_formats_formats_iterator(formats.get()); it.rem > 0;
       xcb_render_pictforminfo_next(&it)) {
    const xcb_render_pictforminfo_t& f = *it.data;
    const xcb_render_directformat_t& d = f.direct;
    if (f.type == XCB_RENDER_PICT_TYPE_DIRECT && f.depth == 32 && d.alpha_shift == 24 && d.alpha_mask == 0xFF &&
        d.red_shift == 16 && d.red_mask == 0xFF && d.green_shift == 8 && d.green_mask == 0xFF && d.blue_shift == 0 &&
        d.blue_mask == 0xFF) {
      return f.id;
    }
  }
  return 0;
}

std::optional<platform::MouseAction> ActionOf(std::uint8_t type, std::uint8_t button) {
  const bool press = type == XCB_BUTTON_PRESS;
  if (button == 1) return press ? platform::MouseAction::LeftDown : platform::MouseAction::LeftUp;
  if (button == 3) return press ? platform::MouseAction::RightDown : platform::MouseAction::RightUp;
  return std::nullopt;
}

}  // namespace

PointerGrab::PointerGrab(Registry& registry, ScreenReader& reader) : registry_(registry), reader_(reader) {
  xcb_connection_t* own = reader_.Own();
  if (own == nullptr) return;
  // The cursor's pixels go to the server as they lie in memory.
  const bool lsbServer = xcb_get_setup(own)->image_byte_order == XCB_IMAGE_ORDER_LSB_FIRST;
  argbFormat_ = lsbServer == (std::endian::native == std::endian::little) ? ArgbFormat(own) : 0;
  if (argbFormat_ == 0) return;
  own_ = own;
  notifier_ = std::make_unique<QSocketNotifier>(xcb_get_file_descriptor(own_), QSocketNotifier::Read);
  QObject::connect(notifier_.get(), &QSocketNotifier::activated, notifier_.get(), [this] { Readable(); });
  // A read outside the events' handling may have taken events off the
  // socket into the connection's queue.
  reader_.onEventsQueued = [this] {
    if (!draining_) QMetaObject::invokeMethod(notifier_.get(), [this] { Drain(); }, Qt::QueuedConnection);
  };
  registry_.pointerGrab = this;
}

PointerGrab::~PointerGrab() {
  if (registry_.pointerGrab == this) registry_.pointerGrab = nullptr;
  reader_.onEventsQueued = nullptr;
  notifier_.reset();
}

xcb_cursor_t PointerGrab::CursorOf(CursorId id, const QCursor& cursor) {
  const auto found = cursors_.find(id);
  if (found != cursors_.end()) return found->second;
  const QPixmap pixmap = cursor.pixmap();
  if (pixmap.isNull()) return XCB_NONE;
  // Render's cursors take premultiplied alpha, the pixels as the program
  // made them (Qt shows a cursor's pixmap unscaled too).
  const QImage image = pixmap.toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
  const int width = image.width();
  const int height = image.height();
  if (width <= 0 || height <= 0 || width > 0x7FFF || height > 0x7FFF) return XCB_NONE;
  const std::size_t bytes = static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4;
  if (bytes > xcb_get_maximum_request_length(own_) * 4u - 64) return XCB_NONE;
  std::vector<std::uint8_t> pixels(bytes);
  for (int y = 0; y < height; ++y) {
    std::memcpy(pixels.data() + static_cast<std::size_t>(y) * width * 4, image.constScanLine(y),
                static_cast<std::size_t>(width) * 4);
  }
  const double ratio = pixmap.devicePixelRatio();
  const int hotX = std::clamp(static_cast<int>(cursor.hotSpot().x() * ratio + 0.5), 0, width - 1);
  const int hotY = std::clamp(static_cast<int>(cursor.hotSpot().y() * ratio + 0.5), 0, height - 1);

  const xcb_pixmap_t store = xcb_generate_id(own_);
  xcb_create_pixmap(own_, 32, store, registry_.root, static_cast<std::uint16_t>(width), static_cast<std::uint16_t>(height));
  const xcb_gcontext_t gc = xcb_generate_id(own_);
  xcb_create_gc(own_, gc, store, 0, nullptr);
  xcb_put_image(own_, XCB_IMAGE_FORMAT_Z_PIXMAP, store, gc, static_cast<std::uint16_t>(width),
                static_cast<std::uint16_t>(height), 0, 0, 0, 32, static_cast<std::uint32_t>(bytes), pixels.data());
  const xcb_render_picture_t picture = xcb_generate_id(own_);
  xcb_render_create_picture(own_, picture, store, argbFormat_, 0, nullptr);
  const xcb_cursor_t made = xcb_generate_id(own_);
  const xcb_void_cookie_t done = xcb_render_create_cursor_checked(own_, made, picture, static_cast<std::uint16_t>(hotX),
                                                                   static_cast<std::uint16_t>(hotY));
  xcb_render_free_picture(own_, picture);
  xcb_free_gc(own_, gc);
  xcb_free_pixmap(own_, store);
  if (const Reply<xcb_generic_error_t> error(xcb_request_check(own_, done)); error) return XCB_NONE;
  cursors_.emplace(id, made);
  return made;
}

void PointerGrab::Forget(CursorId id) {
  const auto found = cursors_.find(id);
  if (found == cursors_.end()) return;
  xcb_free_cursor(own_, found->second);
  xcb_flush(own_);
  cursors_.erase(found);
}

bool PointerGrab::Take(xcb_window_t window, CursorId id, const QCursor& cursor) {
  if (own_ == nullptr || window == XCB_NONE) return false;
  const xcb_cursor_t shown = CursorOf(id, cursor);
  if (shown == XCB_NONE) return false;
  // The grab is the root window's: its events come in screen coordinates
  // wherever the pointer is, and it lasts until the program ends it (or
  // hears that its window went), whatever becomes of Qt's top level
  // meanwhile. Where Qt's window lies is kept for the release Qt is sent.
  const xcb_translate_coordinates_cookie_t where = xcb_translate_coordinates(own_, window, registry_.root, 0, 0);
  const Reply<xcb_grab_pointer_reply_t> grab(xcb_grab_pointer_reply(
      own_,
      xcb_grab_pointer(own_, 0, registry_.root, kPointerEvents, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC, XCB_NONE,
                       shown, XCB_CURRENT_TIME),
      nullptr));
  const Reply<xcb_translate_coordinates_reply_t> origin(xcb_translate_coordinates_reply(own_, where, nullptr));
  windowOrigin_ = origin ? QPoint(origin->dst_x, origin->dst_y) : QPoint();
  if (!grab || grab->status != XCB_GRAB_STATUS_SUCCESS) {
    if (held_) Release();
    return false;
  }
  if (!held_) {
    qtHeld_ = QGuiApplication::mouseButtons();
    // Qt asks for every device's motion over its window; the physical
    // devices' events are no grab's, so while the pointer is over the
    // window each movement would wake Qt as well. Its selection goes
    // without motion until the grab ends.
    xcb_connection_t* qt = registry_.connection;
    quieted_ = qt != nullptr ? SelectedInputEvents(qt, window) : std::nullopt;
    if (quieted_ && quieted_->count > 0) {
      quietWindow_ = window;
      SelectInputEvents(qt, window, WithoutMotion(*quieted_));
      xcb_flush(qt);
    } else {
      quieted_.reset();
    }
  }
  held_ = true;
  reader_.WatchChanges(true);
  window_ = window;
  // Events the reply's wait read from the socket wait in the queue, where
  // no readable socket announces them.
  QMetaObject::invokeMethod(notifier_.get(), [this] { Drain(); }, Qt::QueuedConnection);
  return true;
}

void PointerGrab::Release() {
  if (!held_) return;
  held_ = false;
  qtHeld_ = Qt::NoButton;
  if (quieted_) {
    SelectInputEvents(registry_.connection, quietWindow_, *quieted_);
    xcb_flush(registry_.connection);
    quieted_.reset();
  }
  waiting_ = false;
  notifier_->setEnabled(true);
  reader_.WatchChanges(false);
  xcb_ungrab_pointer(own_, XCB_CURRENT_TIME);
  // A round trip: the end of this grab, which the server reports to Qt's
  // windows, comes before any later request on Qt's connection.
  std::free(xcb_get_input_focus_reply(own_, xcb_get_input_focus(own_), nullptr));
  QMetaObject::invokeMethod(notifier_.get(), [this] { Drain(); }, Qt::QueuedConnection);
}

void PointerGrab::Readable() {
  // During a grab the events are handled once a frame, all that came
  // since the last one, each in turn, just before the frame shows the
  // last: a mouse sends up to a thousand movements a second, and waking
  // for each costs more than handling it. Every movement is still
  // handled, and what the screen shows is as current as before.
  if (!held_ || !registry_.requestFrame) {
    Drain();
    return;
  }
  waiting_ = true;
  notifier_->setEnabled(false);
  registry_.requestFrame();
}

void PointerGrab::TakeWaiting() {
  if (!waiting_ || draining_) return;
  waiting_ = false;
  Drain();
  notifier_->setEnabled(true);
}

void PointerGrab::Drain() {
  draining_ = true;
  while (xcb_generic_event_t* raw = xcb_poll_for_event(own_)) {
    const Reply<xcb_generic_event_t> event(raw);
    if (reader_.TakeChange(*raw)) continue;
    const std::uint8_t type = event->response_type & 0x7F;
    // Whatever comes after the grab's end (or before a new one) is not the
    // capture's.
    if (!held_) continue;
    if (type == XCB_MOTION_NOTIFY) {
      const auto* motion = reinterpret_cast<const xcb_motion_notify_event_t*>(raw);
      ++registry_.motions.received;
      // Every change of the screen before this movement has been taken.
      reader_.SetInOrder(true);
      DispatchCaptured(registry_, platform::MouseAction::Move, {motion->root_x, motion->root_y}, motion->state);
      reader_.SetInOrder(false);
      continue;
    }
    if (type != XCB_BUTTON_PRESS && type != XCB_BUTTON_RELEASE) continue;
    const auto* button = reinterpret_cast<const xcb_button_press_event_t*>(raw);
    const std::optional<platform::MouseAction> action = ActionOf(type, button->detail);
    if (type == XCB_BUTTON_RELEASE) {
      // Qt saw this button go down: it is told of the release as well, as
      // its own event (an event sent with no mask goes to the window's
      // creator), before the grab may end.
      const Qt::MouseButton qtButton = button->detail == 1   ? Qt::LeftButton
                                       : button->detail == 2 ? Qt::MiddleButton
                                       : button->detail == 3 ? Qt::RightButton
                                                             : Qt::NoButton;
      if (qtButton != Qt::NoButton && qtHeld_.testFlag(qtButton)) {
        qtHeld_.setFlag(qtButton, false);
        xcb_button_release_event_t sent;
        std::memcpy(&sent, raw, sizeof sent);
        sent.response_type = XCB_BUTTON_RELEASE;
        sent.event = window_;
        sent.child = XCB_NONE;
        sent.event_x = static_cast<std::int16_t>(button->root_x - windowOrigin_.x());
        sent.event_y = static_cast<std::int16_t>(button->root_y - windowOrigin_.y());
        sent.same_screen = 1;
        registry_.qtCatchUp = true;
        xcb_send_event(own_, 0, window_, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&sent));
        xcb_flush(own_);
      }
    }
    if (action) DispatchCaptured(registry_, *action, {button->root_x, button->root_y}, button->state);
  }
  draining_ = false;
}

}  // namespace tinctora::qtb
