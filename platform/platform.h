#pragma once

// The seam between the portable program and an operating system. Every
// service a backend offers is an interface here; the control layer and the
// handlers see nothing else of the system. A backend maps these calls onto
// native ones and holds none of the program's rules: what an edit box
// accepts, where the window goes, what the colour popup looks like, which
// hot-key ids the program hands out are all decided above the seam.
//
// Threads: everything here is called on the one user-interface thread, and
// a backend calls the EventSink on that thread only, from its message loop
// (or from inside a call of the program's that the system answers
// synchronously, as noted at each call). No call may block except the modal
// ones (RunPopup, TrackPopupMenu, ChooseColour) and Loop::Run.
//
// Events: a backend reports what the user and the system do, never the
// program's own writes. SetEditText, SetEditSelection, SetSliderPosition,
// SetBounds and the rest raise nothing; which program writes raise which of
// the program's events is decided above the seam alone.
//
// Display rate: the program merges its writes of edit texts, slider
// positions and repaints and hands them to the backend at most once a
// display frame (Loop::RequestFrame, EventSink::OnFrame), and always before
// the user's input reaches the control (EventSink::BeforeInput), before it
// reads a pixel back or draws straight onto a surface (UpdateNow). A backend
// applies every call at once and keeps no writes of its own waiting.
//
// Texts cross the seam as GBK byte strings (Text); a backend converts them at
// its edge with text/gbk.h.
//
// Scale: every coordinate and size here is in device pixels, the screen's
// physical ones, whatever scale the desktop shows windows at. The program
// lays its window out in its own units, 96 to a logical inch, and hands the
// backend device rectangles computed for the scale the system shows the
// window at (Windows::Scale); it paints custom-drawn windows at their device
// size. A backend never stretches what the program drew, and the system must
// not either: it shows the window as a program that knows its scale.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "colour/colour_value.h"
#include "text/text.h"
#include "graphics/font.h"
#include "graphics/image.h"
#include "graphics/picture.h"

namespace tinctora::platform {

using gfx::Image;
using gfx::Pixel;
using gfx::Point;
using gfx::Rect;

// A native window: the top-level window, one of its child controls or a
// popup window. 0 is none.
using WindowId = std::uintptr_t;
using CursorId = std::uintptr_t;

// The colour every read gives for a pixel that cannot be read.
inline constexpr Pixel kInvalidPixel = 0xFFFFFFFFu;

enum class NativeKind {
  Surface,     // custom-drawn: the control layer paints its client area
  EditBox,     // the system's single-line edit control
  Slider,      // the system's track bar
  GroupFrame,  // the system's group box
};

enum class TextAlign { Left, Centre, Right };

// How an edit box looks and whether the user may change it. What it accepts
// (digits only, a length limit) is not the native control's business: the
// backend asks EventSink::AcceptedBytes before every insertion, inserts
// exactly the bytes it answers, and must not set a native length limit
// (which would also cut the program's own writes) nor cut an insertion
// itself.
struct EditSettings {
  Pixel background = 0;
  Pixel textColour = 0;
  TextAlign align = TextAlign::Left;
  bool readOnly = false;
};

// A horizontal track bar with tick marks above the track. Keys move it as
// the Windows track bar does: Left, Up and PageUp toward the minimum, Right,
// Down and PageDown toward the maximum, Home and End to the ends; a click
// on the channel moves it by the page step.
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
  Rect bounds;          // outer rectangle in the parent's client coordinates
  bool border = false;  // a plain one-pixel frame outside the client area
  bool tabStop = false;
  Text text;  // edit text or group caption
  EditSettings edit;
  SliderSettings slider;
};

struct TopLevelSpec {
  Text caption;
  // The client area, device pixels; the frame around it is the system's own
  // at the window's scale.
  int clientWidth = 0;
  int clientHeight = 0;
  bool alwaysOnTop = false;
  bool minimiseBox = false;
  bool maximiseBox = false;
  bool resizable = false;
  // Nothing: the system's face colour.
  std::optional<Pixel> background;
};

// Slider notifications, as the system's track bar reports them.
enum class ScrollCode { LineUp, LineDown, PageUp, PageDown, Top, Bottom, ThumbTrack, ThumbPosition, EndScroll };

