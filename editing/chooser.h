#pragma once

#include "app/state.h"

namespace tinctora::editing {

// The colour chooser's ColourChanged handler: the chosen colour becomes the
// current colour through the three channel boxes.
void ChooserColourChanged(app::Context& c);

}  // namespace tinctora::editing
