#pragma once

#include <cmath>

#include "graphics/image.h"

namespace tinctora::ui {

// The window is laid out in its own units, 96 to a logical inch, and shown
// at its display's scale in device pixels. Every edge is placed by its
// position from the window's client origin, rounded half up, so two
// controls that meet in the layout meet on the screen, whatever scale and
// however they are nested: a control and its container round alike.
inline int DeviceEdge(int layout, double scale) {
  return static_cast<int>(std::floor(static_cast<double>(layout) * scale + 0.5));
}

inline gfx::Rect DeviceRect(const gfx::Rect& layout, double scale) {
  return {DeviceEdge(layout.left, scale), DeviceEdge(layout.top, scale), DeviceEdge(layout.right, scale),
          DeviceEdge(layout.bottom, scale)};
}

// The width of a drawn line or frame one layout unit thick: whole device
// pixels, never less than one.
inline int LineWidth(double scale) { return DeviceEdge(1, scale) < 1 ? 1 : DeviceEdge(1, scale); }

// A length of the layout at a scale, never less than one pixel.
inline int DeviceLength(int layout, double scale) {
  const int length = DeviceEdge(layout, scale);
  return length < 1 && layout > 0 ? 1 : length;
}

// A device offset into a client area `deviceExtent` pixels wide, as an offset
// into the same client area `layoutExtent` units wide: the device pixels are
// shared out over the units in order, so every pixel of the client lands on
// a unit of it. Offsets outside the client go on at the same rate.
inline int LayoutOffset(int device, int deviceExtent, int layoutExtent, double scale) {
  if (deviceExtent <= 0 || layoutExtent <= 0) {
    return static_cast<int>(std::floor(static_cast<double>(device) / (scale > 0 ? scale : 1.0)));
  }
  const long long product = static_cast<long long>(device) * layoutExtent;
  const long long q = product / deviceExtent;
  return static_cast<int>(product % deviceExtent != 0 && product < 0 ? q - 1 : q);
}

// The device pixel in the middle of those LayoutOffset gives a layout
// unit of a client area: its inverse.
inline int DeviceOffset(int layout, int deviceExtent, int layoutExtent, double scale) {
  if (deviceExtent <= 0 || layoutExtent <= 0) return DeviceEdge(layout, scale);
  // The first pixel of a unit u is the least d with d * L >= u * D.
  const auto first = [&](long long u) {
    const long long n = u * deviceExtent;
    const long long q = n / layoutExtent;
    return q * layoutExtent < n ? q + 1 : q;  // division truncates: this rounds up
  };
  const long long from = first(layout);
  const long long to = first(static_cast<long long>(layout) + 1) - 1;
  return static_cast<int>(from + (to >= from ? (to - from) / 2 : 0));
}

}  // namespace tinctora::ui
