// Custom-drawn windows: what the control layer presented, in the program's
// own pixels, and direct drawings on top of it until the next repaint.

#include "platform/qt/qt_widgets.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QPaintEvent>
#include <QPainter>

#include <cstring>

namespace tinctora::qtb {

namespace {

// What a custom-drawn window shows is kept in the program's own pixel order
// (red in the lowest byte, the top byte unused), which Qt reads as RGBX:
// the program's images are copied row by row, and Qt converts them only
// when it paints.
constexpr QImage::Format kSurfaceFormat = QImage::Format_RGBX8888;
static_assert(Q_BYTE_ORDER == Q_LITTLE_ENDIAN, "the program's pixels are RGBX bytes in memory");

}  // namespace

SurfaceWidget::SurfaceWidget(Registry& registry, QWidget* parent, Qt::WindowFlags flags)
    : QWidget(parent, flags), registry_(registry) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  setAttribute(Qt::WA_NoSystemBackground);
}

void SurfaceWidget::Invalidate() {
  dirty_ = true;
  update();
}

void SurfaceWidget::TakePresent(const Image& client) {
  QImage shown(client.Width(), client.Height(), kSurfaceFormat);
  const auto bytes = static_cast<std::size_t>(client.Width()) * sizeof(Pixel);
  for (int y = 0; y < client.Height(); ++y) std::memcpy(shown.scanLine(y), client.Row(y), bytes);
  shown_ = std::move(shown);
  dirty_ = false;
  if (!inPaint_) update();
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
  // Qt merges it with the paints it has waiting; a repaint the program
  // asks for replaces it.
  update(area);
}

Pixel SurfaceWidget::ShownPixel(Point client) const {
  if (!shown_.rect().contains(client.x, client.y)) return platform::kInvalidPixel;
  return FromQRgb(shown_.pixel(client.x, client.y));
}

void SurfaceWidget::paintEvent(QPaintEvent* event) {
  if (dirty_ && registry_.sink != nullptr) {
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

void SurfaceWidget::resizeEvent(QResizeEvent* event) {
  dirty_ = true;
  QWidget::resizeEvent(event);
}

void SurfaceWidget::keyPressEvent(QKeyEvent* event) {
  // A popup takes its own keys; elsewhere they go up to the top level.
  if (isWindow() && ForwardKey(registry_, id_, *event)) {
    event->accept();
    return;
  }
  event->ignore();
}

void SurfaceWidget::closeEvent(QCloseEvent* event) {
  event->accept();
  if (!closingByProgram && onDismissed) onDismissed();
}

}  // namespace tinctora::qtb
