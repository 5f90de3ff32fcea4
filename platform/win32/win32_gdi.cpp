// The DIB sections custom-drawn windows are shown from, and the count of
// the GDI objects and DCs the backend holds.

#include <algorithm>
#include <atomic>

#include "platform/win32/win32_internal.h"
#include "platform/win32/win32_platform.h"

namespace tinctora::win32 {

namespace {
std::atomic<long> gdiHeld{0};
std::atomic<long> gdiMade{0};
}  // namespace

Win32System::GdiCounts Win32System::Gdi() { return {gdiHeld.load(), gdiMade.load()}; }

void NoteGdiHeld(const void* handle, bool made) {
  if (handle == nullptr) return;
  ++gdiHeld;
  if (made) ++gdiMade;
}
void NoteGdiReleased(const void* handle) {
  if (handle != nullptr) --gdiHeld;
}

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

bool DibSurface::EnsureAtLeast(int width, int height) {
  if (bits_ != nullptr && width <= width_ && height <= height_) return true;
  return Ensure(std::max(width, width_), std::max(height, height_));
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
