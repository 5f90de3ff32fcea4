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

DibSurface::~DibSurface() { Release(); }

void DibSurface::Release() {
  if (dc_ != nullptr) {
    if (old_ != nullptr) SelectObject(dc_, old_);
    DeleteDC(dc_);
  }
  if (bitmap_ != nullptr) DeleteObject(bitmap_);
  dc_ = nullptr;
  bitmap_ = nullptr;
  old_ = nullptr;
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
  bitmap_ = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (bitmap_ == nullptr || bits == nullptr) {
    Release();
    return false;
  }
  dc_ = CreateCompatibleDC(nullptr);
  if (dc_ == nullptr) {
    Release();
    return false;
  }
  old_ = SelectObject(dc_, bitmap_);
  bits_ = static_cast<std::uint32_t*>(bits);
  width_ = width;
  height_ = height;
  return true;
}

}  // namespace tinctora::win32
