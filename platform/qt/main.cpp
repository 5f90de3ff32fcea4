// tinctora: the program on the Linux desktop (X11).

#include <QApplication>

#include <cstdio>
#include <cstdlib>

#include "app/program.h"
#include "platform/qt/qt_platform.h"

int main(int argc, char** argv) {
  // The screen and the hot keys are X11's: under Wayland the program runs
  // through XWayland.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "xcb");
  // The program works in physical pixels, as the screen's pixels and the
  // pointer are read: Qt must not scale the windows.
  qputenv("QT_ENABLE_HIGHDPI_SCALING", "0");
  for (const char* name : {"QT_SCALE_FACTOR", "QT_SCREEN_SCALE_FACTORS", "QT_AUTO_SCREEN_SCALE_FACTOR"}) qunsetenv(name);
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
  return code;
}
