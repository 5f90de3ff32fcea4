// The program's GUI font at a DPI: the face its layout was drawn for, a
// Simplified Chinese face whose Latin letters are half the width of its
// ideographs, at 9 points for the DPI. The system's default GUI font is that
// face only on a Chinese desktop; elsewhere ("MS Shell Dlg" is Microsoft Sans
// Serif on an English or German Windows) the captions' ideographs would come
// through font linking, whose first East Asian face there is Japanese, with
// other glyph forms and widths the labels do not fit. So the face is named,
// the first of these the system has:
//
// - SimSun (宋体), the face of a Chinese desktop's dialogs; simsun.ttc comes
//   with every edition of Windows 10 and 11, whatever its language, and with
//   every Windows since Vista;
// - NSimSun (新宋体), the same file's face with fixed-pitch Latin, for a
//   system where SimSun is replaced or substituted away;
// - Microsoft YaHei (微软雅黑), in every edition since Vista: the same ideograph
//   widths, though proportional Latin and a taller line;
// - the default GUI font (DEFAULT_GUI_FONT) scaled to the DPI, the last
//   resort of a system without Chinese fonts (a Windows XP without the East
//   Asian languages, a trimmed image).
//
// CreateFont never fails for a missing face (it substitutes one), so each
// face is looked for first among the system's fonts with the Simplified
// Chinese character set. One font serves the system's controls, the popup
// menus and the control layer, with one antialiasing (greyscale): for the
// control layer GDI renders each character once into a DIB section, black
// on white as the controls' texts are drawn (GDI's greyscale rendering
// depends on the text's colour: white on black comes out bolder), and the
// green channel's darkness is kept as the glyph's coverage. The system's
// font linking supplies the faces of characters the font lacks.

#include <algorithm>
#include <cwchar>
#include <map>

#include "platform/win32/win32_services.h"

namespace tinctora::win32 {

namespace {

// Greyscale antialiasing for every text of the program: the control layer
// keeps one coverage a pixel, which subpixel (ClearType) rendering has not.
constexpr BYTE kQuality = ANTIALIASED_QUALITY;

// The faces the layout fits, in order of preference (see above).
constexpr const wchar_t* kFaces[] = {L"SimSun", L"NSimSun", L"Microsoft YaHei"};

int CALLBACK NoteFace(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found) {
  *reinterpret_cast<bool*>(found) = true;
  return 0;  // one is enough
}

// Whether the system has the face with the Simplified Chinese character set,
// under its own name or a substitute's.
bool HasFace(HDC dc, const wchar_t* name) {
  LOGFONTW query{};
  query.lfCharSet = GB2312_CHARSET;
  std::wcsncpy(query.lfFaceName, name, LF_FACESIZE - 1);
  bool found = false;
  EnumFontFamiliesExW(dc, &query, NoteFace, reinterpret_cast<LPARAM>(&found), 0);
  return found;
}

// The default GUI font's face, its height scaled from the system DPI to
// this one through its height at 96 DPI, so that every DPI rounds from one
// height whatever the system DPI is.
LOGFONTW DefaultGuiFace(UINT dpi) {
  LOGFONTW face{};
  const auto stock = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  if (stock == nullptr || GetObjectW(stock, sizeof face, &face) != sizeof face) {
    face = LOGFONTW{};
    face.lfHeight = -MulDiv(8, static_cast<int>(dpi), 72);
    face.lfCharSet = DEFAULT_CHARSET;
    std::wcsncpy(face.lfFaceName, L"MS Shell Dlg", LF_FACESIZE - 1);
    return face;
  }
  const int base = MulDiv(face.lfHeight, static_cast<int>(kLayoutDpi), static_cast<int>(SystemDpi()));
  face.lfHeight = MulDiv(base, static_cast<int>(dpi), static_cast<int>(kLayoutDpi));
  return face;
}

LOGFONTW ChooseFace(HDC dc, UINT dpi) {
  for (const wchar_t* name : kFaces) {
    if (dc == nullptr || !HasFace(dc, name)) continue;
    LOGFONTW face{};
    // 9 points at the DPI, as the character height (negative: without the
    // internal leading).
    face.lfHeight = -MulDiv(9, static_cast<int>(dpi), 72);
    face.lfWeight = FW_NORMAL;
    face.lfCharSet = GB2312_CHARSET;
    face.lfOutPrecision = OUT_DEFAULT_PRECIS;
    face.lfClipPrecision = CLIP_DEFAULT_PRECIS;
    face.lfPitchAndFamily = DEFAULT_PITCH | FF_DONTCARE;
    std::wcsncpy(face.lfFaceName, name, LF_FACESIZE - 1);
    return face;
  }
  return DefaultGuiFace(dpi);
}

}  // namespace

struct Win32Font::Impl {
  struct Glyph {
    int width = 0;
    std::vector<std::uint8_t> coverage;  // width x line height
  };

  // The one font, made at the DPI: for the system's controls and menus and
  // for the control layer's glyphs.
  GdiFont font;
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
    LOGFONTW face = ChooseFace(measure.get(), dpi);
    face.lfQuality = kQuality;
    font.reset(CreateFontIndirectW(&face));
    if (measure.get() != nullptr && font) {
      measureFont = std::make_unique<Selected>(measure.get(), font.get());
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
        // Dark on light, as the controls draw their texts, so that the
        // coverage is the controls' own.
        const Selected selected(canvas.Dc(), font.get());
        RECT all{0, 0, glyph.width, height};
        FillRect(canvas.Dc(), &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
        SetBkMode(canvas.Dc(), TRANSPARENT);
        SetTextColor(canvas.Dc(), RGB(0, 0, 0));
        TextOutW(canvas.Dc(), 0, 0, text.c_str(), static_cast<int>(text.size()));
        GdiFlush();
      }
      glyph.coverage.resize(static_cast<std::size_t>(glyph.width) * static_cast<std::size_t>(height));
      for (int y = 0; y < height; ++y) {
        const std::uint32_t* row = canvas.Row(y);
        for (int x = 0; x < glyph.width; ++x) {
          glyph.coverage[static_cast<std::size_t>(y) * glyph.width + x] =
              static_cast<std::uint8_t>(0xFF - ((row[x] >> 8) & 0xFF));
        }
      }
    }
    return glyphs.emplace(key, std::move(glyph)).first->second;
  }
};

Win32Font::Win32Font(UINT dpi) : impl_(std::make_unique<Impl>(dpi)) {}
Win32Font::~Win32Font() = default;

HFONT Win32Font::Native() const { return impl_->font.get(); }

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
