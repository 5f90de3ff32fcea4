// tinctora: the program on the Linux desktop (X11).

#include <QApplication>
#include <QByteArray>
#include <QGuiApplication>

#include <cstdio>
#include <cstdlib>
#include <string>

#include <xcb/xcb.h>

#include "app/program.h"
#include "platform/qt/qt_platform.h"

namespace {

// Why the program cannot reach an X server, in one line; empty when it can.
// Checked before Qt starts: Qt's own answer to a missing display is a burst
// of warnings and an abort.
std::string MissingDisplay() {
  const QByteArray display = qgetenv("DISPLAY");
  if (display.isEmpty()) {
    if (!qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
      return "needs an X11 display: this Wayland session has no DISPLAY (start XWayland or an X11 session)";
    }
    return "needs an X11 display: DISPLAY is not set";
  }
  xcb_connection_t* connection = xcb_connect(display.constData(), nullptr);
  const bool failed = xcb_connection_has_error(connection) != 0;
  xcb_disconnect(connection);
  if (failed) return "needs an X11 display: cannot connect to DISPLAY " + display.toStdString();
  return {};
}

// Qt's messages, one line each; the platform plugin's chatter about the
// display is left out, as the program has checked the display itself.
void OneLineMessages(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  const char* category = context.category != nullptr ? context.category : "";
  if (type != QtFatalMsg && type != QtCriticalMsg && std::string(category).rfind("qt.qpa", 0) == 0) return;
  if (type == QtDebugMsg || type == QtInfoMsg) return;
  QString line = message;
  line.replace(QLatin1Char('\n'), QLatin1Char(' '));
  std::fprintf(stderr, "tinctora: %s\n", line.toLocal8Bit().constData());
}

// The counters of pointer movements, for benchmarks: written at exit to the
// file TINCTORA_STATS names.
void WriteStats(const tinctora::qtb::QtSystem& system) {
  const QByteArray path = qgetenv("TINCTORA_STATS");
  if (path.isEmpty()) return;
  std::FILE* file = std::fopen(path.constData(), "w");
  if (file == nullptr) {
    std::fprintf(stderr, "tinctora: cannot write %s\n", path.constData());
    return;
  }
  const tinctora::qtb::MotionCounts counts = system.Counts();
  std::fprintf(file, "motion_received %llu\nmotion_handled %llu\n", static_cast<unsigned long long>(counts.received),
               static_cast<unsigned long long>(counts.handled));
  std::fclose(file);
}

}  // namespace

int main(int argc, char** argv) {
  // The screen, the pointer and the hot keys are X11's: under Wayland the
  // program runs through XWayland.
  qputenv("QT_QPA_PLATFORM", "xcb");
  // The window is shown at its display's scale, as the desktop says it
  // (Xft.dpi, or QT_SCALE_FACTOR and QT_SCREEN_SCALE_FACTORS): Qt's
  // high-DPI scaling stays on, and a scale of 1.25 stays 1.25. The backend
  // speaks physical pixels to the program all the same.
  QGuiApplication::setHighDpiScaleFactorRoundingPolicy(Qt::HighDpiScaleFactorRoundingPolicy::PassThrough);
  if (const std::string missing = MissingDisplay(); !missing.empty()) {
    std::fprintf(stderr, "tinctora: %s\n", missing.c_str());
    return EXIT_FAILURE;
  }
  qInstallMessageHandler(OneLineMessages);
  // Every pointer movement of a pick is sampled: Qt must not merge them.
  QCoreApplication::setAttribute(Qt::AA_CompressHighFrequencyEvents, false);
  QApplication application(argc, argv);
  std::unique_ptr<tinctora::qtb::QtSystem> system = tinctora::qtb::QtSystem::Create();
  if (!system) {
    std::fprintf(stderr, "tinctora: needs an X11 display\n");
    return EXIT_FAILURE;
  }
  int code = 0;
  {
    tinctora::app::Program program(system->Services());
    program.Start();
    code = program.Finished() ? program.ExitCode() : program.Run();
  }
  WriteStats(*system);
  return code;
}
