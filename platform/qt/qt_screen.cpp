// The screen, the pointer and the cursor. Pixels come from the root window
// (xcb_get_image) on a connection of their own, the displays from RandR
// monitors with the window manager's work area (_NET_WORKAREA) and Qt's
// scale of each, the pointer from query_pointer and warp_pointer, all in
// physical pixels; the capture is a grab of the X pointer (a custom-drawn
// window's on a connection of the backend's own, x_grab.cpp, else Qt's
// mouse grab), so every movement anywhere reaches the holder.

#include <QBitmap>
#include <QCoreApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QPixmap>
#include <QWidget>


#include <xcb/damage.h>
#include <xcb/randr.h>

#include <algorithm>
#include <cmath>

#include "platform/qt/qt_services.h"
#include "platform/qt/x_pixels.h"

namespace tinctora::qtb {

namespace {

xcb_screen_t* RootScreen(xcb_connection_t* c, xcb_window_t root) {
  for (auto it = xcb_setup_roots_iterator(xcb_get_setup(c)); it.rem > 0; xcb_screen_next(&it)) {
    if (it.data->root == root) return it.data;
  }
  return nullptr;
}

xcb_visualtype_t* RootVisual(xcb_connection_t* c, const xcb_screen_t* screen) {
  for (auto depth = xcb_screen_allowed_depths_iterator(screen); depth.rem > 0; xcb_depth_next(&depth)) {
    for (auto visual = xcb_depth_visuals_iterator(depth.data); visual.rem > 0; xcb_visualtype_next(&visual)) {
      if (visual.data->visual_id == screen->root_visual) return visual.data;
    }
  }
  return nullptr;
}

int BitsPerPixelOfDepth(xcb_connection_t* c, int depth) {
  const xcb_setup_t* setup = xcb_get_setup(c);
  for (auto it = xcb_setup_pixmap_formats_iterator(setup); it.rem > 0; xcb_format_next(&it)) {
    if (it.data->depth == depth) return it.data->bits_per_pixel;
  }
  return 0;
}

}  // namespace

// Marks the reader whenever Qt may have drawn on its own connection: a
// widget painted, a window's backing store flushed for an update or an
// exposure.
class DrawingWatch : public QObject {
 public:
  explicit DrawingWatch(ScreenReader& reader) : reader_(reader) {}

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    const QEvent::Type type = event->type();
    if (type == QEvent::Paint || type == QEvent::UpdateRequest || type == QEvent::Expose) reader_.NoteDrawing();
    return false;
  }

 private:
  ScreenReader& reader_;
};

namespace {

// The pixels kept around a read made for a pointer event, on every side:
// a pointer that moves a few pixels at a time stays inside for many
// movements, and the read stays small (about 100 x 100 pixels for a zoom
// view's square).
constexpr int kKeptMargin = 40;

}  // namespace

ScreenReader::ScreenReader(xcb_connection_t* shared, xcb_window_t root) : shared_(shared), root_(root) {
  // The reads go on a connection of their own: a reply on Qt's connection
  // waits for Qt's event reader thread to hand it over. A server that is
  // not the one Qt speaks to (no screen with Qt's root) is not used.
  int screenNumber = 0;
  xcb_connection_t* own = xcb_connect(nullptr, &screenNumber);
  if (xcb_connection_has_error(own) == 0 && RootScreen(own, root) != nullptr) {
    own_ = own;
  } else {
    xcb_disconnect(own);
  }
  xcb_connection_t* c = Connection();
  const xcb_screen_t* screen = RootScreen(c, root);
  const xcb_visualtype_t* visual = screen != nullptr ? RootVisual(c, screen) : nullptr;
  if (visual == nullptr) return;
  const xcb_setup_t* setup = xcb_get_setup(c);
  format_.bitsPerPixel = BitsPerPixelOfDepth(c, screen->root_depth);
  format_.lsbFirst = setup->image_byte_order == XCB_IMAGE_ORDER_LSB_FIRST;
  format_.scanlinePad = setup->bitmap_format_scanline_pad;
  format_.redMask = visual->red_mask;
  format_.greenMask = visual->green_mask;
  format_.blueMask = visual->blue_mask;
  if (own_ == nullptr) return;
  // The Damage extension reports the screen's changes, which keep a read's
  // surroundings for the next ones.
  const xcb_query_extension_reply_t* damage = xcb_get_extension_data(own_, &xcb_damage_id);
  if (damage == nullptr || damage->present == 0) return;
  const Reply<xcb_damage_query_version_reply_t> version(
      xcb_damage_query_version_reply(own_, xcb_damage_query_version(own_, 1, 1), nullptr));
  if (version) changeEvent_ = damage->first_event;
}

