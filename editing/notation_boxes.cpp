#include "editing/notation_boxes.h"

#include "colour/notations.h"
#include "colour/script.h"

namespace tinctora::editing {

void WriteNotationBoxes(context::Context& c, const NotationSource& s) {
  const context::Widgets& w = c.W();
  w.html.SetContent(colour::HtmlColourText(s.red, s.green, s.blue));
  w.cCpp.SetContent(colour::CCppNotation(s.value));
  const Text red = w.red.Content();
  const Text green = w.green.Content();
  const Text blue = w.blue.Content();
  w.hsv.SetContent(colour::ScriptHsv(red, green, blue));
  w.cmyk.SetContent(colour::ScriptCmyk(red, green, blue));
  w.vb.SetContent(colour::VbNotation(s.value));
  w.delphi.SetContent(colour::DelphiNotation(s.value));
  w.decimal.SetContent(colour::DecimalNotation(s.value));
  w.rgb.SetContent(colour::RgbNotation(s.realRed, s.realGreen, s.realBlue));
  w.hex.SetContent(colour::HexNotation(s.red, s.green, s.blue));
}

void RefreshNotations(context::Context& c) {
  const context::Widgets& w = c.W();
  const colour::ColourValue current = w.current.BackColour();
  w.strip.SetGradientColour2(current);
  const colour::Channels ch = colour::SplitColour(current);
  WriteNotationBoxes(c, {ch.red, ch.green, ch.blue, current, static_cast<double>(ch.red),
                         static_cast<double>(ch.green), static_cast<double>(ch.blue)});
}

}  // namespace tinctora::editing
