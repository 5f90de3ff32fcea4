// Text conversion at the backend's edge: the program's GBK bytes to Qt's
// UTF-16 strings and back, by the program's own code page table.

#include <string>

#include "text/gbk.h"
#include "platform/qt/qt_internal.h"

namespace tinctora::qtb {

QString FromGbk(TextView gbk) {
  const std::u16string utf16 = text::GbkToUtf16(gbk);
  return QString(reinterpret_cast<const QChar*>(utf16.data()), static_cast<qsizetype>(utf16.size()));
}

Text ToGbk(const QString& text) {
  return text::Utf16ToGbk(std::u16string_view(reinterpret_cast<const char16_t*>(text.utf16()),
                                                static_cast<std::size_t>(text.size())));
}

qsizetype QtPosition(const QString& text, std::size_t gbkOffset) {
  std::size_t bytes = 0;
  qsizetype at = 0;
  while (at < text.size()) {
    // One character: a surrogate pair is one, and one GBK character.
    const qsizetype units = text[at].isHighSurrogate() && at + 1 < text.size() ? 2 : 1;
    const std::size_t length = ToGbk(text.mid(at, units)).size();
    if (bytes + length > gbkOffset) break;
    bytes += length;
    at += units;
  }
  return at;
}

std::size_t GbkOffset(const QString& text, qsizetype position) {
  return ToGbk(text.left(std::clamp<qsizetype>(position, 0, text.size()))).size();
}

}  // namespace tinctora::qtb