ScreenReader::~ScreenReader() {
  if (own_ != nullptr) xcb_disconnect(own_);
}

void ScreenReader::WatchChanges(bool on) {
  kept_.Forget();
  if (own_ == nullptr || changeEvent_ == 0 || on == (damage_ != 0)) return;
  if (on) {
    // Every drawing on the root window and the windows on it, reported as
    // the rectangles it adds to what was drawn since the last read: one
    // event for a rectangle drawn again and again.
    damage_ = xcb_generate_id(own_);
    xcb_damage_create(own_, damage_, root_, XCB_DAMAGE_REPORT_LEVEL_DELTA_RECTANGLES);
  } else {
    xcb_damage_destroy(own_, damage_);
    damage_ = 0;
  }
  xcb_flush(own_);
}

bool ScreenReader::TakeChange(const xcb_generic_event_t& event) {
  if (changeEvent_ == 0 || (event.response_type & 0x7F) != changeEvent_ + XCB_DAMAGE_NOTIFY) return false;
  const auto& change = reinterpret_cast<const xcb_damage_notify_event_t&>(event);
  if (change.damage != damage_) return true;
  // The area is the drawable's (the root window's): screen coordinates.
  const xcb_rectangle_t& a = change.area;
  kept_.Changed({a.x, a.y, a.x + a.width, a.y + a.height});
  return true;
}

bool ScreenReader::Fetch(const Rect& screen, Image& out) {
  if (counts != nullptr) ++counts->serverReads;
  xcb_connection_t* c = Connection();
  xcb_generic_error_t* failure = nullptr;
  const Reply<xcb_get_image_reply_t> image(xcb_get_image_reply(
      c,
      xcb_get_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, root_, static_cast<std::int16_t>(screen.left),
                    static_cast<std::int16_t>(screen.top), static_cast<std::uint16_t>(screen.Width()),
                    static_cast<std::uint16_t>(screen.Height()), ~0u),
      &failure));
  const Reply<xcb_generic_error_t> error(failure);
  if (error || !image) return false;
  return ConvertXImage(xcb_get_image_data(image.get()), xcb_get_image_data_length(image.get()), screen.Width(),
                       screen.Height(), format_, out);
}

bool ScreenReader::Read(const Rect& screen, Image& out) {
  if (screen.Empty() || screen.Width() > 0xFFFF || screen.Height() > 0xFFFF || !format_.Usable()) return false;
  if (counts != nullptr) ++counts->screenReads;
  // What Qt drew before the read reaches the screen first, so the program
  // never reads an older picture of its own windows: the server takes each
  // connection's requests in order, and a round trip on Qt's connection
  // returns once it has taken every drawing sent before. The kept picture
  // may be older than that drawing.
  // Only a read over the program's windows needs it: a drag across the
  // rest of the screen keeps its picture while the program repaints.
  if (own_ != nullptr && drawn_ && (!overOwnWindows || overOwnWindows(screen))) {
    drawn_ = false;
    kept_.Forget();
    std::free(xcb_get_input_focus_reply(shared_, xcb_get_input_focus(shared_), nullptr));
  }
  const bool keeping = inOrder_ && damage_ != 0;
  if (keeping && kept_.Serve(screen, out)) return true;
  bool read = false;
  if (keeping) {
    // What was drawn up to now is in the picture: the changes reported
    // from here on are the ones that make it old.
    const xcb_screen_t* root = RootScreen(own_, root_);
    const Rect bounds{0, 0, root != nullptr ? root->width_in_pixels : 0, root != nullptr ? root->height_in_pixels : 0};
    const Rect area = KeptScreenArea::AreaFor(screen, bounds, kKeptMargin);
    xcb_damage_subtract(own_, damage_, XCB_NONE, XCB_NONE);
    if (!area.Empty() && Fetch(area, fetched_)) {
      kept_.Keep(area, std::move(fetched_));
      read = kept_.Serve(screen, out);
    } else {
      kept_.Forget();
    }
  }
  // Without a kept picture (outside a pick, or a screen grown since the
  // connection was made), the request alone.
  if (!read) read = Fetch(screen, out);
  if (!inOrder_ && own_ != nullptr && onEventsQueued) onEventsQueued();
  return read;
}

