#pragma once

// What the Win32 backend's files share: the table of the program's native
// windows, the text and pixel conversions at the edge and small owners of
// native handles. Not part of the backend's interface (win32_platform.h is).

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <memory>
#include <optional>
#include <string>
#include <type_traits>
#include <unordered_map>
#include <utility>
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

// ---- scale (win32_dpi.cpp): dots per inch, 96 at a scale of 1. The calls of
// Windows 8.1 and 10 are found at run time; without them the system DPI
// holds for every display and window.
inline constexpr UINT kLayoutDpi = 96;
// Makes the process per-monitor aware where nothing has yet (a program
// without the manifest), so the system never stretches its windows.
void MakeProcessDpiAware();
UINT SystemDpi();
UINT MonitorDpi(HMONITOR monitor);
UINT WindowDpi(HWND window);
UINT DpiOfScale(double scale);
// The outer size of a window of these styles, without a menu, around a
// client area, with the system's frame at a DPI.
SIZE OuterSize(int clientWidth, int clientHeight, DWORD style, DWORD exStyle, UINT dpi);
// A system metric (SM_*) at a DPI.
int MetricForDpi(int index, UINT dpi);

// ---- texts: GBK inside the program, UTF-16 at the system (win32_text.cpp)
std::wstring Wide(TextView gbk);
// A character with no GBK form becomes text/gbk.h's replacement.
Text Narrow(std::wstring_view text);
std::wstring WideWindowText(HWND window);
Text WindowText(HWND window);

// ---- pixels: the program's order (red low) is COLORREF's; a 32-bit DIB
// holds blue in the low byte.
inline std::uint32_t ToDib(Pixel p) { return ((p & 0xFFu) << 16) | (p & 0xFF00u) | ((p >> 16) & 0xFFu); }
inline Pixel FromDib(std::uint32_t d) { return ((d & 0xFFu) << 16) | (d & 0xFF00u) | ((d >> 16) & 0xFFu); }
// A top-down 32-bit DIB header for w x h pixels.
BITMAPINFO DibInfo(int width, int height);

// ---- owners of native handles
// The GDI objects and device contexts the backend holds now: each owner
// below counts what it holds. The system's own count (GetGuiResources) is
// not available everywhere, and a count that grows with every movement of a
// pick is a leak that ends with the system refusing to draw.
// A DC borrowed with GetDC is held, not made; counts only a handle that is
// not null.
void NoteGdiHeld(const void* handle, bool made = true);
void NoteGdiReleased(const void* handle);

class ScreenDc {
 public:
  ScreenDc() : dc_(GetDC(nullptr)) { NoteGdiHeld(dc_, false); }
  ~ScreenDc() {
    if (dc_ != nullptr) ReleaseDC(nullptr, dc_);
    NoteGdiReleased(dc_);
  }
  ScreenDc(const ScreenDc&) = delete;
  ScreenDc& operator=(const ScreenDc&) = delete;
  HDC get() const { return dc_; }

 private:
  HDC dc_;
};

class WindowDc {
 public:
  explicit WindowDc(HWND window) : window_(window), dc_(GetDC(window)) { NoteGdiHeld(dc_, false); }
  ~WindowDc() {
    if (dc_ != nullptr) ReleaseDC(window_, dc_);
    NoteGdiReleased(dc_);
  }
  WindowDc(const WindowDc&) = delete;
  WindowDc& operator=(const WindowDc&) = delete;
  HDC get() const { return dc_; }

 private:
  HWND window_;
  HDC dc_;
};

// A memory DC compatible with `like` (nullptr: the screen).
class MemoryDc {
 public:
  explicit MemoryDc(HDC like) : dc_(CreateCompatibleDC(like)) { NoteGdiHeld(dc_); }
  ~MemoryDc() {
    if (dc_ != nullptr) DeleteDC(dc_);
    NoteGdiReleased(dc_);
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
    if (Ok()) SelectObject(dc_, old_);
  }
  Selected(const Selected&) = delete;
  Selected& operator=(const Selected&) = delete;
  bool Ok() const { return old_ != nullptr && old_ != HGDI_ERROR; }

 private:
  HDC dc_;
  HGDIOBJ old_;
};

