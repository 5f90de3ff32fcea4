#pragma once

// The services of the Qt backend, one class a file: qt_windows.cpp,
// qt_popups.cpp, qt_screen.cpp, qt_hotkeys.cpp, qt_clipboard.cpp,
// qt_dialogs.cpp, qt_loop.cpp; the raw input at qt_input.cpp.
// qt_platform.cpp makes them.

#include <QAbstractNativeEventFilter>
#include <QTimer>

#include <functional>
#include <map>
#include <utility>
#include <vector>

#include <xcb/xcb_keysyms.h>

#include "platform/qt/qt_internal.h"
#include "platform/qt/x_events.h"
#include "platform/qt/x_grab.h"
#include "platform/qt/x_pixels.h"

class QEventLoop;

namespace tinctora::qtb {

// The control layer's font at a scale: its pixel size is the system
// font's at that scale, and it draws into the program's device-size
// images. Native() at scale 1 is the font of the system's controls, which
// Qt itself scales with the window.
class QtFont final : public gfx::Font {
 public:
  explicit QtFont(double scale);
  ~QtFont() override;
  int LineHeight() const override;
  int CharWidth(TextView gbkChar) const override;
  void DrawChar(Image& target, int x, int y, TextView gbkChar, Pixel colour) const override;
  const QFont& Native() const;
  // The face with its Latin characters at half the width of a Chinese one,
  // as the layout's edit boxes were sized for.
  const QFont& NativeNarrow() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

class QtWindows final : public platform::Windows {
 public:
  explicit QtWindows(Registry& registry);
  ~QtWindows() override;
  void SetSink(EventSink* sink) override { registry_.sink = sink; }
  WindowId CreateTopLevel(const platform::TopLevelSpec& params) override;
  WindowId CreateChild(WindowId parent, const platform::ChildSpec& params) override;
  void Destroy(WindowId top) override;
  void SetVisible(WindowId window, bool visible) override;
  void Show(WindowId top) override;
  void SetCaption(WindowId window, TextView text) override;
  void SetBounds(WindowId window, const Rect& outer) override;
  void SetClientSize(WindowId top, int width, int height) override;
  double Scale(WindowId top) const override;
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
  const gfx::Font& DefaultGuiFont(double scale) const override;

 private:
  void RemoveTree(WindowId id);
  Registry& registry_;
  // One font a scale, made when first asked for.
  mutable std::map<double, std::unique_ptr<QtFont>> fonts_;
  // The connections to the screens' signals go with the service.
  QObject connections_;
};

class QtPopups final : public platform::Popups {
 public:
  explicit QtPopups(Registry& registry) : registry_(registry) {}
  WindowId CreatePopup(WindowId owner, const Rect& screen) override;
  void RunPopup(WindowId popup) override;
  void ClosePopup(WindowId popup) override;
  void DestroyPopup(WindowId popup) override;
  void ShowTooltip(WindowId popup, const Rect& client, TextView text) override;

 private:
  void PlaceExactly(const NativeWindow& window);
  Registry& registry_;
  std::map<WindowId, QEventLoop*> running_;
  std::vector<WindowId> closed_;
};

// Reads the screen's pixels: on a connection of its own where it can open
// one, after whatever Qt drew before the read has reached the screen.
class ScreenReader {
 public:
  // Qt's connection and the root window of Qt's screen.
  ScreenReader(xcb_connection_t* shared, xcb_window_t root);
  ~ScreenReader();
  ScreenReader(const ScreenReader&) = delete;
  ScreenReader& operator=(const ScreenReader&) = delete;
  bool Read(const Rect& screen, Image& out);
  // Qt may have drawn on its connection since the last read.
  void NoteDrawing() { drawn_ = true; }
  // Whether the reads have a connection of their own.
  bool Private() const { return own_ != nullptr; }
  // The backend's own connection (the pointer grab's too); null without one.
  xcb_connection_t* Own() const { return own_; }
  const XPixelFormat& Format() const { return format_; }

  // While the screen's changes are watched (a pick's grab), the reads made
  // for an event of the own connection (InOrder) are served from a picture
  // of the pointer's surroundings, read once and kept while no change on
  // the screen touches it: the server reports every change to the screen
  // on the own connection, in order with the pointer's events, so a change
  // made before a movement is known when the movement is handled.
  void WatchChanges(bool on);
  // Takes an event of the own connection that reports a change of the
  // screen; false for any other event.
  bool TakeChange(const xcb_generic_event_t& event);
  // Every event of the own connection up to the one being handled has been
  // taken.
  void SetInOrder(bool on) { inOrder_ = on; }
  // Called after a read outside InOrder, which may have queued events of
  // the own connection where no readable socket announces them.
  std::function<void()> onEventsQueued;
  // Where the reads are counted; none when null.
  MotionCounts* counts = nullptr;
  // Whether a rectangle of the screen may show one of the program's own
  // windows; every rectangle may when unset.
  std::function<bool(const Rect&)> overOwnWindows;

