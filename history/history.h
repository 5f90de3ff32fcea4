#pragma once

#include "context/context.h"

namespace tinctora::history {

// Shifts the swatch row one place toward the old end, puts the current
// colour at its new end and refreshes HistoryColours from the swatches.
void PushHistory(context::Context& c);

}  // namespace tinctora::history
