#pragma once

// A simulated desktop: displays with pictures on them, the program's window
// drawn with a frame, the pointer and its buttons, the keyboard, the
// clipboard, the hot-key registry and the modal choices. The real program
// runs on it with input only from its caller and time only when the caller
// pumps messages.

#include <deque>
#include <map>
#include <unordered_map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/headless/builtin_font.h"
#include "platform/platform.h"

namespace tinctora::headless {

using platform::WindowId;
using ui::Image;
using ui::Pixel;
using ui::Point;
using ui::Rect;

struct Display {
  Rect bounds;            // in screen coordinates; the primary display starts at 0, 0
  int bitsPerPixel = 32;  // 16, 24 or 32
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

class Desktop final : public platform::Windows,
                      public platform::Screen,
                      public platform::HotKeys,
                      public platform::Clipboard,
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
  const std::vector<Display>& Displays() const { return displays_; }
  void SetFrame(const FrameMetrics& frame) { frame_ = frame; }
  const FrameMetrics& Frame() const { return frame_; }
  // Paints the desktop (under the program's window) in screen coordinates.
  void FillDesktop(const Rect& screen, Pixel colour);
  void PutDesktopPixel(Point screen, Pixel colour);
  void DrawOnDesktop(Point screen, const Image& image);

  // ---- faults and other programs
  void SetUnreadable(const Rect& screen) { unreadable_.push_back(screen); }
  void ClearUnreadable() { unreadable_.clear(); }
  // Another program registers (or releases) a hot key.
  void HoldHotKey(int modifiers, int virtualKey, bool hold);
  void SetClipboardHeldOpen(bool held) { clipboardHeld_ = held; }
  void SetAllocationFails(bool fails) { allocationFails_ = fails; }
  // Another program puts text on the clipboard.
  void SetClipboardText(std::optional<Text> text) { clipboardText_ = std::move(text); }
  // Another window takes the mouse capture; it keeps it until the next
  // button release, as a drag in another program does.
  void StealCapture();

  // While the program is busy the user's actions only queue their messages;
  // they are dispatched, in order, when it is no longer busy.
  void SetBusy(bool busy);

  // ---- the user's actions; each one ends by dispatching every waiting message
  void MovePointer(Point screen);
  void Press(Button button);
  void Release(Button button);
  // A press and a release that arrive before the program reads either.
  void PressAndRelease(Button button);
  void KeyDown(int virtualKey);
  void SetModifiers(int keys) { modifiers_ = keys; }
  // Typing into the focused window, one character at a time (GBK text).
  void Type(TextView text);
  void Backspace();
  void SelectAll();
  void Paste();
  void FocusWindow(WindowId window);
  void CloseWindow(WindowId top);
  void SetActive(bool active);
  // Drags a slider's thumb to each of the positions in turn, then releases it.
  void DragSliderThumb(WindowId slider, const std::vector<int>& positions);
  void ClickSliderChannel(WindowId slider, bool towardMaximum);

  // ---- answers for the modal choices the program will open next
  struct MenuAnswer {
    std::optional<int> index;  // nothing: dismiss
  };
  void QueueMenuAnswer(MenuAnswer answer) { menuAnswers_.push_back(answer); }
  void QueuePopupAnswer(PopupResult answer) { popupAnswers_.push_back(answer); }
  void QueueDialogAnswer(std::optional<colour::ColourValue> answer) { dialogAnswers_.push_back(answer); }
  struct MenuShown {
    Point at;
    std::vector<Text> items;
    std::optional<int> chosen;
  };
  const std::vector<MenuShown>& MenusShown() const { return menusShown_; }
  struct PopupShown {
    Rect anchor;
    std::vector<Swatch> swatches;
    Text otherEntry;
  };
  const std::vector<PopupShown>& PopupsShown() const { return popupsShown_; }
  const std::vector<colour::ColourValue>& DialogsShown() const { return dialogsShown_; }

  // ---- what the user sees
  // The whole screen area as it looks now (unreadable areas included).
  Image Render(const Rect& screen);
  std::optional<Text> ClipboardText() const { return clipboardText_; }
  bool ClipboardOpen() const { return clipboardOpen_; }
  // The cursor the pointer shows now; nothing for the standard arrow.
  const ui::CursorImage* PointerCursor() const;
  WindowId TopLevel() const { return top_; }
  bool IsHotKeyRegistered(int modifiers, int virtualKey) const;
  int OwnHotKeyCount() const;
  bool Visible(WindowId window) const;