QtScreen::~QtScreen() {
  if (QCoreApplication::instance() != nullptr) QCoreApplication::instance()->removeEventFilter(drawingWatch_.get());
}

QtScreen::QtScreen(Registry& registry)
    : registry_(registry), reader_(registry.connection, registry.root), pointerGrab_(registry, reader_),
      drawingWatch_(std::make_unique<DrawingWatch>(reader_)) {
  reader_.counts = &registry.motions;
  reader_.overOwnWindows = [this](const Rect& screen) {
    for (NativeWindow* window : registry_.All()) {
      if ((!window->topLevel && !window->popup) || window->outer->isHidden()) continue;
      const Placement& at = PlacementOf(registry_, *window);
      // A window whose place is not known yet may be anywhere.
      if (!at.known) return true;
      const Rect area{at.origin.x, at.origin.y, at.origin.x + at.width, at.origin.y + at.height};
      if (area.left < screen.right && screen.left < area.right && area.top < screen.bottom && screen.top < area.bottom) {
        return true;
      }
    }
    return false;
  };
  QCoreApplication::instance()->installEventFilter(drawingWatch_.get());
  // The displays are read once and again only after Qt has seen them change.
  const auto forget = [this] { displays_.reset(); };
  const auto watch = [this, forget](QScreen* screen) {
    QObject::connect(screen, &QScreen::geometryChanged, &connections_, forget);
    QObject::connect(screen, &QScreen::availableGeometryChanged, &connections_, forget);
    QObject::connect(screen, &QScreen::logicalDotsPerInchChanged, &connections_, forget);
  };
  for (QScreen* screen : QGuiApplication::screens()) watch(screen);
  QObject::connect(qApp, &QGuiApplication::screenAdded, &connections_, [forget, watch](QScreen* screen) {
    watch(screen);
    forget();
  });
  QObject::connect(qApp, &QGuiApplication::screenRemoved, &connections_, forget);
  QObject::connect(qApp, &QGuiApplication::primaryScreenChanged, &connections_, forget);
}

std::vector<platform::Display> QtScreen::Displays() const {
  if (!displays_) displays_ = ReadDisplays();
  return *displays_;
}

