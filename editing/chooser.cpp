#include "editing/chooser.h"

#include "colour/notations.h"
#include "colour/numbers.h"

namespace tinctora::editing {

void ChooserColourChanged(app::Context& c) {
  const app::Widgets& w = c.W();
  const colour::ColourValue chosen = w.chooser.Colour();
  w.colourValue.SetContent(colour::IntToDecimalText(chosen));
  w.current.SetBackColour(chosen);

  const auto bits = static_cast<std::uint32_t>(chosen);
  const int red = static_cast<int>(bits & 0xFFu);
  const int green = static_cast<int>((bits >> 8) & 0xFFu);
  const int blue = static_cast<int>((bits >> 16) & 0xFFu);
  // Each write rebuilds the colour from the boxes; after the last one every
  // display shows the chosen colour.
  w.red.SetContent(colour::IntToDecimalText(red));
  w.green.SetContent(colour::IntToDecimalText(green));
  w.blue.SetContent(colour::IntToDecimalText(blue));

  w.redSlider.SetPosition(red);
  w.greenSlider.SetPosition(green);
  w.blueSlider.SetPosition(blue);
  w.colourValue.SetContent(colour::IntToDecimalText(colour::MakeColour(red, green, blue)));
  w.current.SetBackColour(colour::RealToInt(colour::TextToReal(w.colourValue.Content())));
  w.cCpp.SetContent(colour::CCppNotation(w.current.BackColour()));
}

}  // namespace tinctora::editing
