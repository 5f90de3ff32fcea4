#pragma once

// The program on the simulated desktop, with the button pressed on the
// picker pad, over a desktop whose every pixel differs from its neighbours,
// moving as a 1000 Hz mouse does.

#include <sys/resource.h>

#include <utility>
#include <vector>

#include "app/program.h"
#include "platform/headless/desktop.h"

namespace tinctora::bench {

inline long MaxResidentKb() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

struct PickSession {
  headless::Desktop desktop;
  app::Program program{desktop.Services()};

  // `percent`: the scale of the display, 100 to 200 as desktops offer it.
  explicit PickSession(int percent = 100) {
    std::vector<headless::Display> displays = desktop.DisplayList();
    displays.front().scale = percent / 100.0;
    desktop.SetDisplays(std::move(displays));
    ui::Image picture(1920, 1080);
    for (int y = 0; y < 1080; ++y) {
      for (int x = 0; x < 1920; ++x) picture.Set(x, y, ui::RgbPixel(x, y, x * 7 + y * 3));
    }
    desktop.DrawOnDesktop({0, 0}, picture);
    program.Start();
    const ui::Rect pad = desktop.ClientRect(program.GetContext().W().pad.Handle());
    desktop.MovePointer({pad.left + pad.Width() / 2, pad.top + pad.Height() / 2});
    desktop.Press(headless::Button::Left);
  }

  // One movement of a 1000 Hz mouse: a millisecond passes after it, so the
  // display frame, with the native writes and the zoom's drawing it
  // brings, comes once every 16 movements as it does on a real desktop.
  void Move(ui::Point screen) {
    desktop.MovePointer(screen);
    desktop.Advance(1);
  }
};

}  // namespace tinctora::bench