std::vector<platform::Display> QtScreen::ReadDisplays() const {
  std::vector<platform::Display> displays;
  xcb_connection_t* c = registry_.connection;
  const auto add = [&displays](const Rect& bounds, bool primary) {
    // Qt keeps a screen's top-left corner in logical and physical
    // coordinates alike: the display's scale is that of Qt's screen there.
    double scale = 1.0;
    if (const QScreen* first = QGuiApplication::primaryScreen()) scale = first->devicePixelRatio();
    for (const QScreen* screen : QGuiApplication::screens()) {
      if (screen->geometry().topLeft() == QPoint(bounds.left, bounds.top)) scale = screen->devicePixelRatio();
    }
    const platform::Display display{bounds, bounds, scale};
    if (primary) {
      displays.insert(displays.begin(), display);
    } else {
      displays.push_back(display);
    }
  };
  Reply<xcb_randr_get_monitors_reply_t> monitors(
      xcb_randr_get_monitors_reply(c, xcb_randr_get_monitors(c, registry_.root, 1), nullptr));
  if (monitors) {
    for (auto it = xcb_randr_get_monitors_monitors_iterator(monitors.get()); it.rem > 0;
         xcb_randr_monitor_info_next(&it)) {
      const xcb_randr_monitor_info_t& m = *it.data;
      add({m.x, m.y, m.x + m.width, m.y + m.height}, m.primary != 0);
    }
  }
  if (displays.empty()) {
    if (const xcb_screen_t* screen = RootScreen(c, registry_.root)) {
      add({0, 0, screen->width_in_pixels, screen->height_in_pixels}, true);
    }
  }
  // The work area the window manager leaves free of panels, for the
  // current desktop, on each display; the whole display without a manager
  // that says.
  const xcb_atom_t workArea = InternAtom(c, "_NET_WORKAREA");
  const xcb_atom_t current = InternAtom(c, "_NET_CURRENT_DESKTOP");
  const Reply<xcb_get_property_reply_t> desktop(xcb_get_property_reply(
      c, xcb_get_property(c, 0, registry_.root, current, XCB_ATOM_CARDINAL, 0, 1), nullptr));
  std::uint32_t index = 0;
  if (desktop && desktop->format == 32 && xcb_get_property_value_length(desktop.get()) == 4) {
    index = *static_cast<const std::uint32_t*>(xcb_get_property_value(desktop.get()));
  }
  const Reply<xcb_get_property_reply_t> area(xcb_get_property_reply(
      c, xcb_get_property(c, 0, registry_.root, workArea, XCB_ATOM_CARDINAL, index * 4, 4), nullptr));
  if (area && area->format == 32 && xcb_get_property_value_length(area.get()) == 16) {
    const auto* v = static_cast<const std::uint32_t*>(xcb_get_property_value(area.get()));
    const Rect free{static_cast<int>(v[0]), static_cast<int>(v[1]), static_cast<int>(v[0] + v[2]),
                    static_cast<int>(v[1] + v[3])};
    for (platform::Display& d : displays) {
      const Rect r{std::max(d.bounds.left, free.left), std::max(d.bounds.top, free.top),
                   std::min(d.bounds.right, free.right), std::min(d.bounds.bottom, free.bottom)};
      if (!r.Empty()) d.workArea = r;
    }
  }
  return displays;
}

colour::ColourValue QtScreen::PixelAt(Point screen) const {
  Image one;
  if (!ReadRect({screen.x, screen.y, screen.x + 1, screen.y + 1}, one)) return colour::InvalidColour;
  return static_cast<colour::ColourValue>(one.At(0, 0));
}

bool QtScreen::ReadRect(const Rect& screen, Image& out) const { return reader_.Read(screen, out); }

int QtScreen::BitsPerPixel() const {
  const int bits = reader_.Format().bitsPerPixel;
  return bits > 0 ? bits : 32;
}

std::optional<Point> QtScreen::CursorPos() const {
  // While a mouse message is being handled, the pointer is where that
  // message puts it: asking the server costs a round trip for every read,
  // and with messages still queued it would pair the message with a later
  // position.
  if (registry_.dispatchedPointer) return *registry_.dispatchedPointer;
  xcb_connection_t* c = registry_.connection;
  Reply<xcb_query_pointer_reply_t> pointer(xcb_query_pointer_reply(c, xcb_query_pointer(c, registry_.root), nullptr));
  if (!pointer) return std::nullopt;
  return Point{pointer->root_x, pointer->root_y};
}

void QtScreen::SetCursorPos(Point screen) {
  xcb_connection_t* c = registry_.connection;
  if (registry_.dispatchedPointer) registry_.dispatchedPointer = screen;
  xcb_warp_pointer(c, XCB_NONE, registry_.root, 0, 0, 0, 0, static_cast<std::int16_t>(screen.x),
                   static_cast<std::int16_t>(screen.y));
  xcb_flush(c);
}

bool QtScreen::PrimaryButtonDown() const {
  // Button 1 is the primary button after the server's pointer mapping.
  xcb_connection_t* c = registry_.connection;
  Reply<xcb_query_pointer_reply_t> pointer(xcb_query_pointer_reply(c, xcb_query_pointer(c, registry_.root), nullptr));
  return pointer && (pointer->mask & XCB_KEY_BUT_MASK_BUTTON_1) != 0;
}

