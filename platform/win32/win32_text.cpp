// Text conversion at the backend's edge: the program's GBK bytes to the
// wide-character API's UTF-16 and back, by the program's own code page
// table, whatever code page the system runs with.

#include <string>

#include "text/gbk.h"
#include "platform/win32/win32_internal.h"

namespace tinctora::win32 {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "the wide-character API is UTF-16");

std::wstring Wide(TextView gbk) {
  const std::u16string utf16 = text::GbkToUtf16(gbk);
  return std::wstring(reinterpret_cast<const wchar_t*>(utf16.data()), utf16.size());
}

Text Narrow(std::wstring_view text) {
  return text::Utf16ToGbk(std::u16string_view(reinterpret_cast<const char16_t*>(text.data()), text.size()));
}

std::wstring WideWindowText(HWND window) {
  const int length = GetWindowTextLengthW(window);
  if (length <= 0) return std::wstring();
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  const int got = GetWindowTextW(window, text.data(), length + 1);
  text.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
  return text;
}

Text WindowText(HWND window) { return Narrow(WideWindowText(window)); }

}  // namespace tinctora::win32
