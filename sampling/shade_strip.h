#pragma once

#include "context/context.h"

namespace tinctora::sampling {

// A click on the shade strip takes the shade under it and moves the marker
// there; the strip keeps its gradient so further shades can be taken.
void StripLeftButtonDown(context::Context& c, const ui::EventArgs& args);

}  // namespace tinctora::sampling