// Owns a GDI object (a bitmap, brush or font) and deletes it.
template <class Handle>
class GdiObject {
 public:
  GdiObject() = default;
  explicit GdiObject(Handle object) : object_(object) { NoteGdiHeld(object_); }
  ~GdiObject() { reset(); }
  GdiObject(GdiObject&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
  GdiObject& operator=(GdiObject&& other) noexcept {
    if (this != &other) {
      reset();
      object_ = std::exchange(other.object_, nullptr);
    }
    return *this;
  }
  GdiObject(const GdiObject&) = delete;
  GdiObject& operator=(const GdiObject&) = delete;

  void reset(Handle object = nullptr) {
    if (object_ != nullptr) DeleteObject(static_cast<HGDIOBJ>(object_));
    NoteGdiReleased(object_);
    object_ = object;
    NoteGdiHeld(object_);
  }
  Handle get() const { return object_; }
  explicit operator bool() const { return object_ != nullptr; }

 private:
  Handle object_ = nullptr;
};
using GdiBitmap = GdiObject<HBITMAP>;
using GdiBrush = GdiObject<HBRUSH>;
using GdiFont = GdiObject<HFONT>;

struct DestroyIconHandle {
  void operator()(HICON icon) const {
    if (icon != nullptr) DestroyIcon(icon);
  }
};
using OwnedIcon = std::unique_ptr<std::remove_pointer_t<HICON>, DestroyIconHandle>;

struct DestroyCursorHandle {
  void operator()(HCURSOR cursor) const {
    if (cursor != nullptr) DestroyCursor(cursor);
  }
};
using OwnedCursor = std::unique_ptr<std::remove_pointer_t<HCURSOR>, DestroyCursorHandle>;

// A window the backend made and destroys; the system may have destroyed it
// already with its owner.
struct DestroyWindowHandle {
  void operator()(HWND window) const {
    if (window != nullptr && IsWindow(window)) DestroyWindow(window);
  }
};
using OwnedWindow = std::unique_ptr<std::remove_pointer_t<HWND>, DestroyWindowHandle>;

// A 32-bit top-down DIB section and the memory DC it is selected into.
class DibSurface {
 public:
  DibSurface() = default;
  DibSurface(const DibSurface&) = delete;
  DibSurface& operator=(const DibSurface&) = delete;
  // Reshapes when the size differs; false when the system has no memory for it.
  bool Ensure(int width, int height);
  // Reshapes only when smaller than width x height: rows then keep the
  // surface's own width.
  bool EnsureAtLeast(int width, int height);
  int Width() const { return width_; }
  int Height() const { return height_; }
  std::uint32_t* Row(int y) { return bits_ + static_cast<std::ptrdiff_t>(y) * width_; }
  const std::uint32_t* Row(int y) const { return bits_ + static_cast<std::ptrdiff_t>(y) * width_; }
  HDC Dc() const { return dc_ ? dc_->get() : nullptr; }
  bool Valid() const { return bits_ != nullptr; }

 private:
  void Release();
  // Released in reverse: the bitmap leaves the DC before either goes.
  GdiBitmap bitmap_;
  std::unique_ptr<MemoryDc> dc_;
  std::unique_ptr<Selected> selected_;
  std::uint32_t* bits_ = nullptr;
  int width_ = 0;
  int height_ = 0;
};

class Registry;
class Win32Font;

// A native window of the program. The window procedures reach it through
// the window itself (GWLP_USERDATA for the program's classes, the subclass
// data for the system's controls).
struct NativeWindow {
  HWND hwnd = nullptr;
  Registry* registry = nullptr;
  platform::NativeKind kind = platform::NativeKind::Surface;
  bool topLevel = false;
  bool popup = false;
  // Custom-drawn windows: what the control layer presented last.
  DibSurface shown;
  std::vector<std::uint32_t> direct;  // a direct drawing, converted
  // Edit boxes: the colours and the brush of the background.
  platform::EditSettings edit;
  wchar_t highSurrogate = 0;  // the first half of a typed character
  // While the box handles a message of the user's: where a change of its
  // text (EN_CHANGE, sent to the parent) is noted, to be reported once the
  // box has handled the message. Null otherwise, and while the program
  // writes the text.
  bool* userEdit = nullptr;
  // The selection the program set last, for its direction: the system
  // tells a selection's ends only in order.
  platform::EditRange programSelection;
  // The background of an edit box or of the top level (nothing: the face).
  GdiBrush brush;
  HCURSOR cursor = nullptr;  // owned by the registry's cursors
  // The top level: OnDestroyed has been called; the control that had the
  // focus when the window was last deactivated.
  bool destroyNotified = false;
  HWND savedFocus = nullptr;
  // The top level: the DPI the system shows it at, and its icons for it.
  UINT dpi = kLayoutDpi;
  OwnedIcon bigIcon;
  OwnedIcon smallIcon;
  // A popup: closed by the program before its loop ran.
  bool closeRequested = false;
};

// The backend's shared state: the windows by handle and the sink. Owned by
// the system object; every service and window holds on to it.
class Registry {
 public:
  Registry();
  ~Registry();
  Registry(const Registry&) = delete;
  Registry& operator=(const Registry&) = delete;

