// Popup windows the control layer paints and hit-tests itself: a frameless
// Qt popup that takes the pointer and the keyboard while it is open, so a
// click outside closes it and reaches the program as a dismissal.

#include <QEventLoop>
#include <QToolTip>

#include <algorithm>
#include <cmath>

#include "platform/qt/qt_services.h"
#include "platform/qt/qt_widgets.h"

namespace tinctora::qtb {

WindowId QtPopups::CreatePopup(WindowId ownerId, const Rect& screen) {
  NativeWindow* owner = registry_.Find(ownerId);
  auto* widget = new SurfaceWidget(registry_, owner != nullptr ? owner->outer : nullptr,
                                   Qt::Popup | Qt::FramelessWindowHint);
  widget->setAttribute(Qt::WA_NoMouseReplay);
  ForwardMouseOf(registry_, widget);
  // Exactly where the program put it: keeping it on a display is the
  // program's business. Qt gets the nearest logical rectangle; the server
  // gets the exact one once the window is shown (RunPopup).
  const QPoint at = LogicalPoint({screen.left, screen.top});
  const double s = ScaleOf(widget);
  widget->setGeometry(at.x(), at.y(), std::max(1, static_cast<int>(std::floor(screen.Width() / s + 0.5))),
                      std::max(1, static_cast<int>(std::floor(screen.Height() / s + 0.5))));
  auto window = std::make_unique<NativeWindow>();
  window->parent = ownerId;
  window->popup = true;
  window->device = screen;
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
  PlaceExactly(*window);
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

void QtPopups::PlaceExactly(const NativeWindow& window) {
  // A popup is not managed (override-redirect): the server puts it exactly
  // where asked, which Qt's rounded logical rectangle may miss by a pixel.
  const auto native = static_cast<xcb_window_t>(window.outer->internalWinId());
  if (native == 0 || registry_.connection == nullptr) return;
  const Rect& r = window.device;
  const std::uint32_t values[] = {static_cast<std::uint32_t>(r.left), static_cast<std::uint32_t>(r.top),
                                  static_cast<std::uint32_t>(std::max(1, r.Width())),
                                  static_cast<std::uint32_t>(std::max(1, r.Height()))};
  xcb_configure_window(registry_.connection, native,
                       XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y | XCB_CONFIG_WINDOW_WIDTH | XCB_CONFIG_WINDOW_HEIGHT,
                       values);
  xcb_flush(registry_.connection);
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
  // Below the rectangle, four layout units down; Qt takes logical places.
  const Rect on = ScreenClient(registry_, *window);
  const double s = ScaleOf(window->inner);
  const QPoint below = LogicalPoint({on.left + client.left, on.top + client.bottom + static_cast<int>(4 * s)});
  const QPoint from = LogicalPoint({on.left + client.left, on.top + client.top});
  const QPoint to = LogicalPoint({on.left + client.right, on.top + client.bottom});
  const QRect area(window->inner->mapFromGlobal(from), window->inner->mapFromGlobal(to - QPoint(1, 1)));
  QToolTip::showText(below, FromGbk(text), window->inner, area);
}

}  // namespace tinctora::qtb
