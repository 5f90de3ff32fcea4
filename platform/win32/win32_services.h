#pragma once

// The services of the Win32 backend, one class a file: win32_windows.cpp
// (with win32_edit.cpp, win32_slider.cpp and win32_surface.cpp for the
// kinds of window), win32_popups.cpp, win32_screen.cpp, win32_hotkeys.cpp,
// win32_clipboard.cpp, win32_dialogs.cpp, win32_loop.cpp. win32_platform.cpp
// makes them; win32_messages.cpp turns the system's messages into the
// sink's calls.

#include <array>
#include <map>

#include "platform/win32/win32_internal.h"

namespace tinctora::win32 {

// The system's default GUI font at a DPI. The control layer lays out and
// draws text itself, one character at a time: GDI renders each glyph once,
// greyscale antialiased, into a DIB whose coverage is then blended onto the
// program's images.
class Win32Font final : public gfx::Font {
 public:
  explicit Win32Font(UINT dpi);
  ~Win32Font() override;
  int LineHeight() const override;
  int CharWidth(TextView gbkChar) const override;
  void DrawChar(Image& target, int x, int y, TextView gbkChar, Pixel colour) const override;
  // The font the system's controls are given.
  HFONT Native() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

class Win32Windows final : public platform::Windows {
 public:
  explicit Win32Windows(Registry& registry);
  ~Win32Windows() override;
  void SetSink(EventSink* sink) override { registry_.sink = sink; }
  WindowId CreateTopLevel(const platform::TopLevelSpec& params) override;
  WindowId CreateChild(WindowId parent, const platform::ChildSpec& params) override;
  void Destroy(WindowId top) override;
  void SetVisible(WindowId window, bool visible) override;
  void Show(WindowId top) override;
  void SetCaption(WindowId window, TextView text) override;
  void SetBounds(WindowId window, const Rect& outer) override;
  Rect WindowRect(WindowId window) const override;
  Rect ClientRect(WindowId window) const override;
  void Invalidate(WindowId surface) override;
  void UpdateNow(WindowId window) override;
  void Present(WindowId surface, const Image& client) override;
  void DrawDirect(WindowId surface, const Image& pixels, Point at) override;
  Pixel VisiblePixel(WindowId window, Point client) const override;
  void SetEditText(WindowId box, TextView text) override;
  Text EditText(WindowId box) const override;
  void SetEditSelection(WindowId box, platform::EditRange range) override;
  platform::EditRange EditSelection(WindowId box) const override;
  void SetEditColours(WindowId box, Pixel background, Pixel text) override;
  void SetSliderPosition(WindowId slider, int position) override;
  int SliderPosition(WindowId slider) const override;
  void SetFocus(WindowId window) override;
  WindowId Focus() const override;
  Pixel FaceColour() const override;
  platform::SystemColours Colours() const override;
  void SetClientSize(WindowId top, int width, int height) override;
  double Scale(WindowId top) const override;
  const gfx::Font& DefaultGuiFont(double scale) const override;

 private:
  Registry& registry_;
  OwnedWindow top_;
};

class Win32Popups final : public platform::Popups {
 public:
  explicit Win32Popups(Registry& registry);
  ~Win32Popups() override;
  WindowId CreatePopup(WindowId owner, const Rect& screen) override;
  void RunPopup(WindowId popup) override;
  void ClosePopup(WindowId popup) override;
  void DestroyPopup(WindowId popup) override;
  void ShowTooltip(WindowId popup, const Rect& client, TextView text) override;

 private:
  Registry& registry_;
  std::map<HWND, OwnedWindow> popups_;
  OwnedWindow tooltip_;
  HWND tooltipOwner_ = nullptr;
};

class Win32Screen final : public platform::Screen {
 public:
  explicit Win32Screen(Registry& registry) : registry_(registry) {}
  ~Win32Screen() override;
  std::vector<platform::Display> Displays() const override;
  colour::ColourValue PixelAt(Point screen) const override;
  bool ReadRect(const Rect& screen, Image& out) const override;
  int BitsPerPixel() const override;
  std::optional<Point> CursorPos() const override;
  void SetCursorPos(Point screen) override;
  bool PrimaryButtonDown() const override;
  void SetCapture(WindowId window) override;
  void ReleaseCapture() override;
  WindowId Capture() const override;
  int CursorSize(double scale) const override;
  CursorId CreateCursor(const gfx::CursorImage& image) override;
  void DestroyCursor(CursorId cursor) override;
  void SetWindowCursor(WindowId window, CursorId cursor) override;

 private:
  // The side up to which a read goes through the kept snapshot surface.
  static constexpr int kKeptSnapshotSide = 64;
  // A message number in the application's range that the program never
  // posts.
  static constexpr UINT kNeverPosted = WM_APP + 0x3FEF;
  // A read over one of the program's own windows sees what the program drew
  // before it.
  void ShowOwnDrawing(const Rect& screen) const;
  Registry& registry_;
  CursorId nextCursor_ = 1;
  mutable DibSurface snapshot_;
};

class Win32HotKeys final : public platform::HotKeys {
 public:
  bool Register(WindowId owner, int nativeId, int modifiers, int virtualKey) override;
  bool Unregister(WindowId owner, int nativeId) override;
};

class Win32Clipboard final : public platform::Clipboard {
 public:
  explicit Win32Clipboard(Registry& registry) : registry_(registry) {}
  // An opening the program left is closed with the backend.
  ~Win32Clipboard() override { Close(); }
  BlockHandle Allocate(std::size_t size) override;
  bool Open() override;
  bool Empty() override;
  bool SetText(BlockHandle block) override;
  void Close() override;

 private:
  Registry& registry_;
  bool open_ = false;
  bool emptied_ = false;
};

class Win32Dialogs final : public platform::Dialogs {
 public:
  explicit Win32Dialogs(Registry& registry) : registry_(registry) {}
  std::optional<int> TrackPopupMenu(WindowId owner, std::span<const Text> items, Point at) override;
  std::optional<colour::ColourValue> ChooseColour(WindowId owner, colour::ColourValue initial) override;

 private:
  Registry& registry_;
  // The colour dialog's custom colours, kept from one opening to the next.
  std::array<COLORREF, 16> custom_{};
};

class Win32Loop final : public platform::Loop {
 public:
  explicit Win32Loop(Registry& registry);
  void Run() override;
  void ProcessPending() override;
  void Quit() override;
  void PostCommand(WindowId owner, int command) override;
  void RequestFrame() override;
  void Pause(int milliseconds) override;

 private:
  static LRESULT CALLBACK FrameProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  void DeliverFrame();
  // Delivers the waiting frame when it is due, whatever messages keep coming.
  void FrameIfDue();

  Registry& registry_;
  bool quitting_ = false;
  // A message-only window whose timer brings the display frame, in this
  // loop and in every modal one (they all dispatch WM_TIMER).
  OwnedWindow frameWindow_;
  bool frameWaiting_ = false;
  DWORD frameDue_ = 0;  // GetTickCount when the waiting frame is due
};

}  // namespace tinctora::win32
