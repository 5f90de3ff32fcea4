#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "colour/colour_value.h"
#include "text/text.h"
#include "platform/platform.h"
#include "ui/events.h"
#include "ui/paint.h"

namespace tinctora::ui {

class Form;

using Bytes = std::vector<std::uint8_t>;
using colour::ColourValue;

enum class ControlKind { Window, Label, EditBox, PicBox, ShapeBox, DrawPanel, GroupBox, SliderBar, ColorPicker };

std::string_view KindName(ControlKind kind);

// Which of the system's colours a control takes in high contrast. Keep:
// none, its colours are content (pictures, swatches, the shade strip, the
// cross lines, the current colour). Face: the face with its text for the
// background and for text and lines (captions, channel boxes, frames).
// Window: the window colour with its text (the white edit boxes). Outside
// high contrast every control keeps its own colours.
enum class Contrast { Keep, Face, Window };

// Coordinates written to Left and Top are kept within this range; Width and
// Height within 0 and this.
inline constexpr int CoordinateLimit = 32627;

// A control of the main window, or the window itself. Reads and writes of the
// properties below are what handlers use; which writes raise events is stated
// at each setter.
class Control {
 public:
  Control(Form& form, std::string name, ControlKind kind);
  virtual ~Control();
  Control(const Control&) = delete;
  Control& operator=(const Control&) = delete;

  const std::string& Name() const { return name_; }
  ControlKind Kind() const { return kind_; }
  Control* Container() const { return container_; }
  platform::WindowId Handle() const { return handle_; }
  bool Shown() const { return shown_; }

  // Outer rectangle in the container's client coordinates, in the layout's
  // units (96 to a logical inch). Writes move or resize the control and
  // raise nothing.
  int Left() const { return bounds_.left; }
  int Top() const { return bounds_.top; }
  int Width() const { return bounds_.Width(); }
  int Height() const { return bounds_.Height(); }
  void SetLeft(int left);
  void SetTop(int top);
  void SetWidth(int width);
  void SetHeight(int height);
  // Width and height of -1 keep the current value.
  void Move(int left, int top, int width = -1, int height = -1);

  // The bytes of a cursor file the pointer shows over this control and while
  // it holds the capture; empty removes the custom cursor. Raises nothing.
  const Bytes& Cursor() const { return cursorBytes_; }
  void SetCursor(Bytes bytes);

  // Setup while the window is built.
  struct Setup {
    Control* container = nullptr;
    Rect bounds;
    bool shown = true;
    bool border = false;
    bool tabStop = false;
    Contrast contrast = Contrast::Keep;
  };
  void Configure(const Setup& setup);
  Contrast ContrastRole() const { return contrast_; }
  bool Border() const { return border_; }
  bool TabStop() const { return tabStop_; }
  void CreateNative();
  void MakeVisible();

  void SetBoundsFromSystem(const Rect& bounds) { bounds_ = bounds; }

  // Where the control lies on the screen at the window's scale (Form::Scale):
  // its outer rectangle in device pixels of its container's client area,
  // and its client area's origin and size in device pixels of the window's
  // client area. A plain border is one device pixel at every scale.
  Rect DeviceBounds() const;
  Point DeviceClientOrigin() const;
  // The client area's origin in the layout's units of the window's client area.
  Point LayoutClientOrigin() const;
  int DeviceClientWidth() const;
  int DeviceClientHeight() const;
  // The client area in the layout's units.
  int ClientWidth() const;
  int ClientHeight() const;
  // A point of the client area in device pixels as the layout's units, and
  // the device pixel in the middle of a layout point.
  Point ToLayout(Point device) const;
  Point ToDevice(Point layout) const;
  // The window's scale changed: the control goes where the layout puts it
  // at the new scale and is painted again.
  virtual void Rescale();

  // The handler bound to one of this control's events, or none.
  const Handler* HandlerFor(EventId event) const {
    const Handler& h = handlers_[static_cast<std::size_t>(event)];
    return h ? &h : nullptr;
  }
  void SetHandler(EventId event, Handler handler) { handlers_[static_cast<std::size_t>(event)] = std::move(handler); }
  // Custom-drawn kinds paint their client area here.
  virtual void Paint(Image& client) const {}
  virtual bool CustomDrawn() const { return false; }
  // What the control does with a mouse message after its handler ran.
  virtual void DefaultMouse(const platform::MouseMessage& message) {}

  // The system's colours changed (Form::Colours holds the new ones): the
  // control shows itself in them, a custom-drawn one with the next frame.
  virtual void ColoursChanged() { Repaint(); }

