#pragma once

#include "app/state.h"

namespace tinctora::sampling {

struct WindowRect {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
};

// The colour on the screen at a point of a window's client area. The point
// (0, 0) stands for no point and means the pixel under the pointer; with no
// window the point is in screen coordinates. An unreadable pixel gives the
// invalid colour.
colour::ColourValue PixelAtPoint(app::Context& c, platform::WindowId window, int x, int y);
ui::Point CursorPosition(app::Context& c);
WindowRect WindowRectangle(app::Context& c, platform::WindowId window);
// Moves the pointer to a point of a window's client area, or to a screen
// point when the window is 0.
void MovePointerTo(app::Context& c, platform::WindowId window, int x, int y);

}  // namespace tinctora::sampling