  EventSink* sink = nullptr;
  HINSTANCE instance = nullptr;
  HWND top = nullptr;       // the top-level window, for the dialog keys
  // Child control ids start above the dialog manager's IDOK and IDCANCEL,
  // so that Esc and Enter reach the top level as its own commands.
  int nextChildId = 1000;
  // Paints in progress: a Present in answer to one is shown by the paint.
  int painting = 0;
  // The screen position of the mouse message being handled.
  std::optional<Point> messagePoint;
  // The program's windows were drawn on since the last screen read that
  // made sure its drawing had reached the screen.
  bool drawn = true;
  // The displays as last asked, until the system reports a change of the
  // displays, their scale or their work areas.
  std::optional<std::vector<platform::Display>> displays;

  // Adds a window of one of the program's classes, or subclasses one of
  // the system's controls; nullptr when the system refuses.
  NativeWindow* Add(HWND hwnd, platform::NativeKind kind, bool systemControl);
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
  std::unordered_map<CursorId, OwnedCursor> cursors;

  // The system's default GUI font at a DPI, made once (win32_font.cpp).
  const Win32Font& Font(UINT dpi);
  // The DPI a window is shown at: its top level's.
  UINT DpiOf(HWND hwnd) const;

 private:
  std::unordered_map<HWND, std::unique_ptr<NativeWindow>> windows_;
  std::unordered_map<UINT, std::unique_ptr<Win32Font>> fonts_;
};

inline WindowId IdOf(HWND hwnd) { return reinterpret_cast<WindowId>(hwnd); }
inline HWND HwndOf(WindowId id) { return reinterpret_cast<HWND>(id); }

// Sets the position of the mouse message being handled for a scope.
class MessagePointScope {
 public:
  MessagePointScope(Registry& registry, Point at) : registry_(registry), outer_(registry.messagePoint) {
    registry_.messagePoint = at;
  }
  ~MessagePointScope() { registry_.messagePoint = outer_; }
  MessagePointScope(const MessagePointScope&) = delete;
  MessagePointScope& operator=(const MessagePointScope&) = delete;

 private:
  Registry& registry_;
  std::optional<Point> outer_;
};

// ---- window procedures: native messages decoded into the sink's calls
// (win32_messages.cpp).
LRESULT CALLBACK TopProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK SurfaceProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK PopupProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK ControlProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR subclass,
                             DWORD_PTR data);

// ---- custom-drawn windows (win32_surface.cpp)
// Paints a custom-drawn window: asks the program, then shows what it presented.
void PaintSurface(NativeWindow& window);

// ---- the top level at its DPI (win32_windows.cpp)
// Sizes the frame so the client area is width x height at the window's DPI,
// its top-left corner kept.
void FitClientArea(NativeWindow& top, int width, int height);
// The window's icons at its DPI (win32_platform.cpp).
void SetIcons(NativeWindow& top);
// Gives the system controls of a top level the GUI font at its DPI.
void SetControlFonts(NativeWindow& top);

// ---- setting up a new system control (win32_edit.cpp, win32_slider.cpp)
void SetUpEdit(NativeWindow& box, const platform::ChildSpec& params);
void SetUpSlider(NativeWindow& slider, const platform::SliderSettings& settings);

// ---- edit boxes (win32_edit.cpp): what a box does with the user's
// insertions, and its user edits reported once handled.
// A typed character (UTF-16 unit of WM_CHAR or WM_IME_CHAR).
LRESULT TypeIntoEdit(NativeWindow& box, UINT message, WPARAM unit, LPARAM lParam);
// WM_PASTE: the clipboard's text, offered to the program.
LRESULT PasteIntoEdit(NativeWindow& box);
// Runs the box's own handling of a message of the user's and reports the
// change of its text, if any, once it is done.
LRESULT HandleUserEdit(NativeWindow& box, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace tinctora::win32
