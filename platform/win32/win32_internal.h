#pragma once

// What the Win32 backend's files share: the table of the program's native
// windows, the text and pixel conversions at the edge and small owners of
// GDI handles. Not part of the backend's interface (win32_platform.h is).

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/platform.h"

namespace tinctora::win32 {

using platform::CursorId;
using platform::EventSink;
using platform::WindowId;
using gfx::Image;
using gfx::Pixel;
using gfx::Point;
using gfx::Rect;

// Window classes of the program's own windows.
inline constexpr wchar_t kTopClass[] = L"TinctoraWindow";
inline constexpr wchar_t kSurfaceClass[] = L"TinctoraSurface";
inline constexpr wchar_t kPopupClass[] = L"TinctoraPopup";

// Messages the backend posts to itself.
inline constexpr UINT kMsgCommand = WM_APP + 1;   // wParam: the program's command
inline constexpr UINT kMsgActivate = WM_APP + 2;  // wParam: 1 active, 0 inactive

// ---- texts: GBK inside the program, UTF-16 at the system (win32_text.cpp)
std::wstring Wide(TextView gbk);
// A character with no GBK form becomes colour/gbk.h's replacement.
Text Narrow(std::wstring_view text);
Text WindowText(HWND window);

// ---- pixels: the program's order (red low) is COLORREF's; a 32-bit DIB
// holds blue in the low byte.
inline std::uint32_t ToDib(Pixel p) { return ((p & 0xFFu) << 16) | (p & 0xFF00u) | ((p >> 16) & 0xFFu); }
inline Pixel FromDib(std::uint32_t d) { return ((d & 0xFFu) << 16) | (d & 0xFF00u) | ((d >> 16) & 0xFFu); }
// A top-down 32-bit DIB header for w x h pixels.
BITMAPINFO DibInfo(int width, int height);

// ---- owners of GDI handles
class ScreenDc {
 public:
  ScreenDc() : dc_(GetDC(nullptr)) {}
  ~ScreenDc() {
    if (dc_ != nullptr) ReleaseDC(nullptr, dc_);
  }
  ScreenDc(const ScreenDc&) = delete;
  ScreenDc& operator=(const ScreenDc&) = delete;
  HDC get() const { return dc_; }

 private:
  HDC dc_;
};

class WindowDc {
 public:
  explicit WindowDc(HWND window) : window_(window), dc_(GetDC(window)) {}
  ~WindowDc() {
    if (dc_ != nullptr) ReleaseDC(window_, dc_);
  }
  WindowDc(const WindowDc&) = delete;
  WindowDc& operator=(const WindowDc&) = delete;
  HDC get() const { return dc_; }

 private:
  HWND window_;
  HDC dc_;
};

class MemoryDc {
 public:
  explicit MemoryDc(HDC like) : dc_(CreateCompatibleDC(like)) {}
  ~MemoryDc() {
    if (dc_ != nullptr) DeleteDC(dc_);
  }
  MemoryDc(const MemoryDc&) = delete;
  MemoryDc& operator=(const MemoryDc&) = delete;
  HDC get() const { return dc_; }

 private:
  HDC dc_;
};

// Selects an object into a DC for a scope.
class Selected {
 public:
  Selected(HDC dc, HGDIOBJ object) : dc_(dc), old_(SelectObject(dc, object)) {}
  ~Selected() {
    if (old_ != nullptr && old_ != HGDI_ERROR) SelectObject(dc_, old_);
  }
  Selected(const Selected&) = delete;
  Selected& operator=(const Selected&) = delete;

