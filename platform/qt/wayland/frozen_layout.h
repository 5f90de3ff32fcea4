#pragma once

// Where the outputs of a Wayland desktop lie in the frozen picture of a
// pick: arithmetic only, kept apart from the toolkit so that it is tested
// on its own.
//
// Wayland places outputs in a logical layout; each has its own scale, which
// may be a fraction. The frozen picture puts every output at its logical
// place times the largest scale: arranged as in the layout, never
// overlapping, each with all of its physical pixels.

#include <span>
#include <vector>

#include "graphics/image.h"

namespace tinctora::qtb {

struct OutputPlace {
  gfx::Rect logical;  // in the compositor's layout
  int width = 0;      // its picture, in physical pixels
  int height = 0;
};

struct FrozenPlace {
  gfx::Rect bounds;    // in the frozen picture
  double scale = 1.0;  // physical pixels a logical unit, across
};

std::vector<FrozenPlace> PlaceFrozenOutputs(std::span<const OutputPlace> outputs);

// The physical pixel of an output under a position in its logical units
// (the compositor's fixed-point positions are within 1/256 of a unit of the
// pixel's corner): always one of the output's.
gfx::Point PixelUnder(double x, double y, const FrozenPlace& place);

// Where a screen's picture lies in one picture of the whole desktop (the
// portal's), which shows `desktop` (the union of the screens' logical
// rectangles) `pictureWidth` pixels wide; empty when the screen falls
// outside the picture.
gfx::Rect ScreenInDesktopPicture(const gfx::Rect& screen, const gfx::Rect& desktop, int pictureWidth,
                                 int pictureHeight);

}  // namespace tinctora::qtb
