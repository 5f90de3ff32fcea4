// The message loop is Qt's event loop; the display frame is a timer on it,
// which modal loops (a popup menu, the colour popup, a dialog) run as well.

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>

#include "platform/qt/qt_services.h"
#include "platform/qt/x_grab.h"

namespace tinctora::qtb {

namespace {

// About one frame of a 60 Hz display.
constexpr int kFrameMs = 16;

}  // namespace

QtLoop::QtLoop(Registry& registry) : registry_(registry) {
  frame_.setSingleShot(true);
  frame_.setTimerType(Qt::PreciseTimer);
  frame_.setInterval(kFrameMs);
  QObject::connect(&frame_, &QTimer::timeout, [this] {
    // The pick's movements that came since the last frame are handled
    // first, each in turn, and the frame shows the last of them.
    if (registry_.pointerGrab != nullptr) registry_.pointerGrab->TakeWaiting();
    if (registry_.sink != nullptr) registry_.sink->OnFrame();
  });
  registry_.requestFrame = [this] { RequestFrame(); };
}

QtLoop::~QtLoop() { registry_.requestFrame = nullptr; }

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

void QtLoop::RequestFrame() {
  // A request while one waits is that one.
  if (!frame_.isActive()) frame_.start();
}

void QtLoop::Pause(int milliseconds) {
  if (milliseconds > 0) QThread::msleep(static_cast<unsigned long>(milliseconds));
}

}  // namespace tinctora::qtb
