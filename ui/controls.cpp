#include "ui/controls.h"

#include <algorithm>
#include <utility>

#include "text/gbk.h"
#include "ui/colour_popup.h"
#include "ui/form.h"

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
}

platform::ChildSpec Control::NativeSpec() const {
  platform::ChildSpec params;
  params.kind = platform::NativeKind::Surface;
  return params;
}

void Control::CreateNative() {
  platform::ChildSpec params = NativeSpec();
  params.bounds = bounds_;
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
  if (handle_ != 0 && kind_ != ControlKind::Window) form_.System().windows->SetBounds(handle_, bounds_);
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
  platform::Screen& screen = *form_.System().screen;
  const platform::CursorId old = cursor_;
  cursorBytes_ = std::move(bytes);
  cursor_ = 0;
  if (!cursorBytes_.empty()) {
    if (auto image = DecodeCursor(cursorBytes_)) cursor_ = screen.CreateCursor(*image);
  }
  if (handle_ != 0) screen.SetWindowCursor(handle_, cursor_);
  if (old != 0) screen.DestroyCursor(old);
  // Setting the pointer where it already is makes the new shape show at once.
  screen.SetCursorPos(screen.CursorPos());
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
  handle_ = form_.System().windows->CreateTopLevel(params_);
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
  look.background = form_.Resolve(look_.background);
  look.gradientLeftToRight = look_.gradientLeftToRight;
  look.gradient = look_.gradient;
  look.caption = caption_;
  look.textColour = form_.Resolve(look_.textColour);
  look.align = look_.align;
  look.wordWrap = look_.wordWrap;
  PaintLabel(client, look, form_.System().windows->DefaultGuiFont());
}

// ---- EditBox ---------------------------------------------------------------

EditBox::EditBox(Form& form, std::string name, Text initial, platform::EditSettings settings, EditRules rules,
                 ColourValue background)
    : Control(form, std::move(name), ControlKind::EditBox),
      initial_(std::move(initial)),
      settings_(settings),
      rules_(rules) {
  settings_.background = form.Resolve(background);
}

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
  return params;
}

Text EditBox::Content() const {
  if (waiting_) return *waiting_;
  return handle_ != 0 ? form_.System().windows->EditText(handle_) : initial_;
}

void EditBox::SetContent(TextView text) {
  // The native box reports nothing for a program write: exactly one
  // ContentChanged follows here, so a write of the same text notifies too.
  if (handle_ != 0) {
    waiting_ = Text(text);
    form_.QueueForFrame(*this);
  } else {
    // Not made yet: the box is made with this text.
    initial_ = Text(text);
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
              StretchQualityFor(form_.System().screen->BitsPerPixel()));
}

// ---- ShapeBox --------------------------------------------------------------

ShapeBox::ShapeBox(Form& form, std::string name, ColourValue line, ColourValue background)
    : Control(form, std::move(name), ControlKind::ShapeBox), line_(line), background_(background) {}

void ShapeBox::Paint(Image& client) const {
  PaintShapeBox(client, {form_.Resolve(background_), form_.Resolve(line_), 1});
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
  form_.QueueForFrame(*this);
}

void DrawPanel::ShowPending() {
  Control::ShowPending();
  if (!drawingWaiting_) return;
  drawingWaiting_ = false;
  platform::Windows& windows = *form_.System().windows;
  // Only the part that falls on the client area is stretched.
  const Rect client = windows.ClientRect(handle_);
  const Rect& target = waitingTarget_;
  const Rect shown{std::max(0, target.left), std::max(0, target.top), std::min(client.Width(), target.right),
                   std::min(client.Height(), target.bottom)};
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
  // The pixel is read as the screen shows the panel once it is up to date.
  form_.ShowAllPending();
  return static_cast<ColourValue>(form_.System().windows->VisiblePixel(handle_, {x, y}));
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
  // A push button: raised edge, the colour in a framed well, a drop-down arrow.
  const Pixel face = form_.Resolve(colour::DefaultColour);
  const Pixel light = RgbPixel(255, 255, 255);
  const Pixel shadow = RgbPixel(105, 105, 105);
  const Pixel dark = RgbPixel(0, 0, 0);
  client.Fill(face);
  const int w = client.Width();
  const int h = client.Height();
  if (w < 4 || h < 4) return;
  for (int x = 0; x < w; ++x) {
    client.Set(x, 0, light);
    client.Set(x, h - 1, dark);
    client.Set(x, h - 2, shadow);
  }
  for (int y = 0; y < h; ++y) {
    client.Set(0, y, light);
    client.Set(w - 1, y, dark);
    client.Set(w - 2, y, shadow);
  }
  const int arrowWidth = 12;
  const Rect well{4, 4, std::max(5, w - arrowWidth - 4), h - 4};
  for (int y = well.top; y < well.bottom; ++y) {
    for (int x = well.left; x < well.right; ++x) {
      const bool edge = y == well.top || y == well.bottom - 1 || x == well.left || x == well.right - 1;
      client.Set(x, y, edge ? shadow : form_.Resolve(colour_));
    }
  }
  const int cx = w - arrowWidth / 2 - 3;
  const int cy = h / 2 - 1;
  for (int row = 0; row < 3; ++row) {
    for (int dx = -(2 - row); dx <= 2 - row; ++dx) {
      if (cx + dx >= 0 && cx + dx < w && cy + row < h) client.Set(cx + dx, cy + row, dark);
    }
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
