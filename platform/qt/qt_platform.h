#pragma once

// The Qt backend: Qt 6 Widgets for the window and the system's controls,
// XCB for the screen's pixels, the pointer and the global hot keys. It
// needs a QApplication running on the xcb platform plugin.

#include <cstdint>
#include <memory>

#include "platform/platform.h"

namespace tinctora::qtb {

// Pointer movements: those the X server delivered to the program's windows
// (motion events at the backend's native event filter) and those that
// reached the program as mouse messages.
struct MotionCounts {
  std::uint64_t received = 0;
  std::uint64_t handled = 0;
};

class QtSystem {
 public:
  // Nothing when the application does not run on X11.
  static std::unique_ptr<QtSystem> Create();
  ~QtSystem();
  QtSystem(const QtSystem&) = delete;
  QtSystem& operator=(const QtSystem&) = delete;

  platform::Platform Services();
  MotionCounts Counts() const;

 private:
  QtSystem();
  struct Parts;
  std::unique_ptr<Parts> parts_;
};

}  // namespace tinctora::qtb
