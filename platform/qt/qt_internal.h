#pragma once

// What the Qt backend's files share: the table of native windows, the
// owners of native resources, and the text conversion at the edge. Not part
// of the backend's interface (qt_platform.h is).

#include <QCursor>
#include <QImage>
#include <QMargins>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <cstdlib>
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

// A native window of the program. `outer` is the widget that takes the
// outer rectangle; `inner` is the client area, the same widget unless the
// window has a one-pixel border, which `outer` then draws around `inner`.
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

  // While a mouse message is being handled: where it was made.
  std::optional<Point> dispatchedPointer;

  // Counted for benchmarks: motion events in, mouse-move messages out.
  MotionCounts motions;

 private:
  std::unordered_map<WindowId, std::unique_ptr<NativeWindow>> windows_;
  std::unordered_map<const QWidget*, WindowId> byWidget_;
  WindowId next_ = 1;
};

// ---- input (qt_input.cpp): Qt's input events become the sink's calls

// Turns a Qt mouse event on a window's client widget into the sink's
// message; true when the native control must not see it.
bool ForwardMouse(Registry& registry, QWidget* widget, QEvent* event);
// Sends every mouse event of a client widget to the sink first.
void ForwardMouseOf(Registry& registry, QWidget* widget);
// Offers a key the focused control left alone to the program (OnKeyDown
// for `window`); true when taken.
bool ForwardKey(Registry& registry, WindowId window, const QKeyEvent& event);

}  // namespace tinctora::qtb
