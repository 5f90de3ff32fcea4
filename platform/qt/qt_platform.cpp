// Makes the services of the Qt backend over one shared window table.

#include "platform/qt/qt_platform.h"

#include <QApplication>
#include <QGuiApplication>

#include "platform/qt/qt_services.h"

namespace tinctora::qtb {

struct QtSystem::Parts {
  Registry registry;
  std::unique_ptr<QtWindows> windows;
  std::unique_ptr<QtPopups> popups;
  std::unique_ptr<QtScreen> screen;
  std::unique_ptr<QtHotKeys> hotKeys;
  std::unique_ptr<QtClipboard> clipboard;
  std::unique_ptr<QtDialogs> dialogs;
  std::unique_ptr<QtLoop> loop;
};

QtSystem::QtSystem() : parts_(std::make_unique<Parts>()) {}

QtSystem::~QtSystem() {
  // The hot keys and the windows go before the connection they use.
  parts_->hotKeys.reset();
  parts_->windows.reset();
}

std::unique_ptr<QtSystem> QtSystem::Create() {
  auto* x11 = qApp != nullptr ? qApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
  if (x11 == nullptr || x11->connection() == nullptr) return nullptr;
  std::unique_ptr<QtSystem> system(new QtSystem());
  Parts& p = *system->parts_;
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
  p.hotKeys = std::make_unique<QtHotKeys>(p.registry);
  p.clipboard = std::make_unique<QtClipboard>();
  p.dialogs = std::make_unique<QtDialogs>(p.registry, static_cast<const QtFont&>(p.windows->DefaultGuiFont()));
  p.loop = std::make_unique<QtLoop>(p.registry);
  QApplication::setFont(static_cast<const QtFont&>(p.windows->DefaultGuiFont()).Native());
  return system;
}

MotionCounts QtSystem::Counts() const { return parts_->registry.motions; }

platform::Platform QtSystem::Services() {
  Parts& p = *parts_;
  return {p.windows.get(), p.popups.get(), p.screen.get(), p.hotKeys.get(), p.clipboard.get(), p.dialogs.get(),
          p.loop.get()};
}

}  // namespace tinctora::qtb
