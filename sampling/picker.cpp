#include "sampling/picker.h"

#include <algorithm>
#include <optional>

#include "text/numbers.h"
#include "editing/channels.h"
#include "editing/notation_boxes.h"
#include "history/history.h"
#include "sampling/pixels.h"

namespace tinctora::sampling {

namespace {

constexpr int kZoomRadius = 10;  // the square is 2 * 10 + 1 pixels wide

ui::Bytes Reticle(const context::Context& c) { return ui::Bytes(c.reticle.begin(), c.reticle.end()); }

void RegisterNudgeKeys(context::Context& c) {
  const platform::WindowId owner = c.form.Window().Handle();
  ui::Label& receiver = c.W().nudgeReceiver;
  const int keys[] = {platform::KeyUp, platform::KeyDown, platform::KeyLeft, platform::KeyRight};
  for (std::size_t i = 0; i < 4; ++i) c.state.NudgeKeyIds[i] = c.hotKeys.Register(owner, receiver, 0, keys[i]);
}

enum class Capture { Release, AlreadyLost };

void EndPick(context::Context& c, Capture capture) {
  const context::Widgets& w = c.W();
  if (capture == Capture::Release) c.form.ReleaseMouseCapture();
  w.pad.SetCursor({});
  w.pad.SetPicture(Reticle(c));
  if (capture == Capture::Release || c.state.PickRead) history::PushHistory(c);
  w.strip.SetGradientColour2(w.current.BackColour());
  // Every key of the pick is released, so no arrow key stays taken from
  // other programs after it.
  const platform::WindowId owner = c.form.Window().Handle();
  for (int& id : c.state.NudgeKeyIds) {
    (void)c.hotKeys.Unregister(owner, id);
    id = 0;
  }
  c.state.PickActive = 0;
}

}  // namespace

void PickerLeftButtonDown(context::Context& c, const ui::EventArgs&) {
  const context::Widgets& w = c.W();
  if (c.state.PickStarting) return;
  if (c.state.PickActive != 0) {
    // The pick is still on (its release went astray): keep the keys it holds
    // rather than registering them again over their live ids.
    c.form.CaptureMouse(w.pad);
    return;
  }
  w.pad.SetCursor(Reticle(c));
  w.pad.SetPicture({});
  // Let the emptied pad repaint.
  c.state.PickStarting = true;
  c.form.ProcessPendingEvents();
  c.state.PickStarting = false;
  c.state.PickRead = false;
  c.form.CaptureMouse(w.pad);
  c.state.PickActive = 1;
  RegisterNudgeKeys(c);
  // A release that came while waiting messages ran, wherever it went, ends
  // the pick at once: nothing else would.
  if (!c.system.screen->PrimaryButtonDown()) EndPick(c, Capture::Release);
}

std::optional<ui::Pixel> ZoomSnapshot(context::Context& c, ui::Point centre, ui::Pixel outside, ui::Image& out) {
  const ui::Rect square{centre.x - kZoomRadius, centre.y - kZoomRadius, centre.x + kZoomRadius + 1,
                        centre.y + kZoomRadius + 1};
  // `out` is filled with the background only when a piece goes into it; the
  // usual square, wholly on one display, is read straight into it.
  bool started = false;
  const auto start = [&] {
    if (!started) out.Reset(square.Width(), square.Height(), outside);
    started = true;
  };
  std::optional<ui::Pixel> centrePixel;
  // Each display shows its own part of the square; what lies on none of
  // them, or cannot be read, keeps the zoom view's background.
  ui::Image piece;
  for (const platform::Display& shown : c.system.screen->Displays()) {
    const ui::Rect& display = shown.bounds;
    const ui::Rect part{std::max(square.left, display.left), std::max(square.top, display.top),
                        std::min(square.right, display.right), std::min(square.bottom, display.bottom)};
    if (part.Empty()) continue;
    if (!started && part == square) {
      started = true;
      if (!c.system.screen->ReadRect(part, out) || out.Width() != part.Width() || out.Height() != part.Height()) {
        out.Reset(square.Width(), square.Height(), outside);
        continue;
      }
      centrePixel = out.At(centre.x - square.left, centre.y - square.top);
      continue;
    }
    if (!c.system.screen->ReadRect(part, piece)) continue;
    if (piece.Width() != part.Width() || piece.Height() != part.Height()) continue;
    start();
    for (int y = 0; y < part.Height(); ++y) {
      const ui::Pixel* src = piece.Row(y);
      std::copy(src, src + part.Width(), out.Row(part.top - square.top + y) + (part.left - square.left));
    }
    if (centre.x >= part.left && centre.x < part.right && centre.y >= part.top && centre.y < part.bottom) {
      centrePixel = piece.At(centre.x - part.left, centre.y - part.top);
    }
  }
  start();
  return centrePixel;
}

void PickerMouseMove(context::Context& c, const ui::EventArgs&) {
  if (c.state.PickActive != 1) return;
  const context::Widgets& w = c.W();
  ui::Pictures& pictures = c.form.PictureStore();
  // The last square's picture is freed; its pixels' storage holds the new one.
  ui::Image square = pictures.Take(c.state.ZoomImage);
  c.state.ZoomImage = 0;

  const ui::Pixel outside = c.form.Resolve(w.zoom.BackColour());
  // Where the pointer is, unless another desktop (a secure prompt, the lock
  // screen) has it: then nothing under it can be read, the coordinates stay
  // the last known ones, and the zoom view shows only its background.
  const std::optional<ui::Point> sampled = CursorPosition(c);
  if (sampled) {
    Text position = text::IntToDecimalText(sampled->x);
    position += ',';
    position += text::IntToDecimalText(sampled->y);
    w.coordinates.SetContent(position);
  }

  // One read of the screen serves the pixel under the pointer and the zoom
  // view, as long as the pointer is where it was for the pixel: the square
  // is read first, and its centre is the pixel.
  std::optional<ui::Pixel> centre;
  if (sampled) {
    centre = ZoomSnapshot(c, *sampled, outside, square);
  } else {
    square.Reset(2 * kZoomRadius + 1, 2 * kZoomRadius + 1, outside);
  }
  // An unreadable pixel has every bit set and so reads as white.
  const colour::ColourValue pixel = centre    ? static_cast<colour::ColourValue>(*centre)
                                    : sampled ? PixelAtScreenPoint(c, *sampled)
                                              : colour::InvalidColour;
  const colour::Channels ch = colour::SplitColour(pixel);
  c.state.PickRead = true;
  editing::WriteChannelBoxes(c, ch);
  editing::SetCurrentColourThroughValueBox(c, colour::MakeColour(ch.red, ch.green, ch.blue));

  if (const std::optional<ui::Point> zoomed = CursorPosition(c); zoomed && zoomed != sampled) {
    (void)ZoomSnapshot(c, *zoomed, outside, square);
  }
  c.state.ZoomImage = pictures.Load(std::move(square));
  if (const ui::Image* picture = pictures.Find(c.state.ZoomImage)) {
    w.zoom.DrawPicture(*picture, 0, 0, w.zoom.Width(), w.zoom.Height());
  }
  editing::RefreshNotations(c);
}

void PickerLeftButtonUp(context::Context& c, const ui::EventArgs&) {
  if (c.state.PickActive == 1) EndPick(c, Capture::Release);
}

void PickerCaptureLost(context::Context& c, const ui::EventArgs&) {
  if (c.state.PickActive == 1) EndPick(c, Capture::AlreadyLost);
}

void NudgeFeedback(context::Context& c, const ui::EventArgs& args) {
  const int hotKeyId = args.feedbackA;
  const auto& ids = c.state.NudgeKeyIds;
  // Up, down, left, right; the first equal id decides.
  const ui::Point steps[] = {{0, -1}, {0, 1}, {-1, 0}, {1, 0}};
  for (std::size_t i = 0; i < ids.size(); ++i) {
    if (ids[i] == 0 || ids[i] != hotKeyId) continue;
    // A pointer the system will not place stays where it is.
    const std::optional<ui::Point> at = CursorPosition(c);
    if (at) MovePointerTo(c, {at->x + steps[i].x, at->y + steps[i].y});
    return;
  }
}

}  // namespace tinctora::sampling
