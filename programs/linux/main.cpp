// tinctora: the program on the Linux desktop, X11 or Wayland.

#include <QApplication>
#include <QByteArray>
#include <QGuiApplication>

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

#include <wayland-client.h>
#include <xcb/xcb.h>

#include "app/program.h"
#include "platform/qt/qt_platform.h"

namespace {

enum class Session { X11, Wayland };

// The desktop the program runs on: TINCTORA_PLATFORM names one (x11,
// wayland); else Wayland when the session is Wayland's (WAYLAND_DISPLAY),
// X11 otherwise. Empty with a reason in `error` for a name it does not know.
std::optional<Session> ChosenSession(std::string& error) {
  const QByteArray named = qgetenv("TINCTORA_PLATFORM").trimmed().toLower();
  if (named == "x11" || named == "xcb") return Session::X11;
  if (named == "wayland") return Session::Wayland;
  if (!named.isEmpty()) {
    error = "TINCTORA_PLATFORM=" + named.toStdString() + " is neither x11 nor wayland";
    return std::nullopt;
  }
  return qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ? Session::X11 : Session::Wayland;
}

// Why the program cannot reach the display it is to run on, in one line;
// empty when it can. Checked before Qt starts: Qt's own answer to a missing
// display is a burst of warnings and an abort.
std::string MissingDisplay(Session session) {
  if (session == Session::Wayland) {
    // A socket named without a path lies in XDG_RUNTIME_DIR.
    const QByteArray socket = qgetenv("WAYLAND_DISPLAY");
    if (!socket.startsWith('/') && qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
      return "needs a Wayland display: XDG_RUNTIME_DIR is not set";
    }
    wl_display* display = wl_display_connect(nullptr);
    if (display == nullptr) {
      return qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")
                 ? "needs a Wayland display: WAYLAND_DISPLAY is not set"
                 : "needs a Wayland display: cannot connect to WAYLAND_DISPLAY " + qgetenv("WAYLAND_DISPLAY").toStdString();
    }
    wl_display_disconnect(display);
    return {};
  }
  const QByteArray display = qgetenv("DISPLAY");
  if (display.isEmpty()) {
    if (!qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
      return "needs an X11 display: this Wayland session has no DISPLAY (start XWayland, or leave TINCTORA_PLATFORM unset)";
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
  std::fprintf(file, "screen_reads %llu\nserver_reads %llu\n", static_cast<unsigned long long>(counts.screenReads),
               static_cast<unsigned long long>(counts.serverReads));
  const tinctora::qtb::PickStart start = system.LastPickStart();
  if (*start.way != '\0') {
    std::fprintf(file, "pick_capture %s\npick_capture_ms %.1f\npick_shown_ms %.1f\n", start.way, start.captureMs,
                 start.shownMs);
  }
  std::fclose(file);
}

}  // namespace

int main(int argc, char** argv) {
  std::string error;
  const std::optional<Session> session = ChosenSession(error);
  if (!session) {
    std::fprintf(stderr, "tinctora: %s\n", error.c_str());
    return EXIT_FAILURE;
  }
  // On a Wayland desktop the program is a Wayland client: through XWayland
  // it would see no pixel of a Wayland window.
  qputenv("QT_QPA_PLATFORM", *session == Session::Wayland ? "wayland" : "xcb");
  // The window is shown at its display's scale, as the desktop says it
  // (Xft.dpi, or QT_SCALE_FACTOR and QT_SCREEN_SCALE_FACTORS): Qt's
  // high-DPI scaling stays on, and a scale of 1.25 stays 1.25. The backend
  // speaks physical pixels to the program all the same.
  QGuiApplication::setHighDpiScaleFactorRoundingPolicy(Qt::HighDpiScaleFactorRoundingPolicy::PassThrough);
  if (const std::string missing = MissingDisplay(*session); !missing.empty()) {
    std::fprintf(stderr, "tinctora: %s\n", missing.c_str());
    return EXIT_FAILURE;
  }
  qInstallMessageHandler(OneLineMessages);
  // Every pointer movement of a pick is sampled: Qt must not merge them.
  QCoreApplication::setAttribute(Qt::AA_CompressHighFrequencyEvents, false);
  QApplication application(argc, argv);
  std::unique_ptr<tinctora::qtb::QtSystem> system = tinctora::qtb::QtSystem::Create();
  if (!system) {
    std::fprintf(stderr, "tinctora: needs an X11 or a Wayland display\n");
    return EXIT_FAILURE;
  }
  int code = 0;
  {
    tinctora::app::Program program(system->Services());
    program.Start();
    code = program.Finished() ? program.ExitCode() : program.Run();
  }
  WriteStats(*system);
  if (system->OnWayland()) {
    // Qt 6.4's Wayland connection can hang at its teardown (its event
    // thread left waiting in a read, now and then): with the program's
    // windows gone there is nothing left to end but the process.
    system.reset();
    std::fflush(nullptr);
    std::_Exit(code);
  }
  return code;
}
