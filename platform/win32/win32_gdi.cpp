// The DIB sections custom-drawn windows are shown from.

#include "platform/win32/win32_internal.h"

namespace tinctora::win32 {

BITMAPINFO DibInfo(int width, int height) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;  // top row first
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  return info;
}

void DibSurface::Release() {
  selected_.reset();
  dc_.reset();
  bitmap_.reset();
  bits_ = nullptr;
  width_ = 0;
  height_ = 0;
}

bool DibSurface::Ensure(int width, int height) {
  if (bits_ != nullptr && width == width_ && height == height_) return true;
  Release();
  if (width <= 0 || height <= 0) return false;
  const BITMAPINFO info = DibInfo(width, height);
  void* bits = nullptr;
  GdiBitmap bitmap(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  if (!bitmap || bits == nullptr) return false;
  auto dc = std::make_unique<MemoryDc>(nullptr);
  if (dc->get() == nullptr) return false;
  auto selected = std::make_unique<Selected>(dc->get(), bitmap.get());
  if (!selected->Ok()) return false;
  bitmap_ = std::move(bitmap);
  dc_ = std::move(dc);
  selected_ = std::move(selected);
  bits_ = static_cast<std::uint32_t*>(bits);
  width_ = width;
  height_ = height;
  return true;
}

}  // namespace tinctora::win32
