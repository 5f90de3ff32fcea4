#pragma once

#include <optional>

#include "context/context.h"

namespace tinctora::sampling {

// The drag from the picker pad: press, every pointer movement while the
// button is held, release; the pad losing the mouse capture ends a pick as a
// release does. The arrow keys nudge the pointer during a pick.
void PickerLeftButtonDown(context::Context& c, const ui::EventArgs& args);
void PickerMouseMove(context::Context& c, const ui::EventArgs& args);
void PickerLeftButtonUp(context::Context& c, const ui::EventArgs& args);
void PickerCaptureLost(context::Context& c, const ui::EventArgs& args);
void NudgeFeedback(context::Context& c, const ui::EventArgs& args);

// The 21 x 21 square of the screen centred on a point, read from whichever
// displays it lies on; points outside every display take `outside`. Gives
// the pixel at the centre when it could be read.
std::optional<ui::Pixel> ZoomSnapshot(context::Context& c, ui::Point centre, ui::Pixel outside, ui::Image& out);

}  // namespace tinctora::sampling
