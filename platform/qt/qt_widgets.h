#pragma once

// The widgets that stand for the program's windows and the system's
// controls: custom-drawn surfaces (qt_surface.cpp), edit boxes
// (qt_edit.cpp) and sliders (qt_slider.cpp). Each applies the program's
// writes at once; the program decides when to write.

#include <QClipboard>
#include <QLineEdit>
#include <QPainter>
#include <QSlider>

#include <functional>

#include "platform/qt/qt_internal.h"

namespace tinctora::qtb {

// A custom-drawn client area: keeps what the control layer presented, with
// any direct drawing on top until the next paint, in device pixels. Its
// top level's composition paints it (qt_compose.cpp); as a child the
// widget itself is transparent, as a popup it composes itself.
class SurfaceWidget : public QWidget {
 public:
  SurfaceWidget(Registry& registry, QWidget* parent, Qt::WindowFlags flags = {});
  void SetId(WindowId id) { id_ = id; }
  // The next paint asks the program for the picture.
  void Invalidate();
  bool Dirty() const { return dirty_; }
  void TakePresent(const Image& client);
  void DrawDirect(const Image& pixels, Point at);
  Pixel ShownPixel(Point client) const;
  // Paints the client area with its top-left corner at a point of a
  // painter whose scale is undone (device pixels), asking the program
  // first when it waits. `size` is the client area's, device pixels.
  void PaintAt(QPainter& painter, const QPointF& at, const QSize& size);
  // Called when a popup window closes without the program asking.
  std::function<void()> onDismissed;
  bool closingByProgram = false;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  Rect Client() const;
  // Copies the picture into the painter's raster image with its top-left
  // corner at `at`; false where that cannot be done as a plain copy.
  bool CopyInto(QPainter& painter, const QPointF& at) const;
  Registry& registry_;
  WindowId id_ = 0;
  QImage shown_;
  // The program is asked for the picture at the next paint; other paints
  // (the system's, those of direct drawings) show what it last presented.
  bool dirty_ = true;
  bool inPaint_ = false;
};

// An edit box. What it takes is the program's decision: every typed
// character and every paste is offered to EventSink::AcceptedBytes first,
// and exactly the bytes it accepts go in; the box has no length limit of
// its own. Only the user's edits are reported.
class EditWidget : public QLineEdit {
 public:
  EditWidget(Registry& registry, QWidget* parent);
  void SetId(WindowId id) { id_ = id; }
  // The program's writes: raise nothing.
  void Write(TextView text);
  void Select(platform::EditRange range);
  platform::EditRange Selection() const;

 protected:
  bool event(QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void inputMethodEvent(QInputMethodEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  // Offers `text` in place of the selection; inserts the part the program takes.
  void Offer(const QString& text, platform::Insertion how);
  void PasteFrom(QClipboard::Mode mode);
  void BeforeInput();

  Registry& registry_;
  WindowId id_ = 0;
};

// A horizontal track bar whose keys and notifications follow the Windows
// track bar: Left, Up and PageUp toward the minimum.
class SliderWidget : public QSlider {
 public:
  SliderWidget(Registry& registry, QWidget* parent, const platform::SliderSettings& settings);
  void SetId(WindowId id) { id_ = id; }
  // A program write: moves the thumb, reports nothing.
  void Write(int position);
  // During a notification the thumb has moved and the value not yet.
  int Read() const { return sliderPosition(); }

 protected:
  bool event(QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  void Notify(std::optional<platform::ScrollCode> code);

  Registry& registry_;
  WindowId id_ = 0;
};

}  // namespace tinctora::qtb