// A quick second press is a press: a backend reports a toolkit's
// double-click as LeftDown, so a fast second click or pick works.
enum class MouseAction { Move, LeftDown, LeftUp, RightDown, RightUp };

// Modifier bits, as the program uses them in mouse events and hot keys.
// They are not the Win32 MOD_* values (MOD_ALT 1, MOD_CONTROL 2, MOD_SHIFT
// 4): a backend maps them.
enum ModifierBits : int { ModCtrl = 1, ModShift = 2, ModAlt = 4 };

// A selection in an edit box, as byte offsets into its GBK text, each at a
// character boundary: the user's text runs from `anchor` to `caret`, and
// typing goes in at the caret. Nothing is selected when they are equal.
struct EditRange {
  std::size_t anchor = 0;
  std::size_t caret = 0;
  std::size_t Start() const { return anchor < caret ? anchor : caret; }
  std::size_t End() const { return anchor < caret ? caret : anchor; }
  bool operator==(const EditRange&) const = default;
};

struct MouseMessage {
  WindowId target = 0;  // the window under the pointer, or the capture holder
  MouseAction action = MouseAction::Move;
  Point client;  // position in the target's client coordinates (signed)
  int keys = 0;  // ModifierBits down when the message was made
};

// Virtual-key codes the program knows by number (the Windows codes; other
// backends map their key symbols onto them).
enum VirtualKey : int {
  KeyBackspace = 0x08,
  KeyTab = 0x09,
  KeyReturn = 0x0D,
  KeyEscape = 0x1B,
  KeyPageUp = 0x21,
  KeyPageDown = 0x22,
  KeyEnd = 0x23,
  KeyHome = 0x24,
  KeyLeft = 0x25,
  KeyUp = 0x26,
  KeyRight = 0x27,
  KeyDown = 0x28,
  KeyDelete = 0x2E,
};

// How text arrives at an edit box.
enum class Insertion {
  Typed,   // one typed character
  Pasted,  // the clipboard's text, converted to GBK
};

// What the system tells the program. The control layer implements it.
class EventSink {
 public:
  virtual ~EventSink() = default;
  // A mouse message for one of the program's windows (a popup included).
  // Returns false when the message must not reach the native control. While
  // it runs, Screen::CursorPos is the message's own position.
  virtual bool OnMouse(const MouseMessage& message) = 0;
  // The window lost the mouse capture to anything but Screen::ReleaseCapture
  // (another window took it, the grab broke).
  virtual void OnCaptureLost(WindowId window) = 0;
  // The user changed the text of an edit box (typing, deleting, pasting,
  // cutting, undoing). Never reported for SetEditText.
  virtual void OnEditChanged(WindowId box) = 0;
  // Asked before every insertion into an edit box: how many leading bytes
  // of `text` the box takes when `text` replaces its selection; `kept` is
  // the length in bytes of what remains of the box's text. A typed
  // character is its GBK bytes (one or two; a character with no GBK form
  // arrives as text/gbk.h's replacement); editing keys (Backspace,
  // Delete, cursor keys, the box's own shortcuts) are no insertion. 0
  // refuses the insertion: nothing changes and no change is reported.
  virtual std::size_t AcceptedBytes(WindowId box, TextView text, std::size_t kept, Insertion how) = 0;
  // The user moved a slider. Never reported for SetSliderPosition.
  virtual void OnSliderScroll(WindowId slider, ScrollCode code) = 0;
  // A native control (an edit box or a slider) is about to take the user's
  // input: a key, a character, a paste, a mouse button or the wheel, the
  // keyboard focus.
  // The program hands it what it wrote and has not yet shown, so the user
  // works on the text and position the program last wrote. Called before
  // the control sees the input, every time.
  virtual void BeforeInput(WindowId control) = 0;
  // The display frame asked for with Loop::RequestFrame.
  virtual void OnFrame() = 0;
  // The system now shows the top-level window at another scale
  // (Windows::Scale): it went to a display of another scale, or its
  // display's scale changed. The backend has already placed the frame as the
  // system suggests; the program lays the window out again, its client size
  // through Windows::SetClientSize. Nothing of the window is stretched
  // meanwhile.
  virtual void OnScaleChanged(WindowId top) = 0;
  virtual void OnActivate(WindowId top, bool active) = 0;
  // A key the focused control does not use itself, or a key in a popup.
  // Returns true when taken.
  virtual bool OnKeyDown(WindowId focus, int virtualKey) = 0;
  virtual void OnCloseRequested(WindowId top) = 0;
  // The window is being destroyed; it and its children still exist.
  virtual void OnDestroyed(WindowId top) = 0;
  // A registered hot key was pressed; `nativeId` is the id it was
  // registered with.
  virtual void OnHotKey(WindowId owner, int nativeId) = 0;
  virtual void OnCommand(WindowId owner, int command) = 0;
  // The system wants a custom-drawn window's client area painted. The
  // program answers with Windows::Present before it returns.
  virtual void OnPaint(WindowId surface) = 0;
  // A popup lost the user: a click outside it, or another window activated.
  virtual void OnPopupDismissed(WindowId popup) = 0;
  // The system's colours or its high-contrast setting changed while the
  // program runs (Windows::Colours answers anew). The program gives its
  // edit boxes their colours again and repaints what it paints; the backend
  // repaints its own controls.
  virtual void OnColoursChanged() = 0;
};

