#include "platform/headless/desktop_internal.h"

namespace tinctora::headless {

using namespace internal;

void Desktop::Post(Message message) { queue_.push_back(message); }

void Desktop::PostMouse(platform::MouseAction action) {
  WindowId target = capture_ != 0 ? capture_ : HitTest(pointer_);
  // A press outside an open popup closes it and goes no further.
  if (openPopup_ != 0 && target != openPopup_ &&
      (action == platform::MouseAction::LeftDown || action == platform::MouseAction::RightDown)) {
    if (sink_ != nullptr) sink_->OnPopupDismissed(openPopup_);
    return;
  }
  if (target == 0 || target == ForeignWindow) return;
  const Win* win = Find(target);
  if (win == nullptr) return;
  const Rect client = ClientScreenRect(*win);
  // A window's title bar and borders get the system's non-client messages,
  // which the program never sees.
  if (capture_ == 0 && !client.Contains(pointer_.x, pointer_.y)) return;
  Message m;
  m.type = Message::Type::Mouse;
  m.mouse.target = target;
  m.mouse.action = action;
  m.mouse.client = {pointer_.x - client.left, pointer_.y - client.top};
  m.mouse.keys = modifiers_;
  m.screen = pointer_;
  Post(m);
}

void Desktop::SetBusy(bool busy) {
  busy_ = busy;
  if (!busy_) Pump();
}

void Desktop::Pump() {
  // Messages wait while the program is busy, unless it asks for them itself.
  if (busy_ && pumpDepth_ == 0) return;
  ++pumpDepth_;
  while (!queue_.empty()) {
    const Message m = queue_.front();
    queue_.pop_front();
    Dispatch(m);
  }
  --pumpDepth_;
}

void Desktop::Run() {
  // The simulated loop runs only as far as the messages already waiting.
  if (!quit_) Pump();
}

void Desktop::ProcessPending() {
  const bool busy = busy_;
  busy_ = false;
  Pump();
  busy_ = busy;
}

void Desktop::PostCommand(WindowId owner, int command) {
  Message m;
  m.type = Message::Type::Command;
  m.owner = owner;
  m.value = command;
  Post(m);
}

void Desktop::Dispatch(const Message& message) {
  if (sink_ == nullptr) return;
  switch (message.type) {
    case Message::Type::Mouse: {
      if (Find(message.mouse.target) == nullptr) return;
      // While the message is handled, the pointer is where it was made.
      const std::optional<Point> outer = handling_;
      handling_ = message.screen;
      if (sink_->OnMouse(message.mouse)) NativeMouse(message.mouse);
      handling_ = outer;
      return;
    }
    case Message::Type::HotKey:
      sink_->OnHotKey(message.owner, message.value);
      return;
    case Message::Type::Command:
      sink_->OnCommand(message.owner, message.value);
      return;
    case Message::Type::Colours:
      sink_->OnColoursChanged();
      return;
  }
}

void Desktop::MovePointer(Point screen) {
  pointer_ = screen;
  PostMouse(platform::MouseAction::Move);
  Pump();
}

void Desktop::Press(Button button) {
  if (button == Button::Left) {
    leftDown_ = true;
    PostMouse(platform::MouseAction::LeftDown);
    // A track bar holds the mouse while its thumb is dragged.
    const WindowId target = capture_ != 0 ? capture_ : HitTest(pointer_);
    if (const Win* win = Find(target); win != nullptr && win->kind == platform::NativeKind::Slider &&
                                       capture_ == 0) {
      Pump();
      if (sliderDrag_ && sliderDrag_->slider == target) capture_ = target;
      return;
    }
  } else {
    rightDown_ = true;
    PostMouse(platform::MouseAction::RightDown);
  }
  Pump();
}

void Desktop::Release(Button button) {
  if (capture_ == ForeignWindow) {
    // The other program's drag ends; the release is its own.
    capture_ = 0;
    (button == Button::Left ? leftDown_ : rightDown_) = false;
    Pump();
    return;
  }
  if (button == Button::Left) {
    leftDown_ = false;
    PostMouse(platform::MouseAction::LeftUp);
  } else {
    rightDown_ = false;
    PostMouse(platform::MouseAction::RightUp);
  }
  Pump();
  // A release that went anywhere but the track bar still ends its drag.
  if (button == Button::Left && sliderDrag_) EndSliderDrag();
}

void Desktop::PressAndRelease(Button button) {
  const bool left = button == Button::Left;
  // Both have happened before the program sees either: the button is up.
  (left ? leftDown_ : rightDown_) = false;
  PostMouse(left ? platform::MouseAction::LeftDown : platform::MouseAction::RightDown);
  PostMouse(left ? platform::MouseAction::LeftUp : platform::MouseAction::RightUp);
  Pump();
}

void Desktop::DoubleClick() {
  // The second press is the system's double click; it reaches the program
  // as a press, so nothing but the timing differs from two clicks.
  Press(Button::Left);
  Release(Button::Left);
  Press(Button::Left);
  Release(Button::Left);
}

void Desktop::KeyDown(int virtualKey) {
  if (const auto hot = hotKeys_.Find(modifiers_, virtualKey)) {
    // A registered hot key goes to its owner only, whatever has the focus.
    if (hot->owner != 0) {
      Message m;
      m.type = Message::Type::HotKey;
      m.owner = hot->owner;
      m.value = hot->nativeId;
      Post(m);
    }
    Pump();
    return;
  }
  if (openPopup_ != 0) {
    // An open popup has the keyboard.
    if (sink_ != nullptr) sink_->OnKeyDown(openPopup_, virtualKey);
    Pump();
    return;
  }
  Win* focus = Find(focus_);
  if (focus != nullptr && focus->kind != platform::NativeKind::Surface) BeforeInput(focus->id);
  if (focus != nullptr && focus->kind == platform::NativeKind::Slider) {
    const int line = focus->slider.lineStep;
    const int page = focus->slider.pageStep;
    std::optional<std::pair<int, platform::ScrollCode>> step;
    switch (virtualKey) {
      case platform::KeyLeft: step = {{focus->position - line, platform::ScrollCode::LineUp}}; break;
      case platform::KeyUp: step = {{focus->position - line, platform::ScrollCode::LineUp}}; break;
      case platform::KeyRight: step = {{focus->position + line, platform::ScrollCode::LineDown}}; break;
      case platform::KeyDown: step = {{focus->position + line, platform::ScrollCode::LineDown}}; break;
      case platform::KeyPageUp: step = {{focus->position - page, platform::ScrollCode::PageUp}}; break;
      case platform::KeyPageDown: step = {{focus->position + page, platform::ScrollCode::PageDown}}; break;
      case platform::KeyHome: step = {{focus->slider.minimum, platform::ScrollCode::Top}}; break;
      case platform::KeyEnd: step = {{focus->slider.maximum, platform::ScrollCode::Bottom}}; break;
      default: break;
    }
    if (step) {
      focus->position = std::clamp(step->first, focus->slider.minimum, focus->slider.maximum);
      focus->nativeDirty = true;
      Notify(focus->id, step->second);
      Notify(focus->id, platform::ScrollCode::EndScroll);
      Pump();
      return;
    }
  }
  if (focus != nullptr && focus->kind == platform::NativeKind::EditBox && EditKey(*focus, virtualKey)) {
    Pump();
    return;
  }
  if (sink_ != nullptr) sink_->OnKeyDown(focus_, virtualKey);
  Pump();
}

void Desktop::FocusWindow(WindowId window) {
  Win* win = Find(window);
  if (win == nullptr) return;
  if (win->kind != platform::NativeKind::Surface) BeforeInput(window);
  focus_ = window;
  // Moving the focus into an edit box with the keyboard selects its text.
  if (win->kind == platform::NativeKind::EditBox) win->selection = {0, win->text.size()};
}

void Desktop::BeforeInput(WindowId control) {
  if (sink_ != nullptr) sink_->BeforeInput(control);
}

std::optional<Point> Desktop::CursorPos() const {
  if (handling_) return *handling_;
  if (pointerHidden_) return std::nullopt;
  return pointer_;
}

void Desktop::RequestFrame() {
  if (!frameDue_) frameDue_ = now_ + kFrameMs;
}

void Desktop::Advance(int ms) {
  const long long until = now_ + std::max(0, ms);
  // Every frame that falls due on the way comes at its time.
  while (frameDue_ && *frameDue_ <= until) {
    // A frame overdue after a Pause comes at once.
    now_ = std::max(now_, *frameDue_);
    frameDue_.reset();
    if (sink_ != nullptr) sink_->OnFrame();
    Pump();
  }
  now_ = until;
}

void Desktop::Settle() {
  if (frameDue_) Advance(static_cast<int>(*frameDue_ - now_));
}

void Desktop::CloseWindow(WindowId top) {
  if (sink_ != nullptr && Find(top) != nullptr) sink_->OnCloseRequested(top);
  Pump();
}

}  // namespace tinctora::headless
