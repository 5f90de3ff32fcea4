#include "programs/runner/queries.h"

#include <algorithm>
#include <array>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>

#include "app/program.h"
#include "text/gbk.h"
#include "colour/notations.h"
#include "text/numbers.h"
#include "colour/script.h"
#include "context/context.h"
#include "programs/runner/session.h"
#include "ui/controls.h"
#include "ui/scale.h"

namespace tinctora::headless::runner {

namespace {

using colour::ColourValue;

std::function<Value(Args&)> Expect(ValueKind kind) {
  return [kind](Args& args) { return ParseExpected(kind, args); };
}

// A query whose expected value is one value of the kind.
Query Reading(ValueKind kind, std::function<Value(Session&)> read) { return {std::move(read), Expect(kind)}; }

// X Y, as a script writes a point.
Value PointValue(platform::Point p) { return Value::List({Value::Integer(p.x), Value::Integer(p.y)}); }

// What a query about the last menu, popup or dialog reads when none was shown.
Value Nothing(const std::string& what) { return Value::Word(what); }

// Whether an image shows a colour in a rectangle (clipped to it).
bool Shows(const ui::Image& image, const ui::Rect& area, ui::Pixel colour) {
  for (int y = std::max(0, area.top); y < std::min(image.Height(), area.bottom); ++y) {
    for (int x = std::max(0, area.left); x < std::min(image.Width(), area.right); ++x) {
      if ((image.At(x, y) & 0xFFFFFF) == (colour & 0xFFFFFF)) return true;
    }
  }
  return false;
}

Query ShowsQuery(std::function<Value(Session&, ui::Pixel)> read, ui::Pixel colour) {
  return {[read, colour](Session& s) { return read(s, colour); },
          [](Args& a) { return Value::Word(a.OneOf("yes or no", {"yes", "no"})); }};
}

// Control properties by the control's kind and the property's name; a row
// without a kind applies to every control.
struct PropertyRow {
  std::optional<ui::ControlKind> kind;
  std::string_view name;
  ValueKind value;
  Value (*read)(Session&, const ui::Control&);
};

template <class T>
const T& As(const ui::Control& c) {
  return static_cast<const T&>(c);
}

std::uint32_t Raw(ColourValue v) { return static_cast<std::uint32_t>(v); }

// Counts the characters of a GBK text up to a byte offset.
std::size_t CharactersBefore(TextView text, std::size_t at) {
  std::size_t n = 0;
  for (std::size_t i = 0; i < at && i < text.size(); i += text::GbkCharLength(text, i)) ++n;
  return n;
}

std::string SelectionText(Session& s, const ui::Control& c) {
  const Text text = s.Desk().EditText(c.Handle());
  const platform::EditRange r = s.Desk().EditSelection(c.Handle());
  const std::string caret = std::to_string(CharactersBefore(text, r.caret));
  if (r.anchor == r.caret) return caret;
  return std::to_string(CharactersBefore(text, r.anchor)) + "-" + caret;
}

using K = ui::ControlKind;
const PropertyRow kProperties[] = {
    {std::nullopt, "Left", ValueKind::Integer, [](Session&, const ui::Control& c) { return Value::Integer(c.Left()); }},
    {std::nullopt, "Top", ValueKind::Integer, [](Session&, const ui::Control& c) { return Value::Integer(c.Top()); }},
    {std::nullopt, "Width", ValueKind::Integer, [](Session&, const ui::Control& c) { return Value::Integer(c.Width()); }},
    {std::nullopt, "Height", ValueKind::Integer, [](Session&, const ui::Control& c) { return Value::Integer(c.Height()); }},
    {std::nullopt, "Cursor", ValueKind::Integer,
     [](Session&, const ui::Control& c) { return Value::Integer(static_cast<long long>(c.Cursor().size())); }},
    {std::nullopt, "Visible", ValueKind::YesNo,
     [](Session& s, const ui::Control& c) { return Value::Word(s.Desk().Visible(c.Handle()) ? "yes" : "no"); }},
    {K::Window, "Caption", ValueKind::Text,
     [](Session&, const ui::Control& c) { return Value::Gbk(As<ui::MainWindow>(c).Caption()); }},
    {K::Label, "Caption", ValueKind::Text, [](Session&, const ui::Control& c) { return Value::Gbk(As<ui::Label>(c).Caption()); }},
    {K::Label, "GradientColour2", ValueKind::Colour,
     [](Session&, const ui::Control& c) { return Value::Colour(Raw(As<ui::Label>(c).GradientColour2())); }},
    {K::EditBox, "Content", ValueKind::Text,
     [](Session&, const ui::Control& c) { return Value::Gbk(As<ui::EditBox>(c).Content()); }},
    // What the native box shows now, which may lag the program's last write
    // by up to a display frame.
    {K::EditBox, "Shown", ValueKind::Text,
     [](Session& s, const ui::Control& c) { return Value::Gbk(s.Desk().EditText(c.Handle())); }},
    // The selection, as characters from the start: "2" for a caret after the
    // second, "0-3" for the first three selected (anchor first).
    {K::EditBox, "Selection", ValueKind::Text,
     [](Session& s, const ui::Control& c) { return Value::Gbk(SelectionText(s, c)); }},
    {K::PicBox, "BackColour", ValueKind::Colour,
     [](Session&, const ui::Control& c) { return Value::Colour(Raw(As<ui::PicBox>(c).BackColour())); }},
    {K::PicBox, "Picture", ValueKind::Integer,
     [](Session&, const ui::Control& c) { return Value::Integer(static_cast<long long>(As<ui::PicBox>(c).Picture().size())); }},
    {K::SliderBar, "Position", ValueKind::Integer,
     [](Session&, const ui::Control& c) { return Value::Integer(As<ui::SliderBar>(c).Position()); }},
    {K::ColorPicker, "Colour", ValueKind::Colour,
     [](Session&, const ui::Control& c) { return Value::Colour(Raw(As<ui::ColorPicker>(c).Colour())); }},
};

Query PropertyQuery(const std::string& control, const std::string& property) {
  const auto named = std::find_if(std::begin(kProperties), std::end(kProperties),
                                  [&](const PropertyRow& row) { return row.name == property; });
  if (named == std::end(kProperties)) Refuse("unknown property " + property + " (of " + control + ")");
  return Reading(named->value, [control, property](Session& s) {
    const ui::Control& c = s.Control(control);
    for (const PropertyRow& row : kProperties) {
      if (row.name == property && (!row.kind || *row.kind == c.Kind())) return row.read(s, c);
    }
    Refuse(control + " (" + std::string(ui::KindName(c.Kind())) + ") has no property " + property);
  });
}

// Program-wide state by name.
struct StateRow {
  std::string_view name;
  ValueKind value;
  Value (*read)(const context::State&);
};
const StateRow kState[] = {
    {"PickActive", ValueKind::Integer, [](const context::State& s) { return Value::Integer(s.PickActive); }},
    {"ZoomImage", ValueKind::Integer, [](const context::State& s) { return Value::Integer(s.ZoomImage); }},
    {"StripHoldFlag", ValueKind::Integer, [](const context::State& s) { return Value::Integer(s.StripHoldFlag); }},
    {"SliderEchoGuard", ValueKind::Integer, [](const context::State& s) { return Value::Integer(s.SliderEchoGuard); }},
    {"MenuColour", ValueKind::Colour, [](const context::State& s) { return Value::Colour(Raw(s.MenuColour)); }},
    {"HistoryColours.size", ValueKind::Integer,
     [](const context::State& s) { return Value::Integer(static_cast<long long>(s.HistoryColours.size())); }},
    {"NotationTable.size", ValueKind::Integer,
     [](const context::State& s) { return Value::Integer(static_cast<long long>(s.NotationTable.size())); }},
};

std::string JoinIds(const std::array<int, 4>& ids) {
  std::string out;
  for (int id : ids) out += (out.empty() ? "" : ",") + std::to_string(id);
  return out;
}

// a,b,c,d: four decimal ids.
Value ParseIds(Args& args) {
  const std::string w = args.Word("the four ids as a,b,c,d");
  std::array<int, 4> ids{};
  std::stringstream in(w);
  std::string part;
  std::size_t n = 0;
  bool wellFormed = true;
  while (wellFormed && std::getline(in, part, ',')) {
    const auto id = ParseDecimal(part);
    wellFormed = id && n < ids.size();
    if (wellFormed) ids[n++] = static_cast<int>(*id);
  }
  if (!wellFormed || n != ids.size()) Refuse("expected the four ids as a,b,c,d, got " + w);
  return Value::Word(JoinIds(ids));
}

Query StateQuery(const std::string& name) {
  for (const StateRow& row : kState) {
    if (row.name == name) {
      return Reading(row.value, [read = row.read](Session& s) { return read(s.Program().GetState()); });
    }
  }
  if (name == "NudgeKeyIds") {
    return {[](Session& s) { return Value::Word(JoinIds(s.Program().GetState().NudgeKeyIds)); }, ParseIds};
  }
  // HistoryColours[k] and NotationTable[k]
  const std::size_t open = name.find('[');
  if (open != std::string::npos && name.back() == ']') {
    const std::string list = name.substr(0, open);
    const auto index = ParseDecimal(name.substr(open + 1, name.size() - open - 2));
    if (index && *index >= 0 && (list == "HistoryColours" || list == "NotationTable")) {
      const bool history = list == "HistoryColours";
      // History entries are counted from 1, as the program names them; the
      // notation table's from 0.
      if (history && *index == 0) Refuse("HistoryColours entries are counted from 1");
      const auto k = static_cast<std::size_t>(history ? *index - 1 : *index);
      return Reading(history ? ValueKind::Colour : ValueKind::Text, [k, history](Session& s) {
        const context::State& state = s.Program().GetState();
        const std::size_t size = history ? state.HistoryColours.size() : state.NotationTable.size();
        if (k >= size) {
          return Value::Word("no entry " + std::to_string(history ? k + 1 : k) + " (the list has " +
                             std::to_string(size) + ")");
        }
        return history ? Value::Colour(Raw(state.HistoryColours[k])) : Value::Gbk(state.NotationTable[k]);
      });
    }
  }
  Refuse("unknown state " + name +
         " (PickActive ZoomImage StripHoldFlag SliderEchoGuard MenuColour NudgeKeyIds HistoryColours[k] "
         "HistoryColours.size NotationTable[k] NotationTable.size)");
}

}  // namespace

// What every session must hold when nothing is pressed any more, whatever
// happened in it; each broken rule is named.
std::vector<std::string> BrokenInvariants(Session& s) {
  std::vector<std::string> broken;
  app::Program& program = s.Program();
  const context::State& state = program.GetState();
  const context::Widgets& w = program.GetContext().W();
  Desktop& desk = s.Desk();
  if (state.PickActive != 0) broken.push_back("a pick is still active");
  // The window is laid out at its display's scale: the client area is the
  // layout's times the scale, and every control lies where the layout puts it.
  ui::Form& form = s.Form();
  const platform::WindowId top = form.Window().Handle();
  if (form.Scale() != desk.Scale(top)) broken.push_back("the window is laid out at another scale than it is shown at");
  const ui::Rect client = desk.ClientRect(top);
  const ui::Point size = ui::DeviceClientSize(form.Window().Params().clientWidth, form.Window().Params().clientHeight,
                                              form.Scale());
  if (client.Width() != size.x || client.Height() != size.y) {
    broken.push_back("the client area is " + std::to_string(client.Width()) + " x " + std::to_string(client.Height()));
  }
  for (const auto& control : form.Controls()) {
    if (control.get() == &form.Window() || control->Handle() == 0) continue;
    const ui::Point origin = control->DeviceClientOrigin();
    const ui::Rect shown = desk.ClientRect(control->Handle());
    if (shown.left - client.left != origin.x || shown.top - client.top != origin.y ||
        shown.Width() != control->DeviceClientWidth() || shown.Height() != control->DeviceClientHeight()) {
      broken.push_back(control->Name() + " is not where the layout puts it");
    }
  }
  if (desk.HotKeyRegistry().OwnCount() != 0) broken.push_back("the program still holds hot keys");
  if (state.NudgeKeyIds != std::array<int, 4>{0, 0, 0, 0}) broken.push_back("NudgeKeyIds are not all 0");
  if (desk.PointerCursor() != nullptr) broken.push_back("the pointer does not show the arrow");
  if (desk.LiveCursors() != 0) broken.push_back("a cursor was left alive");
  const std::array<ui::EditBox*, 3> boxes{&w.red, &w.green, &w.blue};
  const std::array<ui::SliderBar*, 3> sliders{&w.redSlider, &w.greenSlider, &w.blueSlider};
  std::array<std::int32_t, 3> channels{};
  for (std::size_t i = 0; i < 3; ++i) {
    const double v = text::TextToReal(boxes[i]->Content());
    if (!(v >= 0 && v <= 255)) broken.push_back(boxes[i]->Name() + " holds " + QuoteGbk(boxes[i]->Content()));
    channels[i] = text::RealToInt(v);
  }
  // Until the program first sets a colour the sliders keep their layout
  // position and the preview its face colour.
  const ColourValue current = w.current.BackColour();
  if (current != colour::DefaultColour) {
    for (std::size_t i = 0; i < 3; ++i) {
      if (sliders[i]->Position() != channels[i]) {
        broken.push_back(sliders[i]->Name() + " at " + std::to_string(sliders[i]->Position()) + " disagrees with " +
                         boxes[i]->Name());
      }
    }
    const ColourValue fromBoxes = colour::MakeColour(channels[0], channels[1], channels[2]);
    if (current != fromBoxes) broken.push_back("the current colour disagrees with the channel boxes");
    const colour::Channels ch = colour::SplitColour(current);
    const std::pair<ui::EditBox*, Text> notations[] = {
        {&w.decimal, colour::DecimalNotation(current)},
        {&w.hex, colour::HexNotation(ch.red, ch.green, ch.blue)},
        {&w.html, colour::HtmlColourText(ch.red, ch.green, ch.blue)},
        {&w.cCpp, colour::CCppNotation(current)},
        {&w.vb, colour::VbNotation(current)},
        {&w.delphi, colour::DelphiNotation(current)},
        {&w.hsv, colour::ScriptHsv(w.red.Content(), w.green.Content(), w.blue.Content())},
        {&w.cmyk, colour::ScriptCmyk(w.red.Content(), w.green.Content(), w.blue.Content())},
    };
    for (const auto& [box, expected] : notations) {
      if (box->Content() != expected) {
        broken.push_back(box->Name() + " shows " + QuoteGbk(box->Content()) + ", not " + QuoteGbk(expected));
      }
    }
  }
  // A new pick starts and ends cleanly.
  const ui::Rect pad = desk.ClientRect(w.pad.Handle());
  desk.MovePointer({pad.left + pad.Width() / 2, pad.top + pad.Height() / 2});
  desk.Press(Button::Left);
  const int held = desk.HotKeyRegistry().OwnCount();
  const int registered = static_cast<int>(std::count_if(state.NudgeKeyIds.begin(), state.NudgeKeyIds.end(),
                                                         [](int id) { return id != 0; }));
  if (state.PickActive != 1) broken.push_back("a new pick did not start");
  if (held != registered || (held == 0 && !desk.HotKeyRegistry().IsRegistered(0, platform::KeyUp))) {
    broken.push_back("a new pick holds " + std::to_string(held) + " keys for " + std::to_string(registered) + " ids");
  }
  if (desk.PointerCursor() == nullptr) broken.push_back("a new pick does not show the reticle");
  desk.MovePointer({pad.left - 40, pad.top + 300});
  desk.Release(Button::Left);
  if (state.PickActive != 0 || desk.HotKeyRegistry().OwnCount() != 0 || desk.PointerCursor() != nullptr) {
    broken.push_back("a new pick did not end cleanly");
  }
  return broken;
}

Query ParseQuery(Args& args) {
  const std::string what = args.Word("what to check");
  if (what == "state") return StateQuery(args.Word("the state's name"));
  if (what == "pixel" || what == "client-pixel") {
    std::string control;
    if (what == "client-pixel") control = args.Name("the control's name");
    const platform::Point p = args.Point("the point");
    return Reading(ValueKind::Colour, [control, p](Session& s) {
      const platform::Point at = control.empty() ? p : s.ClientToScreen(control, p);
      s.Desk().Settle();
      return Value::Colour(Raw(s.Desk().ShownPixel(at)));
    });
  }
  if (what == "client-shows") {
    // Whether any pixel of a control's client area shows a colour, as the
    // screen shows it once it has caught up.
    const std::string control = args.Name("the control's name");
    const ui::Pixel colour = static_cast<ui::Pixel>(args.Colour("the colour"));
    return ShowsQuery(
        [control](Session& s, ui::Pixel c) {
          const ui::Image image = s.ClientImage(control);
          return Value::Word(Shows(image, {0, 0, image.Width(), image.Height()}, c) ? "yes" : "no");
        },
        colour);
  }
  if (what == "clipboard") {
    const auto expected = [](Args& a) {
      if (a.TakeWord("none")) return Value::Word("none");
      if (a.TakeWord("empty")) return Value::Gbk("");
      return Value::Gbk(a.String("the expected clipboard text"));
    };
    const auto read = [](Session& s) {
      const auto text = s.Desk().ClipboardService().Contents();
      return text ? Value::Gbk(*text) : Value::Word("none");
    };
    return {read, expected};
  }
  if (what == "pointer") {
    return {[](Session& s) { return PointValue(s.Desk().PointerPos()); },
            [](Args& a) { return PointValue(a.Point("the pointer")); }};
  }
  if (what == "invariants") {
    Query q;
    q.expected = [](Args& a) { return Value::Word(a.OneOf("the word ok", {"ok"})); };
    q.read = [](Session& s) {
      const std::vector<std::string> broken = BrokenInvariants(s);
      if (broken.empty()) return Value::Word("ok");
      std::string text = "broken:";
      for (const std::string& b : broken) text += " " + b + ";";
      return Value::Word(text);
    };
    return q;
  }
  if (what == "screen-reads") {
    // The program's reads of the screen since the previous such check.
    return Reading(ValueKind::Integer, [](Session& s) {
      const std::size_t now = s.Desk().ScreenReads();
      const std::size_t since = now - s.screenReadsChecked;
      s.screenReadsChecked = now;
      return Value::Integer(static_cast<long long>(since));
    });
  }
  if (what == "native-writes") {
    // The edit texts and slider positions the program handed to the native
    // controls since the previous such check.
    return Reading(ValueKind::Integer, [](Session& s) {
      const std::size_t now = s.Desk().NativeWrites();
      const std::size_t since = now - s.nativeWritesChecked;
      s.nativeWritesChecked = now;
      return Value::Integer(static_cast<long long>(since));
    });
  }
  if (what == "clipboard-opens") {
    // The program's tries to open the clipboard since the previous such
    // check, those that found it busy included.
    return Reading(ValueKind::Integer, [](Session& s) {
      const int now = s.Desk().ClipboardService().OpenAttempts();
      const int since = now - s.clipboardOpensChecked;
      s.clipboardOpensChecked = now;
      return Value::Integer(since);
    });
  }
  if (what == "elapsed-ms") {
    // The desktop's time that passed since the previous such check.
    return Reading(ValueKind::Integer, [](Session& s) {
      const long long now = s.Desk().Now();
      const long long since = now - s.clockChecked;
      s.clockChecked = now;
      return Value::Integer(since);
    });
  }
  if (what == "frame-waiting") {
    return Reading(ValueKind::YesNo, [](Session& s) { return Value::Word(s.Desk().FrameWaiting() ? "yes" : "no"); });
  }
  if (what == "live-cursors") {
    return Reading(ValueKind::Integer,
                   [](Session& s) { return Value::Integer(static_cast<long long>(s.Desk().LiveCursors())); });
  }
  if (what == "last-tooltip") {
    return Reading(ValueKind::Text, [](Session& s) { return Value::Gbk(s.Desk().LastTooltip()); });
  }
  if (what == "same-image") {
    const std::string control = args.Name("the control's name");
    const std::string label = args.Word("the label of a kept image");
    const auto read = [control, label](Session& s) {
      const ui::Image* kept = s.KeptImage(label);
      if (kept == nullptr) Refuse("no image kept as " + label);
      const ui::Image now = s.ClientImage(control);
      if (now.Width() != kept->Width() || now.Height() != kept->Height()) return Value::Word("no (another size)");
      std::size_t differ = 0;
      for (std::size_t i = 0; i < now.Pixels().size(); ++i) differ += now.Pixels()[i] != kept->Pixels()[i] ? 1 : 0;
      if (differ == 0) return Value::Word("yes");
      return Value::Word("no (" + std::to_string(differ) + " of " + std::to_string(now.Pixels().size()) +
                         " pixels differ)");
    };
    return {read, [](Args& a) { return Value::Word(a.OneOf("yes or no", {"yes", "no"})); }};
  }
  if (what == "pointer-cursor-size") {
    // The side of the custom cursor the pointer shows, 0 for the arrow.
    return Reading(ValueKind::Integer, [](Session& s) {
      const gfx::CursorImage* cursor = s.Desk().PointerCursor();
      return Value::Integer(cursor != nullptr ? cursor->picture.Width() : 0);
    });
  }
  if (what == "pointer-cursor") {
    return {[](Session& s) { return Value::Word(s.Desk().PointerCursor() != nullptr ? "custom" : "arrow"); },
            [](Args& a) { return Value::Word(a.OneOf("the cursor", {"custom", "arrow"})); }};
  }
  if (what == "hotkeys") {
    return Reading(ValueKind::Integer, [](Session& s) { return Value::Integer(s.Desk().HotKeyRegistry().OwnCount()); });
  }
  if (what == "hotkey-registered") {
    const int key = args.Key("the key");
    return Reading(ValueKind::YesNo, [key](Session& s) {
      return Value::Word(s.Desk().HotKeyRegistry().IsRegistered(0, key) ? "yes" : "no");
    });
  }
  if (what == "menus-shown" || what == "popups-shown" || what == "dialogs-shown") {
    return Reading(ValueKind::Integer, [what](Session& s) {
      const Desktop& d = s.Desk();
      const std::size_t n = what == "menus-shown"    ? d.MenusShown().size()
                            : what == "popups-shown" ? d.PopupsShown().size()
                                                     : d.DialogsShown().size();
      return Value::Integer(static_cast<long long>(n));
    });
  }
  if (what == "last-menu") {
    const std::string part = args.OneOf("what of the menu", {"at", "items"});
    if (part == "at") {
      const auto read = [](Session& s) {
        if (s.Desk().MenusShown().empty()) return Nothing("no menu shown");
        return PointValue(s.Desk().MenusShown().back().at);
      };
      return {read, [](Args& a) { return PointValue(a.Point("the menu's corner")); }};
    }
    const auto expected = [](Args& a) {
      std::vector<Value> items;
      while (!a.AtEnd()) items.push_back(Value::Gbk(a.String("an item's caption")));
      return Value::List(std::move(items));
    };
    const auto read = [](Session& s) {
      if (s.Desk().MenusShown().empty()) return Nothing("no menu shown");
      std::vector<Value> items;
      for (const Text& item : s.Desk().MenusShown().back().items) items.push_back(Value::Gbk(item));
      return Value::List(std::move(items));
    };
    return {read, expected};
  }
  if (what == "last-popup") {
    const std::string part = args.OneOf("what of the popup", {"swatches", "swatch", "other", "other-shows"});
    if (part == "other-shows") {
      // Whether the entry for the colour dialog, inside its frame, showed a
      // colour: its face or its text.
      const ui::Pixel colour = static_cast<ui::Pixel>(args.Colour("the colour"));
      return ShowsQuery(
          [](Session& s, ui::Pixel c) {
            if (s.Desk().PopupsShown().empty()) return Nothing("no popup shown");
            const double scale = s.Form().Scale();
            const int t = ui::LineWidth(scale);
            const ui::Rect r = ui::DeviceRect(ui::ColourPopup::OtherRect(), scale);
            const ui::Rect inside{r.left + t, r.top + t, r.right - t, r.bottom - t};
            return Value::Word(Shows(s.Desk().PopupsShown().back().client, inside, c) ? "yes" : "no");
          },
          colour);
    }
    if (part == "swatches") {
      return Reading(ValueKind::Integer, [](Session& s) {
        if (s.Desk().PopupsShown().empty()) return Nothing("no popup shown");
        return Value::Integer(static_cast<long long>(ui::ColourPopup::Presets().size()));
      });
    }
    if (part == "other") {
      return Reading(ValueKind::Text, [](Session& s) {
        if (s.Desk().PopupsShown().empty()) return Nothing("no popup shown");
        return Value::Gbk(Text(ui::ColourPopup::OtherEntry()));
      });
    }
    const int k = args.Integer("the swatch number (from 1)");
    if (k < 1) Refuse("swatches count from 1");
    const auto expected = [](Args& a) {
      const std::uint32_t c = a.Colour("the swatch's colour");
      return Value::List({Value::Colour(c), Value::Gbk(a.String("the swatch's name"))});
    };
    const auto read = [k](Session& s) {
      if (s.Desk().PopupsShown().empty()) return Nothing("no popup shown");
      const auto presets = ui::ColourPopup::Presets();
      if (static_cast<std::size_t>(k) > presets.size()) return Nothing("no swatch " + std::to_string(k));
      // The colour as the popup showed it, the name as its tooltip gives it.
      const ui::Image& shown = s.Desk().PopupsShown().back().client;
      const ui::Rect r = ui::ColourPopup::SwatchRect(k - 1);
      const ui::Pixel colour = shown.At((r.left + r.right) / 2, (r.top + r.bottom) / 2);
      return Value::List({Value::Colour(colour), Value::Gbk(presets[static_cast<std::size_t>(k) - 1].name)});
    };
    return {read, expected};
  }
  if (what == "last-dialog") {
    return Reading(ValueKind::Colour, [](Session& s) {
      if (s.Desk().DialogsShown().empty()) return Nothing("no dialog shown");
      return Value::Colour(Raw(s.Desk().DialogsShown().back()));
    });
  }
  if (what == "running") {
    return {[](Session& s) { return Value::Word(s.Program().Finished() ? "finished" : "running"); },
            [](Args&) { return Value::Word("running"); }};
  }
  if (what == "exit") {
    return Reading(ValueKind::Integer, [](Session& s) {
      app::Program& p = s.Program();
      return p.Finished() ? Value::Integer(p.ExitCode()) : Value::Word("still running");
    });
  }
  if (what == "focus") {
    const auto read = [](Session& s) {
      s.Program();
      return Value::Word(s.NameOf(s.Desk().Focus()));
    };
    return {read, [](Args& a) { return Value::Word(a.Name("the control's name")); }};
  }
  if (what == "events") {
    const auto expected = [](Args& a) {
      std::vector<Value> events;
      while (!a.AtEnd()) events.push_back(Value::Word(a.Name("an event as control.Event")));
      return Value::List(std::move(events));
    };
    const auto read = [](Session& s) {
      s.Program();
      std::vector<Value> events;
      for (const std::string& e : s.Events()) events.push_back(Value::Word(e));
      return Value::List(std::move(events));
    };
    return {read, expected};
  }
  if (what == "event-count") {
    const std::string event = args.Name("the event as control.Event");
    return Reading(ValueKind::Integer, [event](Session& s) {
      s.Program();
      return Value::Integer(std::count(s.Events().begin(), s.Events().end(), event));
    });
  }
  const std::size_t dot = what.find('.');
  if (dot == std::string::npos || dot == 0 || dot + 1 == what.size()) {
    Refuse("unknown check " + what + " (a control's NAME.Property, state, pixel, client-pixel, clipboard, ...)");
  }
  return PropertyQuery(what.substr(0, dot), what.substr(dot + 1));
}

}  // namespace tinctora::headless::runner
