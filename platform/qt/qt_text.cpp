// Text conversion at the backend's edge: the program's GBK bytes to Qt's
// strings and back.
//
// TODO: replace with colour/gbk.h once the core has it; until then the C
// library's iconv does the conversion here.

#include <iconv.h>

#include <string>

#include "platform/qt/qt_internal.h"

namespace tinctora::qtb {

namespace {

class Converter {
 public:
  Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  ~Converter() {
    if (Valid()) iconv_close(cd_);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;
  bool Valid() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

  // The whole input converted, or nothing when some of it cannot be.
  std::optional<std::string> Convert(std::string_view in) {
    if (!Valid()) return std::nullopt;
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    std::string out(in.size() * 4 + 4, '\0');
    char* src = const_cast<char*>(in.data());
    std::size_t srcLeft = in.size();
    char* dst = out.data();
    std::size_t dstLeft = out.size();
    if (iconv(cd_, &src, &srcLeft, &dst, &dstLeft) == static_cast<std::size_t>(-1)) return std::nullopt;
    if (iconv(cd_, nullptr, nullptr, &dst, &dstLeft) == static_cast<std::size_t>(-1)) return std::nullopt;
    out.resize(out.size() - dstLeft);
    return out;
  }

 private:
  iconv_t cd_;
};

std::size_t GbkCharLength(TextView text, std::size_t at) {
  return static_cast<unsigned char>(text[at]) >= 0x81 && at + 1 < text.size() ? 2 : 1;
}

}  // namespace

QString FromGbk(TextView gbk) {
  static Converter converter("UTF-8", "GBK");
  if (auto utf8 = converter.Convert(gbk)) return QString::fromUtf8(utf8->data(), static_cast<qsizetype>(utf8->size()));
  // Bytes that are not GBK: each character converted alone, the bad ones
  // shown as the replacement.
  QString out;
  for (std::size_t at = 0; at < gbk.size();) {
    const std::size_t length = GbkCharLength(gbk, at);
    if (auto one = converter.Convert(gbk.substr(at, length))) {
      out += QString::fromUtf8(one->data(), static_cast<qsizetype>(one->size()));
    } else {
      out += QChar(kGbkReplacement);
    }
    at += length;
  }
  return out;
}

Text ToGbk(const QString& text) {
  static Converter converter("GBK", "UTF-8");
  const QByteArray utf8 = text.toUtf8();
  if (auto gbk = converter.Convert({utf8.constData(), static_cast<std::size_t>(utf8.size())})) return *gbk;
  Text out;
  for (const char32_t c : text.toUcs4()) {
    const QByteArray one = QString::fromUcs4(&c, 1).toUtf8();
    if (auto gbk = converter.Convert({one.constData(), static_cast<std::size_t>(one.size())})) {
      out += *gbk;
    } else {
      out += kGbkReplacement;
    }
  }
  return out;
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
