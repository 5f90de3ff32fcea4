#include <gtest/gtest.h>

#include <cstdint>

#include "graphics/font.h"

namespace tinctora::gfx {
namespace {

// A glyph's coverage mixes the text colour into what lies under it, each
// channel rounded to nearest; no coverage leaves the pixel alone, and what
// falls outside the image (either side) is clipped, with the stride
// honoured.
TEST(BlendCoverage, MixesRoundsAndClips) {
  Image image(3, 2, RgbPixel(0, 100, 255));
  // Two rows of four, the last byte of each row padding that must not show.
  const std::uint8_t coverage[] = {0, 255, 128, 77, 1, 254, 255, 99};
  BlendCoverage(image, -1, 0, coverage, 3, 2, 4, RgbPixel(255, 0, 0));
  EXPECT_EQ(image.At(0, 0), RgbPixel(255, 0, 0));  // full coverage
  EXPECT_EQ(image.At(1, 0), RgbPixel(128, 50, 127));  // 128: (255*128+127)/255, (100*127+127)/255, (255*127+127)/255
  EXPECT_EQ(image.At(2, 0), RgbPixel(0, 100, 255));  // the padding byte is not drawn
  EXPECT_EQ(image.At(0, 1), RgbPixel(254, 0, 1));  // 254
  EXPECT_EQ(image.At(1, 1), RgbPixel(255, 0, 0));
  // Below and right of the image nothing is written; a null glyph draws nothing.
  BlendCoverage(image, 2, 1, coverage, 3, 2, 4, RgbPixel(9, 9, 9));
  EXPECT_EQ(image.At(2, 1), RgbPixel(0, 100, 255));  // coverage 0 there
  BlendCoverage(image, 1, 1, coverage + 1, 1, 1, 4, RgbPixel(9, 9, 9));
  EXPECT_EQ(image.At(1, 1), RgbPixel(9, 9, 9));
  BlendCoverage(image, 0, 0, nullptr, 3, 2, 4, RgbPixel(9, 9, 9));
  EXPECT_EQ(image.At(0, 0), RgbPixel(255, 0, 0));
}

}  // namespace
}  // namespace tinctora::gfx
