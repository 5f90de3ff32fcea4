#include "programs/runner/actions.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <set>
#include <string_view>
#include <vector>

#include "programs/runner/queries.h"
#include "programs/runner/session.h"
#include "ui/paint.h"

namespace tinctora::headless::runner {

namespace {

using colour::ColourValue;

constexpr std::string_view kChooser = "颜色选择器1";

// NAME [CX CY]: a point of a control's client area, its centre when the
// line gives none.
struct ClientPoint {
  std::string name;
  std::optional<platform::Point> client;

  platform::Point OnScreen(Session& s) const { return s.ClientToScreen(name, client); }
};

ClientPoint ParseClientPoint(Args& args) {
  ClientPoint target{args.Name("the control's name"), std::nullopt};
  if (args.PeekInteger()) target.client = args.Point("the client point");
  return target;
}

Button ParseButton(Args& args) {
  if (args.AtEnd()) return Button::Left;
  return args.OneOf("the button", {"left", "right"}) == "left" ? Button::Left : Button::Right;
}

ModalAnswers::MenuAnswer ParseMenuAnswer(Args& args, int line) {
  ModalAnswers::MenuAnswer answer;
  answer.line = line;
  if (args.PeekQuoted()) {
    answer.caption = args.String("the item's caption");
  } else if (!args.TakeWord("dismiss")) {
    const int n = args.Integer("the item (a caption in quotes, a number from 1, or dismiss)");
    if (n < 1) Refuse("menu items count from 1");
    answer.index = n - 1;
  }
  return answer;
}

// preset N | other | cancel
ModalAnswers::PopupAnswer ParsePopupAnswer(Args& args, int line) {
  ModalAnswers::PopupAnswer answer;
  answer.line = line;
  const std::string how = args.OneOf("the choice", {"preset", "other", "cancel"});
  if (how == "preset") {
    const int n = args.Integer("the preset (from 1)");
    if (n < 1) Refuse("presets count from 1");
    answer.choice = {ui::ColourPopup::Choice::Kind::Preset, n - 1};
  } else if (how == "other") {
    answer.choice = {ui::ColourPopup::Choice::Kind::Other, 0};
  }
  return answer;
}

// COLOUR | cancel
ModalAnswers::DialogAnswer ParseDialogAnswer(Args& args, int line) {
  ModalAnswers::DialogAnswer answer{line, std::nullopt};
  if (!args.TakeWord("cancel")) answer.colour = static_cast<ColourValue>(args.Colour("the colour"));
  return answer;
}

void RequireSetUp(Session& s, std::string_view command) {
  if (s.Started()) Refuse(std::string(command) + " must come before start");
}

enum class DisplayRole { Primary, Added };

Action ParseDisplay(Args& args, DisplayRole role) {
  const bool primary = role == DisplayRole::Primary;
  ui::Rect bounds;
  if (primary) {
    const int w = args.Count("the width");
    const int h = args.Count("the height");
    bounds = {0, 0, w, h};
  } else {
    bounds = args.Rect("the display");
  }
  int bpp = 32;
  int percent = 100;
  int panel = 0;
  while (!args.AtEnd()) {
    const std::string option = args.OneOf("an option of the display", {"bpp", "scale", "panel"});
    if (option == "bpp") {
      bpp = args.Integer("the bits per pixel");
      if (bpp != 16 && bpp != 24 && bpp != 32) Refuse("bits per pixel must be 16, 24 or 32");
    } else if (option == "scale") {
      // In per cent, as desktops offer it: 100, 125, 150, 175, 200 ...
      percent = args.Integer("the scale in per cent");
      if (percent < 100 || percent > 500) Refuse("the scale must lie between 100 and 500 per cent");
    } else {
      panel = args.Count("the panel's height");
    }
  }
  if (bounds.Empty()) Refuse("a display must not be empty");
  if (panel >= bounds.Height()) Refuse("the panel must leave room on the display");
  return [bounds, bpp, percent, panel, primary](Session& s) {
    RequireSetUp(s, primary ? "primary" : "display");
    std::vector<Display> displays = s.Desk().DisplayList();
    Display d;
    d.bounds = bounds;
    d.bitsPerPixel = bpp;
    d.scale = percent / 100.0;
    d.panel = panel;
    if (primary) {
      displays.front() = std::move(d);
    } else {
      displays.push_back(std::move(d));
    }
    s.Desk().SetDisplays(std::move(displays));
  };
}

Action ParseDesktop(Args& args) {
  const std::string what = args.OneOf("what to draw", {"fill", "pixel", "pattern", "image"});
  if (what == "fill") {
    const ui::Rect r = args.Rect("the area");
    const ui::Pixel c = args.Rgb("the colour");
    return [r, c](Session& s) { s.Desk().FillDesktop(r, c); };
  }
  if (what == "pixel") {
    const platform::Point p = args.Point("the point");
    const ui::Pixel c = args.Rgb("the colour");
    return [p, c](Session& s) { s.Desk().PutDesktopPixel(p, c); };
  }
  if (what == "pattern") {
    const ui::Rect r = args.Rect("the area");
    return [r](Session& s) {
      ui::Image image(r.Width(), r.Height());
      const auto mod = [](long v) { return static_cast<int>(((v % 256) + 256) % 256); };
      for (int y = r.top; y < r.bottom; ++y) {
        for (int x = r.left; x < r.right; ++x) {
          image.Set(x - r.left, y - r.top, ui::RgbPixel(mod(x), mod(y), mod(7L * x + 3L * y)));
        }
      }
      s.Desk().DrawOnDesktop({r.left, r.top}, image);
    };
  }
  const std::string file = args.Name("the PNG file");
  const platform::Point at = args.Point("the image's corner");
  return [file, at](Session& s) {
    std::filesystem::path path(file);
    if (path.is_relative()) path = std::filesystem::path(s.Options().scriptDirectory) / path;
    std::ifstream in(path, std::ios::binary);
    if (!in) Refuse("cannot read " + path.string());
    const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const auto picture = ui::DecodePicture(bytes);
    if (!picture) Refuse(path.string() + " holds no picture");
    s.Desk().DrawOnDesktop(at, picture->colour);
  };
}

Action ParseFault(Args& args) {
  const std::string what = args.OneOf("the fault", {"unreadable", "clipboard-busy", "alloc-fails", "secure-desktop"});
  if (what == "unreadable") {
    if (args.TakeWord("off")) return [](Session& s) { s.Desk().ClearUnreadable(); };
    const ui::Rect r = args.Rect("the area");
    return [r](Session& s) { s.Desk().SetUnreadable(r); };
  }
  if (what == "clipboard-busy" && args.TakeWord("for")) {
    const int attempts = args.Count("the tries to open it that fail");
    return [attempts](Session& s) { s.Desk().ClipboardService().HoldOpenFor(attempts); };
  }
  const bool on = args.OnOff("on or off");
  if (what == "clipboard-busy") return [on](Session& s) { s.Desk().ClipboardService().SetHeldOpen(on); };
  if (what == "secure-desktop") return [on](Session& s) { s.Desk().SetPointerHidden(on); };
  return [on](Session& s) { s.Desk().ClipboardService().SetAllocationFails(on); };
}

Action ParseOther(Args& args) {
  const std::string what = args.OneOf("what the other program does",
                                      {"hold-hotkey", "release-hotkey", "clipboard", "steal-capture"});
  if (what == "hold-hotkey" || what == "release-hotkey") {
    const int key = args.Key("the key");
    if (what == "hold-hotkey") return [key](Session& s) { s.Desk().HotKeyRegistry().Hold(0, key); };
    return [key](Session& s) { s.Desk().HotKeyRegistry().Release(0, key); };
  }
  if (what == "clipboard") {
    if (args.TakeWord("none")) return [](Session& s) { s.Desk().ClipboardService().PutText(std::nullopt); };
    const Text text = args.String("the text");
    return [text](Session& s) { s.Desk().ClipboardService().PutText(text); };
  }
  return [](Session& s) { s.Desk().StealCapture(); };
}

Action ParseAnswer(Args& args, int line) {
  const std::string what = args.OneOf("what to answer", {"menu", "chooser", "dialog"});
  if (what == "menu") {
    const auto answer = ParseMenuAnswer(args, line);
    return [answer](Session& s) { s.Answers().Queue(answer); };
  }
  if (what == "chooser") {
    const auto answer = ParsePopupAnswer(args, line);
    return [answer](Session& s) { s.Answers().Queue(answer); };
  }
  const auto answer = ParseDialogAnswer(args, line);
  return [answer](Session& s) { s.Answers().Queue(answer); };
}

// choose-colour preset N | other COLOUR | other cancel | cancel
Action ParseChooseColour(Args& args, int line) {
  const ModalAnswers::PopupAnswer popup = ParsePopupAnswer(args, line);
  std::optional<ModalAnswers::DialogAnswer> dialog;
  if (popup.choice.kind == ui::ColourPopup::Choice::Kind::Other) dialog = ParseDialogAnswer(args, line);
  return [popup, dialog](Session& s) {
    const platform::Point at = s.ClientToScreen(std::string(kChooser), std::nullopt);
    s.Answers().Queue(popup);
    if (dialog) s.Answers().Queue(*dialog);
    ClickAt(s.Desk(), at, Button::Left);
    s.ReportUnusedAnswers(s.Line());
  };
}

// click NAME [CX CY]; right-click NAME [CX CY] [choose ANSWER | dismiss]
Action ParseClick(Args& args, int line, Button button) {
  const ClientPoint target = ParseClientPoint(args);
  std::optional<ModalAnswers::MenuAnswer> answer;
  if (button == Button::Right && args.TakeWord("choose")) {
    answer = ParseMenuAnswer(args, line);
  } else if (button == Button::Right && args.TakeWord("dismiss")) {
    answer = ModalAnswers::MenuAnswer{line, std::nullopt, std::nullopt};
  }
  return [target, answer, button](Session& s) {
    const platform::Point at = target.OnScreen(s);
    if (answer) s.Answers().Queue(*answer);
    ClickAt(s.Desk(), at, button);
    if (answer) s.ReportUnusedAnswers(s.Line());
  };
}

int ParseModifiers(Args& args) {
  int keys = 0;
  if (args.AtEnd()) Refuse("missing the modifiers (ctrl shift alt, or none)");
  while (!args.AtEnd()) {
    const std::string m = args.OneOf("a modifier", {"ctrl", "shift", "alt", "none"});
    if (m == "ctrl") keys |= platform::ModCtrl;
    if (m == "shift") keys |= platform::ModShift;
    if (m == "alt") keys |= platform::ModAlt;
  }
  return keys;
}

}  // namespace

namespace {
Action ParseOne(const std::string& command, Args& args, int line);
}  // namespace

// Time passes only at `wait`: every action, a click included, comes as
// fast as the script gives it, and the program must bring its own window up
// to date wherever it reads it back. Only a user aiming at a slider's thumb
// looks first: the thumb is where the screen shows it once it has caught up.
Action ParseCommand(const std::string& command, Args& args, int line) {
  Action action = ParseOne(command, args, line);
  if (command != "slider-channel" && command != "slider-drag") return action;
  return [action](Session& s) {
    if (s.Started()) s.Desk().Settle();
    action(s);
  };
}

namespace {

Action ParseOne(const std::string& command, Args& args, int line) {
  if (command == "primary") return ParseDisplay(args, DisplayRole::Primary);
  if (command == "display") return ParseDisplay(args, DisplayRole::Added);
  if (command == "frame") {
    FrameMetrics f;
    f.left = args.Count("the left frame");
    f.top = args.Count("the top frame");
    f.right = args.Count("the right frame");
    f.bottom = args.Count("the bottom frame");
    return [f](Session& s) {
      RequireSetUp(s, "frame");
      s.Desk().SetFrame(f);
    };
  }
  if (command == "desktop") return ParseDesktop(args);
  if (command == "system") {
    // The user's settings of the system, before start or while the program runs.
    args.OneOf("the setting", {"high-contrast"});
    const bool on = args.OnOff("on or off");
    return [on](Session& s) { s.Desk().SetHighContrast(on); };
  }
  if (command == "start") return [](Session& s) { s.Start(); };
  if (command == "fault") return ParseFault(args);
  if (command == "other") return ParseOther(args);
  if (command == "move") {
    const platform::Point p = args.Point("the point");
    return [p](Session& s) { s.Desk().MovePointer(p); };
  }
  if (command == "drag-window") {
    // The user drags the window by its title bar to put its top-left corner here.
    const platform::Point p = args.Point("the point");
    return [p](Session& s) { s.Desk().DragWindowTo(p); };
  }
  if (command == "move-to") {
    const ClientPoint target = ParseClientPoint(args);
    return [target](Session& s) { s.Desk().MovePointer(target.OnScreen(s)); };
  }
  if (command == "press" || command == "release" || command == "press-release") {
    const Button button = ParseButton(args);
    if (command == "press") return [button](Session& s) { s.Desk().Press(button); };
    if (command == "release") return [button](Session& s) { s.Desk().Release(button); };
    return [button](Session& s) { s.Desk().PressAndRelease(button); };
  }
  if (command == "wait") {
    // Time passes: display frames that fall due come.
    const int ms = args.Count("the milliseconds");
    return [ms](Session& s) { s.Desk().Advance(ms); };
  }
  if (command == "busy") {
    const bool on = args.OnOff("on or off");
    return [on](Session& s) { s.Desk().SetBusy(on); };
  }
  if (command == "click") return ParseClick(args, line, Button::Left);
  if (command == "right-click") return ParseClick(args, line, Button::Right);
  if (command == "key") {
    const int key = args.Key("the key");
    return [key](Session& s) { s.Desk().KeyDown(key); };
  }
  if (command == "modifiers") {
    const int keys = ParseModifiers(args);
    return [keys](Session& s) { s.Desk().SetModifiers(keys); };
  }
  if (command == "focus") {
    const std::string name = args.Name("the control's name");
    return [name](Session& s) { s.Desk().FocusWindow(s.Handle(name)); };
  }
  if (command == "type") {
    std::optional<std::string> name;
    if (!args.PeekQuoted()) name = args.Name("the control's name");
    const Text text = args.String("the text to type");
    return [name, text](Session& s) {
      if (name) s.Desk().FocusWindow(s.Handle(*name));
      s.Desk().Type(text);
    };
  }
  if (command == "select-all") return [](Session& s) { s.Desk().SelectAll(); };
  if (command == "paste") return [](Session& s) { s.Desk().Paste(); };
  if (command == "clear") {
    const std::string name = args.Name("the control's name");
    return [name](Session& s) {
      s.Desk().FocusWindow(s.Handle(name));
      s.Desk().SelectAll();
      s.Desk().Backspace();
    };
  }
  if (command == "slider-drag") {
    const std::string name = args.Name("the slider's name");
    std::vector<int> positions;
    while (!args.AtEnd()) positions.push_back(args.Integer("a position"));
    if (positions.empty()) Refuse("missing the positions to drag through");
    return [name, positions](Session& s) { s.Desk().DragSliderThumb(s.Handle(name), positions); };
  }
  if (command == "slider-channel") {
    const std::string name = args.Name("the slider's name");
    const bool up = args.OneOf("the direction", {"up", "down"}) == "up";
    const Desktop::Toward toward = up ? Desktop::Toward::Maximum : Desktop::Toward::Minimum;
    return [name, toward](Session& s) { s.Desk().ClickSliderChannel(s.Handle(name), toward); };
  }
  if (command == "double-click") {
    const ClientPoint target = ParseClientPoint(args);
    return [target](Session& s) {
      s.Desk().MovePointer(target.OnScreen(s));
      s.Desk().DoubleClick();
    };
  }
  if (command == "keep-image") {
    const std::string name = args.Name("the control's name");
    const std::string label = args.Word("the label to keep it as");
    return [name, label](Session& s) { s.KeepImage(label, s.ClientImage(name)); };
  }
  if (command == "repeat") {
    const int times = args.Count("how many times");
    const std::string inner = args.Word("the command to repeat");
    if (inner == "repeat" || inner == "expect" || inner == "print") Refuse("repeat takes an action");
    Action action = ParseCommand(inner, args, line);
    return [times, action](Session& s) {
      for (int i = 0; i < times; ++i) action(s);
    };
  }
  if (command == "activate") return [](Session& s) { s.Desk().SetActive(true); };
  if (command == "deactivate") return [](Session& s) { s.Desk().SetActive(false); };
  if (command == "close") {
    return [](Session& s) {
      s.Program();
      s.Desk().CloseWindow(s.Desk().TopLevel());
    };
  }
  if (command == "answer") return ParseAnswer(args, line);
  if (command == "choose-colour") return ParseChooseColour(args, line);
  if (command == "log") {
    args.OneOf("what to log", {"events"});
    const std::string how = args.OneOf("on, off, all or clear", {"on", "off", "all", "clear"});
    return [how](Session& s) {
      if (how == "clear") s.ClearEvents();
      if (how == "on") s.SetEventLog(Session::EventLog::Delivered);
      if (how == "all") s.SetEventLog(Session::EventLog::All);
      if (how == "off") s.SetEventLog(Session::EventLog::Off);
    };
  }
  if (command == "save-screen") {
    const std::string file = args.Name("the PNG file");
    std::optional<ui::Rect> area;
    if (!args.AtEnd()) area = args.Rect("the area");
    return [file, area](Session& s) { s.SaveScreen(file, area); };
  }
  if (command == "expect" || command == "print") {
    const std::size_t from = args.Position();
    Query q = ParseQuery(args);
    const std::string label = args.Span(from);
    if (command == "print") {
      return [q, label](Session& s) { s.Print(label, Show(q.read(s))); };
    }
    const Value expected = q.expected(args);
    return [q, expected, line](Session& s) {
      const Value got = q.read(s);
      if (got == expected) {
        s.Pass();
      } else {
        s.Fail(line, Show(expected), Show(got));
      }
    };
  }
  Refuse("unknown command " + command);
}

}  // namespace

}  // namespace tinctora::headless::runner
