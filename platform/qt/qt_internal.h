#pragma once

// What the Qt backend's files share: the table of native windows, the
// owners of native resources, and the text conversion at the edge. Not part
// of the backend's interface (qt_platform.h is).

#include <QCursor>
#include <QImage>
#include <QMargins>
#include <QPointF>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <cstdlib>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <unordered_map>
#include <vector>

#include <xcb/xcb.h>

#include "platform/platform.h"
#include "platform/qt/qt_platform.h"

class QMouseEvent;
class QKeyEvent;

namespace tinctora::qtb {

class PointerGrab;

using platform::CursorId;
using platform::EventSink;
using platform::WindowId;
using gfx::Image;
using gfx::Pixel;
using gfx::Point;
using gfx::Rect;

// ---- native resources

// Memory the XCB library hands over for the caller to free: replies,
// errors, arrays.
struct FreeWithC {
  void operator()(void* p) const { std::free(p); }
};
template <class T>
using Reply = std::unique_ptr<T, FreeWithC>;

// The atom of a name, XCB_ATOM_NONE when the server does not answer.
xcb_atom_t InternAtom(xcb_connection_t* c, const char* name);

// A window of the program the backend itself owns (a top level, a popup):
// hidden, then deleted once any event it is handling has returned. A popup
// that Qt deleted with its parent first is not deleted again.
class OwnedWidget {
 public:
  OwnedWidget() = default;
  explicit OwnedWidget(QWidget* widget) : widget_(widget) {}
  OwnedWidget(OwnedWidget&& other) noexcept : widget_(other.release()) {}
  OwnedWidget& operator=(OwnedWidget&& other) noexcept;
  ~OwnedWidget() { reset(); }
  QWidget* get() const { return widget_; }
  // Gives the widget up to the caller.
  QWidget* release();
  void reset();

 private:
  QPointer<QWidget> widget_;
};

// ---- texts: GBK inside the program, UTF-16 in Qt (qt_text.cpp)
QString FromGbk(TextView gbk);
// A character with no GBK form becomes text/gbk.h's replacement.
Text ToGbk(const QString& text);
// Positions in a Qt string and byte offsets of its GBK text, both ways. A
// byte offset inside a character stands for the character's start.
qsizetype QtPosition(const QString& text, std::size_t gbkOffset);
std::size_t GbkOffset(const QString& text, qsizetype position);

// ---- pixels: the program's order (red low) and Qt's 0xAARRGGBB
inline QRgb ToQRgb(Pixel p) { return qRgb(p & 0xFF, (p >> 8) & 0xFF, (p >> 16) & 0xFF); }
inline Pixel FromQRgb(QRgb c) { return gfx::RgbPixel(qRed(c), qGreen(c), qBlue(c)); }
// Qt's rectangle (inclusive right and bottom) as the program's (exclusive).
inline Rect RectOf(const QRect& r) { return {r.left(), r.top(), r.right() + 1, r.bottom() + 1}; }

// Where a top level or a popup lies on the screen, in physical pixels, as
// the X server has it: its client area and the frame the window manager
// drew around it. Read from the server when needed and kept until the
// server reports a change.
struct Placement {
  bool known = false;
  Point origin;
  int width = 0;
  int height = 0;
  QMargins frame;
};

// A native window of the program. `outer` is the widget that takes the
// outer rectangle; `inner` is the client area, the same widget unless the
// window has a one-pixel border, which the top level's composition draws
// around `inner` (qt_compose.cpp).
struct NativeWindow {
  WindowId id = 0;
  WindowId parent = 0;
  platform::NativeKind kind = platform::NativeKind::Surface;
  bool topLevel = false;
  bool popup = false;
  bool border = false;
  QWidget* outer = nullptr;
  QWidget* inner = nullptr;
  // The widget of a top level or a popup; children belong to their Qt
  // parents.
  OwnedWidget owned;
  CursorId cursor = 0;
  bool shownOnce = false;  // the top level: the window manager has framed it
  // The top level: the frame the window manager announced before the window
  // was first shown (none without a manager that answers).
  QMargins announcedFrame;
  // A child: its outer rectangle as the program put it, in device pixels of
  // the parent's client area. A popup: its rectangle on the screen.
  Rect device;
  // A top level: where the server has it (cached), and the client size and
  // place the program asked for, in physical pixels.
  Placement placed;
  QSize wantedSize;
  std::optional<Point> wantedOrigin;
  // A top level: the scale last reported to the program.
  double reportedScale = 0;
};

// The backend's shared state: the windows by id, the sink, the X connection.
class Registry {
 public:
  EventSink* sink = nullptr;
  xcb_connection_t* connection = nullptr;
  xcb_window_t root = 0;

