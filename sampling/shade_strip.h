#pragma once

#include "app/state.h"

namespace tinctora::sampling {

// A click on the shade strip takes the shade under it and moves the marker
// there; the strip keeps its gradient so further shades can be taken.
void StripLeftButtonDown(app::Context& c, const ui::EventArgs& args);

}  // namespace tinctora::sampling
