// The default GUI font (DEFAULT_GUI_FONT) at a DPI. The stock font is made
// for the system DPI; at another the same face gets its height scaled, as
// the system scales its own. The system's controls get that font; for the
// control layer, GDI renders each character once, white on black with
// greyscale antialiasing, into a DIB section, and the green channel is kept
// as the glyph's coverage. The system's font linking supplies the faces of
// characters the font itself lacks.

#include <algorithm>
#include <map>

#include "platform/win32/win32_services.h"

namespace tinctora::win32 {

struct Win32Font::Impl {
  struct Glyph {
    int width = 0;
    std::vector<std::uint8_t> coverage;  // width x line height
  };

  HFONT stock = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  // The font at the DPI when it is not the stock one's; the native one is
  // either, for the system's controls.
  GdiFont scaled;
  HFONT native = stock;
  GdiFont smooth;
  // The DC widths are measured in, with the font selected for its lifetime
  // (released in reverse: the font leaves the DC before the DC goes).
  MemoryDc measure{nullptr};
  std::unique_ptr<Selected> measureFont;
  HDC dc = nullptr;
  TEXTMETRICW metrics{};
  mutable std::map<Text, int> widths;
  mutable std::map<Text, Glyph> glyphs;
  mutable DibSurface canvas;

  explicit Impl(UINT dpi) {
    LOGFONTW face{};
    if (stock != nullptr && GetObjectW(stock, sizeof face, &face) == sizeof face) {
      if (const UINT system = SystemDpi(); dpi != system) {
        // Through the height at 96 DPI, so that every DPI rounds from one
        // height whatever the system DPI is.
        const int base = MulDiv(face.lfHeight, static_cast<int>(kLayoutDpi), static_cast<int>(system));
        face.lfHeight = MulDiv(base, static_cast<int>(dpi), static_cast<int>(kLayoutDpi));
        scaled.reset(CreateFontIndirectW(&face));
        if (scaled) native = scaled.get();
      }
      face.lfQuality = ANTIALIASED_QUALITY;
      smooth.reset(CreateFontIndirectW(&face));
    }
    HFONT font = smooth ? smooth.get() : native;
    if (measure.get() != nullptr && font != nullptr) {
      measureFont = std::make_unique<Selected>(measure.get(), font);
      if (measureFont->Ok()) dc = measure.get();
    }
    if (dc == nullptr || !GetTextMetricsW(dc, &metrics)) metrics.tmHeight = MulDiv(13, static_cast<int>(dpi), kLayoutDpi);
  }

  int Width(TextView gbkChar) const {
    const Text key(gbkChar);
    if (const auto it = widths.find(key); it != widths.end()) return it->second;
    const std::wstring text = Wide(gbkChar);
    SIZE size{};
    if (dc == nullptr || text.empty() || !GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size)) {
      size.cx = 0;
    }
    return widths.emplace(key, static_cast<int>(size.cx)).first->second;
  }

  const Glyph& GlyphOf(TextView gbkChar) const {
    const Text key(gbkChar);
    if (const auto it = glyphs.find(key); it != glyphs.end()) return it->second;
    Glyph glyph;
    const std::wstring text = Wide(gbkChar);
    const int height = std::max<int>(1, metrics.tmHeight);
    // Wide enough for a glyph that reaches past its advance.
    glyph.width = Width(gbkChar) + metrics.tmOverhang + 2;
    if (dc != nullptr && !text.empty() && canvas.Ensure(glyph.width, height)) {
      {
        const Selected font(canvas.Dc(), smooth ? smooth.get() : native);
        RECT all{0, 0, glyph.width, height};
        FillRect(canvas.Dc(), &all, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
        SetBkMode(canvas.Dc(), TRANSPARENT);
        SetTextColor(canvas.Dc(), RGB(255, 255, 255));
        TextOutW(canvas.Dc(), 0, 0, text.c_str(), static_cast<int>(text.size()));
        GdiFlush();
      }
      glyph.coverage.resize(static_cast<std::size_t>(glyph.width) * static_cast<std::size_t>(height));
      for (int y = 0; y < height; ++y) {
        const std::uint32_t* row = canvas.Row(y);
        for (int x = 0; x < glyph.width; ++x) {
          glyph.coverage[static_cast<std::size_t>(y) * glyph.width + x] = static_cast<std::uint8_t>((row[x] >> 8) & 0xFF);
        }
      }
    }
    return glyphs.emplace(key, std::move(glyph)).first->second;
  }
};

Win32Font::Win32Font(UINT dpi) : impl_(std::make_unique<Impl>(dpi)) {}
Win32Font::~Win32Font() = default;

HFONT Win32Font::Native() const { return impl_->native; }

int Win32Font::LineHeight() const { return impl_->metrics.tmHeight; }

int Win32Font::CharWidth(TextView gbkChar) const { return impl_->Width(gbkChar); }

void Win32Font::DrawChar(Image& target, int x, int y, TextView gbkChar, Pixel colour) const {
  const Impl::Glyph& glyph = impl_->GlyphOf(gbkChar);
  if (glyph.coverage.empty()) return;
  const int height = static_cast<int>(glyph.coverage.size()) / glyph.width;
  gfx::BlendCoverage(target, x, y, glyph.coverage.data(), glyph.width, height, glyph.width, colour);
}

Registry::Registry() = default;
Registry::~Registry() = default;

const Win32Font& Registry::Font(UINT dpi) {
  std::unique_ptr<Win32Font>& font = fonts_[dpi];
  if (!font) font = std::make_unique<Win32Font>(dpi);
  return *font;
}

}  // namespace tinctora::win32
