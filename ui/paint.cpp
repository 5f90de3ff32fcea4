#include "ui/paint.h"

#include <algorithm>
#include <array>

namespace tinctora::ui {
namespace {

Pixel ToPixel(colour::ColourValue value) {
  const colour::Channels c = colour::SplitColour(value);
  return RgbPixel(c.red, c.green, c.blue);
}

// The gradient colours that are painted: DefaultColour entries are skipped.
// A label has three; painting asks for them once per column, so they stay
// off the heap.
struct GradientColours {
  std::array<colour::ColourValue, 8> values{};
  std::size_t count = 0;
  std::size_t size() const { return count; }
  bool empty() const { return count == 0; }
  colour::ColourValue operator[](std::size_t i) const { return values[i]; }
};

GradientColours PaintedColours(std::span<const colour::ColourValue> colours) {
  GradientColours kept;
  for (colour::ColourValue c : colours) {
    if (c != colour::DefaultColour && kept.count < kept.values.size()) kept.values[kept.count++] = c;
  }
  return kept;
}

int Channel(int from, int to, double t) {
  // The step's share is truncated toward zero before it is added, so a
  // falling channel rounds up and a rising one rounds down.
  return from + static_cast<int>(t * (to - from));
}

}  // namespace

Pixel GradientColumn(std::span<const colour::ColourValue> colours, int width, int x) {
  const GradientColours c = PaintedColours(colours);
  if (c.empty()) return 0;
  const int n = static_cast<int>(c.size());
  if (n == 1) return ToPixel(c[0]);
  const int s = width / (n - 1);
  const int i = s == 0 ? 0 : x / s;
  if (i > n - 2) return ToPixel(c[static_cast<std::size_t>(n - 1)]);
  // With s 0 (fewer columns than colour steps) every column starts its step.
  const double t = s == 0 ? 0.0 : static_cast<double>(x % s) / s;
  const colour::Channels a = colour::SplitColour(c[static_cast<std::size_t>(i)]);
  const colour::Channels b = colour::SplitColour(c[static_cast<std::size_t>(i + 1)]);
  return RgbPixel(Channel(a.red, b.red, t), Channel(a.green, b.green, t), Channel(a.blue, b.blue, t));
}

void PaintLabel(Image& client, const LabelLook& look, const Font& font) {
  client.Fill(look.background & 0x00FFFFFF);
  if (look.gradientLeftToRight && PaintedColours(look.gradient).size() >= 2) {
    for (int x = 0; x < client.Width(); ++x) {
      const Pixel p = GradientColumn(look.gradient, client.Width(), x);
      for (int y = 0; y < client.Height(); ++y) client.Set(x, y, p);
    }
  }
  DrawCaption(client, look.caption, font, look.textColour, look.align, look.wordWrap ? Wrap::Words : Wrap::None);
}

void PaintPicBox(Image& client, Pixel background, const Picture* picture, PictureMode mode,
                 StretchQuality quality) {
  client.Fill(background & 0x00FFFFFF);
  if (picture == nullptr || picture->colour.Empty() || client.Empty()) return;
  const int pw = picture->Width();
  const int ph = picture->Height();
  const int cw = client.Width();
  const int ch = client.Height();
  switch (mode) {
    case PictureMode::Natural:
      DrawPicture(client, *picture, Rect{0, 0, pw, ph}, quality);
      break;
    case PictureMode::Stretch:
      DrawPicture(client, *picture, Rect{0, 0, cw, ch}, quality);
      break;
    case PictureMode::CentreScaleDown: {
      int w = pw;
      int h = ph;
      if (pw > cw || ph > ch) {
        // Keep the aspect ratio: the tighter of the two sides decides.
        if (static_cast<std::int64_t>(pw) * ch > static_cast<std::int64_t>(ph) * cw) {
          w = cw;
          h = std::max(1, static_cast<int>(static_cast<std::int64_t>(ph) * cw / pw));
        } else {
          h = ch;
          w = std::max(1, static_cast<int>(static_cast<std::int64_t>(pw) * ch / ph));
        }
      }
      const int left = (cw - w) / 2;
      const int top = (ch - h) / 2;
      // Shrinking always averages, whatever the display depth.
      DrawPicture(client, *picture, Rect{left, top, left + w, top + h}, StretchQuality::Halftone);
      break;
    }
  }
}

void FillRect(Image& image, const Rect& r, Pixel colour) {
  const int left = std::max(r.left, 0);
  const int right = std::min(r.right, image.Width());
  for (int y = std::max(r.top, 0); y < std::min(r.bottom, image.Height()); ++y) {
    std::fill(image.Row(y) + left, image.Row(y) + std::max(left, right), colour);
  }
}

void FrameRect(Image& image, const Rect& r, Pixel colour) {
  FillRect(image, {r.left, r.top, r.right, r.top + 1}, colour);
  FillRect(image, {r.left, r.bottom - 1, r.right, r.bottom}, colour);
  FillRect(image, {r.left, r.top, r.left + 1, r.bottom}, colour);
  FillRect(image, {r.right - 1, r.top, r.right, r.bottom}, colour);
}

void PaintShapeBox(Image& client, const ShapeLook& look) {
  client.Fill(look.background & 0x00FFFFFF);
  const int w = client.Width();
  const int h = client.Height();
  const int t = std::max(0, look.lineWidth);
  if (t == 0 || client.Empty()) return;
  const Pixel line = look.line & 0x00FFFFFF;
  FillRect(client, {0, 0, w, t}, line);
  FillRect(client, {0, h - t, w, h}, line);
  FillRect(client, {0, 0, t, h}, line);
  FillRect(client, {w - t, 0, w, h}, line);
}

}  // namespace tinctora::ui
