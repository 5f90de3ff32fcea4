// Custom-drawn windows: what the control layer presented, in the program's
// own pixels and at their device size, and direct drawings on top of it
// until the next repaint. The top level's composition (qt_compose.cpp)
// puts them on the screen.

#include "platform/qt/qt_widgets.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QPaintEvent>
#include <QPaintEngine>
#include <QPainter>
#include <QRegion>

#include <cstdint>
#include <cstring>
#include <optional>

namespace tinctora::qtb {

namespace {

// What a custom-drawn window shows is kept in the toolkit's native 32-bit
// format (0xAARRGGBB words), the backing store's own on a 24- or 32-bit
// screen, so that painting it is a plain copy: the program's images (red in
// the lowest byte) are converted once, when they are handed over. The
// alpha byte is set: Qt copies an RGB32 image's top byte as it stands, and
// a window with an alpha channel (a Wayland surface) shows the desktop
// through a pixel whose byte is not opaque, whatever the program's unused
// top byte holds.
constexpr QImage::Format kSurfaceFormat = QImage::Format_RGB32;

void CopyOpaque(std::uint32_t* to, const Pixel* from, int count) { gfx::SwapRedAndBlue(to, from, count, 0xFF000000u); }

// Where a painter's pixels can be written straight into its raster image
// (the backing store's) as a plain copy or fill: 32-bit pixels, no clip of
// the painter's own, no scale, source-over at full opacity. `clip` is the
// paint's region in the image's pixels (empty: the whole image); `offset`
// takes the painter's device coordinates to the image's.
struct RasterTarget {
  QImage* image = nullptr;
  QRegion clip;
  QPointF offset;
  // Calls `visit` with each part of `area` (the image's pixels) the paint
  // may cover, clipped to the image.
  template <class Visit>
  void ForEachPart(const QRect& area, Visit visit) const {
    const QRect within = area & image->rect();
    if (within.isEmpty()) return;
    if (clip.isEmpty()) {
      visit(within);
      return;
    }
    for (const QRect& r : clip) {
      const QRect part = r & within;
      if (!part.isEmpty()) visit(part);
    }
  }
};
std::optional<RasterTarget> RasterTargetOf(QPainter& painter) {
  QPaintEngine* engine = painter.paintEngine();
  if (engine == nullptr || engine->type() != QPaintEngine::Raster || painter.hasClipping()) return std::nullopt;
  QPaintDevice* device = engine->paintDevice();
  if (device == nullptr || device->devType() != QInternal::Image) return std::nullopt;
  auto* image = static_cast<QImage*>(device);
  const QImage::Format format = image->format();
  if (format != QImage::Format_RGB32 && format != QImage::Format_ARGB32_Premultiplied &&
      format != QImage::Format_ARGB32) {
    return std::nullopt;
  }
  if (painter.compositionMode() != QPainter::CompositionMode_SourceOver || painter.opacity() != 1.0) {
    return std::nullopt;
  }
  const QTransform transform = painter.deviceTransform();
  if (transform.type() > QTransform::TxTranslate) return std::nullopt;
  return RasterTarget{image, engine->systemClip(), QPointF(transform.dx(), transform.dy())};
}

}  // namespace

SurfaceWidget::SurfaceWidget(Registry& registry, QWidget* parent, Qt::WindowFlags flags)
    : QWidget(parent, flags), registry_(registry) {
  // A child paints nothing of its own: what lies under it is the top
  // level's composition. A popup covers itself.
  if (isWindow()) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
  }
}

Rect SurfaceWidget::Client() const {
  const NativeWindow* window = registry_.Find(id_);
  return window != nullptr ? AbsoluteClient(registry_, *window) : Rect{};
}

void SurfaceWidget::Invalidate() {
  dirty_ = true;
  if (const NativeWindow* window = registry_.Find(id_)) RequestPaint(registry_, *window);
}

