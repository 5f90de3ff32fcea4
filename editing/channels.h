#pragma once

#include "context/context.h"

namespace tinctora::editing {

// The ContentChanged handler of a channel box: corrects an empty box to "0",
// a value above 255 to "255" and one below 0 to "0" (each correction runs
// this handler again, nested), then rebuilds the colour from the three boxes.
void CheckChannelBox(context::Context& c, ui::EditBox& box);

// Rebuilds the current colour from the three channel boxes and brings the
// colour-value box, the strip (unless held), the sliders and the notation
// boxes in line with it.
void ApplyChannelBoxes(context::Context& c);

// Writes whole channel values into the three channel boxes, red first; each
// write runs that box's handler before the next.
void WriteChannelBoxes(context::Context& c, colour::Channels channels);

// Makes `value` the current colour the way every path does: its decimal text
// goes into the hidden colour-value box, and the colour is read back from it.
void SetCurrentColourThroughValueBox(context::Context& c, std::int32_t value);
// A user's slider move: the position goes into the slider's channel box.
void SliderPositionChanged(context::Context& c, ui::SliderBar& slider, ui::EditBox& box);

}  // namespace tinctora::editing
