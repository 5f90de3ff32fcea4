#include "platform/qt/wayland/frozen_layout.h"

#include <algorithm>
#include <cmath>

namespace tinctora::qtb {

namespace {

int Nearest(double v) { return static_cast<int>(std::floor(v + 0.5)); }

}  // namespace

std::vector<FrozenPlace> PlaceFrozenOutputs(std::span<const OutputPlace> outputs) {
  std::vector<FrozenPlace> placed;
  double largest = 1.0;
  for (const OutputPlace& o : outputs) {
    const double scale = o.logical.Width() > 0 ? static_cast<double>(o.width) / o.logical.Width() : 1.0;
    placed.push_back({{}, scale});
    largest = std::max(largest, scale);
  }
  for (std::size_t i = 0; i < outputs.size(); ++i) {
    const int left = Nearest(outputs[i].logical.left * largest);
    const int top = Nearest(outputs[i].logical.top * largest);
    placed[i].bounds = {left, top, left + outputs[i].width, top + outputs[i].height};
  }
  return placed;
}

gfx::Point PixelUnder(double x, double y, const FrozenPlace& place) {
  // A pointer on a pixel's corner may come as a hair less than it after
  // the scale: the margin keeps it on that pixel.
  constexpr double kMargin = 1.0 / 64;
  const int px = static_cast<int>(std::floor(x * place.scale + kMargin));
  const int py = static_cast<int>(std::floor(y * place.scale + kMargin));
  return {place.bounds.left + std::clamp(px, 0, std::max(0, place.bounds.Width() - 1)),
          place.bounds.top + std::clamp(py, 0, std::max(0, place.bounds.Height() - 1))};
}

gfx::Rect ScreenInDesktopPicture(const gfx::Rect& screen, const gfx::Rect& desktop, int pictureWidth,
                                 int pictureHeight) {
  if (desktop.Width() <= 0 || desktop.Height() <= 0) return {};
  const double kx = static_cast<double>(pictureWidth) / desktop.Width();
  const double ky = static_cast<double>(pictureHeight) / desktop.Height();
  gfx::Rect cut{Nearest((screen.left - desktop.left) * kx), Nearest((screen.top - desktop.top) * ky),
                Nearest((screen.right - desktop.left) * kx), Nearest((screen.bottom - desktop.top) * ky)};
  cut = {std::max(cut.left, 0), std::max(cut.top, 0), std::min(cut.right, pictureWidth),
         std::min(cut.bottom, pictureHeight)};
  return cut.Empty() ? gfx::Rect{} : cut;
}

}  // namespace tinctora::qtb
