#pragma once

#include <cstdint>
#include <span>

namespace tinctora::app {

// Files built into the program. Both spans stay valid for the whole run.

// The palette image shown by the palette box: a 627 x 377 RGBA PNG file.
std::span<const std::uint8_t> PalettePng();
// The picker pad's reticle: a 326-byte Windows cursor file, hot spot (15, 16).
std::span<const std::uint8_t> ReticleCursor();

}  // namespace tinctora::app
