// Text conversion at the backend's edge: the program's GBK bytes to Qt's
// UTF-16 strings and back, by the program's own code page table.

#include <string>

#include "colour/gbk.h"
#include "platform/qt/qt_internal.h"

namespace tinctora::qtb {

QString FromGbk(TextView gbk) {
  const std::u16string utf16 = colour::GbkToUtf16(gbk);
  return QString(reinterpret_cast<const QChar*>(utf16.data()), static_cast<qsizetype>(utf16.size()));
}

Text ToGbk(const QString& text) {
  return colour::Utf16ToGbk(std::u16string_view(reinterpret_cast<const char16_t*>(text.utf16()),
                                                static_cast<std::size_t>(text.size())));
}

QImage ToQImage(const Image& image) {
  QImage out(image.Width(), image.Height(), QImage::Format_RGB32);
  for (int y = 0; y < image.Height(); ++y) {
    const Pixel* src = image.Row(y);
    auto* dst = reinterpret_cast<QRgb*>(out.scanLine(y));
    for (int x = 0; x < image.Width(); ++x) dst[x] = ToQRgb(src[x]);
  }
  return out;
}

}  // namespace tinctora::qtb
