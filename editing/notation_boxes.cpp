#include "editing/notation_boxes.h"

#include <bit>
#include <cstdint>

#include "colour/notations.h"
#include "colour/script.h"

namespace tinctora::editing {

namespace {

// The nine texts of a write and what they were made from. The last channel
// write of a pointer movement and the refresh after it write the same
// colour twice in a row: the second write takes the texts already made.
struct NotationTexts {
  bool made = false;
  std::int32_t red = 0;
  std::int32_t green = 0;
  std::int32_t blue = 0;
  colour::ColourValue value = 0;
  // The RGB text's numbers bit for bit, so 0 and -0 ("0", "-0") differ.
  std::uint64_t realRed = 0;
  std::uint64_t realGreen = 0;
  std::uint64_t realBlue = 0;
  Text html, cCpp, vb, delphi, decimal, rgb, hex;

  // The HSV and CMYK texts and the channel boxes' texts they came from.
  bool scriptMade = false;
  Text redText, greenText, blueText;
  Text hsv, cmyk;
};

struct LastWrite {
  NotationTexts texts;
  // A write is under way: its texts are still being written.
  bool writing = false;
};

thread_local LastWrite lastWrite;

bool SameSource(const NotationTexts& t, const NotationSource& s) {
  return t.made && t.red == s.red && t.green == s.green && t.blue == s.blue && t.value == s.value &&
         t.realRed == std::bit_cast<std::uint64_t>(s.realRed) &&
         t.realGreen == std::bit_cast<std::uint64_t>(s.realGreen) &&
         t.realBlue == std::bit_cast<std::uint64_t>(s.realBlue);
}

void MakeSourceTexts(NotationTexts& t, const NotationSource& s) {
  t.made = false;
  t.html = colour::HtmlColourText(s.red, s.green, s.blue);
  t.cCpp = colour::CCppNotation(s.value);
  t.vb = colour::VbNotation(s.value);
  t.delphi = colour::DelphiNotation(s.value);
  t.decimal = colour::DecimalNotation(s.value);
  t.rgb = colour::RgbNotation(s.realRed, s.realGreen, s.realBlue);
  t.hex = colour::HexNotation(s.red, s.green, s.blue);
  t.red = s.red;
  t.green = s.green;
  t.blue = s.blue;
  t.value = s.value;
  t.realRed = std::bit_cast<std::uint64_t>(s.realRed);
  t.realGreen = std::bit_cast<std::uint64_t>(s.realGreen);
  t.realBlue = std::bit_cast<std::uint64_t>(s.realBlue);
  t.made = true;
}

void WriteWith(context::Context& c, const NotationSource& s, NotationTexts& t) {
  const context::Widgets& w = c.W();
  if (!SameSource(t, s)) MakeSourceTexts(t, s);
  w.html.SetContent(t.html);
  w.cCpp.SetContent(t.cCpp);
  // The channel texts are read here, after the first two writes, and both
  // script texts are made from them before either is written.
  Text nativeRed;
  Text nativeGreen;
  Text nativeBlue;
  const TextView red = w.red.ContentView(nativeRed);
  const TextView green = w.green.ContentView(nativeGreen);
  const TextView blue = w.blue.ContentView(nativeBlue);
  if (!t.scriptMade || red != t.redText || green != t.greenText || blue != t.blueText) {
    t.scriptMade = false;
    t.hsv = colour::ScriptHsv(red, green, blue);
    t.cmyk = colour::ScriptCmyk(red, green, blue);
    t.redText.assign(red);
    t.greenText.assign(green);
    t.blueText.assign(blue);
    t.scriptMade = true;
  }
  w.hsv.SetContent(t.hsv);
  w.cmyk.SetContent(t.cmyk);
  w.vb.SetContent(t.vb);
  w.delphi.SetContent(t.delphi);
  w.decimal.SetContent(t.decimal);
  w.rgb.SetContent(t.rgb);
  w.hex.SetContent(t.hex);
}

}  // namespace

void WriteNotationBoxes(context::Context& c, const NotationSource& s) {
  LastWrite& last = lastWrite;
  // A write raised from inside another (a handler of a notation box writing
  // again) makes its own texts: the outer write's are still being written.
  if (last.writing) {
    NotationTexts fresh;
    WriteWith(c, s, fresh);
    return;
  }
  struct Writing {
    bool& flag;
    explicit Writing(bool& f) : flag(f) { flag = true; }
    ~Writing() { flag = false; }
  } writing(last.writing);
  WriteWith(c, s, last.texts);
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
