#include "sampling/shade_strip.h"

#include "text/numbers.h"
#include "editing/channels.h"
#include "editing/notation_boxes.h"
#include "history/history.h"
#include "sampling/pixels.h"

namespace tinctora::sampling {

void StripLeftButtonDown(context::Context& c, const ui::EventArgs& args) {
  const context::Widgets& w = c.W();
  c.state.StripHoldFlag = 1;
  w.current.SetBackColour(PixelAtPoint(c, w.strip, args.x, args.y));
  // Centred under the clicked column: the strip's border is 1 pixel and the
  // marker 11 pixels wide.
  w.marker.SetLeft(text::RealToInt(static_cast<double>(w.strip.Left()) - 4 + args.x));
  history::PushHistory(c);

  const colour::Channels ch = colour::SplitColour(w.current.BackColour());
  const double red = ch.red;
  const double green = ch.green;
  const double blue = ch.blue;
  editing::WriteChannelBoxes(c, ch);
  w.redSlider.SetPosition(text::RealToInt(red));
  w.greenSlider.SetPosition(text::RealToInt(green));
  w.blueSlider.SetPosition(text::RealToInt(blue));
  // The notations without re-basing the strip.
  editing::WriteNotationBoxes(c, {ch.red, ch.green, ch.blue, w.current.BackColour(), red, green, blue});
}

}  // namespace tinctora::sampling
