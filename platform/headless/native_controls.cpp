#include "platform/headless/desktop_internal.h"

namespace tinctora::headless {

using namespace internal;

namespace {

// The character boundary at or before a byte offset of a GBK text.
std::size_t BoundaryAtOrBefore(TextView text, std::size_t at) {
  if (at >= text.size()) return text.size();
  std::size_t boundary = 0;
  while (boundary < at) {
    const std::size_t next = boundary + text::GbkCharLength(text, boundary);
    if (next > at) break;
    boundary = next;
  }
  return boundary;
}

}  // namespace

void Desktop::SetEditText(WindowId box, TextView text) {
  Win* win = Find(box);
  if (win == nullptr) return;
  win->text = Text(text);
  win->selection = {win->text.size(), win->text.size()};
  win->nativeDirty = true;
  ++nativeWrites_;
}

Text Desktop::EditText(WindowId box) const {
  const Win* win = Find(box);
  return win == nullptr ? Text() : win->text;
}

void Desktop::SetEditSelection(WindowId box, platform::EditRange range) {
  Win* win = Find(box);
  if (win == nullptr || win->kind != platform::NativeKind::EditBox) return;
  win->selection = {BoundaryAtOrBefore(win->text, range.anchor), BoundaryAtOrBefore(win->text, range.caret)};
}

platform::EditRange Desktop::EditSelection(WindowId box) const {
  const Win* win = Find(box);
  return win == nullptr ? platform::EditRange{} : win->selection;
}

void Desktop::SetEditColours(WindowId box, Pixel background, Pixel text) {
  Win* win = Find(box);
  if (win == nullptr || win->kind != platform::NativeKind::EditBox) return;
  win->edit.background = background;
  win->edit.textColour = text;
  win->nativeDirty = true;
}

void Desktop::SetSliderPosition(WindowId slider, int position) {
  Win* win = Find(slider);
  if (win == nullptr) return;
  win->position = std::clamp(position, win->slider.minimum, win->slider.maximum);
  win->nativeDirty = true;
  ++nativeWrites_;
}

int Desktop::SliderPosition(WindowId slider) const {
  const Win* win = Find(slider);
  return win == nullptr ? 0 : win->position;
}

Rect Desktop::SliderThumb(const Win& slider) const {
  const int w = slider.client.Width();
  const int h = slider.client.Height();
  const int span = std::max(1, slider.slider.maximum - slider.slider.minimum);
  const int centre = Px(13) + (w - Px(26)) * (slider.position - slider.slider.minimum) / span;
  const int top = std::max(0, h / 2 - Px(6));
  return {centre - Px(5), top, centre + Px(6), std::min(h, top + Px(18))};
}

int Desktop::SliderPositionAt(const Win& slider, int clientX) const {
  const int w = slider.client.Width();
  const int span = slider.slider.maximum - slider.slider.minimum;
  const int usable = std::max(1, w - Px(26));
  const int offset = std::clamp(clientX - Px(13), 0, usable);
  return slider.slider.minimum + (offset * span + usable / 2) / usable;
}

void Desktop::Notify(WindowId slider, platform::ScrollCode code) {
  if (sink_ != nullptr) sink_->OnSliderScroll(slider, code);
}

void Desktop::NativeMouse(const platform::MouseMessage& message) {
  Win* win = Find(message.target);
  if (win == nullptr) return;
  using platform::MouseAction;
  if (win->kind != platform::NativeKind::Surface) BeforeInput(win->id);
  if (message.action == MouseAction::LeftDown && win->tabStop) focus_ = win->id;
  if (win->kind == platform::NativeKind::EditBox && message.action == MouseAction::LeftDown) {
    // A click puts the caret at the nearest character boundary.
    const std::size_t at = EditOffsetAt(*win, message.client.x);
    win->selection = {at, at};
    return;
  }
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

int Desktop::EditTextLeft(const Win& box) const {
  const int textWidth = TextWidth(Font(), box.text);
  const int w = box.client.Width();
  if (box.edit.align == platform::TextAlign::Centre) return (w - textWidth) / 2;
  if (box.edit.align == platform::TextAlign::Right) return w - 1 - textWidth;
  return 1;
}

std::size_t Desktop::EditOffsetAt(const Win& box, int clientX) const {
  int x = EditTextLeft(box);
  std::size_t at = 0;
  while (at < box.text.size()) {
    const std::size_t length = text::GbkCharLength(box.text, at);
    const int width = TextWidth(Font(), TextView(box.text).substr(at, length));
    if (clientX < x + width / 2) break;
    x += width;
    at += length;
  }
  return at;
}

Desktop::Win* Desktop::EditableFocus() {
  Win* box = Find(focus_);
  if (box == nullptr || box->kind != platform::NativeKind::EditBox || box->edit.readOnly) return nullptr;
  return box;
}

void Desktop::EditReplace(Win& box, TextView text) {
  const std::size_t start = box.selection.Start();
  const std::size_t end = std::min(box.selection.End(), box.text.size());
  box.text.replace(start, end - start, text);
  box.selection = {start + text.size(), start + text.size()};
  box.nativeDirty = true;
  if (sink_ != nullptr) sink_->OnEditChanged(box.id);
}

void Desktop::EditInsert(Win& box, TextView text, platform::Insertion how) {
  // Which part of the insertion the box takes is the program's decision:
  // exactly that many bytes go in.
  const std::size_t kept = box.text.size() - (box.selection.End() - box.selection.Start());
  const std::size_t taken =
      std::min(text.size(), sink_ != nullptr ? sink_->AcceptedBytes(box.id, text, kept, how) : text.size());
  // Nothing taken is no change at all, a selection included.
  if (taken == 0) return;
  EditReplace(box, text.substr(0, taken));
}

bool Desktop::EditKey(Win& box, int virtualKey) {
  const std::size_t caret = box.selection.caret;
  const bool extend = (modifiers_ & platform::ModShift) != 0;
  const auto moveTo = [&](std::size_t at) {
    box.selection = {extend ? box.selection.anchor : at, at};
    box.nativeDirty = true;
  };
  switch (virtualKey) {
    case platform::KeyHome: moveTo(0); return true;
    case platform::KeyEnd: moveTo(box.text.size()); return true;
    case platform::KeyLeft:
    case platform::KeyUp:
      // Without Shift, a selection collapses to its start first.
      if (!extend && box.selection.anchor != caret) moveTo(box.selection.Start());
      else moveTo(caret == 0 ? 0 : text::GbkPreviousBoundary(box.text, caret));
      return true;
    case platform::KeyRight:
    case platform::KeyDown:
      if (!extend && box.selection.anchor != caret) moveTo(box.selection.End());
      else moveTo(caret >= box.text.size() ? box.text.size() : caret + text::GbkCharLength(box.text, caret));
      return true;
    case platform::KeyBackspace:
    case platform::KeyDelete: {
      if (box.edit.readOnly) return true;
      if (box.selection.anchor == caret) {
        if (virtualKey == platform::KeyBackspace) {
          if (caret == 0) return true;
          box.selection = {text::GbkPreviousBoundary(box.text, caret), caret};
        } else {
          if (caret >= box.text.size()) return true;
          box.selection = {caret, caret + text::GbkCharLength(box.text, caret)};
        }
      }
      EditReplace(box, {});
      return true;
    }
    default: return false;
  }
}

void Desktop::Type(TextView text) {
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t length = text::GbkCharLength(text, at);
    const TextView ch = text.substr(at, length);
    at += length;
    Win* box = EditableFocus();
    if (box == nullptr) continue;
    BeforeInput(box->id);
    EditInsert(*box, ch, platform::Insertion::Typed);
    Pump();
  }
}

void Desktop::Backspace() { KeyDown(platform::KeyBackspace); }

void Desktop::SelectAll() {
  if (Win* box = Find(focus_); box != nullptr && box->kind == platform::NativeKind::EditBox) {
    BeforeInput(box->id);
    box->selection = {0, box->text.size()};
  }
}

void Desktop::Paste() {
  Win* box = EditableFocus();
  const std::optional<Text>& text = clipboard_.Contents();
  if (box == nullptr || !text) return;
  BeforeInput(box->id);
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

void Desktop::ClickSliderChannel(WindowId slider, Toward toward) {
  const bool towardMaximum = toward == Toward::Maximum;
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
