#include "ui/form.h"

#include "ui/scale.h"

#include <algorithm>
#include <limits>
#include <stdexcept>
#include <utility>

namespace tinctora::ui {

// ---- Pictures --------------------------------------------------------------

int Pictures::Load(Image image) {
  if (image.Empty()) return 0;
  // Past the largest handle the count starts again at 1; 0 stays "no
  // picture" and a handle still held is skipped.
  do {
    last_ = last_ == std::numeric_limits<int>::max() ? 1 : last_ + 1;
  } while (images_.count(last_) != 0);
  images_.emplace(last_, std::move(image));
  return last_;
}

void Pictures::Free(int handle) { images_.erase(handle); }

Image Pictures::Take(int handle) {
  auto node = images_.extract(handle);
  return node.empty() ? Image{} : std::move(node.mapped());
}

const Image* Pictures::Find(int handle) const {
  const auto it = images_.find(handle);
  return it == images_.end() ? nullptr : &it->second;
}

// ---- Form ------------------------------------------------------------------

Form::Form(const platform::Platform& platform) : platform_(platform) {
  platform_.windows->SetSink(this);
  colours_ = platform_.windows->Colours();
}

Form::~Form() {
  if (platform_.windows != nullptr) platform_.windows->SetSink(nullptr);
}

MainWindow& Form::AddWindow(std::string name, platform::TopLevelSpec params) {
  auto window = std::make_unique<MainWindow>(*this, std::move(name), std::move(params));
  window_ = window.get();
  Register(std::move(window));
  return *window_;
}

void Form::Register(std::unique_ptr<Control> control) {
  byName_[control->Name()] = control.get();
  controls_.push_back(std::move(control));
}

PopupMenu& Form::AddMenu(PopupMenu menu) {
  for (std::size_t i = 0; i < menu.items.size(); ++i) commands_.emplace_back(menu.name, static_cast<int>(i));
  menus_.push_back(std::move(menu));
  return menus_.back();
}

const PopupMenu* Form::FindMenu(std::string_view name) const {
  for (const PopupMenu& menu : menus_) {
    if (menu.name == name) return &menu;
  }
  return nullptr;
}

void Form::Attach(Control& control, platform::WindowId handle) { byHandle_[handle] = &control; }

Control* Form::Find(std::string_view name) const {
  const auto it = byName_.find(std::string(name));
  return it == byName_.end() ? nullptr : it->second;
}

Control& Form::FindOrDie(std::string_view name) const {
  Control* control = Find(name);
  if (control == nullptr) throw std::out_of_range("no control named " + std::string(name));
  return *control;
}

Control* Form::FromHandle(platform::WindowId handle) const {
  const auto it = byHandle_.find(handle);
  return it == byHandle_.end() ? nullptr : it->second;
}

void Form::Bind(std::string_view control, EventId event, Handler handler) {
  FindOrDie(control).SetHandler(event, std::move(handler));
}

void Form::BindMenuItem(std::string_view menu, int index, Handler handler) {
  menuBindings_[{std::string(menu), index}] = std::move(handler);
}

Pixel Form::Resolve(ColourValue value) const {
  if (value == colour::DefaultColour) return colours_.face;
  return static_cast<Pixel>(value) & 0x00FFFFFFu;
}

Pixel Form::Resolve(ColourValue own, Contrast role, Part part) const {
  if (colours_.highContrast) {
    const bool ink = part == Part::Ink;
    if (role == Contrast::Face) return (ink ? colours_.faceText : colours_.face) & 0x00FFFFFFu;
    if (role == Contrast::Window) return (ink ? colours_.windowText : colours_.window) & 0x00FFFFFFu;
  }
  return Resolve(own);
}

Point DeviceClientSize(int layoutWidth, int layoutHeight, double scale) {
  return {DeviceEdge(layoutWidth, scale), DeviceEdge(layoutHeight, scale)};
}

const Font& Form::GuiFont() const { return platform_.windows->DefaultGuiFont(scale_); }

Point Form::DevicePointOf(const Control& control, Point layout) const {
  if (handling_ && handling_->target == control.Handle() && handling_->layout == layout) return handling_->device;
  return control.ToDevice(layout);
}

Point Form::ScreenPointOf(const Control& control, Point layout) const {
  const Point device = DevicePointOf(control, layout);
  if (control.Handle() == 0) return device;
  const Rect client = platform_.windows->ClientRect(control.Handle());
  return {client.left + device.x, client.top + device.y};
}

void Form::SizeClientArea() {
  const platform::TopLevelSpec& params = window_->Params();
  const Point size = DeviceClientSize(params.clientWidth, params.clientHeight, scale_);
  platform_.windows->SetClientSize(window_->Handle(), size.x, size.y);
}

void Form::Build() {
  deliveryOn_ = false;
  colours_ = platform_.windows->Colours();
  // The window opens on the primary display, at its scale; the system may
  // show it at another, which it then says.
  const std::vector<platform::Display> displays = platform_.screen->Displays();
  scale_ = displays.empty() ? 1.0 : displays.front().scale;
  window_->CreateTopLevel();
  if (const double shown = platform_.windows->Scale(window_->Handle()); shown != scale_) {
    scale_ = shown;
    SizeClientArea();
  }
  // Every control is created hidden; a container is made before what it holds.
  std::function<void(Control&)> create = [&](Control& control) {
    if (control.Handle() != 0) return;
    if (control.Container() != nullptr) create(*control.Container());
    control.CreateNative();
  };
  for (const auto& control : controls_) {
    if (control.get() != window_) create(*control);
  }
  for (const auto& control : controls_) {
    if (control.get() != window_) control->MakeVisible();
  }
  deliveryOn_ = true;

  Raise(*window_, EventId::Created);
  if (destroyed_) return;
  Raise(*window_, EventId::Moved);
  Raise(*window_, EventId::Resized);
  ShowCentred();
  // Showing activates the window; the first control that takes the focus then
  // reports it.
  for (const auto& control : controls_) {
    if (control->TabStop() && control->Shown() && control->Handle() != 0) {
      platform_.windows->SetFocus(control->Handle());
      Raise(*control, EventId::FocusGained);
      break;
    }
  }
}

void Form::QueueForFrame(Control& control) {
  if (destroyed_ || control.Queued()) return;
  control.SetQueued(true);
  waiting_.push_back(&control);
  if (!frameRequested_) {
    frameRequested_ = true;
    platform_.loop->RequestFrame();
  }
}

void Form::ShowPending(Control& control) {
  if (!control.Queued()) return;
  const auto it = std::find(waiting_.begin(), waiting_.end(), &control);
  if (it != waiting_.end()) waiting_.erase(it);
  control.SetQueued(false);
  control.ShowPending();
}

void Form::BringScreenUpToDate() {
  ShowAllPending();
  if (window_ != nullptr && window_->Handle() != 0) platform_.windows->UpdateNow(window_->Handle());
}

void Form::ShowAllPending() {
  // Showing raises no events, so nothing is queued while the list is walked;
  // it is taken whole all the same.
  std::vector<Control*> now;
  now.swap(waiting_);
  for (Control* control : now) {
    control->SetQueued(false);
    control->ShowPending();
  }
  now.clear();
  if (waiting_.empty()) waiting_.swap(now);
}

void Form::OnFrame() {
  frameRequested_ = false;
  if (!destroyed_) ShowAllPending();
}

void Form::BeforeInput(platform::WindowId window) {
  if (Control* control = FromHandle(window)) ShowPending(*control);
}

void Form::OnScaleChanged(platform::WindowId top) {
  if (window_ == nullptr || top != window_->Handle() || destroyed_) return;
  const double scale = platform_.windows->Scale(top);
  if (scale == scale_ || scale <= 0) return;
  // Everything is laid out, painted and made again at once for the new
  // scale: nothing is left for the system to stretch.
  scale_ = scale;
  SizeClientArea();
  for (const auto& control : controls_) {
    if (control.get() != window_ && control->Handle() != 0) control->Rescale();
  }
  ShowAllPending();
  window_->TakeNativeBounds();
}

void Form::OnColoursChanged() {
  if (destroyed_) return;
  const platform::SystemColours colours = platform_.windows->Colours();
  // The system tells of many a setting that leaves the colours as they were.
  if (colours == colours_) return;
  colours_ = colours;
  for (const auto& control : controls_) {
    if (control.get() != window_ && control->Handle() != 0) control->ColoursChanged();
  }
  if (popup_ != nullptr && popup_->Window() != 0) platform_.windows->Invalidate(popup_->Window());
}

void Form::ShowCentred() {
  // Centred on the primary display's work area (clear of task bars and
  // panels) by the window's outer size, whatever position the layout stores.
  const std::vector<platform::Display> displays = platform_.screen->Displays();
  const Rect primary = displays.empty() ? Rect{} : displays.front().workArea;
  const Rect outer = platform_.windows->WindowRect(window_->Handle());
  const int left = primary.left + (primary.Width() - outer.Width()) / 2;
  const int top = primary.top + (primary.Height() - outer.Height()) / 2;
  platform_.windows->SetBounds(window_->Handle(), {left, top, left + outer.Width(), top + outer.Height()});
  // The first frame the user sees is complete.
  ShowAllPending();
  platform_.windows->Show(window_->Handle());
  window_->TakeNativeBounds();
}

void Form::Raise(Control& control, EventId event, const EventArgs& args) {
  const Handler* handler = deliveryOn_ ? control.HandlerFor(event) : nullptr;
  if (observer_) observer_({control.Name(), event, args, handler != nullptr});
  if (handler != nullptr) (*handler)(args);
}

void Form::ProcessPendingEvents() { platform_.loop->ProcessPending(); }

void Form::ShowPopupMenu(const PopupMenu& menu, std::optional<int> x, std::optional<int> y) {
  // Beside the pointer, or where the window's client area begins when the
  // system will not tell where the pointer is.
  const std::optional<Point> pointer = platform_.screen->CursorPos();
  Point corner;
  if (pointer) {
    corner = *pointer;
  } else {
    const Rect client = platform_.windows->ClientRect(window_->Handle());
    corner = {client.left, client.top};
  }
  const Point at{x.value_or(corner.x + 3), y.value_or(corner.y + 3)};
  std::vector<Text> captions;
  captions.reserve(menu.items.size());
  for (const MenuItem& item : menu.items) captions.push_back(item.caption);
  const std::optional<int> chosen = platform_.dialogs->TrackPopupMenu(window_->Handle(), captions, at);
  if (!chosen || *chosen < 0 || static_cast<std::size_t>(*chosen) >= menu.items.size()) return;
  for (std::size_t i = 0; i < commands_.size(); ++i) {
    if (commands_[i].first == menu.name && commands_[i].second == *chosen) {
      platform_.loop->PostCommand(window_->Handle(), static_cast<int>(i) + 1);
      return;
    }
  }
}

void Form::CaptureMouse(Control& control) {
  if (control.Handle() != 0) platform_.screen->SetCapture(control.Handle());
}

void Form::ReleaseMouseCapture() {
  platform_.screen->ReleaseCapture();
}

void Form::Close() {
  if (destroyed_ || window_ == nullptr || window_->Handle() == 0) return;
  Raise(*window_, EventId::CloseQuery);
  platform_.windows->Destroy(window_->Handle());
}

// ---- system messages -------------------------------------------------------

bool Form::OnMouse(const platform::MouseMessage& message) {
  if (popup_ != nullptr && message.target == popup_->Window()) {
    popup_->OnMouse(message);
    return true;
  }
  Control* control = FromHandle(message.target);
  if (control == nullptr) return true;
  EventId event = EventId::MouseMove;
  switch (message.action) {
    case platform::MouseAction::Move: event = EventId::MouseMove; break;
    case platform::MouseAction::LeftDown: event = EventId::LeftButtonDown; break;
    case platform::MouseAction::LeftUp: event = EventId::LeftButtonUp; break;
    case platform::MouseAction::RightDown: event = EventId::RightButtonDown; break;
    case platform::MouseAction::RightUp: event = EventId::RightButtonUp; break;
  }
  // Handlers see positions in the layout's units. They reach them as
  // unsigned 16-bit numbers: left of or above the window they wrap to 65536
  // minus the distance.
  const Point layout = control->ToLayout(message.client);
  const std::optional<Handling> outer = handling_;
  handling_ = Handling{message.target, message.client, {layout.x & 0xFFFF, layout.y & 0xFFFF}};
  Raise(*control, event, {layout.x & 0xFFFF, layout.y & 0xFFFF, message.keys});
  handling_ = outer;
  if (!destroyed_) control->DefaultMouse(message);
  return true;
}

void Form::OnCaptureLost(platform::WindowId window) {
  if (Control* control = FromHandle(window)) Raise(*control, EventId::CaptureLost);
}

void Form::OnEditChanged(platform::WindowId box) {
  // Only the user's edits come here; the program's own writes raise
  // ContentChanged in EditBox::SetContent.
  auto* edit = dynamic_cast<EditBox*>(FromHandle(box));
  if (edit == nullptr) return;
  edit->TakeUserEdit();
  Raise(*edit, EventId::ContentChanged);
}

std::size_t Form::AcceptedBytes(platform::WindowId box, TextView text, std::size_t kept, platform::Insertion how) {
  auto* edit = dynamic_cast<EditBox*>(FromHandle(box));
  return edit == nullptr ? 0 : edit->AcceptedBytes(text, kept, how);
}

void Form::OnSliderScroll(platform::WindowId slider, platform::ScrollCode code) {
  auto* bar = dynamic_cast<SliderBar*>(FromHandle(slider));
  // The notification that closes each user action carries no new position.
  if (bar == nullptr || code == platform::ScrollCode::EndScroll) return;
  bar->TakeNativePosition();
  Raise(*bar, EventId::PositionChanged);
}

void Form::OnActivate(platform::WindowId top, bool active) {
  if (window_ == nullptr || top != window_->Handle() || inActivation_) return;
  inActivation_ = true;
  if (active) {
    // Activated comes after the window has been brought up to date on the
    // screen, so what its handler draws straight onto a panel stays.
    ShowAllPending();
    platform_.windows->UpdateNow(window_->Handle());
    if (firstActivation_) {
      firstActivation_ = false;
      Raise(*window_, EventId::FirstActivation);
    }
    Raise(*window_, EventId::Activated);
  } else {
    Raise(*window_, EventId::Deactivated);
  }
  inActivation_ = false;
}

bool Form::OnKeyDown(platform::WindowId focus, int virtualKey) {
  if (popup_ != nullptr && focus == popup_->Window()) {
    popup_->OnKey(virtualKey);
    return true;
  }
  if (virtualKey == platform::KeyEscape) {
    Close();
    return true;
  }
  return false;
}

void Form::OnCloseRequested(platform::WindowId top) { Close(); }

void Form::OnDestroyed(platform::WindowId top) {
  if (window_ == nullptr || top != window_->Handle() || destroyed_) return;
  Raise(*window_, EventId::Destroying);
  destroyed_ = true;
  for (Control* control : waiting_) control->SetQueued(false);
  waiting_.clear();
  platform_.loop->Quit();
}

void Form::OnHotKey(platform::WindowId owner, int nativeId) {
  if (hotKeyHook_) hotKeyHook_(nativeId);
}

void Form::OnCommand(platform::WindowId owner, int command) {
  if (command < 1 || static_cast<std::size_t>(command) > commands_.size()) return;
  const auto& [menu, index] = commands_[static_cast<std::size_t>(command) - 1];
  const auto it = deliveryOn_ ? menuBindings_.find({menu, index}) : menuBindings_.end();
  const bool delivered = it != menuBindings_.end();
  if (observer_) observer_({menu + "." + std::to_string(index + 1), EventId::Clicked, {}, delivered});
  if (delivered) it->second({});
}

void Form::OnPopupDismissed(platform::WindowId popup) {
  if (popup_ != nullptr && popup == popup_->Window()) popup_->OnDismissed();
}

void Form::OnPaint(platform::WindowId surface) {
  if (popup_ != nullptr && surface == popup_->Window()) {
    const Rect client = platform_.windows->ClientRect(surface);
    paintBuffer_.Reset(client.Width(), client.Height());
    popup_->Paint(paintBuffer_);
    platform_.windows->Present(surface, paintBuffer_);
    return;
  }
  Control* control = FromHandle(surface);
  if (control == nullptr || !control->CustomDrawn()) return;
  const Rect client = platform_.windows->ClientRect(surface);
  paintBuffer_.Reset(client.Width(), client.Height());
  control->Paint(paintBuffer_);
  platform_.windows->Present(surface, paintBuffer_);
}

// ---- HotKeyService ---------------------------------------------------------

HotKeyService::HotKeyService(Form& form) : form_(form) {
  form_.SetHotKeyHook([this](int id) { Deliver(id); });
}

int HotKeyService::TakeNativeId() {
  if (!freeNative_.empty()) {
    const int id = *freeNative_.begin();
    freeNative_.erase(freeNative_.begin());
    return id;
  }
  return nextNative_ <= platform::kMaxNativeHotKeyId ? nextNative_++ : 0;
}

int HotKeyService::Register(platform::WindowId owner, Label& receiver, int modifiers, int virtualKey) {
  const int id = ++last_;
  ++outstanding_;
  receiver_ = &receiver;
  const int native = TakeNativeId();
  if (native == 0) return 0;
  if (!form_.System().hotKeys->Register(owner, native, modifiers, virtualKey)) {
    freeNative_.insert(native);
    return 0;
  }
  native_.emplace(id, native);
  return id;
}

bool HotKeyService::Unregister(platform::WindowId owner, int id) {
  if (outstanding_ > 0) --outstanding_;
  const auto it = native_.find(id);
  // An id the system never took (0 for a refused key) fails harmlessly.
  if (it == native_.end()) return false;
  if (!form_.System().hotKeys->Unregister(owner, it->second)) return false;
  freeNative_.insert(it->second);
  native_.erase(it);
  return true;
}

void HotKeyService::Deliver(int nativeId) {
  if (!Watching() || receiver_ == nullptr) return;
  const auto it = std::find_if(native_.begin(), native_.end(), [nativeId](const auto& entry) {
    return entry.second == nativeId;
  });
  if (it == native_.end()) return;
  const int id = it->first;
  if (id < FirstId || id > last_) return;
  EventArgs args;
  args.feedbackA = id;
  args.feedbackB = 0;
  form_.Raise(*receiver_, EventId::Feedback, args);
}

}  // namespace tinctora::ui
