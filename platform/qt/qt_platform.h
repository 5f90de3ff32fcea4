#pragma once

// The Qt backend: Qt 6 Widgets for the window and the system's controls,
// XCB for the screen's pixels, the pointer and the global hot keys. It
// needs a QApplication running on the xcb platform plugin.

#include <memory>

#include "platform/platform.h"

namespace tinctora::qtb {

class QtSystem {
 public:
  // Nothing when the application does not run on X11.
  static std::unique_ptr<QtSystem> Create();
  ~QtSystem();
  QtSystem(const QtSystem&) = delete;
  QtSystem& operator=(const QtSystem&) = delete;

  platform::Platform Services();

 private:
  QtSystem();
  struct Parts;
  std::unique_ptr<Parts> parts_;
};

}  // namespace tinctora::qtb
