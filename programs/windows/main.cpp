// tinctora.exe: the program on Windows.

#include <windows.h>

#include <cstdlib>

#include "app/program.h"
#include "platform/win32/win32_platform.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  std::unique_ptr<tinctora::win32::Win32System> system = tinctora::win32::Win32System::Create();
  if (!system) return EXIT_FAILURE;
  int code = 0;
  {
    tinctora::app::Program program(system->Services());
    program.Start();
    code = program.Finished() ? program.ExitCode() : program.Run();
  }
  return code;
}