// The system's colours for the program's own look: the face of the window
// and its controls with the text on it, and the background of an edit box
// with its text. In high contrast the user chose them to be read; outside
// it the program keeps its own fixed colours and uses only the face.
struct SystemColours {
  bool highContrast = false;
  Pixel face = 0;        // the window's and the controls' face
  Pixel faceText = 0;    // text and lines on the face
  Pixel window = 0;      // an edit box's background
  Pixel windowText = 0;  // its text
  bool operator==(const SystemColours&) const = default;
};

// Windows and the system's own controls.
class Windows {
 public:
  virtual ~Windows() = default;
  virtual void SetSink(EventSink* sink) = 0;

  virtual WindowId CreateTopLevel(const TopLevelSpec& params) = 0;
  virtual WindowId CreateChild(WindowId parent, const ChildSpec& params) = 0;
  // Destroys the top-level window: OnDestroyed first, then the window and
  // its children go.
  virtual void Destroy(WindowId top) = 0;

  // Children only; never activates anything.
  virtual void SetVisible(WindowId window, bool visible) = 0;
  // Shows the top-level window where SetBounds last put it and activates it
  // (OnActivate follows, synchronously or from the loop).
  virtual void Show(WindowId top) = 0;
  virtual void SetCaption(WindowId window, TextView text) = 0;
  // Outer rectangle in the parent's client coordinates (screen coordinates
  // for the top level, where it places the frame's top-left corner; the top
  // level keeps its size).
  virtual void SetBounds(WindowId window, const Rect& outer) = 0;
  // The top-level window's client area gets this size; the frame's top-left
  // corner stays where it is and the frame is the system's at the window's
  // scale.
  virtual void SetClientSize(WindowId top, int width, int height) = 0;
  // The scale the system shows the top-level window (and everything in it)
  // at now: its display's, 1 where the system knows no scale. Backends report
  // what the system gives (1.25, 1.5, 1.75, 2 ...), never rounded.
  virtual double Scale(WindowId top) const = 0;
  // Outer rectangle, screen coordinates. Before the top-level window is
  // first shown, a backend whose window manager draws the frame does not
  // know it yet and reports the client rectangle as the outer one.
  virtual Rect WindowRect(WindowId window) const = 0;
  virtual Rect ClientRect(WindowId window) const = 0;  // client, screen coordinates

  // Custom-drawn windows: the content needs painting again. The backend asks
  // for it with EventSink::OnPaint before it next shows the window.
  virtual void Invalidate(WindowId surface) = 0;
  // Paints now, through OnPaint, whatever of the window and its children is
  // waiting to be painted, so that a direct drawing that follows is not
  // painted over.
  virtual void UpdateNow(WindowId window) = 0;
  // The whole client area as the control layer painted it, in answer to
  // OnPaint. The backend shows it and keeps it until the next call.
  virtual void Present(WindowId surface, const Image& client) = 0;
  // Draws pixels straight onto the visible client area with their top-left
  // corner at `at` (clipped to it), without keeping them: the next Present
  // or repaint replaces them. The backend may show the pixels from where
  // they lie instead of copying them: the caller leaves them unchanged until
  // its next DrawDirect, Present or UpdateNow for the surface.
  virtual void DrawDirect(WindowId surface, const Image& pixels, Point at) = 0;
  // The pixel of the window's visible client area, as the screen shows it;
  // kInvalidPixel where the point is outside the client area or covered by
  // a sibling lying above it.
  virtual Pixel VisiblePixel(WindowId window, Point client) const = 0;

