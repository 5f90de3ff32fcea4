// How a screencopy frame becomes the picture its output shows. The turns
// are those of wl_output's transforms, as grim's pictures of a sway output
// under each transform show them.

#include "platform/qt/wayland/screencopy.h"

#include <gtest/gtest.h>

#include <string>

namespace tinctora::qtb {
namespace {

// A picture from rows of letters, one pixel a letter; and back.
QImage Picture(std::initializer_list<std::string> rows) {
  QImage image(static_cast<int>(rows.begin()->size()), static_cast<int>(rows.size()), QImage::Format_RGB32);
  int y = 0;
  for (const std::string& row : rows) {
    for (int x = 0; x < image.width(); ++x) image.setPixel(x, y, qRgb(row[static_cast<std::size_t>(x)], 0, 0));
    ++y;
  }
  return image;
}

std::string Rows(const QImage& image) {
  std::string text;
  for (int y = 0; y < image.height(); ++y) {
    if (y > 0) text += '/';
    for (int x = 0; x < image.width(); ++x) text += static_cast<char>(qRed(image.pixel(x, y)));
  }
  return text;
}

TEST(Screencopy, FramesAreTurnedAndMirroredBackAsTheOutputShowsThem) {
  const QImage frame = Picture({"abc", "def"});
  EXPECT_EQ(Rows(Upright(frame, false, 0)), "abc/def");
  EXPECT_EQ(Rows(Upright(frame, true, 0)), "def/abc");         // rows bottom first
  EXPECT_EQ(Rows(Upright(frame, false, 1)), "da/eb/fc");       // 90
  EXPECT_EQ(Rows(Upright(frame, false, 2)), "fed/cba");        // 180
  EXPECT_EQ(Rows(Upright(frame, false, 3)), "cf/be/ad");       // 270
  EXPECT_EQ(Rows(Upright(frame, false, 4)), "cba/fed");        // flipped
  EXPECT_EQ(Rows(Upright(frame, false, 5)), "ad/be/cf");       // flipped 90
  EXPECT_EQ(Rows(Upright(frame, false, 6)), "def/abc");        // flipped 180
  EXPECT_EQ(Rows(Upright(frame, false, 7)), "fc/eb/da");       // flipped 270
  // Rows bottom first and a turn: the rows are put in order first.
  EXPECT_EQ(Rows(Upright(frame, true, 1)), "ad/be/cf");
}

}  // namespace
}  // namespace tinctora::qtb