 private:
  HDC dc_;
  HGDIOBJ old_;
};

struct DeleteGdiObject {
  void operator()(void* object) const {
    if (object != nullptr) DeleteObject(static_cast<HGDIOBJ>(object));
  }
};
using GdiBitmap = std::unique_ptr<std::remove_pointer_t<HBITMAP>, DeleteGdiObject>;
using GdiBrush = std::unique_ptr<std::remove_pointer_t<HBRUSH>, DeleteGdiObject>;
using GdiFont = std::unique_ptr<std::remove_pointer_t<HFONT>, DeleteGdiObject>;

// A 32-bit top-down DIB section and the memory DC it is selected into.
class DibSurface {
 public:
  DibSurface() = default;
  ~DibSurface();
  DibSurface(const DibSurface&) = delete;
  DibSurface& operator=(const DibSurface&) = delete;
  // Reshapes when the size differs; false when the system has no memory for it.
  bool Ensure(int width, int height);
  int Width() const { return width_; }
  int Height() const { return height_; }
  std::uint32_t* Row(int y) { return bits_ + static_cast<std::ptrdiff_t>(y) * width_; }
  const std::uint32_t* Row(int y) const { return bits_ + static_cast<std::ptrdiff_t>(y) * width_; }
  HDC Dc() const { return dc_; }
  bool Valid() const { return bits_ != nullptr; }

 private:
  void Release();
  HDC dc_ = nullptr;
  HBITMAP bitmap_ = nullptr;
  HGDIOBJ old_ = nullptr;
  std::uint32_t* bits_ = nullptr;
  int width_ = 0;
  int height_ = 0;
};

// A native window of the program.
struct NativeWindow {
  HWND hwnd = nullptr;
  platform::NativeKind kind = platform::NativeKind::Surface;
  bool topLevel = false;
  bool popup = false;
  WNDPROC nativeProc = nullptr;  // a system control's own window procedure
  // Custom-drawn windows: what the control layer presented last.
  DibSurface shown;
  std::vector<std::uint32_t> direct;  // a direct drawing, converted
  // Edit boxes: the colours and the brush of the background; set while the
  // program writes the text, whose change it reports itself.
  platform::EditSettings edit;
  bool programWrite = false;
  wchar_t highSurrogate = 0;  // the first half of a typed character
  // The background of an edit box or of the top level (nothing: the face).
  GdiBrush brush;
  HCURSOR cursor = nullptr;
  // The top level: OnDestroyed has been called; the control that had the
  // focus when the window was last deactivated.
  bool destroyNotified = false;
  HWND savedFocus = nullptr;
  // A popup: closed by the program before its loop ran.
  bool closeRequested = false;
};

// The backend's shared state: the windows by handle and the sink.
class Registry {
 public:
  EventSink* sink = nullptr;
  HINSTANCE instance = nullptr;
  HFONT guiFont = nullptr;  // the system's default GUI font, for the controls
  HWND top = nullptr;       // the top-level window, for the dialog keys

  NativeWindow& Add(HWND hwnd);
  NativeWindow* Find(HWND hwnd) const;
  NativeWindow* Find(WindowId id) const { return Find(reinterpret_cast<HWND>(id)); }
  void Remove(HWND hwnd);
  std::vector<NativeWindow*> All() const;

  // The capture the program set, and whether the program is releasing it.
  HWND capture = nullptr;
  bool releasing = false;
  // The popup whose modal loop runs, and whether the program closes it.
  HWND runningPopup = nullptr;
  bool popupClosed = false;
  // Cursors made by the program.
  std::unordered_map<CursorId, HCURSOR> cursors;

  // The window procedures' shared handling; true when `result` answers
  // the message and the window's own handling must not run.
  bool Common(NativeWindow& window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);

 private:
  std::unordered_map<HWND, std::unique_ptr<NativeWindow>> windows_;
};

// The one registry the window procedures reach (win32_platform.cpp sets it).
Registry& TheRegistry();
void SetTheRegistry(Registry* registry);

inline WindowId IdOf(HWND hwnd) { return reinterpret_cast<WindowId>(hwnd); }
inline HWND HwndOf(WindowId id) { return reinterpret_cast<HWND>(id); }

// Window procedures (win32_windows.cpp, win32_popups.cpp).
LRESULT CALLBACK TopProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK SurfaceProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK PopupProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

// Paints a custom-drawn window: asks the program, then shows what it presented.
void PaintSurface(NativeWindow& window);
// Copies a control layer image into a window's DIB.
void StoreImage(NativeWindow& window, const Image& client);

}  // namespace tinctora::win32