  // ---- platform::Windows
  void SetSink(platform::EventSink* sink) override { sink_ = sink; }
  WindowId CreateTopLevel(const platform::TopLevelSpec& params) override;
  WindowId CreateChild(WindowId parent, const platform::ChildSpec& params) override;
  void Destroy(WindowId top) override;
  void SetVisible(WindowId window, bool visible) override;
  void ShowCentred(WindowId top) override;
  void SetCaption(WindowId window, TextView text) override;
  void SetBounds(WindowId window, const Rect& outer) override;
  Rect WindowRect(WindowId window) const override;
  Rect ClientRect(WindowId window) const override;
  void Invalidate(WindowId surface) override;
  void Present(WindowId surface, const Image& client) override;
  void DrawStretched(WindowId surface, const Image& picture, const Rect& client,
                     ui::StretchQuality quality) override;
  Pixel VisiblePixel(WindowId window, Point client) const override;
  void SetEditText(WindowId box, TextView text) override;
  Text EditText(WindowId box) const override;
  void SetSliderPosition(WindowId slider, int position) override;
  int SliderPosition(WindowId slider) const override;
  void SetFocus(WindowId window) override;
  WindowId Focus() const override { return focus_; }
  Pixel FaceColour() const override;
  const ui::Font& DefaultGuiFont() const override { return font_; }

  // ---- platform::Screen
  colour::ColourValue PixelAt(Point screen) const override;
  void Snapshot(const Rect& screen, Image& out, Pixel outside) const override;
  int BitsPerPixel() const override;
  Rect PrimaryDisplay() const override;
  Point CursorPos() const override { return pointer_; }
  void SetCursorPos(Point screen) override;
  bool PrimaryButtonDown() const override { return leftDown_; }
  void SetCapture(WindowId window) override;
  void ReleaseCapture() override;
  WindowId Capture() const override { return capture_; }
  platform::CursorId CreateCursor(const ui::CursorImage& image) override;
  void DestroyCursor(platform::CursorId cursor) override;
  void SetWindowCursor(WindowId window, platform::CursorId cursor) override;

  // ---- platform::HotKeys
  bool Register(WindowId owner, int id, int modifiers, int virtualKey) override;
  bool Unregister(WindowId owner, int id) override;

  // ---- platform::Clipboard
  std::optional<Block> Allocate(std::size_t size) override;
  bool Open() override;
  void Empty() override;
  void SetText(Block block) override;
  void Close() override;

  // ---- platform::Dialogs
  std::optional<int> TrackPopupMenu(WindowId owner, std::span<const Text> items, Point at) override;
  PopupResult ColourPopup(WindowId owner, const Rect& anchor, std::span<const Swatch> swatches,
                          TextView otherEntry) override;
  std::optional<colour::ColourValue> ChooseColour(WindowId owner, colour::ColourValue initial) override;

  // ---- platform::Loop
  void Run() override;
  void ProcessPending() override;
  void Quit() override { quit_ = true; }
  void PostCommand(WindowId owner, int command) override;

 private:
  struct Win;
  struct Message {
    enum class Type { Mouse, HotKey, Command } type = Type::Mouse;
    platform::MouseMessage mouse;
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

  Win* Find(WindowId id) const;
  Rect OuterScreenRect(const Win& win) const;
  Rect ClientScreenRect(const Win& win) const;
  bool ShownOnScreen(const Win& win) const;
  WindowId HitTest(Point screen) const;
  WindowId HitChild(const Win& parent, Point screen) const;
  const Display* DisplayAt(Point screen) const;
  Pixel DesktopPixel(Point screen) const;
  Pixel ComposeAt(Point screen) const;
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
  void EditReplaceSelection(Win& box, TextView text, bool typed);
  void RemoveWindow(WindowId id);

  platform::EventSink* sink_ = nullptr;
  std::vector<Display> displays_;
  FrameMetrics frame_;
  BuiltinFont font_;
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
  bool leftDown_ = false;
  bool rightDown_ = false;
  int modifiers_ = 0;
  WindowId capture_ = 0;
  std::optional<SliderDrag> sliderDrag_;
  std::map<platform::CursorId, ui::CursorImage> cursors_;
  platform::CursorId nextCursor_ = 1;

  std::deque<Message> queue_;
  int pumpDepth_ = 0;
  bool busy_ = false;
  bool quit_ = false;

  struct HotKeyEntry {
    WindowId owner = 0;  // 0: another program
    int id = 0;
  };
  std::map<std::pair<int, int>, HotKeyEntry> hotKeys_;

  std::optional<Text> clipboardText_;
  bool clipboardOpen_ = false;
  bool clipboardHeld_ = false;
  bool allocationFails_ = false;

  std::vector<Rect> unreadable_;
  std::deque<MenuAnswer> menuAnswers_;
  std::deque<PopupResult> popupAnswers_;
  std::deque<std::optional<colour::ColourValue>> dialogAnswers_;
  std::vector<MenuShown> menusShown_;
  std::vector<PopupShown> popupsShown_;
  std::vector<colour::ColourValue> dialogsShown_;
};

// A window that is not the program's own: holds the capture when another
// program takes it.
inline constexpr WindowId ForeignWindow = 1;

}  // namespace tinctora::headless
