// Modal choices: the popup menu on QMenu, the colour dialog on QColorDialog.

#include <QColorDialog>
#include <QMenu>

#include "platform/qt/qt_services.h"

namespace tinctora::qtb {

std::optional<int> QtDialogs::TrackPopupMenu(WindowId ownerId, std::span<const Text> items, Point at) {
  NativeWindow* owner = registry_.Find(ownerId);
  QMenu menu(owner != nullptr ? owner->outer : nullptr);
  menu.setFont(font_.Native());
  std::vector<QAction*> actions;
  actions.reserve(items.size());
  for (const Text& item : items) actions.push_back(menu.addAction(FromGbk(item)));
  // Qt places the menu at a logical point: the nearest to the physical one.
  QAction* chosen = menu.exec(LogicalPoint(at));
  for (std::size_t i = 0; i < actions.size(); ++i) {
    if (actions[i] == chosen) return static_cast<int>(i);
  }
  return std::nullopt;
}

std::optional<colour::ColourValue> QtDialogs::ChooseColour(WindowId ownerId, colour::ColourValue initial) {
  NativeWindow* owner = registry_.Find(ownerId);
  const colour::Channels c = colour::SplitColour(initial);
  const QColor chosen = QColorDialog::getColor(QColor(c.red, c.green, c.blue), owner != nullptr ? owner->outer : nullptr);
  if (!chosen.isValid()) return std::nullopt;
  return colour::MakeColour(chosen.red(), chosen.green(), chosen.blue());
}

}  // namespace tinctora::qtb
