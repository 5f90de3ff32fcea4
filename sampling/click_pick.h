#pragma once

#include "app/state.h"

namespace tinctora::sampling {

// One click on the zoom view or the palette takes the colour shown there.
void ZoomViewLeftButtonDown(app::Context& c, const ui::EventArgs& args);
void PaletteLeftButtonDown(app::Context& c, const ui::EventArgs& args);

}  // namespace tinctora::sampling
