#include "editing/chooser.h"

#include "colour/notations.h"
#include "colour/numbers.h"
#include "editing/channels.h"

namespace tinctora::editing {

void ChooserColourChanged(app::Context& c) {
  const app::Widgets& w = c.W();
  const colour::ColourValue chosen = w.chooser.Colour();
  w.colourValue.SetContent(colour::IntToDecimalText(chosen));
  w.current.SetBackColour(chosen);

  // Only the low 24 bits reach the colour. Each channel write rebuilds the
  // colour from the boxes; after the last one every display shows the choice.
  const colour::Channels ch = colour::SplitColour(chosen);
  WriteChannelBoxes(c, ch);

  w.redSlider.SetPosition(ch.red);
  w.greenSlider.SetPosition(ch.green);
  w.blueSlider.SetPosition(ch.blue);
  w.colourValue.SetContent(colour::IntToDecimalText(colour::MakeColour(ch.red, ch.green, ch.blue)));
  w.current.SetBackColour(colour::RealToInt(colour::TextToReal(w.colourValue.Content())));
  w.cCpp.SetContent(colour::CCppNotation(w.current.BackColour()));
}

}  // namespace tinctora::editing
