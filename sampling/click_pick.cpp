#include "sampling/click_pick.h"

#include "text/numbers.h"
#include "editing/channels.h"
#include "editing/notation_boxes.h"
#include "history/history.h"
#include "sampling/pixels.h"

namespace tinctora::sampling {

namespace {

void TakeClickedColour(context::Context& c, colour::ColourValue picked) {
  const context::Widgets& w = c.W();
  w.current.SetBackColour(picked);
  history::PushHistory(c);
  const colour::Channels ch = colour::SplitColour(w.current.BackColour());
  editing::WriteChannelBoxes(c, ch);
  editing::RefreshNotations(c);
}

}  // namespace

void ZoomViewLeftButtonDown(context::Context& c, const ui::EventArgs& args) {
  TakeClickedColour(c, c.W().zoom.PixelOf(args.x, args.y));
}

void PaletteLeftButtonDown(context::Context& c, const ui::EventArgs& args) {
  TakeClickedColour(c, PixelAtPoint(c, c.W().palette, args.x, args.y));
}

}  // namespace tinctora::sampling
