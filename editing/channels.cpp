#include "editing/channels.h"

#include "text/numbers.h"
#include "editing/notation_boxes.h"

namespace tinctora::editing {

using text::RealToInt;
using text::TextToReal;

void CheckChannelBox(context::Context& c, ui::EditBox& box) {
  Text native;
  if (box.ContentView(native).empty()) box.SetContent("0");
  const double v = TextToReal(box.ContentView(native));
  if (v - 255 > 0.0000001) {
    box.SetContent("255");
  } else if (v < 0) {
    // A channel below 0 would wrap to a bright value and cut a digit off the
    // HTML text; it is held at 0 as values above 255 are held at 255.
    box.SetContent("0");
  }
  ApplyChannelBoxes(c);
}

void ApplyChannelBoxes(context::Context& c) {
  const context::Widgets& w = c.W();
  Text native;
  const double realRed = TextToReal(w.red.ContentView(native));
  const double realGreen = TextToReal(w.green.ContentView(native));
  const double realBlue = TextToReal(w.blue.ContentView(native));
  const std::int32_t red = RealToInt(realRed);
  const std::int32_t green = RealToInt(realGreen);
  const std::int32_t blue = RealToInt(realBlue);

  // The colour goes through its decimal text and back, as every path that
  // builds a colour from channels does.
  SetCurrentColourThroughValueBox(c, colour::MakeColour(red, green, blue));
  const colour::ColourValue current = w.current.BackColour();
  if (c.state.StripHoldFlag == 0) w.strip.SetGradientColour2(current);

  c.state.SliderEchoGuard = 1;
  w.redSlider.SetPosition(red);
  w.greenSlider.SetPosition(green);
  w.blueSlider.SetPosition(blue);
  c.state.SliderEchoGuard = 0;

  WriteNotationBoxes(c, {red, green, blue, current, realRed, realGreen, realBlue});
}

void SetCurrentColourThroughValueBox(context::Context& c, std::int32_t value) {
  const context::Widgets& w = c.W();
  w.colourValue.SetContent(text::IntToDecimalText(value));
  Text native;
  w.current.SetBackColour(RealToInt(TextToReal(w.colourValue.ContentView(native))));
}

void WriteChannelBoxes(context::Context& c, colour::Channels channels) {
  const context::Widgets& w = c.W();
  w.red.SetContent(text::IntToDecimalText(channels.red));
  w.green.SetContent(text::IntToDecimalText(channels.green));
  w.blue.SetContent(text::IntToDecimalText(channels.blue));
}

void SliderPositionChanged(context::Context& c, ui::SliderBar& slider, ui::EditBox& box) {
  if (c.state.SliderEchoGuard != 0) return;
  box.SetContent(text::IntToDecimalText(slider.Position()));
  RefreshNotations(c);
}

}  // namespace tinctora::editing
