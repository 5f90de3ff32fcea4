// Makes the services of the Qt backend over one shared window table.

#include "platform/qt/qt_platform.h"

#include <QApplication>
#include <QGuiApplication>

#include <cstring>

#include "platform/qt/qt_services.h"
#include "platform/qt/wayland/wl_screen.h"

namespace tinctora::qtb {

// ---- native resources ------------------------------------------------------------

xcb_atom_t InternAtom(xcb_connection_t* c, const char* name) {
  const Reply<xcb_intern_atom_reply_t> reply(
      xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, static_cast<std::uint16_t>(std::strlen(name)), name), nullptr));
  return reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
}

OwnedWidget& OwnedWidget::operator=(OwnedWidget&& other) noexcept {
  if (this != &other) {
    reset();
    widget_ = other.release();
  }
  return *this;
}

QWidget* OwnedWidget::release() {
  QWidget* widget = widget_;
  widget_ = nullptr;
  return widget;
}

void OwnedWidget::reset() {
  if (QWidget* widget = release()) {
    widget->hide();
    // The window may be handling one of its own events now: it goes once that returns.
    widget->deleteLater();
  }
}

// ---- the window table --------------------------------------------------------------

NativeWindow& Registry::Add(std::unique_ptr<NativeWindow> window) {
  window->id = next_++;
  NativeWindow& made = *window;
  byWidget_[made.inner] = made.id;
  byWidget_[made.outer] = made.id;
  windows_.emplace(made.id, std::move(window));
  return made;
}

NativeWindow* Registry::Find(WindowId id) const {
  const auto it = windows_.find(id);
  return it == windows_.end() ? nullptr : it->second.get();
}

void Registry::Remove(WindowId id) {
  const auto it = windows_.find(id);
  if (it == windows_.end()) return;
  byWidget_.erase(it->second->inner);
  byWidget_.erase(it->second->outer);
  if (capture == id) capture = 0;
  windows_.erase(it);
}

std::vector<NativeWindow*> Registry::All() const {
  std::vector<NativeWindow*> all;
  all.reserve(windows_.size());
  for (const auto& [id, window] : windows_) all.push_back(window.get());
  return all;
}

NativeWindow* Registry::Owning(const QWidget* widget) const {
  for (const QWidget* w = widget; w != nullptr; w = w->parentWidget()) {
    const auto it = byWidget_.find(w);
    if (it != byWidget_.end()) return Find(it->second);
  }
  return nullptr;
}

// ---- the services ------------------------------------------------------------------

struct QtSystem::Parts {
  Registry registry;
  std::unique_ptr<QtWindows> windows;
  std::unique_ptr<QtPopups> popups;
  std::unique_ptr<platform::Screen> screen;
  std::unique_ptr<platform::HotKeys> hotKeys;
  WaylandScreen* wayland = nullptr;  // the screen, on Wayland
  std::unique_ptr<NativeInput> input;
  std::unique_ptr<QtClipboard> clipboard;
  std::unique_ptr<QtDialogs> dialogs;
  std::unique_ptr<QtLoop> loop;
};

QtSystem::QtSystem() : parts_(std::make_unique<Parts>()) {}

QtSystem::~QtSystem() {
  // The input filter, the hot keys and the windows go before the connection
  // they use.
  parts_->input.reset();
  parts_->screen.reset();
  parts_->hotKeys.reset();
  parts_->windows.reset();
  // Windows that went while the loop was not running are deleted now,
  // while the table their widgets use still exists.
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

std::unique_ptr<QtSystem> QtSystem::Create() {
  if (qApp == nullptr) return nullptr;
  std::unique_ptr<QtSystem> system(new QtSystem());
  Parts& p = *system->parts_;
  if (QGuiApplication::platformName() == QLatin1String("wayland")) {
    p.windows = std::make_unique<QtWindows>(p.registry);
    p.popups = std::make_unique<QtPopups>(p.registry);
    auto hotKeys = std::make_unique<WaylandHotKeys>();
    auto screen = std::make_unique<WaylandScreen>(p.registry, *p.windows, *hotKeys);
    p.wayland = screen.get();
    p.screen = std::move(screen);
    p.hotKeys = std::move(hotKeys);
  } else {
    auto* x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
    if (x11 == nullptr || x11->connection() == nullptr) return nullptr;
    p.registry.connection = x11->connection();
    const xcb_setup_t* setup = xcb_get_setup(p.registry.connection);
    auto roots = xcb_setup_roots_iterator(setup);
    if (roots.rem == 0) return nullptr;
    // The default screen of the connection Qt opened.
    for (int screen = QString::fromLocal8Bit(qgetenv("DISPLAY")).section(QLatin1Char('.'), 1, 1).toInt();
         screen > 0 && roots.rem > 1; --screen) {
      xcb_screen_next(&roots);
    }
    p.registry.root = roots.data->root;
    p.windows = std::make_unique<QtWindows>(p.registry);
    p.popups = std::make_unique<QtPopups>(p.registry);
    p.screen = std::make_unique<QtScreen>(p.registry);
    auto hotKeys = std::make_unique<QtHotKeys>(p.registry);
    p.input = std::make_unique<NativeInput>(p.registry, *hotKeys);
    p.hotKeys = std::move(hotKeys);
  }
  p.clipboard = std::make_unique<QtClipboard>();
  // The system's controls, menus and dialogs take the font at scale 1 in
  // Qt's logical pixels: Qt shows it at each window's scale.
  const auto& font = static_cast<const QtFont&>(p.windows->DefaultGuiFont(1.0));
  p.dialogs = std::make_unique<QtDialogs>(p.registry, font);
  p.loop = std::make_unique<QtLoop>(p.registry);
  QApplication::setFont(font.Native());
  return system;
}

MotionCounts QtSystem::Counts() const { return parts_->registry.motions; }

PickStart QtSystem::LastPickStart() const { return parts_->wayland != nullptr ? parts_->wayland->LastPickStart() : PickStart{}; }

bool QtSystem::OnWayland() const { return parts_->wayland != nullptr; }

platform::Platform QtSystem::Services() {
  Parts& p = *parts_;
  return {p.windows.get(), p.popups.get(), p.screen.get(), p.hotKeys.get(), p.clipboard.get(), p.dialogs.get(),
          p.loop.get()};
}

}  // namespace tinctora::qtb
