#include "platform/headless/desktop_internal.h"

namespace tinctora::headless {

using namespace internal;

// ---- answers ---------------------------------------------------------------------

void Desktop::QueueMenuAnswer(int origin, MenuAnswer answer) {
  answers_.push_back({.origin = origin, .kind = ModalKind::Menu, .menu = std::move(answer)});
}

void Desktop::QueuePopupAnswer(int origin, PopupAnswer answer) {
  answers_.push_back({.origin = origin, .kind = ModalKind::Popup, .popup = std::move(answer)});
}

void Desktop::QueueDialogAnswer(int origin, DialogAnswer answer) {
  answers_.push_back({.origin = origin, .kind = ModalKind::Dialog, .dialog = answer});
}

std::optional<Desktop::Answer> Desktop::NextAnswer(ModalKind kind) {
  for (auto it = answers_.begin(); it != answers_.end(); ++it) {
    if (it->kind != kind) continue;
    Answer answer = std::move(*it);
    answers_.erase(it);
    return answer;
  }
  return std::nullopt;
}

std::vector<std::pair<int, Desktop::ModalKind>> Desktop::TakeUnusedAnswers(std::optional<int> origin) {
  std::vector<std::pair<int, ModalKind>> unused;
  for (auto it = answers_.begin(); it != answers_.end();) {
    if (!origin || it->origin == *origin) {
      unused.emplace_back(it->origin, it->kind);
      it = answers_.erase(it);
    } else {
      ++it;
    }
  }
  return unused;
}

// ---- the system's menus and dialog ------------------------------------------------

std::optional<int> Desktop::TrackPopupMenu(WindowId owner, std::span<const Text> items, Point at) {
  MenuShown shown;
  shown.at = at;
  shown.items.assign(items.begin(), items.end());
  // Without an answer the user dismisses the menu.
  if (std::optional<Answer> answer = NextAnswer(ModalKind::Menu)) shown.chosen = answer->menu(shown);
  if (shown.chosen && (*shown.chosen < 0 || static_cast<std::size_t>(*shown.chosen) >= items.size())) {
    shown.chosen.reset();
  }
  menusShown_.push_back(shown);
  return shown.chosen;
}

std::optional<colour::ColourValue> Desktop::ChooseColour(WindowId owner, colour::ColourValue initial) {
  dialogsShown_.push_back(initial);
  // Without an answer the user cancels the dialog.
  std::optional<Answer> answer = NextAnswer(ModalKind::Dialog);
  return answer ? answer->dialog : std::nullopt;
}

// ---- popups -------------------------------------------------------------------------

WindowId Desktop::CreatePopup(WindowId owner, const Rect& screen) {
  if (Find(owner) == nullptr) return 0;
  auto win = std::make_unique<Win>();
  win->id = nextId_++;
  win->popup = true;
  win->bounds = screen;
  win->client.Reset(screen.Width(), screen.Height(), colours_.face);
  const WindowId id = win->id;
  windows_.emplace(id, std::move(win));
  return id;
}

void Desktop::RunPopup(WindowId popup) {
  Win* win = Find(popup);
  if (win == nullptr || openPopup_ != 0) return;
  win->visible = true;
  openPopup_ = popup;
  popupClosing_ = false;
  PopupShown shown;
  shown.at = win->bounds;
  FlushPaint(win->bounds);
  shown.client = win->client;
  popupsShown_.push_back(std::move(shown));
  // The modal loop: the user's actions while the popup is open.
  if (std::optional<Answer> answer = NextAnswer(ModalKind::Popup)) answer->popup(*this, popup);
  Pump();
  // A popup the user leaves open is closed by a click elsewhere.
  if (!popupClosing_ && sink_ != nullptr) sink_->OnPopupDismissed(popup);
  Pump();
  if (Win* still = Find(popup)) still->visible = false;
  openPopup_ = 0;
}

void Desktop::ClosePopup(WindowId popup) {
  if (popup == openPopup_) popupClosing_ = true;
}

void Desktop::DestroyPopup(WindowId popup) {
  const Win* win = Find(popup);
  if (win == nullptr || !win->popup) return;
  if (openPopup_ == popup) openPopup_ = 0;
  dirty_.erase(popup);
  windows_.erase(popup);
}

void Desktop::ShowTooltip(WindowId popup, const Rect& client, TextView text) {
  if (Find(popup) != nullptr && !text.empty()) lastTooltip_ = Text(text);
}

}  // namespace tinctora::headless