  // A program write: the whole text, never cut. Raises nothing. Afterwards
  // nothing is selected and the caret stands at the end of the text.
  virtual void SetEditText(WindowId box, TextView text) = 0;
  virtual Text EditText(WindowId box) const = 0;
  // A program write of the selection (offsets in bytes of the GBK text,
  // clamped to it). Raises nothing.
  virtual void SetEditSelection(WindowId box, EditRange range) = 0;
  virtual EditRange EditSelection(WindowId box) const = 0;
  // A program write of an edit box's colours (EditSettings holds the first
  // ones); the box shows them at once. Raises nothing.
  virtual void SetEditColours(WindowId box, Pixel background, Pixel text) = 0;
  // A program write: moves the thumb and reports nothing.
  virtual void SetSliderPosition(WindowId slider, int position) = 0;
  virtual int SliderPosition(WindowId slider) const = 0;

  virtual void SetFocus(WindowId window) = 0;
  virtual WindowId Focus() const = 0;

  // The system's look. The font is the default GUI font at a scale: its
  // pixel size is the one the system gives its own controls at that scale.
  // Native controls of a window show their text in the font at the window's
  // scale, from the start and after every OnScaleChanged.
  virtual Pixel FaceColour() const = 0;
  // The system's colours now; FaceColour is their face.
  virtual SystemColours Colours() const = 0;
  virtual const gfx::Font& DefaultGuiFont(double scale) const = 0;
};

// Popup windows the control layer paints and hit-tests itself (the colour
// chooser's grid): the backend only hosts the window, runs its modal loop
// and shows a tooltip. Mouse messages inside it reach OnMouse with the popup
// as target; keys reach OnKeyDown with the popup as focus; a click outside
// or another window's activation reaches OnPopupDismissed.
class Popups {
 public:
  virtual ~Popups() = default;
  // A borderless popup window owned by `owner`, exactly at a screen
  // rectangle, not yet shown. Keeping it on a display is the program's
  // business: the backend neither moves nor clamps it.
  virtual WindowId CreatePopup(WindowId owner, const Rect& screen) = 0;
  // Shows the popup and dispatches messages until ClosePopup is called for
  // it (from a handler of its messages); then hides it and returns.
  virtual void RunPopup(WindowId popup) = 0;
  virtual void ClosePopup(WindowId popup) = 0;
  virtual void DestroyPopup(WindowId popup) = 0;
  // Shows a tooltip for a rectangle of the popup's client area; an empty
  // text hides it.
  virtual void ShowTooltip(WindowId popup, const Rect& client, TextView text) = 0;
};

// One display of the desktop, in screen coordinates (device pixels).
struct Display {
  Rect bounds;
  // The part windows may use: the bounds less task bars, docks and panels.
  Rect workArea;
  // The scale the system shows windows on this display at.
  double scale = 1.0;
};

// The screen, the pointer and the cursor.
class Screen {
 public:
  virtual ~Screen() = default;
  // The displays, the primary one first.
  virtual std::vector<Display> Displays() const = 0;
  // A pixel of the screen; kInvalidPixel if it cannot be read.
  virtual colour::ColourValue PixelAt(Point screen) const = 0;
  // The pixels of a rectangle lying within one display (the caller clips),
  // as the screen shows them; false when it cannot be read.
  [[nodiscard]] virtual bool ReadRect(const Rect& screen, Image& out) const = 0;
  // The bits per pixel of the primary display.
  virtual int BitsPerPixel() const = 0;

