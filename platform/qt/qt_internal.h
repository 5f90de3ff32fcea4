#pragma once

// What the Qt backend's files share: the table of native windows, the
// widgets that stand for them and the text conversion at the edge. Not part
// of the backend's interface (qt_platform.h is).

#include <QCursor>
#include <QImage>
#include <QRegion>
#include <QLineEdit>
#include <QMargins>
#include <QSlider>
#include <QString>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>
#include <unordered_map>
#include <vector>

#include <xcb/xcb.h>

#include "platform/platform.h"
#include "platform/qt/qt_platform.h"

namespace tinctora::qtb {

using platform::CursorId;
using platform::EventSink;
using platform::WindowId;
using gfx::Image;
using gfx::Pixel;
using gfx::Point;
using gfx::Rect;

// ---- texts: GBK inside the program, UTF-16 in Qt (qt_text.cpp)
QString FromGbk(TextView gbk);
// A character with no GBK form becomes colour/gbk.h's replacement.
Text ToGbk(const QString& text);

// ---- pixels: the program's order (red low) and Qt's 0xAARRGGBB
inline QRgb ToQRgb(Pixel p) { return qRgb(p & 0xFF, (p >> 8) & 0xFF, (p >> 16) & 0xFF); }
inline Pixel FromQRgb(QRgb c) { return gfx::RgbPixel(qRed(c), qGreen(c), qBlue(c)); }
QImage ToQImage(const Image& image);

// A widget whose native copy of what the program wrote (an edit text, a
// slider position, a repaint) waits for the next display frame.
class Deferred {
 public:
  virtual ~Deferred() = default;
  // Brings the widget up to date with the program's latest writes.
  virtual void FlushNative() = 0;
};

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
  CursorId cursor = 0;
  Deferred* deferred = nullptr;  // the client widget, when it defers updates
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
  void Remove(WindowId id);
  // The window a widget belongs to (the widget or one of its ancestors).
  NativeWindow* Owning(const QWidget* widget) const;
  std::vector<NativeWindow*> All() const;

  // The mouse capture and the cursors (qt_screen.cpp uses them, the
  // windows' widgets consult them).
  WindowId capture = 0;
  // The sequence number of a request sent just after the program's latest
  // pointer grab: an end of a grab the server reports for an earlier
  // request is the end of a grab the program itself replaced.
  std::uint16_t grabMarker = 0;
  void MarkGrab();
  std::unordered_map<CursorId, QCursor> cursors;
  CursorId nextCursor = 1;

  // While a mouse message is being dispatched: where it puts the pointer.
  std::optional<Point> dispatchedPointer;

  // Counted for benchmarks: motion events in, mouse-move messages out.
  MotionCounts motions;

  // The display frame: the toolkit's copies of edit texts and slider
  // positions and the repaints of custom-drawn windows are brought up to
  // date at most once a frame; the program itself sees every write at once.
  void Defer(WindowId id);
  // Brings every deferred window up to date now.
  void FlushFrame();

  // Turns a Qt mouse event on a window's client widget into the sink's
  // message; true when the native control must not see it.
  bool ForwardMouse(QWidget* widget, QEvent* event);

 private:
  std::unordered_map<WindowId, std::unique_ptr<NativeWindow>> windows_;
  std::vector<WindowId> deferred_;
  std::unique_ptr<QTimer> frame_;
  std::unordered_map<const QWidget*, WindowId> byWidget_;
  WindowId next_ = 1;
};

// Modifier bits of the program from Qt's.
int ModifierBitsOf(Qt::KeyboardModifiers modifiers);
// The Windows virtual-key code of a Qt key, or 0 when the program has none.
int VirtualKeyOf(int qtKey);

// ---- widgets (qt_windows.cpp)

// A custom-drawn client area: shows what the control layer presented, with
// any direct drawing on top until the next paint.
class SurfaceWidget : public QWidget, public Deferred {
 public:
  SurfaceWidget(Registry& registry, QWidget* parent, Qt::WindowFlags flags = {});
  void SetId(WindowId id) { id_ = id; }
  void MarkDirty() { dirty_ = true; }
  // Repaints through the program with the next frame.
  void RequestUpdate();
  bool Dirty() const { return dirty_; }
  void TakePresent(const Image& client);
  void DrawDirect(const Image& pixels, Point at);
  Pixel ShownPixel(Point client) const;
  void FlushNative() override;
  // Called when a popup window closes without the program asking.
  std::function<void()> onDismissed;
  bool closingByProgram = false;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  Registry& registry_;
  WindowId id_ = 0;
  QImage shown_;
  bool dirty_ = true;
  bool direct_ = false;
  bool inPaint_ = false;
  bool updatePending_ = false;  // a whole repaint waits for the frame
  QRegion directPending_;       // direct drawings wait for the frame
};

}  // namespace tinctora::qtb
