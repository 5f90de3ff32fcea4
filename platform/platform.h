#pragma once

// The seam between the portable program and an operating system. Every
// service a backend offers is an interface here; the control layer and the
// handlers see nothing else of the system. A backend maps these calls onto
// native ones and holds none of the program's rules.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "colour/colour_value.h"
#include "colour/text.h"
#include "ui/image.h"
#include "ui/picture.h"

namespace tinctora::ui {
class Font;
}

namespace tinctora::platform {

using ui::Image;
using ui::Pixel;
using ui::Point;
using ui::Rect;

// A native window: the top-level window or one of its child controls. 0 is none.
using WindowId = std::uintptr_t;
using CursorId = std::uintptr_t;

enum class NativeKind {
  Surface,    // custom-drawn: the control layer paints its client area
  EditBox,    // the system's single-line edit control
  Slider,     // the system's track bar
  GroupFrame, // the system's group box
};

enum class TextAlign { Left, Centre, Right };

struct EditSettings {
  Pixel background = 0;
  Pixel textColour = 0;
  TextAlign align = TextAlign::Left;
  int maxLength = 0;  // 0: no limit; counts bytes; limits typing and pasting only
  bool readOnly = false;
  bool digitsOnly = false;
};

struct SliderSettings {
  int minimum = 0;
  int maximum = 100;
  int position = 0;
  int tickFrequency = 0;
  int lineStep = 1;
  int pageStep = 5;
};

struct ChildSpec {
  NativeKind kind = NativeKind::Surface;
  Rect bounds;         // outer rectangle in the parent's client coordinates
  bool border = false; // a plain one-pixel frame outside the client area
  bool tabStop = false;
  Text text;           // edit text or group caption
  EditSettings edit;
  SliderSettings slider;
};

struct TopLevelSpec {
  Text caption;
  int outerWidth = 0;
  int outerHeight = 0;
  bool alwaysOnTop = false;
  bool minimiseBox = false;
  bool maximiseBox = false;
  bool resizable = false;
  Pixel background = 0;
};

// Slider notifications, as the system's track bar reports them.
enum class ScrollCode { LineUp, LineDown, PageUp, PageDown, Top, Bottom, ThumbTrack, ThumbPosition, EndScroll };

enum class MouseAction { Move, LeftDown, LeftUp, RightDown, RightUp, LeftDouble };

// Modifier bits as the control layer reports them to handlers.
enum KeyBits : int { KeyCtrl = 1, KeyShift = 2, KeyAlt = 4 };

struct MouseMessage {
  WindowId target = 0;  // the window under the pointer, or the capture holder
  MouseAction action = MouseAction::Move;
  Point client;         // position in the target's client coordinates (signed)
  int keys = 0;
};

// Virtual-key codes the program knows by number.
enum VirtualKey : int { KeyEscape = 0x1B, KeyLeft = 0x25, KeyUp = 0x26, KeyRight = 0x27, KeyDown = 0x28 };

// What the system tells the program. The control layer implements it; a
// backend calls it from its message loop, on the one user-interface thread.
class EventSink {
 public:
  virtual ~EventSink() = default;
  // Returns false when the message must not reach the control.
  virtual bool OnMouse(const MouseMessage& message) = 0;
  virtual void OnCaptureLost(WindowId window) = 0;
  // The text of an edit box changed (user edit or program write).
  virtual void OnEditChanged(WindowId box) = 0;
  // Whether a typed character (code 32 or above) may go into the box.
  virtual bool AcceptTypedChar(WindowId box, std::uint32_t character) = 0;
  virtual void OnSliderScroll(WindowId slider, ScrollCode code) = 0;
  virtual void OnActivate(WindowId top, bool active) = 0;
  // A key the focused control does not use itself. Returns true when taken.
  virtual bool OnKeyDown(WindowId focus, int virtualKey) = 0;
  virtual void OnCloseRequested(WindowId top) = 0;
  virtual void OnDestroyed(WindowId top) = 0;
  virtual void OnHotKey(WindowId owner, int id) = 0;
  virtual void OnCommand(WindowId owner, int command) = 0;
  // The system wants a custom-drawn window's client area painted.
  virtual void OnPaint(WindowId surface) = 0;
};

// Windows and the system's own controls.
class Windows {
 public:
  virtual ~Windows() = default;
  virtual void SetSink(EventSink* sink) = 0;

  virtual WindowId CreateTopLevel(const TopLevelSpec& params) = 0;
  virtual WindowId CreateChild(WindowId parent, const ChildSpec& params) = 0;
  virtual void Destroy(WindowId top) = 0;

  virtual void SetVisible(WindowId window, bool visible) = 0;
  // Shows the top-level window centred on the primary display and activates it.
  virtual void ShowCentred(WindowId top) = 0;
  virtual void SetCaption(WindowId window, TextView text) = 0;
  // Outer rectangle in the parent's client coordinates (screen for the top level).
  virtual void SetBounds(WindowId window, const Rect& outer) = 0;
  virtual Rect WindowRect(WindowId window) const = 0;  // outer, screen coordinates
  virtual Rect ClientRect(WindowId window) const = 0;  // client, screen coordinates

