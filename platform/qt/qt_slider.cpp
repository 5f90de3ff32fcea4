// Sliders on QSlider, with the Windows track bar's keys and notifications.
// The user's actions are reported as scroll codes; the program's writes
// move the thumb and report nothing.

#include "platform/qt/qt_widgets.h"

#include <QKeyEvent>
#include <QMouseEvent>

#include <algorithm>

namespace tinctora::qtb {

namespace {

std::optional<platform::ScrollCode> CodeOf(int action) {
  using platform::ScrollCode;
  switch (action) {
    case QAbstractSlider::SliderSingleStepSub: return ScrollCode::LineUp;
    case QAbstractSlider::SliderSingleStepAdd: return ScrollCode::LineDown;
    case QAbstractSlider::SliderPageStepSub: return ScrollCode::PageUp;
    case QAbstractSlider::SliderPageStepAdd: return ScrollCode::PageDown;
    case QAbstractSlider::SliderToMinimum: return ScrollCode::Top;
    case QAbstractSlider::SliderToMaximum: return ScrollCode::Bottom;
    case QAbstractSlider::SliderMove: return ScrollCode::ThumbTrack;
    default: return std::nullopt;
  }
}

}  // namespace

SliderWidget::SliderWidget(Registry& registry, QWidget* parent, const platform::SliderSettings& s)
    : QSlider(Qt::Horizontal, parent), registry_(registry) {
  setRange(s.minimum, s.maximum);
  setValue(std::clamp(s.position, s.minimum, s.maximum));
  setSingleStep(s.lineStep);
  setPageStep(s.pageStep);
  setTickPosition(QSlider::TicksAbove);
  setTickInterval(s.tickFrequency);
  // The slider fills its own ground, so a moved thumb repaints the slider
  // alone rather than the window's composition under it first.
  setAutoFillBackground(true);
  connect(this, &QAbstractSlider::actionTriggered, this, [this](int action) { Notify(CodeOf(action)); });
}

void SliderWidget::Write(int position) {
  const QSignalBlocker quiet(this);
  setValue(std::clamp(position, minimum(), maximum()));
}

bool SliderWidget::event(QEvent* event) {
  // The user moves the thumb from where the program last put it.
  switch (event->type()) {
    case QEvent::KeyPress:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::FocusIn:
      if (registry_.sink != nullptr) registry_.sink->BeforeInput(id_);
      break;
    default: break;
  }
  return QSlider::event(event);
}

void SliderWidget::keyPressEvent(QKeyEvent* event) {
  SliderAction action = SliderNoAction;
  switch (event->key()) {
    case Qt::Key_Left:
    case Qt::Key_Up: action = SliderSingleStepSub; break;
    case Qt::Key_Right:
    case Qt::Key_Down: action = SliderSingleStepAdd; break;
    case Qt::Key_PageUp: action = SliderPageStepSub; break;
    case Qt::Key_PageDown: action = SliderPageStepAdd; break;
    case Qt::Key_Home: action = SliderToMinimum; break;
    case Qt::Key_End: action = SliderToMaximum; break;
    default: event->ignore(); return;
  }
  triggerAction(action);
  Notify(platform::ScrollCode::EndScroll);
  event->accept();
}

void SliderWidget::mouseReleaseEvent(QMouseEvent* event) {
  const bool dragging = isSliderDown();
  QSlider::mouseReleaseEvent(event);
  if (event->button() != Qt::LeftButton) return;
  if (dragging) Notify(platform::ScrollCode::ThumbPosition);
  Notify(platform::ScrollCode::EndScroll);
}

void SliderWidget::Notify(std::optional<platform::ScrollCode> code) {
  if (code && registry_.sink != nullptr) registry_.sink->OnSliderScroll(id_, *code);
}

}  // namespace tinctora::qtb
