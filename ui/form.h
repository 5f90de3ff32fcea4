#pragma once

#include <functional>
#include <map>
#include <set>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/platform.h"
#include "ui/colour_popup.h"
#include "ui/controls.h"
#include "ui/events.h"

namespace tinctora::ui {

struct MenuItem {
  Text caption;
};

// A popup menu of the layout: never shown in a menu bar, only as a popup.
struct PopupMenu {
  std::string name;
  std::vector<MenuItem> items;
};

// Pictures made by the program and referred to by an integer handle; 0 is no
// picture.
class Pictures {
 public:
  // `lastHandle` is the handle before the first one given out.
  explicit Pictures(int lastHandle = 0) : last_(lastHandle) {}
  [[nodiscard]] int Load(Image image);
  void Free(int handle);
  // Frees the picture and gives back its image (an empty one for no
  // picture), whose storage a caller making the next picture can reuse.
  [[nodiscard]] Image Take(int handle);
  const Image* Find(int handle) const;
  std::size_t Count() const { return images_.size(); }

 private:
  std::unordered_map<int, Image> images_;
  int last_ = 0;
};

// Everything an event raised passes to an observer: the control's name, the
// event and its arguments, and whether a handler was bound and ran.
struct RaisedEvent {
  std::string control;
  EventId event;
  EventArgs args;
  bool delivered;
};

// The main window with its controls, the event bindings and the rules by
// which system messages become events.
class Form : public platform::EventSink {
 public:
  explicit Form(const platform::Platform& platform);
  ~Form() override;

  const platform::Platform& System() const { return platform_; }

  // Building. Controls are added in creation order; the window first.
  MainWindow& AddWindow(std::string name, platform::TopLevelSpec params);
  template <class T, class... Args>
  T& Add(std::string name, Args&&... args) {
    auto control = std::make_unique<T>(*this, std::move(name), std::forward<Args>(args)...);
    T& ref = *control;
    Register(std::move(control));
    return ref;
  }
  PopupMenu& AddMenu(PopupMenu menu);
  // Creates the native windows, shows the controls marked shown, switches
  // event delivery on and raises Created; then shows the window centred.
  void Build();

  // Controls by layout name.
  Control* Find(std::string_view name) const;
  template <class T>
  T& Get(std::string_view name) const {
    return dynamic_cast<T&>(FindOrDie(name));
  }
  MainWindow& Window() const { return *window_; }
  const std::vector<std::unique_ptr<Control>>& Controls() const { return controls_; }
  const PopupMenu* FindMenu(std::string_view name) const;

  // Bindings: one handler per (control, event); menu items by menu and index.
  void Bind(std::string_view control, EventId event, Handler handler);
  void BindMenuItem(std::string_view menu, int index, Handler handler);

  // Delivers an event to its handler at once, if delivery is on and a
  // handler is bound; returns when the handler has returned.
  void Raise(Control& control, EventId event, const EventArgs& args = {});
  bool DeliveryOn() const { return deliveryOn_; }
  void SetObserver(std::function<void(const RaisedEvent&)> observer) { observer_ = std::move(observer); }

  // Display rate. Edit texts, slider positions and repaints written by the
  // program wait here and reach the native controls at most once a display
  // frame; a control's writes go at once before the user's input reaches
  // it, before a pixel of it is read back and before a direct drawing on
  // it, and all of them before the window is shown or activated. Reads of
  // the control layer's properties always give the last write.
  void QueueForFrame(Control& control);
  void ShowPending(Control& control);
  void ShowAllPending();
  // Every waiting write shown and painted, before the program reads its own
  // window's pixels off the screen.
  void BringScreenUpToDate();

  // Scale. The layout's units are 96 to a logical inch; the window is shown
  // at the scale of the display it is on (platform::Windows::Scale), and
  // every control's native bounds, painting, font and cursor follow it.
  double Scale() const { return scale_; }
  // The system's default GUI font at the window's scale.
  const Font& GuiFont() const;
  // The device pixel of a control's client area that a point of it in the
  // layout's units stands for: the very pixel clicked when the point is
  // that of the mouse message being handled, else the middle of the unit.
  Point DevicePointOf(const Control& control, Point layout) const;
  // The same as a screen point.
  Point ScreenPointOf(const Control& control, Point layout) const;

  // Operations handlers call.
  void ProcessPendingEvents();
  // Shows a popup menu owned by the main window with its top-left corner at
  // the screen point; an omitted coordinate means the pointer's plus 3. A
  // chosen item's Clicked is raised when the message loop next runs.
  void ShowPopupMenu(const PopupMenu& menu, std::optional<int> x = std::nullopt,
                     std::optional<int> y = std::nullopt);
  Pictures& PictureStore() { return pictures_; }
  // The mouse capture. Releasing it from the program raises no CaptureLost;
  // losing it to anything else does.
  void CaptureMouse(Control& control);
  void ReleaseMouseCapture();
  // A colour value as painted: DefaultColour is the system's face colour.
  Pixel Resolve(ColourValue value) const;
  // The system's colours as last read (at start-up and when they change).
  const platform::SystemColours& Colours() const { return colours_; }
  // A colour of something painted with a contrast role: its own value, or
  // in high contrast the system's colour of the role for that part.
  enum class Part { Background, Ink };
  Pixel Resolve(ColourValue own, Contrast role, Part part) const;
  // Closes the main window as the close box does.
  void Close();
  bool Destroyed() const { return destroyed_; }

