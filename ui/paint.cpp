#include "ui/paint.h"

#include <algorithm>
#include <cmath>
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

Rect DrawnBounds(const Picture& picture) {
  const int w = picture.Width();
  const int h = picture.Height();
  Rect drawn{w, h, 0, 0};
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const std::size_t i = static_cast<std::size_t>(y) * w + x;
      if (!picture.alpha.empty() && picture.alpha[i] == 0) continue;
      // A masked pixel that is not black inverts the screen: it is drawn.
      if (!picture.mask.empty() && picture.mask[i] != 0 && (picture.colour.At(x, y) & 0xFFFFFF) == 0) continue;
      drawn = {std::min(drawn.left, x), std::min(drawn.top, y), std::max(drawn.right, x + 1),
               std::max(drawn.bottom, y + 1)};
    }
  }
  return drawn.Empty() ? Rect{0, 0, w, h} : drawn;
}

Picture EnlargePicture(const Picture& picture, int factor) {
  if (factor <= 1 || picture.colour.Empty()) return picture;
  const int w = picture.Width();
  const int h = picture.Height();
  Picture out;
  out.colour.Reset(w * factor, h * factor);
  const auto spread = [&](const std::vector<std::uint8_t>& plane, std::vector<std::uint8_t>& into) {
    if (plane.empty()) return;
    into.resize(static_cast<std::size_t>(w) * factor * h * factor);
    for (int y = 0; y < h * factor; ++y) {
      for (int x = 0; x < w * factor; ++x) {
        into[static_cast<std::size_t>(y) * w * factor + x] = plane[static_cast<std::size_t>(y / factor) * w + x / factor];
      }
    }
  };
  for (int y = 0; y < h * factor; ++y) {
    const Pixel* src = picture.colour.Row(y / factor);
    Pixel* dst = out.colour.Row(y);
    for (int x = 0; x < w * factor; ++x) dst[x] = src[x / factor];
  }
  spread(picture.mask, out.mask);
  spread(picture.alpha, out.alpha);
  return out;
}

CursorImage ScaleCursor(const CursorImage& cursor, int size) {
  const int w = cursor.picture.Width();
  const int h = cursor.picture.Height();
  if (w <= 0 || h <= 0 || size <= 0) return cursor;
  // What the cursor draws: the clear margin around it may be cut.
  const Rect drawn = DrawnBounds(cursor.picture);
  // The nearest whole number of times the cursor's size, less while what it
  // draws would not fit.
  const int side = std::max(w, h);
  int factor = std::max(1, (2 * size + side) / (2 * side));
  while (factor > 1 && (drawn.Width() * factor > size || drawn.Height() * factor > size)) --factor;
  const Picture large = EnlargePicture(cursor.picture, factor);
  const int outW = std::max(size, drawn.Width() * factor);
  const int outH = std::max(size, drawn.Height() * factor);
  // Centred, then moved as little as needed to keep the drawing whole.
  const auto place = [](int out, int whole, int first, int last) {
    int offset = (out - whole) / 2;
    if (first + offset < 0) offset = -first;
    if (last + offset > out) offset = out - last;
    return offset;
  };
  const int dx = place(outW, large.Width(), drawn.left * factor, drawn.right * factor);
  const int dy = place(outH, large.Height(), drawn.top * factor, drawn.bottom * factor);
  CursorImage out;
  out.picture.colour.Reset(outW, outH);
  out.picture.mask.assign(static_cast<std::size_t>(outW) * outH, 1);
  if (!large.alpha.empty()) out.picture.alpha.assign(static_cast<std::size_t>(outW) * outH, 0);
  for (int y = std::max(0, -dy); y < std::min(large.Height(), outH - dy); ++y) {
    for (int x = std::max(0, -dx); x < std::min(large.Width(), outW - dx); ++x) {
      const std::size_t from = static_cast<std::size_t>(y) * large.Width() + x;
      const std::size_t to = static_cast<std::size_t>(y + dy) * outW + x + dx;
      out.picture.colour.Set(x + dx, y + dy, large.colour.At(x, y));
      out.picture.mask[to] = large.mask.empty() ? 0 : large.mask[from];
      if (!large.alpha.empty()) out.picture.alpha[to] = large.alpha[from];
    }
  }
  out.hotSpot = {cursor.hotSpot.x * factor + factor / 2 + dx, cursor.hotSpot.y * factor + factor / 2 + dy};
  return out;
}

void PaintPicBox(Image& client, Pixel background, const Picture* picture, PictureMode mode,
                 StretchQuality quality, double scale) {
  client.Fill(background & 0x00FFFFFF);
  if (picture == nullptr || picture->colour.Empty() || client.Empty()) return;
  const int cw = client.Width();
  const int ch = client.Height();
  // A picture's own size is in the layout's units: at a larger scale it is
  // drawn a whole number of times larger, so its pixels stay sharp.
  int factor = std::max(1, static_cast<int>(std::floor(scale + 0.5)));
  if (mode == PictureMode::CentreScaleDown && factor > 1) {
    // Centred, a larger picture may lose its clear margin, never what it
    // draws.
    const Rect drawn = DrawnBounds(*picture);
    const auto fits = [&](int f) {
      const int left = (cw - picture->Width() * f) / 2;
      const int top = (ch - picture->Height() * f) / 2;
      return left + drawn.left * f >= 0 && left + drawn.right * f <= cw && top + drawn.top * f >= 0 &&
             top + drawn.bottom * f <= ch;
    };
    while (factor > 1 && !fits(factor)) --factor;
  }
  const int pw = picture->Width() * factor;
  const int ph = picture->Height() * factor;
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
      if (factor > 1) {
        // Enlarged to fit what it draws: centred, its clear margin clipped.
        const int left = (cw - pw) / 2;
        const int top = (ch - ph) / 2;
        DrawPicture(client, *picture, Rect{left, top, left + pw, top + ph}, StretchQuality::DropRepeat);
        break;
      }
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
      // Growing by a whole number repeats pixels; shrinking always averages,
      // whatever the display depth.
      const StretchQuality how = w == pw && h == ph ? StretchQuality::DropRepeat : StretchQuality::Halftone;
      DrawPicture(client, *picture, Rect{left, top, left + w, top + h}, how);
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

void FrameRect(Image& image, const Rect& r, Pixel colour, int width) {
  FillRect(image, {r.left, r.top, r.right, r.top + width}, colour);
  FillRect(image, {r.left, r.bottom - width, r.right, r.bottom}, colour);
  FillRect(image, {r.left, r.top, r.left + width, r.bottom}, colour);
  FillRect(image, {r.right - width, r.top, r.right, r.bottom}, colour);
}

void PaintShapeBox(Image& client, const ShapeLook& look) {
  client.Fill(look.background & 0x00FFFFFF);
  const int w = client.Width();
  const int h = client.Height();
  const int t = std::max(0, look.lineWidth);
  if (t == 0 || client.Empty()) return;
  FrameRect(client, {0, 0, w, h}, look.line & 0x00FFFFFF, t);
}

}  // namespace tinctora::ui
