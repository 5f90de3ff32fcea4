// Popup windows the control layer paints and hit-tests itself: a frameless
// Qt popup that takes the pointer and the keyboard while it is open, so a
// click outside closes it and reaches the program as a dismissal.

#include <QEventLoop>
#include <QToolTip>

#include <algorithm>

#include "platform/qt/qt_services.h"
#include "platform/qt/qt_widgets.h"

namespace tinctora::qtb {

WindowId QtPopups::CreatePopup(WindowId ownerId, const Rect& screen) {
  NativeWindow* owner = registry_.Find(ownerId);
  auto* widget = new SurfaceWidget(registry_, owner != nullptr ? owner->outer : nullptr,
                                   Qt::Popup | Qt::FramelessWindowHint);
  widget->setAttribute(Qt::WA_NoMouseReplay);
  ForwardMouseOf(registry_, widget);
  // Exactly where the program put it: keeping it on a display is the program's business.
  widget->setGeometry(screen.left, screen.top, std::max(1, screen.Width()), std::max(1, screen.Height()));
  auto window = std::make_unique<NativeWindow>();
  window->parent = ownerId;
  window->popup = true;
  window->outer = widget;
  window->inner = widget;
  window->owned = OwnedWidget(widget);
  NativeWindow& made = registry_.Add(std::move(window));
  const WindowId id = made.id;
  widget->SetId(id);
  widget->onDismissed = [this, id] {
    if (registry_.sink != nullptr) registry_.sink->OnPopupDismissed(id);
  };
  return id;
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
  static_cast<SurfaceWidget*>(window->inner)->closingByProgram = true;
  registry_.Remove(id);
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
