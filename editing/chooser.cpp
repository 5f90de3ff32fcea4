#include "editing/chooser.h"

#include "colour/notations.h"
#include "text/numbers.h"
#include "editing/channels.h"

namespace tinctora::editing {

void ChooserColourChanged(context::Context& c) {
  const context::Widgets& w = c.W();
  const colour::ColourValue chosen = w.chooser.Colour();
  SetCurrentColourThroughValueBox(c, static_cast<std::int32_t>(chosen));

  // Only the low 24 bits reach the colour. Each channel write rebuilds the
  // colour from the boxes; after the last one every display shows the choice.
  const colour::Channels ch = colour::SplitColour(chosen);
  WriteChannelBoxes(c, ch);

  w.redSlider.SetPosition(ch.red);
  w.greenSlider.SetPosition(ch.green);
  w.blueSlider.SetPosition(ch.blue);
  SetCurrentColourThroughValueBox(c, colour::MakeColour(ch.red, ch.green, ch.blue));
  w.cCpp.SetContent(colour::CCppNotation(w.current.BackColour()));
}

}  // namespace tinctora::editing
