#pragma once

// A simulated desktop: displays with pictures on them, the program's window
// drawn with a frame, the pointer and its buttons, the keyboard, the
// clipboard, the hot-key registry and the modal choices. The real program
// runs on it with input only from its caller and time only when the caller
// pumps messages. It decides none of the program's rules: like a real
// backend it asks the control layer through the seam.
//
// The class is one simulated system; its services live in one file each:
// desktop.cpp (set-up and the window tree), render.cpp (what the screen
// shows), screen.cpp (pixels, pointer, capture, cursors), input.cpp (the
// message queue and the user's actions), native_controls.cpp (edit boxes and
// sliders), modal.cpp (menus, popups, the colour dialog and their answers);
// the hot-key registry and the clipboard are classes of their own.

#include <algorithm>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/headless/builtin_font.h"
#include "platform/headless/sim_clipboard.h"
#include "platform/headless/sim_hotkeys.h"
#include "platform/platform.h"

namespace tinctora::headless {

using platform::WindowId;
using gfx::Image;
using gfx::Pixel;
using gfx::Point;
using gfx::Rect;

struct Display {
  Rect bounds;            // in screen coordinates; the primary display starts at 0, 0
  int bitsPerPixel = 32;  // 16, 24 or 32
  double scale = 1.0;     // the scale windows on it are shown at
  int panel = 0;          // a panel along its bottom edge, this many pixels high
  Image picture;          // what the desktop shows there
};

// Frame thickness of the top-level window: a title bar and borders, so that
// window and client coordinates differ as on the real system.
struct FrameMetrics {
  int left = 3;
  int top = 26;
  int right = 3;
  int bottom = 3;
};

enum class Button { Left, Right };

// A window that is not the program's own: holds the capture when another
// program takes it.
inline constexpr WindowId ForeignWindow = 1;

class Desktop final : public platform::Windows,
                      public platform::Popups,
                      public platform::Screen,
                      public platform::Dialogs,
                      public platform::Loop {
 public:
  Desktop();
  ~Desktop() override;

  platform::Platform Services();

  // ---- set-up
  // Replaces every display; the first is the primary one and should lie at 0, 0.
  void SetDisplays(std::vector<Display> displays);
  void AddDisplay(const Rect& bounds, int bitsPerPixel, Pixel fill);
  const std::vector<Display>& DisplayList() const { return displays_; }
  Rect PrimaryDisplay() const;
  void SetFrame(const FrameMetrics& frame) { frame_ = frame; }
  const FrameMetrics& Frame() const { return frame_; }
  // The frame at the window's scale, as the system draws it.
  FrameMetrics ScaledFrame() const;
  // The user drags the window by its title bar so its frame's top-left
  // corner lands on a screen point; on a display of another scale the
  // window is shown at that scale.
  void DragWindowTo(Point screen);
  // Paints the desktop (under the program's window) in screen coordinates.
  void FillDesktop(const Rect& screen, Pixel colour);
  void PutDesktopPixel(Point screen, Pixel colour);
  void DrawOnDesktop(Point screen, const Image& image);

  // ---- faults and other programs
  // Pixel reads in the area give the invalid pixel; rectangle reads that
  // touch it fail.
  void SetUnreadable(const Rect& screen) { unreadable_.push_back(screen); }
  void ClearUnreadable() { unreadable_.clear(); }
  SimHotKeys& HotKeyRegistry() { return hotKeys_; }
  const SimHotKeys& HotKeyRegistry() const { return hotKeys_; }
  SimClipboard& ClipboardService() { return clipboard_; }
  const SimClipboard& ClipboardService() const { return clipboard_; }
  // Another window takes the mouse capture; it keeps it until the next
  // button release, as a drag in another program does.
  void StealCapture();

  // The user switches high contrast on or off while the program runs: the
  // system's colours become a dark scheme (a black face with white text,
  // black edit boxes with yellow text) or the usual light one, the system's
  // own controls and frame show them at once, and the program hears of it
  // from the loop. Before the program starts it simply opens in them.
  void SetHighContrast(bool on);

  // While the program is busy the user's actions only queue their messages;
  // they are dispatched, in order, when it is no longer busy.
  void SetBusy(bool busy);

  // ---- the user's actions; each one ends by dispatching every waiting message
  void MovePointer(Point screen);
  void Press(Button button);
  void Release(Button button);
  // A press and a release that arrive before the program reads either.
  void PressAndRelease(Button button);
  // Two clicks in quick succession: the system reports the second press as
  // a double click, which reaches the program as a press.
  void DoubleClick();
  void KeyDown(int virtualKey);
  void SetModifiers(int keys) { modifiers_ = keys; }
  // Typing into the focused window, one character at a time (GBK text),
  // each in place of the selection, at the caret.
  void Type(TextView text);
  void Backspace();
  void SelectAll();
  void Paste();
  void FocusWindow(WindowId window);
  void CloseWindow(WindowId top);
  void SetActive(bool active);
  // Drags a slider's thumb to each of the positions in turn, then releases it.
  void DragSliderThumb(WindowId slider, const std::vector<int>& positions);
  enum class Toward { Minimum, Maximum };
  void ClickSliderChannel(WindowId slider, Toward toward);

  // ---- answers for the modal choices the program will open next. They
  // wait in order, each for the next modal of its kind; `origin` names who
  // queued it (the runner's line) so an answer nothing used can be reported.
  struct MenuShown {
    Point at;
    std::vector<Text> items;
    std::optional<int> chosen;
  };
  // Returns the item chosen (from 0), or nothing to dismiss the menu.
  using MenuAnswer = std::function<std::optional<int>(const MenuShown&)>;
  // The user's actions while the popup is open (pointer moves, clicks,
  // keys). A popup still open afterwards is dismissed by a click outside it.
  using PopupAnswer = std::function<void(Desktop&, WindowId popup)>;
  // The colour confirmed in the colour dialog, or nothing to cancel it.
  using DialogAnswer = std::optional<colour::ColourValue>;
  enum class ModalKind { Menu, Popup, Dialog };
  void QueueMenuAnswer(int origin, MenuAnswer answer);
  void QueuePopupAnswer(int origin, PopupAnswer answer);
  void QueueDialogAnswer(int origin, DialogAnswer answer);
  // Removes the answers nothing used (those of one origin, or all), oldest first.
  std::vector<std::pair<int, ModalKind>> TakeUnusedAnswers(std::optional<int> origin = std::nullopt);

  const std::vector<MenuShown>& MenusShown() const { return menusShown_; }
  struct PopupShown {
    Rect at;       // screen coordinates
    Image client;  // what it showed when it opened
  };
  const std::vector<PopupShown>& PopupsShown() const { return popupsShown_; }
  const std::vector<colour::ColourValue>& DialogsShown() const { return dialogsShown_; }
  // The last non-empty tooltip a popup showed.
  const Text& LastTooltip() const { return lastTooltip_; }
  // The popup open now, or 0.
  WindowId OpenPopup() const { return openPopup_; }

  // ---- what the user sees
  // The whole screen area as it looks now (unreadable areas included).
  Image Render(const Rect& screen);
  // The cursor the pointer shows now; nothing for the standard arrow.
  const gfx::CursorImage* PointerCursor() const;
  // Cursors the program has made and not destroyed.
  std::size_t LiveCursors() const { return cursors_.size(); }
  WindowId TopLevel() const { return top_; }
  // Windows waiting to be painted.
  std::size_t PendingPaint() const { return dirty_.size(); }
  // How many times the program set an edit box's text or a slider's
  // position.
  std::size_t NativeWrites() const { return nativeWrites_; }

  // ---- the clock. Time passes only when the caller says; a display frame
  // the program asked for comes 16 ms after it asked.
  static constexpr int kFrameMs = 16;
  void Advance(int ms);
  // Lets time pass until no frame is waiting: what the user sees once the
  // screen has caught up.
  void Settle();
  long long Now() const { return now_; }
  bool FrameWaiting() const { return frameDue_.has_value(); }
  bool Visible(WindowId window) const;

  // ---- platform::Windows
  void SetSink(platform::EventSink* sink) override { sink_ = sink; }
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
  WindowId Focus() const override { return focus_; }
  Pixel FaceColour() const override;
  platform::SystemColours Colours() const override { return colours_; }
  const gfx::Font& DefaultGuiFont(double scale) const override;
  void SetClientSize(WindowId top, int width, int height) override;
  double Scale(WindowId top) const override { return scale_; }
  int CursorSize(double scale) const override;

  // ---- platform::Popups
  WindowId CreatePopup(WindowId owner, const Rect& screen) override;
  void RunPopup(WindowId popup) override;
  void ClosePopup(WindowId popup) override;
  void DestroyPopup(WindowId popup) override;
  void ShowTooltip(WindowId popup, const Rect& client, TextView text) override;

  // ---- platform::Screen
  std::vector<platform::Display> Displays() const override;
  colour::ColourValue PixelAt(Point screen) const override;
  // A pixel as the screen shows it, read for a check rather than by the
  // program: not counted in ScreenReads.
  colour::ColourValue ShownPixel(Point screen) const;
  // How many times the program read the screen (pixels and rectangles).
  std::size_t ScreenReads() const { return screenReads_; }
  bool ReadRect(const Rect& screen, Image& out) const override;
  int BitsPerPixel() const override;
  std::optional<Point> CursorPos() const override;
  // Another desktop (a secure prompt, the lock screen) has the pointer: the
  // program is told no position, except for a mouse message it handles.
  void SetPointerHidden(bool hidden) { pointerHidden_ = hidden; }
  // Where the pointer is, whoever has it.
  Point PointerPos() const { return pointer_; }
  void SetCursorPos(Point screen) override;
  bool PrimaryButtonDown() const override { return leftDown_; }
  void SetCapture(WindowId window) override;
  void ReleaseCapture() override;
  WindowId Capture() const override { return capture_; }
  platform::CursorId CreateCursor(const gfx::CursorImage& image) override;
  void DestroyCursor(platform::CursorId cursor) override;
  void SetWindowCursor(WindowId window, platform::CursorId cursor) override;

  // ---- platform::Dialogs
  std::optional<int> TrackPopupMenu(WindowId owner, std::span<const Text> items, Point at) override;
  std::optional<colour::ColourValue> ChooseColour(WindowId owner, colour::ColourValue initial) override;

  // ---- platform::Loop
  void Run() override;
  void ProcessPending() override;
  void Quit() override { quit_ = true; }
  void PostCommand(WindowId owner, int command) override;
  void RequestFrame() override;
  // Time passes; a frame that falls due meanwhile comes when time next
  // passes through Advance.
  void Pause(int milliseconds) override { now_ += std::max(0, milliseconds); }

 private:
  struct Win;
  struct Message {
    enum class Type { Mouse, HotKey, Command, Colours } type = Type::Mouse;
    platform::MouseMessage mouse;
    Point screen;  // where the pointer was when the mouse message was made
    WindowId owner = 0;
    int value = 0;
  };
  struct SliderDrag {
    WindowId slider = 0;
    bool onThumb = false;
    // The position the thumb is being dragged to, when the caller names it:
    // a track bar has fewer pixels than positions.
    std::optional<int> target;
  };
  struct Answer {
    int origin = 0;
    ModalKind kind = ModalKind::Menu;
    MenuAnswer menu;
    PopupAnswer popup;
    DialogAnswer dialog;
  };

  Win* Find(WindowId id) const;
  Rect OuterScreenRect(const Win& win) const;
  Rect ClientScreenRect(const Win& win) const;
  bool ShownOnScreen(const Win& win) const;
  WindowId HitTest(Point screen) const;
  WindowId HitChild(const Win& parent, Point screen) const;
  const Display* DisplayAt(Point screen) const;
  Pixel DesktopPixel(Point screen) const;
  Pixel ComposeAt(Point screen) const;
  // The screen as it shows a rectangle; points outside every display take `outside`.
  void ComposeRect(const Rect& screen, Image& out, Pixel outside) const;
  Pixel WindowPixel(const Win& win, Point screen) const;
  void FlushPaint(const Rect& area) const;
  void PaintOne(WindowId id) const;
  void RenderNative(const Win& win) const;
  void RenderFrame() const;
  void Post(Message message);
  void PostMouse(platform::MouseAction action);
  void Pump();
  void Dispatch(const Message& message);
  void NativeMouse(const platform::MouseMessage& message);
  void Notify(WindowId slider, platform::ScrollCode code);
  int SliderPositionAt(const Win& slider, int clientX) const;
  Rect SliderThumb(const Win& slider) const;
  void EditInsert(Win& box, TextView text, platform::Insertion how);
  // The focused edit box the user may change, or null.
  Win* EditableFocus();
  // Replaces the box's selection with `text` and reports the user's edit.
  void EditReplace(Win& box, TextView text);
  // An editing key in the focused edit box; false when the box does not use it.
  bool EditKey(Win& box, int virtualKey);
  // The character boundary nearest a client x position in an edit box.
  std::size_t EditOffsetAt(const Win& box, int clientX) const;
  // Where an edit box's text starts, in client coordinates.
  int EditTextLeft(const Win& box) const;
  void BeforeInput(WindowId control);
  void EndSliderDrag();
  // Puts a direct drawing shown from the program's pixels onto the surface.
  void CopyDirect(Win& win) const;
  void RemoveWindow(WindowId id);
  std::optional<Answer> NextAnswer(ModalKind kind);

  platform::EventSink* sink_ = nullptr;
  std::vector<Display> displays_;
  // The font at the window's scale, and a length of the system's look at it.
  const gfx::Font& Font() const { return DefaultGuiFont(scale_); }
  int Px(int length) const;
  // The window went somewhere: the scale of the display it lies most on.
  void FollowDisplayScale();
  FrameMetrics frame_;
  double scale_ = 1.0;
  platform::SystemColours colours_;
  mutable std::map<double, std::unique_ptr<BuiltinFont>> fonts_;
  std::unordered_map<WindowId, std::unique_ptr<Win>> windows_;
  WindowId nextId_ = 0x100;
  WindowId top_ = 0;
  bool active_ = false;
  WindowId focus_ = 0;
  mutable std::set<WindowId> dirty_;
  mutable bool flushing_ = false;
  mutable Image frameImage_;
  mutable bool frameDirty_ = true;

  Point pointer_;
  // The position of the mouse message being handled.
  std::optional<Point> handling_;
  bool leftDown_ = false;
  bool rightDown_ = false;
  int modifiers_ = 0;
  WindowId capture_ = 0;
  std::optional<SliderDrag> sliderDrag_;
  std::map<platform::CursorId, gfx::CursorImage> cursors_;
  platform::CursorId nextCursor_ = 1;

  long long now_ = 0;
  std::optional<long long> frameDue_;
  std::size_t nativeWrites_ = 0;

  std::deque<Message> queue_;
  int pumpDepth_ = 0;
  bool busy_ = false;
  bool pointerHidden_ = false;
  bool quit_ = false;

  SimHotKeys hotKeys_;
  SimClipboard clipboard_;

  WindowId openPopup_ = 0;
  bool popupClosing_ = false;
  Text lastTooltip_;

  std::vector<Rect> unreadable_;
  mutable std::size_t screenReads_ = 0;
  std::deque<Answer> answers_;
  std::vector<MenuShown> menusShown_;
  std::vector<PopupShown> popupsShown_;
  std::vector<colour::ColourValue> dialogsShown_;
};

}  // namespace tinctora::headless
