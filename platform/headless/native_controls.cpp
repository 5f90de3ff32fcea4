#include "platform/headless/desktop_internal.h"

namespace tinctora::headless {

using namespace internal;

void Desktop::SetEditText(WindowId box, TextView text) {
  Win* win = Find(box);
  if (win == nullptr) return;
  win->text = Text(text);
  win->allSelected = false;
  win->nativeDirty = true;
  // The control reports every change of its text, a program's write included.
  if (sink_ != nullptr) sink_->OnEditChanged(box);
}

Text Desktop::EditText(WindowId box) const {
  const Win* win = Find(box);
  return win == nullptr ? Text() : win->text;
}

void Desktop::SetSliderPosition(WindowId slider, int position) {
  Win* win = Find(slider);
  if (win == nullptr) return;
  win->position = std::clamp(position, win->slider.minimum, win->slider.maximum);
  win->nativeDirty = true;
}

int Desktop::SliderPosition(WindowId slider) const {
  const Win* win = Find(slider);
  return win == nullptr ? 0 : win->position;
}

Rect Desktop::SliderThumb(const Win& slider) const {
  const int w = slider.client.Width();
  const int h = slider.client.Height();
  const int span = std::max(1, slider.slider.maximum - slider.slider.minimum);
  const int centre = 13 + (w - 26) * (slider.position - slider.slider.minimum) / span;
  const int top = std::max(0, h / 2 - 6);
  return {centre - 5, top, centre + 6, std::min(h, top + 18)};
}

int Desktop::SliderPositionAt(const Win& slider, int clientX) const {
  const int w = slider.client.Width();
  const int span = slider.slider.maximum - slider.slider.minimum;
  const int usable = std::max(1, w - 26);
  const int offset = std::clamp(clientX - 13, 0, usable);
  return slider.slider.minimum + (offset * span + usable / 2) / usable;
}

void Desktop::Notify(WindowId slider, platform::ScrollCode code) {
  if (sink_ != nullptr) sink_->OnSliderScroll(slider, code);
}

void Desktop::NativeMouse(const platform::MouseMessage& message) {
  Win* win = Find(message.target);
  if (win == nullptr) return;
  using platform::MouseAction;
  if (message.action == MouseAction::LeftDown && win->tabStop) focus_ = win->id;
  if (win->kind != platform::NativeKind::Slider) return;
  if (message.action == MouseAction::LeftDown) {
    const bool onThumb = SliderThumb(*win).Contains(message.client.x, message.client.y);
    sliderDrag_ = SliderDrag{win->id, onThumb};
    if (!onThumb) {
      const bool up = message.client.x > SliderThumb(*win).left;
      win->position = std::clamp(win->position + (up ? win->slider.pageStep : -win->slider.pageStep),
                                 win->slider.minimum, win->slider.maximum);
      win->nativeDirty = true;
      Notify(win->id, up ? platform::ScrollCode::PageDown : platform::ScrollCode::PageUp);
    }
  } else if (message.action == MouseAction::Move && sliderDrag_ && sliderDrag_->slider == win->id &&
             sliderDrag_->onThumb) {
    const int position = sliderDrag_->target.value_or(SliderPositionAt(*win, message.client.x));
    if (position != win->position) {
      win->position = position;
      win->nativeDirty = true;
      Notify(win->id, platform::ScrollCode::ThumbTrack);
    }
  } else if (message.action == MouseAction::LeftUp && sliderDrag_ && sliderDrag_->slider == win->id) {
    if (sliderDrag_->onThumb) Notify(win->id, platform::ScrollCode::ThumbPosition);
    Notify(win->id, platform::ScrollCode::EndScroll);
    sliderDrag_.reset();
    if (capture_ == win->id) capture_ = 0;
  }
}

void Desktop::EndSliderDrag() {
  const WindowId slider = sliderDrag_->slider;
  sliderDrag_.reset();
  if (capture_ == slider) capture_ = 0;
  Notify(slider, platform::ScrollCode::EndScroll);
}

void Desktop::EditInsert(Win& box, TextView text, platform::Insertion how) {
  // Which part of the insertion the box takes is the program's decision.
  const std::size_t kept = box.allSelected ? 0 : box.text.size();
  const std::size_t taken = sink_ != nullptr ? sink_->AcceptedBytes(box.id, text, kept, how) : text.size();
  if (taken == 0) {
    // Only a refused keystroke leaves a selection alone; a paste of nothing
    // still replaces the selection.
    if (how == platform::Insertion::Typed || !box.allSelected) return;
  }
  Text next = box.allSelected ? Text() : box.text;
  next.append(text.substr(0, std::min(taken, text.size())));
  box.allSelected = false;
  box.text = std::move(next);
  box.nativeDirty = true;
  if (sink_ != nullptr) sink_->OnEditChanged(box.id);
}

void Desktop::Type(TextView text) {
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t length = colour::GbkCharLength(text, at);
    const TextView ch = text.substr(at, length);
    at += length;
    Win* box = Find(focus_);
    if (box == nullptr || box->kind != platform::NativeKind::EditBox || box->edit.readOnly) continue;
    EditInsert(*box, ch, platform::Insertion::Typed);
    Pump();
  }
}

void Desktop::Backspace() {
  Win* box = Find(focus_);
  if (box == nullptr || box->kind != platform::NativeKind::EditBox || box->edit.readOnly) return;
  if (box->allSelected) {
    box->text.clear();
    box->allSelected = false;
  } else if (box->text.empty()) {
    return;
  } else {
    box->text.resize(colour::GbkPreviousBoundary(box->text, box->text.size()));
  }
  box->nativeDirty = true;
  if (sink_ != nullptr) sink_->OnEditChanged(box->id);
  Pump();
}

void Desktop::SelectAll() {
  if (Win* box = Find(focus_); box != nullptr && box->kind == platform::NativeKind::EditBox) box->allSelected = true;
}

void Desktop::Paste() {
  Win* box = Find(focus_);
  const std::optional<Text>& text = clipboard_.Contents();
  if (box == nullptr || box->kind != platform::NativeKind::EditBox || box->edit.readOnly || !text) return;
  EditInsert(*box, *text, platform::Insertion::Pasted);
  Pump();
}

void Desktop::DragSliderThumb(WindowId slider, const std::vector<int>& positions) {
  Win* win = Find(slider);
  if (win == nullptr) return;
  const Rect client = ClientScreenRect(*win);
  const Rect thumb = SliderThumb(*win);
  MovePointer({client.left + (thumb.left + thumb.right) / 2, client.top + (thumb.top + thumb.bottom) / 2});
  Press(Button::Left);
  const int span = std::max(1, win->slider.maximum - win->slider.minimum);
  for (int position : positions) {
    const int clamped = std::clamp(position, win->slider.minimum, win->slider.maximum);
    if (sliderDrag_ && sliderDrag_->slider == slider) sliderDrag_->target = clamped;
    const int x = 13 + (win->client.Width() - 26) * (clamped - win->slider.minimum) / span;
    MovePointer({client.left + x, pointer_.y});
  }
  Release(Button::Left);
}

void Desktop::ClickSliderChannel(WindowId slider, bool towardMaximum) {
  Win* win = Find(slider);
  if (win == nullptr) return;
  const Rect client = ClientScreenRect(*win);
  const Rect thumb = SliderThumb(*win);
  const int x = towardMaximum ? std::min(client.Width() - 2, thumb.right + 4) : std::max(1, thumb.left - 4);
  MovePointer({client.left + x, client.top + (thumb.top + thumb.bottom) / 2});
  Press(Button::Left);
  Release(Button::Left);
}

}  // namespace tinctora::headless
