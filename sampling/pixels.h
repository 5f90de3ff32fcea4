#pragma once

#include "context/context.h"

namespace tinctora::sampling {


// The colour on the screen at a point of a window's client area; with no
// window the point is in screen coordinates. An unreadable pixel gives the
// invalid colour.
colour::ColourValue PixelAtPoint(context::Context& c, platform::WindowId window, int x, int y);
ui::Point CursorPosition(context::Context& c);
// Moves the pointer to a point of a window's client area, or to a screen
// point when the window is 0.
void MovePointerTo(context::Context& c, platform::WindowId window, int x, int y);

}  // namespace tinctora::sampling