  // Writes waiting for the next display frame reach the native control.
  // Form calls it, once a frame and whenever the native control must be up
  // to date (input for it, a pixel read, a direct drawing).
  virtual void ShowPending();
  // Whether the control is in the Form's list of waiting writes.
  bool Queued() const { return queued_; }
  void SetQueued(bool queued) { queued_ = queued; }

 protected:
  virtual platform::ChildSpec NativeSpec() const;
  // Asks for a repaint with the next display frame.
  void Repaint();
  // A repaint was asked for: what was drawn before it is gone.
  virtual void RepaintRequested() {}
  // The colours the control shows now for one of its own: its own, or in
  // high contrast the system's for its role (DefaultColour is the face).
  Pixel Background(ColourValue own) const;
  Pixel Ink(ColourValue own) const;
  Form& form_;
  platform::WindowId handle_ = 0;

 private:
  void ApplyBounds();
  std::string name_;
  ControlKind kind_;
  Control* container_ = nullptr;
  Rect bounds_;
  bool shown_ = false;
  bool border_ = false;
  bool tabStop_ = false;
  Contrast contrast_ = Contrast::Keep;
  void MakeCursor();
  Bytes cursorBytes_;
  platform::CursorId cursor_ = 0;
  std::array<Handler, EventCount> handlers_;
  bool repaintWaiting_ = false;
  bool queued_ = false;
};

class MainWindow : public Control {
 public:
  MainWindow(Form& form, std::string name, platform::TopLevelSpec params);
  const Text& Caption() const { return params_.caption; }
  void SetCaption(Text caption);
  void CreateTopLevel();
  // The system placed the window (centred it): read where it is now.
  void TakeNativeBounds();
  const platform::TopLevelSpec& Params() const { return params_; }

 private:
  platform::TopLevelSpec params_;
};

class Label : public Control {
 public:
  Label(Form& form, std::string name);
  struct Look {
    ColourValue background = colour::DefaultColour;
    bool gradientLeftToRight = false;
    std::array<ColourValue, 3> gradient{colour::DefaultColour, colour::DefaultColour,
                                        colour::DefaultColour};
    ColourValue textColour = 0;
    HAlign align = HAlign::Left;
    bool wordWrap = true;
  };
  void SetLook(const Look& look) { look_ = look; }
  const Text& Caption() const { return caption_; }
  // Repaints; raises nothing.
  void SetCaption(Text caption);
  ColourValue GradientColour2() const { return look_.gradient[1]; }
  // Repaints; raises nothing.
  void SetGradientColour2(ColourValue value);
  ColourValue BackColour() const { return look_.background; }

  void Paint(Image& client) const override;
  bool CustomDrawn() const override { return true; }

 private:
  Look look_;
  Text caption_;
};

// What the user may put into an edit box. The box's own program writes are
// never limited.
struct EditRules {
  // 0: no limit. Counts GBK bytes; limits typing and pasting only.
  std::size_t maxLength = 0;
  // Typed characters other than 0-9 and "-" are refused; a paste is not
  // filtered.
  bool digitsOnly = false;
};

class EditBox : public Control {
 public:
  // The settings' text colour and `background` are the box's own colours,
  // shown outside high contrast.
  EditBox(Form& form, std::string name, Text initial, platform::EditSettings settings, EditRules rules,
          ColourValue background);
  // The text the box holds now: the program's last write, shown or not yet.
  Text Content() const;
  // The same text without a copy where the box holds it itself (a write
  // waiting for the frame, or the text of a box not made yet); the native
  // box's text goes into `native` and the view is of that. A view of the
  // box's own text lasts until its next write.
  TextView ContentView(Text& native) const;
  // Replaces the text and then raises ContentChanged exactly once, before
  // returning, also when the text is unchanged. The maximum length does not
  // apply to program writes. The native box shows the text with the next
  // display frame; when it has the keyboard focus then, the text is left
  // selected, so the user's next keystroke replaces a correction instead of
  // landing beside it.
  void SetContent(TextView text);
  // The user changed the native text: a write still waiting is older.
  void TakeUserEdit() { waiting_.reset(); }
  const EditRules& Rules() const { return rules_; }
  // How many leading bytes of `text` the box takes when the user types or
  // pastes it over the selection, `kept` bytes of the old text remaining.
  // A keystroke is taken whole or refused; a paste is cut at its first line
  // break and at the length limit, never inside a double-byte character.
  std::size_t AcceptedBytes(TextView text, std::size_t kept, platform::Insertion how) const;
  void ShowPending() override;
  // The native box takes the colours for the system's colours now.
  void ColoursChanged() override;

 protected:
  platform::ChildSpec NativeSpec() const override;

