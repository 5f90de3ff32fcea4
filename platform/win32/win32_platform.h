#pragma once

// The Win32 backend: user32 and gdi32 for the window, the screen, the
// pointer and the hot keys, comctl32 for the track bar and the tooltip,
// comdlg32 for the colour dialog. Texts cross to the system through the
// wide-character API, converted from the program's GBK at the edge.

#include <memory>

#include "platform/platform.h"

namespace tinctora::win32 {

class Win32System {
 public:
  // Registers the window classes and starts the common controls; nothing
  // when the system refuses either.
  static std::unique_ptr<Win32System> Create();
  ~Win32System();
  Win32System(const Win32System&) = delete;
  Win32System& operator=(const Win32System&) = delete;

  platform::Platform Services();

  // The GDI objects and DCs the backend holds now, and how many objects it
  // has made since the process started (DCs borrowed from a window or the
  // screen are held, not made).
  struct GdiCounts {
    long held = 0;
    long made = 0;
  };
  static GdiCounts Gdi();

 private:
  Win32System();
  struct Parts;
  std::unique_ptr<Parts> parts_;
};

}  // namespace tinctora::win32
