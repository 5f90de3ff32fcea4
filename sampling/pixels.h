#pragma once

#include "context/context.h"

namespace tinctora::sampling {

// The colour on the screen at a point of a control's client area, given in
// the layout's units as mouse events give it: the pixel under the pointer
// for the click being handled. An unreadable pixel gives the invalid colour.
colour::ColourValue PixelAtPoint(context::Context& c, const ui::Control& control, int x, int y);
// The colour of a screen pixel (device pixels).
colour::ColourValue PixelAtScreenPoint(context::Context& c, ui::Point screen);
// Where the pointer is; nothing when the system will not tell.
std::optional<ui::Point> CursorPosition(context::Context& c);
// Moves the pointer to a screen point (device pixels).
void MovePointerTo(context::Context& c, ui::Point screen);

}  // namespace tinctora::sampling
