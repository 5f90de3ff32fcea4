// The message loop is Qt's event loop.

#include <QCoreApplication>
#include <QEventLoop>

#include "platform/qt/qt_services.h"

namespace tinctora::qtb {

void QtLoop::Run() {
  // A window destroyed before the loop started has already asked it to stop.
  if (!quitting_) QCoreApplication::exec();
  quitting_ = false;
}

void QtLoop::ProcessPending() { QCoreApplication::processEvents(QEventLoop::AllEvents); }

void QtLoop::Quit() {
  quitting_ = true;
  // exit, not quit: quit first asks every window to close, and the window
  // only asks the program, which has already decided.
  QCoreApplication::exit(0);
}

void QtLoop::PostCommand(WindowId owner, int command) {
  Registry* registry = &registry_;
  QMetaObject::invokeMethod(
      QCoreApplication::instance(),
      [registry, owner, command] {
        if (registry->sink != nullptr) registry->sink->OnCommand(owner, command);
      },
      Qt::QueuedConnection);
}

}  // namespace tinctora::qtb