  // platform::EventSink
  bool OnMouse(const platform::MouseMessage& message) override;
  void OnCaptureLost(platform::WindowId window) override;
  void OnEditChanged(platform::WindowId box) override;
  std::size_t AcceptedBytes(platform::WindowId box, TextView text, std::size_t kept,
                            platform::Insertion how) override;
  void OnSliderScroll(platform::WindowId slider, platform::ScrollCode code) override;
  void OnActivate(platform::WindowId top, bool active) override;
  bool OnKeyDown(platform::WindowId focus, int virtualKey) override;
  void OnCloseRequested(platform::WindowId top) override;
  void OnDestroyed(platform::WindowId top) override;
  void OnHotKey(platform::WindowId owner, int id) override;
  void OnCommand(platform::WindowId owner, int command) override;
  void OnPaint(platform::WindowId surface) override;
  void OnPopupDismissed(platform::WindowId popup) override;
  void BeforeInput(platform::WindowId control) override;
  void OnFrame() override;
  void OnScaleChanged(platform::WindowId top) override;
  // Every control shows itself in the system's new colours, the colour
  // popup too.
  void OnColoursChanged() override;

  // The colour popup open now, whose window's messages go to it; null none.
  void HostPopup(ColourPopup* popup) { popup_ = popup; }

  // The hot-key service takes hot-key messages, by their native ids.
  void SetHotKeyHook(std::function<void(int nativeId)> hook) { hotKeyHook_ = std::move(hook); }

  void Attach(Control& control, platform::WindowId handle);

 private:
  void Register(std::unique_ptr<Control> control);
  Control& FindOrDie(std::string_view name) const;
  Control* FromHandle(platform::WindowId handle) const;
  void ShowCentred();
  void SizeClientArea();

  platform::Platform platform_;
  std::vector<std::unique_ptr<Control>> controls_;
  std::unordered_map<std::string, Control*> byName_;
  std::unordered_map<platform::WindowId, Control*> byHandle_;
  MainWindow* window_ = nullptr;
  std::vector<PopupMenu> menus_;
  std::map<std::pair<std::string, int>, Handler> menuBindings_;
  std::vector<std::pair<std::string, int>> commands_;  // command id - 1 -> menu, item
  std::function<void(const RaisedEvent&)> observer_;
  std::function<void(int)> hotKeyHook_;
  Pictures pictures_;
  Image paintBuffer_;
  std::vector<Control*> waiting_;  // controls with writes for the next frame
  bool frameRequested_ = false;
  double scale_ = 1.0;
  platform::SystemColours colours_;
  // The mouse message being handled: its target, its point in the target's
  // client area in device pixels and in layout units.
  struct Handling {
    platform::WindowId target = 0;
    Point device;
    Point layout;
  };
  std::optional<Handling> handling_;
  ColourPopup* popup_ = nullptr;
  bool deliveryOn_ = false;
  bool firstActivation_ = true;
  bool inActivation_ = false;
  bool destroyed_ = false;
};

// System-wide hot keys raised as Feedback(id, 0) on one receiver label. Ids
// are handed out from 33001 upward and never reused; a refused key still
// uses up its id. The system knows each key by a native id of the
// service's, in 1 ... platform::kMaxNativeHotKeyId, which is reused once
// the key is released: the program's ids run on for ever, the system's
// range does not.
// The top-level window's client size in device pixels at a scale, from its
// size in the layout's units.
Point DeviceClientSize(int layoutWidth, int layoutHeight, double scale);

class HotKeyService {
 public:
  static constexpr int FirstId = 33001;
  explicit HotKeyService(Form& form);
  // Returns the id, or 0 when the system refuses the key.
  [[nodiscard]] int Register(platform::WindowId owner, Label& receiver, int modifiers, int virtualKey);
  bool Unregister(platform::WindowId owner, int id);
  bool Watching() const { return outstanding_ > 0; }
  // Native ids held now.
  std::size_t NativeIdsInUse() const { return native_.size(); }

 private:
  void Deliver(int nativeId);
  int TakeNativeId();
  Form& form_;
  int last_ = FirstId - 1;
  int outstanding_ = 0;
  Label* receiver_ = nullptr;
  std::map<int, int> native_;  // program id -> native id, for the keys held
  std::set<int> freeNative_;   // released native ids, reused lowest first
  int nextNative_ = 1;
};

}  // namespace tinctora::ui
