#pragma once

// The Qt backend: Qt 6 Widgets for the window and the system's controls.
// On X11 (the xcb platform plugin) XCB gives the screen's pixels, the
// pointer and the global hot keys; on Wayland (the wayland plugin) a pick
// runs on a frozen picture of the outputs (platform/qt/wayland/).

#include <cstdint>
#include <memory>

#include "platform/platform.h"

namespace tinctora::qtb {

// Pointer movements: those the X server delivered to the program's windows
// (motion events at the backend's native event filter) and those that
// reached the program as mouse messages. Screen reads on X11: those the
// program made and those that asked the server (the others were served
// from the kept surroundings of an earlier one).
struct MotionCounts {
  std::uint64_t received = 0;
  std::uint64_t handled = 0;
  std::uint64_t screenReads = 0;
  std::uint64_t serverReads = 0;
};

// How the last pick on Wayland took the screen ("screencopy", "portal",
// "pickcolor"; empty on X11 or before any pick), and the milliseconds from
// the capture's start to the picture and to the overlay's first painting
// (-1 for none).
struct PickStart {
  const char* way = "";
  double captureMs = -1;
  double shownMs = -1;
};

class QtSystem {
 public:
  // Nothing when the application runs neither on X11 nor on Wayland.
  static std::unique_ptr<QtSystem> Create();
  ~QtSystem();
  QtSystem(const QtSystem&) = delete;
  QtSystem& operator=(const QtSystem&) = delete;

  platform::Platform Services();
  MotionCounts Counts() const;
  PickStart LastPickStart() const;
  // Whether the program runs as a Wayland client.
  bool OnWayland() const;

 private:
  QtSystem();
  struct Parts;
  std::unique_ptr<Parts> parts_;
};

}  // namespace tinctora::qtb
