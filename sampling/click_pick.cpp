#include "sampling/click_pick.h"

#include "colour/numbers.h"
#include "editing/notation_boxes.h"
#include "history/history.h"
#include "sampling/pixels.h"

namespace tinctora::sampling {

namespace {

void TakeClickedColour(app::Context& c, colour::ColourValue picked) {
  const app::Widgets& w = c.W();
  w.current.SetBackColour(picked);
  history::PushHistory(c);
  const colour::Channels ch = colour::SplitColour(w.current.BackColour());
  w.red.SetContent(colour::RealToText(ch.red));
  w.green.SetContent(colour::RealToText(ch.green));
  w.blue.SetContent(colour::RealToText(ch.blue));
  editing::RefreshNotations(c);
}

}  // namespace

void ZoomViewLeftButtonDown(app::Context& c, const ui::EventArgs& args) {
  TakeClickedColour(c, c.W().zoom.PixelOf(args.x, args.y));
}

void PaletteLeftButtonDown(app::Context& c, const ui::EventArgs& args) {
  TakeClickedColour(c, PixelAtPoint(c, c.W().palette.Handle(), args.x, args.y));
}

}  // namespace tinctora::sampling