  // Where the pointer is. While a mouse message is handled (inside
  // EventSink::OnMouse and everything it calls), the position that message
  // was made at, so that a movement is handled where it happened however
  // far the pointer has gone since; otherwise where it is now. Nothing when
  // the system will not tell: another desktop (a secure prompt, the lock
  // screen) has the pointer.
  virtual std::optional<Point> CursorPos() const = 0;
  // Moves the pointer; the system then reports the movement as any other.
  virtual void SetCursorPos(Point screen) = 0;
  // Whether the primary mouse button is down now, whatever messages are
  // still waiting (swapped buttons respected).
  virtual bool PrimaryButtonDown() const = 0;
  // While a window holds the capture, every mouse message goes to it.
  virtual void SetCapture(WindowId window) = 0;
  // Releases the program's capture; raises no OnCaptureLost.
  virtual void ReleaseCapture() = 0;
  virtual WindowId Capture() const = 0;

  // The side in pixels of the system's cursors at a scale (Windows: 32 at
  // 1, 48 at 1.5): the program makes its cursors that large.
  virtual int CursorSize(double scale) const = 0;
  virtual CursorId CreateCursor(const gfx::CursorImage& image) = 0;
  virtual void DestroyCursor(CursorId cursor) = 0;
  // The cursor the pointer shows over the window and while it holds the
  // capture; 0 gives the standard arrow.
  virtual void SetWindowCursor(WindowId window, CursorId cursor) = 0;
};

// System-wide hot keys under native ids that the control layer hands out
// and reuses; they lie in 1 ... kMaxNativeHotKeyId and are never
// registered twice for one owner. The control layer guarantees both; a
// backend checks neither and passes the id to the system as it is.
inline constexpr int kMaxNativeHotKeyId = 0xBFFF;
class HotKeys {
 public:
  virtual ~HotKeys() = default;
  // `modifiers` are ModifierBits. False when the system refuses the key
  // (another program holds it).
  [[nodiscard]] virtual bool Register(WindowId owner, int nativeId, int modifiers, int virtualKey) = 0;
  [[nodiscard]] virtual bool Unregister(WindowId owner, int nativeId) = 0;
};

// The clipboard, step by step, so the program decides the order of the
// steps: the text block is made before the clipboard is opened and emptied,
// so a failure to make it leaves the user's clipboard as it was.
class Clipboard {
 public:
  // A block of the system's memory for clipboard text (Windows: movable
  // global memory). Owned by the backend: freed when the handle goes, unless
  // the system took it.
  class Block {
   public:
    virtual ~Block() = default;
    // Writable bytes, zero-filled, of the size allocated.
    virtual std::span<std::uint8_t> Bytes() = 0;
  };
  using BlockHandle = std::unique_ptr<Block>;

  virtual ~Clipboard() = default;
  // Nothing when memory is short.
  [[nodiscard]] virtual BlockHandle Allocate(std::size_t size) = 0;
  [[nodiscard]] virtual bool Open() = 0;
  // While open: removes what the clipboard holds and makes the program its owner.
  [[nodiscard]] virtual bool Empty() = 0;
  // While open and after Empty: hands the block over as plain text in the
  // program's code page (GBK), its last byte 0. True when the system took
  // it; the handle is spent either way.
  [[nodiscard]] virtual bool SetText(BlockHandle block) = 0;
  virtual void Close() = 0;
};

// Modal choices the system offers.
class Dialogs {
 public:
  virtual ~Dialogs() = default;
  // Shows a popup menu with its top-left corner at a screen point and returns
  // the index of the chosen item when it closes, or nothing when dismissed.
  virtual std::optional<int> TrackPopupMenu(WindowId owner, std::span<const Text> items, Point at) = 0;
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
  // Asks for one EventSink::OnFrame, delivered from the loop (a modal one
  // included) about one display frame from now, at most 16 ms. Requests
  // made while one is waiting are that one.
  virtual void RequestFrame() = 0;
  // Blocks the calling thread for about `milliseconds`: a short wait before
  // trying a busy system service again. Nothing posted is dispatched;
  // messages other programs send and wait on are answered.
  virtual void Pause(int milliseconds) = 0;
};

// One backend: every service of the seam.
struct Platform {
  Windows* windows = nullptr;
  Popups* popups = nullptr;
  Screen* screen = nullptr;
  HotKeys* hotKeys = nullptr;
  Clipboard* clipboard = nullptr;
  Dialogs* dialogs = nullptr;
  Loop* loop = nullptr;
};

}  // namespace tinctora::platform
