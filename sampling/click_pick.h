#pragma once

#include "context/context.h"

namespace tinctora::sampling {

// One click on the zoom view or the palette takes the colour shown there.
void ZoomViewLeftButtonDown(context::Context& c, const ui::EventArgs& args);
void PaletteLeftButtonDown(context::Context& c, const ui::EventArgs& args);

}  // namespace tinctora::sampling