  NativeWindow& Add(std::unique_ptr<NativeWindow> window);
  NativeWindow* Find(WindowId id) const;
  // Forgets the window; a widget it owns goes with it.
  void Remove(WindowId id);
  // The window a widget belongs to (the widget or one of its ancestors).
  NativeWindow* Owning(const QWidget* widget) const;
  std::vector<NativeWindow*> All() const;

  // The mouse capture and the cursors (qt_screen.cpp uses them, the
  // windows' widgets consult them).
  WindowId capture = 0;
  // The sequence number of a request sent between the release of the
  // program's previous pointer grab and its latest grab: the end of a grab
  // the server reports for a request up to it is the end of a grab the
  // program itself released; a later one ended the latest grab.
  std::uint16_t grabMarker = 0;
  void MarkGrab();
  std::unordered_map<CursorId, QCursor> cursors;
  CursorId nextCursor = 1;
  // The capture's pointer grab on the backend's own connection, where it
  // has one (X11).
  PointerGrab* pointerGrab = nullptr;
  // Asks the loop for a display frame (QtLoop::RequestFrame).
  std::function<void()> requestFrame;
  // Qt saw a button pressed that a grab of the backend's own then took the
  // release of: Qt's own release, sent to it afterwards, and its movement
  // to the release's place are not the program's.
  bool qtCatchUp = false;
  // The physical pointer device (the X Input extension's) a button last
  // went down on; 0 before any.
  std::uint16_t pressedDevice = 0;

  // While a mouse message is being handled: where it was made.
  std::optional<Point> dispatchedPointer;
  // Where the X server put the pointer with each of its latest pointer
  // events, in physical pixels: Qt hands its mouse events over with
  // positions rounded to whole logical units, which at a scale of 1.5 or
  // 1.25 are not whole device pixels. A Qt event is matched to its X event
  // by the server's time and the place.
  struct RawPointer {
    std::uint32_t time = 0;
    Point at;
  };
  std::deque<RawPointer> rawPointer;
  // The Qt event last reported: a control that ignores an event passes it
  // on to its parent's widget, which must not report it again. Qt makes
  // its events on the stack: the same address, type, time and place make
  // the same event.
  struct Reported {
    const QEvent* event = nullptr;
    int type = 0;
    std::uint64_t time = 0;
    QPointF at;
    bool operator==(const Reported&) const = default;
  };
  Reported reported;
  // The window a button was pressed in, while a button is held: it gets
  // the messages until the last button goes up, as the toolkit's own
  // implicit grab does.
  WindowId pressed = 0;

  // A pick runs on a frozen picture of the screen (Wayland): the program's
  // own windows take no mouse messages meanwhile.
  bool pickOnOverlay = false;
  // Where the latest mouse event put the pointer in a top level, in its
  // logical units from its client area's corner (Wayland tells a client
  // no more of where its windows are).
  struct InWindow {
    WindowId top = 0;
    QPointF at;
  };
  InWindow lastInWindow;

  // Counted for benchmarks: motion events in, mouse-move messages out.
  MotionCounts motions;