 private:
  xcb_connection_t* Connection() const { return own_ != nullptr ? own_ : shared_; }
  bool Fetch(const Rect& screen, Image& out);
  xcb_connection_t* shared_;
  xcb_connection_t* own_ = nullptr;
  xcb_window_t root_;
  XPixelFormat format_;
  bool drawn_ = true;
  // The Damage extension's first event code; 0 without the extension.
  std::uint8_t changeEvent_ = 0;
  std::uint32_t damage_ = 0;  // the root window's damage object while watching
  bool inOrder_ = false;
  KeptScreenArea kept_;
  Image fetched_;
};

class DrawingWatch;

class QtScreen final : public platform::Screen {
 public:
  explicit QtScreen(Registry& registry);
  ~QtScreen() override;
  std::vector<platform::Display> Displays() const override;
  colour::ColourValue PixelAt(Point screen) const override;
  bool ReadRect(const Rect& screen, Image& out) const override;
  int BitsPerPixel() const override;
  std::optional<Point> CursorPos() const override;
  void SetCursorPos(Point screen) override;
  bool PrimaryButtonDown() const override;
  void SetCapture(WindowId window) override;
  void ReleaseCapture() override;
  WindowId Capture() const override { return registry_.capture; }
  int CursorSize(double scale) const override;
  CursorId CreateCursor(const gfx::CursorImage& image) override;
  void DestroyCursor(CursorId cursor) override;
  void SetWindowCursor(WindowId window, CursorId cursor) override;

 private:
  void Grab(NativeWindow& window);
  std::vector<platform::Display> ReadDisplays() const;
  // The X resources of the screen (the root's RESOURCE_MANAGER), and one
  // whole-number value of them (0 when missing).
  QByteArray ResourceManager() const;
  static int ResourceValue(const QByteArray& resources, const char* name);
  Registry& registry_;
  mutable ScreenReader reader_;
  PointerGrab pointerGrab_;
  std::unique_ptr<DrawingWatch> drawingWatch_;
  mutable std::optional<std::vector<platform::Display>> displays_;
  // The connections to the screens' signals go with the service.
  QObject connections_;
};

// System-wide hot keys: passive key grabs on the root window.
class QtHotKeys final : public platform::HotKeys {
 public:
  explicit QtHotKeys(Registry& registry);
  ~QtHotKeys() override;
  bool Register(WindowId owner, int nativeId, int modifiers, int virtualKey) override;
  bool Unregister(WindowId owner, int nativeId) override;

  // The hot key a key event on the root window stands for.
  struct Hit {
    WindowId owner = 0;
    int nativeId = 0;
  };
  std::optional<Hit> Match(xcb_keycode_t keycode, std::uint16_t state) const;

 private:
  struct Grab {
    std::vector<xcb_keycode_t> keycodes;
    std::uint16_t modifiers = 0;
  };
  void Ungrab(const Grab& grab);
  struct FreeSymbols {
    void operator()(xcb_key_symbols_t* table) const;
  };
  Registry& registry_;
  std::unique_ptr<xcb_key_symbols_t, FreeSymbols> symbols_;
  std::map<std::pair<WindowId, int>, Grab> grabs_;  // by owner and native id
};

// The one place raw XCB events enter: the presses of the hot keys, the end
// of a pointer grab the program did not release, the pointer's motion
// events counted, and handled here during a capture.
class NativeInput final : public QAbstractNativeEventFilter {
 public:
  NativeInput(Registry& registry, const QtHotKeys& hotKeys);
  ~NativeInput() override;
  NativeInput(const NativeInput&) = delete;
  NativeInput& operator=(const NativeInput&) = delete;
  bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

 private:
  // A crossing event's mode and sequence number: the end of a pointer grab.
  void NoteUngrab(std::uint8_t mode, std::uint16_t sequence);
  // A window of the program was unmapped: a grab in it has ended.
  void NoteUnmap(xcb_window_t window);
  // The capture holder has lost the capture.
  void CaptureLost();
  // The master pointer's motion as the capture holder's message, handled
  // at once; false when no custom-drawn window holds the capture.
  bool TakeMotion(const XInputPointer& pointer);
  Registry& registry_;
  const QtHotKeys& hotKeys_;
  std::uint8_t inputOpcode_ = 0;  // the X Input extension's, 0 without it
  xcb_atom_t frameExtents_ = XCB_ATOM_NONE;
};

class QtClipboard final : public platform::Clipboard {
 public:
  BlockHandle Allocate(std::size_t size) override;
  bool Open() override;
  bool Empty() override;
  bool SetText(BlockHandle block) override;
  void Close() override;

 private:
  bool open_ = false;
  bool emptied_ = false;
};

class QtDialogs final : public platform::Dialogs {
 public:
  QtDialogs(Registry& registry, const QtFont& font) : registry_(registry), font_(font) {}
  std::optional<int> TrackPopupMenu(WindowId owner, std::span<const Text> items, Point at) override;
  std::optional<colour::ColourValue> ChooseColour(WindowId owner, colour::ColourValue initial) override;

 private:
  Registry& registry_;
  const QtFont& font_;
};

class QtLoop final : public platform::Loop {
 public:
  explicit QtLoop(Registry& registry);
  ~QtLoop() override;
  void Run() override;
  void ProcessPending() override;
  void Quit() override;
  void PostCommand(WindowId owner, int command) override;
  void RequestFrame() override;
  void Pause(int milliseconds) override;

 private:
  Registry& registry_;
  bool quitting_ = false;
  // One display frame: a timer, so that modal loops deliver it too.
  QTimer frame_;
};

}  // namespace tinctora::qtb