 private:
  Text initial_;
  platform::EditSettings settings_;
  EditRules rules_;
  // The box's own colours, shown outside high contrast.
  ColourValue background_;
  ColourValue text_;
  std::optional<Text> waiting_;
};

class PicBox : public Control {
 public:
  PicBox(Form& form, std::string name, PictureMode mode);
  ColourValue BackColour() const { return background_; }
  // Stores the value and repaints; raises nothing.
  void SetBackColour(ColourValue value);
  const Bytes& Picture() const { return pictureBytes_; }
  // Bytes of an image file (PNG, cursor, icon, BMP); empty removes the
  // picture. Bytes that hold no usable image leave the box without one.
  void SetPicture(Bytes bytes);
  bool HasPicture() const { return picture_.has_value(); }

  void Paint(Image& client) const override;
  bool CustomDrawn() const override { return true; }

 private:
  PictureMode mode_;
  ColourValue background_ = colour::DefaultColour;
  Bytes pictureBytes_;
  std::optional<ui::Picture> picture_;
};

class ShapeBox : public Control {
 public:
  ShapeBox(Form& form, std::string name, ColourValue line, ColourValue background);
  void Paint(Image& client) const override;
  bool CustomDrawn() const override { return true; }
  ColourValue LineColour() const { return line_; }

 private:
  ColourValue line_;
  ColourValue background_;
};

// A painted surface the program draws pictures onto. Drawings are not kept:
// a repaint shows the background again.
class DrawPanel : public Control {
 public:
  DrawPanel(Form& form, std::string name, ColourValue background);
  ColourValue BackColour() const { return background_; }
  // Draws an image stretched into the rectangle of the client area, straight
  // onto the visible surface, with the next display frame (or before a
  // pixel of the window is read back): a pick draws for every movement,
  // the screen shows the last drawing. A width or height of -1 uses the
  // image's own.
  void DrawPicture(const Image& picture, int left, int top, int width = -1, int height = -1);
  void ShowPending() override;
  // A repaint shows the background: a drawing still waiting goes with it.
  void RepaintRequested() override { drawingWaiting_ = false; }
  // At a new scale the last drawing is made again at the new size; in new
  // system colours it is made again over the repainted background.
  void Rescale() override;
  void ColoursChanged() override;
  // The colour shown at a client point; the invalid colour outside the
  // visible part of the panel.
  ColourValue PixelOf(int x, int y) const;

  void Paint(Image& client) const override;
  bool CustomDrawn() const override { return true; }

 private:
  // Shows the last drawing again with the next frame, after `repaint` asked
  // for the background to be painted again.
  template <class Fn>
  void Redraw(Fn repaint);
  ColourValue background_;
  // The drawing waiting for the frame: the picture and where it goes.
  Image waitingPicture_;
  Rect waitingTarget_;  // layout units, in the client area
  bool drawingWaiting_ = false;
  bool drawingShown_ = false;  // the waiting picture is on the screen
  // The last two drawings, used in turn: the backend may still show the
  // previous one while the next is made. Their memory is reused.
  std::array<Image, 2> drawn_;
  std::size_t nextDrawing_ = 0;
};

class GroupBox : public Control {
 public:
  GroupBox(Form& form, std::string name, Text caption);

 protected:
  platform::ChildSpec NativeSpec() const override;

 private:
  Text caption_;
};

class SliderBar : public Control {
 public:
  SliderBar(Form& form, std::string name, platform::SliderSettings settings);
  int Position() const { return position_; }
  // Clamps to 0..32767 and then to the range; the thumb moves with the next
  // display frame. Raises nothing.
  void SetPosition(int position);
  int Minimum() const { return settings_.minimum; }
  int Maximum() const { return settings_.maximum; }
  // A scroll notification from the system control: takes its position,
  // which is newer than any write still waiting.
  void TakeNativePosition();
  void ShowPending() override;

 protected:
  platform::ChildSpec NativeSpec() const override;

 private:
  platform::SliderSettings settings_;
  int position_ = 0;
  bool moveWaiting_ = false;
};

// A button that shows a colour; a click opens the colour popup.
class ColorPicker : public Control {
 public:
  ColorPicker(Form& form, std::string name, ColourValue colour);
  ColourValue Colour() const { return colour_; }
  // Shows the colour; raises nothing.
  void SetColour(ColourValue value);

  void Paint(Image& client) const override;
  bool CustomDrawn() const override { return true; }
  void DefaultMouse(const platform::MouseMessage& message) override;

 private:
  void OpenPopup();
  ColourValue colour_;
};

}  // namespace tinctora::ui