 private:
  std::unordered_map<WindowId, std::unique_ptr<NativeWindow>> windows_;
  std::unordered_map<const QWidget*, WindowId> byWidget_;
  WindowId next_ = 1;
};

// ---- placement and composition (qt_compose.cpp). Qt places widgets in
// logical units (device pixels divided by the scale, rounded); the program
// places them in device pixels. The backend keeps every child's device
// rectangle itself, gives Qt the nearest logical one, and paints the
// custom-drawn windows of a top level itself, at their exact device
// rectangles (Compose).

// The scale Qt shows a widget's window at (its device pixel ratio).
double ScaleOf(const QWidget* widget);
// The top level or popup a window lies in (itself for one).
NativeWindow* TopOf(const Registry& registry, const NativeWindow& window);
// A window's outer rectangle and client area in device pixels of its top
// level's client area.
Rect AbsoluteOuter(const Registry& registry, const NativeWindow& window);
Rect AbsoluteClient(const Registry& registry, const NativeWindow& window);
// A top level's or popup's client area and frame on the screen, physical.
const Placement& PlacementOf(const Registry& registry, NativeWindow& top);
// The server moved, resized, framed or mapped a window: placements are read again.
void ForgetPlacements(const Registry& registry);
// A window's client area on the screen, physical.
Rect ScreenClient(const Registry& registry, const NativeWindow& window);
// A point on the screen in physical pixels from Qt's global logical one,
// and back.
Point PhysicalPoint(const QPointF& logical);
QPoint LogicalPoint(Point physical);
// Gives a child's widgets the logical geometry nearest its device
// rectangle; the children inside it follow.
void PlaceChild(const Registry& registry, NativeWindow& window);
// Asks for a repaint of a device rectangle of a window's client area (all
// of it when none), painted by its top level's composition.
void RequestPaint(const Registry& registry, const NativeWindow& window, const std::optional<Rect>& part = {});
// Paints now whatever waits in that rectangle.
void PaintNow(const Registry& registry, const NativeWindow& window, const std::optional<Rect>& part = {});
// Paints a top level's (or popup's) custom-drawn windows and borders, in
// device pixels, for a paint event of the top level's widget.
void Compose(const Registry& registry, QWidget* top, const QRegion& region);
// Paints what a system's control (a group box) holds over the control's
// own painting, as Compose does for the top level.
class ComposeLayer : public QWidget {
 public:
  ComposeLayer(const Registry& registry, WindowId container, QWidget* parent);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  const Registry& registry_;
  WindowId container_;
};
// The program's window whose device rectangle holds a point of a top
// level's client area (device pixels): the topmost visible one; the top
// level when none.
NativeWindow* WindowAt(const Registry& registry, NativeWindow& top, Point device);

// ---- cursors (qt_screen.cpp): the program's cursor picture as a Qt
// cursor whose pixmap has the given pixel ratio; its id.
CursorId AddCursor(Registry& registry, const gfx::CursorImage& image, double pixelRatio);
// Gives a window the program's cursor (none: the default one); the Qt
// cursor shown, if any.
const QCursor* ShowCursor(Registry& registry, NativeWindow& window, CursorId cursor);

// ---- input (qt_input.cpp): Qt's input events become the sink's calls

// Turns a Qt mouse event on a window's client widget into the sink's
// message; true when the native control must not see it.
bool ForwardMouse(Registry& registry, QWidget* widget, QEvent* event);
// Sends every mouse event of a client widget to the sink first.
void ForwardMouseOf(Registry& registry, QWidget* widget);
// The program's modifier bits and virtual-key code (0 for none) of Qt's.
int ModifierBitsOf(Qt::KeyboardModifiers modifiers);
int ModifierBitsOfX(std::uint32_t mask);
// A pointer event at `root` (physical pixels) with the server's modifier
// and button mask as the message of the custom-drawn window that holds the
// capture, handled at once; false when no such window holds it.
bool DispatchCaptured(Registry& registry, platform::MouseAction action, Point root, std::uint32_t mask);
int VirtualKeyOf(int qtKey);
// Offers a key the focused control left alone to the program (OnKeyDown
// for `window`); true when taken.
bool ForwardKey(Registry& registry, WindowId window, const QKeyEvent& event);

}  // namespace tinctora::qtb