void QtScreen::SetCapture(WindowId id) {
  NativeWindow* window = registry_.Find(id);
  if (window == nullptr) return;
  const WindowId old = registry_.capture;
  if (old == id) return;
  if (NativeWindow* holder = registry_.Find(old)) {
    holder->inner->releaseMouse();
    registry_.capture = 0;
    if (registry_.sink != nullptr) registry_.sink->OnCaptureLost(old);
  }
  registry_.capture = id;
  Grab(*window);
}

void QtScreen::Grab(NativeWindow& window) {
  // Qt releases a grab it replaces; released here first, the end of it
  // comes before the marker.
  if (QWidget* grabber = QWidget::mouseGrabber()) grabber->releaseMouse();
  const auto cursor = registry_.cursors.find(window.cursor);
  // A custom-drawn window's capture: the grab is made on the backend's own
  // connection, whose events the main thread reads itself (Qt's event
  // reader thread would wake it for each movement), showing the holder's
  // cursor wherever the pointer goes.
  const xcb_window_t top = window.inner->window()->internalWinId();
  if (window.kind == platform::NativeKind::Surface && cursor != registry_.cursors.end() && top != XCB_NONE) {
    xcb_connection_t* c = registry_.connection;
    if (!pointerGrab_.Held()) {
      // The pointer grabs Qt holds for a press in its window (the implicit
      // ones) end first: the master pointer's, or the other connection's
      // grab is refused; the physical device's, or its own events keep
      // going to Qt wherever the pointer is. A round trip puts their end
      // before the marker and before the new grab.
      xcb_ungrab_pointer(c, XCB_CURRENT_TIME);
      if (registry_.pressedDevice != 0) UngrabInputDevice(c, registry_.pressedDevice);

      const xcb_get_input_focus_cookie_t marker = xcb_get_input_focus(c);
      registry_.grabMarker = static_cast<std::uint16_t>(marker.sequence);
      std::free(xcb_get_input_focus_reply(c, marker, nullptr));
    }
    if (pointerGrab_.Take(top, window.cursor, cursor->second)) {
      // An end of this grab the server reports to Qt's windows comes
      // after a request past the marker.
      xcb_discard_reply(c, xcb_get_input_focus(c).sequence);
      xcb_flush(c);
      return;
    }
  }
  pointerGrab_.Release();
  registry_.MarkGrab();
  if (cursor != registry_.cursors.end()) {
    window.inner->grabMouse(cursor->second);
  } else {
    window.inner->grabMouse();
  }
}

void QtScreen::ReleaseCapture() {
  if (NativeWindow* holder = registry_.Find(registry_.capture)) holder->inner->releaseMouse();
  pointerGrab_.Release();
  registry_.capture = 0;
}

int QtScreen::CursorSize(double scale) const {
  // The size X clients draw the desktop's cursors at, as libXcursor finds
  // it: XCURSOR_SIZE, else the Xcursor.size resource, else Xft.dpi x 16 /
  // 72; with none of them 24, the size desktops set at 100 %. That size is
  // the desktop's at the primary display's scale, in physical pixels; other
  // scales get it in proportion.
  int size = qEnvironmentVariableIntValue("XCURSOR_SIZE");
  if (size <= 0) {
    const QByteArray resources = ResourceManager();
    size = ResourceValue(resources, "Xcursor.size");
    if (size <= 0) size = ResourceValue(resources, "Xft.dpi") * 16 / 72;
  }
  double at = 1.0;
  if (size <= 0) {
    size = 24;
  } else if (const QScreen* primary = QGuiApplication::primaryScreen()) {
    at = primary->devicePixelRatio();
  }
  return std::max(1, static_cast<int>(std::floor(size * scale / at + 0.5)));
}