  // Custom-drawn windows: the content needs painting again. The backend asks
  // for it with EventSink::OnPaint before it next shows or reads the window.
  virtual void Invalidate(WindowId surface) = 0;
  // The whole client area as the control layer painted it, in answer to
  // OnPaint. The backend shows it and keeps it until the next call.
  virtual void Present(WindowId surface, const Image& client) = 0;
  // Draws a picture stretched into a rectangle of the visible client area
  // (clipped to it) without keeping it: the next Present or repaint
  // replaces it. The quality is the system's stretch mode for the display.
  virtual void DrawStretched(WindowId surface, const Image& picture, const Rect& client,
                             ui::StretchQuality quality) = 0;
  // The pixel of the window's visible client area, as the screen shows it;
  // the invalid colour where the point is outside the client area or covered
  // by a sibling lying above it.
  virtual Pixel VisiblePixel(WindowId window, Point client) const = 0;

  virtual void SetEditText(WindowId box, TextView text) = 0;
  virtual Text EditText(WindowId box) const = 0;
  virtual void SetSliderPosition(WindowId slider, int position) = 0;
  virtual int SliderPosition(WindowId slider) const = 0;

  virtual void SetFocus(WindowId window) = 0;
  virtual WindowId Focus() const = 0;

  // Display-independent parts of the system's look.
  virtual Pixel FaceColour() const = 0;
  virtual const ui::Font& DefaultGuiFont() const = 0;
};

// The screen, the pointer and the cursor.
class Screen {
 public:
  virtual ~Screen() = default;
  // A pixel of the whole screen; the invalid colour if it cannot be read.
  virtual colour::ColourValue PixelAt(Point screen) const = 0;
  // The pixels of a rectangle of the screen, read from whichever displays
  // it lies on; points outside every display take the fill colour.
  virtual void Snapshot(const Rect& screen, Image& out, Pixel outside) const = 0;
  virtual int BitsPerPixel() const = 0;
  virtual Rect PrimaryDisplay() const = 0;

  virtual Point CursorPos() const = 0;
  virtual void SetCursorPos(Point screen) = 0;
  // Whether the primary mouse button is down now, whatever messages are
  // still waiting.
  virtual bool PrimaryButtonDown() const = 0;
  virtual void SetCapture(WindowId window) = 0;
  virtual void ReleaseCapture() = 0;
  virtual WindowId Capture() const = 0;

  virtual CursorId CreateCursor(const ui::CursorImage& image) = 0;
  virtual void DestroyCursor(CursorId cursor) = 0;
  // The cursor the pointer shows over the window and while it holds the
  // capture; 0 gives the standard arrow.
  virtual void SetWindowCursor(WindowId window, CursorId cursor) = 0;
};

// System-wide hot keys.
class HotKeys {
 public:
  virtual ~HotKeys() = default;
  [[nodiscard]] virtual bool Register(WindowId owner, int id, int modifiers, int virtualKey) = 0;
  [[nodiscard]] virtual bool Unregister(WindowId owner, int id) = 0;
};

// The clipboard, step by step, so the program decides the order of the steps.
class Clipboard {
 public:
  virtual ~Clipboard() = default;
  struct Block {
    std::vector<std::uint8_t> bytes;
  };
  // A zero-filled block of the given size, or nothing when memory is short.
  [[nodiscard]] virtual std::optional<Block> Allocate(std::size_t size) = 0;
  [[nodiscard]] virtual bool Open() = 0;
  virtual void Empty() = 0;
  // Hands the block to the clipboard as plain text (the system's code page).
  virtual void SetText(Block block) = 0;
  virtual void Close() = 0;
};

// Modal choices the system offers.
class Dialogs {
 public:
  virtual ~Dialogs() = default;
  // Shows a popup menu with its top-left corner at a screen point and returns
  // the index of the chosen item when it closes, or nothing when dismissed.
  virtual std::optional<int> TrackPopupMenu(WindowId owner, std::span<const Text> items, Point at) = 0;

  struct Swatch {
    colour::ColourValue colour = 0;
    Text name;
  };
  enum class PopupChoice { Swatch, Other, Cancel };
  struct PopupResult {
    PopupChoice choice = PopupChoice::Cancel;
    int index = 0;
  };
  // The colour chooser's drop-down: a grid of swatches with their names as
  // tooltips and one entry that leads to the colour dialog, below `anchor`.
  virtual PopupResult ColourPopup(WindowId owner, const Rect& anchor, std::span<const Swatch> swatches,
                                  TextView otherEntry) = 0;
  // The system colour dialog, opened with a colour; nothing when cancelled.
  virtual std::optional<colour::ColourValue> ChooseColour(WindowId owner, colour::ColourValue initial) = 0;
};

// The message loop.
class Loop {
 public:
  virtual ~Loop() = default;
  // Runs until Quit; returns then.
  virtual void Run() = 0;
  // Dispatches every message already waiting, then returns.
  virtual void ProcessPending() = 0;
  virtual void Quit() = 0;
  // Delivers OnCommand(owner, command) when the loop next runs.
  virtual void PostCommand(WindowId owner, int command) = 0;
};

// One backend: every service of the seam.
struct Platform {
  Windows* windows = nullptr;
  Screen* screen = nullptr;
  HotKeys* hotKeys = nullptr;
  Clipboard* clipboard = nullptr;
  Dialogs* dialogs = nullptr;
  Loop* loop = nullptr;
};

}  // namespace tinctora::platform
