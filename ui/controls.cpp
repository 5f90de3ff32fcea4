#include "ui/controls.h"

#include <algorithm>
#include <functional>
#include <utility>

#include "text/gbk.h"
#include "ui/colour_popup.h"
#include "ui/form.h"
#include "ui/scale.h"

namespace tinctora::ui {

namespace {

int ClampCoordinate(int v) { return std::clamp(v, -CoordinateLimit, CoordinateLimit); }
int ClampExtent(int v) { return std::clamp(v, 0, CoordinateLimit); }


}  // namespace

std::string_view KindName(ControlKind kind) {
  switch (kind) {
    case ControlKind::Window: return "Window";
    case ControlKind::Label: return "Label";
    case ControlKind::EditBox: return "EditBox";
    case ControlKind::PicBox: return "PicBox";
    case ControlKind::ShapeBox: return "ShapeBox";
    case ControlKind::DrawPanel: return "DrawPanel";
    case ControlKind::GroupBox: return "GroupBox";
    case ControlKind::SliderBar: return "SliderBar";
    case ControlKind::ColorPicker: return "ColorPicker";
  }
  return "?";
}

// ---- Control ---------------------------------------------------------------

Control::Control(Form& form, std::string name, ControlKind kind)
    : form_(form), name_(std::move(name)), kind_(kind) {}

Control::~Control() {
  if (cursor_ != 0 && form_.System().screen != nullptr) form_.System().screen->DestroyCursor(cursor_);
}

void Control::Configure(const Setup& setup) {
  container_ = setup.container;
  bounds_ = setup.bounds;
  shown_ = setup.shown;
  border_ = setup.border;
  tabStop_ = setup.tabStop;
  contrast_ = setup.contrast;
}

Pixel Control::Background(ColourValue own) const { return form_.Resolve(own, contrast_, Form::Part::Background); }

Pixel Control::Ink(ColourValue own) const { return form_.Resolve(own, contrast_, Form::Part::Ink); }

platform::ChildSpec Control::NativeSpec() const {
  platform::ChildSpec params;
  params.kind = platform::NativeKind::Surface;
  return params;
}

Point Control::LayoutClientOrigin() const {
  if (kind_ == ControlKind::Window) return {0, 0};
  const Point origin = container_ != nullptr ? container_->LayoutClientOrigin() : Point{0, 0};
  const int b = border_ ? 1 : 0;
  return {origin.x + bounds_.left + b, origin.y + bounds_.top + b};
}

Point Control::DeviceClientOrigin() const {
  if (kind_ == ControlKind::Window) return {0, 0};
  const Point origin = container_ != nullptr ? container_->LayoutClientOrigin() : Point{0, 0};
  const double s = form_.Scale();
  const int b = border_ ? 1 : 0;
  return {DeviceEdge(origin.x + bounds_.left, s) + b, DeviceEdge(origin.y + bounds_.top, s) + b};
}

Rect Control::DeviceBounds() const {
  if (kind_ == ControlKind::Window) return bounds_;
  // Every edge is rounded from its place in the window, so a control meets
  // what it meets in the layout however deep it is nested.
  const Point origin = container_ != nullptr ? container_->LayoutClientOrigin() : Point{0, 0};
  const Point base = container_ != nullptr ? container_->DeviceClientOrigin() : Point{0, 0};
  const Rect absolute = DeviceRect(
      {origin.x + bounds_.left, origin.y + bounds_.top, origin.x + bounds_.right, origin.y + bounds_.bottom},
      form_.Scale());
  return {absolute.left - base.x, absolute.top - base.y, absolute.right - base.x, absolute.bottom - base.y};
}

int Control::DeviceClientWidth() const {
  const Rect r = DeviceBounds();
  return std::max(0, r.Width() - (border_ ? 2 : 0));
}

int Control::DeviceClientHeight() const {
  const Rect r = DeviceBounds();
  return std::max(0, r.Height() - (border_ ? 2 : 0));
}

int Control::ClientWidth() const { return std::max(0, Width() - (border_ ? 2 : 0)); }
int Control::ClientHeight() const { return std::max(0, Height() - (border_ ? 2 : 0)); }

Point Control::ToLayout(Point device) const {
  const double s = form_.Scale();
  return {LayoutOffset(device.x, DeviceClientWidth(), ClientWidth(), s),
          LayoutOffset(device.y, DeviceClientHeight(), ClientHeight(), s)};
}

Point Control::ToDevice(Point layout) const {
  const double s = form_.Scale();
  return {DeviceOffset(layout.x, DeviceClientWidth(), ClientWidth(), s),
          DeviceOffset(layout.y, DeviceClientHeight(), ClientHeight(), s)};
}

void Control::Rescale() {
  ApplyBounds();
  if (!cursorBytes_.empty()) MakeCursor();
}

void Control::CreateNative() {
  platform::ChildSpec params = NativeSpec();
  params.bounds = DeviceBounds();
  params.border = border_;
  params.tabStop = tabStop_;
  const platform::WindowId parent = container_ != nullptr ? container_->Handle() : form_.Window().Handle();
  handle_ = form_.System().windows->CreateChild(parent, params);
  form_.Attach(*this, handle_);
  if (CustomDrawn()) Repaint();
}

void Control::MakeVisible() {
  if (shown_ && handle_ != 0) form_.System().windows->SetVisible(handle_, true);
}

void Control::ApplyBounds() {
  if (handle_ != 0 && kind_ != ControlKind::Window) form_.System().windows->SetBounds(handle_, DeviceBounds());
  Repaint();
}

void Control::SetLeft(int left) { Move(left, Top()); }
void Control::SetTop(int top) { Move(Left(), top); }
void Control::SetWidth(int width) { Move(Left(), Top(), width < 0 ? 0 : width); }
void Control::SetHeight(int height) { Move(Left(), Top(), -1, height < 0 ? 0 : height); }

void Control::Move(int left, int top, int width, int height) {
  const int w = width == -1 ? Width() : ClampExtent(width);
  const int h = height == -1 ? Height() : ClampExtent(height);
  bounds_.left = ClampCoordinate(left);
  bounds_.top = ClampCoordinate(top);
  bounds_.right = bounds_.left + w;
  bounds_.bottom = bounds_.top + h;
  ApplyBounds();
}

void Control::SetCursor(Bytes bytes) {
  cursorBytes_ = std::move(bytes);
  MakeCursor();
  // Setting the pointer where it already is makes the new shape show at once.
  platform::Screen& screen = *form_.System().screen;
  if (const std::optional<Point> at = screen.CursorPos()) screen.SetCursorPos(*at);
}

void Control::MakeCursor() {
  platform::Screen& screen = *form_.System().screen;
  const platform::CursorId old = cursor_;
  cursor_ = 0;
  if (!cursorBytes_.empty()) {
    // The system's cursors are larger at larger scales; the program's is
    // made as large, its pixels whole.
    if (auto image = DecodeCursor(cursorBytes_)) {
      cursor_ = screen.CreateCursor(ScaleCursor(*image, screen.CursorSize(form_.Scale())));
    }
  }
  if (handle_ != 0) screen.SetWindowCursor(handle_, cursor_);
  if (old != 0) screen.DestroyCursor(old);
}

void Control::Repaint() {
  if (handle_ == 0 || !CustomDrawn()) return;
  repaintWaiting_ = true;
  RepaintRequested();
  form_.QueueForFrame(*this);
}

void Control::ShowPending() {
  if (!repaintWaiting_) return;
  repaintWaiting_ = false;
  form_.System().windows->Invalidate(handle_);
}

// ---- MainWindow ------------------------------------------------------------

MainWindow::MainWindow(Form& form, std::string name, platform::TopLevelSpec params)
    : Control(form, std::move(name), ControlKind::Window), params_(std::move(params)) {}

void MainWindow::CreateTopLevel() {
  // The layout gives the client area in its own units; the system gets it
  // in device pixels at the form's scale.
  platform::TopLevelSpec native = params_;
  const Point size = DeviceClientSize(params_.clientWidth, params_.clientHeight, form_.Scale());
  native.clientWidth = size.x;
  native.clientHeight = size.y;
  handle_ = form_.System().windows->CreateTopLevel(native);
  form_.Attach(*this, handle_);
  const Rect outer = form_.System().windows->WindowRect(handle_);
  Setup setup;
  setup.bounds = outer;
  setup.shown = true;
  Configure(setup);
}

void MainWindow::TakeNativeBounds() {
  if (handle_ != 0) SetBoundsFromSystem(form_.System().windows->WindowRect(handle_));
}

void MainWindow::SetCaption(Text caption) {
  params_.caption = std::move(caption);
  if (handle_ != 0) form_.System().windows->SetCaption(handle_, params_.caption);
}

// ---- Label -----------------------------------------------------------------

Label::Label(Form& form, std::string name) : Control(form, std::move(name), ControlKind::Label) {}

void Label::SetCaption(Text caption) {
  caption_ = std::move(caption);
  Repaint();
}

void Label::SetGradientColour2(ColourValue value) {
  look_.gradient[1] = value;
  Repaint();
}

void Label::Paint(Image& client) const {
  LabelLook look;
  look.background = Background(look_.background);
  look.gradientLeftToRight = look_.gradientLeftToRight;
  look.gradient = look_.gradient;
  look.caption = caption_;
  look.textColour = Ink(look_.textColour);
  look.align = look_.align;
  look.wordWrap = look_.wordWrap;
  PaintLabel(client, look, form_.GuiFont());
}

// ---- EditBox ---------------------------------------------------------------

EditBox::EditBox(Form& form, std::string name, Text initial, platform::EditSettings settings, EditRules rules,
                 ColourValue background)
    : Control(form, std::move(name), ControlKind::EditBox),
      initial_(std::move(initial)),
      settings_(settings),
      rules_(rules),
      background_(background),
      text_(static_cast<ColourValue>(settings.textColour)) {}

std::size_t EditBox::AcceptedBytes(TextView text, std::size_t kept, platform::Insertion how) const {
  if (settings_.readOnly || text.empty()) return 0;
  const std::size_t room =
      rules_.maxLength == 0 ? text.size() : (kept >= rules_.maxLength ? 0 : rules_.maxLength - kept);
  if (how == platform::Insertion::Typed) {
    // One character, taken whole or not at all. Control characters are the
    // box's editing keys, never text.
    const auto first = static_cast<unsigned char>(text[0]);
    if (first < 0x20 || first == 0x7F) return 0;
    if (rules_.digitsOnly && !((first >= '0' && first <= '9') || first == '-')) return 0;
    return text.size() <= room ? text.size() : 0;
  }
  // A single-line box takes a paste up to its first line break.
  std::size_t line = text.find_first_of("\r\n");
  if (line == TextView::npos) line = text.size();
  return text::GbkFitPrefix(text.substr(0, line), room).size();
}

platform::ChildSpec EditBox::NativeSpec() const {
  platform::ChildSpec params;
  params.kind = platform::NativeKind::EditBox;
  params.text = initial_;
  params.edit = settings_;
  params.edit.background = Background(background_);
  params.edit.textColour = Ink(text_);
  return params;
}

namespace {

// Replaces `to` with `text` in the storage `to` already has. A text that
// lies within `to` itself goes through assign, which allows for that.
void CopyInto(Text& to, TextView text) {
  const char* const begin = to.data();
  if (std::less_equal<>{}(begin, text.data()) && std::less_equal<>{}(text.data(), begin + to.size())) {
    to.assign(text);
    return;
  }
  to.clear();
  to.append(text);
}

}  // namespace

Text EditBox::Content() const {
  if (waiting_) return *waiting_;
  return handle_ != 0 ? form_.System().windows->EditText(handle_) : initial_;
}

TextView EditBox::ContentView(Text& native) const {
  if (waiting_) return *waiting_;
  if (handle_ == 0) return initial_;
  native = form_.System().windows->EditText(handle_);
  return native;
}

void EditBox::SetContent(TextView text) {
  // The native box reports nothing for a program write: exactly one
  // ContentChanged follows here, so a write of the same text notifies too.
  // The text goes into the string already there, which keeps its storage
  // from the last write.
  if (handle_ != 0) {
    if (waiting_) {
      CopyInto(*waiting_, text);
    } else {
      waiting_.emplace(text);
    }
    form_.QueueForFrame(*this);
  } else {
    // Not made yet: the box is made with this text.
    CopyInto(initial_, text);
  }
  form_.Raise(*this, EventId::ContentChanged);
}

void EditBox::ShowPending() {
  if (!waiting_) return;
  const Text text = std::move(*waiting_);
  waiting_.reset();
  platform::Windows& windows = *form_.System().windows;
  // An unchanged text is not set again: the user's selection stays.
  if (windows.EditText(handle_) == text) return;
  windows.SetEditText(handle_, text);
  // The program has corrected the text being typed ("0" for an emptied
  // channel box, "255" for 999): selected, the next keystroke replaces it.
  if (windows.Focus() == handle_) windows.SetEditSelection(handle_, {0, text.size()});
}

void EditBox::ColoursChanged() {
  form_.System().windows->SetEditColours(handle_, Background(background_), Ink(text_));
}

// ---- PicBox ----------------------------------------------------------------

PicBox::PicBox(Form& form, std::string name, PictureMode mode)
    : Control(form, std::move(name), ControlKind::PicBox), mode_(mode) {}

void PicBox::SetBackColour(ColourValue value) {
  background_ = value;
  Repaint();
}

void PicBox::SetPicture(Bytes bytes) {
  pictureBytes_ = std::move(bytes);
  picture_.reset();
  if (!pictureBytes_.empty()) picture_ = DecodePicture(pictureBytes_);
  Repaint();
}

void PicBox::Paint(Image& client) const {
  PaintPicBox(client, form_.Resolve(background_), picture_ ? &*picture_ : nullptr, mode_,
              StretchQualityFor(form_.System().screen->BitsPerPixel()), form_.Scale());
}

// ---- ShapeBox --------------------------------------------------------------

ShapeBox::ShapeBox(Form& form, std::string name, ColourValue line, ColourValue background)
    : Control(form, std::move(name), ControlKind::ShapeBox), line_(line), background_(background) {}

void ShapeBox::Paint(Image& client) const {
  PaintShapeBox(client, {Background(background_), Ink(line_), LineWidth(form_.Scale())});
}

// ---- DrawPanel -------------------------------------------------------------

DrawPanel::DrawPanel(Form& form, std::string name, ColourValue background)
    : Control(form, std::move(name), ControlKind::DrawPanel), background_(background) {}

void DrawPanel::Paint(Image& client) const { client.Fill(form_.Resolve(background_)); }

void DrawPanel::DrawPicture(const Image& picture, int left, int top, int width, int height) {
  if (handle_ == 0 || picture.Empty()) return;
  const int w = width < 0 ? picture.Width() : width;
  const int h = height < 0 ? picture.Height() : height;
  if (w <= 0 || h <= 0) return;
  // Only the last drawing of a frame reaches the screen; the picture is
  // kept (its memory reused) and stretched when it is shown.
  if (waitingPicture_.Width() != picture.Width() || waitingPicture_.Height() != picture.Height()) {
    waitingPicture_.Reset(picture.Width(), picture.Height());
  }
  std::copy(picture.Pixels().begin(), picture.Pixels().end(), waitingPicture_.Row(0));
  waitingTarget_ = {left, top, left + w, top + h};
  drawingWaiting_ = true;
  drawingShown_ = false;
  form_.QueueForFrame(*this);
}

template <class Fn>
void DrawPanel::Redraw(Fn repaint) {
  const bool redraw = drawingWaiting_ || drawingShown_;
  repaint();
  if (!redraw || handle_ == 0) return;
  drawingWaiting_ = true;
  drawingShown_ = false;
  form_.QueueForFrame(*this);
}

void DrawPanel::Rescale() {
  Redraw([this] { Control::Rescale(); });
}

void DrawPanel::ColoursChanged() {
  Redraw([this] { Control::ColoursChanged(); });
}

void DrawPanel::ShowPending() {
  Control::ShowPending();
  if (!drawingWaiting_) return;
  drawingWaiting_ = false;
  platform::Windows& windows = *form_.System().windows;
  // The target's edges are placed as the layout's edges are; only the part
  // that falls on the client area is stretched.
  const double s = form_.Scale();
  const Point layoutOrigin = LayoutClientOrigin();
  const Point deviceOrigin = DeviceClientOrigin();
  const Rect absolute = DeviceRect({layoutOrigin.x + waitingTarget_.left, layoutOrigin.y + waitingTarget_.top,
                                    layoutOrigin.x + waitingTarget_.right, layoutOrigin.y + waitingTarget_.bottom},
                                   s);
  const Rect target{absolute.left - deviceOrigin.x, absolute.top - deviceOrigin.y, absolute.right - deviceOrigin.x,
                    absolute.bottom - deviceOrigin.y};
  const Rect shown{std::max(0, target.left), std::max(0, target.top), std::min(DeviceClientWidth(), target.right),
                   std::min(DeviceClientHeight(), target.bottom)};
  drawingShown_ = true;
  if (shown.Empty()) return;
  Image& drawing = drawn_[nextDrawing_];
  nextDrawing_ = 1 - nextDrawing_;
  if (drawing.Width() != shown.Width() || drawing.Height() != shown.Height()) drawing.Reset(shown.Width(), shown.Height());
  StretchInto(waitingPicture_, drawing,
              {target.left - shown.left, target.top - shown.top, target.right - shown.left, target.bottom - shown.top},
              StretchQualityFor(form_.System().screen->BitsPerPixel()));
  // Whatever repaint is waiting would land on top of the drawing: it goes first.
  windows.UpdateNow(handle_);
  windows.DrawDirect(handle_, drawing, {shown.left, shown.top});
}

ColourValue DrawPanel::PixelOf(int x, int y) const {
  // The pixel is read as the screen shows the panel once it is up to date:
  // the one clicked, when (x, y) is where the click being handled is.
  form_.ShowAllPending();
  return static_cast<ColourValue>(form_.System().windows->VisiblePixel(handle_, form_.DevicePointOf(*this, {x, y})));
}

// ---- GroupBox --------------------------------------------------------------

GroupBox::GroupBox(Form& form, std::string name, Text caption)
    : Control(form, std::move(name), ControlKind::GroupBox), caption_(std::move(caption)) {}

platform::ChildSpec GroupBox::NativeSpec() const {
  platform::ChildSpec params;
  params.kind = platform::NativeKind::GroupFrame;
  params.text = caption_;
  return params;
}

// ---- SliderBar -------------------------------------------------------------

SliderBar::SliderBar(Form& form, std::string name, platform::SliderSettings settings)
    : Control(form, std::move(name), ControlKind::SliderBar), settings_(settings), position_(settings.position) {}

platform::ChildSpec SliderBar::NativeSpec() const {
  platform::ChildSpec params;
  params.kind = platform::NativeKind::Slider;
  params.slider = settings_;
  params.slider.position = position_;
  return params;
}

void SliderBar::SetPosition(int position) {
  position_ = std::clamp(std::clamp(position, 0, 32767), settings_.minimum, settings_.maximum);
  if (handle_ == 0) return;
  moveWaiting_ = true;
  form_.QueueForFrame(*this);
}

void SliderBar::TakeNativePosition() {
  if (handle_ == 0) return;
  position_ = form_.System().windows->SliderPosition(handle_);
  moveWaiting_ = false;
}

void SliderBar::ShowPending() {
  if (!moveWaiting_) return;
  moveWaiting_ = false;
  platform::Windows& windows = *form_.System().windows;
  if (windows.SliderPosition(handle_) != position_) windows.SetSliderPosition(handle_, position_);
}

// ---- ColorPicker -----------------------------------------------------------

ColorPicker::ColorPicker(Form& form, std::string name, ColourValue colour)
    : Control(form, std::move(name), ControlKind::ColorPicker), colour_(colour) {}

void ColorPicker::SetColour(ColourValue value) {
  colour_ = value;
  Repaint();
}

void ColorPicker::Paint(Image& client) const {
  // A push button: raised edge, the colour in a framed well, a drop-down
  // arrow; every line whole device pixels thick.
  // In high contrast the dark edge and the arrow take the face's text
  // colour, so that they show on a dark face.
  const Pixel face = Background(colour::DefaultColour);
  const Pixel light = RgbPixel(255, 255, 255);
  const Pixel shadow = RgbPixel(105, 105, 105);
  const Pixel dark = Ink(static_cast<ColourValue>(RgbPixel(0, 0, 0)));
  const double s = form_.Scale();
  const int t = LineWidth(s);
  client.Fill(face);
  const int w = client.Width();
  const int h = client.Height();
  if (w < 4 * t || h < 4 * t) return;
  // The rows first, then the columns over them.
  FillRect(client, {0, 0, w, t}, light);
  FillRect(client, {0, h - t, w, h}, dark);
  FillRect(client, {0, h - 2 * t, w, h - t}, shadow);
  FillRect(client, {0, 0, t, h}, light);
  FillRect(client, {w - t, 0, w, h}, dark);
  FillRect(client, {w - 2 * t, 0, w - t, h}, shadow);
  const int arrowWidth = DeviceLength(12, s);
  const int inset = DeviceLength(4, s);
  const Rect well{inset, inset, std::max(inset + 1, w - arrowWidth - inset), h - inset};
  FillRect(client, well, shadow);
  FillRect(client, {well.left + t, well.top + t, well.right - t, well.bottom - t}, form_.Resolve(colour_));
  // A triangle pointing down, three layout units tall.
  const int cx = w - arrowWidth / 2 - DeviceLength(3, s);
  const int cy = h / 2 - t;
  const int rows = DeviceLength(3, s);
  const int half = DeviceLength(2, s);
  for (int row = 0; row < rows; ++row) {
    const int reach = half - row * half / std::max(1, rows - 1);
    FillRect(client, {cx - reach, cy + row, cx + reach + 1, cy + row + 1}, dark);
  }
}

void ColorPicker::DefaultMouse(const platform::MouseMessage& message) {
  if (message.action == platform::MouseAction::LeftDown) OpenPopup();
}

void ColorPicker::OpenPopup() {
  ColourPopup popup(form_, colour_);
  const ColourPopup::Choice choice = popup.Run(form_.System().windows->WindowRect(handle_));
  std::optional<ColourValue> chosen;
  if (choice.kind == ColourPopup::Choice::Kind::Preset) {
    chosen = ColourPopup::Presets()[static_cast<std::size_t>(choice.index)].colour;
  } else if (choice.kind == ColourPopup::Choice::Kind::Other) {
    chosen = form_.System().dialogs->ChooseColour(form_.Window().Handle(), colour_);
  }
  if (!chosen) return;
  // A confirmed choice always notifies, also when it equals the colour shown.
  SetColour(*chosen);
  form_.Raise(*this, EventId::ColourChanged);
}

}  // namespace tinctora::ui
