#pragma once

#include "context/context.h"

namespace tinctora::editing {

// The colour chooser's ColourChanged handler: the chosen colour becomes the
// current colour through the three channel boxes.
void ChooserColourChanged(context::Context& c);

}  // namespace tinctora::editing
