// The default GUI font: a CJK sans-serif face at the pixel size the layout
// was drawn for (12 pixels at scale 1), times the scale. The control layer
// lays out and draws text itself, one character at a time, in device
// pixels; glyphs are rendered once as coverage masks and blended onto the
// program's images.

#include <QFont>
#include <QFontMetrics>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <map>

#include "platform/qt/qt_services.h"

namespace tinctora::qtb {

namespace {

// The size at scale 1, 96 pixels to the inch.
constexpr int kPixelSize = 12;

int PixelSizeAt(double scale) { return std::max(1, static_cast<int>(std::floor(kPixelSize * scale + 0.5))); }

}  // namespace

struct QtFont::Impl {
  QFont font;    // double-byte characters, and the system's controls
  QFont narrow;  // single-byte characters: half a Chinese character wide
  QFontMetrics metrics;
  QFontMetrics narrowMetrics;
  mutable std::map<Text, QImage> glyphs;  // coverage, Format_Alpha8, one line high

  explicit Impl(double scale)
      : font(MakeFont(PixelSizeAt(scale))), narrow(MakeNarrow(font)), metrics(font), narrowMetrics(narrow) {}

  // The layout was drawn for a font whose Latin characters take exactly half
  // the width of a Chinese one; the letter spacing makes up the difference.
  static QFont MakeNarrow(const QFont& wide) {
    QFont f = wide;
    const QFontMetrics m(wide);
    const int half = m.horizontalAdvance(QString::fromUtf8("\u4E2D")) / 2;
    const int latin = m.horizontalAdvance(QStringLiteral("0"));
    if (half > 0 && latin != half) f.setLetterSpacing(QFont::AbsoluteSpacing, half - latin);
    return f;
  }

  bool Narrow(TextView gbkChar) const { return gbkChar.size() < 2; }

  static QFont MakeFont(int pixelSize) {
    QFont f;
    // A face whose Latin characters are half as wide as its Chinese ones,
    // as in the fonts the layout was drawn for.
    f.setFamilies({QStringLiteral("WenQuanYi Micro Hei Mono"), QStringLiteral("WenQuanYi Micro Hei"),
                   QStringLiteral("Noto Sans Mono CJK SC"), QStringLiteral("monospace")});
    f.setPixelSize(pixelSize);
    f.setHintingPreference(QFont::PreferFullHinting);
    return f;
  }

  const QImage& Glyph(TextView gbkChar) const {
    const Text key(gbkChar);
    auto it = glyphs.find(key);
    if (it != glyphs.end()) return it->second;
    const QString text = FromGbk(gbkChar);
    const QFontMetrics& m = Narrow(gbkChar) ? narrowMetrics : metrics;
    // Wide enough for a glyph that reaches past its advance.
    const int width = std::max(1, m.horizontalAdvance(text) + 2);
    QImage coverage(width, metrics.height(), QImage::Format_Alpha8);
    coverage.fill(0);
    {
      QPainter painter(&coverage);
      painter.setFont(Narrow(gbkChar) ? narrow : font);
      painter.setPen(Qt::black);
      painter.drawText(0, metrics.ascent(), text);
    }
    return glyphs.emplace(key, std::move(coverage)).first->second;
  }
};

QtFont::QtFont(double scale) : impl_(std::make_unique<Impl>(scale)) {}
QtFont::~QtFont() = default;

const QFont& QtFont::Native() const { return impl_->font; }
const QFont& QtFont::NativeNarrow() const { return impl_->narrow; }

int QtFont::LineHeight() const { return impl_->metrics.height(); }

int QtFont::CharWidth(TextView gbkChar) const {
  const QFontMetrics& m = impl_->Narrow(gbkChar) ? impl_->narrowMetrics : impl_->metrics;
  return m.horizontalAdvance(FromGbk(gbkChar));
}

void QtFont::DrawChar(Image& target, int x, int y, TextView gbkChar, Pixel colour) const {
  const QImage& glyph = impl_->Glyph(gbkChar);
  if (glyph.isNull()) return;
  gfx::BlendCoverage(target, x, y, glyph.constScanLine(0), glyph.width(), glyph.height(), glyph.bytesPerLine(), colour);
}

}  // namespace tinctora::qtb
