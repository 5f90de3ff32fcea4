#pragma once

#include <cstdint>

#include "context/context.h"

namespace tinctora::editing {

// What the nine notation boxes are written from. The HSV and CMYK texts
// always come from the channel boxes' texts as they stand.
struct NotationSource {
  std::int32_t red = 0;  // channels for the HTML and hex texts
  std::int32_t green = 0;
  std::int32_t blue = 0;
  colour::ColourValue value = 0;  // for the decimal, C/C++, VB and Delphi texts
  double realRed = 0;             // for the RGB text
  double realGreen = 0;
  double realBlue = 0;
};

// Writes the nine notation boxes in the order the program always uses:
// HTML, C/C++, HSV, CMYK, VB, Delphi, decimal, RGB, hex.
void WriteNotationBoxes(context::Context& c, const NotationSource& source);

// Re-bases the shade strip on the current colour and rewrites the nine
// notation boxes from it.
void RefreshNotations(context::Context& c);

}  // namespace tinctora::editing