void SurfaceWidget::TakePresent(const Image& client) {
  QImage shown(client.Width(), client.Height(), kSurfaceFormat);
  for (int y = 0; y < client.Height(); ++y) {
    CopyOpaque(reinterpret_cast<std::uint32_t*>(shown.scanLine(y)), client.Row(y), client.Width());
  }
  shown_ = std::move(shown);
  dirty_ = false;
  if (inPaint_) return;
  if (const NativeWindow* window = registry_.Find(id_)) RequestPaint(registry_, *window);
}

void SurfaceWidget::DrawDirect(const Image& pixels, Point at) {
  const Rect client = Client();
  const QSize size(client.Width(), client.Height());
  if (shown_.size() != size || shown_.format() != kSurfaceFormat) {
    QImage resized(size, kSurfaceFormat);
    resized.fill(Qt::black);
    shown_ = std::move(resized);
  }
  const QRect area = QRect(at.x, at.y, pixels.Width(), pixels.Height()).intersected(shown_.rect());
  if (area.isEmpty()) return;
  for (int y = area.top(); y <= area.bottom(); ++y) {
    CopyOpaque(reinterpret_cast<std::uint32_t*>(shown_.scanLine(y)) + area.left(),
               pixels.Row(y - at.y) + (area.left() - at.x), area.width());
  }
  // Qt merges it with the paints it has waiting; a repaint the program
  // asks for replaces it.
  if (const NativeWindow* window = registry_.Find(id_)) {
    RequestPaint(registry_, *window, RectOf(area));
  }
}

Pixel SurfaceWidget::ShownPixel(Point client) const {
  if (!shown_.rect().contains(client.x, client.y)) return platform::kInvalidPixel;
  return FromQRgb(shown_.pixel(client.x, client.y));
}

void SurfaceWidget::PaintAt(QPainter& painter, const QPointF& at, const QSize& size) {
  if (dirty_ && registry_.sink != nullptr) {
    inPaint_ = true;
    registry_.sink->OnPaint(id_);
    inPaint_ = false;
  }
  const QRectF target(at, size);
  if (shown_.isNull()) {
    painter.fillRect(target, palette().color(QPalette::Window));
    return;
  }
  if (shown_.size() == size) {
    const bool copied = CopyInto(painter, at);
    if (!copied) painter.drawImage(at, shown_);
    return;
  }
  // A picture of another size (the program has not painted since the
  // window changed size): what fits, one pixel for one, the rest blank.
  painter.fillRect(target, palette().color(QPalette::Window));
  painter.drawImage(at, shown_.copy(shown_.rect().intersected(QRect(QPoint(0, 0), size))));
}

bool SurfaceWidget::CopyInto(QPainter& painter, const QPointF& at) const {
  // The picture is copied straight into the backing store's image, row by
  // row, over the part the paint may cover: Qt's own drawing of an image
  // under a clip of many rectangles (a frame repaints a zoom view, a
  // preview and a dozen boxes) goes through its general path, several
  // times slower, and hands large images to a pool of threads. The copy
  // is the same pixels: the picture is opaque, and an opaque pixel's bits
  // are the same in the backing store's RGB32 and premultiplied ARGB32.
  const std::optional<RasterTarget> target = RasterTargetOf(painter);
  if (!target) return false;
  const QPointF place = at + target->offset;
  const QPoint origin(qRound(place.x()), qRound(place.y()));
  if (QPointF(origin) != place) return false;
  // The rows are reached from the first ones: QImage::scanLine checks
  // for sharing on every call.
  uchar* const to = target->image->bits();
  const qsizetype toStride = target->image->bytesPerLine();
  const uchar* const from = shown_.constBits();
  const qsizetype fromStride = shown_.bytesPerLine();
  target->ForEachPart(QRect(origin, shown_.size()), [&](const QRect& r) {
    const std::size_t bytes = static_cast<std::size_t>(r.width()) * 4;
    for (int y = r.top(); y <= r.bottom(); ++y) {
      std::memcpy(to + y * toStride + static_cast<std::size_t>(r.left()) * 4,
                  from + (y - origin.y()) * fromStride + static_cast<std::size_t>(r.left() - origin.x()) * 4, bytes);
    }
  });
  return true;
}

void SurfaceWidget::paintEvent(QPaintEvent* event) {
  if (isWindow()) Compose(registry_, this, event->region());
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
