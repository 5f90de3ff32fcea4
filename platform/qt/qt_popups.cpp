// Popup windows the control layer paints and hit-tests itself: a frameless
// Qt popup that takes the pointer and the keyboard while it is open, so a
// click outside closes it and reaches the program as a dismissal.

#include <QEventLoop>
#include <QGuiApplication>
#include <QScreen>
#include <QToolTip>

#include <algorithm>

#include "platform/qt/qt_services.h"

namespace tinctora::qtb {

WindowId QtPopups::CreatePopup(WindowId ownerId, const Rect& screen) {
  NativeWindow* owner = registry_.Find(ownerId);
  auto* widget = new SurfaceWidget(registry_, owner != nullptr ? owner->outer : nullptr,
                                   Qt::Popup | Qt::FramelessWindowHint);
  widget->setAttribute(Qt::WA_NoMouseReplay);
  widget->setMouseTracking(true);
  // Kept on the display that holds most of it.
  QRect wanted(screen.left, screen.top, std::max(1, screen.Width()), std::max(1, screen.Height()));
  QRect best;
  int bestArea = -1;
  for (const QScreen* s : QGuiApplication::screens()) {
    const QRect overlap = s->geometry().intersected(wanted);
    const int area = overlap.isEmpty() ? 0 : overlap.width() * overlap.height();
    if (area > bestArea) {
      bestArea = area;
      best = s->geometry();
    }
  }
  if (!best.isEmpty()) {
    wanted.moveLeft(std::clamp(wanted.left(), best.left(), std::max(best.left(), best.right() + 1 - wanted.width())));
    wanted.moveTop(std::clamp(wanted.top(), best.top(), std::max(best.top(), best.bottom() + 1 - wanted.height())));
  }
  widget->setGeometry(wanted);
  auto window = std::make_unique<NativeWindow>();
  window->parent = ownerId;
  window->popup = true;
  window->outer = widget;
  window->inner = widget;
  window->deferred = widget;
  NativeWindow& made = registry_.Add(std::move(window));
  const WindowId id = made.id;
  widget->SetId(id);
  widget->installEventFilter(this);
  widget->onDismissed = [this, id] {
    if (registry_.sink != nullptr) registry_.sink->OnPopupDismissed(id);
  };
  return id;
}

bool QtPopups::eventFilter(QObject* watched, QEvent* event) {
  auto* widget = qobject_cast<QWidget*>(watched);
  return widget != nullptr && registry_.ForwardMouse(widget, event);
}

void QtPopups::RunPopup(WindowId id) {
  NativeWindow* window = registry_.Find(id);
  if (window == nullptr) return;
  auto* widget = static_cast<SurfaceWidget*>(window->inner);
  std::erase(closed_, id);
  widget->show();
  widget->activateWindow();
  widget->setFocus(Qt::PopupFocusReason);
  if (std::find(closed_.begin(), closed_.end(), id) == closed_.end()) {
    QEventLoop loop;
    running_[id] = &loop;
    loop.exec();
    running_.erase(id);
  }
  std::erase(closed_, id);
  if ((window = registry_.Find(id)) != nullptr) {
    widget->closingByProgram = true;
    widget->hide();
    widget->closingByProgram = false;
  }
}

void QtPopups::ClosePopup(WindowId id) {
  const auto it = running_.find(id);
  if (it != running_.end()) {
    it->second->quit();
  } else {
    closed_.push_back(id);
  }
}

void QtPopups::DestroyPopup(WindowId id) {
  NativeWindow* window = registry_.Find(id);
  if (window == nullptr) return;
  QWidget* widget = window->outer;
  registry_.Remove(id);
  static_cast<SurfaceWidget*>(widget)->closingByProgram = true;
  widget->hide();
  widget->deleteLater();
}

void QtPopups::ShowTooltip(WindowId id, const Rect& client, TextView text) {
  NativeWindow* window = registry_.Find(id);
  if (window == nullptr || text.empty()) {
    QToolTip::hideText();
    return;
  }
  const QRect area(client.left, client.top, client.Width(), client.Height());
  QToolTip::showText(window->inner->mapToGlobal(area.bottomLeft() + QPoint(0, 4)), FromGbk(text), window->inner, area);
}

}  // namespace tinctora::qtb