QByteArray QtScreen::ResourceManager() const {
  xcb_connection_t* c = registry_.connection;
  const Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
      c, xcb_get_property(c, 0, registry_.root, XCB_ATOM_RESOURCE_MANAGER, XCB_ATOM_STRING, 0, 1 << 16), nullptr));
  if (!reply || reply->format != 8) return {};
  return QByteArray(static_cast<const char*>(xcb_get_property_value(reply.get())),
                    xcb_get_property_value_length(reply.get()));
}

int QtScreen::ResourceValue(const QByteArray& resources, const char* name) {
  // Lines of "name:<blanks>value".
  for (const QByteArray& line : resources.split('\n')) {
    const qsizetype colon = line.indexOf(':');
    if (colon < 0 || line.left(colon).trimmed() != name) continue;
    bool ok = false;
    const double value = line.mid(colon + 1).trimmed().toDouble(&ok);
    return ok ? static_cast<int>(value) : 0;
  }
  return 0;
}

CursorId AddCursor(Registry& registry, const gfx::CursorImage& image, double pixelRatio) {
  const gfx::Picture& picture = image.picture;
  if (picture.Width() <= 0 || picture.Height() <= 0) return 0;
  const auto count = static_cast<std::size_t>(picture.Width()) * static_cast<std::size_t>(picture.Height());
  const bool masked = picture.mask.size() == count;
  const bool blended = picture.alpha.size() == count;
  QImage argb(picture.Width(), picture.Height(), QImage::Format_ARGB32);
  for (int y = 0; y < picture.Height(); ++y) {
    auto* row = reinterpret_cast<QRgb*>(argb.scanLine(y));
    for (int x = 0; x < picture.Width(); ++x) {
      const std::size_t i = static_cast<std::size_t>(y) * static_cast<std::size_t>(picture.Width()) + x;
      const Pixel p = picture.colour.At(x, y) & 0xFFFFFFu;
      int alpha = blended ? picture.alpha[i] : 255;
      if (masked && picture.mask[i] != 0) {
        // Where the screen is kept: black keeps it as it is. X cursors cannot
        // invert the screen, so an inverting pixel shows in a contrasting
        // grey that stays visible on light and dark ground alike.
        if (p == 0) {
          alpha = 0;
        } else {
          row[x] = qRgba(0x80, 0x80, 0x80, 255);
          continue;
        }
      }
      row[x] = qRgba(p & 0xFF, (p >> 8) & 0xFF, (p >> 16) & 0xFF, alpha);
    }
  }
  const CursorId id = registry.nextCursor++;
  QPixmap pixmap = QPixmap::fromImage(argb);
  // A toolkit that scales cursors by their pixel ratio shows each of these
  // pixels as one of the screen's.
  pixmap.setDevicePixelRatio(pixelRatio);
  registry.cursors.emplace(id, QCursor(pixmap, static_cast<int>(image.hotSpot.x / pixelRatio),
                                       static_cast<int>(image.hotSpot.y / pixelRatio)));
  return id;
}

CursorId QtScreen::CreateCursor(const gfx::CursorImage& image) { return AddCursor(registry_, image, 1.0); }

void QtScreen::DestroyCursor(CursorId cursor) {
  pointerGrab_.Forget(cursor);
  registry_.cursors.erase(cursor);
}

const QCursor* ShowCursor(Registry& registry, NativeWindow& window, CursorId cursor) {
  window.cursor = cursor;
  const auto it = registry.cursors.find(cursor);
  if (it == registry.cursors.end()) {
    window.inner->unsetCursor();
    return nullptr;
  }
  window.inner->setCursor(it->second);
  return &it->second;
}

void QtScreen::SetWindowCursor(WindowId id, CursorId cursor) {
  NativeWindow* window = registry_.Find(id);
  if (window == nullptr) return;
  ShowCursor(registry_, *window, cursor);
  if (registry_.capture == id) Grab(*window);
}

void Registry::MarkGrab() {
  const xcb_get_input_focus_cookie_t cookie = xcb_get_input_focus(connection);
  xcb_discard_reply(connection, cookie.sequence);
  grabMarker = static_cast<std::uint16_t>(cookie.sequence);
}

}  // namespace tinctora::qtb
